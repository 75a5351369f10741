// A SIP line as the operator uses it, on loopback against SIPp as the far
// end (sip-tester):
//   - "Dial" on the line device to RINGBACK shown (target: 100 ms), and the
//     far end's answer to CONNECTED shown (target: 50 ms), over 10 calls;
//   - a wave-out buffer handed to the line to its first RTP packet on the
//     wire, caught by a socket of our own as the far end's media (target: 60 ms);
//   - CPU of the whole program during a connected call that plays and
//     records at once for 10 seconds (target: 5% of one core).
// Beside the call set-up figures: SIPp itself as the caller (its own
// INVITE-to-180 and 180-to-200 response times) on the same far end.
// Usage: bench_sip [calls]

#include "platform/tapi/LineProvider.h"
#include "telephony/TComPort.h"
#include "telephony/TapiDevice.h"
#include "tests/sip/SipTestSupport.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

class QuietDialogs final : public Dialogs {
public:
    MsgResult messageBox(const QString &, const QString &, MsgButtons buttons, MsgIcon) override
    {
        return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
    }
    void showError(const QString &text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    std::optional<QString> openFile(const FileDialogRequest &) override { return {}; }
    std::optional<QString> saveFile(const FileDialogRequest &) override { return {}; }
};

void report(const char *what, std::vector<double> v, double target)
{
    if (v.empty()) {
        std::printf("%-44s no samples\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%-44s best %7.2f  median %7.2f  worst %7.2f ms  (target %.0f ms, n=%zu)\n", what, v.front(),
                v[v.size() / 2], v.back(), target, v.size());
}

double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int calls = argc > 1 ? std::max(1, QString(argv[1]).toInt()) : 10;
    if (!SipPeer::available()) {
        std::printf("sip-tester (SIPp) is not installed\n");
        return 1;
    }
    SystemClock clock;
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/program");
    Environment env(clock, dir.path() + "/program", dir.path() + "/state");
    SipLines::ensureRegistered();

    // Call set-up through the line device.
    std::vector<double> ringback, answer;
    {
        SipPeer far;
        if (!far.start("answer.xml", dir.path(), {}, calls)) {
            std::printf("SIPp did not start\n");
            return 1;
        }
        writeAccount(env, far.port());
        QuietDialogs dialogs;
        TComPort port;
        TTapiDevice dev(env, dialogs);
        dev.setComPort(&port);
        dev.setMaxAttempts(0);
        QElapsedTimer t;
        double ringAt = -1, connectedAt = -1;
        dev.OnTapiStatus = [&](TCustomTapiDevice *, bool, bool, DWORD, DWORD m, DWORD p1, DWORD, DWORD) {
            if (m != LINE_CALLSTATE)
                return;
            if (p1 == LINECALLSTATE_RINGBACK && ringAt < 0)
                ringAt = t.nsecsElapsed() / 1e6;
            if (p1 == LINECALLSTATE_CONNECTED && connectedAt < 0)
                connectedAt = t.nsecsElapsed() / 1e6;
        };
        dev.setSelectedDevice(QStringLiteral("SIP: brenvoy@127.0.0.1:%1").arg(far.port()));
        dev.setEnableVoice(true);
        for (int i = 0; i < calls; ++i) {
            ringAt = connectedAt = -1;
            t.start();
            dev.DialNumber(QStringLiteral("555-%1").arg(300 + i));
            clock.waitUntil([&] { return connectedAt >= 0; }, 5000);
            if (ringAt >= 0)
                ringback.push_back(ringAt);
            // The far end answers 200 ms after its ringing.
            if (connectedAt >= 0 && ringAt >= 0)
                answer.push_back(connectedAt - ringAt - 200);
            dev.DropCall();
        }
        far.waitFinished(5000);
    }
    report("Dial to RINGBACK shown", ringback, 100);
    report("answer (200 OK sent) to CONNECTED shown", answer, 50);

    // SIPp as the caller against the same far end, for comparison.
    {
        SipPeer far;
        if (far.start("answer.xml", dir.path(), {}, calls)) {
            QProcess uac;
            uac.setWorkingDirectory(dir.path());
            uac.start("sipp", {"127.0.0.1:" + QString::number(far.port()),
                               "-sn",
                               "uac",
                               "-i",
                               "127.0.0.1",
                               "-p",
                               QString::number(SipPeer::freePort()),
                               "-m",
                               QString::number(calls),
                               "-l",
                               "1",
                               "-r",
                               "1",
                               "-nostdin",
                               "-timeout",
                               "60s",
                               "-trace_stat",
                               "-stf",
                               dir.path() + "/uac.csv",
                               "-fd",
                               "1"});
            uac.waitForFinished(60000);
            far.waitFinished(5000);
            QFile csv(dir.path() + "/uac.csv");
            if (csv.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> lines = csv.readAll().split('\n');
                const QList<QByteArray> head = lines.value(0).split(';');
                const int rt = int(head.indexOf("ResponseTime1(C)"));
                const int cd = int(head.indexOf("CallLength(C)"));
                for (int i = lines.size() - 1; i > 0; --i) {
                    const QList<QByteArray> row = lines[i].split(';');
                    if (row.size() > std::max(rt, cd) && rt >= 0) {
                        std::printf("SIPp as the caller (its cumulative figures):  response time %s, call "
                                    "length %s\n",
                                    row[rt].constData(), cd >= 0 ? row[cd].constData() : "?");
                        break;
                    }
                }
            }
        }
    }

    // Wave-out buffer to RTP on the wire: the far end's media is our socket.
    std::vector<double> wire;
    double cpuShare = -1;
    {
        QUdpSocket media;
        media.bind(QHostAddress::LocalHost, 0);
        QFile in(QStringLiteral(BRENVOY_TEST_DATA "/answer.xml"));
        in.open(QIODevice::ReadOnly);
        QByteArray scenario = in.readAll().replace("[media_port]", QByteArray::number(media.localPort()));
        QDir().mkpath(dir.path() + "/wire");
        const QString name = dir.path() + "/wire-scenario.xml";
        QFile own(name);
        own.open(QIODevice::WriteOnly);
        own.write(scenario);
        own.close();
        SipPeer far;
        const bool started = far.start(name, dir.path() + "/wire", {}, 1);
        if (started) {
            writeAccount(env, far.port());
            TapiCore::refreshProviders(env);
            Phone phone(clock, env);
            if (phone.ok() && phone.dial("555-0400") == 0 && phone.waitState(LINECALLSTATE_CONNECTED)) {
                QByteArray loud(320, '\0');
                for (int i = 0; i < 160; ++i)
                    reinterpret_cast<qint16 *>(loud.data())[i] = qint16(i % 2 ? 16000 : -16000);
                for (int n = 0; n < 20; ++n) {
                    clock.waitUntil([] { return false; }, 97); // off the 20 ms grid
                    while (media.hasPendingDatagrams())
                        media.receiveDatagram();
                    QElapsedTimer t;
                    t.start();
                    phone.play(loud, 320);
                    double at = -1;
                    while (at < 0 && t.elapsed() < 500) {
                        if (!media.waitForReadyRead(5))
                            continue;
                        while (media.hasPendingDatagrams() && at < 0) {
                            const QByteArray d = media.receiveDatagram().data();
                            // mu-law of +-16000 is far from silence (0xFF/0x7F)
                            if (d.size() > 12 + 10 && quint8(d[12 + 5]) != 0xFF && quint8(d[12 + 5]) != 0x7F)
                                at = t.nsecsElapsed() / 1e6;
                        }
                    }
                    if (at >= 0)
                        wire.push_back(at);
                    clock.waitUntil([&] { return !phone.playing(); }, 1000);
                }
                phone.closeWaves();

                // CPU of a connected call that plays and records.
                const QByteArray message = Phone::synthMessage(8000 * 10);
                const double cpu0 = cpuSeconds();
                QElapsedTimer t;
                t.start();
                phone.record();
                phone.play(message);
                clock.waitUntil([&] { return !phone.playing(); }, 15000);
                phone.stopRecording();
                cpuShare = 100.0 * (cpuSeconds() - cpu0) / (t.nsecsElapsed() / 1e9);
                phone.closeWaves();
            }
            phone.drop();
        }
    }
    report("wave-out buffer to its RTP on the wire", wire, 60);
    std::printf("%-44s %.2f%% of one core (target 5%%)\n", "CPU, connected call playing and recording",
                cpuShare);
    return 0;
}
