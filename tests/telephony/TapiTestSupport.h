#pragma once

#include "platform/tapi/TapiProvider.h"
#include "telephony/TapiDevice.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << l.join(" | ").toStdString();
}

// A line device on the simulated provider, wired as the main window wires
// it, on a simulated clock. Every OnTapiStatus and OnTapiWaveNotify is kept.
class TapiFixture : public ::testing::Test {
protected:
    struct Status {
        bool first, last;
        DWORD device, message, p1, p2, p3;
    };

    TestEnvironment te;
    ScriptedDialogs dialogs;
    std::unique_ptr<TComPort> port;
    std::unique_ptr<TTapiStatus> status;
    std::unique_ptr<TTapiDevice> dev;
    std::vector<Status> statuses;
    std::vector<TWaveMessage> waves;
    int fails = 0;
    int connects = 0;

    void TearDown() override
    {
        if (dev && !dev->RecordingFile().isEmpty())
            QFile::remove(dev->RecordingFile());
        dev.reset();
    }

    void writeProvider(const QString &text)
    {
        QFile f(TapiProvider::providerFilePath(*te.env));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }

    // The main window's creation-time values: voice on, no redial.
    void create(bool voice = true)
    {
        port = std::make_unique<TComPort>();
        status = std::make_unique<TTapiStatus>();
        dev = std::make_unique<TTapiDevice>(*te.env, dialogs);
        dev->setComPort(port.get());
        dev->setStatusDisplay(status.get());
        dev->setMaxAttempts(0);
        dev->setRetryWait(10);
        dev->OnTapiStatus = [this](TCustomTapiDevice *, bool f, bool l, DWORD d, DWORD m, DWORD p1, DWORD p2,
                                   DWORD p3) {
            statuses.push_back({f, l, d, m, p1, p2, p3});
        };
        dev->OnTapiWaveNotify = [this](TCustomTapiDevice *, TWaveMessage m) { waves.push_back(m); };
        dev->OnTapiConnect = [this](TCustomTapiDevice *) { ++connects; };
        dev->OnTapiFail = [this](TCustomTapiDevice *) { ++fails; };
        if (voice)
            dev->setEnableVoice(true);
    }

    TapiProvider *provider() const { return TapiProvider::find(*te.env); }

    // Runs the simulated clock until pred holds (at most limitMs).
    bool runUntil(const std::function<bool()> &pred, qint64 limitMs = 120000)
    {
        return te.clock.waitUntil(pred, limitMs);
    }
    void run(qint64 ms) { te.clock.advance(ms); }

    void dialAndConnect(const QString &number = QStringLiteral("555-0100"))
    {
        dev->DialNumber(number);
        ASSERT_TRUE(runUntil([this] { return dev->Connected(); }));
        ASSERT_EQ(dev->CallState(), 8);
    }

    std::vector<DWORD> callStates() const
    {
        std::vector<DWORD> out;
        for (const Status &s : statuses)
            if (s.message == LINE_CALLSTATE)
                out.push_back(s.p1);
        return out;
    }
};

// Answers the next "Device Selection" dialog from inside its event loop:
// picks the entry (or cancels with an empty text) and notes what it listed.
struct SelectionAnswer {
    QStringList listed;
    QString preselected;
    bool shown = false;
};

std::shared_ptr<SelectionAnswer> answerDeviceSelection(const QString &choice);

// A RIFF WAVE file of PCM samples.
void writeWaveFile(const QString &path, int rate, int channels, int bits, const QByteArray &data);
// 16-bit mono samples following a pattern that tells every position apart.
QByteArray rampSamples(int count, int seed = 0);
