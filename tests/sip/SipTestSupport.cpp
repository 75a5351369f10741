#include "tests/sip/SipTestSupport.h"

#include "tests/support/RiffBytes.h"

#include "platform/sip/SipAccounts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtEndian>
#include <cmath>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif
#include <cstring>

bool SipPeer::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty();
}

quint16 SipPeer::freePort(bool tcpToo)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        QUdpSocket udp;
        if (!udp.bind(QHostAddress::LocalHost, 0))
            continue;
        const quint16 port = udp.localPort();
        if (tcpToo) {
            QTcpServer tcp;
            if (!tcp.listen(QHostAddress::LocalHost, port))
                continue;
        }
        if (port < 60000)
            return port;
    }
    return 0;
}

bool SipPeer::start(const QString &scenario, const QString &workDir, QStringList extra, int calls,
                    const QString &wave)
{
    QFile in(QDir::isAbsolutePath(scenario) ? scenario : QStringLiteral(BRENVOY_TEST_DATA "/") + scenario);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = in.readAll();
    text.replace("@WAVE@", wave.toUtf8());
    const QString file = workDir + QStringLiteral("/") + QFileInfo(scenario).fileName();
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        return false;
    out.close();
    m_port = freePort();
    const quint16 media = freePort();
    QStringList args{QStringLiteral("-sf"),
                     file,
                     QStringLiteral("-i"),
                     QStringLiteral("127.0.0.1"),
                     QStringLiteral("-p"),
                     QString::number(m_port),
                     QStringLiteral("-mi"),
                     QStringLiteral("127.0.0.1"),
                     QStringLiteral("-mp"),
                     QString::number(media),
                     QStringLiteral("-m"),
                     QString::number(calls),
                     QStringLiteral("-nostdin"),
                     QStringLiteral("-timeout"),
                     QStringLiteral("60s"),
                     QStringLiteral("-timeout_error"),
                     QStringLiteral("-trace_err"),
                     QStringLiteral("-error_file"),
                     workDir + QStringLiteral("/sipp-errors.log")};
    args << extra;
    m_process.setWorkingDirectory(workDir);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("sipp"), args);
    if (!m_process.waitForStarted(5000))
        return false;
    // SIPp listens once it has read the scenario: give it that moment.
    QUdpSocket probe;
    for (int i = 0; i < 100; ++i) {
        if (!probe.bind(QHostAddress::LocalHost, m_port))
            return true; // the port is taken: SIPp is there
        probe.close();
        m_process.waitForFinished(20);
        if (m_process.state() != QProcess::Running)
            return false;
    }
    return false;
}

bool SipPeer::waitFinished(int ms)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
}

QString SipPeer::output()
{
    return QString::fromLocal8Bit(m_process.readAll());
}

SipPeer::~SipPeer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void writeAccount(const Environment &env, quint16 port, const QString &registrar)
{
    SipAccount a;
    a.displayName = QStringLiteral("Sales desk");
    a.user = QStringLiteral("brenvoy");
    a.domain = QStringLiteral("127.0.0.1:%1").arg(port);
    a.registrar = registrar;
    QString error;
    if (!SipAccounts::save(env, {a}, &error))
        qFatal("accounts file: %s", qPrintable(error));
}

// ---- Phone ----------------------------------------------------------------

Phone::Phone(Clock &clock, const Environment &env) : m_clock(clock)
{
    DWORD count = 0;
    if (lineInitialize(&m_app, env, &Phone::callback, "sip-test", &count) != 0)
        return;
    for (DWORD i = 0; i < count; ++i) {
        DWORD version = 0;
        LINEEXTENSIONID ext{};
        if (lineNegotiateAPIVersion(m_app, i, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext))
            continue;
        std::vector<char> buf(4096);
        auto *caps = reinterpret_cast<LINEDEVCAPS *>(buf.data());
        caps->dwTotalSize = DWORD(buf.size());
        if (lineGetDevCaps(m_app, i, version, 0, caps))
            continue;
        const QString name = QString::fromLocal8Bit(buf.data() + caps->dwLineNameOffset);
        if (!name.startsWith(QLatin1String("SIP: ")))
            continue;
        m_name = name;
        m_device = i;
        if (lineOpen(m_app, i, &m_line, version, 0, DWORD_PTR(this), LINECALLPRIVILEGE_NONE,
                     LINEMEDIAMODE_AUTOMATEDVOICE, nullptr))
            m_line = 0;
        return;
    }
}

