#include "telephony/CallController.h"
#include "contacts/ContactFileName.h"
#include "platform/environment/ClockTimer.h"
#include "tests/telephony/TapiTestSupport.h"
#include "tests/ui/TableFixture.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <set>

namespace {

// The contacts as the main window hands them over: the table, a grid
// selection and a move that clears the last dialled number as the window's
// after-scroll step does.
class FakeContacts final : public CallContacts {
public:
    FakeContacts(TDbfTable &t, const Clock &clock)
        : m_table(t), m_history(t, clock, [this] {
              ContactHistory::Hooks h;
              h.multiSelect = [this] { return multi; };
              h.selectedRows = [this] { return QList<Bookmark>(selected.begin(), selected.end()); };
              h.moveTo = [this](Bookmark b) { goTo(b); };
              return h;
          }())
    {
    }
    TDbfTable &table() override { return m_table; }
    bool multiSelect() const override { return multi; }
    void clearSelection() override { selected.clear(); }
    void selectCurrentRow() override
    {
        if (multi && m_table.GetBookmark())
            selected.insert(m_table.GetBookmark());
    }
    void moveNext() override
    {
        const Bookmark before = m_table.GetBookmark();
        m_table.Next();
        if (m_table.GetBookmark() != before && afterScroll)
            afterScroll();
    }
    ContactHistory &history() override { return m_history; }
    void goTo(Bookmark b)
    {
        m_table.GotoBookmark(b);
        if (afterScroll)
            afterScroll();
    }

    bool multi = false;
    std::set<Bookmark> selected;
    std::function<void()> afterScroll;

private:
    TDbfTable &m_table;
    ContactHistory m_history;
};

class FakeSettings final : public CallSettings {
public:
    QString selectedDeviceText() const override { return device; }
    int waveDestination() const override { return destination; }
    bool recordCalls() const override { return record; }
    QString playListSelection(int list) const override { return list == 1 ? play1 : play2; }

    QString device = QStringLiteral("Brenvoy Voice Modem");
    int destination = 0;
    bool record = true;
    QString play1, play2;
};

// Contacts: Ann (cell and phone), Bob (phone only), Cy (cell only), Dee (both).
class CallControllerTest : public ::testing::Test {
protected:
    void SetUp() override { writeProvider("[Default]\nRings=1\nTalkSeconds=3\nHangupSeconds=0\n"); }

    void writeProvider(const QString &text)
    {
        QFile f(TapiProvider::providerFilePath(*te.env));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }

    void create(const QList<ContactRow> &rows = defaultRows())
    {
        makeContactTable(te.path("contacdata.dbf"), rows);
        table.setTableName(te.path("contacdata.dbf"));
        table.Open();
        contacts = std::make_unique<FakeContacts>(table, te.clock);
        calls = std::make_unique<CallController>(*te.env, dialogs, *contacts, settings);
        contacts->afterScroll = [this] { calls->clearLastDialledNumber(); };
        calls->device().setSelectedDevice(settings.device);
        calls->playOnSoundCard = [this](const QString &f) { sound << "play " + f; };
        calls->stopSoundCard = [this] { sound << "stop"; };
        QObject::connect(calls.get(), &CallController::statusMessage,
                         [this](const QString &t) { statusTexts << t; });
    }
    void TearDown() override
    {
        if (calls && !calls->device().RecordingFile().isEmpty())
            QFile::remove(calls->device().RecordingFile());
        calls.reset();
    }
    static QList<ContactRow> defaultRows()
    {
        return {{"Ann", "Ash", "555-1", "555-91", "", "", {}, {}, {}},
                {"Bob", "Birch", "555-2", "", "", "", {}, {}, {}},
                {"Cy", "Cole", "", "555-93", "", "", {}, {}, {}},
                {"Dee", "Dunn", "555-4", "555-94", "", "", {}, {}, {}}};
    }

