#include "config/Settings.h"
#include "tests/support/TestFiles.h"

#include "platform/profile/IniFile.h"
#include "platform/profile/ProfileDocument.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <stdexcept>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

class SettingsTest : public ::testing::Test {
protected:
    // Today is 5 March 2007, 9:00 (the test environment's clock).
    TestEnvironment t;
    SettingsPaths paths = SettingsPaths::inProgramFolder(t.programFolder());

    void SetUp() override { QDir().mkpath(paths.templateFolder); }

    void writeIni(const QByteArray &text) { writeBytes(paths.iniFile, text); }
    QByteArray ini() const { return readBytes(paths.iniFile); }
    // What the template window took at the last load.
    std::optional<SettingsTemplate> taken;
    Settings load(SettingsLoadHooks hooks = {})
    {
        taken.reset();
        hooks.setTemplate = [this](const SettingsTemplate &tpl) { taken = tpl; };
        Settings s;
        LoadSettings(s, paths, t.clock, hooks);
        return s;
    }
    // Saved with the templates the window took at the last load.
    void save(const Settings &s)
    {
        ASSERT_TRUE(taken);
        SaveSettings(s, paths, &taken->values);
    }
};

TEST_F(SettingsTest, PathsLieInTheProgramFolder)
{
    EXPECT_EQ(paths.iniFile, t.programFolder() + "/Kestrun.ini");
    EXPECT_EQ(paths.templateFolder, t.programFolder() + "/Template/");
    EXPECT_EQ(paths.mailMessageFile(), t.programFolder() + "/Template/mailmessage.txt");
    EXPECT_EQ(SettingsPaths::inProgramFolder(t.programFolder() + "/").iniFile, paths.iniFile);
}

TEST_F(SettingsTest, MissingFileGivesEveryDefaultAndTheFirstSaveWritesThemInOrder)
{
    // GIVEN no settings file and no side files
    Settings s = load();

    // THEN every key has its default, and no body was handed to the
    // template window, whose controls keep what the form gave them
    EXPECT_TRUE(s.playList.isEmpty());
    EXPECT_EQ(s.play1, -1); // 0 is not below the empty list's count
    EXPECT_EQ(s.play2, -1);
    EXPECT_EQ(s.selectedDevice, "");
    EXPECT_EQ(s.voiceSupport, VoiceSupport::NotChecked);
    EXPECT_EQ(s.waveDestination, 2);
    EXPECT_EQ(s.emailHostSelection, 0);
    EXPECT_EQ(s.faxHostSelection, 0);
    EXPECT_FALSE(s.recordCalls);
    ASSERT_TRUE(taken);
    const MessageTemplate &tpl = taken->values;
    EXPECT_TRUE(tpl.email.addFirstName);
    EXPECT_FALSE(tpl.email.addAttachment);
    EXPECT_TRUE(tpl.email.viewBeforeSend);
    EXPECT_EQ(tpl.fax.faxSource, 0);
    EXPECT_EQ(tpl.fax.coverPage, 1);
    EXPECT_EQ(tpl.fax.schedule, 0);
    EXPECT_EQ(tpl.fax.scheduleDate, QDate(2007, 3, 5));
    EXPECT_EQ(tpl.fax.scheduleTime, QTime(9, 0));
    EXPECT_FALSE(taken->hasMailBody);
    EXPECT_FALSE(taken->hasFaxBody);
    EXPECT_FALSE(QFile::exists(paths.iniFile));

    // WHEN saved with empty bodies
    save(s);

    // THEN the file is created with the keys in save order and the side files
    // hold an empty body and an empty document
    EXPECT_EQ(ini(),
              "[PlayList]\r\nCount=0\r\n\r\n"
              "[TapiDevice]\r\nSelection=\r\n\r\n"
              "[WavePlaying]\r\nPlay1=-1\r\nPlay2=-1\r\nDestination=2\r\n\r\n"
              "[Email]\r\nAddFirstName=1\r\nAddAttachment=0\r\nAttachmentFile=\r\nSubject=\r\n"
              "ViewBeforeSend=1\r\nHostSelection=0\r\nHostApp=\r\n\r\n"
              "[Fax]\r\nFaxSource=0\r\nCoverPage=1\r\nSchedule=0\r\nSubject=\r\nNote=\r\nSourceFile=\r\n"
              "ScheduleDate=3/5/2007\r\nScheduleTime=9:00:00 AM\r\nHostSelection=0\r\nHostApp=\r\n\r\n"
              "[General]\r\nRecordCalls=0\r\n");
    EXPECT_EQ(readBytes(paths.mailMessageFile()), "");
    EXPECT_EQ(readBytes(paths.faxTemplateFile()), "{\\rtf1}");
}

