#include "platform/richedit/RtfReader.h"
#include "platform/richedit/RtfWriter.h"
#include "tests/platform/richedit/DocSummary.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <gtest/gtest.h>

namespace {

QByteArray fixture(const char *name)
{
    QFile f(QStringLiteral(BRENVOY_TEST_DATA "/") + name);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

std::vector<ParaSummary> readSummary(const QByteArray &rtf)
{
    QTextDocument doc;
    rtf::read(rtf, doc);
    return summarize(doc);
}

QStringList texts(const std::vector<ParaSummary> &paras)
{
    QStringList out;
    for (const ParaSummary &p : paras)
        out << p.text;
    return out;
}

RunSummary run(const char *text, const char *family, double size)
{
    RunSummary r;
    r.text = QString::fromUtf8(text);
    r.family = QString::fromUtf8(family);
    r.size = size;
    return r;
}

} // namespace

TEST(RtfReader, LibreOfficeFormattingFixture)
{
    const auto paras = readSummary(fixture("formatting.rtf"));
    ASSERT_EQ(paras.size(), 4u);

    // GIVEN a paragraph of four styled words in 14 pt DejaVu Serif
    RunSummary bold = run("Bold", "DejaVu Serif", 14), space = run(" ", "DejaVu Serif", 14);
    bold.bold = true;
    RunSummary italic = run("Italic", "DejaVu Serif", 14);
    italic.italic = true;
    RunSummary under = run("Under", "DejaVu Serif", 14);
    under.underline = true;
    RunSummary red = run("Red", "DejaVu Serif", 14);
    red.color = "#ff0000";
    const std::vector<RunSummary> expected{bold, space, italic, space, under, space, red};
    EXPECT_EQ(paras[0].runs, expected);
    EXPECT_EQ(paras[0].align, 'L');

    EXPECT_EQ(paras[1].text, QString::fromUtf8("Centered ÄÖÜ ß € Привет 日本"));
    EXPECT_EQ(paras[1].align, 'C');
    EXPECT_EQ(paras[1].runs.front().family, "DejaVu Sans");
    EXPECT_EQ(paras[1].runs.front().size, 10);

    EXPECT_EQ(paras[2].text, "Right indented");
    EXPECT_EQ(paras[2].align, 'R');
    EXPECT_EQ(paras[2].li, 1440);
    EXPECT_EQ(paras[2].fi, -720);
    EXPECT_EQ(paras[2].ri, 360);

    EXPECT_EQ(paras[3].text, QString("Tab\tand") + QChar::LineSeparator + "line");
    EXPECT_EQ(paras[3].align, 'J');
}

TEST(RtfReader, LibreOfficeListsFixture)
{
    QTextDocument doc;
    rtf::read(fixture("lists.rtf"), doc);
    const auto paras = summarize(doc);
    ASSERT_EQ(texts(paras),
              QStringList({"Before", "Bullet one", "Bullet two", "Between", "Number one", "Number two"}));
    std::string lists;
    for (const auto &p : paras)
        lists += p.list;
    EXPECT_EQ(lists, "-bb-dd");
    // Consecutive items form one list.
    EXPECT_EQ(doc.findBlockByNumber(1).textList(), doc.findBlockByNumber(2).textList());
    EXPECT_EQ(paras[1].li, 709);
    EXPECT_EQ(paras[1].fi, -283);
}

TEST(RtfReader, WordPadStyleFixture)
{
    const auto paras = readSummary(fixture("wordpad.rtf"));
    ASSERT_EQ(texts(paras),
              QStringList({QString::fromUtf8("Plain bold café blue"), "First item", "Second item",
                           QString::fromUtf8("Привет €™ end") + QChar::LineSeparator + "next", "right"}));
    RunSummary plain = run("Plain ", "Arial", 10), bold = run("bold", "Arial", 10),
               cafe = run(" café ", "Arial", 10), blue = run("blue", "Arial", 10);
    bold.bold = true;
    blue.color = "#0000ff";
    EXPECT_EQ(paras[0].runs, (std::vector<RunSummary>{plain, bold, cafe, blue}));

    for (int i : {1, 2}) {
        EXPECT_EQ(paras[i].list, 'b') << i;
        EXPECT_EQ(paras[i].li, 720);
        EXPECT_EQ(paras[i].fi, -360);
    }
    EXPECT_EQ(paras[3].list, '-');
    EXPECT_EQ(paras[3].align, 'C');
    EXPECT_EQ(paras[3].runs.front().family, "Arial CYR");
    EXPECT_EQ(paras[4].align, 'R');
    EXPECT_EQ(paras[4].ri, 720);
    EXPECT_TRUE(paras[4].runs.front().underline);
}

struct TextCase {
    const char *rtf;
    const char *text; // paragraphs joined by '|'
};

class RtfReaderText : public ::testing::TestWithParam<TextCase> {};

TEST_P(RtfReaderText, ReadsText)
{
    EXPECT_EQ(texts(readSummary(QByteArray(GetParam().rtf))).join('|').replace(QChar::LineSeparator, '/'),
              QString::fromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RtfReaderText,
    ::testing::Values(
        TextCase{"{\\rtf1}", ""}, TextCase{"{\\rtf1 a\\par}", "a"}, TextCase{"{\\rtf1 a\\par\\par}", "a|"},
        TextCase{"{\\rtf1 a\\par b}", "a|b"},
        TextCase{"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fnil Courier;}}\\'cf\\'f0}", "Пр"},
        TextCase{"{\\rtf1\\uc0\\u1055 x}", "Пx"}, TextCase{"{\\rtf1\\u1055 xy}", "Пy"},
        TextCase{"{\\rtf1\\uc1\\u1055\\'3fy}", "Пy"}, TextCase{"{\\rtf1 {\\uc2\\u1055 ab}cd}", "Пcd"},
        TextCase{"{\\rtf1\\u-10179?\\u-8704?}", "😀"},
        TextCase{"{\\rtf1 a{\\*\\unknown hidden {nested}}b}", "ab"},
        TextCase{"{\\rtf1 a{\\info{\\title T}}{\\stylesheet{\\s0 Normal;}}b}", "ab"},
        TextCase{"{\\rtf1 \\{\\}\\\\\\~x}", "{}\\\u00a0x"}, TextCase{"{\\rtf1 a\\bin3 {}}b}", "ab"},
        TextCase{"{\\rtf1 a\\line b\\tab c}", "a/b\tc"}, TextCase{"{\\rtf1 a\\", "a"},
        TextCase{"{\\rtf1 a\\'4", "a"}, TextCase{"{\\rtf1 a}trailing", "a"}, TextCase{"\r\n {\\rtf1 a}", "a"},
        TextCase{"{\\rtf1 {\\*x}{\\b y}}", "xy"}, TextCase{"{\\rtf1 {\\pict\\wmetafile8 0a0b}x}", "x"},
        TextCase{"{\\rtf1\r\na\r\nb\\\r\nc}", "ab|c"},
        TextCase{"{\\rtf1 {\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}}", "link"},
        // Escaped control characters are not text (found by fuzzing).
        TextCase{"{\\rtf1\\uc0 a\\u10 b\\u8233 c\\'0ad\\u65532 e}", "abcde"},
        TextCase{"{\\rtf1\\ansi\\ansicpg1252 \\'80\\'e9\\'93x\\'94}", "€é“x”"}));

TEST(RtfReader, FormattingIsScopedToGroupsAndReset)
{
    const auto paras = readSummary("{\\rtf1{\\fonttbl\\f0\\fnil Courier New;\\f1\\fnil Arial;}"
                                   "\\f1\\fs30 a{\\b b}\\i c\\plain d\\par\\qc e\\par\\pard f}");
    ASSERT_EQ(paras.size(), 3u);
    const auto &r = paras[0].runs;
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].family, "Arial");
    EXPECT_EQ(r[0].size, 15);
    EXPECT_TRUE(r[1].bold);
    EXPECT_FALSE(r[2].bold);
    EXPECT_TRUE(r[2].italic);
    // \plain goes back to the default font and 12 pt.
    EXPECT_EQ(r[3].family, "Courier New");
    EXPECT_EQ(r[3].size, 12);
    EXPECT_FALSE(r[3].italic);
    EXPECT_EQ(paras[1].align, 'C');
    EXPECT_EQ(paras[2].align, 'L');
}

