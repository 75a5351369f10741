#include "platform/profile/IniFile.h"
#include "platform/profile/PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ProfileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.path() + "/Kestrun.ini";

    void put(const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytes() const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

TEST_F(ProfileTest, MissingFileReadsDefaultsAndIsCreatedByTheFirstWrite)
{
    EXPECT_EQ(GetPrivateProfileString("Database", "Name", "contacdata.dbf  ", file), "contacdata.dbf");
    EXPECT_EQ(GetPrivateProfileInt("PlayList", "Count", 7, file), 7);
    EXPECT_TRUE(GetPrivateProfileSectionNames(file).isEmpty());
    // Deleting from a file that does not exist leaves no file behind.
    EXPECT_TRUE(WritePrivateProfileString("PlayList", QString("0"), std::nullopt, file));
    EXPECT_FALSE(QFile::exists(file));

    ASSERT_TRUE(WritePrivateProfileString("Database", QString("Path"), QString("/srv/office/"), file));
    ASSERT_TRUE(WritePrivateProfileString("Database", QString("Name"), QString("contacdata.dbf"), file));
    ASSERT_TRUE(WritePrivateProfileString("General", QString("RecordCalls"), QString("0"), file));
    EXPECT_EQ(bytes(),
              "[Database]\r\nPath=/srv/office/\r\nName=contacdata.dbf\r\n\r\n[General]\r\nRecordCalls=0\r\n");
}

TEST_F(ProfileTest, WritesChangeOnlyTheirOwnLinesAndFindNamesWithoutRegardToCase)
{
    // GIVEN a hand-kept file with a preamble, comments, odd spacing and a
    // line without "="
    put("; written by hand\n"
        "[email]\n"
        "  subject = Spring offer \n"
        "; keep this comment\n"
        "not a key\n"
        "\n"
        "[Fax]\n"
        "Note=call first\n");
    EXPECT_EQ(GetPrivateProfileString("EMAIL", "SUBJECT", "", file), "Spring offer");
    EXPECT_EQ(GetPrivateProfileSectionKeys("Email", file), QStringList{"subject"});

    // WHEN one key is replaced, one added to each section and a section added
    ASSERT_TRUE(WritePrivateProfileString("Email", QString("Subject"), QString("Summer offer"), file));
    ASSERT_TRUE(WritePrivateProfileString("Email", QString("HostApp"), QString("/usr/bin/mail"), file));
    ASSERT_TRUE(WritePrivateProfileString("FAX", QString("Subject"), QString("Prices"), file));
    ASSERT_TRUE(WritePrivateProfileString("General", QString("RecordCalls"), QString("1"), file));

    // THEN every other line stands as it was, the key keeps its spelling, and
    // the file keeps its LF line ends
    EXPECT_EQ(bytes(), "; written by hand\n"
                       "[email]\n"
                       "subject=Summer offer\n"
                       "; keep this comment\n"
                       "not a key\n"
                       "HostApp=/usr/bin/mail\n"
                       "\n"
                       "[Fax]\n"
                       "Note=call first\n"
                       "Subject=Prices\n"
                       "\n"
                       "[General]\n"
                       "RecordCalls=1\n");
    EXPECT_EQ(GetPrivateProfileSectionNames(file), (QStringList{"email", "Fax", "General"}));
}

TEST_F(ProfileTest, FirstOfRepeatedSectionsAndKeysWins)
{
    put("[A]\r\nk=1\r\nK=2\r\n[a]\r\nk=3\r\n");
    EXPECT_EQ(GetPrivateProfileString("a", "k", "", file), "1");
    ASSERT_TRUE(WritePrivateProfileString("A", QString("k"), QString("9"), file));
    EXPECT_EQ(bytes(), "[A]\r\nk=9\r\nK=2\r\n[a]\r\nk=3\r\n");
}

TEST_F(ProfileTest, NullValueDeletesKeyAndNullKeyDeletesSection)
{
    put("[PlayList]\r\nCount=2\r\n0=/w/a.wav\r\n1=/w/b.wav\r\n\r\n[General]\r\nRecordCalls=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("playlist", QString("0"), std::nullopt, file));
    EXPECT_EQ(GetPrivateProfileString("PlayList", "0", "gone", file), "gone");
    EXPECT_EQ(bytes(), "[PlayList]\r\nCount=2\r\n1=/w/b.wav\r\n\r\n[General]\r\nRecordCalls=1\r\n");

    ASSERT_TRUE(WritePrivateProfileString("PLAYLIST", std::nullopt, std::nullopt, file));
    EXPECT_EQ(bytes(), "[General]\r\nRecordCalls=1\r\n");
    // Deleting what is not there changes nothing and succeeds.
    EXPECT_TRUE(WritePrivateProfileString("Nothing", std::nullopt, std::nullopt, file));
    EXPECT_TRUE(WritePrivateProfileString("General", QString("Missing"), std::nullopt, file));
    EXPECT_EQ(bytes(), "[General]\r\nRecordCalls=1\r\n");
}

TEST_F(ProfileTest, ValueBufferKeeps2047Characters)
{
    const QString longValue(3000, 'x');
    ASSERT_TRUE(WritePrivateProfileString("Email", QString("Subject"), longValue, file));
    EXPECT_EQ(GetPrivateProfileString("Email", "Subject", "", file).size(), 2047);
    EXPECT_EQ(GetPrivateProfileString("Email", "Subject", "", file, 10), QString(9, 'x'));
    EXPECT_EQ(GetPrivateProfileString("Email", "Subject", "", file, 0), longValue);
    EXPECT_EQ(IniFile(file).ReadString("Email", "Subject", "").size(), 2047);
}

TEST_F(ProfileTest, EveryValueReadsBackAsWritten)
{
    const QStringList values = {"plain",
                                " leading blank",
                                "trailing blank ",
                                "\"quoted\"",
                                "'single'",
                                "a=b;c [d]",
                                "",
                                "Grüße € ½",
                                "\"",
                                "x\"y\"",
                                "   "};
    for (const QString &v : values) {
        ASSERT_TRUE(WritePrivateProfileString("S", QString("K"), v, file)) << v.toStdString();
        EXPECT_EQ(GetPrivateProfileString("S", "K", "default", file), v) << v.toStdString();
    }
    // A line break cannot stand in an INI line: it would start a new key.
    ASSERT_TRUE(
        WritePrivateProfileString("S", QString("K"), QString("first\r\nAddAttachment=1\nthird"), file));
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", file), "first AddAttachment=1 third");
    EXPECT_EQ(GetPrivateProfileSectionKeys("S", file), QStringList{"K"});
}

TEST_F(ProfileTest, NamesThatCannotStandInAnIniLineAreRefused)
{
    for (const char *key : {"a=b", "[x", ";x", "", "  ", "a\nb"})
        EXPECT_FALSE(WritePrivateProfileString("S", QString(key), QString("v"), file)) << key;
    EXPECT_FALSE(WritePrivateProfileString("a]b", QString("k"), QString("v"), file));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(ProfileTest, FileKeepsItsEncoding)
{
    // Windows-1252: "é" is 0xE9, "€" is 0x80.
    put("[Email]\r\nSubject=Caf\xE9 \x80 5\r\n");
    EXPECT_EQ(GetPrivateProfileString("Email", "Subject", "", file), QString::fromUtf8("Café € 5"));
    ASSERT_TRUE(WritePrivateProfileString("Email", QString("Note"), QString::fromUtf8("déjà"), file));
    EXPECT_EQ(bytes(), "[Email]\r\nSubject=Caf\xE9 \x80 5\r\nNote=d\xE9j\xE0\r\n");

    // Text the code page cannot hold turns the file into UTF-8, losing nothing.
    ASSERT_TRUE(WritePrivateProfileString("Email", QString("Note"), QString::fromUtf8("Ωmega"), file));
    EXPECT_EQ(bytes(), "[Email]\r\nSubject=Caf\xC3\xA9 \xE2\x82\xAC 5\r\nNote=\xCE\xA9mega\r\n");

    put("\xEF\xBB\xBF[A]\nk=\xC3\xA9\n");
    EXPECT_EQ(GetPrivateProfileString("a", "K", "", file), QString::fromUtf8("é"));
    ASSERT_TRUE(WritePrivateProfileString("A", QString("k"), QString("x"), file));
    EXPECT_EQ(bytes(), "\xEF\xBB\xBF[A]\nk=x\n");

    // UTF-16 LE with BOM, as Windows writes Unicode profiles.
    put(QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0", 22));
    EXPECT_EQ(GetPrivateProfileString("A", "k", "", file), QString::fromUtf8("é"));
    ASSERT_TRUE(WritePrivateProfileString("A", QString("k"), QString("x"), file));
    EXPECT_EQ(bytes(), QByteArray("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0x\0\r\0\n\0", 22));
}

TEST_F(ProfileTest, AWindowsFileKeepsItsCodePageAfterAWriteRemovesItsLastAccent)
{
    // GIVEN a Windows-1252 file whose only accented letter is then written away
    put("[Fax]\r\nSubject=Caf\xE9\r\n");
    ASSERT_TRUE(WritePrivateProfileString("Fax", QString("Subject"), QString("Prices"), file));
    EXPECT_EQ(bytes(), "[Fax]\r\nSubject=Prices\r\n");

    // WHEN a later write brings one back, it comes in the same code page
    ASSERT_TRUE(WritePrivateProfileString("Fax", QString("Note"), QString::fromUtf8("déjà vu"), file));
    EXPECT_EQ(bytes(), "[Fax]\r\nSubject=Prices\r\nNote=d\xE9j\xE0 vu\r\n");
    EXPECT_EQ(GetPrivateProfileString("Fax", "Note", "", file), QString::fromUtf8("déjà vu"));

    // A UTF-8 file with accents stays UTF-8.
    put("[Fax]\r\nSubject=Caf\xC3\xA9\r\n");
    ASSERT_TRUE(WritePrivateProfileString("Fax", QString("Note"), QString::fromUtf8("à"), file));
    EXPECT_EQ(bytes(), "[Fax]\r\nSubject=Caf\xC3\xA9\r\nNote=\xC3\xA0\r\n");
}

TEST_F(ProfileTest, AWriteOfTheSameValueLeavesTheLineAsItStands)
{
    put("[PlayList]\r\nCount = 2\r\n0 = \" a \"\r\n");
    for (const auto &[key, value] : std::vector<std::pair<QString, QString>>{{"count", "2"}, {"0", " a "}})
        ASSERT_TRUE(WritePrivateProfileString("PlayList", key, value, file));
    EXPECT_EQ(bytes(), "[PlayList]\r\nCount = 2\r\n0 = \" a \"\r\n");
    ASSERT_TRUE(WritePrivateProfileString("PlayList", QString("Count"), QString("3"), file));
    EXPECT_EQ(bytes(), "[PlayList]\r\nCount=3\r\n0 = \" a \"\r\n");
}

TEST_F(ProfileTest, BatchWritesAndDeletesMatchOneByOne)
{
    const QByteArray start = "[A]\r\nk=1\r\nx=2\r\nK=3\r\n\r\n[B]\r\nz=1\r\n";
    // Deleting: the first of a repeated key goes, a later repeat stays.
    put(start);
    IniFile(file).DeleteKeys("a",
                             [](const QString &key) { return key.compare("k", Qt::CaseInsensitive) == 0; });
    EXPECT_EQ(bytes(), "[A]\r\nx=2\r\nK=3\r\n\r\n[B]\r\nz=1\r\n");

    // Writing: an existing key in place, new keys before the blank line, a
    // key given twice once with its later value; a new section at the end
    const std::vector<std::pair<QString, QString>> values{{"X", "9"}, {"n", "1"}, {"m", "2"}, {"N", "3"}};
    put(start);
    IniFile(file).WriteStrings("A", values);
    const QByteArray batched = bytes();
    put(start);
    for (const auto &[key, value] : values)
        IniFile(file).WriteString("A", key, value);
    EXPECT_EQ(batched, bytes());
    EXPECT_EQ(batched, "[A]\r\nk=1\r\nx=9\r\nK=3\r\nn=3\r\nm=2\r\n\r\n[B]\r\nz=1\r\n");
    IniFile(file).WriteStrings("C", {{"a", "1"}, {"b", "2"}});
    EXPECT_TRUE(bytes().endsWith("z=1\r\n\r\n[C]\r\na=1\r\nb=2\r\n"));
}

TEST_F(ProfileTest, FileThatCannotBeWrittenFailsWithItsPath)
{
    const QString unwritable = dir.path() + "/no such folder/Kestrun.ini";
    EXPECT_FALSE(WritePrivateProfileString("Database", QString("Name"), QString("x"), unwritable));
    IniFile ini(unwritable);
    try {
        ini.WriteString("Database", "Name", "contacdata.dbf");
        FAIL() << "no exception";
    } catch (const EIniFileException &e) {
        EXPECT_EQ(e.text(), "Unable to write to " + unwritable);
        EXPECT_STREQ(e.what(), ("Unable to write to " + unwritable).toUtf8().constData());
    }
    // A folder in the file's place: neither readable as a file nor writable.
    QDir().mkpath(file);
    EXPECT_THROW(IniFile(file).WriteInteger("A", "b", 1), EIniFileException);
    EXPECT_EQ(IniFile(file).ReadInteger("A", "b", 5), 5);
}

TEST_F(ProfileTest, IntegersReadTheWayEachReaderDoes)
{
    struct Case {
        const char *text;
        std::optional<int> platform; // GetPrivateProfileInt, default 99
        int typed;                   // IniFile::ReadInteger, default 99
    };
    const Case cases[] = {
        {"12", 12, 12},   {"-1", -1, -1},    {"0x1F", 31, 31},
        {"0X1f", 31, 31}, {"42abc", 42, 99}, {"abc", 0, 99},
        {"", 99, 99},     {"0x", 0, 99},     {"99999999999", std::nullopt, 99},
        {"+5", 5, 5},
    };
    for (const Case &c : cases) {
        put(QByteArray("[S]\r\nK=") + c.text + "\r\n");
        if (c.platform) {
            EXPECT_EQ(GetPrivateProfileInt("S", "K", 99, file), *c.platform) << c.text;
        }
        EXPECT_EQ(IniFile(file).ReadInteger("S", "K", 99), c.typed) << c.text;
    }
    put("[S]\r\nA=2\r\nB=0\r\nC=yes\r\n");
    IniFile ini(file);
    EXPECT_TRUE(ini.ReadBool("S", "A", false));
    EXPECT_FALSE(ini.ReadBool("S", "B", true));
    EXPECT_TRUE(ini.ReadBool("S", "C", true));
    EXPECT_FALSE(ini.ReadBool("S", "C", false));
    EXPECT_TRUE(ini.ReadBool("S", "Missing", true));
    ini.WriteBool("S", "A", true);
    ini.WriteBool("S", "B", false);
    EXPECT_EQ(bytes(), "[S]\r\nA=1\r\nB=0\r\nC=yes\r\n");
}

TEST_F(ProfileTest, DatesAndTimesUseTheUsersFormats)
{
    IniFile ini(file);
    const QDate today(2026, 12, 11);
    const QTime now(8, 30, 0);

    ini.WriteDate("Fax", "ScheduleDate", QDate(2007, 3, 5));
    ini.WriteTime("Fax", "ScheduleTime", QTime(13, 5, 9));
    EXPECT_EQ(ini.ReadString("Fax", "ScheduleDate", ""), "3/5/2007");
    EXPECT_EQ(ini.ReadDate("Fax", "ScheduleDate", today), QDate(2007, 3, 5));
    EXPECT_EQ(ini.ReadTime("Fax", "ScheduleTime", now), QTime(13, 5, 9));

    // Text another program wrote with a two-digit year lands in the right century.
    ini.WriteString("Fax", "ScheduleDate", "3/5/07");
    EXPECT_EQ(ini.ReadDate("Fax", "ScheduleDate", today), QDate(2007, 3, 5));

    // Written under one locale, unreadable under another: the default.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ini.WriteDate("Fax", "ScheduleDate", QDate(2007, 3, 25));
    EXPECT_EQ(ini.ReadString("Fax", "ScheduleDate", ""), "25.03.2007");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(ini.ReadDate("Fax", "ScheduleDate", today), today);

    for (const char *bad : {"soon", "13/45/2007", "25:00:00"}) {
        ini.WriteString("Fax", "ScheduleDate", bad);
        ini.WriteString("Fax", "ScheduleTime", bad);
        EXPECT_EQ(ini.ReadDate("Fax", "ScheduleDate", today), today) << bad;
        EXPECT_EQ(ini.ReadTime("Fax", "ScheduleTime", now), now) << bad;
    }
    EXPECT_EQ(ini.ReadDate("Fax", "Missing", today), today);
}

TEST_F(ProfileTest, SectionAndValueQueries)
{
    put("[Email]\r\nSubject=\r\n[Fax]\r\n");
    IniFile ini(file);
    EXPECT_TRUE(ini.SectionExists("email"));
    EXPECT_TRUE(ini.SectionExists("FAX"));
    EXPECT_FALSE(ini.SectionExists("TapiDevice"));
    EXPECT_TRUE(ini.ValueExists("Email", "subject"));
    EXPECT_FALSE(ini.ValueExists("Fax", "Subject"));
    ini.EraseSection("Fax");
    EXPECT_EQ(ini.ReadSections(), QStringList{"Email"});
}

TEST_F(ProfileTest, BufferedFileWritesOnlyOnUpdate)
{
    put("; kept\r\n[PlayList]\r\nCount=1\r\n0=/w/a.wav\r\n");
    IniFile ini(file, IniFile::Mode::Buffered);
    ini.DeleteKey("PlayList", "0");
    ini.WriteInteger("PlayList", "Count", 2);
    ini.WriteString("PlayList", "0", "/w/b.wav");
    ini.WriteString("PlayList", "1", "/w/c.wav");
    // Reads see the pending writes; the file does not yet.
    EXPECT_EQ(ini.ReadInteger("PlayList", "Count", 0), 2);
    EXPECT_EQ(ini.ReadSection("PlayList"), (QStringList{"Count", "0", "1"}));
    EXPECT_EQ(bytes(), "; kept\r\n[PlayList]\r\nCount=1\r\n0=/w/a.wav\r\n");

    ini.UpdateFile();
    EXPECT_EQ(bytes(), "; kept\r\n[PlayList]\r\nCount=2\r\n0=/w/b.wav\r\n1=/w/c.wav\r\n");

    // An update that cannot reach the disk fails with the path.
    IniFile nowhere(dir.path() + "/gone/Kestrun.ini", IniFile::Mode::Buffered);
    nowhere.WriteString("A", "b", "c");
    EXPECT_THROW(nowhere.UpdateFile(), EIniFileException);
    // A file that cannot be read is never replaced by our keys alone.
    QDir().mkpath(dir.path() + "/folder.ini");
    IniFile unreadable(dir.path() + "/folder.ini", IniFile::Mode::Buffered);
    EXPECT_THROW(unreadable.WriteString("A", "b", "c"), EIniFileException);
}

TEST_F(ProfileTest, UndefinedWindows1252BytesSurviveAWrite)
{
    // 0x81 and 0x9D hold no character; they read as C1 controls and go back
    // as the same bytes, so the file stays in its code page.
    put("[A]\r\nk=\x81\x9D\xE9\r\n");
    EXPECT_EQ(GetPrivateProfileString("A", "k", "", file),
              QString(QChar(0x0081)) + QChar(0x009D) + QChar(0x00E9));
    ASSERT_TRUE(WritePrivateProfileString("A", QString("n"), QString("x"), file));
    EXPECT_EQ(bytes(), "[A]\r\nk=\x81\x9D\xE9\r\nn=x\r\n");

    // U+0080 has no byte (0x80 is the euro sign): the file becomes UTF-8.
    ASSERT_TRUE(WritePrivateProfileString("A", QString("n"), QString(QChar(0x0080)), file));
    EXPECT_EQ(bytes(), "[A]\r\nk=\xC2\x81\xC2\x9D\xC3\xA9\r\nn=\xC2\x80\r\n");
}

} // namespace
