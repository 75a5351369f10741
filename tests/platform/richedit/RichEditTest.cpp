#include "platform/richedit/RichEdit.h"
#include "tests/platform/richedit/DocSummary.h"

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QString writeTemp(QTemporaryDir &dir, const char *name, const QByteArray &data)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    return path;
}

} // namespace

TEST(RichEdit, IndentsAreWholePointsOnTheControlAndTwipsInRtf)
{
    RichEdit edit;
    edit.setPlainText("paragraph");
    edit.Paragraph().setFirstIndent(36);
    edit.Paragraph().setLeftIndent(-18); // the other lines start left of the first
    edit.Paragraph().setRightIndent(9);
    EXPECT_EQ(edit.Paragraph().FirstIndent(), 36);
    EXPECT_EQ(edit.Paragraph().LeftIndent(), -18);
    EXPECT_EQ(edit.Paragraph().RightIndent(), 9);

    const QByteArray rtf = edit.toRtf();
    EXPECT_TRUE(rtf.contains("\\fi360\\li360\\ri180")) << rtf.toStdString();

    // Twips that are not whole points count down to the point below.
    edit.loadFromBytes("{\\rtf1\\pard\\li1090\\fi-370\\ri359 x\\par}");
    EXPECT_EQ(edit.Paragraph().FirstIndent(), 36);
    EXPECT_EQ(edit.Paragraph().LeftIndent(), 18);
    EXPECT_EQ(edit.Paragraph().RightIndent(), 17);
    EXPECT_EQ(edit.tabStopDistance(), 48) << "a loaded document keeps half-inch tab stops";

    // Changing one indent keeps the other lines' place relative to the first.
    edit.Paragraph().setFirstIndent(10);
    EXPECT_EQ(edit.Paragraph().LeftIndent(), 18);
    edit.Paragraph().setLeftIndent(0);
    EXPECT_EQ(edit.Paragraph().FirstIndent(), 10);
}

TEST(RichEdit, ParagraphChangesCoverEverySelectedParagraph)
{
    RichEdit edit;
    edit.setPlainText("a\nb\nc");
    QTextCursor c(edit.document()->findBlockByNumber(0));
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    edit.setTextCursor(c); // a and the start of b
    edit.Paragraph().setAlignment(ParaAlignment::Center);
    edit.Paragraph().setNumbering(NumberingStyle::Bullet);
    const auto paras = summarize(*edit.document());
    EXPECT_EQ(paras[0].align, 'C');
    EXPECT_EQ(paras[1].align, 'C');
    EXPECT_EQ(paras[2].align, 'L');
    EXPECT_EQ(paras[0].list, 'b');
    EXPECT_EQ(paras[1].list, 'b');
    EXPECT_EQ(paras[2].list, '-');
}

TEST(RichEdit, NonRtfLoadsAsPlainTextInItsEncoding)
{
    QTemporaryDir dir;
    struct {
        const char *name;
        QByteArray data;
        QString text;
    } const cases[] = {
        {"utf8.txt", "caf\xc3\xa9\r\nline", QString::fromUtf8("café\nline")},
        {"ansi.txt", "caf\xe9 \x80", QString::fromUtf8("café €")},
        {"bom.txt", "\xef\xbb\xbfhi", "hi"},
        {"utf16.txt", QByteArray("\xff\xfeh\0i\0", 6), "hi"},
        {"empty.txt", "", ""},
    };
    for (const auto &c : cases) {
        RichEdit edit;
        edit.loadFromFile(writeTemp(dir, c.name, c.data));
        EXPECT_EQ(edit.toPlainText(), c.text) << c.name;
        EXPECT_FALSE(edit.Modified());
    }
}

TEST(RichEdit, AFailedLoadKeepsTheDocument)
{
    QTemporaryDir dir;
    RichEdit edit;
    edit.setPlainText("precious");
    edit.setModified(true);

    try {
        edit.loadFromFile(writeTemp(dir, "binary.dat", QByteArray("GIF89a\0\0\x01", 9)));
        FAIL() << "binary data loaded";
    } catch (const RichEditError &e) {
        EXPECT_STREQ(e.what(), "Failed to Load Stream");
    }
    try {
        edit.loadFromFile(dir.filePath("missing.rtf"));
        FAIL() << "missing file loaded";
    } catch (const RichEditError &e) {
        EXPECT_TRUE(
            QString::fromUtf8(e.what()).startsWith("Cannot open file \"" + dir.filePath("missing.rtf")));
    }
    EXPECT_EQ(edit.toPlainText(), "precious");
    EXPECT_TRUE(edit.Modified());
}

TEST(RichEdit, SaveReplacesTheFileWholeAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = writeTemp(dir, "doc.rtf", "old");
    RichEdit edit;
    edit.setPlainText(QString::fromUtf8("Grüße\nzweite Zeile"));
    edit.saveToFile(path);
    RichEdit back;
    back.loadFromFile(path);
    EXPECT_EQ(back.toPlainText(), edit.toPlainText());
    EXPECT_THROW(edit.saveToFile(dir.filePath("no/folder/doc.rtf")), RichEditError);
}

TEST(RichEdit, LinesCountBreaksWithinParagraphs)
{
    RichEdit edit;
    edit.setLineWrapMode(QTextEdit::NoWrap);
    edit.setPlainText(QString("one") + QChar::LineSeparator + "two\nthree");
    edit.resize(400, 200);
    edit.show();
    // "one" 0-3, "two" 4-7, paragraph mark, "three" 8-13
    const struct {
        int pos, line;
    } cases[] = {{0, 0}, {3, 0}, {4, 1}, {7, 1}, {8, 2}, {13, 2}};
    for (const auto &c : cases)
        EXPECT_EQ(edit.lineFromChar(c.pos), c.line) << c.pos;
    EXPECT_EQ(edit.lineIndex(0), 0);
    EXPECT_EQ(edit.lineIndex(1), 4);
    EXPECT_EQ(edit.lineIndex(2), 8);
    EXPECT_EQ(edit.lineIndex(3), -1);
}

TEST(RichEdit, FontNamesAreSortedAndUnique)
{
    const QStringList names = RichEdit::fontNames();
    ASSERT_FALSE(names.isEmpty());
    QStringList sorted = names;
    sorted.sort(Qt::CaseInsensitive);
    sorted.removeDuplicates();
    EXPECT_EQ(names, sorted);
    EXPECT_TRUE(names.contains("DejaVu Sans"));
}

namespace {
// Reaches the control's drop entry points, as a drag-and-drop would.
class DropProbe : public RichEdit {
public:
    using RichEdit::canInsertFromMimeData;
    using RichEdit::insertFromMimeData;
};
} // namespace

TEST(RichEdit, DroppedFilesAreHandedOverNeverPastedAsText)
{
    DropProbe edit;
    QStringList got;
    edit.OnFilesDropped = [&](const QStringList &files) { got = files; };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/a.rtf"), QUrl("https://example.com/x")});

    // Not accepting files: the drop is refused and nothing is inserted.
    EXPECT_FALSE(edit.canInsertFromMimeData(&mime));
    edit.insertFromMimeData(&mime);
    EXPECT_TRUE(got.isEmpty());
    EXPECT_EQ(edit.toPlainText(), "");

    edit.setAcceptFiles(true);
    EXPECT_TRUE(edit.canInsertFromMimeData(&mime));
    edit.insertFromMimeData(&mime);
    EXPECT_EQ(got, QStringList{"/tmp/a.rtf"});
    EXPECT_EQ(edit.toPlainText(), "");
}
