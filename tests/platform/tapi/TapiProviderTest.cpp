#include "platform/tapi/TapiProvider.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(ProviderConfig, ReadsLinesAndFarEnds)
{
    QString error;
    auto c = ProviderConfig::parse(R"(; a comment
[Provider]
SoundCard=1
[Line0]
Name=Desk Modem
MediaModes=AUTOMATEDVOICE|0x10
[Number0]
Pattern=555*
Outcome=busy
[Default]
Rings=4
Dtmf=1.5:7, 3:#
)",
                                   ".", &error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_TRUE(c->soundCard);
    ASSERT_EQ(c->lines.size(), 1);
    EXPECT_EQ(c->lines[0].name, QStringLiteral("Desk Modem"));
    EXPECT_EQ(c->lines[0].mediaModes, LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM);
    EXPECT_EQ(c->farEndFor("555-1234").outcome, CallOutcome::Busy);
    EXPECT_EQ(c->farEndFor("555-1234").rings, 4); // numbers start from the default far end
    const FarEndConfig &other = c->farEndFor("0800");
    EXPECT_EQ(other.outcome, CallOutcome::Answer);
    ASSERT_EQ(other.dtmf.size(), 2);
    EXPECT_EQ(other.dtmf[0].atMs, 1500);
    EXPECT_EQ(other.dtmf[1].digit, '#');
}

