#include "tests/sip/SipTestSupport.h"

#include "platform/sip/SipAccounts.h"
#include "platform/tapi/LineProvider.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>
#include <gtest/gtest.h>

#include "telephony/TComPort.h"
#include "telephony/TapiDevice.h"
#include "tests/support/ScriptedDialogs.h"

extern "C" {
#include <rem/rem_g711.h>
}

namespace {

quint8 g711Encode(qint16 s)
{
    return g711_pcm2ulaw(s);
}
qint16 g711Decode(quint8 u)
{
    return g711_ulaw2pcm(u);
}

class SipLineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SipLines::registerProvider(
            [](const Environment &, const SipAccount &) { return QStringLiteral("secret"); });
    }

    void SetUp() override
    {
        if (!SipPeer::available())
            GTEST_SKIP() << "sip-tester (SIPp) is not installed: the SIP line tests need it as the far end";
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.path() + "/program");
        QDir().mkpath(dir.path() + "/state");
        env = std::make_unique<Environment>(clock, dir.path() + "/program", dir.path() + "/state");
    }

    // Starts the far end and a phone on an account pointing at it.
    void startCall(const QString &scenario, QStringList extra = {}, const QString &wave = {})
    {
        ASSERT_TRUE(peer.start(scenario, dir.path(), extra, 1, wave)) << peer.output().toStdString();
        writeAccount(*env, peer.port());
        phone = std::make_unique<Phone>(clock, *env);
        ASSERT_TRUE(phone->ok());
        ASSERT_EQ(phone->lineName(), QStringLiteral("SIP: brenvoy@127.0.0.1:%1").arg(peer.port()));
    }

    SystemClock clock;
    QTemporaryDir dir;
    std::unique_ptr<Environment> env;
    SipPeer peer;
    std::unique_ptr<Phone> phone;
};

TEST_F(SipLineTest, EchoedMessageComesBackAsPlayed)
{
    startCall("answer.xml", {"-rtp_echo"});
    ASSERT_EQ(phone->dial("555-0100"), 0);
    ASSERT_TRUE(phone->waitState(LINECALLSTATE_CONNECTED));
    const QByteArray message = Phone::synthMessage(8000 * 2);
    ASSERT_TRUE(phone->record());
    ASSERT_TRUE(phone->play(message));
    ASSERT_TRUE(clock.waitUntil([&] { return !phone->playing(); }, 10000));
    clock.waitUntil([] { return false; }, 500); // the echo's way back
    const QByteArray heard = phone->stopRecording();
    int shift = 0;
    const double c = Phone::correlation(message, heard, 8000, &shift);
    EXPECT_GE(c, 0.99) << "shift " << shift << " recorded " << heard.size();
    RecordProperty("correlation", std::to_string(c));
    std::printf("correlation %.5f shift %d\n", c, shift);
    phone->drop();
    EXPECT_TRUE(peer.waitFinished());
    EXPECT_EQ(peer.exitCode(), 0) << peer.output().toStdString();
}

TEST_F(SipLineTest, FarEndsStreamIsRecordedSampleForSample)
{
    // The far end streams a mu-law file; what the line records is that
    // file decoded, sample for sample.
    QByteArray ulaw(8000 * 2, Qt::Uninitialized);
    QByteArray expected(ulaw.size() * 2, Qt::Uninitialized);
    const QByteArray voice = Phone::synthMessage(int(ulaw.size()));
    for (qsizetype i = 0; i < ulaw.size(); ++i) {
        ulaw[i] = char(g711Encode(reinterpret_cast<const qint16 *>(voice.constData())[i]));
        reinterpret_cast<qint16 *>(expected.data())[i] = g711Decode(quint8(ulaw[i]));
    }
    const QString wave = dir.path() + "/far.wav";
    writeWave(wave, 7, ulaw);
    phone.reset();
    startCall("stream.xml", {}, wave);
    ASSERT_TRUE(phone->record());
    ASSERT_EQ(phone->dial("555-0101"), 0);
    ASSERT_TRUE(phone->waitState(LINECALLSTATE_CONNECTED));
    clock.waitUntil([&] { return phone->recorded().size() >= expected.size() + 8000; }, 8000);
    const QByteArray heard = phone->stopRecording();
    const qsizetype at = heard.indexOf(expected.left(320));
    ASSERT_GE(at, 0) << "the stream's first 20 ms are not in the recording of " << heard.size() << " bytes";
    EXPECT_EQ(at % 2, 0);
    EXPECT_TRUE(heard.mid(at, expected.size()) == expected);
    EXPECT_GE(Phone::correlation(expected, heard.mid(at), 0), 0.99);
    phone->drop();
    EXPECT_TRUE(peer.waitFinished());
}

