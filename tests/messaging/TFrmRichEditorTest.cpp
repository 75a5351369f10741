#include "messaging/TFrmRichEditor.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPrinter>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

class FaxEditor : public ::testing::Test {
protected:
    TestEnvironment env;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFrmRichEditor> w;

    void SetUp() override { w = std::make_unique<TFrmRichEditor>(dialogs, QStringList{"brenvoy"}); }
    void TearDown() override
    {
        // Nothing may be left modified, or closing would ask.
        w->Editor->setModified(false);
        EXPECT_TRUE(dialogs.allAnswersUsed());
    }

    void showWindow()
    {
        w->resize(640, 400);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void type(const QString &text) { QTest::keyClicks(w->Editor, text); }
    QString text() const { return w->Editor->toPlainText(); }
    QString panel(int i) const { return w->StatusPanels[i]->text(); }
    void placeCaret(int pos)
    {
        QTextCursor c = w->Editor->textCursor();
        c.setPosition(pos);
        w->Editor->setTextCursor(c);
    }
    void select(int from, int to)
    {
        QTextCursor c = w->Editor->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        w->Editor->setTextCursor(c);
    }
    QTextCharFormat formatAt(int pos) const
    {
        QTextCursor c(w->Editor->document());
        c.setPosition(pos + 1);
        return c.charFormat();
    }
};

TEST_F(FaxEditor, CreatedUntitledWithToolbarsHintsAndShortcuts)
{
    EXPECT_EQ(w->windowTitle(), "Untitled - Brenvoy");
    EXPECT_EQ(w->FileName(), "Untitled");
    EXPECT_EQ(w->FontSize->text(), "8");
    EXPECT_EQ(w->UpDown2->Position(), 8);
    EXPECT_EQ(w->Editor->DefAttributes().fontPointSize(), 8);
    EXPECT_EQ(w->Editor->DefAttributes().fontFamilies().toStringList().value(0),
              QApplication::font().family());

    QStringList fonts;
    for (int i = 0; i < w->FontName->count(); ++i)
        fonts << w->FontName->itemText(i);
    EXPECT_FALSE(fonts.isEmpty());
    QStringList sorted = fonts;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(fonts, sorted);
    EXPECT_EQ(w->FontName->maxVisibleItems(), 10);

    const QString ticks = w->Ruler->Caption();
    EXPECT_EQ(ticks.size(), 200);
    EXPECT_EQ(ticks, QString("\t|").repeated(100));
    EXPECT_EQ(w->Ruler->height(), 26);

    struct {
        QAction *action;
        const char *caption, *shortcut, *hint;
    } const actions[] = {
        {w->FileNewCmd, "&New", "Ctrl+N", "Create a new file"},
        {w->FileOpenCmd, "&Open...", "Ctrl+O", "Open an existing file"},
        {w->FileSaveCmd, "&Save", "Ctrl+S", "Save current file"},
        {w->FileSaveAsCmd, "Save &As...", "", "Save current file under a new name"},
        {w->FilePrintCmd, "&Print", "Ctrl+P", "Print current file"},
        {w->FileExitCmd, "E&xit", "Alt+X", "Exit this application"},
        {w->EditUndoCmd, "&Undo", "Ctrl+Z", "Undo the last action"},
        {w->EditCutCmd, "Cu&t", "Ctrl+X", "Delete selected item"},
        {w->EditCopyCmd, "&Copy", "Ctrl+C", "Copy selected item to clipboard"},
        {w->EditPasteCmd, "&Paste", "Ctrl+V", "Paste contents of clipboard"},
    };
    for (const auto &a : actions) {
        EXPECT_EQ(a.action->text(), a.caption);
        EXPECT_EQ(a.action->shortcut().toString(), a.shortcut) << a.caption;
        EXPECT_EQ(a.action->statusTip(), a.hint);
    }

    EXPECT_EQ(w->BulletsButton->toolTip(), "Bullets");
    EXPECT_EQ(w->BulletsButton->statusTip(), "Enter bullet mode");
    EXPECT_EQ(w->FontName->toolTip(), "Font Name");
    EXPECT_EQ(w->FontName->statusTip(), "Select font name");
    EXPECT_EQ(w->FontSize->statusTip(), "Select font size");
    EXPECT_EQ(w->CenterAlign->toolTip(), "Center");
    EXPECT_EQ(w->LeftAlign->property("tag").toInt(), 0);
    EXPECT_EQ(w->RightAlign->property("tag").toInt(), 1);
    EXPECT_EQ(w->CenterAlign->property("tag").toInt(), 2);
}

TEST_F(FaxEditor, SaveOnNewDocumentActsAsSaveAsAndWritesRtf)
{
    type("Hello");
    EXPECT_EQ(panel(1), "Modified");
    const QString path = env.path("body.rtf");
    dialogs.answerFile(path);

    w->FileSaveCmd->trigger();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    const auto &req = dialogs.shown[0].request;
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Save);
    EXPECT_EQ(req.defaultExt, "rtf");
    EXPECT_EQ(req.filter, "Rich Text Files (*.RTF)|*.RTF|Text Files (*.TXT)|*.TXT");
    EXPECT_TRUE(readFile(path).startsWith("{\\rtf1"));
    EXPECT_TRUE(readFile(path).contains("Hello"));
    EXPECT_EQ(w->FileName(), path);
    EXPECT_EQ(w->windowTitle(), "body.rtf - Brenvoy");
    EXPECT_FALSE(w->Editor->Modified());
    EXPECT_EQ(panel(1), "");

