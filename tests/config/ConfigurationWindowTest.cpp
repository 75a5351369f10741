#include "config/TfrmConfiguration.h"

#include "platform/profile/IniFile.h"
#include "telephony/TDeviceSelectionForm.h"
#include "telephony/TapiDevice.h"
#include "tests/support/RiffBytes.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"
#include "ui/RadioGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The configuration window with a line device on the simulated provider and
// two lists standing in for the main window's message lists.
class ConfigurationWindowTest : public ::testing::Test {
protected:
    ConfigurationWindowTest()
    {
        QDir().mkpath(paths.templateFolder);
        // A voice modem and a data modem, read when the first line device opens.
        writeBytes(
            te.env->stateFolderFor("tapi") + "/provider.ini",
            "[Line0]\nName=Office Modem\n[Line1]\nName=Data Only\nMediaModes=DATAMODEM\nWaveDevices=0\n");
        device = std::make_unique<TTapiDevice>(*te.env, dialogs);
        form.setMainWindowControls(device.get(), &player1, &player2);
        form.playSound = [this](const char *name, HMODULE, std::uint32_t flags) {
            played << (name ? QString::fromLocal8Bit(name) : QStringLiteral("<stop>"));
            playFlags << flags;
            return TRUE;
        };
        form.CheckOutlook = [this] { ++outlookChecks; };
        form.CheckFaxService = [this] { ++faxChecks; };
    }

    // A wave file in a folder of its own: format tag, channels, rate, bits.
    QString wave(const QString &name, int tag = 1, int channels = 1, int rate = 8000, int bits = 16)
    {
        const QString path = te.root.path() + "/waves/" + name;
        QDir().mkpath(te.root.path() + "/waves");
        const int align = channels * bits / 8;
        const QByteArray fmt =
            le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
        writeBytes(path, riff(chunk("fmt ", fmt) + chunk("data", QByteArray(8 * align, '\1'))));
        return path;
    }

    // The play list, after checking the main window's lists hold the same.
    QStringList listed() const
    {
        QStringList entries = form.PlayListEntries();
        for (const QComboBox *cb : {&player1, &player2}) {
            QStringList items;
            for (int i = 0; i < cb->count(); ++i)
                items << cb->itemText(i);
            EXPECT_EQ(items, entries) << cb->objectName().toStdString();
        }
        return entries;
    }
    QStringList savedPlayList() const
    {
        const IniFile ini(paths.iniFile);
        QStringList out;
        for (int i = 0; i < ini.ReadInteger("PlayList", "Count", -1); ++i)
            out << ini.ReadString("PlayList", QString::number(i), "<none>");
        return out;
    }
    void add(const QStringList &files)
    {
        dialogs.answerFiles(files);
        form.btnAdd->click();
    }

    TestEnvironment te;
    ScriptedDialogs dialogs;
    Settings record;
    SettingsPaths paths = SettingsPaths::inProgramFolder(te.programFolder());
    std::unique_ptr<TTapiDevice> device;
    QComboBox player1, player2;
    TfrmConfiguration form{*te.env, dialogs, record, paths};
    QStringList played;
    QList<std::uint32_t> playFlags;
    int outlookChecks = 0;
    int faxChecks = 0;
};

TEST_F(ConfigurationWindowTest, OpensOnGeneralWithItsControlsInPlace)
{
    EXPECT_EQ(form.windowTitle(), "Configuration");
    EXPECT_EQ(form.size(), QSize(366, 414));
    ASSERT_EQ(form.PageControl1->count(), 4);
    QStringList tabs;
    for (int i = 0; i < 4; ++i)
        tabs << form.PageControl1->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"Phone", "Email", "Fax", "General"}));
    EXPECT_EQ(form.PageControl1->currentWidget(), form.tsGeneral);
    EXPECT_EQ(form.lbPlayList->geometry(), QRect(8, 104, 249, 193));
    EXPECT_EQ(form.rgWaveDest->geometry(), QRect(8, 328, 329, 49));
    EXPECT_EQ(form.cbRecord->text(), "Record the conversations after dialing");
    EXPECT_EQ(form.lbPlayList->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(form.editSelectedDevice->isReadOnly());
    EXPECT_EQ(form.rgEmailHost->ItemIndex(), 0);
    EXPECT_EQ(form.rgFaxHost->item(1)->text(), "Other ..");
}