    TapiProvider *provider() const { return TapiProvider::find(*te.env); }
    TTapiDevice &dev() { return calls->device(); }
    bool runUntil(const std::function<bool()> &pred, qint64 ms = 120000)
    {
        return te.clock.waitUntil(pred, ms);
    }
    // The number the line device was handed last; the call is then dropped.
    QString dialledAndDropped()
    {
        const QString n = dev().DialedNumber();
        if (dev().CallState() != 0)
            dev().DropCall();
        runUntil([this] { return dev().CallState() == 0; });
        return n;
    }
    void connect(const std::function<void()> &command)
    {
        command();
        ASSERT_TRUE(runUntil([this] { return dev().Connected(); }));
    }
    RawTable raw() const { return RawTable(te.path("contacdata.dbf")); }
    QString stamp() const { return ContactHistory::TimeStampText(te.clock.now()); }

    TestEnvironment te;
    ScriptedDialogs dialogs;
    TDbfTable table{QStringLiteral("dsTable")};
    FakeSettings settings;
    std::unique_ptr<FakeContacts> contacts;
    std::unique_ptr<CallController> calls;
    QStringList sound;
    QStringList statusTexts;
};

// ---------------------------------------------------------------- dialing

TEST_F(CallControllerTest, DialSelectedWorksThroughTheNumbersOfEachContactThenMovesOn)
{
    struct Case {
        const char *start;
        QStringList expected;
    } cases[] = {
        {"Ann", {"555-91", "555-1", "555-2"}}, // both: cell, phone, next contact
        {"Bob", {"555-2", "555-93"}},          // phone only: phone, next
        {"Cy", {"555-93", "555-94", "555-4"}}, // cell only: cell, then the next contact from its cell
    };
    create();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        ASSERT_TRUE(table.Locate({"NAME"}, {c.start}, {}));
        calls->clearLastDialledNumber(); // as the move to it does
        QStringList dialled;
        for (int i = 0; i < c.expected.size(); ++i) {
            calls->DialSelected();
            dialled << dialledAndDropped();
        }
        EXPECT_EQ(dialled, c.expected);
    }
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join('|').toStdString();
}

TEST_F(CallControllerTest, AnotherContactClickedBetweenPressesStartsAfreshWithItsCellPhone)
{
    create();
    calls->DialSelected();
    EXPECT_EQ(dialledAndDropped(), "555-91");
    contacts->goTo(4); // Dee
    calls->DialSelected();
    EXPECT_EQ(dialledAndDropped(), "555-94");
    EXPECT_EQ(calls->LastDialledNumber(), "555-94");
}

TEST_F(CallControllerTest, MultipleSelectionChecksBeforeDialing)
{
    create();
    contacts->multi = true;
    struct Case {
        std::set<Bookmark> selected;
        bool busy;
        QString message;
    } cases[] = {
        {{1, 2}, false, "Only one selection of contact is allowed !"},
        {{}, false, "Please select one row of contact !"},
        {{1}, true, "Busy waiting from previous call"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        dialogs.shown.clear();
        contacts->selected = c.selected;
        if (c.busy)
            dev().DialNumber("555-0");
        const QString before = dev().DialedNumber();
        calls->DialSelected();
        EXPECT_EQ(dialogs.texts(), QStringList{c.message});
        EXPECT_EQ(dev().DialedNumber(), before);
        dialledAndDropped();
    }

    // A selected row the search hides does not count: the one shown is dialled.
    contacts->selected = {1, 2};
    table.setFilter("NAME = 'Ann'");
    table.setFiltered(true);
    dialogs.shown.clear();
    calls->DialSelected();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join('|').toStdString();
    EXPECT_EQ(dialledAndDropped(), "555-91");
}

TEST_F(CallControllerTest, DialNextOnTheLastRecordDialsItOnceMoreThenReportsTheEnd)
{
    create();
    contacts->multi = true;
    contacts->goTo(3);
    contacts->selected = {3};
    calls->DialNext(); // to Dee
    EXPECT_EQ(dialledAndDropped(), "555-94");
    calls->DialNext(); // stays on Dee
    EXPECT_EQ(dialledAndDropped(), "555-94");
    EXPECT_EQ(table.AsString("NAME"), "Dee");
    EXPECT_TRUE(dialogs.shown.empty());
    dev().DialNumber("555-0"); // nothing more may be dialled
    dialledAndDropped();
    calls->DialNext();
    EXPECT_EQ(dialogs.texts(), QStringList{"Already at the end of the list !"});
    EXPECT_EQ(dev().DialedNumber(), "555-0");
}

TEST_F(CallControllerTest, SingleSelectionSkipsTheChecksAndAContactWithoutNumbersIsRefused)
{
    create(
        {{"Ann", "Ash", "555-1", "555-91", "", "", {}, {}, {}}, {"Nil", "None", "", "", "", "", {}, {}, {}}});
    contacts->selected = {1, 2}; // ignored in single selection
    dev().DialNumber("555-0");   // a call in progress is not checked either
    EXPECT_THROW(calls->DialSelected(), ETapiBusy);
    dialledAndDropped();

    contacts->goTo(2);
    calls->DialSelected();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "No number to dial. Sorry.");
    EXPECT_EQ(dialogs.shown[0].caption, "Warning!");
    EXPECT_EQ(dialogs.shown[0].icon, MsgIcon::Warning);
}