TEST(ProviderConfig, RefusesValuesThatMakeNoSense)
{
    const char *bad[] = {
        "[Line0]\nMediaModes=AUTOMATEDVOICE\n",    // no name
        "[Line0]\nName=x\nMediaModes=TELEPATHY\n", // unknown mode
        "[Default]\nOutcome=maybe\n",
        "[Default]\nRings=-1\n",
        "[Default]\nDtmf=soon:1\n",
        "[Default]\nAudio=/no/such/file.wav\n",
        "[Line0\nName=x\n",
        "Name=outside a section\n",
    };
    for (const char *text : bad) {
        QString error;
        EXPECT_FALSE(ProviderConfig::parse(QString::fromLatin1(text), ".", &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

TEST(ProviderConfig, NumberPatterns)
{
    struct Case {
        const char *pattern, *number;
        bool match;
    };
    const Case cases[] = {
        {"*", "", true},
        {"555*", "555-0100", true},
        {"555*", "0555", false},
        {"?23", "123", true},
        {"?23", "23", false},
        {"*00", "555-0100", true},
        {"5*1*0", "555-0100", true},
        {"5*1*9", "555-0100", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(matchesNumberPattern(c.pattern, c.number), c.match) << c.pattern << " " << c.number;
}

// The line functions as an application sees them, without the line device.
class LineFunctions : public ::testing::Test {
protected:
    struct Message {
        DWORD device, message;
        DWORD_PTR p1, p2, p3;
    };
    static std::vector<Message> messages;
    static void callback(DWORD d, DWORD m, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3)
    {
        messages.push_back({d, m, p1, p2, p3});
    }

    TestEnvironment te;
    HLINEAPP app = 0;
    HLINE line = 0;

    void SetUp() override
    {
        messages.clear();
        DWORD n = 0;
        ASSERT_EQ(lineInitialize(&app, *te.env, &callback, "test", &n), 0);
        ASSERT_EQ(n, 1u);
        ASSERT_EQ(lineOpen(app, 0, &line, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr), 0);
    }
    void TearDown() override { lineShutdown(app); }

    HCALL connect()
    {
        HCALL call = 0;
        LINECALLPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwBearerMode = LINEBEARERMODE_VOICE;
        params.dwMediaMode = LINEMEDIAMODE_AUTOMATEDVOICE;
        params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
        EXPECT_GT(lineMakeCall(line, &call, "555", 0, &params), 0);
        te.clock.waitUntil(
            [&] {
                return !messages.empty() && messages.back().message == LINE_CALLSTATE &&
                       messages.back().p1 == LINECALLSTATE_CONNECTED;
            },
            60000);
        return call;
    }

    UINT waveId(const char *deviceClass)
    {
        std::vector<char> buf(sizeof(VARSTRING) + 4);
        auto *vs = reinterpret_cast<VARSTRING *>(buf.data());
        vs->dwTotalSize = DWORD(buf.size());
        EXPECT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, deviceClass), 0);
        DWORD id = 0;
        std::memcpy(&id, buf.data() + vs->dwStringOffset, 4);
        return id;
    }
};
std::vector<LineFunctions::Message> LineFunctions::messages;

// Collects what a wave device posts to its target.
class WaveTarget : public QObject {
public:
    std::vector<UINT> messages;
    std::vector<WAVEHDR *> headers;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != WaveNotifyEvent::eventType())
            return QObject::event(e);
        auto *n = static_cast<WaveNotifyEvent *>(e);
        messages.push_back(n->message);
        headers.push_back(n->header);
        return true;
    }
};

TEST_F(LineFunctions, ReplyComesBeforeTheFirstCallStateAndDeallocationNeedsIdle)
{
    const HCALL call = connect();
    ASSERT_NE(call, 0u);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, LINE_REPLY);
    EXPECT_EQ(messages[0].p2, 0u);
    EXPECT_EQ(messages[1].message, LINE_CALLSTATE);
    EXPECT_EQ(messages[1].p3, DWORD_PTR(LINECALLPRIVILEGE_OWNER));
    EXPECT_EQ(lineDeallocateCall(call), LINEERR_INVALCALLSTATE);
    EXPECT_GT(lineDrop(call, nullptr, 0), 0);
    te.clock.advance(100);
    EXPECT_EQ(messages.back().p1, DWORD_PTR(LINECALLSTATE_IDLE));
    EXPECT_EQ(lineDeallocateCall(call), 0);
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    EXPECT_EQ(lineGetCallStatus(call, &status), LINEERR_INVALCALLHANDLE);
}

TEST_F(LineFunctions, VariableStructuresReportTheSizeTheyNeed)
{
    LINEDEVCAPS small{};
    small.dwTotalSize = sizeof small; // no room for the names
    ASSERT_EQ(lineGetDevCaps(app, 0, TAPI_VERSION_1_4, 0, &small), 0);
    EXPECT_GT(small.dwNeededSize, small.dwTotalSize);
    EXPECT_EQ(small.dwLineNameSize, 0u);
    std::vector<char> buffer(small.dwNeededSize);
    auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
    caps->dwTotalSize = DWORD(buffer.size());
    ASSERT_EQ(lineGetDevCaps(app, 0, TAPI_VERSION_1_4, 0, caps), 0);
    EXPECT_STREQ(buffer.data() + caps->dwLineNameOffset, "Brenvoy Voice Modem");
    EXPECT_EQ(caps->dwLineNameSize, DWORD(std::strlen("Brenvoy Voice Modem") + 1));

    VARSTRING vs{};
    vs.dwTotalSize = sizeof vs;
    ASSERT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, &vs, "wave/out"), 0);
    EXPECT_EQ(vs.dwNeededSize, sizeof(VARSTRING) + 4);
    EXPECT_EQ(vs.dwStringSize, 0u);
    EXPECT_EQ(lineGetID(line, 0, 0, LINECALLSELECT_LINE, &vs, "comm/datamodem"), LINEERR_INVALDEVICECLASS);
    DWORD version = 0;
    LINEEXTENSIONID ext{};
    EXPECT_EQ(lineNegotiateAPIVersion(app, 1, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext),
              LINEERR_BADDEVICEID);
}