TEST_F(ConfigurationWindowTest, AddTakesTelephoneQualityFilesAndReportsTheOthers)
{
    // GIVEN three files, the middle one 44.1 kHz stereo
    const QString a = wave("a.wav"), cd = wave("cd.wav", 1, 2, 44100, 16), c = wave("c.wav");

    add({a, cd, c});

    // THEN the first and third are in all three lists and saved, with one message
    EXPECT_EQ(listed(), (QStringList{a, c}));
    EXPECT_EQ(dialogs.texts().mid(1),
              QStringList{"wave file: " + cd + " not Telephone quality (8Khz,16 bit,mono) format"});
    EXPECT_EQ(dialogs.shown[0].request.filter, "Wave File|*.WAV");
    EXPECT_EQ(savedPlayList(), (QStringList{a, c}));

    // WHEN a listed file (in other case) comes again beside a telephone-rate
    // file that is not PCM (mu-law tag, 16 bits)
    dialogs.shown.clear();
    const QString ulaw = wave("ulaw.wav", 7);
    add({a.toUpper() == a ? a : QString(a).replace("a.wav", "A.WAV"), ulaw});
    // THEN the listed one is skipped silently and the other accepted
    EXPECT_EQ(listed(), (QStringList{a, c, ulaw}));
    EXPECT_EQ(dialogs.texts().size(), 1); // the file dialog only

    // A cancelled dialog adds nothing and still saves.
    QFile::remove(paths.iniFile);
    dialogs.answerFiles(std::nullopt);
    form.btnAdd->click();
    EXPECT_EQ(savedPlayList(), (QStringList{a, c, ulaw}));
}

TEST_F(ConfigurationWindowTest, AFileThatIsNoWaveStopsAddInTheErrorDisplay)
{
    const QString a = wave("a.wav"), c = wave("c.wav");
    const QString text = te.root.path() + "/notes.wav";
    writeBytes(text, "just some text, no RIFF");

    add({a, text, c});

    // The first got in; the command stopped at the second and saved nothing.
    EXPECT_EQ(listed(), QStringList{a});
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, ScriptedDialogs::Shown::Error);
    EXPECT_FALSE(QFile::exists(paths.iniFile));
}

TEST_F(ConfigurationWindowTest, RemoveTakesTheSelectedEntriesOutOfAllThreeLists)
{
    QStringList five;
    for (const char *n : {"1.wav", "2.wav", "3.wav", "4.wav", "5.wav"})
        five << wave(n);
    add(five);
    player1.setCurrentIndex(4);

    form.lbPlayList->item(1)->setSelected(true);
    form.lbPlayList->item(3)->setSelected(true);
    form.btnRemove->click();

    EXPECT_EQ(listed(), (QStringList{five[0], five[2], five[4]}));
    EXPECT_EQ(savedPlayList(), (QStringList{five[0], five[2], five[4]}));
    EXPECT_EQ(player1.currentText(), five[4]); // the selection follows its entry
    EXPECT_EQ(IniFile(paths.iniFile).ReadInteger("WavePlaying", "Play1", -9), 2);
}

TEST_F(ConfigurationWindowTest, TestPlaysTheFirstSelectedEntryAndStopAndCloseSilenceIt)
{
    add({wave("1.wav"), wave("2.wav"), wave("3.wav")});

    form.btnTest->click(); // nothing selected: nothing plays
    EXPECT_TRUE(played.isEmpty());

    form.lbPlayList->item(2)->setSelected(true);
    form.lbPlayList->item(1)->setSelected(true);
    form.btnTest->click();
    form.Button1->click();
    form.show();
    form.close();
    EXPECT_EQ(played, (QStringList{form.lbPlayList->item(1)->text(), "<stop>", "<stop>"}));
    EXPECT_EQ(playFlags.value(0), 0x20003u);
}

// Answers the "Device Selection" dialogs to come, one choice each (an empty
// choice cancels), from inside their event loops.
void answerDeviceSelections(QStringList choices)
{
    QTimer::singleShot(5, [choices]() mutable {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *selection = dynamic_cast<TDeviceSelectionForm *>(w);
            if (!selection || !selection->isVisible() || choices.isEmpty())
                continue;
            const QString choice = choices.takeFirst();
            const auto items = selection->lbDevices->findItems(choice, Qt::MatchExactly);
            if (choice.isEmpty() || items.isEmpty()) {
                selection->btnCancel->click();
            } else {
                selection->lbDevices->setCurrentItem(items.first());
                selection->btnOK->click();
            }
            break;
        }
        if (!choices.isEmpty())
            answerDeviceSelections(choices);
    });
}

