#pragma once

// A SIP account against a real far end on loopback: SIPp (Debian's
// sip-tester) started on a free port with one of our scenario files, and a
// telephone on the account driven through the line and wave functions.

#include "platform/environment/Clock.h"
#include "platform/environment/Environment.h"
#include "platform/sip/SipLines.h"
#include "platform/tapi/Tapi.h"
#include "platform/tapi/Wave.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector>
#include <memory>
#include <vector>

// The far end: one SIPp run answering calls on 127.0.0.1.
class SipPeer {
public:
    static bool available();
    static quint16 freePort(bool tcpToo = false);

    // scenario is a file of tests/sip/data (or an absolute path); "@WAVE@"
    // in it becomes wave.
    bool start(const QString &scenario, const QString &workDir, QStringList extra = {}, int calls = 1,
               const QString &wave = {});
    bool waitFinished(int ms = 20000);
    int exitCode() const { return m_process.exitCode(); }
    QString output();
    quint16 port() const { return m_port; }
    ~SipPeer();

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// A call on the first SIP line, with its line messages and wave buffers.
class Phone : public QObject {
public:
    Phone(Clock &clock, const Environment &env);
    ~Phone() override;

    bool ok() const { return m_line != 0; }
    QString lineName() const { return m_name; }
    // Places the call and waits for the reply; the reply's result.
    LONG dial(const QString &number);
    bool waitState(DWORD state, int ms = 10000);
    bool waitIdle(int ms = 5000);
    void drop();
    std::vector<DWORD> states;
    std::vector<char> digits;
    qint64 connectedAtMs = -1;
    qint64 ringbackAtMs = -1;

    // Plays 8 kHz 16-bit mono samples down the call in buffers of
    // bufferBytes; the time each buffer was handed over, and when all were done.
    bool play(const QByteArray &samples, int bufferBytes = 3200);
    bool playing() const { return m_playQueued > 0; }
    // Records into buffers of bufferBytes until stopped.
    bool record(int bufferBytes = 1600);
    QByteArray stopRecording();
    QByteArray recorded() const { return m_recorded; }
    void closeWaves();

    static QByteArray synthMessage(int samples);
    // Best normalised correlation of a within b over shifts up to maxShift.
    static double correlation(const QByteArray &a, const QByteArray &b, int maxShift, int *shift = nullptr);

protected:
    bool event(QEvent *e) override;

private:
    static void callback(DWORD hDevice, DWORD msg, DWORD_PTR inst, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3);
    Clock &m_clock;
    HLINEAPP m_app = 0;
    HLINE m_line = 0;
    HCALL m_call = 0;
    DWORD m_device = 0;
    QString m_name;
    LONG m_pending = 0;
    bool m_replied = false;
    LONG m_result = 0;
    HWAVEOUT m_out = 0;
    HWAVEIN m_in = 0;
    std::vector<std::unique_ptr<WAVEHDR>> m_outHeaders, m_inHeaders;
    std::vector<QByteArray> m_outData, m_inData;
    int m_playQueued = 0;
    bool m_recording = false;
    QByteArray m_recorded;
};

// A RIFF WAVE file: 16-bit PCM (tag 1) or G.711 mu-law bytes (tag 7), mono 8 kHz.
void writeWave(const QString &path, int formatTag, const QByteArray &data);
// The process' open file descriptors and resident memory (live heap under
// the address sanitizer), for leak checks.
int openFileCount();
qint64 residentKiB();

// Writes the accounts file of env with one account at 127.0.0.1:port.
void writeAccount(const Environment &env, quint16 port, const QString &registrar = {});