    // A named document saves without asking, always as RTF.
    type(" again");
    w->FileSaveCmd->trigger();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(readFile(path).contains("Hello again"));
}

TEST_F(FaxEditor, SaveAsOntoExistingFileWritesOnlyOnYes)
{
    const QString existing = env.path("old.rtf");
    for (MsgResult answer : {MsgResult::No, MsgResult::Cancel, MsgResult::Yes}) {
        writeFile(existing, "old contents");
        w->Editor->clear();
        type("new text");
        dialogs.shown.clear();
        dialogs.answerFile(existing);
        dialogs.answer(answer);

        w->FileSaveAsCmd->trigger();

        ASSERT_EQ(dialogs.shown.size(), 2u);
        EXPECT_EQ(dialogs.shown[1].text, "OK to overwrite " + existing);
        EXPECT_EQ(dialogs.shown[1].buttons, MsgButtons::YesNoCancel);
        if (answer == MsgResult::Yes) {
            EXPECT_TRUE(readFile(existing).contains("new text"));
            EXPECT_EQ(w->FileName(), existing);
            EXPECT_FALSE(w->Editor->Modified());
        } else {
            EXPECT_EQ(readFile(existing), "old contents");
            EXPECT_EQ(w->FileName(), "Untitled");
            EXPECT_TRUE(w->Editor->Modified());
        }
    }
}

TEST_F(FaxEditor, SaveErrorIsShownAndKeepsTheName)
{
    type("text");
    dialogs.answerFile(env.path("no/such/folder/x.rtf"));
    w->FileSaveAsCmd->trigger();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    EXPECT_TRUE(dialogs.shown[1].text.startsWith("Cannot create file"))
        << dialogs.shown[1].text.toStdString();
    EXPECT_EQ(w->FileName(), "Untitled");
    EXPECT_TRUE(w->Editor->Modified());
}

TEST_F(FaxEditor, FormattingWithNothingSelectedGoesToTheDefaultAttributes)
{
    type("hello");
    placeCaret(2);
    const QString family = w->FontName->itemText(w->FontName->count() - 1);

    w->BoldButton->click();
    w->FontName->setCurrentIndex(w->FontName->count() - 1);
    w->FontSize->setText("20");

    // The text already there is untouched...
    for (int i = 0; i < 5; ++i) {
        EXPECT_NE(formatAt(i).fontWeight(), QFont::Bold) << i;
        EXPECT_EQ(formatAt(i).fontPointSize(), 8) << i;
    }
    // ...the control's defaults and the text typed next take the change.
    EXPECT_EQ(w->Editor->DefAttributes().fontWeight(), QFont::Bold);
    EXPECT_EQ(w->Editor->DefAttributes().fontPointSize(), 20);
    EXPECT_EQ(w->Editor->DefAttributes().fontFamilies().toStringList().value(0), family);
    type("X");
    const QTextCharFormat typed = formatAt(2);
    EXPECT_EQ(typed.fontWeight(), QFont::Bold);
    EXPECT_EQ(typed.fontPointSize(), 20);
    EXPECT_EQ(typed.fontFamilies().toStringList().value(0), family);
    EXPECT_EQ(text(), "heXllo");
}