TEST_F(LineFunctions, WaveInResetReturnsThePartlyFilledBufferShort)
{
    connect();
    const UINT id = waveId("wave/in");
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HWAVEIN in = 0;
    ASSERT_EQ(waveInOpen(&in, id, &f, nullptr, 0, 0), MMSYSERR_NOERROR);
    std::vector<char> a(16000), b(16000);
    WAVEHDR ha{a.data(), 16000, 0, 0, 0, 0, nullptr, 0}, hb{b.data(), 16000, 0, 0, 0, 0, nullptr, 0};
    waveInPrepareHeader(in, &ha, sizeof ha);
    waveInPrepareHeader(in, &hb, sizeof hb);
    waveInAddBuffer(in, &ha, sizeof ha);
    waveInAddBuffer(in, &hb, sizeof hb);
    EXPECT_EQ(waveInClose(in), WAVERR_STILLPLAYING);
    waveInStart(in);
    te.clock.advance(1250);
    EXPECT_TRUE(ha.dwFlags & WHDR_DONE);
    EXPECT_EQ(ha.dwBytesRecorded, 16000u);
    EXPECT_FALSE(hb.dwFlags & WHDR_DONE);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_TRUE(hb.dwFlags & WHDR_DONE);
    EXPECT_EQ(hb.dwBytesRecorded, 250u * 16);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

// Both kinds of wave device keep the same handle, header and queue rules;
// they differ in the formats they take, in whole-sample buffers for
// recording and in their messages.
TEST_F(LineFunctions, WaveDevicesCheckFormatsHandlesAndHeaders)
{
    struct Kind {
        const char *deviceClass;
        MMRESULT (*open)(DWORD *, UINT, const WAVEFORMATEX *, QObject *, DWORD_PTR, DWORD);
        MMRESULT (*prepare)(DWORD, WAVEHDR *, UINT);
        MMRESULT (*unprepare)(DWORD, WAVEHDR *, UINT);
        MMRESULT (*queue)(DWORD, WAVEHDR *, UINT);
        MMRESULT (*reset)(DWORD);
        MMRESULT (*close)(DWORD);
        MMRESULT (*errorText)(MMRESULT, char *, UINT);
        bool input;
        UINT openMessage, doneMessage, closeMessage;
        const char *openLog, *closeLog, *badFormatText;
    };
    const Kind kinds[] = {
        {"wave/out", waveOutOpen, waveOutPrepareHeader, waveOutUnprepareHeader, waveOutWrite, waveOutReset,
         waveOutClose, waveOutGetErrorText, false, MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_CLOSE, "waveOutOpen",
         "waveOutClose", "The line cannot play this wave format."},
        {"wave/in", waveInOpen, waveInPrepareHeader, waveInUnprepareHeader, waveInAddBuffer, waveInReset,
         waveInClose, waveInGetErrorText, true, MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE, "waveInOpen",
         "waveInClose", "The line cannot record in this wave format."},
    };
    const WAVEFORMATEX phone{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    const WAVEFORMATEX cd{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    for (const Kind &k : kinds) {
        SCOPED_TRACE(k.deviceClass);
        const UINT id = waveId(k.deviceClass);
        DWORD h = 0;
        WaveTarget target;

        // GIVEN an open line WHEN a device is opened THEN ids, formats and handles are checked
        EXPECT_EQ(k.open(&h, id + 1000, &phone, nullptr, 0, 0), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(k.open(&h, id, nullptr, nullptr, 0, 0), MMSYSERR_INVALPARAM);
        EXPECT_EQ(k.open(nullptr, id, &cd, nullptr, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
        EXPECT_EQ(k.open(nullptr, id, &cd, nullptr, 0, WAVE_FORMAT_QUERY | WAVE_MAPPED),
                  k.input ? WAVERR_BADFORMAT : MMSYSERR_NOERROR);
        EXPECT_EQ(k.open(nullptr, id, &phone, nullptr, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
        EXPECT_EQ(k.open(nullptr, id, &phone, nullptr, 0, 0), MMSYSERR_INVALPARAM);
        ASSERT_EQ(k.open(&h, id, &phone, &target, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
        DWORD second = 0;
        EXPECT_EQ(k.open(&second, id, &phone, nullptr, 0, 0), MMSYSERR_ALLOCATED);

        // WHEN headers are prepared and queued THEN bad ones are refused
        std::vector<char> a(1001), b(1000);
        WAVEHDR odd{a.data(), 1001, 77, 0, 0, 0, nullptr, 0}, even{b.data(), 1000, 77, 0, 0, 0, nullptr, 0};
        WAVEHDR empty{nullptr, 1000, 0, 0, 0, 0, nullptr, 0};
        EXPECT_EQ(k.prepare(h + 1000, &even, sizeof even), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(k.prepare(h, &empty, sizeof empty), MMSYSERR_INVALPARAM);
        EXPECT_EQ(k.prepare(h, &even, sizeof even - 1), MMSYSERR_INVALPARAM);
        EXPECT_EQ(k.queue(h, &even, sizeof even), WAVERR_UNPREPARED);
        ASSERT_EQ(k.prepare(h, &odd, sizeof odd), MMSYSERR_NOERROR);
        ASSERT_EQ(k.prepare(h, &even, sizeof even), MMSYSERR_NOERROR);
        EXPECT_EQ(even.dwFlags, WHDR_PREPARED);
        EXPECT_EQ(k.queue(h, &odd, sizeof odd), k.input ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR);
        ASSERT_EQ(k.queue(h, &even, sizeof even), MMSYSERR_NOERROR);
        EXPECT_EQ(even.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
        EXPECT_EQ(k.queue(h, &even, sizeof even), MMSYSERR_INVALPARAM);
        EXPECT_EQ(k.unprepare(h, &even, sizeof even), WAVERR_STILLPLAYING);
        EXPECT_EQ(k.close(h), WAVERR_STILLPLAYING);

        // WHEN the device is reset THEN every queued header comes back done
        // (a recording one empty, a played one as it was)
        EXPECT_EQ(k.reset(h + 1000), MMSYSERR_INVALHANDLE);
        ASSERT_EQ(k.reset(h), MMSYSERR_NOERROR);
        EXPECT_EQ(even.dwFlags, WHDR_PREPARED | WHDR_DONE);
        EXPECT_EQ(even.dwBytesRecorded, k.input ? 0u : 77u);
        EXPECT_EQ(k.unprepare(h, &even, sizeof even), MMSYSERR_NOERROR);
        EXPECT_EQ(even.dwFlags, WHDR_DONE);
        EXPECT_EQ(k.unprepare(h, &even, sizeof even - 1), MMSYSERR_INVALPARAM);
        EXPECT_EQ(k.close(h), MMSYSERR_NOERROR);
        EXPECT_EQ(k.close(h), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(k.prepare(h, &even, sizeof even), MMSYSERR_INVALHANDLE);

        // THEN the target saw open, the returned headers in order, and close
        QCoreApplication::sendPostedEvents(&target);
        std::vector<UINT> expected{k.openMessage, k.doneMessage, k.closeMessage};
        std::vector<WAVEHDR *> returned{nullptr, &even, nullptr};
        if (!k.input) {
            expected.insert(expected.begin() + 1, k.doneMessage);
            returned.insert(returned.begin() + 1, &odd);
        }
        EXPECT_EQ(target.messages, expected);
        EXPECT_EQ(target.headers, returned);
        const QStringList log = TapiProvider::find(*te.env)->log();
        EXPECT_EQ(log.count(QString::fromLatin1(k.openLog)), 1);
        EXPECT_EQ(log.count(QString::fromLatin1(k.closeLog)), 1);

        // Error texts are cut to the buffer and name the kind's trouble.
        char text[MAXERRORLENGTH] = {};
        EXPECT_EQ(k.errorText(WAVERR_BADFORMAT, nullptr, sizeof text), MMSYSERR_INVALPARAM);
        EXPECT_EQ(k.errorText(WAVERR_BADFORMAT, text, 0), MMSYSERR_INVALPARAM);
        ASSERT_EQ(k.errorText(WAVERR_BADFORMAT, text, sizeof text), MMSYSERR_NOERROR);
        EXPECT_STREQ(text, k.badFormatText);
        ASSERT_EQ(k.errorText(999, text, 8), MMSYSERR_NOERROR);
        EXPECT_STREQ(text, "Unknown");
    }

    // GIVEN the line closed WHEN a device is opened THEN it carries no sound
    const UINT out = waveId("wave/out");
    lineClose(line);
    DWORD h = 0;
    EXPECT_EQ(waveOutOpen(&h, out, &phone, nullptr, 0, 0), MMSYSERR_NOTENABLED);
}

} // namespace
