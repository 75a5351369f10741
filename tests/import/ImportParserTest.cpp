#include "import/ImportParser.h"

#include <gtest/gtest.h>

using namespace import;

namespace {

ColumnFlags columns(std::initializer_list<int> included)
{
    ColumnFlags f{};
    for (int c : included)
        f[c] = true;
    return f;
}
const ColumnFlags kAll = columns({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});

QStringList delimited(const QString &line, const QString &delimiter, bool strip,
                      const ColumnFlags &include = kAll)
{
    return spansToTexts(line, splitDelimitedLine(line, delimiter, strip, include));
}

QStringList fixed(const QString &line, ColumnWidthList widths, bool strip, const ColumnFlags &include = kAll)
{
    return spansToTexts(line, splitFixedLine(line, widths, strip, include));
}

QStringList padded(QStringList cells)
{
    while (cells.size() < kColumns)
        cells << QString();
    return cells;
}

} // namespace

struct DecodeCase {
    const char *name;
    QByteArray bytes;
    QString text;
};

TEST(ImportDecode, PicksUtf8WhenValidElseWindows1252)
{
    const DecodeCase cases[] = {
        {"plain ASCII", "Smith,Jo", u"Smith,Jo"_qs},
        {"UTF-8", "M\xC3\xBCller,Ren\xC3\xA9", u"Müller,René"_qs},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBFM\xC3\xBCller", u"Müller"_qs},
        {"Windows-1252", "M\xFCller,Ren\xE9", u"Müller,René"_qs},
        // 0x80..0x9F are not Latin-1: euro sign, curly quotes, S caron
        {"Windows-1252 high controls", "\x80 \x93x\x94 \x8A", u"€ “x” Š"_qs},
        {"UTF-8 cut inside a character", "Ren\xC3", u"RenÃ"_qs},
        {"UTF-16 little-endian with mark", QByteArray("\xFF\xFEM\x00\xFC\x00", 6), u"Mü"_qs},
    };
    for (const DecodeCase &c : cases)
        EXPECT_EQ(decodeImportText(c.bytes), c.text) << c.name;
}

TEST(ImportLines, BreakAtCrLfLfAndCr)
{
    const QStringList empty;
    EXPECT_EQ(splitSourceLines(u"a\r\nb\nc\rd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(splitSourceLines(u"a\n\nb\r\n"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(splitSourceLines(u"\n"), (QStringList{""}));
    EXPECT_EQ(splitSourceLines(u""), empty);
    // CR CR LF: an empty line between
    EXPECT_EQ(splitSourceLines(u"a\r\r\nb"), (QStringList{"a", "", "b"}));
}

TEST(ImportTrim, BlanksAndControlCharactersButNotOtherSpaces)
{
    EXPECT_EQ(trimmedText(u"\t \x01 Jo \r\x1F"), u"Jo"_qs);
    EXPECT_EQ(trimmedText(u"\u00A0Jo"), u"\u00A0Jo"_qs);
    EXPECT_EQ(trimmedText(u"   "), QString());
}

struct DelimitedCase {
    const char *name;
    QString line;
    QString delimiter;
    bool strip;
    ColumnFlags include;
    QStringList cells;
};

TEST(ImportDelimitedSplit, Cases)
{
    const DelimitedCase cases[] = {
        {"excluded column stays empty", "a,b,c", ",", false, columns({0, 2}), {"a", "", "c"}},
        {"ten fields fill ten columns",
         "1,2,3,4,5,6,7,8,9,10",
         ",",
         false,
         kAll,
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {"eleventh field and after dropped",
         "1,2,3,4,5,6,7,8,9,10,11,12",
         ",",
         false,
         kAll,
         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {"quotes stripped, lone quote empty, empty field stays",
         "'x',',,\"y\"",
         ",",
         true,
         kAll,
         {"x", "", "", "y"}},
        {"quotes kept without the option", "'x',\"y\"", ",", false, kAll, {"'x'", "\"y\""}},
        {"mixed quotes are not a pair", "'x\",b", ",", true, kAll, {"'x\"", "b"}},
        {"only the last field is trimmed", " a , b ", ",", false, kAll, {" a ", "b"}},
        {"a quoted delimiter still splits", "\"Smith, Jo\",x", ",", true, kAll, {"\"Smith", " Jo\"", "x"}},
        {"empty delimiter: the trimmed line in column 0", "  a,b  ", "", false, kAll, {"a,b"}},
        {"semicolon", "a;b,c", ";", false, kAll, {"a", "b,c"}},
        {"tab as delimiter", "a\tb", "\t", false, kAll, {"a", "b"}},
        {"last field excluded", "a,b", ",", false, columns({0}), {"a"}},
        {"trailing delimiter leaves nothing after", "a,", ",", false, kAll, {"a"}},
        {"blank line", "   ", ",", false, kAll, {}},
    };
    for (const DelimitedCase &c : cases)
        EXPECT_EQ(delimited(c.line, c.delimiter, c.strip, c.include), padded(c.cells)) << c.name;
}

struct FixedCase {
    const char *name;
    QString line;
    ColumnWidthList widths;
    bool strip;
    ColumnFlags include;
    QStringList cells;
};

TEST(ImportFixedSplit, Cases)
{
    const FixedCase cases[] = {
        {"widths 6 and 4", "Smith Jo  ", {6, 4}, false, kAll, {"Smith", "Jo"}},
        {"excluded column still takes its characters", "Smith Jo  ", {6, 4}, false, columns({1}), {"", "Jo"}},
        {"width 0 takes nothing and stays empty", "Smith Jo  ", {6, 0, 4}, false, kAll, {"Smith", "", "Jo"}},
        {"line ends inside a column", "Smith J", {6, 4, 3}, false, kAll, {"Smith", "J", ""}},
        {"quotes stripped after trimming", " 'Jo'  \"x\"", {6, 4}, true, kAll, {"Jo", "x"}},
        {"lone quote", "\"     ", {6}, true, kAll, {""}},
        {"quotes kept without the option", "'Jo'", {4}, false, kAll, {"'Jo'"}},
        {"no widths, nothing", "Smith", {}, false, kAll, {}},
    };
    for (const FixedCase &c : cases)
        EXPECT_EQ(fixed(c.line, c.widths, c.strip, c.include), padded(c.cells)) << c.name;
}

TEST(ImportDecode, Windows1252KeepsEveryByte)
{
    // Undefined bytes read as the C1 control of the same value.
    EXPECT_EQ(decodeImportText("\x81\x8D\x8F\x90\x9D\xE9"),
              QString(QChar(0x81)) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) + QChar(0x9D) + QChar(0xE9));
    // A mark followed by bytes that are not UTF-8: the mark is not UTF-8's, so
    // it is read as text like the rest.
    EXPECT_EQ(decodeImportText("\xEF\xBB\xBF\xE9"), u"ï»¿é"_qs);
}