// The far end's answers become the call states and disconnect modes the
// line device knows, and the line ends idle after the hang-up.
TEST_F(SipLineTest, FarEndAnswersMapToCallStates)
{
    struct Case {
        const char *scenario;
        std::vector<DWORD> states; // after the dial tone, up to the end of the call
        DWORD mode;                // of the last of them
    };
    const Case cases[] = {
        {"busy.xml", {LINECALLSTATE_PROCEEDING, LINECALLSTATE_BUSY}, LINEBUSYMODE_STATION},
        {"noanswer.xml",
         {LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK, LINECALLSTATE_DISCONNECTED},
         LINEDISCONNECTMODE_NOANSWER},
        {"hangup.xml",
         {LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK, LINECALLSTATE_CONNECTED,
          LINECALLSTATE_DISCONNECTED},
         LINEDISCONNECTMODE_NORMAL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scenario);
        SipPeer far;
        ASSERT_TRUE(far.start(c.scenario, dir.path()));
        writeAccount(*env, far.port());
        ScriptedDialogs dialogs;
        TComPort port;
        TTapiDevice dev(*env, dialogs);
        dev.setComPort(&port);
        dev.setMaxAttempts(0);
        std::vector<std::pair<DWORD, DWORD>> seen;
        dev.OnTapiStatus = [&](TCustomTapiDevice *, bool, bool, DWORD, DWORD m, DWORD p1, DWORD p2, DWORD) {
            if (m == LINE_CALLSTATE)
                seen.emplace_back(p1, p2);
        };
        dev.setSelectedDevice(QStringLiteral("SIP: brenvoy@127.0.0.1:%1").arg(far.port()));
        dev.setEnableVoice(true);
        ASSERT_TRUE(dev.EnableVoice());
        dev.DialNumber("555-0102");
        ASSERT_TRUE(clock.waitUntil([&] { return !dev.LineOpen() && far.waitFinished(0); }, 15000));
        std::vector<DWORD> states;
        for (const auto &[state, mode] : seen)
            states.push_back(state);
        ASSERT_FALSE(states.empty());
        EXPECT_EQ(states.front(), DWORD(LINECALLSTATE_DIALTONE));
        states.erase(states.begin());
        // The line device drops the ended call, which takes it to idle.
        std::vector<DWORD> expected = c.states;
        expected.push_back(LINECALLSTATE_IDLE);
        EXPECT_EQ(states, expected);
        ASSERT_GE(seen.size(), 2u);
        EXPECT_EQ(seen[seen.size() - 2].second, c.mode);
        EXPECT_EQ(dev.CallState(), 0);
        EXPECT_EQ(far.exitCode(), 0) << far.output().toStdString();
    }
}

TEST_F(SipLineTest, FarEndKeyStopsPlaybackAtOnce)
{
    startCall("dtmf.xml");
    phone.reset(); // the line device dials this one
    ScriptedDialogs dialogs;
    TComPort port;
    TTapiDevice dev(*env, dialogs);
    dev.setComPort(&port);
    dev.setMaxAttempts(0);
    std::vector<char> keys;
    qint64 keyAtMs = -1, stoppedAtMs = -1;
    dev.OnTapiDTMF = [&](TCustomTapiDevice *d, char key, DWORD) {
        keys.push_back(key);
        keyAtMs = clock.monotonicMs();
        if (d->WaveMode() == 0 && stoppedAtMs < 0)
            stoppedAtMs = keyAtMs;
    };
    dev.OnTapiWaveNotify = [&](TCustomTapiDevice *d, TWaveMessage) {
        if (d->WaveMode() == 0 && keyAtMs >= 0 && stoppedAtMs < 0)
            stoppedAtMs = clock.monotonicMs();
    };
    dev.setSelectedDevice(QStringLiteral("SIP: brenvoy@127.0.0.1:%1").arg(peer.port()));
    dev.setEnableVoice(true);
    dev.DialNumber("555-0103");
    ASSERT_TRUE(clock.waitUntil([&] { return dev.CallState() == 8; }, 10000));
    const QString message = dir.path() + "/message.wav";
    writeWave(message, 1, Phone::synthMessage(8000 * 6));
    const qint64 playFrom = clock.monotonicMs();
    dev.PlayWave(message);
    ASSERT_EQ(dev.WaveMode(), 1);
    ASSERT_TRUE(clock.waitUntil([&] { return dev.WaveMode() == 0; }, 8000));
    const qint64 stopped = clock.monotonicMs();
    EXPECT_EQ(keys, std::vector<char>{'5'});
    EXPECT_LT(stopped - playFrom, 4000) << "the key did not cut the six-second message short";
    ASSERT_GE(keyAtMs, 0);
    EXPECT_LE(stopped - keyAtMs, 100);
    dev.DropCall();
    EXPECT_TRUE(peer.waitFinished());
    EXPECT_EQ(peer.exitCode(), 0) << peer.output().toStdString();
}