TEST_F(FaxEditor, FormattingASelectionChangesOnlyTheSelection)
{
    type("hello world");
    select(0, 5);
    w->ItalicButton->click();
    w->UnderlineButton->click();
    w->FontSize->setText("14");
    for (int i = 0; i < 11; ++i) {
        const bool inside = i < 5;
        EXPECT_EQ(formatAt(i).fontItalic(), inside) << i;
        EXPECT_EQ(formatAt(i).fontUnderline(), inside) << i;
        EXPECT_EQ(formatAt(i).fontPointSize(), inside ? 14 : 8) << i;
    }
    EXPECT_FALSE(w->Editor->DefAttributes().fontItalic());

    // The toolbar follows the selection.
    select(6, 8);
    EXPECT_FALSE(w->ItalicButton->isChecked());
    EXPECT_EQ(w->FontSize->text(), "8");
    select(1, 3);
    EXPECT_TRUE(w->ItalicButton->isChecked());
    EXPECT_TRUE(w->UnderlineButton->isChecked());
    EXPECT_EQ(w->FontSize->text(), "14");
}

TEST_F(FaxEditor, AlignmentAndBulletButtons)
{
    w->Editor->setPlainText("one\ntwo");
    placeCaret(5);
    w->RightAlign->click();
    EXPECT_EQ(w->Editor->Paragraph().Alignment(), ParaAlignment::Right);
    w->CenterAlign->click();
    EXPECT_EQ(w->Editor->Paragraph().Alignment(), ParaAlignment::Center);
    w->BulletsButton->click();
    EXPECT_EQ(w->Editor->Paragraph().Numbering(), NumberingStyle::Bullet);
    placeCaret(0);
    EXPECT_TRUE(w->LeftAlign->isChecked());
    EXPECT_FALSE(w->BulletsButton->isChecked());
    placeCaret(5);
    EXPECT_TRUE(w->CenterAlign->isChecked());
    EXPECT_TRUE(w->BulletsButton->isChecked());
    w->BulletsButton->click();
    EXPECT_EQ(w->Editor->Paragraph().Numbering(), NumberingStyle::None);
    EXPECT_EQ(w->Editor->document()->findBlockByNumber(1).blockFormat().indent(), 0);
}

TEST_F(FaxEditor, BulletsOnANumberedParagraphMakeItABulletInsteadOfRemovingTheNumbering)
{
    w->Editor->setPlainText("one\ntwo\nthree");
    QTextCursor all(w->Editor->document());
    all.select(QTextCursor::Document);
    QTextListFormat numbered;
    numbered.setStyle(QTextListFormat::ListDecimal);
    all.createList(numbered);
    placeCaret(5);
    EXPECT_EQ(w->Editor->Paragraph().Numbering(), NumberingStyle::Arabic);
    EXPECT_FALSE(w->BulletsButton->isChecked());

    w->BulletsButton->click();
    EXPECT_EQ(w->Editor->Paragraph().Numbering(), NumberingStyle::Bullet);
    EXPECT_TRUE(w->BulletsButton->isChecked());
    EXPECT_EQ(w->Editor->toPlainText(), "one\ntwo\nthree");
    // The other paragraphs keep their numbers.
    placeCaret(0);
    EXPECT_EQ(w->Editor->Paragraph().Numbering(), NumberingStyle::Arabic);
    EXPECT_FALSE(w->BulletsButton->isChecked());
}

TEST_F(FaxEditor, FontSizeThatIsNotANumberIsAnError)
{
    w->FontSize->setText("1x");
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown.back().text, "'1x' is not a valid integer value");
}

TEST_F(FaxEditor, MarkersFollowTheParagraphIndents)
{
    showWindow();
    const int width = w->Ruler->ClientWidth();
    struct {
        int first, left, right, firstLeft, leftLeft, rightLeft;
    } const cases[] = {
        {0, 0, 0, 2, 2, width - 6 - 8},
        {36, 18, 9, 50, 74, width - 6 - 20},
        {10, -10, 1, 15, 2, width - 6 - 9},
    };
    for (const auto &c : cases) {
        w->Editor->Paragraph().setFirstIndent(c.first);
        w->Editor->Paragraph().setLeftIndent(c.left);
        w->Editor->Paragraph().setRightIndent(c.right);
        w->SelectionChange();
        EXPECT_EQ(w->FirstInd->Left(), c.firstLeft) << c.first;
        EXPECT_EQ(w->LeftInd->Left(), c.leftLeft) << c.left;
        EXPECT_EQ(w->RightInd->Left(), c.rightLeft) << c.right;
    }
    EXPECT_EQ(w->RulerLine->width(), width - 8);
}