TEST_F(CallControllerTest, AnUnconfiguredModemIsReportedAndTheCommandGoesOn)
{
    settings.device.clear();
    create();
    int configurationShown = 0;
    calls->showConfiguration = [&] { ++configurationShown; };
    calls->DialSelected();
    EXPECT_EQ(dialogs.texts(), QStringList{"Modem not yet configured !, please do it first"});
    EXPECT_EQ(configurationShown, 1);
    EXPECT_EQ(dialledAndDropped(), "555-91");
}

TEST_F(CallControllerTest, ManualDialDialsTheTextAsTypedWithoutTouchingTheLastDialledNumber)
{
    create();
    int shown = 0;
    calls->showManualDial = [&] { ++shown; };
    calls->setLastDialledNumber("555-1");
    calls->ManualDial();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(calls->CallStart(), te.clock.now());
    calls->DialManualNumber(" 0049 555 ");
    EXPECT_EQ(dialledAndDropped(), " 0049 555 ");
    EXPECT_EQ(calls->LastDialledNumber(), "555-1");
}

// ---------------------------------------------------------------- call progress

TEST_F(CallControllerTest, TimerFollowsACallAndMeasuresItsDuration)
{
    create();
    const qint64 t0 = te.clock.monotonicMs();
    connect([this] { calls->DialSelected(); });
    calls->Timer1Timer();
    CallButtons s = calls->State();
    EXPECT_EQ(s.phoneText(), "Phone: Connected");
    EXPECT_FALSE(s.dial || s.dialNext || s.manualDial || s.panelDial || s.panelNext || s.listDial);
    EXPECT_TRUE(s.abort && s.panelAbort);
    EXPECT_TRUE(s.play1 && s.play2 && s.panelPlay && s.record && s.panelRecord);
    EXPECT_FALSE(s.stopPlay);
    settings.record = false;
    calls->Timer1Timer();
    EXPECT_FALSE(calls->State().record || calls->State().panelRecord);

    te.clock.advance(12000 - (te.clock.monotonicMs() - t0));
    calls->Abort();
    calls->Timer1Timer();
    s = calls->State();
    EXPECT_EQ(s.stateText, "Idle");
    EXPECT_TRUE(s.dial && s.dialNext && s.manualDial && s.panelDial && s.panelNext && s.listDial);
    EXPECT_FALSE(s.abort || s.play1 || s.play2 || s.stopPlay || s.record || s.panelPlay || s.panelRecord ||
                 s.panelAbort);
    const QDateTime end = calls->CallEnd();
    EXPECT_EQ(end, te.clock.now());
    EXPECT_EQ(calls->CallDuration(), CallController::RoundedSeconds(calls->CallStart(), end));
    EXPECT_GE(calls->CallDuration(), 12);
    // later idle ticks change nothing
    te.clock.advance(5000);
    calls->Timer1Timer();
    EXPECT_EQ(calls->CallEnd(), end);
}

