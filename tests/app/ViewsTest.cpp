#include "tests/app/AppFixture.h"
#include "ui/CaptionedDBNavigator.h"
#include "ui/DBControls.h"
#include "ui/DBDateTimePicker.h"
#include "ui/RadioGroup.h"

#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

class ViewsTest : public AppFixture {
protected:
    void SetUp() override
    {
        const QDate d = today();
        makeTable({contact("Smith", d), contact("SMITHERS"), contact("smi"), contact("Johnson", {}, d),
                   contact("Anand", d.addDays(-1), {}, d), contact("Dan", {}, {}, {})});
        dialogs.answer(MsgResult::No); // the reminder: show all
        start();
    }
    void search(const QString &field, const QString &text)
    {
        main->cbFields->setCurrentText(field);
        main->edString->setText(text);
        main->edStringKeyUp(Qt::Key_A);
    }
    void view(int index) { main->rgView->setItemIndex(index); }
    QString current() const { return main->dsTable().AsString("NAME"); }
};

TEST_F(ViewsTest, EachViewListsTheContactsDueToday)
{
    const QList<QPair<int, QStringList>> cases = {
        {1, {"Smith"}},
        {2, {"Johnson"}},
        {3, {"Anand"}},
        {4, {"Smith", "Johnson", "Anand"}},
        {0, {"Smith", "SMITHERS", "smi", "Johnson", "Anand", "Dan"}},
    };
    for (const auto &[index, names] : cases) {
        view(index);
        EXPECT_EQ(main->ViewIndex(), index);
        EXPECT_EQ(listed(), names) << index;
        EXPECT_EQ(main->DBGrid1->model()->rowCount(), names.size());
    }
}

TEST_F(ViewsTest, SearchMatchesWithStarsAndIgnoresCase)
{
    const QList<QPair<QString, QStringList>> cases = {
        {"smi*", {"Smith", "SMITHERS", "smi"}},
        {"smi", {"smi"}},
        {"*son", {"Johnson"}},
        {"*an*", {"Anand", "Dan"}},
        {"*", {"Smith", "SMITHERS", "smi", "Johnson", "Anand", "Dan"}},
        {"o'neil", {}},
    };
    for (const auto &[text, names] : cases) {
        search("NAME", text);
        EXPECT_EQ(listed(), names) << text.toStdString();
    }
    EXPECT_TRUE(dialogs.shown.size() == 1u); // only the reminder
}

TEST_F(ViewsTest, ASearchResetsTheViewAndAViewAfterItKeepsTheLastSearch)
{
    view(4);
    search("NAME", "*n*");
    EXPECT_EQ(main->ViewIndex(), 0);
    EXPECT_EQ(main->rgView->ItemIndex(), 4); // the selector keeps its item
    EXPECT_EQ(listed(), QStringList({"Johnson", "Anand", "Dan"}));
    search("NAME", "");
    EXPECT_EQ(listed().size(), 6);
    view(1);
    EXPECT_EQ(listed(), QStringList());
    view(3);
    EXPECT_EQ(listed(), QStringList({"Anand"}));
}

TEST_F(ViewsTest, ChoosingTheSelectedViewAgainChangesNothing)
{
    view(1);
    search("NAME", "*");
    ASSERT_EQ(main->ViewIndex(), 0);
    view(1); // already the selector's item: no click
    EXPECT_EQ(main->ViewIndex(), 0);
    EXPECT_EQ(listed().size(), 6);
}

TEST_F(ViewsTest, SearchingAFieldThatIsNotTextIsAnErrorAndLeavesFilteringOff)
{
    view(1);
    dialogs.shown.clear();
    main->cbFields->setCurrentText("CALLBACK");
    main->edString->setText("x");
    QTest::keyClick(main->edString, Qt::Key_X);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Error);
    EXPECT_FALSE(main->dsTable().Filtered());
    EXPECT_EQ(main->ViewIndex(), 0);
    EXPECT_EQ(listed().size(), 6);
}

TEST_F(ViewsTest, FieldListHoldsTheTableFieldsAndAChoiceEmptiesTheText)
{
    EXPECT_EQ(main->cbFields->count(), 54);
    EXPECT_EQ(main->cbFields->currentText(), "COMPNAME");
    search("NAME", "smi");
    main->cbFieldsChange();
    EXPECT_EQ(main->edString->text(), "");
    EXPECT_EQ(listed(), QStringList({"smi"})); // the filter is not touched
}

