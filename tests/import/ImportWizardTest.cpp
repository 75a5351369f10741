#include "import/TfrmImportWizard.h"

#include "ContactTableFixture.h"
#include "contacts/AddContactIfNew.h"
#include "import/ImportPreviewModel.h"
#include "import/SourceTextView.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

namespace {
enum Entry { FirstName, LastName, Phone, Fax, Email, NotUsed };
}

class ImportWizardTest : public ContactTableFixture {
protected:
    void TearDown() override { wiz.reset(); }

    TfrmImportWizard &openWizard(TfrmImportWizard::AddContactFn add = {})
    {
        wiz = std::make_unique<TfrmImportWizard>(*table, dialogs, env.clock, std::move(add));
        return *wiz;
    }
    void tick() { env.clock.advance(500); }
    QWidget *page() const { return wiz->PageControl->currentWidget(); }

    void paste(const QString &text)
    {
        QGuiApplication::clipboard()->setText(text);
        wiz->btnPasteClipb->click();
        tick();
    }
    // Page 1 to page 4 with these columns included.
    void toDelimitedColumns(std::initializer_list<int> columns)
    {
        wiz->btnNext1->click();
        wiz->btnNext2->click();
        ASSERT_EQ(page(), wiz->tsStep4);
        for (int c : columns)
            wiz->cbIncF[c]->click();
        tick();
    }
    void map(int column, Entry entry)
    {
        wiz->cb[column]->setCurrentIndex(entry);
        wiz->cb0Change(wiz->cb[column]);
    }
    // Page 1 to page 5 with columns 0.. mapped to the entries given.
    void toMapping(const QString &text, std::initializer_list<Entry> entries)
    {
        paste(text);
        int n = 0;
        wiz->btnNext1->click();
        wiz->btnNext2->click();
        for (size_t i = 0; i < entries.size(); ++i)
            wiz->cbIncF[n++]->click();
        tick();
        wiz->btnNext4->click();
        ASSERT_EQ(page(), wiz->tsStep5);
        n = 0;
        for (Entry e : entries)
            map(n++, e);
        tick();
    }
    QStringList row(int gridRow) const
    {
        QStringList cells;
        for (int c = 0; c < 11; ++c)
            cells << wiz->ResultModel->cell(c, gridRow);
        return cells;
    }
    static QStringList cells(QStringList first)
    {
        while (first.size() < 11)
            first << QString();
        return first;
    }
    // Answers the confirmation and presses Finish.
    void finish(MsgResult answer = MsgResult::Yes)
    {
        dialogs.answer(answer);
        ASSERT_TRUE(wiz->btnFinish->isEnabled());
        wiz->btnFinish->click();
    }
    QStringList names() const
    {
        QStringList out;
        for (qint64 i = 0; i < recordsInFile(); ++i)
            out << QString::fromLatin1(fieldBytes(i, NAME).trimmed());
        return out;
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<TfrmImportWizard> wiz;
};

TEST_F(ImportWizardTest, DelimitedPageSplitsIntoIncludedColumnsAsTheDelimiterChanges)
{
    openWizard();
    EXPECT_FALSE(wiz->btnNext1->isEnabled());
    paste("a,b,c\nx;y");
    EXPECT_TRUE(wiz->btnNext1->isEnabled());
    toDelimitedColumns({0, 2});
    EXPECT_EQ(row(1), cells({"a", "", "c"}));
    EXPECT_TRUE(wiz->btnNext4->isEnabled());

    // Typed after the "," the new character replaces it, and stays selected.
    wiz->Button2->click();
    QTest::keyClicks(wiz->delChar, ";");
    EXPECT_EQ(wiz->delChar->text(), ";");
    EXPECT_EQ(wiz->delChar->selectedText(), ";");
    EXPECT_EQ(row(1), cells({"a,b,c"}));
    EXPECT_EQ(row(2), cells({"x", "", ""}));
    QTest::keyClicks(wiz->delChar, ",");
    EXPECT_EQ(wiz->delChar->text(), ",");

    // The quote option takes effect as soon as it is ticked.
    wiz->Button4->click();
    paste("'a',\"b\",'");
    wiz->btnNext1->click();
    wiz->btnNext2->click();
    wiz->cbIncF[1]->click();
    EXPECT_EQ(row(1), cells({"'a'", "\"b\"", "'"}));
    wiz->cbStripQuoted->click();
    EXPECT_EQ(row(1), cells({"a", "b", ""}));

    // Nothing included: nothing to take on.
    for (int c : {0, 1, 2})
        wiz->cbIncF[c]->click();
    tick();
    EXPECT_FALSE(wiz->btnNext4->isEnabled());
}

TEST_F(ImportWizardTest, AnEmptyDelimiterKeepsThePageTwoOpen)
{
    openWizard();
    paste("a,b");
    wiz->btnNext1->click();
    wiz->delChar->clear();
    wiz->btnNext2->click();
    EXPECT_EQ(page(), wiz->tsStep2);
    EXPECT_EQ(dialogs.texts(), QStringList{"Please fill the delimiter ( separator) character first!"});
    wiz->rbFixed->click();
    EXPECT_FALSE(wiz->delChar->isVisibleTo(wiz.get()));
    wiz->btnNext2->click();
    EXPECT_EQ(page(), wiz->tsStep3);
}

TEST_F(ImportWizardTest, FixedWidthColumnsAreTakenAtEachKeystrokeAndHighlighted)
{
    openWizard();
    paste("Smith Jo  \nab");
    wiz->btnNext1->click();
    wiz->rbFixed->click();
    wiz->btnNext2->click();
    ASSERT_EQ(page(), wiz->tsStep3);
    wiz->cbInc[0]->click();
    wiz->Width[0]->setText("6");
    wiz->cbInc[1]->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(wiz->SourceText->highlightOf(0), (SourceHighlight::Range{0, 6}));
    wiz->Width[1]->setText("4");
    EXPECT_EQ(row(1), cells({"Smith", "Jo"}));
    EXPECT_EQ(row(2), cells({"ab"}));
    EXPECT_EQ(wiz->SourceText->highlightOf(0), (SourceHighlight::Range{6, 4}));

    // A line that ends before the column keeps what it showed; after page 2
    // removed the highlight it shows no red at all.
    EXPECT_EQ(wiz->SourceText->highlightOf(1), (SourceHighlight::Range{0, 2}));
    wiz->Button3->click();
    wiz->btnNext2->click();
    wiz->Width0Enter(wiz->Width[1]);
    EXPECT_EQ(wiz->SourceText->highlightOf(0), (SourceHighlight::Range{6, 4}));
    EXPECT_EQ(wiz->SourceText->highlightOf(1), std::nullopt);

    // The include flags are shared with the delimited page.
    wiz->Button3->click();
    wiz->rbDelimited->click();
    wiz->btnNext2->click();
    EXPECT_TRUE(wiz->cbIncF[0]->isChecked());
    EXPECT_TRUE(wiz->cbIncF[1]->isChecked());
    EXPECT_FALSE(wiz->cbIncF[2]->isChecked());
}

TEST_F(ImportWizardTest, WidthBoxesFollowTheLeadingZeroAndEarlierColumnRules)
{
    openWizard();
    paste("Smith Jo  ");
    wiz->btnNext1->click();
    wiz->rbFixed->click();
    wiz->btnNext2->click();

    struct Step {
        int column;
        QString text;
        int stored;
    };
    const Step steps[] = {
        {0, "5", 5}, {0, "0", 5}, {0, "00", 0}, {0, "07", 7}, {0, "12", 12}, {0, "0", 12}, {0, "", 12},
    };
    for (const Step &s : steps) {
        wiz->Width[s.column]->setText(s.text);
        EXPECT_EQ(wiz->ColumnWidths()[s.column], s.stored)
            << "after typing \"" << s.text.toStdString() << "\"";
    }
    EXPECT_TRUE(dialogs.shown.empty());

    wiz->Width[3]->setText("4");
    EXPECT_EQ(wiz->ColumnWidths()[3], 0);
    wiz->cbInc[2]->click();
    EXPECT_TRUE(wiz->IncludeColumn()[2]) << "the clicked box keeps its state";
    EXPECT_EQ(dialogs.texts(), (QStringList{"Column no 2 width is not yet correct, please fix it first",
                                            "Column no 2 width is not yet correct, please fix it first"}));
}

TEST_F(ImportWizardTest, WidthBoxesTakeDigitsTypedAfterAClickAndRefuseBlanksBetweenThem)
{
    openWizard();
    paste("Smith Jo  ");
    wiz->btnNext1->click();
    wiz->rbFixed->click();
    wiz->btnNext2->click();
    QLineEdit *box = wiz->Width[0];
    ASSERT_EQ(box->text(), "0");

    // A click at the box's right end, then digits.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 4, box->height() / 2));
    QTest::keyClicks(box, "12");
    EXPECT_EQ(wiz->ColumnWidths()[0], 12);
    EXPECT_TRUE(dialogs.shown.empty());

    // Each keystroke is taken: "1" stores 1, then "1 2" is no whole number.
    box->selectAll();
    QTest::keyClicks(box, "1 2");
    EXPECT_EQ(box->text(), "1 2");
    EXPECT_EQ(wiz->ColumnWidths()[0], 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown[0].text, "'1 2' is not a valid integer value");

    // Letters never get in; three characters at most.
    box->selectAll();
    QTest::keyClicks(box, "7x45");
    EXPECT_EQ(box->text(), "745");
    EXPECT_EQ(wiz->ColumnWidths()[0], 745);
}

TEST_F(ImportWizardTest, AVeryLongLinePreviewsAtOnceAndImportsByTheFieldRules)
{
    openWizard();
    wiz->resize(900, 600);
    wiz->show(); // showing starts the wizard afresh
    const QString longName = "Jo" + QString(3 * 1024 * 1024, QLatin1Char('n'));
    toMapping(longName + ",Smith\nMax,Muster", {FirstName, LastName});
    wiz->ResultGrid->resizeColumnToContents(0); // the widest a cell can ask for
    EXPECT_FALSE(wiz->ResultGrid->grab().isNull());
    EXPECT_LT(wiz->ResultGrid->columnWidth(0), 100000);

    finish();
    EXPECT_EQ(fieldBytes(0, NAME), ("Jo" + QString(48, QLatin1Char('n'))).toLatin1());
    EXPECT_EQ(fieldBytes(0, LAST), padded("Smith", 50));
    EXPECT_EQ(names(), (QStringList{"Jo" + QString(48, QLatin1Char('n')), "Max"}));
}

TEST_F(ImportWizardTest, PagesFollowTheBackAndNextButtons)
{
    openWizard();
    paste("a,b");
    wiz->btnNext1->click();
    EXPECT_EQ(page(), wiz->tsStep2);
    wiz->Button4->click();
    EXPECT_EQ(page(), wiz->tsStep1);
    wiz->btnNext1->click();
    wiz->btnNext2->click();
    wiz->cbIncF[0]->click();
    tick();
    wiz->btnNext4->click();
    EXPECT_EQ(page(), wiz->tsStep5);
    EXPECT_TRUE(wiz->cb[0]->isVisibleTo(wiz.get()));
    EXPECT_FALSE(wiz->cb[1]->isVisibleTo(wiz.get())) << "only included columns are offered";
    wiz->btnBack5->click();
    EXPECT_EQ(page(), wiz->tsStep4);
    wiz->Button2->click();
    wiz->rbFixed->click();
    wiz->btnNext2->click();
    wiz->Width[0]->setText("3");
    tick();
    wiz->btnNext3->click();
    EXPECT_EQ(page(), wiz->tsStep5);
    wiz->btnBack5->click();
    EXPECT_EQ(page(), wiz->tsStep3);
}

TEST_F(ImportWizardTest, TheFileDialogReplacesTheSourceAndAlwaysEmptiesThePreview)
{
    openWizard();
    paste("a,b");
    toDelimitedColumns({0});
    wiz->Button2->click();
    wiz->Button4->click();
    ASSERT_EQ(row(1), cells({"a"}));

    dialogs.answerFile(std::nullopt);
    wiz->btnImportText->click();
    EXPECT_EQ(dialogs.shown.back().request.filter, "Text file|*.txt|Comma delimited file|*.csv|Any file|*.*");
    EXPECT_EQ(wiz->SourceText->lines(), QStringList{"a,b"}) << "cancelled: the source stays";
    EXPECT_EQ(wiz->ResultModel->gridRowCount(), 2);
    EXPECT_EQ(row(1), cells({}));

    dialogs.answerFile(env.path("missing.csv"));
    wiz->btnImportText->click();
    ASSERT_EQ(dialogs.shown.back().kind, ScriptedDialogs::Shown::Error);
    EXPECT_TRUE(dialogs.shown.back().text.contains("missing.csv"));
    EXPECT_TRUE(wiz->SourceText->lines().isEmpty());
    tick();
    EXPECT_FALSE(wiz->btnNext1->isEnabled());
}

TEST_F(ImportWizardTest, EveryOpeningStartsFresh)
{
    openWizard();
    paste("Smith Jo");
    wiz->btnNext1->click();
    wiz->rbFixed->click();
    wiz->btnNext2->click();
    wiz->cbInc[0]->click();
    wiz->Width[0]->setText("6");
    ASSERT_EQ(wiz->ColumnWidths()[0], 6);

    openWizard();
    EXPECT_EQ(page(), wiz->tsStep1);
    EXPECT_EQ(wiz->ColumnWidths(), import::ColumnWidthList{});
    EXPECT_EQ(wiz->IncludeColumn(), import::ColumnFlags{});
    EXPECT_EQ(wiz->Width[0]->text(), "0");
    EXPECT_TRUE(wiz->SourceText->lines().isEmpty());
}

TEST_F(ImportWizardTest, MappingBoxesRefuseAFieldTwiceAndStartOverAfterALayoutChange)
{
    openWizard();
    paste("Jo,Smith,555");
    toDelimitedColumns({0, 1, 2});
    wiz->btnNext4->click();
    tick();
    EXPECT_FALSE(wiz->btnFinish->isEnabled()) << "nothing mapped yet";

    map(0, FirstName);
    map(2, Phone);
    tick();
    EXPECT_TRUE(wiz->btnFinish->isEnabled());
    EXPECT_EQ(wiz->FirstNameColumn(), 0);
    EXPECT_EQ(wiz->PhoneColumn(), 2);
    EXPECT_EQ(wiz->LastNameColumn(), 10);
    EXPECT_EQ(wiz->ResultModel->headerText(0), "FIRST NAME");

    map(1, Phone);
    EXPECT_EQ(dialogs.texts().back(), "Error..., PHONE field already exist !");
    EXPECT_EQ(wiz->cb[1]->currentIndex(), NotUsed);
    EXPECT_EQ(wiz->ResultModel->headerText(1), QString());

    // Choosing again what a box shows unmaps its column.
    map(0, FirstName);
    EXPECT_EQ(dialogs.texts().back(), "Error..., FIRST NAME field already exist !");
    EXPECT_EQ(wiz->ResultModel->headerText(0), QString());
    tick();
    EXPECT_EQ(wiz->FirstNameColumn(), 10);

    map(1, LastName);
    wiz->btnBack5->click();
    wiz->btnNext4->click();
    tick();
    for (QComboBox *box : wiz->cb)
        EXPECT_EQ(box->currentIndex(), NotUsed);
    EXPECT_FALSE(wiz->btnFinish->isEnabled());
    EXPECT_FALSE(wiz->ResultModel->hasMapping());
}

TEST_F(ImportWizardTest, FinishAsksWithTheRowCountAndImportsRowByRow)
{
    addRecord("Anna", "Berg");
    openWizard();
    toMapping("Jo,Smith,jo@example.com\n , ,\nanna,,\nMax,Muster,max@example.com",
              {FirstName, LastName, Email});

    finish(MsgResult::No);
    EXPECT_EQ(dialogs.shown.back().text, "Are you sure to import 4 address record(s) into database?");
    EXPECT_EQ(dialogs.shown.back().caption, "Confirmation");
    EXPECT_EQ(dialogs.shown.back().buttons, MsgButtons::YesNo);
    EXPECT_EQ(recordsInFile(), 1) << "No writes nothing";
    EXPECT_EQ(page(), wiz->tsStep5);

    finish(MsgResult::Yes);
    EXPECT_EQ(wiz->result(), QDialog::Accepted);
    // The blank row and the first-name prefix of Anna add nothing.
    EXPECT_EQ(names(), (QStringList{"Anna", "Jo", "Max"}));
    EXPECT_EQ(fieldBytes(2, EMAIL), padded("max@example.com", 50));
    EXPECT_EQ(fieldBytes(2, LAST), padded("Muster", 50));
    EXPECT_EQ(fieldBytes(2, PHONE), padded("", 15));
    EXPECT_EQ(dialogs.shown.size(), 2u) << "no summary";

    // The same list again adds nothing.
    openWizard();
    toMapping("Jo,Smith,jo@example.com\n , ,\nanna,,\nMax,Muster,max@example.com",
              {FirstName, LastName, Email});
    finish();
    EXPECT_EQ(recordsInFile(), 3);
}

TEST_F(ImportWizardTest, OnlySelectedRowsTakesTheSelectionOrElseTheCurrentRow)
{
    openWizard();
    toMapping("A\nB\nC\nD", {FirstName});
    wiz->cbSelectedOnly->click();
    finish();
    EXPECT_EQ(dialogs.shown.back().text, "Are you sure to import 1 address record(s) into database?");
    EXPECT_EQ(names(), QStringList{"A"});

    openWizard();
    toMapping("A\nB\nC\nD", {FirstName});
    wiz->cbSelectedOnly->click();
    QItemSelectionModel *sel = wiz->ResultGrid->selectionModel();
    sel->select(QItemSelection(wiz->ResultModel->index(1, 0), wiz->ResultModel->index(2, 10)),
                QItemSelectionModel::ClearAndSelect);
    finish();
    EXPECT_EQ(dialogs.shown.back().text, "Are you sure to import 2 address record(s) into database?");
    EXPECT_EQ(names(), (QStringList{"A", "B", "C"}));
}

TEST_F(ImportWizardTest, AStoringErrorStopsTheImportOnPageFiveWithEarlierRowsKept)
{
    int calls = 0;
    openWizard([&](const QString &f, const QString &l, const QString &e, const QString &p, const QString &x) {
        if (++calls == 3)
            throw EDbfError("Cannot write to table");
        AddContactIfNew(*table, f, l, e, p, x);
    });
    toMapping("A\nB\nC\nD", {FirstName});
    finish();
    ASSERT_EQ(dialogs.shown.back().kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown.back().text, "Cannot write to table");
    EXPECT_EQ(names(), (QStringList{"A", "B"}));
    EXPECT_EQ(page(), wiz->tsStep5);
    EXPECT_NE(wiz->result(), QDialog::Accepted);
    EXPECT_FALSE(wiz->importing());
    tick();
    EXPECT_TRUE(wiz->btnFinish->isEnabled()) << "the operator can try again";
}

TEST_F(ImportWizardTest, AnImportCannotBeStartedWhileOneRuns)
{
    bool finishEnabledDuringImport = true;
    openWizard([&](const QString &f, const QString &, const QString &, const QString &, const QString &) {
        finishEnabledDuringImport = finishEnabledDuringImport && wiz->btnFinish->isEnabled();
        wiz->btnFinishClick(); // would ask again, and the scripted dialogs would refuse
        tick();
        AddContactIfNew(*table, f, "", "", "", "");
    });
    toMapping("A\nB", {FirstName});
    finish();
    EXPECT_FALSE(finishEnabledDuringImport);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(names(), (QStringList{"A", "B"}));
}

TEST_F(ImportWizardTest, ALongImportShowsProgressAndCannotBeClosedUntilItEnds)
{
    int rows = 0;
    bool progressShown = false;
    openWizard([&](const QString &f, const QString &, const QString &, const QString &, const QString &) {
        env.clock.advance(2); // each row takes a while
        progressShown = progressShown || wiz->pbImport->isVisibleTo(wiz.get());
        if (++rows == 700) {
            wiz->reject();
            wiz->close();
        }
        AddContactIfNew(*table, f, "", "", "", "");
    });
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines << QString("Name%1").arg(i);
    toMapping(lines.join("\n"), {FirstName});
    finish();
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(wiz->pbImport->isVisibleTo(wiz.get()));
    EXPECT_EQ(recordsInFile(), 1000);
    EXPECT_EQ(wiz->result(), QDialog::Accepted);
}

TEST_F(ImportWizardTest, MemosAndTheSourceViewPassTheFocusOn)
{
    openWizard();
    wiz->show();
    QApplication::setActiveWindow(wiz.get());
    paste("Smith Jo");
    wiz->Memo1->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), wiz->btnPasteClipb);
    wiz->SourceText->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), wiz->ResultGrid);

    wiz->btnNext1->click();
    wiz->rbFixed->click();
    wiz->btnNext2->click();
    EXPECT_EQ(QApplication::focusWidget(), wiz->Width[0]) << "page 3 starts at the first width box";
    wiz->cbInc[0]->click();
    wiz->Width[0]->setText("6");
    wiz->cbInc[0]->setFocus();
    wiz->SourceText->removeHighlight();
    wiz->Width[0]->setFocus(); // entering a sized column highlights it
    EXPECT_EQ(wiz->SourceText->highlightOf(0), (SourceHighlight::Range{0, 6}));
}