TEST_F(CallControllerTest, ACallThatGoesIdleBetweenTwoTicksLeavesEndAndDurationAlone)
{
    create();
    calls->Timer1Timer();
    calls->DialSelected();
    dialledAndDropped();
    calls->Timer1Timer();
    EXPECT_FALSE(calls->CallEnd().isValid());
    EXPECT_EQ(calls->CallDuration(), 0);
}

TEST_F(CallControllerTest, StateTextsAndRounding)
{
    EXPECT_EQ(CallController::StateText(3), "Dial tome detected");
    EXPECT_EQ(CallController::StateText(13), "Being Transfered");
    EXPECT_EQ(CallController::StateText(15), " Unknown state");
    EXPECT_EQ(CallController::StateText(200), " Unknown state");
    CallButtons s;
    s.stateText = CallController::StateText(15);
    EXPECT_EQ(s.phoneText(), "Phone:  Unknown state");

    const QDateTime t0(QDate(2007, 3, 5), QTime(9, 0));
    for (auto [ms, seconds] : {std::pair{499, 0}, {500, 0}, {1500, 2}, {2500, 2}, {2501, 3}, {3500, 4}})
        EXPECT_EQ(CallController::RoundedSeconds(t0, t0.addMSecs(ms)), seconds) << ms;
}

TEST_F(CallControllerTest, RemoteBusyOrHangUpDropsTheCall)
{
    writeProvider("[Number0]\nPattern=555-1\nOutcome=busy\n[Default]\nRings=1\nHangupSeconds=2\n");
    create();
    for (const char *number : {"555-1", "555-91"}) {
        SCOPED_TRACE(number);
        dev().DialNumber(number);
        EXPECT_TRUE(runUntil([this] { return !dev().LineOpen(); }, 10000));
        EXPECT_EQ(dev().CallState(), 0);
    }
}

TEST_F(CallControllerTest, TheTimerTicksOnTheEnvironmentClock)
{
    create();
    int published = 0;
    QObject::connect(calls.get(), &CallController::stateChanged, [&] { ++published; });
    calls->startTimer();
    calls->DialSelected();
    // the ticks run while the line device waits, as in a real run
    ASSERT_TRUE(runUntil([this] { return calls->State().stateText == "Connected"; }, 10000));
    EXPECT_GE(published, 1);
    calls->stopTimer();
    dialledAndDropped();
    te.clock.advance(1000);
    EXPECT_EQ(calls->State().stateText, "Connected");
}

// ---------------------------------------------------------------- voice messages

class VoiceMessageTest : public CallControllerTest {
protected:
    void SetUp() override
    {
        writeProvider("[Default]\nRings=1\nTalkSeconds=30\nHangupSeconds=0\n");
        message = te.path("hello.wav");
        writeWaveFile(message, 8000, 1, 16, rampSamples(8000 * 5));
        settings.play1 = message;
    }
    QString message;
};

TEST_F(VoiceMessageTest, BothDestinationsPlayAndStopTogetherAndTheButtonsFollow)
{
    settings.destination = 2;
    create();
    connect([this] { calls->DialSelected(); });
    calls->Play(1);
    EXPECT_EQ(dev().WaveMode(), 1);
    EXPECT_EQ(sound, QStringList{"play " + message});
    calls->Timer1Timer();
    const CallButtons s = calls->State();
    EXPECT_FALSE(s.play1 || s.play2 || s.record || s.panelPlay || s.panelRecord);
    EXPECT_TRUE(s.stopPlay);
    EXPECT_EQ(raw().text(1, "TM_WAVE1"), stamp());
    EXPECT_EQ(raw().text(1, "DT_WAVE1"), message);

    calls->StopPlay();
    EXPECT_TRUE(runUntil([this] { return dev().WaveMode() == 0; }, 5000));
    EXPECT_EQ(sound.last(), "stop");
    calls->Timer1Timer();
    EXPECT_TRUE(calls->State().play1 && calls->State().play2 && !calls->State().stopPlay);
    dev().DropCall();
}