TEST_F(ViewsTest, EnterMovesToTheGridAndSearchesNothing)
{
    main->show();
    QApplication::setActiveWindow(main);
    main->edString->setFocus();
    main->edString->setText("Dan");
    main->edStringKeyUp(Qt::Key_Return);
    EXPECT_TRUE(main->DBGrid1->hasFocus());
    EXPECT_EQ(listed().size(), 6);
}

TEST_F(ViewsTest, TheSearchGroupIsDisabledWhileARecordIsEdited)
{
    EXPECT_TRUE(main->GroupBox1->isEnabled());
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbEdit);
    EXPECT_FALSE(main->GroupBox1->isEnabled());
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbPost);
    EXPECT_TRUE(main->GroupBox1->isEnabled());
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbInsert);
    EXPECT_FALSE(main->GroupBox1->isEnabled());
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbCancel);
    EXPECT_TRUE(main->GroupBox1->isEnabled());
}

TEST_F(ViewsTest, PickersTurnGreenWhenDueAndAMoveClearsTheLastDialledNumber)
{
    const QColor lime(0, 255, 0);
    struct Case {
        QString name;
        bool callback, faxback, emailback;
    };
    const QList<Case> cases = {{"Johnson", false, true, false},
                               {"Anand", false, false, true}, // its callback was yesterday
                               {"Smith", true, false, false},
                               {"Dan", false, false, false}};
    for (const Case &c : cases) {
        main->setLastDialledNumber("555-0000");
        ASSERT_TRUE(main->dsTable().Locate({"NAME"}, {c.name}, {}));
        EXPECT_EQ(main->dbeCallback->Color() == lime, c.callback) << c.name.toStdString();
        EXPECT_EQ(main->dbeFaxback->Color() == lime, c.faxback) << c.name.toStdString();
        EXPECT_EQ(main->dbeEmailback->Color() == lime, c.emailback) << c.name.toStdString();
        EXPECT_EQ(main->LastDialledNumber(), "");
    }
    EXPECT_TRUE(main->dbeCallback->Blank()); // Dan has no callback date
}

// A re-filter whose first record sits where the old current one did in the
// list before is still a move to another contact.
TEST_F(ViewsTest, AViewOrSearchThatChangesTheCurrentContactRunsTheRecordChangeSteps)
{
    const QColor lime(0, 255, 0);
    int archiveCleared = 0;
    registry.trackingClearArchiveLists = [&] { ++archiveCleared; };
    const QList<QPair<QString, std::function<void()>>> causes = {
        {"view click", [&] { view(2); }},
        {"search keystroke", [&] { search("NAME", "john*"); }},
    };
    for (const auto &[cause, refilter] : causes) {
        view(0);
        search("NAME", "");
        ASSERT_EQ(current(), "Smith"); // callback today, first in every list
        ASSERT_EQ(main->dbeCallback->Color(), lime);
        main->setLastDialledNumber("555-0000");
        archiveCleared = 0;
        refilter();
        ASSERT_EQ(current(), "Johnson") << cause.toStdString();
        EXPECT_NE(main->dbeCallback->Color(), lime) << cause.toStdString();
        EXPECT_EQ(main->dbeFaxback->Color(), lime) << cause.toStdString();
        EXPECT_EQ(main->LastDialledNumber(), "") << cause.toStdString();
        EXPECT_GE(archiveCleared, 1) << cause.toStdString();
    }
}

TEST_F(ViewsTest, ADatePickedAfterEditIsStoredOnSave)
{
    ASSERT_TRUE(main->dsTable().Locate({"NAME"}, {"Dan"}, {}));
    main->show();
    QApplication::setActiveWindow(main);
    main->dbeCallback->setFocus();
    main->dbeCallback->pickDate(QDate(2007, 4, 2));
    main->editCompName->setFocus();
    EXPECT_EQ(RawTable(folder() + "contacdata.dbf").field(6, "CALLBACK"), QByteArray(8, ' '));
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbEdit);
    main->dbeCallback->setFocus();
    main->dbeCallback->pickDate(QDate(2007, 4, 2));
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbPost);
    EXPECT_EQ(RawTable(folder() + "contacdata.dbf").field(6, "CALLBACK"), "20070402");
}