TEST(RtfReader, IsRtfLooksAtTheHeaderOnly)
{
    EXPECT_TRUE(rtf::isRtf("{\\rtf1}"));
    EXPECT_TRUE(rtf::isRtf("\r\n {\\rtf1 x}"));
    EXPECT_FALSE(rtf::isRtf("{\\rt"));
    EXPECT_FALSE(rtf::isRtf("Hello {\\rtf1}"));
}

// Input that would make a careless reader crash, recurse without end or
// build gigantic fonts and margins. Each must read quickly into a sane
// document that writes and reads again.
TEST(RtfReader, HostileInputStaysSane)
{
    static const char kControlBytes[] = "{\\rtf1 \0\x01\xff\xfe text}";
    std::vector<QByteArray> inputs{
        "{\\rtf1" + QByteArray(200000, '{') + "x",
        "{\\rtf1 x" + QByteArray(5000, '}') + "y",
        "{\\rtf1" + QByteArray(3000, '{') + "deep" + QByteArray(3000, '}') + "after}",
        "{\\rtf1\\fs99999999999999999999999 big\\li-99999999999999 x\\fi2147483647\\ri-2147483648 y}",
        "{\\rtf1\\uc99999999\\u65 abcdef}",
        "{\\rtf1\\u99999999999\\u-99999999999 x}",
        "{\\rtf1 a\\bin99999999999 b}",
        "{\\rtf1 a\\bin-5 b}",
        "{\\rtf1\\'",
        "{\\rtf1\\'g",
        "{\\rtf1{\\fonttbl{\\f99999999999 X;}{\\f-1 Y;}{\\fonttbl{\\f0",
        "{\\rtf1{\\colortbl;\\red999\\green-5\\blue1;;;}\\cf2 a\\cf999999 b}",
        "{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc23}\\listid5}}{\\*\\listoverridetable{"
        "\\listoverride"
        "\\listid5\\ls1}}\\ls1\\ilvl999 a\\par\\ls77 b\\par}",
        "{\\rtf1{\\*\\pn{\\*\\pn{\\*\\pn\\pnlvlblt}}} a\\par}",
        "{\\rtf1\\" + QByteArray(100000, 'a') + "1234567890123456789 x}",
        "{\\rtf1 " + QByteArray(100000, '\\') + "}",
        QByteArray::fromRawData(kControlBytes, sizeof kControlBytes - 1),
    };
    for (const QByteArray &in : inputs) {
        QTextDocument doc;
        rtf::read(in, doc);
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            EXPECT_LE(std::abs(b.blockFormat().leftMargin()), 22 * 96);
            EXPECT_LE(std::abs(b.blockFormat().textIndent()), 22 * 96);
            for (auto it = b.begin(); !it.atEnd(); ++it)
                EXPECT_LE(it.fragment().charFormat().fontPointSize(), 1638);
        }
        QTextDocument again;
        rtf::read(rtf::write(doc), again);
        EXPECT_EQ(again.toPlainText(), doc.toPlainText()) << in.left(60).toStdString();
    }
}