TEST_F(VoiceMessageTest, TheSoundCardAloneLeavesNoHistory)
{
    settings.destination = 1;
    create();
    calls->Play(1); // no call needed for the sound card
    EXPECT_EQ(sound, QStringList{"play " + message});
    EXPECT_EQ(raw().text(1, "TM_WAVE1"), "");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(VoiceMessageTest, LinePlaybackStampsEverySelectedContactThatIsShown)
{
    create();
    contacts->multi = true;
    contacts->selected = {1, 2, 4};
    connect([this] { dev().DialNumber("555-0"); });
    calls->Play(1);
    for (int rec : {1, 2, 4})
        EXPECT_EQ(raw().text(rec, "TM_WAVE1"), stamp()) << rec;
    EXPECT_EQ(raw().text(3, "TM_WAVE1"), "");

    // Bob hidden by a search: the others are still stamped, completely.
    table.OnFilterRecord = [](TDbfTable &t) { return t.AsString("NAME") != "Bob"; };
    table.setFiltered(true);
    calls->Play(1);
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join('|').toStdString();
    EXPECT_EQ(raw().text(1, "TM_WAVE2"), stamp());
    EXPECT_EQ(raw().text(4, "TM_WAVE2"), stamp());
    EXPECT_EQ(raw().text(2, "TM_WAVE2"), "");
    dev().DropCall();
}

TEST_F(VoiceMessageTest, RefusalsAndAMissingFile)
{
    create();
    settings.play2.clear();
    calls->Play(2);
    calls->Play(1); // idle line
    EXPECT_EQ(dialogs.texts(), QStringList({"Please select wave file from the drop down list",
                                            "Can not play wave if modem is idle"}));
    EXPECT_TRUE(sound.isEmpty());

    settings.destination = 2;
    connect([this] { calls->DialSelected(); });
    QFile::remove(message);
    calls->Play(1);
    EXPECT_EQ(statusTexts, QStringList{"Error in wave playing"});
    EXPECT_EQ(sound, QStringList{"stop"});
    EXPECT_EQ(raw().text(1, "TM_WAVE1"), "");
    dev().DropCall();
}

TEST_F(VoiceMessageTest, RecordOnlyWhenAllowedAndTheDeviceIsFree)
{
    create();
    connect([this] { calls->DialSelected(); });
    settings.record = false;
    calls->Record();
    EXPECT_EQ(dev().WaveMode(), 0);
    settings.record = true;
    calls->Play(1);
    calls->Record(); // playing: nothing happens
    EXPECT_EQ(dev().WaveMode(), 1);
    calls->StopPlay();
    ASSERT_TRUE(runUntil([this] { return dev().WaveMode() == 0; }, 5000));
    calls->Record();
    EXPECT_EQ(dev().WaveMode(), 2);
    dialogs.answer(MsgResult::No);
    dev().EndRecording();
    EXPECT_TRUE(runUntil([this] { return dev().WaveMode() == 0; }, 5000));
    dev().DropCall();
}

// ---------------------------------------------------------------- after the call

class AfterCallTest : public CallControllerTest {
protected:
    QString recording(const QString &prefix, int slot) const
    {
        return te.path("Recordings/" + prefix + QString::number(slot) + ".wav");
    }
    // Dials the current contact, records until the far end falls silent.
    void recordACall()
    {
        connect([this] { calls->DialSelected(); });
        calls->Record();
        ASSERT_EQ(dev().WaveMode(), 2);
        ASSERT_TRUE(runUntil([this] { return dev().WaveMode() != 2; }, 90000));
        runUntil([this] { return dev().CallState() == 0; });
    }
    const QString annPrefix = QStringLiteral("call_rec_Ann Ltd_Ann_Ash_");
};

TEST_F(AfterCallTest, TheFirstRecordedCallAsksForPermissionAndBecomesFileOne)
{
    create();
    dialogs.answer(MsgResult::Yes);
    recordACall();
    ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.texts().join('|').toStdString();
    EXPECT_EQ(dialogs.shown[0].text, "This call is the first time for this contact, \r\nDo you get "
                                     "permission to have further contact later?");
    EXPECT_EQ(dialogs.shown[0].caption, "Please select");
    EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::YesNo);
    const RawTable r = raw();
    EXPECT_EQ(r.text(1, "TM_CALL1"), stamp());
    EXPECT_EQ(r.text(1, "PERMISSION"), "T");
    // no call had ended yet: the duration field stays blank
    EXPECT_EQ(r.field(1, "DUR_CALL1"), QByteArray(4, ' '));
    EXPECT_EQ(dev().WaveMode(), 0);
    ASSERT_TRUE(QFile::exists(recording(annPrefix, 1)));

    if (QStandardPaths::findExecutable("soxi").isEmpty())
        GTEST_SKIP() << "soxi (package sox) is not installed";
    QProcess soxi;
    soxi.start("soxi", {"-r", "-c", recording(annPrefix, 1)});
    ASSERT_TRUE(soxi.waitForFinished());
    EXPECT_EQ(soxi.exitCode(), 0);
}

