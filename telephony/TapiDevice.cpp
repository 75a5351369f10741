#include "telephony/TapiDevice.h"

#include "platform/environment/Environment.h"
#include "platform/mmio/Mmio.h"
#include "platform/sip/SipLines.h"
#include "telephony/TDeviceSelectionForm.h"
#include "telephony/TSipAccountsForm.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qint64 kPlayEnd = -1;
constexpr int kRecordRate = 8000;
constexpr int kRecordBytesPerSample = 2;

// Devices alive in this process: TAPI's callback instance is checked
// against it before it is trusted.
QSet<TCustomTapiDevice *> &liveDevices()
{
    static QSet<TCustomTapiDevice *> devices;
    return devices;
}

QString lineName(const LINEDEVCAPS *caps)
{
    if (!caps->dwLineNameSize || caps->dwLineNameOffset + caps->dwLineNameSize > caps->dwTotalSize)
        return QString();
    const char *p = reinterpret_cast<const char *>(caps) + caps->dwLineNameOffset;
    DWORD n = caps->dwLineNameSize;
    if (n && p[n - 1] == '\0')
        --n; // without its closing NUL
    return QString::fromLocal8Bit(p, qsizetype(n));
}

WAVEFORMATEX recordFormat()
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = kRecordRate;
    f.wBitsPerSample = 16;
    f.nAvgBytesPerSec = kRecordRate * kRecordBytesPerSample;
    f.nBlockAlign = WORD(f.nChannels * f.wBitsPerSample / 8);
    f.cbSize = 0;
    return f;
}

} // namespace

struct TCustomTapiDevice::RecordChunks {
    MMCKINFO riff{};
    MMCKINFO data{};
};

// The device's hidden window: the wave devices notify it, and the device
// posts its deferred notifications (connected, failed, port) through it.
class TapiDeviceWindow final : public QObject {
public:
    explicit TapiDeviceWindow(TCustomTapiDevice *device) : m_device(device) {}

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == WaveNotifyEvent::eventType()) {
            auto *w = static_cast<WaveNotifyEvent *>(e);
            m_device->guarded([&] { m_device->waveNotify(w->message, w->handle, w->header); });
            return true;
        }
        return QObject::event(e);
    }

private:
    TCustomTapiDevice *m_device;
};

// ---- creation and TAPI initialisation --------------------------------------

TCustomTapiDevice::TCustomTapiDevice(Environment &env, Dialogs &dialogs, QObject *parent)
    : QObject(parent), m_env(env), m_dialogs(dialogs), m_window(new TapiDeviceWindow(this))
{
    liveDevices().insert(this);
    initialise();
}

TCustomTapiDevice::~TCustomTapiDevice()
{
    // Close the line and every wave device without waiting: nothing may
    // call back into a device being destroyed.
    stopCountdown();
    if (m_waveOut) {
        m_playPos = kPlayEnd;
        waveOutReset(m_waveOut);
        closeWaveOut();
    }
    closeWaveIn();
    if (m_mmio) {
        if (m_waveMode == 2 && m_chunks) {
            mmioAscend(static_cast<HMMIO>(m_mmio), &m_chunks->data, 0);
            mmioAscend(static_cast<HMMIO>(m_mmio), &m_chunks->riff, 0);
        }
        mmioClose(static_cast<HMMIO>(m_mmio), 0);
        m_mmio = nullptr;
    }
    delete m_chunks;
    if (m_call) {
        lineDrop(m_call, nullptr, 0);
        lineDeallocateCall(m_call);
    }
    if (m_line)
        lineClose(m_line);
    if (m_app) {
        lineShutdown(m_app);
        recordOwnHandle(false);
    }
    liveDevices().remove(this);
    delete m_window;
}

void TCustomTapiDevice::initialise()
{
    SipLines::ensureRegistered();
    forgetDeadHandles();
    QFileInfo exe(QCoreApplication::applicationFilePath());
    const QByteArray appName = QFile::encodeName(exe.absolutePath() + "/" + exe.completeBaseName());
    DWORD count = 0;
    LONG r = lineInitialize(&m_app, m_env, &lineCallback, appName.constData(), &count);
    if (r == LINEERR_REINIT) {
        // TAPI asks to be restarted: give it five seconds, then once more.
        m_env.clock().waitUntil([] { return false; }, 5000);
        r = lineInitialize(&m_app, m_env, &lineCallback, appName.constData(), &count);
    }
    if (r != 0) {
        // Creation must not fail: the error is kept and raised by every
        // operation that needs TAPI.
        m_app = 0;
        m_initCode = r;
        m_initError = ETapiLineError(r, QStringLiteral("lineInitialize")).text();
        return;
    }
    recordOwnHandle(true);
    for (const LineInfo &line : readLines(m_app)) {
        bool keep = true;
        if (m_filterUnsupported)
            keep = (line.mediaModes & LINEMEDIAMODE_DATAMODEM) ||
                   ((line.mediaModes & LINEMEDIAMODE_AUTOMATEDVOICE) && waveIdAvailable(m_app, line.id));
        if (keep && (line.lineFeatures & LINEFEATURE_MAKECALL))
            m_deviceList << line.name;
    }
}

// The per-user record of TAPI application handles: "pid=handle" lines.
// Handles of processes that no longer run are shut down before we start.
namespace {
QString handleRecordPath(const Environment &env)
{
    return env.stateFolderFor(QStringLiteral("telephony")) + QStringLiteral("/tapi-handles");
}

std::vector<std::pair<qint64, HLINEAPP>> readHandleRecord(const QString &path)
{
    std::vector<std::pair<qint64, HLINEAPP>> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split('=');
        bool okPid = false, okHandle = false;
        if (parts.size() != 2)
            continue;
        const qint64 pid = parts[0].toLongLong(&okPid);
        const HLINEAPP h = parts[1].toUInt(&okHandle);
        if (okPid && okHandle)
            out.emplace_back(pid, h);
    }
    return out;
}

void writeHandleRecord(const QString &path, const std::vector<std::pair<qint64, HLINEAPP>> &entries)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (const auto &[pid, h] : entries)
        f.write(QByteArray::number(pid) + '=' + QByteArray::number(h) + '\n');
    f.commit();
}

bool processRuns(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}
} // namespace