// RFC 4733 events from the far end's media: each key once, however often
// its packets repeat it.
TEST_F(SipLineTest, TelephoneEventsBecomeDigits)
{
    QUdpSocket media;
    ASSERT_TRUE(media.bind(QHostAddress::LocalHost, 0));
    QFile in(QStringLiteral(BRENVOY_TEST_DATA "/answer.xml"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QString scenario = dir.path() + "/events.xml";
    QFile out(scenario);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(in.readAll().replace("[media_port]", QByteArray::number(media.localPort())));
    out.close();
    startCall(scenario);
    ASSERT_EQ(phone->dial("555-0105"), 0);
    ASSERT_TRUE(phone->waitState(LINECALLSTATE_CONNECTED));
    // Our line's media address is where its RTP comes from.
    ASSERT_TRUE(clock.waitUntil([&] { return media.hasPendingDatagrams(); }, 2000));
    const QNetworkDatagram first = media.receiveDatagram();
    quint16 seq = 1;
    quint32 ts = 8000;
    auto event = [&](quint8 code) {
        for (int i = 0; i < 6; ++i) {
            const bool end = i >= 3;
            const quint16 duration = quint16(160 * (end ? 4 : i + 1));
            QByteArray p(16, '\0');
            p[0] = char(0x80);
            p[1] = char((i == 0 ? 0x80 : 0) | 101);
            qToBigEndian(seq++, p.data() + 2);
            qToBigEndian(ts, p.data() + 4);
            qToBigEndian(quint32(0x5eed), p.data() + 8);
            p[12] = char(code);
            p[13] = char((end ? 0x80 : 0) | 10);
            qToBigEndian(duration, p.data() + 14);
            media.writeDatagram(p, first.senderAddress(), quint16(first.senderPort()));
            clock.waitUntil([] { return false; }, 20);
        }
        ts += 1600;
    };
    event(5);
    event(11);
    event(5);
    clock.waitUntil([&] { return phone->digits.size() >= 3; }, 2000);
    clock.waitUntil([] { return false; }, 100);
    EXPECT_EQ(phone->digits, (std::vector<char>{'5', '#', '5'}));
    phone->drop();
    EXPECT_TRUE(peer.waitFinished());
}

TEST_F(SipLineTest, TwentyCallsLeaveNoFilesOrMemoryBehind)
{
    ASSERT_TRUE(peer.start("answer.xml", dir.path(), {"-rtp_echo"}, 20));
    writeAccount(*env, peer.port());
    phone = std::make_unique<Phone>(clock, *env);
    ASSERT_TRUE(phone->ok());
    int filesAfterFirst = 0;
    qint64 memoryAfterFifth = 0;
    const QByteArray message = Phone::synthMessage(800);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(phone->dial(QStringLiteral("555-%1").arg(200 + i)), 0);
        ASSERT_TRUE(phone->waitState(LINECALLSTATE_CONNECTED));
        ASSERT_TRUE(phone->record());
        ASSERT_TRUE(phone->play(message));
        ASSERT_TRUE(clock.waitUntil([&] { return !phone->playing(); }, 5000));
        phone->stopRecording();
        phone->closeWaves();
        phone->drop();
        if (i == 0)
            filesAfterFirst = openFileCount();
        if (i == 4)
            memoryAfterFifth = residentKiB();
    }
    EXPECT_LE(openFileCount(), filesAfterFirst);
    EXPECT_LE(residentKiB() - memoryAfterFifth, 2048) << "KiB grown over fifteen calls";
    EXPECT_TRUE(peer.waitFinished());
    EXPECT_EQ(peer.exitCode(), 0) << peer.output().toStdString();
}

TEST_F(SipLineTest, NumbersThatCannotBeDialledAreRefused)
{
    startCall("answer.xml");
    EXPECT_EQ(phone->dial("no digits"), LINEERR_INVALADDRESS);
    EXPECT_EQ(phone->dial("evil@host\r\nVia: x"), LINEERR_INVALADDRESS);
}

TEST_F(SipLineTest, RegistrarRefusingThePasswordRefusesCalls)
{
    ASSERT_TRUE(peer.start("forbidden.xml", dir.path()));
    writeAccount(*env, peer.port(), QStringLiteral("127.0.0.1:%1").arg(peer.port()));
    phone = std::make_unique<Phone>(clock, *env);
    ASSERT_TRUE(phone->ok());
    ASSERT_TRUE(peer.waitFinished());
    clock.waitUntil([] { return false; }, 200);
    EXPECT_EQ(phone->dial("555-0104"), LINEERR_OPERATIONFAILED);
}

} // namespace
