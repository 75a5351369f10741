#include "platform/richedit/RtfWriter.h"
#include "platform/richedit/RichEdit.h"
#include "platform/richedit/RtfReader.h"
#include "tests/platform/richedit/DocSummary.h"
#include "tests/platform/richedit/LibreOffice.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <gtest/gtest.h>

namespace {

QTextCharFormat charFormat(const QString &family, double size, bool b = false, bool i = false, bool u = false,
                           QColor color = QColor())
{
    QTextCharFormat f;
    f.setFontFamilies({family});
    f.setFontPointSize(size);
    f.setFontWeight(b ? QFont::Bold : QFont::Normal);
    f.setFontItalic(i);
    f.setFontUnderline(u);
    if (color.isValid())
        f.setForeground(color);
    return f;
}

// Everything the fax editor can set, with text from several scripts.
void buildSample(RichEdit &edit)
{
    QTextCursor c(edit.document());
    c.insertText("Hello ", charFormat("DejaVu Sans", 12));
    c.insertText("bold", charFormat("DejaVu Sans", 12, true));
    c.insertText(" italic", charFormat("DejaVu Sans", 12, false, true));
    c.insertText(" under", charFormat("DejaVu Sans", 12, false, false, true));
    c.insertText(" red", charFormat("DejaVu Serif", 16, false, false, false, QColor("#ff0000")));
    c.insertBlock(QTextBlockFormat(), charFormat("DejaVu Sans", 10));
    c.insertText(QString::fromUtf8("Центр ü € “q” 日本 😀 {braces} \\back"), charFormat("DejaVu Sans", 10));
    c.insertBlock(QTextBlockFormat(), charFormat("DejaVu Sans", 8));
    c.insertText(QString("tab\there") + QChar::LineSeparator + "next line", charFormat("DejaVu Sans", 8));
    c.insertBlock(QTextBlockFormat(), charFormat("DejaVu Sans", 12));
    c.insertText("first", charFormat("DejaVu Sans", 12));
    c.insertBlock();
    c.insertText("second", charFormat("DejaVu Sans", 12));
    c.insertBlock();
    c.insertText("plain again", charFormat("DejaVu Sans", 12));

    auto at = [&](int block) {
        QTextCursor bc(edit.document()->findBlockByNumber(block));
        edit.setTextCursor(bc);
    };
    at(1);
    edit.Paragraph().setAlignment(ParaAlignment::Center);
    at(2);
    edit.Paragraph().setAlignment(ParaAlignment::Right);
    edit.Paragraph().setFirstIndent(18);
    edit.Paragraph().setLeftIndent(36);
    edit.Paragraph().setRightIndent(9);
    QTextCursor bullets(edit.document()->findBlockByNumber(3));
    bullets.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    edit.setTextCursor(bullets);
    edit.Paragraph().setNumbering(NumberingStyle::Bullet);
}

QString readUtf8(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

} // namespace

TEST(RtfWriter, RoundTripKeepsEverythingTheEditorSets)
{
    RichEdit edit;
    buildSample(edit);
    const auto original = summarize(*edit.document());
    ASSERT_EQ(original.size(), 6u);
    ASSERT_EQ(original[3].list, 'b');
    ASSERT_EQ(original[2].li, 1080); // 18 pt first line + 36 pt more for the others

    QTextDocument back;
    rtf::read(rtf::write(*edit.document()), back);
    EXPECT_EQ(summarize(back), original);
}

TEST(RtfWriter, EmptyAndTrailingEmptyParagraphsSurvive)
{
    for (const QString &text : {QString(), QString("a\n"), QString("\n\n"), QString("a\n\nb")}) {
        QTextDocument doc;
        QTextCursor(&doc).insertText(text);
        QTextDocument back;
        rtf::read(rtf::write(doc), back);
        EXPECT_EQ(back.blockCount(), doc.blockCount()) << text.toStdString();
        EXPECT_EQ(back.toPlainText(), doc.toPlainText());
    }
}

TEST(RtfWriter, WritesSevenBitRtfWithCodePageAndUnicodeEscapes)
{
    QTextDocument doc;
    QTextCursor(&doc).insertText(QString::fromUtf8("é€Жx😀"));
    const QByteArray out = rtf::write(doc);
    EXPECT_TRUE(out.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    for (char c : out)
        EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80);
    EXPECT_TRUE(out.contains("\\'e9\\'80\\u1046?x\\u-10179?\\u-8704?")) << out.toStdString();
}

// LibreOffice reads what we write: its own RTF of our document reads back
// (through the reader the LibreOffice fixtures check) with the same
// formatting, and its plain-text export has our text.
TEST(RtfWriter, LibreOfficeReadsOurRtf)
{
    if (!libreOfficeAvailable())
        GTEST_SKIP() << "soffice not installed (package libreoffice-writer-nogui)";
    QTemporaryDir dir;
    RichEdit edit;
    buildSample(edit);
    const QString ours = dir.filePath("ours.rtf");
    edit.saveToFile(ours);

    const QString txt = convertWithLibreOffice(ours, "txt:Text (encoded):UTF8", dir.filePath("txt"));
    ASSERT_FALSE(txt.isEmpty());
    QStringList lines = readUtf8(txt).split(QRegularExpression("\r?\n"));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QStringList expected;
    for (const ParaSummary &p : summarize(*edit.document()))
        expected << QString(p.text).replace(QChar::LineSeparator, '\n').split('\n');
    // LibreOffice puts the bullet in front of list items.
    for (QString &l : lines)
        l.remove(QRegularExpression(QString::fromUtf8("^\\s*[•·]\\s*")));
    EXPECT_EQ(lines, expected);

    const QString rtf = convertWithLibreOffice(ours, "rtf", dir.filePath("rtf"));
    ASSERT_FALSE(rtf.isEmpty());
    QFile f(rtf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QTextDocument back;
    rtf::read(f.readAll(), back);
    EXPECT_EQ(summarize(back), summarize(*edit.document()));
}

TEST(RtfWriter, ControlCharactersOfTheUpperHalfAreUnicodeEscapes)
{
    QTextDocument doc;
    QTextCursor(&doc).insertText(QString(QChar(0x0081)) + QChar(0x0080) + QChar(0x0178));
    const QByteArray out = rtf::write(doc);
    EXPECT_TRUE(out.contains("\\u129?\\u128?\\'9f")) << out.toStdString();
}