TEST_F(SettingsTest, LoadThenSaveKeepsTheFileAndBothSideFiles)
{
    // GIVEN a settings file with every key set away from its default, in the
    // Windows code page, and both side files
    const QString data = QStringLiteral(BRENVOY_TEST_DATA);
    const QByteArray iniBytes = readBytes(data + "/Kestrun.ini");
    const QByteArray mailBytes = readBytes(data + "/mailmessage.txt");
    const QByteArray faxBytes = readBytes(data + "/faxtemplate.rtf");
    writeIni(iniBytes);
    writeBytes(paths.mailMessageFile(), mailBytes);
    writeBytes(paths.faxTemplateFile(), faxBytes);

    const Settings s = load();
    ASSERT_TRUE(taken);
    const MessageTemplate &tpl = taken->values;
    EXPECT_EQ(s.playList.size(), 3);
    EXPECT_EQ(s.play1, 2);
    EXPECT_EQ(s.play2, -1);
    EXPECT_EQ(s.selectedDevice, "Simulated Voice Modem");
    EXPECT_EQ(s.waveDestination, 0);
    EXPECT_EQ(tpl.email.subject, " Prices for 2007 ");
    EXPECT_EQ(tpl.fax.subject, QString::fromUtf8("Café prices"));
    EXPECT_EQ(tpl.fax.scheduleDate, QDate(2007, 3, 9));
    EXPECT_EQ(tpl.fax.scheduleTime, QTime(16, 30, 15));
    EXPECT_EQ(tpl.fax.bodyRtf, faxBytes);
    EXPECT_TRUE(taken->hasMailBody && taken->hasFaxBody);
    EXPECT_EQ(tpl.email.body, (QStringList{"Dear customer,", "", QString::fromUtf8("our café prices € 2007:"),
                                           "  see attachment"}));
    EXPECT_TRUE(s.recordCalls);

    save(s);

    EXPECT_EQ(ini(), iniBytes);
    EXPECT_EQ(readBytes(paths.mailMessageFile()), mailBytes);
    EXPECT_EQ(readBytes(paths.faxTemplateFile()), faxBytes);
}

TEST_F(SettingsTest, WithoutATemplateWindowTheTemplateKeysAndSideFilesAreLeftAlone)
{
    // GIVEN template keys and both side files
    const QByteArray text = "[Email]\r\nSubject=Spring offer\r\nHostApp=/usr/bin/mailer\r\n\r\n"
                            "[Fax]\r\nCoverPage=2\r\nHostSelection=1\r\n";
    writeIni(text);
    writeBytes(paths.mailMessageFile(), "Hello\r\n");
    writeBytes(paths.faxTemplateFile(), "not even rtf");

    // WHEN loaded and saved with no template window to take or give them
    Settings s;
    LoadSettings(s, paths, t.clock);
    EXPECT_EQ(s.emailHostApp, "/usr/bin/mailer");
    EXPECT_EQ(s.faxHostSelection, 1);
    SaveSettings(s, paths);

    // THEN the template keys and side files are as they were
    const IniFile file(paths.iniFile);
    EXPECT_EQ(file.ReadSection("Email"), (QStringList{"Subject", "HostApp", "HostSelection"}));
    EXPECT_EQ(file.ReadString("Email", "Subject", ""), "Spring offer");
    EXPECT_EQ(file.ReadString("Fax", "CoverPage", ""), "2");
    EXPECT_EQ(readBytes(paths.mailMessageFile()), "Hello\r\n");
    EXPECT_EQ(readBytes(paths.faxTemplateFile()), "not even rtf");
}

TEST_F(SettingsTest, PlayListSkipsEmptyEntriesAndSaveLeavesNoStaleKeys)
{
    // GIVEN Count 5 whose key "1" is empty and key "3" missing
    writeIni("[PlayList]\r\nCount=5\r\n0=/w/a.wav\r\n1=\r\n2=/w/c.wav\r\n4=/w/e.wav\r\n5=/w/beyond.wav\r\n");
    Settings s = load();
    EXPECT_EQ(s.playList, (QStringList{"/w/a.wav", "/w/c.wav", "/w/e.wav"}));

    // WHEN one entry is removed and the settings saved
    s.playList.removeLast();
    SaveSettings(s, paths);

    // THEN Count 2 with keys "0" and "1"; every numbered key below the old
    // count is gone, and a key beyond it is left as it was
    const IniFile file(paths.iniFile);
    EXPECT_EQ(file.ReadSection("PlayList"), (QStringList{"Count", "0", "1", "5"}));
    EXPECT_EQ(file.ReadString("PlayList", "Count", ""), "2");
    EXPECT_EQ(file.ReadString("PlayList", "0", ""), "/w/a.wav");
    EXPECT_EQ(file.ReadString("PlayList", "1", ""), "/w/c.wav");
    EXPECT_EQ(load().playList, (QStringList{"/w/a.wav", "/w/c.wav"}));
}

