#include "telephony/TTapiStatus.h"
#include "telephony/TapiDevice.h"
#include "tests/app/AppFixture.h"

#include <QComboBox>
#include <QFile>

using LineDeviceTest = AppFixture;

namespace {
void writeProvider(const Environment &env, const QByteArray &text)
{
    QFile f(env.stateFolderFor("tapi") + "/provider.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}
} // namespace

TEST_F(LineDeviceTest, TheStoredDeviceGoesIntoTheLineDeviceAndCloseSavesItFromThere)
{
    // GIVEN two voice modems and settings naming the first
    writeProvider(*te.env, "[Line0]\nName=Modem A\n[Line1]\nName=Modem B\n");
    writeIni("TapiDevice", "Selection", "Modem A");
    start();

    // THEN the device took it, its voice check passed quietly, and the
    // window's creation values are in place
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join("|").toStdString();
    EXPECT_EQ(main->TapiDevice->SelectedDevice(), "Modem A");
    EXPECT_TRUE(main->TapiDevice->EnableVoice());
    EXPECT_EQ(main->settings().voiceSupport, VoiceSupport::Supported);
    EXPECT_EQ(main->TapiDevice->MaxAttempts(), 0);
    EXPECT_EQ(main->TapiDevice->RetryWait(), 10);
    EXPECT_EQ(main->TapiStatus->Caption(), "Call Progress");

    // WHEN the device is changed and the main window closes, the device's
    // name is what is saved
    main->TapiDevice->setSelectedDevice("Modem B");
    main->FormClose();
    EXPECT_EQ(iniValue("TapiDevice", "Selection"), "Modem B");
}

TEST_F(LineDeviceTest, AStoredDeviceWithoutVoiceIsReportedAndStartUpGoesOn)
{
    writeProvider(*te.env, "[Line0]\nName=Data Only\nMediaModes=DATAMODEM\nWaveDevices=0\n"
                           "[Line1]\nName=Brenvoy Voice Modem\n");
    writeIni("TapiDevice", "Selection", "Data Only");
    makeTable({contact("Ann")});

    start();

    EXPECT_EQ(dialogs.texts(), QStringList({"Current modem selection does not support voice over the phone "
                                            "line\r\nPlease go to Configuration Page"}));
    EXPECT_EQ(main->settings().voiceSupport, VoiceSupport::NotSupported);
    // the rest of start-up still ran
    EXPECT_EQ(listed(), QStringList({"Ann"}));
    EXPECT_EQ(main->cbFields->count(), 54);
}

TEST_F(LineDeviceTest, AddContactIfNewAddsOnceAndMakesTheContactCurrent)
{
    makeTable({contact("Ann")});
    start();
    main->AddContactIfNew(" Bob ", "Brown", "", "555-1", "");
    main->AddContactIfNew("bob", "", "", "", ""); // a prefix of the stored contact
    EXPECT_EQ(listed(), QStringList({"Ann", "Bob"}));
    EXPECT_EQ(main->dsTable().AsString("NAME"), "Bob");
}