Phone::~Phone()
{
    closeWaves();
    if (m_app)
        lineShutdown(m_app);
}

void Phone::callback(DWORD hDevice, DWORD msg, DWORD_PTR inst, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR)
{
    auto *self = reinterpret_cast<Phone *>(inst);
    if (!self)
        return;
    if (msg == LINE_REPLY && LONG(p1) == self->m_pending) {
        self->m_replied = true;
        self->m_result = LONG(DWORD(p2));
    } else if (msg == LINE_CALLSTATE && hDevice == self->m_call) {
        self->states.push_back(DWORD(p1));
        if (p1 == LINECALLSTATE_CONNECTED && self->connectedAtMs < 0)
            self->connectedAtMs = self->m_clock.monotonicMs();
        if (p1 == LINECALLSTATE_RINGBACK && self->ringbackAtMs < 0)
            self->ringbackAtMs = self->m_clock.monotonicMs();
    } else if (msg == LINE_MONITORDIGITS) {
        self->digits.push_back(char(p1));
    }
}

LONG Phone::dial(const QString &number)
{
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwMediaMode = LINEMEDIAMODE_AUTOMATEDVOICE;
    params.dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
    params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    states.clear();
    digits.clear();
    connectedAtMs = ringbackAtMs = -1;
    m_replied = false;
    m_call = 0;
    const QByteArray n = number.toLocal8Bit();
    m_pending = lineMakeCall(m_line, &m_call, n.constData(), 0, &params);
    if (m_pending < 0)
        return m_pending;
    if (!m_clock.waitUntil([this] { return m_replied; }, 10000))
        return LINEERR_OPERATIONFAILED;
    if (m_result == 0)
        lineMonitorDigits(m_call, LINEDIGITMODE_DTMF);
    return m_result;
}

bool Phone::waitState(DWORD state, int ms)
{
    return m_clock.waitUntil(
        [this, state] { return std::find(states.begin(), states.end(), state) != states.end(); }, ms);
}

void Phone::drop()
{
    if (!m_call)
        return;
    LINECALLSTATUS st{};
    st.dwTotalSize = sizeof st;
    if (lineGetCallStatus(m_call, &st) == 0 && st.dwCallState != LINECALLSTATE_IDLE) {
        m_replied = false;
        m_pending = lineDrop(m_call, nullptr, 0);
        m_clock.waitUntil([this] { return m_replied; }, 5000);
        waitIdle();
    }
    lineDeallocateCall(m_call);
    m_call = 0;
}

bool Phone::waitIdle(int ms)
{
    return waitState(LINECALLSTATE_IDLE, ms);
}

bool Phone::event(QEvent *e)
{
    if (e->type() != WaveNotifyEvent::eventType())
        return QObject::event(e);
    auto *w = static_cast<WaveNotifyEvent *>(e);
    if (w->message == MM_WOM_DONE)
        --m_playQueued;
    if (w->message == MM_WIM_DATA && w->header) {
        m_recorded.append(w->header->lpData, qsizetype(w->header->dwBytesRecorded));
        if (m_recording)
            waveInAddBuffer(m_in, w->header, sizeof(WAVEHDR));
    }
    return true;
}