TEST_F(ViewsTest, TabInTheNotesMovesOnDuringAnEdit)
{
    main->show();
    QApplication::setActiveWindow(main);
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbEdit);
    main->DBMemo1->setFocus();
    QTest::keyClicks(main->DBMemo1, "call");
    QTest::keyClick(main->DBMemo1, Qt::Key_Tab);
    EXPECT_FALSE(main->DBMemo1->hasFocus());
    main->DBNavigator2->BtnClick(TCaptionedDBNavigator::nbPost);
    EXPECT_EQ(main->dsTable().AsString("NOTES"), "call");
}

TEST_F(ViewsTest, CopyToClipboardCopiesTheSelectionOfTheFieldItWasOpenedOn)
{
    QClipboard *clip = QGuiApplication::clipboard();
    clip->setText("before");
    TfrmMain *w = main;
    const QList<QPair<QLineEdit *, std::function<void()>>> menus = {
        {w->editFirstName, [w] { w->Copytoclipboard1Click(); }},
        {w->editLastName, [w] { w->MenuItem1Click(); }},
        {w->editPhone, [w] { w->MenuItem2Click(); }},
        {w->editCellPhone, [w] { w->MenuItem2Click(); }},
        {w->editFAX, [w] { w->MenuItem3Click(); }},
        {w->editEMAIL, [w] { w->MenuItem4Click(); }}};
    for (const auto &[edit, handler] : menus) {
        edit->deselect();
        main->setPopupComponent(edit);
        handler();
        EXPECT_EQ(clip->text(), "before") << edit->objectName().toStdString();
        edit->setSelection(0, 3);
        handler();
        EXPECT_EQ(clip->text(), edit->text().left(3)) << edit->objectName().toStdString();
        clip->setText("before");
    }
    EXPECT_EQ(main->editCompName->contextMenuPolicy(), Qt::DefaultContextMenu);
}

TEST_F(ViewsTest, NumberListPaintsDueNumbersOnlyUnderAnyScheduleDue)
{
    // Smith: callback today, cell phone emptied.
    ASSERT_TRUE(main->dsTable().Locate({"NAME"}, {"Smith"}, {}));
    main->dsTable().Edit();
    main->dsTable().SetAsString("CELLPHONE", "");
    main->dsTable().Post();
    // Anand: e-mail due today, callback a century ago (same short text as today).
    ASSERT_TRUE(main->dsTable().Locate({"NAME"}, {"Anand"}, {}));
    main->dsTable().Edit();
    main->dsTable().SetAsDate("CALLBACK", today().addYears(-100));
    main->dsTable().Post();
    TfrmSimpleNumbers *list = registry.frmSimpleNumbers;
    auto green = [&](const QString &name, int column) {
        TDbfTable &t = main->dsTable();
        for (qint64 i = 0; i < t.VisibleCount(); ++i)
            if (t.DisplayText(t.VisibleAt(i), "NAME") == name) {
                auto c = list->DBGrid1->cellBackground(int(i), column);
                return c.has_value() && *c == QColor(0, 255, 0);
            }
        ADD_FAILURE() << "not listed: " << name.toStdString();
        return false;
    };
    enum { NAME, CELLPHONE, PHONE, FAX, EMAIL };
    view(1);
    EXPECT_FALSE(green("Smith", PHONE));
    view(4);
    EXPECT_FALSE(green("Smith", NAME));
    EXPECT_FALSE(green("Smith", CELLPHONE)); // empty cells stay plain
    EXPECT_TRUE(green("Smith", PHONE));
    EXPECT_FALSE(green("Smith", FAX));
    EXPECT_TRUE(green("Johnson", FAX));
    EXPECT_FALSE(green("Johnson", PHONE));
    EXPECT_TRUE(green("Anand", EMAIL));
    EXPECT_FALSE(green("Anand", PHONE)); // a century ago is not today
}

TEST_F(ViewsTest, TheNumberListSharesTheCurrentContact)
{
    DBGrid *grid = registry.frmSimpleNumbers->DBGrid1;
    EXPECT_FALSE(grid->MultiSelect());
    const QPoint row3 = grid->visualRect(grid->model()->index(3, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row3);
    EXPECT_EQ(current(), "Johnson");
    EXPECT_EQ(main->editFirstName->text(), "Johnson");
    EXPECT_EQ(main->DBGrid1->currentIndex().row(), 3);
}
