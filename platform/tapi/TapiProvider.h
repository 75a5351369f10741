#pragma once

// Our own telephony service provider behind the line and wave functions: it
// simulates the voice modems of the provider file and the far end of each
// call, on the clock of the Environment the application initialised TAPI
// with. One provider serves each state folder for as long as an
// application has TAPI initialised there or a wave device of its lines is
// open. Everything runs on the user-interface thread.

#include "platform/tapi/FarEnd.h"
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

class TapiProvider final : public QObject {
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
    int openLineCount() const { return int(m_lines.size()); }

    struct Impl; // handle lookups shared by the line and wave functions

    ~TapiProvider() override;

protected:
    bool event(QEvent *e) override;

private:
    friend struct Impl;
    // The line and wave functions are the provider's interface.
    friend LONG lineInitialize(HLINEAPP *, const Environment &, LINECALLBACK, const char *, DWORD *);
    friend LONG lineShutdown(HLINEAPP);
    friend LONG lineNegotiateAPIVersion(HLINEAPP, DWORD, DWORD, DWORD, DWORD *, LINEEXTENSIONID *);
    friend LONG lineGetDevCaps(HLINEAPP, DWORD, DWORD, DWORD, LINEDEVCAPS *);
    friend LONG lineGetID(HLINE, DWORD, HCALL, DWORD, VARSTRING *, const char *);
    friend LONG lineOpen(HLINEAPP, DWORD, HLINE *, DWORD, DWORD, DWORD_PTR, DWORD, DWORD,
                         const LINECALLPARAMS *);
    friend LONG lineSetStatusMessages(HLINE, DWORD, DWORD);
    friend LONG lineMakeCall(HLINE, HCALL *, const char *, DWORD, const LINECALLPARAMS *);
    friend LONG lineDrop(HCALL, const char *, DWORD);
    friend LONG lineDeallocateCall(HCALL);
    friend LONG lineClose(HLINE);
    friend LONG lineGetCallStatus(HCALL, LINECALLSTATUS *);
    friend LONG lineMonitorDigits(HCALL, DWORD);
    // Opening, header handling and closing of the wave devices go through Impl.
    friend MMRESULT waveOutWrite(HWAVEOUT, WAVEHDR *, UINT);
    friend MMRESULT waveOutReset(HWAVEOUT);
    friend MMRESULT waveInAddBuffer(HWAVEIN, WAVEHDR *, UINT);
    friend MMRESULT waveInStart(HWAVEIN);
    friend MMRESULT waveInStop(HWAVEIN);
    friend MMRESULT waveInReset(HWAVEIN);

    TapiProvider(const Environment &env, ProviderConfig config, QString key);

    struct App {
        LINECALLBACK callback = nullptr;
        QString name;
    };
    struct Line {
        HLINEAPP app = 0;
        int device = 0;
        DWORD_PTR instance = 0;
        DWORD privileges = 0;
        DWORD mediaModes = 0;
        DWORD apiVersion = 0;
    };
    struct Call {
        HLINE line = 0;
        HLINEAPP app = 0;
        int device = 0;
        quint64 epoch = 0; // bumped when the call's course is cut short
        bool monitorDigits = false;
        bool privilegeSent = false;
        std::shared_ptr<CallRecord> record;
    };
    struct WaveDevice {
        int device = 0;
        WAVEFORMATEX format{};
        QPointer<QObject> target;
        std::deque<WAVEHDR *> queue;
        quint64 epoch = 0;
    };
    struct WaveOut : WaveDevice {
        qint64 headStartMs = -1;
        QIODevice *monitor = nullptr;
        QAudioSink *sink = nullptr;
    };
    struct WaveIn : WaveDevice {
        bool started = false;
        qint64 startSample = 0; // on the 8 kHz time line of the clock
        qint64 captured = 0;
    };

    void logCall(const QString &entry)
    {
        m_log << entry;
        if (m_log.size() > kKeptLogEntries)
            m_log.removeFirst();
    }
    void post(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
              DWORD_PTR p3);
    void after(qint64 ms, std::function<void()> fn);
    void setCallState(HCALL h, DWORD state, DWORD mode);
    void scheduleCallCourse(HCALL h);
    void endCall(Call &call);
    void removeLine(HLINE h);
    qint64 nowSample() const;
    void lineAudio(int device, qint64 absSample, qint16 *out, int count) const;
    void startWaveOutHead(HWAVEOUT h);
    void scheduleWaveInHead(HWAVEIN h);
    void returnWaveInHead(HWAVEIN h, int samples);
    void releaseIfUnused();
    void hearFarEnd(const std::shared_ptr<CallRecord> &rec, int device);
    void openMonitor(QIODevice *&device, QAudioSink *&sink, const WAVEFORMATEX &format);
    void closeMonitor(QIODevice *&device, QAudioSink *&sink);

    Clock *m_clock;
    ProviderConfig m_config;
    QString m_key;
    QStringList m_log;
    std::vector<UINT> m_waveInIds, m_waveOutIds; // per line device; 0 without wave devices
    std::map<HLINEAPP, App> m_apps;
    std::map<HLINE, Line> m_lines;
    std::map<HCALL, Call> m_liveCalls;
    std::map<HWAVEOUT, WaveOut> m_waveOuts;
    std::map<HWAVEIN, WaveIn> m_waveIns;
    std::vector<std::shared_ptr<CallRecord>> m_calls;         // the recent calls placed, oldest first
    std::vector<std::shared_ptr<CallRecord>> m_lastConnected; // per line device
    bool m_released = false;
};