TEST_F(AfterCallTest, FiveCallsOnRecordRotateTheFilesWithTheHistory)
{
    create();
    // GIVEN five calls on record, each with its file
    table.Edit();
    for (int s = 1; s <= 5; ++s) {
        table.SetAsString(QString("TM_CALL%1").arg(s), QString("0%1-Mar-2007 08:00").arg(s));
        table.SetAsInteger(QString("DUR_CALL%1").arg(s), s * 10);
    }
    table.Post();
    QDir().mkpath(te.path("Recordings"));
    for (int s = 1; s <= 5; ++s) {
        QFile f(recording(annPrefix, s));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old " + QByteArray::number(s));
    }
    // a call ends, then one is recorded
    calls->Timer1Timer();
    connect([this] { calls->DialSelected(); });
    calls->Timer1Timer();
    te.clock.advance(7000);
    calls->Abort();
    calls->Timer1Timer();
    const int duration = calls->CallDuration();
    ASSERT_GE(duration, 7);
    recordACall();

    // THEN no question, the history shifted and so did the files
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join('|').toStdString();
    const RawTable r = raw();
    EXPECT_EQ(r.text(1, "TM_CALL1"), "02-Mar-2007 08:00");
    EXPECT_EQ(r.text(1, "DUR_CALL4").trimmed(), "50");
    EXPECT_EQ(r.text(1, "TM_CALL5"), stamp());
    EXPECT_EQ(r.text(1, "DUR_CALL5").trimmed(), QString::number(duration));
    for (int s = 1; s <= 4; ++s) {
        QFile f(recording(annPrefix, s));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "old " + QByteArray::number(s + 1));
    }
    QFile five(recording(annPrefix, 5));
    ASSERT_TRUE(five.open(QIODevice::ReadOnly));
    EXPECT_TRUE(five.readAll().startsWith("RIFF"));
}