void TCustomTapiDevice::forgetDeadHandles()
{
    const QString path = handleRecordPath(m_env);
    auto entries = readHandleRecord(path);
    std::vector<std::pair<qint64, HLINEAPP>> kept;
    for (const auto &[pid, h] : entries) {
        if (processRuns(pid))
            kept.emplace_back(pid, h);
        else
            lineShutdown(h); // a handle its process never shut down
    }
    if (kept.size() != entries.size())
        writeHandleRecord(path, kept);
}

void TCustomTapiDevice::recordOwnHandle(bool add)
{
    const QString path = handleRecordPath(m_env);
    const qint64 pid = qint64(::getpid());
    auto entries = readHandleRecord(path);
    std::vector<std::pair<qint64, HLINEAPP>> kept;
    for (const auto &e : entries)
        if (!(e.first == pid && (add || e.second == m_app)))
            kept.push_back(e);
    if (add)
        kept.emplace_back(pid, m_app);
    writeHandleRecord(path, kept);
}

std::vector<TCustomTapiDevice::LineInfo> TCustomTapiDevice::readLines(HLINEAPP app) const
{
    std::vector<LineInfo> out;
    for (DWORD id = 0;; ++id) {
        DWORD version = 0;
        LINEEXTENSIONID ext{};
        const LONG r = lineNegotiateAPIVersion(app, id, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext);
        if (r == LINEERR_BADDEVICEID || r == LINEERR_INVALAPPHANDLE)
            break;
        if (r != 0)
            continue;
        std::vector<char> buffer(1024);
        auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
        caps->dwTotalSize = DWORD(buffer.size());
        if (lineGetDevCaps(app, id, version, 0, caps) != 0)
            continue;
        if (caps->dwNeededSize > caps->dwTotalSize) {
            buffer.assign(caps->dwNeededSize, 0);
            caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
            caps->dwTotalSize = DWORD(buffer.size());
            if (lineGetDevCaps(app, id, version, 0, caps) != 0)
                continue;
        }
        out.push_back({id, lineName(caps), caps->dwMediaModes, caps->dwLineFeatures});
    }
    return out;
}

// Whether the line has a wave device: TAPI tells only through an open line.
bool TCustomTapiDevice::waveIdAvailable(HLINEAPP app, DWORD id) const
{
    HLINE line = 0;
    if (lineOpen(app, id, &line, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr) != 0)
        return false;
    bool found = false;
    for (const char *cls : {"wave/in", "wave/out"}) {
        std::vector<char> buffer(sizeof(VARSTRING) + 16);
        auto *vs = reinterpret_cast<VARSTRING *>(buffer.data());
        vs->dwTotalSize = DWORD(buffer.size());
        if (lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, cls) == 0 && vs->dwStringSize >= sizeof(DWORD))
            found = true;
    }
    lineClose(line);
    return found;
}

// ---- properties and device resolution -------------------------------------

void TCustomTapiDevice::setStatusDisplay(TAbstractTapiStatus *display)
{
    m_statusDisplay = display;
    if (display)
        display->setTapiDevice(this);
}

void TCustomTapiDevice::setSelectedDevice(const QString &name)
{
    m_selectedDevice = name;
    if (m_enableVoice)
        voiceCheck();
}

void TCustomTapiDevice::setEnableVoice(bool enable)
{
    m_enableVoice = enable;
    if (enable && !m_selectedDevice.isEmpty())
        voiceCheck();
}

QStringList TCustomTapiDevice::filteredDevices(bool forSelection) const
{
    if (!forSelection || !m_app)
        return m_deviceList;
    QStringList out;
    for (const LineInfo &line : readLines(m_app)) {
        bool keep = true;
        if (m_filterUnsupported)
            keep = (line.mediaModes & LINEMEDIAMODE_DATAMODEM) ||
                   ((line.mediaModes & LINEMEDIAMODE_AUTOMATEDVOICE) && waveIdAvailable(m_app, line.id)) ||
                   !m_enableVoice;
        if (keep && (line.lineFeatures & LINEFEATURE_MAKECALL))
            out << line.name;
    }
    return out;
}

DWORD TCustomTapiDevice::resolveDevice(HLINEAPP app)
{
    if (!app)
        throw ETapiLineError(m_initCode ? m_initCode : LINEERR_UNINITIALIZED,
                             QStringLiteral("lineInitialize"));
    for (;;) {
        for (const LineInfo &line : readLines(app))
            if (line.name == m_selectedDevice)
                return line.id;
        if (m_deviceList.size() == 1 && m_selectedDevice.isEmpty()) {
            m_selectedDevice = m_deviceList.first();
            continue;
        }
        if (!m_showPorts && !m_showTapiDevices)
            throw ETapiNoSelect();
        if (!m_selectionDialogAllowed)
            throw ETapiNoSelect();
        const QStringList entries = filteredDevices(true);
        const auto chosen = execDeviceSelection(entries, int(entries.indexOf(m_selectedDevice)));
        if (!chosen || !entries.contains(*chosen))
            throw ETapiNoSelect();
        m_selectedDevice = *chosen;
    }
}

std::optional<QString> TCustomTapiDevice::execDeviceSelection(const QStringList &entries, int preselected)
{
    TDeviceSelectionForm form(QApplication::activeWindow());
    form.setEntries(entries, preselected);
    // SIP accounts are lines of their own: they are set up from here, and
    // the list shows them at once.
    form.setAccountsWindow(
        [this, &form] {
            TSipAccountsForm accounts(m_env, &form);
            accounts.exec();
        },
        [this, entries] {
            QStringList fresh = filteredDevices(true);
            for (const QString &e : entries)
                if (e.contains(QLatin1String("Direct to COM")))
                    fresh << e;
            return fresh;
        });
    if (form.exec() != QDialog::Accepted || form.selectedEntry().isEmpty())
        return std::nullopt;
    return form.selectedEntry();
}