TEST_F(ConfigurationWindowTest, DeviceChoiceShowsVoiceSupportAndSavesEvenWhenCancelled)
{
    device->setSelectedDevice("Office Modem");

    // WHEN the dialog is cancelled
    answerDeviceSelections({QString()});
    form.BitBtn1->click();
    // THEN the current device is checked again, shown green, and saved
    EXPECT_EQ(form.editSelectedDevice->text(), "Office Modem");
    EXPECT_EQ(form.labelEnableVoice->text(), "Voice over the phone line is supported");
    EXPECT_EQ(form.labelEnableVoice->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(IniFile(paths.iniFile).ReadString("TapiDevice", "Selection", ""), "Office Modem");

    // WHEN a device without voice is chosen (the voice check that follows
    // asks again, and is cancelled)
    answerDeviceSelections({"Data Only", QString()});
    form.BitBtn1->click();
    EXPECT_EQ(form.editSelectedDevice->text(), "Data Only");
    EXPECT_EQ(form.labelEnableVoice->text(), "Voice over the phone line is not supported");
    EXPECT_EQ(form.labelEnableVoice->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(dialogs.texts(),
              QStringList{"Current modem selection not supported voice over the phone line!"});
    EXPECT_EQ(IniFile(paths.iniFile).ReadString("TapiDevice", "Selection", ""), "Data Only");
}

TEST_F(ConfigurationWindowTest, HostChoiceAndProgramRunTheirChecksOnEveryChange)
{
    // The program chooser starts at the current path and puts the choice in.
    form.editEmailProg->setText("/usr/bin/old-mail");
    EXPECT_EQ(outlookChecks, 1);
    dialogs.answerFile(QString("/usr/bin/thunderbird"));
    form.BitBtn2->click();
    EXPECT_EQ(dialogs.shown.back().request.fileName, "/usr/bin/old-mail");
    EXPECT_EQ(dialogs.shown.back().request.filter, "Executable file|*.exe");
    EXPECT_EQ(dialogs.shown.back().request.defaultExt, "exe");
    EXPECT_EQ(form.editEmailProg->text(), "/usr/bin/thunderbird");
    EXPECT_EQ(outlookChecks, 2);
    dialogs.answerFile(std::nullopt);
    form.BitBtn2->click();
    EXPECT_EQ(outlookChecks, 2);

    form.rgEmailHost->item(1)->click();
    EXPECT_EQ(outlookChecks, 3);
    form.rgEmailHost->item(1)->click(); // no change, no check
    EXPECT_EQ(outlookChecks, 3);

    dialogs.answerFile(QString("/usr/bin/efax-gtk"));
    form.BitBtn3->click();
    form.rgFaxHost->item(1)->click();
    EXPECT_EQ(faxChecks, 2);
    EXPECT_EQ(outlookChecks, 3);
}

TEST_F(ConfigurationWindowTest, LoadFillsTheControlsAndASaveLeavesAHandKeptFileAsItWas)
{
    // GIVEN the hand-kept settings file, and no line device to check
    const QByteArray kept = readBytes(QStringLiteral(BRENVOY_TEST_DATA) + "/Kestrun.ini");
    writeBytes(paths.iniFile, kept);
    form.setMainWindowControls(nullptr, &player1, &player2);

    form.LoadSettings();

    EXPECT_EQ(listed(), (QStringList{"/home/office/waves/greeting.wav", "/home/office/waves/offer spring.wav",
                                     "/home/office/waves/callback.wav"}));
    EXPECT_EQ(player1.currentIndex(), 2);
    EXPECT_EQ(player2.currentIndex(), -1);
    EXPECT_EQ(form.editSelectedDevice->text(), "Simulated Voice Modem");
    EXPECT_EQ(form.WaveDestination(), 0);
    EXPECT_TRUE(form.RecordCalls());
    EXPECT_EQ(form.rgEmailHost->ItemIndex(), 1);
    EXPECT_EQ(form.editEmailProg->text(), "/usr/bin/thunderbird");
    EXPECT_EQ(form.rgFaxHost->ItemIndex(), 1);
    EXPECT_EQ(form.editFaxProg->text(), "/usr/bin/efax-gtk");
    // each changed choice and path ran its check
    EXPECT_EQ(outlookChecks, 2);
    EXPECT_EQ(faxChecks, 2);

    form.SaveSettings();
    EXPECT_EQ(readBytes(paths.iniFile), kept);

    // and what the operator changes here is what the next save writes
    form.rgWaveDest->item(2)->click();
    form.cbRecord->setChecked(false);
    form.SaveSettings();
    const IniFile ini(paths.iniFile);
    EXPECT_EQ(ini.ReadInteger("WavePlaying", "Destination", -1), 2);
    EXPECT_FALSE(ini.ReadBool("General", "RecordCalls", true));
}

} // namespace