TEST_F(AfterCallTest, ARecordingStoppedAtItsLimitIsFiledWithThePreviousCallsDuration)
{
    writeProvider("[Default]\nRings=1\nTalkSeconds=100\nHangupSeconds=0\n");
    create();
    calls->Timer1Timer();
    connect([this] { calls->DialSelected(); });
    calls->Timer1Timer();
    te.clock.advance(4000);
    calls->Abort();
    calls->Timer1Timer();
    const int previous = calls->CallDuration();
    ASSERT_GE(previous, 4);
    dialogs.answer(MsgResult::No);
    connect([this] { calls->DialSelected(); });
    calls->Record();
    ASSERT_TRUE(runUntil([this] { return dev().WaveMode() == 0; }, 90000));
    EXPECT_EQ(dev().CallState(), 8); // the call goes on
    const RawTable r = raw();
    EXPECT_EQ(r.text(1, "DUR_CALL1").trimmed(), QString::number(previous));
    EXPECT_EQ(r.text(1, "PERMISSION"), ""); // "No" leaves it as it was
    dev().DropCall();
}

TEST_F(AfterCallTest, ANameThatLeadsOutOfTheRecordingsFolderFilesNothingAndKeepsTheRecording)
{
    for (const char *company : {"../../evil", "a/b", ".."}) {
        SCOPED_TRACE(company);
        QList<ContactRow> rows = defaultRows();
        create(rows);
        table.Edit();
        table.SetAsString("COMPNAME", company);
        table.Post();
        recordACall();
        // the save failed with a clear error in the general error display
        ASSERT_EQ(dialogs.shown.size(), 1u) << dialogs.texts().join('|').toStdString();
        EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Error);
        EXPECT_TRUE(dialogs.shown[0].text.contains("cannot be used in a file name"));
        EXPECT_TRUE(dialogs.shown[0].text.contains(dev().RecordingFile()));
        // the recording is kept, nothing was written or stamped
        EXPECT_EQ(dev().WaveMode(), 3);
        EXPECT_TRUE(QFile::exists(dev().RecordingFile()));
        EXPECT_EQ(raw().text(1, "TM_CALL1"), "");
        QDir root(te.root.path());
        EXPECT_EQ(root.entryList(QDir::Files).size(), 0) << root.entryList().join(',').toStdString();
        EXPECT_FALSE(QDir(te.path("Recordings")).exists() && !QDir(te.path("Recordings")).isEmpty());
        TearDown();
        table.Close();
        dialogs.shown.clear();
        QFile::remove(te.path("contacdata.dbf"));
        QFile::remove(te.path("contacdata.dbt"));
    }
}

} // namespace

namespace {
TEST_F(CallControllerTest, TheSimulatedLineKeepsOnlyItsRecentCalls)
{
    // A day of calls must not grow the program without bound.
    create();
    for (int i = 0; i < int(TapiProvider::kKeptCalls) + 8; ++i) {
        dev().DialNumber(QString("555-%1").arg(i));
        dialledAndDropped();
    }
    EXPECT_EQ(provider()->calls().size(), TapiProvider::kKeptCalls);
    EXPECT_EQ(provider()->lastCall()->number, QString("555-%1").arg(TapiProvider::kKeptCalls + 7));
    EXPECT_LE(provider()->log().size(), TapiProvider::kKeptLogEntries);
}
} // namespace

namespace {
TEST_F(AfterCallTest, ASaveThatFailsShiftsNoRecordingAndStampsNothing)
{
    create();
    table.Edit();
    for (int s = 1; s <= 5; ++s)
        table.SetAsString(QString("TM_CALL%1").arg(s), QString("0%1-Mar-2007 08:00").arg(s));
    table.Post();
    QDir().mkpath(te.path("Recordings"));
    for (int s = 1; s <= 5; ++s) {
        QFile f(recording(annPrefix, s));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old " + QByteArray::number(s));
    }
    // a folder where the recording is written first makes the save fail
    QDir().mkpath(te.path("Recordings/.recording-being-filed.wav/x"));

    recordACall();

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Error);
    EXPECT_EQ(dev().WaveMode(), 3); // the recording is kept
    EXPECT_EQ(raw().text(1, "TM_CALL1"), "01-Mar-2007 08:00");
    for (int s = 1; s <= 5; ++s) {
        QFile f(recording(annPrefix, s));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "old " + QByteArray::number(s));
    }
}
} // namespace