void TCustomTapiDevice::voiceCheck()
{
    HLINEAPP app = 0;
    try {
        DWORD count = 0;
        const LONG r = lineInitialize(&app, m_env, &lineCallback, "Brenvoy voice check", &count);
        if (r != 0) {
            app = 0;
            throw ETapiLineError(r, QStringLiteral("lineInitialize"));
        }
        const DWORD id = resolveDevice(app);
        DWORD version = 0;
        LINEEXTENSIONID ext{};
        if (lineNegotiateAPIVersion(app, id, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &version, &ext) != 0) {
            lineShutdown(app); // a line that cannot speak 1.4 changes nothing
            return;
        }
        std::vector<char> buffer(1024);
        auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
        caps->dwTotalSize = DWORD(buffer.size());
        const LONG c = lineGetDevCaps(app, id, version, 0, caps);
        if (c != 0)
            throw ETapiLineError(c, QStringLiteral("lineGetDevCaps"));
        if (!(caps->dwMediaModes & LINEMEDIAMODE_AUTOMATEDVOICE))
            throw ETapiVoiceNotSupported();
        m_enableVoice = true;
        lineShutdown(app);
    } catch (const std::exception &) {
        if (app)
            lineShutdown(app);
        m_enableVoice = false;
        throw ETapiVoiceNotSupported();
    }
}

// "Direct to COM" ports: the serial ports this machine has (COMn is ttyS(n-1)).
QStringList TCustomTapiDevice::existingComPorts()
{
    QStringList out;
    for (int n = 1; n <= 50; ++n)
        if (QFileInfo::exists(QStringLiteral("/sys/class/tty/ttyS%1/device").arg(n - 1)))
            out << QStringLiteral("Direct to COM%1").arg(n);
    return out;
}

int TCustomTapiDevice::ChooseDevice()
{
    QStringList entries;
    if (m_showTapiDevices)
        entries << filteredDevices(true);
    if (m_showPorts && (!m_filterUnsupported || !m_enableVoice))
        entries << existingComPorts();
    int preselected = -1;
    if (m_comPort && m_comPort->TapiMode() == tmOff)
        preselected = int(entries.indexOf(QStringLiteral("Direct to COM%1").arg(m_comPort->ComNumber())));
    else
        preselected = int(entries.indexOf(m_selectedDevice));
    const auto chosen = execDeviceSelection(entries, preselected < 0 ? 0 : preselected);
    if (!chosen)
        return 2;
    if (chosen->contains(QLatin1String("Direct to COM"))) {
        if (m_comPort) {
            m_comPort->setTapiMode(tmOff);
            m_comPort->setComNumber(chosen->mid(13).trimmed().toInt());
        }
        return 1;
    }
    if (m_comPort)
        m_comPort->setTapiMode(tmAuto);
    m_selectedDevice = *chosen;
    setEnableVoice(m_enableVoice);
    return 1;
}

// ---- call state -------------------------------------------------------------

quint8 TCustomTapiDevice::CallState()
{
    if (!m_call)
        return 0;
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    if (lineGetCallStatus(m_call, &status) != 0)
        return 0;
    static const DWORD states[] = {
        LINECALLSTATE_IDLE,           LINECALLSTATE_OFFERING,
        LINECALLSTATE_ACCEPTED,       LINECALLSTATE_DIALTONE,
        LINECALLSTATE_DIALING,        LINECALLSTATE_RINGBACK,
        LINECALLSTATE_BUSY,           LINECALLSTATE_SPECIALINFO,
        LINECALLSTATE_CONNECTED,      LINECALLSTATE_PROCEEDING,
        LINECALLSTATE_ONHOLD,         LINECALLSTATE_CONFERENCED,
        LINECALLSTATE_ONHOLDPENDCONF, LINECALLSTATE_ONHOLDPENDTRANSFER,
        LINECALLSTATE_DISCONNECTED,
    };
    for (quint8 i = 0; i < 15; ++i)
        if (status.dwCallState == states[i])
            return i;
    return 15;
}

void TCustomTapiDevice::notifyStatus(bool First, bool Last, DWORD Device, DWORD Message, DWORD Param1,
                                     DWORD Param2, DWORD Param3)
{
    // The display first, so a handler that drops the call hides it last.
    if (m_statusDisplay)
        m_statusDisplay->doStatus(First, Last, Device, Message, Param1, Param2, Param3);
    if ((Message || Param1 || Param2 || Param3) && OnTapiStatus)
        OnTapiStatus(this, First, Last, Device, Message, Param1, Param2, Param3);
}

void TCustomTapiDevice::postDeferred(const std::function<void()> &fn)
{
    QMetaObject::invokeMethod(
        m_window, [this, fn] { guarded(fn); }, Qt::QueuedConnection);
}

void TCustomTapiDevice::guarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const std::exception &e) {
        m_dialogs.showError(QString::fromUtf8(e.what()));
    }
}

// ---- dialing ----------------------------------------------------------------

void TCustomTapiDevice::DialNumber(const QString &number)
{
    if (!m_comPort)
        throw EPortNotAssigned();
    if (m_comPort->TapiMode() == tmAuto)
        m_comPort->setTapiMode(tmOn);
    if (m_comPort->TapiMode() == tmOn) {
        if (CallState() != 0)
            throw ETapiBusy();
    } else {
        throw ETapiNotSet();
    }
    // A new dial replaces a pending redial.
    stopCountdown();
    m_attempt = 1;
    m_redialArmed = true;
    m_number = number;
    if (m_statusDisplay)
        m_statusDisplay->setAnswering(false);
    if (m_lineOpen)
        return;
    placeCall();
}

void TCustomTapiDevice::openLine()
{
    m_deviceId = resolveDevice(m_app);
    LINEEXTENSIONID ext{};
    LONG r =
        lineNegotiateAPIVersion(m_app, m_deviceId, TAPI_VERSION_1_4, TAPI_VERSION_1_4, &m_apiVersion, &ext);
    if (r != 0)
        throw ETapiLineError(r, QStringLiteral("lineNegotiateAPIVersion"));
    {
        std::vector<char> buffer(1024);
        auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
        caps->dwTotalSize = DWORD(buffer.size());
        m_lineMediaModes =
            lineGetDevCaps(m_app, m_deviceId, m_apiVersion, 0, caps) == 0 ? caps->dwMediaModes : 0;
    }
    const DWORD media = m_enableVoice ? LINEMEDIAMODE_AUTOMATEDVOICE : LINEMEDIAMODE_DATAMODEM;
    r = lineOpen(m_app, m_deviceId, &m_line, m_apiVersion, 0, DWORD_PTR(this), LINECALLPRIVILEGE_NONE, media,
                 nullptr);
    if (r != 0) {
        m_line = 0;
        throw ETapiLineError(r, QStringLiteral("lineOpen"));
    }
    m_lineOpen = true;
    m_connected = false;
    m_cancelled = false;
    m_busy = false;
    m_disconnectMode = 0;
    m_dialError = 0;
    m_lastCallState = 0;
    r = lineSetStatusMessages(m_line, LINEDEVSTATE_ALL, LINEADDRESSSTATE_ALL);
    if (r != 0) {
        m_redialArmed = false;
        closeLine();
        throw ETapiLineError(r, QStringLiteral("lineSetStatusMessages"));
    }
}

