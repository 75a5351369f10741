#include "config/TfrmConfiguration.h"
#include "telephony/TapiDevice.h"
#include "tests/app/AppFixture.h"
#include "tests/support/TestFiles.h"
#include "ui/RadioGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

using ConfigurationTest = AppFixture;

namespace {
void writeProvider(const Environment &env, const QByteArray &text)
{
    writeBytes(env.stateFolderFor("tapi") + "/provider.ini", text);
}
} // namespace

TEST_F(ConfigurationTest, StartFillsTheConfigurationAndCloseLeavesAHandKeptFileAsItWas)
{
    // GIVEN a hand-kept settings file (blanks around "=", LF line ends) and
    // checks of the host programs owned elsewhere
    writeProvider(*te.env, "[Line0]\nName=Office Modem\n");
    makeTable({contact("Ann")});
    const QByteArray kept =
        "[Database]\nPath=" + folder().toUtf8() +
        "\nName=contacdata.dbf\n\n"
        "[PlayList]\nCount = 2\n0 = /w/hello.wav\n1 = /w/offer.wav\n\n"
        "[TapiDevice]\nSelection = Office Modem\n\n"
        "[WavePlaying]\nPlay1 = 1\nPlay2 = 0\nDestination = 1\n\n"
        "[Email]\nAddFirstName=1\nAddAttachment=0\nAttachmentFile=\nSubject=\nViewBeforeSend=1\n"
        "HostSelection = 1\nHostApp = /usr/bin/mutt\n\n"
        "[Fax]\nFaxSource=0\nCoverPage=1\nSchedule=0\nSubject=\nNote=\nSourceFile=\n"
        "ScheduleDate=3/5/2007\nScheduleTime=9:00:00 AM\nHostSelection=0\nHostApp=\n\n"
        "[General]\nRecordCalls = 1\n";
    writeBytes(ini(), kept);
    int outlookChecks = 0;
    CreateWindows(registry);
    main = registry.frmMain;
    registry.checkOutlook = [&, check = registry.checkOutlook](int host, const QString &program) {
        ++outlookChecks;
        check(host, program);
    };
    registry.frmSimple->show();

    // THEN the controls hold the settings, both message lists included
    auto *config = qobject_cast<TfrmConfiguration *>(registry.frmConfiguration);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->PlayListEntries(), (QStringList{"/w/hello.wav", "/w/offer.wav"}));
    EXPECT_EQ(main->cbPLayer1->count(), 2);
    EXPECT_EQ(main->cbPLayer1->currentIndex(), 1);
    EXPECT_EQ(main->cbPlayer2->currentIndex(), 0);
    EXPECT_EQ(config->editSelectedDevice->text(), "Office Modem");
    EXPECT_EQ(config->labelEnableVoice->text(), "Voice over the phone line is supported");
    EXPECT_EQ(config->WaveDestination(), 1);
    EXPECT_TRUE(config->RecordCalls());
    EXPECT_EQ(config->editEmailProg->text(), "/usr/bin/mutt");
    EXPECT_EQ(outlookChecks, 2); // the choice and the path each changed once

    // WHEN the main window closes without a change, the file is as it was
    main->FormClose();
    EXPECT_EQ(readBytes(ini()), kept);
}

TEST_F(ConfigurationTest, TheMenuCommandOpensTheWindowModallyAndAChangeThereReachesTheNextSave)
{
    start();
    auto *config = qobject_cast<TfrmConfiguration *>(registry.frmConfiguration);
    ASSERT_NE(config, nullptr);
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        wasModal = config->isVisible() && config->isModal();
        config->cbRecord->setChecked(true);
        config->close();
    });
    main->Configuration1->trigger();
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(config->isVisible());

    main->FormClose();
    EXPECT_EQ(iniValue("General", "RecordCalls"), "1");
}