TEST_F(FaxEditor, DraggingTheFirstLineMarkerKeepsTheLeftMarkerInPlace)
{
    showWindow();
    w->Editor->setPlainText("paragraph");
    w->Editor->Paragraph().setLeftIndent(36);
    w->SelectionChange();
    ASSERT_EQ(w->LeftInd->Left(), 50);

    // GIVEN a press in the middle of the marker, a move of 24 px
    w->RulerItemMouseDown(w->FirstInd, 5);
    EXPECT_EQ(w->FirstInd->Left(), 2);
    w->RulerItemMouseMove(w->FirstInd, 29);
    EXPECT_EQ(w->FirstInd->Left(), 26);
    w->FirstIndMouseUp();

    // THEN the first line is at Trunc((26 + 5 - 6) * 3/4) = 18 pt and the
    // other lines keep their place: 36 - 18 = 18 pt from the first line.
    EXPECT_EQ(w->Editor->Paragraph().FirstIndent(), 18);
    EXPECT_EQ(w->Editor->Paragraph().LeftIndent(), 18);
    EXPECT_EQ(w->LeftInd->Left(), 50);
    EXPECT_EQ(w->FirstInd->Left(), 26);

    // A move after the button is up drags nothing.
    w->RulerItemMouseMove(w->FirstInd, 40);
    EXPECT_EQ(w->FirstInd->Left(), 26);
}

TEST_F(FaxEditor, DraggingTheLeftAndRightMarkers)
{
    showWindow();
    w->Editor->setPlainText("paragraph");
    const int width = w->Ruler->ClientWidth();

    w->RulerItemMouseDown(w->LeftInd, 5);
    w->RulerItemMouseMove(w->LeftInd, 45); // 40 px to the right
    w->LeftIndMouseUp();
    EXPECT_EQ(w->Editor->Paragraph().LeftIndent(), (42 + 5 - 6) * 3 / 4);
    EXPECT_EQ(w->Editor->Paragraph().FirstIndent(), 0);

    w->RulerItemMouseDown(w->RightInd, 4);
    const int before = w->RightInd->Left();
    w->RulerItemMouseMove(w->RightInd, 4 - 30);
    w->RightIndMouseUp();
    EXPECT_EQ(w->Editor->Paragraph().RightIndent(), (width - (before - 30) + 4 - 2) * 3 / 4 - 12);
}

TEST_F(FaxEditor, NewAnsweredNoKeepsTheDocumentAndItsName)
{
    const QString path = env.path("kept.rtf");
    w->Editor->setPlainText("keep me");
    dialogs.answerFile(path);
    w->FileSaveAsCmd->trigger();
    type("!");

    dialogs.answer(MsgResult::No);
    w->FileNewCmd->trigger();
    EXPECT_EQ(dialogs.shown.back().text, "Are you sure to clear the Fax editor ?");
    EXPECT_EQ(dialogs.shown.back().caption, "Please Confirm");
    EXPECT_EQ(dialogs.shown.back().buttons, MsgButtons::YesNo);
    EXPECT_EQ(text(), "!keep me");
    EXPECT_EQ(w->FileName(), path);
    EXPECT_TRUE(w->Editor->Modified());

    dialogs.answer(MsgResult::Yes);
    w->FileNewCmd->trigger();
    EXPECT_EQ(text(), "");
    EXPECT_EQ(w->FileName(), "Untitled");
    EXPECT_EQ(w->windowTitle(), "Untitled - Brenvoy");
    EXPECT_FALSE(w->Editor->Modified());
    EXPECT_EQ(panel(1), "");
    // Text typed into the new document has the defaults again.
    type("a");
    EXPECT_EQ(formatAt(0).fontPointSize(), 8);
}