void TCustomTapiDevice::placeCall()
{
    openLine();
    LINECALLPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwBearerMode = LINEBEARERMODE_VOICE;
    params.dwMediaMode = m_enableVoice ? LINEMEDIAMODE_AUTOMATEDVOICE : LINEMEDIAMODE_DATAMODEM;
    params.dwCallParamFlags = LINECALLPARAMFLAGS_IDLE;
    params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    params.dwAddressID = 0;
    const QByteArray number = m_number.toLocal8Bit();
    const HLINE line = m_line;
    const LONG request = lineMakeCall(m_line, &m_call, number.constData(), 0, &params);
    LONG result = request;
    if (request > 0) {
        if (!waitForReply(request)) {
            if (!m_lineOpen || m_line != line || m_cancelled)
                return;                       // dropped while we waited
            result = LINEERR_OPERATIONFAILED; // no reply within the limit
        } else {
            result = *m_replyResult;
        }
    }
    if (result != 0) {
        m_dialError = result;
        m_redialArmed = false;
        closeLine();
        if (!OnTapiFail)
            throw ETapiCallUnavail();
    }
}

bool TCustomTapiDevice::waitForReply(LONG request)
{
    if (m_inReplyWait)
        return false; // one reply wait at a time; the outer one goes on
    m_inReplyWait = true;
    m_awaitedRequest = request;
    m_replyResult.reset();
    const HLINE line = m_line;
    const bool got = m_env.clock().waitUntil(
        [&] { return m_replyResult.has_value() || !m_lineOpen || m_line != line; }, kWaitLimitMs);
    m_inReplyWait = false;
    m_awaitedRequest = 0;
    return got && m_replyResult.has_value();
}

bool TCustomTapiDevice::waitForIdle()
{
    if (m_inIdleWait)
        return false;
    m_inIdleWait = true;
    const bool idle = m_env.clock().waitUntil(
        [&] { return !m_call || m_lastCallState == LINECALLSTATE_IDLE || CallState() == 0; }, kWaitLimitMs);
    m_inIdleWait = false;
    return idle;
}

void TCustomTapiDevice::closeLine()
{
    if (m_closing || (!m_lineOpen && !m_call))
        return; // a close further up the stack finishes the job
    m_closing = true;
    if (m_call) {
        const HCALL call = m_call;
        if (CallState() != 0) {
            const LONG request = lineDrop(call, nullptr, 0);
            if (request > 0)
                waitForReply(request);
            waitForIdle();
        }
        if (m_call == call)
            lineDeallocateCall(call); // never retried
        m_call = 0;
    }
    if (m_line)
        lineClose(m_line);
    m_line = 0;
    m_call = 0;
    m_lineOpen = false;
    if (m_portAttached) {
        m_portAttached = false;
        if (m_comPort)
            m_comPort->setTapiLine(0);
        postDeferred([this] {
            if (OnTapiPortClose)
                OnTapiPortClose(this);
        });
    }
    m_closing = false;
    if (m_redialArmed && m_attempt < m_maxAttempts) {
        startCountdown();
        return;
    }
    reportCallOver();
}

void TCustomTapiDevice::reportCallOver()
{
    notifyStatus(false, true, 0, 0, 0, 0, 0);
    if (!m_connected)
        postDeferred([this] {
            if (OnTapiFail)
                OnTapiFail(this);
        });
}

void TCustomTapiDevice::startCountdown()
{
    m_countdown = m_retryWait;
    const quint64 epoch = ++m_countdownEpoch;
    notifyStatus(false, false, 0, kRedialWaitMessage, kRedialWaitParam, DWORD(m_countdown), 0);
    m_env.clock().singleShot(1000, m_window, [this, epoch] { countdownTick(epoch); });
}

void TCustomTapiDevice::countdownTick(quint64 epoch)
{
    if (epoch != m_countdownEpoch || m_countdown <= 0)
        return;
    --m_countdown;
    if (m_countdown > 0) {
        notifyStatus(false, false, 0, kRedialWaitMessage, kRedialWaitParam, DWORD(m_countdown), 0);
        m_env.clock().singleShot(1000, m_window, [this, epoch] { countdownTick(epoch); });
        return;
    }
    ++m_attempt;
    guarded([this] { placeCall(); });
}

void TCustomTapiDevice::stopCountdown()
{
    ++m_countdownEpoch;
    m_countdown = 0;
}

void TCustomTapiDevice::DropCall()
{
    if (m_waveMode == 1)
        StopWave();
    m_cancelled = true;
    m_redialArmed = false;
    if (m_countdown > 0) {
        // Cancelled while waiting to redial: the line is already closed.
        stopCountdown();
        reportCallOver();
        return;
    }
    closeLine();
}

// ---- TAPI messages ------------------------------------------------------------

void TCustomTapiDevice::lineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance,
                                     DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3)
{
    auto *device = reinterpret_cast<TCustomTapiDevice *>(dwCallbackInstance);
    if (device && liveDevices().contains(device)) {
        device->dispatch(hDevice, dwMessage, DWORD(dwParam1), DWORD(dwParam2), DWORD(dwParam3));
        return;
    }
    // Replies to requests on a line that has gone: whoever waits for it.
    if (dwMessage == LINE_REPLY)
        for (TCustomTapiDevice *d : liveDevices())
            if (d->m_awaitedRequest && d->m_awaitedRequest == LONG(dwParam1))
                d->dispatch(hDevice, dwMessage, DWORD(dwParam1), DWORD(dwParam2), DWORD(dwParam3));
}