TEST_F(ImportWizardTest, ClipboardBytesInWindows1252ReadWithTheirAccents)
{
    openWizard();
    auto *mime = new QMimeData;
    mime->setData("text/plain", "Ren\xE9,M\xFCller\r\n");
    QGuiApplication::clipboard()->setMimeData(mime);
    wiz->btnPasteClipb->click();
    EXPECT_EQ(wiz->SourceText->lines(), QStringList{u"René,Müller"_qs});
}

TEST_F(ImportWizardTest, MappingChosenJustBeforeFinishIsImported)
{
    openWizard();
    toMapping("Jo,Smith", {FirstName, NotUsed});
    map(1, LastName); // no tick between choosing and Finish
    finish();
    EXPECT_EQ(fieldBytes(0, LAST), padded("Smith", 50));
}

TEST_F(ImportWizardTest, Utf8AndWindows1252FilesImportToTheSameBytes)
{
    auto importFile = [&](const QByteArray &bytes, const QString &fileName) {
        QFile f(env.path(fileName));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        openWizard();
        dialogs.answerFile(f.fileName());
        wiz->btnImportText->click();
        tick();
        int n = 0;
        wiz->btnNext1->click();
        wiz->btnNext2->click();
        for (int c : {0, 1})
            wiz->cbIncF[c]->click();
        tick();
        wiz->btnNext4->click();
        map(n++, FirstName);
        map(n++, LastName);
        tick();
        finish();
    };
    importFile("\xEF\xBB\xBFRen\xC3\xA9,M\xC3\xBCller\r\nJos\xC3\xA9,Pe\xC3\xB1"
               "a\r\n",
               "utf8.csv");
    const QByteArray utf8Records = fileBytes().mid(kHeaderSize);
    const qint64 utf8Count = recordsInFile();

    CreateContactTable(env.path("second.dbf"));
    tablePath = env.path("second.dbf");
    wiz.reset();
    table = std::make_unique<TDbfTable>();
    table->setTableName(tablePath);
    table->Open();
    importFile("Ren\xE9,M\xFCller\r\nJos\xE9,Pe\xF1"
               "a\r\n",
               "ansi.csv");

    EXPECT_EQ(utf8Count, 2);
    EXPECT_EQ(fileBytes().mid(kHeaderSize), utf8Records);
    table->First();
    EXPECT_EQ(table->AsString("NAME"), u"René"_qs);
    EXPECT_EQ(table->AsString("LAST"), u"Müller"_qs);
}