TEST_F(SettingsTest, HandSpacedLinesStayAsTheyAreWhenTheirValuesDoNotChange)
{
    // GIVEN a hand-kept file with blanks around "=" and a value in quotes
    const QByteArray text = "[PlayList]\r\nCount = 2\r\n0 = /w/a.wav\r\n1= /w/b.wav\r\n\r\n"
                            "[WavePlaying]\r\nPlay1 =0\r\nPlay2 = 1\r\nDestination = 2\r\n\r\n"
                            "[Email]\r\nSubject = 'Spring offer'\r\n";
    writeIni(text);

    // WHEN it is loaded and saved without a change
    Settings s = load();
    save(s);

    // THEN its lines are the same; the keys it lacked come after them
    EXPECT_TRUE(ini().startsWith(text.left(text.indexOf("[Email]")))) << ini().toStdString();
    EXPECT_TRUE(ini().contains("Subject = 'Spring offer'\r\n")) << ini().toStdString();

    // and a changed value rewrites only its own line
    s.playList.removeLast();
    save(s);
    EXPECT_TRUE(
        ini().startsWith("[PlayList]\r\nCount=1\r\n0 = /w/a.wav\r\n\r\n[WavePlaying]\r\nPlay1 =0\r\n"))
        << ini().toStdString();
}

TEST_F(SettingsTest, APlayListCountIsBoundedByTheKeysTheFileHolds)
{
    // GIVEN 40 bytes claiming two billion entries, one of them far along
    writeIni("[PlayList]\r\nCount=2000000000\r\n70000=/w/far.wav\r\n");

    // THEN load and save finish at once and give what a walk over every
    // index would give
    Settings s = load();
    EXPECT_EQ(s.playList, QStringList{"/w/far.wav"});
    SaveSettings(s, paths);
    const IniFile file(paths.iniFile);
    EXPECT_EQ(file.ReadSection("PlayList"), (QStringList{"Count", "0"}));
    EXPECT_EQ(load().playList, QStringList{"/w/far.wav"});

    // Keys that only look like numbers are not entries ("01" is not "1"),
    // and a negative count lists nothing
    writeIni("[PlayList]\r\nCount=3\r\n01=/w/x.wav\r\n+2=/w/y.wav\r\n2=/w/z.wav\r\n");
    EXPECT_EQ(load().playList, QStringList{"/w/z.wav"});
    writeIni("[PlayList]\r\nCount=-5\r\n0=/w/x.wav\r\n");
    EXPECT_TRUE(load().playList.isEmpty());
}

TEST_F(SettingsTest, AnOversizedFileIsReportedNotReadAndNeverOverwritten)
{
    // GIVEN a settings file past the size any real one has
    QByteArray big = "[PlayList]\r\nCount=2\r\n0=/w/a.wav\r\n1=/w/b.wav\r\n[Fax]\r\nNote=";
    big += QByteArray(ProfileDocument::kMaxFileSize, 'x') + "\r\n";
    writeIni(big);
    QStringList messages;
    SettingsLoadHooks hooks;
    hooks.showMessage = [&](const QString &text) { messages << text; };

    // THEN the load says so and goes on with the defaults
    Settings s = load(hooks);
    EXPECT_TRUE(s.playList.isEmpty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("Kestrun.ini")) << messages[0].toStdString();

    // and a save refuses to replace it with only our keys
    EXPECT_THROW(SaveSettings(s, paths), EIniFileException);
    EXPECT_EQ(ini(), big);
}

TEST_F(SettingsTest, PlaySelectionsOutsideTheListSelectNothing)
{
    struct Case {
        const char *play1;
        const char *play2;
        int expect1;
        int expect2;
    };
    const Case cases[] = {
        {nullptr, nullptr, 0, 1},                     // defaults
        {"1", "0", 1, 0},         {"2", "3", -1, -1}, // equal to or above the count
        {"-1", "-1", -1, -1},     {"-7", "x", -1, 1}, // below -1; unreadable gives the default
    };
    for (const Case &c : cases) {
        QByteArray text = "[PlayList]\r\nCount=2\r\n0=/w/a.wav\r\n1=/w/b.wav\r\n[WavePlaying]\r\n";
        if (c.play1)
            text += QByteArray("Play1=") + c.play1 + "\r\n";
        if (c.play2)
            text += QByteArray("Play2=") + c.play2 + "\r\n";
        writeIni(text);
        const Settings s = load();
        EXPECT_EQ(s.play1, c.expect1) << (c.play1 ? c.play1 : "-");
        EXPECT_EQ(s.play2, c.expect2) << (c.play2 ? c.play2 : "-");
    }
}