namespace {
UINT waveIdOf(HLINE line, const char *cls)
{
    std::vector<char> buf(sizeof(VARSTRING) + 16);
    auto *v = reinterpret_cast<VARSTRING *>(buf.data());
    v->dwTotalSize = DWORD(buf.size());
    if (lineGetID(line, 0, 0, LINECALLSELECT_LINE, v, cls))
        return UINT(-1);
    UINT id = 0;
    std::memcpy(&id, buf.data() + v->dwStringOffset, sizeof id);
    return id;
}
const WAVEFORMATEX kPhoneFormat{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
} // namespace

bool Phone::play(const QByteArray &samples, int bufferBytes)
{
    if (!m_out && waveOutOpen(&m_out, waveIdOf(m_line, "wave/out"), &kPhoneFormat, this, 0, CALLBACK_WINDOW))
        return false;
    for (qsizetype at = 0; at < samples.size(); at += bufferBytes) {
        m_outData.push_back(samples.mid(at, bufferBytes));
        auto hdr = std::make_unique<WAVEHDR>();
        *hdr = {};
        hdr->lpData = m_outData.back().data();
        hdr->dwBufferLength = DWORD(m_outData.back().size());
        waveOutPrepareHeader(m_out, hdr.get(), sizeof(WAVEHDR));
        if (waveOutWrite(m_out, hdr.get(), sizeof(WAVEHDR)))
            return false;
        ++m_playQueued;
        m_outHeaders.push_back(std::move(hdr));
    }
    return true;
}

bool Phone::record(int bufferBytes)
{
    if (!m_in && waveInOpen(&m_in, waveIdOf(m_line, "wave/in"), &kPhoneFormat, this, 0, CALLBACK_WINDOW))
        return false;
    m_recorded.clear();
    for (int i = 0; i < 4; ++i) {
        m_inData.emplace_back(bufferBytes, '\0');
        auto hdr = std::make_unique<WAVEHDR>();
        *hdr = {};
        hdr->lpData = m_inData.back().data();
        hdr->dwBufferLength = DWORD(bufferBytes);
        waveInPrepareHeader(m_in, hdr.get(), sizeof(WAVEHDR));
        waveInAddBuffer(m_in, hdr.get(), sizeof(WAVEHDR));
        m_inHeaders.push_back(std::move(hdr));
    }
    m_recording = true;
    return waveInStart(m_in) == MMSYSERR_NOERROR;
}

QByteArray Phone::stopRecording()
{
    m_recording = false;
    if (m_in) {
        waveInReset(m_in);
        QCoreApplication::sendPostedEvents(this);
    }
    return m_recorded;
}

void Phone::closeWaves()
{
    if (m_out) {
        waveOutReset(m_out);
        QCoreApplication::sendPostedEvents(this);
        waveOutClose(m_out);
        m_out = 0;
    }
    if (m_in) {
        m_recording = false;
        waveInReset(m_in);
        QCoreApplication::sendPostedEvents(this);
        waveInClose(m_in);
        m_in = 0;
    }
    QCoreApplication::sendPostedEvents(this);
    m_outHeaders.clear();
    m_inHeaders.clear();
    m_outData.clear();
    m_inData.clear();
    m_playQueued = 0;
}

QByteArray Phone::synthMessage(int samples)
{
    // A voice-like sound: a few harmonics under a syllable-rate envelope.
    QByteArray out(samples * 2, '\0');
    auto *s = reinterpret_cast<qint16 *>(out.data());
    for (int i = 0; i < samples; ++i) {
        const double t = i / 8000.0;
        const double env = 0.55 + 0.45 * std::sin(2 * M_PI * 3.1 * t);
        const double v = 0.5 * std::sin(2 * M_PI * 220 * t) + 0.3 * std::sin(2 * M_PI * 470 * t + 1) +
                         0.2 * std::sin(2 * M_PI * 1130 * t * (1 + 0.1 * std::sin(2 * M_PI * 0.7 * t)));
        s[i] = qint16(std::lround(12000 * env * v));
    }
    return out;
}

double Phone::correlation(const QByteArray &a, const QByteArray &b, int maxShift, int *shiftOut)
{
    const auto *x = reinterpret_cast<const qint16 *>(a.constData());
    const auto *y = reinterpret_cast<const qint16 *>(b.constData());
    const qsizetype nx = a.size() / 2, ny = b.size() / 2;
    double best = 0;
    for (int shift = 0; shift <= maxShift && shift < ny; ++shift) {
        const qsizetype n = std::min(nx, ny - shift);
        if (n < nx * 9 / 10)
            break; // the whole message must be there
        double sxy = 0, sxx = 0, syy = 0;
        for (qsizetype i = 0; i < n; ++i) {
            sxy += double(x[i]) * y[i + shift];
            sxx += double(x[i]) * x[i];
            syy += double(y[i + shift]) * y[i + shift];
        }
        const double c = (sxx > 0 && syy > 0) ? sxy / std::sqrt(sxx * syy) : 0;
        if (c > best) {
            best = c;
            if (shiftOut)
                *shiftOut = shift;
        }
    }
    return best;
}

void writeWave(const QString &path, int formatTag, const QByteArray &data)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) ||
        f.write(waveFileBytes(formatTag, 8000, 1, formatTag == 1 ? 16 : 8, data)) < 0)
        qFatal("cannot write %s", qPrintable(path));
}

int openFileCount()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

qint64 residentKiB()
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer holds freed memory back for a while: count live heap.
    return qint64(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLongLong() * 4 : -1;
#endif
}