void TCustomTapiDevice::dispatch(DWORD hDevice, DWORD message, DWORD p1, DWORD p2, DWORD p3)
{
    // Errors raised while handling a message go to the general error display.
    guarded([&] {
        switch (message) {
        case LINE_CALLINFO:
            DoLineCallInfo(hDevice, p1, p2, p3);
            break;
        case LINE_CALLSTATE:
            DoLineCallState(hDevice, p1, p2, p3);
            break;
        case LINE_CLOSE:
            DoLineClose(hDevice, p1, p2, p3);
            break;
        case LINE_CREATE:
            DoLineCreate(hDevice, p1, p2, p3);
            break;
        case LINE_LINEDEVSTATE:
            DoLineDevState(hDevice, p1, p2, p3);
            break;
        case LINE_GENERATE:
            DoLineGenerate(hDevice, p1, p2, p3);
            break;
        case LINE_MONITORDIGITS:
            DoLineMonitorDigits(hDevice, p1, p2, p3);
            break;
        case LINE_MONITORMEDIA:
            DoLineMonitorMedia(hDevice, p1, p2, p3);
            break;
        case LINE_MONITORTONE:
            DoLineMonitorTone(hDevice, p1, p2, p3);
            break;
        case LINE_REPLY:
            DoLineReply(hDevice, p1, p2, p3);
            break;
        case LINE_REQUEST:
            DoLineRequest(hDevice, p1, p2, p3);
            break;
        default:
            break;
        }
    });
}

void TCustomTapiDevice::DoLineCallInfo(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3)
{
    notifyStatus(false, false, Device, LINE_CALLINFO, Param1, Param2, Param3);
}

void TCustomTapiDevice::DoLineCallState(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3)
{
    if (!m_call || Device != m_call)
        return; // a call we no longer hold
    m_lastCallState = Param1;
    switch (Param1) {
    case LINECALLSTATE_IDLE:
    case LINECALLSTATE_SPECIALINFO:
        notifyStatus(false, false, Device, LINE_CALLSTATE, Param1, Param2, Param3);
        closeLine();
        break;
    case LINECALLSTATE_DIALTONE:
        notifyStatus(true, false, Device, LINE_CALLSTATE, Param1, Param2, Param3);
        break;
    case LINECALLSTATE_BUSY:
        m_busy = true;
        notifyStatus(false, false, Device, LINE_CALLSTATE, Param1, Param2, Param3);
        closeLine();
        break;
    case LINECALLSTATE_CONNECTED:
        if (m_connected)
            break;
        m_connected = true;
        stopCountdown();
        m_redialArmed = false;
        if (m_enableVoice) {
            if (lineMonitorDigits(m_call, LINEDIGITMODE_DTMF) != 0 && !OnTapiDTMF)
                throw ETapiVoiceNotSupported();
        } else if (m_comPort) {
            m_comPort->setTapiLine(m_line);
            m_portAttached = true;
            postDeferred([this] {
                if (OnTapiPortOpen)
                    OnTapiPortOpen(this);
            });
        }
        notifyStatus(false, true, Device, LINE_CALLSTATE, Param1, Param2, Param3);
        postDeferred([this] {
            if (OnTapiConnect)
                OnTapiConnect(this);
        });
        break;
    case LINECALLSTATE_DISCONNECTED:
        m_disconnectMode = Param2;
        notifyStatus(false, false, Device, LINE_CALLSTATE, Param1, Param2, Param3);
        if (Param2 == LINEDISCONNECTMODE_BUSY)
            m_busy = true;
        closeLine();
        break;
    case LINECALLSTATE_OFFERING:
        break; // incoming calls are not taken
    default:
        notifyStatus(false, false, Device, LINE_CALLSTATE, Param1, Param2, Param3);
        break;
    }
}

void TCustomTapiDevice::DoLineClose(DWORD, DWORD, DWORD, DWORD)
{
    // TAPI closed the line itself: its handles are gone already, the
    // bookkeeping of closing is ours.
    if (!m_lineOpen)
        return;
    m_line = 0;
    m_call = 0;
    closeLine();
}

void TCustomTapiDevice::DoLineCreate(DWORD, DWORD, DWORD, DWORD) {}

void TCustomTapiDevice::DoLineDevState(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3)
{
    notifyStatus(false, false, Device, LINE_LINEDEVSTATE, Param1, Param2, Param3);
}

void TCustomTapiDevice::DoLineGenerate(DWORD, DWORD, DWORD, DWORD) {}

void TCustomTapiDevice::DoLineMonitorDigits(DWORD Device, DWORD Param1, DWORD Param2, DWORD)
{
    if (Device != m_call)
        return;
    if (m_interruptWave && m_waveMode == 1)
        StopWave();
    if (OnTapiDTMF)
        OnTapiDTMF(this, char(Param1 & 0xFF), Param2);
}

void TCustomTapiDevice::DoLineMonitorMedia(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3)
{
    notifyStatus(false, false, Device, LINE_MONITORMEDIA, Param1, Param2, Param3);
}

void TCustomTapiDevice::DoLineMonitorTone(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3)
{
    notifyStatus(false, false, Device, LINE_MONITORTONE, Param1, Param2, Param3);
}

void TCustomTapiDevice::DoLineReply(DWORD, DWORD Param1, DWORD Param2, DWORD)
{
    if (m_awaitedRequest && LONG(Param1) == m_awaitedRequest)
        m_replyResult = LONG(Param2);
}

void TCustomTapiDevice::DoLineRequest(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3)
{
    notifyStatus(false, false, Device, LINE_REQUEST, Param1, Param2, Param3);
}

// ---- wave playing -------------------------------------------------------------

