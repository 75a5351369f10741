#include "tests/telephony/TapiTestSupport.h"

#include <QRegularExpression>

namespace {

const char *kThreeLines = R"([Line0]
Name=Office Modem
MediaModes=AUTOMATEDVOICE|DATAMODEM
[Line1]
Name=Fax Modem
MediaModes=DATAMODEM|G3FAX
[Line2]
Name=Data Only
MediaModes=DATAMODEM
WaveDevices=0
)";

class TapiDeviceTest : public TapiFixture {
protected:
    // Dials a busy number with one redial armed and waits for the countdown.
    void dialBusyWithOneRedial(int retryWait)
    {
        writeProvider("[Default]\nOutcome=busy\n");
        create();
        dev->setMaxAttempts(2);
        dev->setRetryWait(retryWait);
        dev->DialNumber(QStringLiteral("555-0100"));
        EXPECT_TRUE(runUntil([this] { return dev->RedialWaiting(); }));
    }
};

TEST_F(TapiDeviceTest, StartupListsOnlyLinesThatCanPlaceSuitableCalls)
{
    // GIVEN lines with and without voice, wave devices and the make-call feature
    writeProvider(R"([Line0]
Name=Voice With Wave
MediaModes=AUTOMATEDVOICE
[Line1]
Name=Voice Without Wave
MediaModes=AUTOMATEDVOICE
WaveDevices=0
[Line2]
Name=Data Modem
MediaModes=DATAMODEM
WaveDevices=0
[Line3]
Name=Cannot Dial
MediaModes=AUTOMATEDVOICE|DATAMODEM
LineFeatures=0
[Line4]
Name=Interactive Only
MediaModes=INTERACTIVEVOICE
)");
    // WHEN the device starts
    create(false);
    // THEN the filter keeps voice lines with wave devices and data modems that can dial
    EXPECT_EQ(dev->DeviceList(), QStringList({"Voice With Wave", "Data Modem"}));
    EXPECT_TRUE(dev->TapiInitError().isEmpty());
}

TEST_F(TapiDeviceTest, FreshStartHasOneVoiceModemThatResolvesWithoutDialog)
{
    // GIVEN no provider file; WHEN voice is enabled with no device named
    create(false);
    dev->setEnableVoice(true); // empty name: no check yet
    dev->setSelectedDevice(QString());
    // THEN the single device is taken without a dialog and voice stays on
    EXPECT_EQ(dev->SelectedDevice(), ProviderConfig::defaultLineName());
    EXPECT_TRUE(dev->EnableVoice());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TapiDeviceTest, SeveralDevicesAndNoMatchShowTheSelectionDialog)
{
    writeProvider(kThreeLines);
    create(false);
    dev->setEnableVoice(true);
    // WHEN an unknown device is named and the operator picks the first line
    auto answer = answerDeviceSelection(QStringLiteral("Office Modem"));
    dev->setSelectedDevice(QStringLiteral("Lucent Win Modem"));
    // THEN the dialog listed the TAPI devices only and the choice is voice-capable
    EXPECT_TRUE(answer->shown);
    EXPECT_EQ(answer->listed, QStringList({"Office Modem", "Fax Modem", "Data Only"}));
    EXPECT_EQ(dev->SelectedDevice(), QStringLiteral("Office Modem"));
    EXPECT_TRUE(dev->EnableVoice());
}

TEST_F(TapiDeviceTest, VoiceCheckFailsForLinesWithoutVoiceOrWithoutChoice)
{
    writeProvider(kThreeLines);
    create(false);
    dev->setEnableVoice(true);
    // A data modem has no voice.
    EXPECT_THROW(dev->setSelectedDevice(QStringLiteral("Fax Modem")), ETapiVoiceNotSupported);
    EXPECT_FALSE(dev->EnableVoice());
    // A cancelled selection ends the same way.
    auto answer = answerDeviceSelection(QString());
    dev->setSelectedDevice(QStringLiteral("Nobody"));
    EXPECT_THROW(dev->setEnableVoice(true), ETapiVoiceNotSupported);
    EXPECT_TRUE(answer->shown);
    EXPECT_FALSE(dev->EnableVoice());
}