TEST_F(SettingsTest, UnparsableScheduleComesBackAsNow)
{
    // Written under a German short date format, read under the US one.
    writeIni("[Fax]\r\nScheduleDate=25.03.2007\r\nScheduleTime=half past four\r\n");
    const Settings s = load();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->values.fax.scheduleDate, QDate(2007, 3, 5));
    EXPECT_EQ(taken->values.fax.scheduleTime, QTime(9, 0));

    // The date's time part and the time's date part are never stored.
    taken->values.fax.scheduleDate = QDate(2007, 4, 1);
    taken->values.fax.scheduleTime = QTime(7, 5, 3);
    save(s);
    EXPECT_EQ(IniFile(paths.iniFile).ReadString("Fax", "ScheduleDate", ""), "4/1/2007");
    EXPECT_EQ(IniFile(paths.iniFile).ReadString("Fax", "ScheduleTime", ""), "7:05:03 AM");
}

struct FakeDevice {
    QString selected;
    bool voice = false;
    bool failVoice = false;
    QString resolvedName; // what an empty selection resolves to
    QStringList calls;

    SettingsLoadHooks hooks(QStringList *messages)
    {
        SettingsLoadHooks h;
        h.setSelectedDevice = [this](const QString &name) {
            calls << "SelectedDevice=" + name;
            selected = name.isEmpty() ? resolvedName : name;
        };
        h.selectedDevice = [this] { return selected; };
        h.setEnableVoice = [this](bool on) {
            calls << QString("EnableVoice=%1").arg(on);
            if (failVoice)
                throw std::runtime_error("no voice");
            voice = on;
        };
        h.enableVoice = [this] { return voice; };
        h.showMessage = [messages](const QString &text) { messages->append(text); };
        return h;
    }
};

TEST_F(SettingsTest, DeviceStepResolvesTheDeviceAndReportsAFailedVoiceCheck)
{
    QStringList messages;

    // A file without a TapiDevice section: the device gets an empty name and
    // resolves it itself.
    writeIni("[General]\r\nRecordCalls=1\r\n");
    FakeDevice modem;
    modem.resolvedName = "Simulated Voice Modem";
    Settings s = load(modem.hooks(&messages));
    EXPECT_EQ(modem.calls, (QStringList{"SelectedDevice=", "EnableVoice=1"}));
    EXPECT_EQ(s.selectedDevice, "Simulated Voice Modem");
    EXPECT_EQ(s.editSelectedDevice, "Simulated Voice Modem");
    EXPECT_EQ(s.voiceSupport, VoiceSupport::Supported);
    EXPECT_TRUE(messages.isEmpty());

    // A device without voice: reported, and the rest still loads.
    writeIni("[TapiDevice]\r\nSelection=Plain Modem\r\n[General]\r\nRecordCalls=1\r\n");
    FakeDevice plain;
    plain.failVoice = true;
    s = load(plain.hooks(&messages));
    EXPECT_EQ(s.voiceSupport, VoiceSupport::NotSupported);
    EXPECT_EQ(s.editSelectedDevice, "Plain Modem");
    EXPECT_EQ(messages, QStringList{QString::fromUtf8(kVoiceCheckFailedMessage)});
    EXPECT_TRUE(s.recordCalls);
}

TEST_F(SettingsTest, SaveFailuresAreReported)
{
    const Settings s;
    MessageTemplate tpl;
    tpl.fax.scheduleDate = QDate(2007, 3, 5);
    tpl.fax.scheduleTime = QTime(9, 0);

    // The Template folder is gone: the side file cannot be written.
    QDir(paths.templateFolder).removeRecursively();
    EXPECT_THROW(SaveSettings(s, paths, &tpl), SettingsFileError);

    // The settings file's folder does not exist.
    SettingsPaths nowhere = SettingsPaths::inProgramFolder(t.programFolder() + "/missing");
    try {
        SaveSettings(s, nowhere);
        FAIL() << "no exception";
    } catch (const EIniFileException &e) {
        EXPECT_EQ(e.text(), "Unable to write to " + nowhere.iniFile);
    }
}

} // namespace
