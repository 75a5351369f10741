#pragma once

// The simulated lines: a line provider (LineProvider.h) that simulates the
// voice modems of the provider file and the far end of each call, on the
// clock of the Environment the application initialised TAPI with. It is
// always the first provider of a state folder's telephony service and lives
// as long as that service. Everything runs on the user-interface thread.

#include "platform/tapi/FarEnd.h"
#include "platform/tapi/LineProvider.h"
#include "platform/tapi/ProviderConfig.h"
#include "platform/tapi/Tapi.h"
#include "platform/tapi/Wave.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class Clock;
class Environment;
class QAudioSink;
class QIODevice;

class TapiProvider final : public LineProvider {
public:
    // A call as the provider keeps it, also after it was deallocated, so
    // tests can see what happened on the line.
    struct CallRecord {
        HCALL handle = 0;
        QString number;
        DWORD state = 0;
        DWORD stateMode = 0;
        qint64 connectedAtMs = -1; // on the provider's clock
        qint64 endedAtMs = -1;
        bool deallocated = false;
        // What the far end heard: the bytes played into the call, in
        // heardFormat (the format of the last wave-out device).
        QByteArray heard;
        WAVEFORMATEX heardFormat{};
        std::shared_ptr<FarEnd> farEnd;
        FarEndConfig far;
    };

    // How much of the call history a running provider keeps for tests.
    static constexpr size_t kKeptCalls = 32;
    static constexpr qsizetype kKeptLogEntries = 2000;

    static QString providerFilePath(const Environment &env);
    // The provider of env's state folder if one runs (for tests).
    static TapiProvider *find(const Environment &env);

    const ProviderConfig &config() const { return m_config; }
    Clock &clock() const { return *m_clock; }

    // Line and wave functions that act on a line, in order, for tests:
    // "lineOpen 0", "lineMakeCall 555-0100", "lineDrop", "lineClose",
    // "waveOutOpen", "waveInOpen", ...
    QStringList log() const { return m_log; }
    const std::vector<std::shared_ptr<CallRecord>> &calls() const { return m_calls; }
    std::shared_ptr<CallRecord> lastCall() const { return m_calls.empty() ? nullptr : m_calls.back(); }
    int openLineCount() const { return m_openLines; }

    ~TapiProvider() override;

    // LineProvider
    int deviceCount() const override { return int(m_config.lines.size()); }
    LineDeviceCaps caps(int device) const override;
    void defer(std::function<void()> fn) override { after(10, std::move(fn)); }
    void note(const QString &entry) override { logCall(entry); }
    void lineOpened(int) override { ++m_openLines; }
    void lineClosed(int) override { --m_openLines; }
    LONG checkCall(int device, const QString &number) override;
    void startCall(HCALL call, int device, const QString &number) override;
    void dropCall(HCALL call, LONG request) override;
    void forgetCall(HCALL call) override;
    bool waveFormatSupported(int device, const WAVEFORMATEX &format, DWORD fdwOpen,
                             bool input) const override;
    void waveOpened(DWORD handle, int device, const WAVEFORMATEX &format, bool input) override;
    void waveClosed(DWORD handle, bool input) override;
    void playBuffer(HWAVEOUT handle, const char *data, DWORD bytes) override;
    void stopPlaying(HWAVEOUT handle) override;
    void startCapture(HWAVEIN handle) override;
    void fillBuffer(HWAVEIN handle, char *data, DWORD bytes) override;
    DWORD cutBuffer(HWAVEIN handle) override;
    void retire() override;

    TapiProvider(const Environment &env, ProviderConfig config, QString key);

private:
    struct Call {
        int device = 0;
        quint64 epoch = 0; // bumped when the call's course is cut short
        std::shared_ptr<CallRecord> record;
    };
    struct WaveOut {
        int device = 0;
        WAVEFORMATEX format{};
        quint64 epoch = 0;
        qint64 headStartMs = -1;
        const char *head = nullptr;
        DWORD headBytes = 0;
        QIODevice *monitor = nullptr;
        QAudioSink *sink = nullptr;
    };
    struct WaveIn {
        int device = 0;
        quint64 epoch = 0;
        qint64 startSample = 0; // on the 8 kHz time line of the clock
        qint64 captured = 0;
        char *head = nullptr;
        DWORD headBytes = 0;
    };

    void logCall(const QString &entry)
    {
        m_log << entry;
        if (m_log.size() > kKeptLogEntries)
            m_log.removeFirst();
    }
    void after(qint64 ms, std::function<void()> fn);
    void setCallState(HCALL h, DWORD state, DWORD mode);
    void scheduleCallCourse(HCALL h);
    void endCall(Call &call);
    qint64 nowSample() const;
    void lineAudio(int device, qint64 absSample, qint16 *out, int count) const;
    void captureInto(WaveIn &w, int samples);
    void hearFarEnd(const std::shared_ptr<CallRecord> &rec, int device);
    void openMonitor(QIODevice *&device, QAudioSink *&sink, const WAVEFORMATEX &format);
    void closeMonitor(QIODevice *&device, QAudioSink *&sink);

    Clock *m_clock;
    ProviderConfig m_config;
    QString m_key;
    QStringList m_log;
    int m_openLines = 0;
    std::map<HCALL, Call> m_liveCalls;
    std::map<HWAVEOUT, WaveOut> m_waveOuts;
    std::map<HWAVEIN, WaveIn> m_waveIns;
    std::vector<std::shared_ptr<CallRecord>> m_calls;         // the recent calls placed, oldest first
    std::vector<std::shared_ptr<CallRecord>> m_lastConnected; // per line device
    bool m_released = false;
};