TEST_F(FaxEditor, OpenOffersToSaveChangesFirst)
{
    const QString file = env.path("letter.rtf");
    writeFile(file, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs28\\b Dear\\b0  customer\\par}");
    type("draft");

    // Cancel abandons the command: no dialog, nothing loaded.
    dialogs.answer(MsgResult::Cancel);
    w->FileOpenCmd->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Save changes to Untitled?");
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(text(), "draft");

    // Yes on an untitled document asks for a name; cancelling that keeps the draft.
    dialogs.answer(MsgResult::Yes);
    dialogs.answerFile(std::nullopt);
    w->FileOpenCmd->trigger();
    EXPECT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[2].kind, ScriptedDialogs::Shown::Save);
    EXPECT_EQ(text(), "draft");

    // No goes on and loads the file.
    dialogs.answer(MsgResult::No);
    dialogs.answerFile(file);
    w->FileOpenCmd->trigger();
    EXPECT_EQ(dialogs.shown.back().kind, ScriptedDialogs::Shown::Open);
    EXPECT_EQ(text(), "Dear customer");
    EXPECT_EQ(w->FileName(), file);
    EXPECT_EQ(w->windowTitle(), "letter.rtf - Brenvoy");
    EXPECT_FALSE(w->Editor->Modified());
    EXPECT_EQ(panel(1), "");
    EXPECT_EQ(formatAt(0).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatAt(0).fontPointSize(), 14);
}

TEST_F(FaxEditor, OpenHonoursTheDialogsReadOnlyBox)
{
    const QString file = env.path("letter.rtf");
    writeFile(file, "{\\rtf1 Dear customer\\par}");

    dialogs.answerFileReadOnly(file);
    w->FileOpenCmd->trigger();
    EXPECT_EQ(text(), "Dear customer");
    EXPECT_TRUE(w->Editor->isReadOnly());

    dialogs.answerFile(file);
    w->FileOpenCmd->trigger();
    EXPECT_FALSE(w->Editor->isReadOnly());
}

TEST_F(FaxEditor, OpenReadsPlainTextAndRefusesBinaryFiles)
{
    const QString txt = env.path("notes.txt");
    writeFile(txt, "line one\r\nline two caf\xe9");
    dialogs.answerFile(txt);
    w->FileOpenCmd->trigger();
    EXPECT_EQ(text(), QString::fromUtf8("line one\nline two café"));
    EXPECT_EQ(w->FileName(), txt);

    const QString bin = env.path("image.bin");
    writeFile(bin, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    dialogs.answerFile(bin);
    w->FileOpenCmd->trigger();
    EXPECT_EQ(dialogs.shown.back().kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dialogs.shown.back().text, "Failed to Load Stream");
    EXPECT_EQ(text(), QString::fromUtf8("line one\nline two café"));
    EXPECT_EQ(w->FileName(), txt);
}

TEST_F(FaxEditor, StartupArgumentIsLoadedWhenFirstShown)
{
    const QString file = env.path("start.rtf");
    writeFile(file, "{\\rtf1 from the command line}");
    w = std::make_unique<TFrmRichEditor>(dialogs, QStringList{"brenvoy", file});
    EXPECT_EQ(text(), "");
    showWindow();
    EXPECT_EQ(text(), "from the command line");
    EXPECT_EQ(w->FileName(), file);

    // Shown again (as the template window does) it keeps the operator's edits.
    type("edited ");
    w->hide();
    w->show();
    EXPECT_EQ(text(), "edited from the command line");
}

TEST_F(FaxEditor, DroppedFileIsOpenedAfterTheSaveOffer)
{
    showWindow();
    const QString a = env.path("a.rtf"), b = env.path("b.rtf");
    writeFile(a, "{\\rtf1 dropped a}");
    writeFile(b, "{\\rtf1 dropped b}");
    type("work");

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    dialogs.answer(MsgResult::No);
    // A drag enters first, as with a real drag: it makes the editor the target.
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->Editor->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->Editor->viewport(), &drop);

    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, "Save changes to Untitled?");
    EXPECT_EQ(text(), "dropped a");
    EXPECT_EQ(w->FileName(), a);
}

TEST_F(FaxEditor, StatusBarShowsCaretPositionAndModifiedState)
{
    showWindow();
    EXPECT_EQ(panel(0), "Line:   1   Col:   1");
    EXPECT_EQ(panel(1), "");
    type("first");
    QTest::keyClick(w->Editor, Qt::Key_Return);
    type("ab");
    EXPECT_EQ(panel(0), "Line:   2   Col:   3");
    EXPECT_EQ(panel(1), "Modified");
    placeCaret(3);
    EXPECT_EQ(panel(0), "Line:   1   Col:   4");
    EXPECT_EQ(panel(2), "");
}