TEST_F(TapiDeviceTest, CreationTimeVoiceCheckFailsQuietlyWithoutDialog)
{
    writeProvider(kThreeLines);
    create(false);
    // GIVEN the main window's creation sequence with dialogs held back
    auto answer = answerDeviceSelection(QString());
    dev->setSelectionDialogAllowed(false);
    dev->setSelectedDevice(QStringLiteral("Lucent Win Modem"));
    try {
        dev->setEnableVoice(true);
        ADD_FAILURE() << "the unknown device passed the voice check";
    } catch (const ETapiVoiceNotSupported &e) {
        EXPECT_STREQ(e.what(), "TAPI device does not support voice extensions");
    }
    dev->setSelectionDialogAllowed(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(answer->shown);
    EXPECT_FALSE(dev->EnableVoice());
    EXPECT_EQ(dev->SelectedDevice(), QStringLiteral("Lucent Win Modem"));
}

TEST_F(TapiDeviceTest, ChooseDeviceAppliesTheChoiceOrChangesNothing)
{
    writeProvider(kThreeLines);
    create(false);
    dev->setSelectedDevice(QStringLiteral("Fax Modem"));
    port->setTapiMode(tmOn);

    auto cancelled = answerDeviceSelection(QString());
    EXPECT_EQ(dev->ChooseDevice(), 2);
    EXPECT_EQ(cancelled->preselected, QStringLiteral("Fax Modem"));
    EXPECT_EQ(dev->SelectedDevice(), QStringLiteral("Fax Modem"));
    EXPECT_EQ(port->TapiMode(), tmOn);

    auto chosen = answerDeviceSelection(QStringLiteral("Office Modem"));
    EXPECT_EQ(dev->ChooseDevice(), 1);
    EXPECT_EQ(dev->SelectedDevice(), QStringLiteral("Office Modem"));
    EXPECT_EQ(port->TapiMode(), tmAuto);
    EXPECT_FALSE(dev->EnableVoice()); // voice was off, so it stays off
}

TEST_F(TapiDeviceTest, NormalCallRunsThroughItsStatesAndTheDisplayFollows)
{
    create();
    // WHEN a number is dialled and the far end answers after two rings
    dev->DialNumber(QStringLiteral("555-0100"));
    EXPECT_TRUE(runUntil([this] { return dev->Connected(); }));
    // THEN the states arrive in order, the dial tone first, the connection last
    EXPECT_EQ(callStates(),
              (std::vector<DWORD>{LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING, LINECALLSTATE_PROCEEDING,
                                  LINECALLSTATE_RINGBACK, LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED}));
    EXPECT_TRUE(statuses.front().first);
    EXPECT_TRUE(statuses.back().last);
    EXPECT_EQ(dev->CallState(), 8);
    EXPECT_EQ(status->statusLines(),
              QStringList({"Dialing...", "Proceeding...", "Ringback detected", "Ringback detected"}));
    EXPECT_FALSE(status->isShowing()); // hidden once connected
    EXPECT_EQ(status->display()->lblNumber->text(), QStringLiteral("555-0100"));
    EXPECT_EQ(status->display()->lblDevice->text(), ProviderConfig::defaultLineName());
    EXPECT_EQ(status->display()->lblAttemptNo->text(), QStringLiteral("1"));
    EXPECT_EQ(status->display()->lblMaxAttempts->text(), QStringLiteral("0"));
    QCoreApplication::processEvents();
    EXPECT_EQ(connects, 1);

    // WHEN the far end hangs up after thirty seconds
    EXPECT_TRUE(runUntil([this] { return !dev->LineOpen(); }, 60000));
    // THEN the call is disconnected, dropped, deallocated and the line closed
    EXPECT_EQ(dev->LastDisconnectMode(), LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(dev->CallState(), 0);
    EXPECT_EQ(status->statusLines().mid(4),
              QStringList({"Call disconnected (Normal Hangup by Remote)", "Line is idle"}));
    EXPECT_FALSE(status->isShowing());
    EXPECT_EQ(provider()->log().filter(QRegularExpression("^line(MakeCall|Drop|DeallocateCall|Close)")),
              QStringList({"lineMakeCall 555-0100", "lineDrop", "lineDeallocateCall", "lineClose"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(fails, 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TapiDeviceTest, HandlerThatDropsOnDisconnectClosesTheLineOnce)
{
    // GIVEN the main window's status handler, which drops on busy and disconnect
    create();
    auto record = dev->OnTapiStatus;
    dev->OnTapiStatus = [&](TCustomTapiDevice *cp, bool f, bool l, DWORD d, DWORD m, DWORD p1, DWORD p2,
                            DWORD p3) {
        record(cp, f, l, d, m, p1, p2, p3);
        if (m == LINE_CALLSTATE && (p1 == LINECALLSTATE_BUSY || p1 == LINECALLSTATE_DISCONNECTED))
            cp->DropCall();
    };
    dialAndConnect();
    EXPECT_TRUE(runUntil([this] { return !dev->LineOpen(); }, 60000));
    run(1000);
    EXPECT_EQ(provider()->log().filter("lineClose").size(), 1);
    EXPECT_EQ(provider()->log().filter("lineDrop").size(), 1);
    EXPECT_EQ(dev->CallState(), 0);
    EXPECT_FALSE(status->isShowing());
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join("; ").toStdString();
}

TEST_F(TapiDeviceTest, CallStateIsZeroWithTheLineOpenAndNoCall)
{
    create();
    // Recording with no call opens the line first.
    dev->StartRecording();
    EXPECT_TRUE(dev->LineOpen());
    EXPECT_EQ(dev->CallState(), 0);
    dev->EndRecording();
    run(100);
    dev->DropCall();
}

TEST_F(TapiDeviceTest, DialingDuringACallRaisesBusyWithoutTouchingTheLine)
{
    create();
    dialAndConnect();
    const QStringList before = provider()->log();
    try {
        dev->DialNumber(QStringLiteral("555-0199"));
        ADD_FAILURE() << "second dial accepted";
    } catch (const ETapiBusy &e) {
        EXPECT_STREQ(e.what(), "TAPI already open, dialing or answering");
    }
    EXPECT_EQ(provider()->log(), before);
    EXPECT_EQ(dev->CallState(), 8);
    EXPECT_EQ(dev->DialedNumber(), QStringLiteral("555-0100"));
    dev->DropCall();
}

TEST_F(TapiDeviceTest, CommandsRunInsideTheWaitForTheDialReply)
{
    create();
    // A second dial while the first waits for its reply changes nothing.
    te.clock.singleShot(5, nullptr, [this] { dev->DialNumber(QStringLiteral("555-0199")); });
    dev->DialNumber(QStringLiteral("555-0100"));
    EXPECT_EQ(provider()->log().filter("lineMakeCall"), QStringList({"lineMakeCall 555-0100"}));
    dev->DropCall();
    EXPECT_FALSE(dev->LineOpen());

    // Cancel during the wait: DialNumber returns quietly with the line closed.
    te.clock.singleShot(5, nullptr, [this] { status->display()->btnCancel->click(); });
    dev->DialNumber(QStringLiteral("555-0100"));
    EXPECT_FALSE(dev->LineOpen());
    EXPECT_EQ(dev->CallState(), 0);
    run(20000);
    EXPECT_FALSE(dev->Connected());
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join("; ").toStdString();
}

TEST_F(TapiDeviceTest, BusyNumberWithoutRedialEndsOnce)
{
    writeProvider("[Default]\nOutcome=busy\n");
    create();
    dev->DialNumber(QStringLiteral("555-0100"));
    EXPECT_TRUE(runUntil([this] { return !dev->LineOpen(); }));
    run(15000);
    EXPECT_TRUE(dev->LastCallBusy());
    EXPECT_EQ(provider()->log().filter("lineMakeCall").size(), 1);
    for (const Status &s : statuses)
        EXPECT_NE(s.message, TCustomTapiDevice::kRedialWaitMessage);
    EXPECT_EQ(status->statusLines().mid(2), QStringList({"Called number is busy", "Line is idle"}));
    EXPECT_FALSE(status->isShowing());
    EXPECT_EQ(fails, 1);
}

TEST_F(TapiDeviceTest, RedialCountsDownInOneLineAndTriesAgain)
{
    dialBusyWithOneRedial(3);
    EXPECT_TRUE(status->isShowing());
    EXPECT_EQ(status->statusLines().last(), QStringLiteral("Waiting for retry in 3 seconds"));
    run(2000);
    // The countdown replaces its own line.
    EXPECT_EQ(status->statusLines().last(), QStringLiteral("Waiting for retry in 1 seconds"));
    EXPECT_EQ(status->statusLines().filter("Waiting").size(), 1);
    EXPECT_TRUE(
        runUntil([this] { return dev->Attempt() == 2 && !dev->LineOpen() && !dev->RedialWaiting(); }));
    EXPECT_EQ(provider()->log().filter("lineMakeCall").size(), 2);
    std::vector<DWORD> waits;
    for (const Status &s : statuses)
        if (s.message == TCustomTapiDevice::kRedialWaitMessage) {
            EXPECT_EQ(s.p1, TCustomTapiDevice::kRedialWaitParam);
            waits.push_back(s.p2);
        }
    EXPECT_EQ(waits, (std::vector<DWORD>{3, 2, 1}));
    EXPECT_FALSE(status->isShowing());
}

TEST_F(TapiDeviceTest, CancelDuringTheRedialWaitEndsTheCallOnceWithoutRedialing)
{
    // GIVEN a busy number with one redial armed
    dialBusyWithOneRedial(5);
    ASSERT_TRUE(dev->RedialWaiting());
    EXPECT_EQ(fails, 0);
    // WHEN the operator cancels while the countdown runs
    const size_t before = statuses.size();
    status->display()->btnCancel->click();
    run(20000);
    // THEN the display closes, the failure is reported once, the countdown
    // stops and no call follows
    EXPECT_FALSE(dev->RedialWaiting());
    EXPECT_FALSE(status->isShowing());
    EXPECT_EQ(fails, 1);
    for (size_t i = before; i < statuses.size(); ++i)
        EXPECT_NE(statuses[i].message, TCustomTapiDevice::kRedialWaitMessage);
    EXPECT_EQ(provider()->log().filter("lineMakeCall").size(), 1);
}

TEST_F(TapiDeviceTest, CancelDuringRingingDropsTheCallAndReportsTheFailure)
{
    create();
    dev->DialNumber(QStringLiteral("555-0100"));
    EXPECT_TRUE(runUntil([this] { return dev->CallState() == 5; }));
    EXPECT_TRUE(status->isShowing());
    status->display()->btnCancel->click();
    EXPECT_FALSE(dev->LineOpen());
    EXPECT_TRUE(dev->CallCancelled());
    EXPECT_EQ(dev->CallState(), 0);
    EXPECT_FALSE(status->isShowing());
    run(30000); // the far end's answer never comes through
    EXPECT_FALSE(dev->Connected());
    EXPECT_EQ(fails, 1);
}

TEST_F(TapiDeviceTest, DialFailuresRaiseTheirErrors)
{
    writeProvider("[Number0]\nPattern=999*\nOutcome=fail\n[Default]\nOutcome=badaddress\n");
    create();
    // A refused call: the reply fails, the line is closed again.
    dev->OnTapiFail = nullptr;
    EXPECT_THROW(dev->DialNumber(QStringLiteral("999-1")), ETapiCallUnavail);
    EXPECT_FALSE(dev->LineOpen());
    EXPECT_EQ(dev->LastDialError(), LINEERR_CALLUNAVAIL);
    // A bad address is a disconnection with its reason on the display.
    dev->DialNumber(QStringLiteral("12"));
    EXPECT_TRUE(runUntil([this] { return !dev->LineOpen(); }));
    EXPECT_EQ(dev->LastDisconnectMode(), LINEDISCONNECTMODE_BADADDRESS);
    EXPECT_TRUE(status->statusLines().contains("Call disconnected (Invalid Destination Address)"));
    // The port object gates dialing.
    port->setTapiMode(tmOff);
    EXPECT_THROW(dev->DialNumber(QStringLiteral("12")), ETapiNotSet);
    dev->setComPort(nullptr);
    EXPECT_THROW(dev->DialNumber(QStringLiteral("12")), EPortNotAssigned);
}

TEST_F(TapiDeviceTest, DamagedProviderFileIsReportedWhenTheLineIsNeeded)
{
    writeProvider("[Line0]\nMediaModes=AUTOMATEDVOICE\n"); // no name
    create(false);
    EXPECT_FALSE(dev->TapiInitError().isEmpty());
    EXPECT_TRUE(dev->DeviceList().isEmpty());
    EXPECT_THROW(dev->DialNumber(QStringLiteral("555")), ETapiLineError);
    EXPECT_EQ(port->TapiMode(), tmOn);
}

TEST_F(TapiDeviceTest, ApplicationHandleIsRecordedPerProcessAndRemovedAtTheEnd)
{
    const QString record = te.env->stateFolderFor("telephony") + "/tapi-handles";
    {
        QFile f(record);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("999999999=77\n"); // a process that no longer runs
    }
    create(false);
    QFile f(record);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    f.close();
    EXPECT_FALSE(text.contains("999999999"));
    EXPECT_TRUE(text.startsWith(QByteArray::number(qint64(QCoreApplication::applicationPid())) + "="));
    dev.reset();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().trimmed().isEmpty());
}

TEST_F(TapiDeviceTest, DataModemCallHandsTheLineToThePort)
{
    writeProvider("[Line0]\nName=Data Modem\nMediaModes=DATAMODEM\n");
    create(false);
    int portOpened = 0, portClosed = 0;
    dev->OnTapiPortOpen = [&](TCustomTapiDevice *) { ++portOpened; };
    dev->OnTapiPortClose = [&](TCustomTapiDevice *) { ++portClosed; };
    dev->DialNumber(QStringLiteral("555-0100"));
    EXPECT_TRUE(runUntil([this] { return dev->Connected(); }));
    QCoreApplication::processEvents();
    EXPECT_NE(port->tapiLine(), 0u);
    EXPECT_EQ(portOpened, 1);
    // A data call carries no voice.
    const QString file = te.path("m.wav");
    writeWaveFile(file, 8000, 1, 16, rampSamples(800));
    EXPECT_THROW(dev->PlayWave(file), ETapiVoiceNotSupported);
    EXPECT_THROW(dev->StartRecording(), ETapiVoiceNotSupported);
    EXPECT_EQ(dev->CallState(), 8); // the refusal leaves the call alone
    dev->DropCall();
    QCoreApplication::processEvents();
    EXPECT_EQ(port->tapiLine(), 0u);
    EXPECT_EQ(portClosed, 1);
    // Without a call the line opened for the recording is closed again.
    EXPECT_THROW(dev->StartRecording(), ETapiVoiceNotSupported);
    EXPECT_FALSE(dev->LineOpen());
    EXPECT_EQ(dev->WaveMode(), 0);
}

TEST(TapiStatusText, DisconnectReasonsAndStates)
{
    struct Case {
        DWORD state, mode;
        const char *text;
    };
    const Case cases[] = {
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER, "Call disconnected (No Answer by Remote)"},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_QOSUNAVAIL,
         "Call disconnected (Quality of Service Unavail)"},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_CANCELLED, "Call disconnected (Cancelled)"},
        {LINECALLSTATE_ONHOLDPENDTRANSFER, 0, "On hold pending transfer..."},
        {LINECALLSTATE_DIALTONE, 0, "Dialtone detected"},
        {LINECALLSTATE_UNKNOWN, 0, "Unknown state"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TTapiStatus::callStateText(c.state, c.mode), QString::fromLatin1(c.text));
}

TEST(TapiStatusDisplay, NineLinesScrollAndFirstClears)
{
    TTapiStatus status;
    for (int i = 0; i < 10; ++i)
        status.doStatus(false, false, 1, LINE_CALLSTATE,
                        i % 2 ? LINECALLSTATE_RINGBACK : LINECALLSTATE_DIALING, 0, 0);
    EXPECT_EQ(status.statusLines().size(), 9);
    EXPECT_EQ(status.statusLines().first(),
              QStringLiteral("Ringback detected")); // the first line scrolled off
    // Repeated "Proceeding..." replaces itself.
    status.doStatus(false, false, 1, LINE_CALLSTATE, LINECALLSTATE_PROCEEDING, 0, 0);
    status.doStatus(false, false, 1, LINE_CALLSTATE, LINECALLSTATE_PROCEEDING, 0, 0);
    EXPECT_EQ(status.statusLines().filter("Proceeding").size(), 1);
    EXPECT_TRUE(status.isShowing());
    status.doStatus(true, false, 1, LINE_CALLSTATE, LINECALLSTATE_DIALTONE, 0, 0);
    EXPECT_TRUE(status.statusLines().isEmpty());
    status.doStatus(false, true, 0, 0, 0, 0, 0);
    EXPECT_FALSE(status.isShowing());
}

} // namespace