QString TCustomTapiDevice::waveOutErrorText(MMRESULT r) const
{
    char text[MAXERRORLENGTH] = {};
    waveOutGetErrorText(r, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

QString TCustomTapiDevice::waveInErrorText(MMRESULT r) const
{
    char text[MAXERRORLENGTH] = {};
    waveInGetErrorText(r, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

UINT TCustomTapiDevice::lineWaveId(const char *deviceClass)
{
    std::vector<char> buffer(sizeof(VARSTRING) + 16);
    auto *vs = reinterpret_cast<VARSTRING *>(buffer.data());
    vs->dwTotalSize = DWORD(buffer.size());
    const LONG r = m_call ? lineGetID(0, 0, m_call, LINECALLSELECT_CALL, vs, deviceClass)
                          : lineGetID(m_line, 0, 0, LINECALLSELECT_LINE, vs, deviceClass);
    if (r != 0 || vs->dwStringFormat != STRINGFORMAT_BINARY || vs->dwStringSize < sizeof(DWORD))
        throw ETapiWaveFail(QStringLiteral("TAPI wave file error"));
    DWORD id = 0;
    std::memcpy(&id, buffer.data() + vs->dwStringOffset, sizeof id);
    return id;
}

void TCustomTapiDevice::raiseWave(TWaveMessage msg)
{
    if (OnTapiWaveNotify)
        OnTapiWaveNotify(this, msg);
}

void TCustomTapiDevice::PlayWave(const QString &fileName)
{
    if (m_waveMode == 2)
        throw ETapiWaveFail(QStringLiteral("Wave device in use"));
    if (m_waveMode == 1) {
        if (!m_interruptWave)
            return;
        StopWave();
        if (!m_env.clock().waitUntil([this] { return m_waveOut == 0 && m_closingWaveOut == 0; },
                                     kWaitLimitMs))
            throw ETapiWaveFail(QStringLiteral("Wave device in use"));
        if (m_waveMode != 0)
            throw ETapiWaveFail(QStringLiteral("Wave device in use")); // something else started meanwhile
    }
    if (!QFileInfo(fileName).isFile())
        throw ETapiWaveFail(QStringLiteral("File not found"));
    if (!(m_lineMediaModes & LINEMEDIAMODE_AUTOMATEDVOICE) && m_lineOpen)
        throw ETapiVoiceNotSupported();
    if (!m_call)
        throw ETapiWaveFail(QStringLiteral("TAPI wave file error"));
    const UINT deviceId = lineWaveId("wave/out");

    const QByteArray name = QFile::encodeName(fileName);
    MMIOINFO info{};
    HMMIO h = mmioOpen(name.constData(), &info, MMIO_READ | MMIO_ALLOCBUF);
    if (!h)
        throw ETapiWaveFail(QStringLiteral("Unable to read wave file data"));
    auto fail = [&](const QString &text) {
        mmioClose(h, 0);
        throw ETapiWaveFail(text);
    };
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR)
        fail(QStringLiteral("Unable to read wave file data"));
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || fmt.cksize < 16)
        fail(QStringLiteral("Unable to read wave file data"));
    // As many bytes as the chunk holds, but never more than the file has
    // after the chunk's start: a damaged size must not ask for gigabytes.
    const std::int32_t fileEnd = mmioSeek(h, 0, SEEK_END);
    if (fileEnd < 0 || std::int64_t(fmt.cksize) > std::int64_t(fileEnd) - fmt.dwDataOffset ||
        mmioSeek(h, std::int32_t(fmt.dwDataOffset), SEEK_SET) == -1)
        fail(QStringLiteral("Unable to read wave file data"));
    std::vector<char> formatBytes(std::max<size_t>(fmt.cksize, sizeof(WAVEFORMATEX)), 0);
    if (mmioRead(h, formatBytes.data(), std::int32_t(fmt.cksize)) != std::int32_t(fmt.cksize))
        fail(QStringLiteral("Unable to read wave file data"));
    WAVEFORMATEX format{};
    std::memcpy(&format, formatBytes.data(), sizeof format);
    if (fmt.cksize < sizeof(WAVEFORMATEX))
        format.cbSize = 0;
    // The telephone-quality check accepts extensible PCM files, so the line
    // plays them as the plain PCM they hold.
    if (fmt.cksize >= sizeof(WAVEFORMATEX)) {
        WAVEFORMATEX plain{};
        if (plainPcmOfExtensible(
                format, reinterpret_cast<const unsigned char *>(formatBytes.data()) + sizeof(WAVEFORMATEX),
                fmt.cksize - std::uint32_t(sizeof(WAVEFORMATEX)), plain))
            format = plain;
    }

    // Three seconds of the recording format, whatever the file's own.
    const size_t bufferSize = size_t(kRecordBytesPerSample) * kRecordRate * 3;

    MMRESULT r = waveOutOpen(nullptr, deviceId, &format, nullptr, 0, WAVE_FORMAT_QUERY | WAVE_MAPPED);
    if (r != MMSYSERR_NOERROR)
        fail(waveOutErrorText(r));
    mmioAscend(h, &fmt, 0);
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(h, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        fail(QStringLiteral("Unable to read wave file data"));
    m_dataSize = data.cksize;
    m_playPos = 0;

    r = waveOutOpen(&m_waveOut, deviceId, &format, m_window, 0, CALLBACK_WINDOW | WAVE_MAPPED);
    if (r == MMSYSERR_NOTENABLED) {
        m_waveOut = 0;
        mmioClose(h, 0);
        return; // the line carries no sound now: nothing to play into
    }
    if (r != MMSYSERR_NOERROR) {
        m_waveOut = 0;
        fail(waveOutErrorText(r));
    }
    m_mmio = h;
    for (int i = 0; i < 2; ++i) {
        m_playBuffers[i].assign(bufferSize, 0);
        m_playHeaders[i] = WAVEHDR{};
    }
    try {
        readPlayBuffer(0);
        m_playHeaders[0].dwBufferLength = m_playHeaders[0].dwBytesRecorded;
        if (m_playPos != kPlayEnd || m_playHeaders[0].dwBufferLength > 0) {
            waveOutPrepareHeader(m_waveOut, &m_playHeaders[0], sizeof(WAVEHDR));
            r = waveOutWrite(m_waveOut, &m_playHeaders[0], sizeof(WAVEHDR));
            if (r != MMSYSERR_NOERROR)
                throw ETapiWaveFail(waveOutErrorText(r));
            readPlayBuffer(1);
        }
        m_waveMode = 1;
        // An empty data chunk has nothing to play: it ends as a returned
        // empty buffer would, through the queue, after the device's open.
        if (m_playHeaders[0].dwBufferLength == 0)
            QCoreApplication::postEvent(m_window, new WaveNotifyEvent(MM_WOM_DONE, m_waveOut, nullptr));
    } catch (...) {
        m_playPos = kPlayEnd;
        waveOutReset(m_waveOut);
        finishPlayback();
        throw;
    }
}

// Reads the next part of the data chunk into buffer index; at the end the
// position becomes the end marker. The bytes read are in dwBytesRecorded.
bool TCustomTapiDevice::readPlayBuffer(int index)
{
    WAVEHDR &h = m_playHeaders[index];
    h.lpData = m_playBuffers[index].data();
    h.dwBytesRecorded = 0;
    if (m_playPos == kPlayEnd)
        return false;
    const qint64 want = std::min<qint64>(qint64(m_playBuffers[index].size()), m_dataSize - m_playPos);
    if (want <= 0) {
        m_playPos = kPlayEnd;
        return false;
    }
    const std::int32_t got = mmioRead(static_cast<HMMIO>(m_mmio), h.lpData, std::int32_t(want));
    if (got < 0)
        throw ETapiWaveFail(QStringLiteral("Unable to read wave file data"));
    if (got == 0) {
        m_playPos = kPlayEnd;
        return false;
    }
    m_playPos += got;
    h.dwBytesRecorded = DWORD(got);
    m_playLastRead = index;
    return true;
}

void TCustomTapiDevice::closeWaveOut()
{
    if (!m_waveOut)
        return;
    for (WAVEHDR &h : m_playHeaders)
        if (h.dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(m_waveOut, &h, sizeof h);
    if (waveOutClose(m_waveOut) == MMSYSERR_NOERROR)
        m_closingWaveOut = m_waveOut;
    m_waveOut = 0;
}

void TCustomTapiDevice::finishPlayback()
{
    closeWaveOut();
    if (m_mmio) {
        mmioClose(static_cast<HMMIO>(m_mmio), 0);
        m_mmio = nullptr;
    }
    m_waveMode = 0;
    for (auto &b : m_playBuffers)
        std::vector<char>().swap(b);
    for (WAVEHDR &h : m_playHeaders)
        h = WAVEHDR{};
    raiseWave(waPlayDone);
}

void TCustomTapiDevice::StopWave()
{
    if (!m_waveOut)
        return;
    m_playPos = kPlayEnd;
    waveOutReset(m_waveOut);
}

// ---- recording ----------------------------------------------------------------

void TCustomTapiDevice::StartRecording()
{
    // The wave check comes before opening a line, so a refused recording
    // leaves no line open.
    if (m_waveMode == 1 || m_waveMode == 2)
        throw ETapiWaveFail(QStringLiteral("Wave device in use"));
    const bool openedHere = CallState() == 0 && !m_lineOpen;
    if (openedHere)
        openLine();
    // A line without voice has no wave device to record from.
    if (m_lineOpen && !(m_lineMediaModes & LINEMEDIAMODE_AUTOMATEDVOICE)) {
        if (openedHere)
            closeLine();
        throw ETapiVoiceNotSupported();
    }
    const UINT deviceId = lineWaveId("wave/in");
    const WAVEFORMATEX format = recordFormat();
    MMRESULT r = waveInOpen(&m_waveIn, deviceId, &format, m_window, 0, CALLBACK_WINDOW | WAVE_MAPPED);
    if (r != MMSYSERR_NOERROR) {
        m_waveIn = 0;
        throw ETapiWaveFail(waveInErrorText(r));
    }
    auto closeDevice = [this] {
        waveInClose(m_waveIn);
        m_waveIn = 0;
    };
    const size_t bufferSize = size_t(kRecordBytesPerSample) * kRecordRate;
    for (int i = 0; i < 2; ++i) {
        m_recordBuffers[i].assign(bufferSize, 0);
        m_recordHeaders[i] = WAVEHDR{};
        m_recordHeaders[i].lpData = m_recordBuffers[i].data();
        m_recordHeaders[i].dwBufferLength = DWORD(bufferSize);
        m_recordHeaders[i].dwUser = DWORD_PTR(i);
    }

    QTemporaryFile temp(QDir::tempPath() + QStringLiteral("/~APXXXXXX.tmp"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        closeDevice();
        throw ETapiWaveFail(QStringLiteral("TAPI wave file error"));
    }
    const QString tempName = temp.fileName();
    temp.close();
    const QByteArray name = QFile::encodeName(tempName);
    MMIOINFO info{};
    HMMIO h = mmioOpen(name.constData(), &info, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
    if (!h) {
        QFile::remove(tempName);
        closeDevice();
        throw ETapiWaveFail(QStringLiteral("TAPI wave file error"));
    }
    auto chunks = new RecordChunks;
    chunks->riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    fmt.cksize = sizeof(WAVEFORMATEX);
    chunks->data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    const bool written =
        mmioCreateChunk(h, &chunks->riff, MMIO_CREATERIFF) == MMSYSERR_NOERROR &&
        mmioCreateChunk(h, &fmt, 0) == MMSYSERR_NOERROR &&
        mmioWrite(h, reinterpret_cast<const char *>(&format), sizeof format) == std::int32_t(sizeof format) &&
        mmioAscend(h, &fmt, 0) == MMSYSERR_NOERROR &&
        mmioCreateChunk(h, &chunks->data, 0) == MMSYSERR_NOERROR;
    if (!written) {
        delete chunks;
        mmioClose(h, 0);
        QFile::remove(tempName);
        closeDevice();
        throw ETapiWaveFail(QStringLiteral("MMIO Write Error"));
    }
    // A finished recording that was never saved stays in its own file.
    m_recordFile = tempName;
    m_mmio = h;
    delete m_chunks;
    m_chunks = chunks;
    m_recordedBytes = 0;
    m_silentSeconds = 0;
    m_recordEnding = false;

    waveInPrepareHeader(m_waveIn, &m_recordHeaders[0], sizeof(WAVEHDR));
    waveInPrepareHeader(m_waveIn, &m_recordHeaders[1], sizeof(WAVEHDR));
    r = waveInAddBuffer(m_waveIn, &m_recordHeaders[0], sizeof(WAVEHDR));
    if (r == MMSYSERR_NOERROR)
        r = waveInStart(m_waveIn);
    m_waveMode = 2;
    if (r != MMSYSERR_NOERROR) {
        const QString text = waveInErrorText(r);
        waveInReset(m_waveIn);
        finishRecording();
        throw ETapiWaveFail(text);
    }
}

void TCustomTapiDevice::EndRecording()
{
    if (m_waveMode != 2 || !m_waveIn)
        return;
    // Whatever comes back next ends the recording, even a buffer that
    // happens to be nearly full.
    m_recordEnding = true;
    waveInStop(m_waveIn);
    waveInReset(m_waveIn);
}

void TCustomTapiDevice::freeRecordBuffers()
{
    for (auto &b : m_recordBuffers)
        std::vector<char>().swap(b);
    for (WAVEHDR &h : m_recordHeaders)
        h = WAVEHDR{};
}

void TCustomTapiDevice::closeWaveIn()
{
    if (!m_waveIn)
        return;
    waveInReset(m_waveIn);
    for (WAVEHDR &h : m_recordHeaders)
        if (h.dwFlags & WHDR_PREPARED)
            waveInUnprepareHeader(m_waveIn, &h, sizeof h);
    waveInClose(m_waveIn);
    m_waveIn = 0;
}

void TCustomTapiDevice::finishRecording()
{
    closeWaveIn();
    bool closed = true;
    if (m_mmio) {
        auto h = static_cast<HMMIO>(m_mmio);
        closed = mmioAscend(h, &m_chunks->data, 0) == MMSYSERR_NOERROR &&
                 mmioAscend(h, &m_chunks->riff, 0) == MMSYSERR_NOERROR;
        closed = mmioClose(h, 0) == MMSYSERR_NOERROR && closed;
        m_mmio = nullptr;
    }
    delete m_chunks;
    m_chunks = nullptr;
    freeRecordBuffers();
    m_waveMode = 3;
    m_recordEnding = false;
    raiseWave(waDataReady);
    if (!closed)
        throw ETapiWaveFail(QStringLiteral("MMIO Write Error"));
}

void TCustomTapiDevice::silenceCheck(const WAVEHDR &header)
{
    const int samples = int(header.dwBytesRecorded / 2);
    if (samples == 0)
        return;
    const auto *s = reinterpret_cast<const qint16 *>(header.lpData);
    qint64 sum = 0;
    for (int i = 0; i < samples; ++i)
        sum += std::abs(int(s[i]));
    const qint64 mean = sum / samples;
    if (mean < m_silenceLevel)
        ++m_silentSeconds;
    else
        m_silentSeconds = 0;
    if (m_silentSeconds == m_silenceCount - 1) {
        bool stopRecording = true, hangup = true;
        if (OnTapiWaveSilence)
            OnTapiWaveSilence(this, stopRecording, hangup);
        if (stopRecording)
            EndRecording();
        if (hangup)
            DropCall();
    }
}

void TCustomTapiDevice::waveNotify(UINT message, DWORD handle, WAVEHDR *header)
{
    switch (message) {
    case MM_WOM_OPEN:
        raiseWave(waPlayOpen);
        break;
    case MM_WOM_CLOSE:
        // A late close of a replaced device must not end the new playback.
        if (handle == m_closingWaveOut)
            m_closingWaveOut = 0;
        if (!m_waveOut && m_waveMode == 1)
            m_waveMode = 0;
        raiseWave(waPlayClose);
        break;
    case MM_WOM_DONE: {
        if (handle != m_waveOut || !m_waveOut)
            break;
        if (m_playPos == kPlayEnd) {
            finishPlayback();
            break;
        }
        // Queue the buffer read last, then read ahead into the one just played.
        const int next = m_playLastRead;
        WAVEHDR &queued = m_playHeaders[next];
        queued.dwBufferLength = queued.dwBytesRecorded;
        if (!(queued.dwFlags & WHDR_PREPARED))
            waveOutPrepareHeader(m_waveOut, &queued, sizeof(WAVEHDR));
        const MMRESULT r = waveOutWrite(m_waveOut, &queued, sizeof(WAVEHDR));
        if (r != MMSYSERR_NOERROR) {
            m_playPos = kPlayEnd;
            finishPlayback();
            throw ETapiWaveFail(waveOutErrorText(r));
        }
        const int other = 1 - next;
        try {
            readPlayBuffer(other);
        } catch (...) {
            StopWave(); // the queued buffer comes back and playback ends
            throw;
        }
        break;
    }
    case MM_WIM_OPEN:
        raiseWave(waRecordOpen);
        break;
    case MM_WIM_CLOSE:
        raiseWave(waRecordClose);
        break;
    case MM_WIM_DATA: {
        if (handle != m_waveIn || !m_waveIn || m_waveMode != 2 || !header)
            break;
        const DWORD bytes = header->dwBytesRecorded;
        if (bytes > 0 && mmioWrite(static_cast<HMMIO>(m_mmio), header->lpData, std::int32_t(bytes)) !=
                             std::int32_t(bytes)) {
            finishRecording();
            throw ETapiWaveFail(QStringLiteral("MMIO Write Error"));
        }
        m_recordedBytes += bytes;
        const qint64 limit = qint64(kRecordRate) * kRecordBytesPerSample * m_maxRecordSeconds;
        if (m_recordedBytes >= limit || bytes < header->dwBufferLength - 7 || m_recordEnding) {
            finishRecording();
            break;
        }
        WAVEHDR &other = m_recordHeaders[1 - int(header->dwUser)];
        other.dwBytesRecorded = 0;
        const MMRESULT r = waveInAddBuffer(m_waveIn, &other, sizeof(WAVEHDR));
        if (r != MMSYSERR_NOERROR) {
            finishRecording();
            throw ETapiWaveFail(waveInErrorText(r));
        }
        if (m_silenceCount > 0)
            silenceCheck(*header);
        break;
    }
    default:
        break;
    }
}

void TCustomTapiDevice::SaveRecording(const QString &fileName, bool overwrite)
{
    if (m_waveMode == 2)
        throw ETapiWaveFail(QStringLiteral("Wave device in use"));
    if (m_waveMode != 3)
        throw ETapiWaveFail(QStringLiteral("No wave data available"));
    if (!overwrite && QFileInfo::exists(fileName))
        throw ETapiWaveFail(QStringLiteral("Wave file already exists"));
    // Written beside the target and renamed over it, so a failed save
    // leaves both the old file and the recording as they were.
    QFile source(m_recordFile);
    if (!source.open(QIODevice::ReadOnly))
        throw ETapiWaveFail(QStringLiteral("Unable to read the recording \"%1\": %2")
                                .arg(m_recordFile, source.errorString()));
    QSaveFile target(fileName);
    target.setDirectWriteFallback(false);
    bool ok = target.open(QIODevice::WriteOnly);
    while (ok && !source.atEnd()) {
        const QByteArray block = source.read(1 << 16);
        ok = !block.isEmpty() && target.write(block) == block.size();
    }
    if (ok)
        ok = target.commit();
    if (!ok) {
        const QString why = target.errorString().isEmpty() ? source.errorString() : target.errorString();
        target.cancelWriting();
        throw ETapiWaveFail(
            QStringLiteral("Unable to save the recording as \"%1\": %2. The recording is kept.")
                .arg(fileName, why));
    }
    source.close();
    QFile::remove(m_recordFile);
    m_recordFile.clear();
    m_waveMode = 0;
}