TEST_F(FaxEditor, EditActionsFollowTheEditor)
{
    QApplication::clipboard()->clear();
    w->ActionUpdate();
    EXPECT_FALSE(w->EditCutCmd->isEnabled());
    EXPECT_FALSE(w->EditCopyCmd->isEnabled());
    EXPECT_FALSE(w->EditUndoCmd->isEnabled());
    EXPECT_FALSE(w->EditPasteCmd->isEnabled());

    type("abc");
    EXPECT_TRUE(w->EditUndoCmd->isEnabled());
    select(0, 2);
    EXPECT_TRUE(w->EditCutCmd->isEnabled());
    EXPECT_TRUE(w->EditCopyCmd->isEnabled());
    w->EditCutCmd->trigger();
    EXPECT_EQ(text(), "c");
    EXPECT_FALSE(w->EditCutCmd->isEnabled());
    EXPECT_TRUE(w->EditPasteCmd->isEnabled());
    w->EditPasteCmd->trigger();
    EXPECT_EQ(text(), "abc");
    w->EditUndoCmd->trigger();
    EXPECT_EQ(text(), "c");
}

TEST_F(FaxEditor, ClosingAsksAndCancelKeepsTheWindowOpen)
{
    showWindow();
    type("unsaved");
    dialogs.answer(MsgResult::Cancel);
    w->FileExitCmd->trigger();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(dialogs.shown.back().text, "Save changes to Untitled?");

    dialogs.answer(MsgResult::No);
    w->close();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(FaxEditor, PrintsTheDocumentWithItsNameAsTitle)
{
    w->Editor->setPlainText("to the printer");
    const QString pdf = env.path("out.pdf");
    QString title;
    w->PrintDialogExecute = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    w->FilePrintCmd->trigger();
    EXPECT_TRUE(readFile(pdf).startsWith("%PDF"));
    EXPECT_TRUE(dialogs.shown.empty());

    // A cancelled print dialog prints nothing.
    QFile::remove(pdf);
    w->PrintDialogExecute = [](QPrinter &) { return false; };
    w->FilePrintCmd->trigger();
    EXPECT_FALSE(QFile::exists(pdf));
}

} // namespace

void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The window with a formatted fax body, grabbed as the operator would see
// it. Set BRENVOY_SCREENSHOT_DIR to keep the picture.
TEST_F(FaxEditor, RendersAFormattedDocument)
{
    const QString file = env.path("formatted.rtf");
    writeFile(file, "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 DejaVu Sans;}{\\f1 DejaVu Serif;}}"
                    "{\\colortbl;\\red200\\green0\\blue0;\\red0\\green0\\blue160;}"
                    "\\pard\\qc\\f1\\fs36\\b Brenvoy Sales Office\\b0\\par"
                    "\\pard\\f0\\fs20 Dear \\i customer\\i0 , here is our \\cf1\\b offer\\b0\\cf0  for "
                    "\\ul March\\ulnone :\\par"
                    "\\pard{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\li360 Fax modems at half price\\par"
                    "Voice messages for every contact\\par"
                    "\\pard\\fi-360\\li1080\\ri720 A hanging paragraph with left, first-line and right "
                    "indents, long enough to wrap onto a second line in the editor.\\par"
                    "\\pard\\qr\\cf2 Caf\\'e9 \\u1050?\\u1080?\\u1077?\\u1074? \\u8364?42\\par}");
    dialogs.answerFile(file);
    w->FileOpenCmd->trigger();
    showWindow();
    // Put the caret in the indented paragraph, so the ruler shows its markers.
    placeCaret(w->Editor->document()->findBlockByNumber(4).position());
    QApplication::processEvents();

    const QImage image = w->grab().toImage();
    ASSERT_EQ(image.size(), w->size() * image.devicePixelRatio());
    int red = 0;
    const QRect editor(w->Editor->mapTo(w.get(), QPoint(0, 0)), w->Editor->size());
    for (int y = editor.top(); y < editor.bottom(); ++y)
        for (int x = editor.left(); x < editor.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red += c.red() > 150 && c.green() < 80 && c.blue() < 80;
        }
    EXPECT_GT(red, 10) << "the red word is drawn";
    // \li1080\fi-360: the first line at 36 pt, the others 18 pt further.
    EXPECT_EQ(w->FirstInd->Left(), 36 * 4 / 3 + 2);
    EXPECT_EQ(w->LeftInd->Left(), 54 * 4 / 3 + 2);

    const QByteArray dir = qgetenv("BRENVOY_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        image.save(QString::fromLocal8Bit(dir) + "/fax-editor.png");
}

} // namespace
