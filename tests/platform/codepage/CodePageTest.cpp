#include "platform/codepage/CodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, EveryByteRoundTripsAndCommonPagesDecode)
{
    struct Case {
        unsigned char driver;
        const char *name;
        unsigned char byte;
        char16_t character;
    } cases[] = {
        {0x03, "Windows-1252", 0x80, 0x20AC}, {0x57, "Windows-1252", 0xE9, 0x00E9},
        {0x01, "IBM437", 0x82, 0x00E9},       {0x02, "IBM850", 0xD5, 0x0131},
        {0x64, "IBM852", 0xA5, 0x0105},       {0x66, "IBM865", 0x9B, 0x00F8},
        {0x65, "IBM866", 0x80, 0x0410},       {0xC8, "Windows-1250", 0x9A, 0x0161},
        {0xC9, "Windows-1251", 0xC0, 0x0410}, {0xCB, "Windows-1253", 0xC1, 0x0391},
        {0xCA, "Windows-1254", 0xF0, 0x011F}, {0x7D, "Windows-1255", 0xE0, 0x05D0},
        {0x7E, "Windows-1256", 0xC7, 0x0627}, {0xCC, "Windows-1257", 0xE0, 0x0105},
        {0x04, "macintosh", 0x8E, 0x00E9},    {0x00, "Windows-1252", 0xE9, 0x00E9},
        {0xF0, "Windows-1252", 0x81, 0x0081}, // unknown: lossless
    };
    for (const Case &c : cases) {
        const CodePage &cp = CodePage::forLanguageDriver(c.driver);
        EXPECT_EQ(cp.name(), c.name) << int(c.driver);
        EXPECT_EQ(cp.toUnicode(c.byte), c.character) << int(c.driver);
        QByteArray all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[b] = char(b);
        EXPECT_EQ(cp.encode(cp.decode(all.constData(), all.size())), all) << c.name;
    }
    EXPECT_EQ(CodePage::windows1252().encode(QString::fromUtf8("Ж€😀")), QByteArray("?\x80?"));
}

TEST(CodePage, SingleCharacterEncodeTellsWhenThePageHasNoByte)
{
    const CodePage &cp = CodePage::windows1252();
    EXPECT_EQ(cp.encodeChar(QChar(u'A')), std::optional<char>('A'));
    EXPECT_EQ(cp.encodeChar(QChar(u'\0')), std::optional<char>('\0'));
    EXPECT_EQ(cp.encodeChar(QChar(0x20AC)), std::optional<char>('\x80'));
    EXPECT_EQ(cp.encodeChar(QChar(0x0178)), std::optional<char>('\x9F'));
    EXPECT_EQ(cp.encodeChar(QChar(0x00E9)), std::optional<char>('\xE9'));
    // Bytes the page leaves undefined read as their C1 control and write back.
    EXPECT_EQ(cp.encodeChar(QChar(0x0081)), std::optional<char>('\x81'));
    EXPECT_EQ(cp.encodeChar(QChar(0x009D)), std::optional<char>('\x9D'));
    // C1 controls whose byte holds another character have no byte.
    EXPECT_EQ(cp.encodeChar(QChar(0x0080)), std::nullopt);
    EXPECT_EQ(cp.encodeChar(QChar(0x0416)), std::nullopt);
    EXPECT_EQ(cp.encodeChar(QChar(0xD83D)), std::nullopt);
    EXPECT_EQ(cp.encode(QString::fromUtf8("\u0080")), QByteArray("?"));
}

TEST(CodePage, SingleCharacterEncodeFollowsEachPage)
{
    const CodePage &cyrillic = CodePage::forLanguageDriver(0xC9);
    EXPECT_EQ(cyrillic.encodeChar(QChar(0x0416)), std::optional<char>('\xC6'));
    EXPECT_EQ(cyrillic.encodeChar(QChar(0x00E9)), std::nullopt);
    const CodePage &dos = CodePage::forLanguageDriver(0x01);
    EXPECT_EQ(dos.encodeChar(QChar(0x00E9)), std::optional<char>('\x82'));
    EXPECT_EQ(dos.encodeChar(QChar(0x20AC)), std::nullopt);
    for (int b = 0x80; b < 0x100; ++b)
        EXPECT_EQ(dos.encodeChar(QChar(dos.toUnicode((unsigned char)b))), std::optional<char>(char(b))) << b;
}

TEST(CodePage, Windows1252IsTheDefaultDriversPage)
{
    EXPECT_EQ(&CodePage::windows1252(), &CodePage::forLanguageDriver(CodePage::kDefaultLanguageDriver));
    EXPECT_EQ(CodePage::windows1252().decode("\x80\x8D\xFF", 3), QString::fromUtf8("\u20AC\u008D\u00FF"));
}
