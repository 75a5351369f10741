#include "platform/tapi/TapiProvider.h"

#include "platform/environment/Environment.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDir>
#include <QMediaDevices>
#include <cstring>

// The process' telephony service: which provider serves which state folder,
// and which provider owns each handle. Handles and wave device identifiers
// are unique in the process and never reused.
namespace {

struct Registry {
    std::map<QString, TapiProvider *> providers;
    std::map<DWORD, TapiProvider *> apps, lines, calls, waveOuts, waveIns;
    std::map<UINT, std::pair<TapiProvider *, int>> waveInDevices, waveOutDevices;
    DWORD nextHandle = 0x10001;
    UINT nextWaveInId = 0, nextWaveOutId = 0;
    LONG nextRequest = 1;
};

Registry &reg()
{
    static Registry r;
    return r;
}

DWORD newHandle()
{
    return reg().nextHandle++;
}

LONG newRequest()
{
    LONG id = reg().nextRequest++;
    if (reg().nextRequest <= 0)
        reg().nextRequest = 1;
    return id;
}

template <class Map> TapiProvider *owner(const Map &map, DWORD h)
{
    auto it = map.find(h);
    return it == map.end() ? nullptr : it->second;
}

class LineMessageEvent final : public QEvent {
public:
    static QEvent::Type eventType()
    {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    LineMessageEvent(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1,
                     DWORD_PTR p2, DWORD_PTR p3)
        : QEvent(eventType()), app(app), device(device), message(message), instance(instance), p1(p1), p2(p2),
          p3(p3)
    {
    }
    HLINEAPP app;
    DWORD device, message;
    DWORD_PTR instance, p1, p2, p3;
};

constexpr DWORD kMinApiVersion = 0x00010003;
constexpr DWORD kMaxApiVersion = 0x00020000;
constexpr qint64 kRingPeriodMs = 6000;

qint64 playMs(qint64 bytes, const WAVEFORMATEX &f)
{
    const qint64 rate = f.nAvgBytesPerSec ? f.nAvgBytesPerSec : 16000;
    return (bytes * 1000 + rate - 1) / rate;
}

bool mappedFormatSupported(const WAVEFORMATEX &f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 4000 &&
           f.nSamplesPerSec <= 48000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

bool telephoneFormat(const WAVEFORMATEX &f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.wBitsPerSample == 16 &&
           f.nSamplesPerSec == 8000 && f.nBlockAlign == 2 && f.nAvgBytesPerSec == 16000;
}

// Writes a string into the variable part of a TAPI structure, if it fits.
bool putString(void *base, DWORD &used, DWORD &needed, DWORD total, const QByteArray &bytes, DWORD &size,
               DWORD &offset)
{
    const DWORD len = DWORD(bytes.size()) + 1;
    needed += len;
    if (used + len > total) {
        size = offset = 0;
        return false;
    }
    std::memcpy(static_cast<char *>(base) + used, bytes.constData(), size_t(bytes.size()));
    static_cast<char *>(base)[used + len - 1] = '\0';
    size = len;
    offset = used;
    used += len;
    return true;
}

} // namespace

QEvent::Type WaveNotifyEvent::eventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QString TapiProvider::providerFilePath(const Environment &env)
{
    return env.stateFolderFor(QStringLiteral("tapi")) + QStringLiteral("/provider.ini");
}

TapiProvider *TapiProvider::find(const Environment &env)
{
    auto it = reg().providers.find(QDir::cleanPath(env.stateFolder()));
    return it == reg().providers.end() ? nullptr : it->second;
}

TapiProvider::TapiProvider(const Environment &env, ProviderConfig config, QString key)
    : m_clock(&env.clock()), m_config(std::move(config)), m_key(std::move(key))
{
    for (int i = 0; i < m_config.lines.size(); ++i) {
        if (m_config.lines[i].waveDevices) {
            const UINT in = reg().nextWaveInId++, out = reg().nextWaveOutId++;
            reg().waveInDevices[in] = {this, i};
            reg().waveOutDevices[out] = {this, i};
            m_waveInIds.push_back(in + 1);
            m_waveOutIds.push_back(out + 1);
        } else {
            m_waveInIds.push_back(0);
            m_waveOutIds.push_back(0);
        }
    }
    m_lastConnected.resize(size_t(m_config.lines.size()));
}

TapiProvider::~TapiProvider()
{
    Registry &r = reg();
    for (auto it = r.providers.begin(); it != r.providers.end();)
        it = it->second == this ? r.providers.erase(it) : std::next(it);
    for (auto *map : {&r.apps, &r.lines, &r.calls, &r.waveOuts, &r.waveIns})
        for (auto it = map->begin(); it != map->end();)
            it = it->second == this ? map->erase(it) : std::next(it);
    for (auto *map : {&r.waveInDevices, &r.waveOutDevices})
        for (auto it = map->begin(); it != map->end();)
            it = it->second.first == this ? map->erase(it) : std::next(it);
}

bool TapiProvider::event(QEvent *e)
{
    if (e->type() != LineMessageEvent::eventType())
        return QObject::event(e);
    auto *m = static_cast<LineMessageEvent *>(e);
    auto it = m_apps.find(m->app);
    if (it != m_apps.end() && it->second.callback)
        it->second.callback(m->device, m->message, m->instance, m->p1, m->p2, m->p3);
    return true;
}

void TapiProvider::post(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1,
                        DWORD_PTR p2, DWORD_PTR p3)
{
    QCoreApplication::postEvent(this, new LineMessageEvent(app, device, message, instance, p1, p2, p3));
}

void TapiProvider::after(qint64 ms, std::function<void()> fn)
{
    m_clock->singleShot(ms, this, [this, fn = std::move(fn)] {
        if (!m_released)
            fn();
    });
}

qint64 TapiProvider::nowSample() const
{
    return m_clock->monotonicMs() * (FarEnd::kRate / 1000);
}

// A provider nobody uses any more goes away; the next lineInitialize reads
// the provider file afresh.
void TapiProvider::releaseIfUnused()
{
    if (m_released || !m_apps.empty() || !m_waveOuts.empty() || !m_waveIns.empty())
        return;
    m_released = true;
    reg().providers.erase(m_key);
    deleteLater();
}

void TapiProvider::setCallState(HCALL h, DWORD state, DWORD mode)
{
    auto it = m_liveCalls.find(h);
    if (it == m_liveCalls.end())
        return;
    Call &call = it->second;
    CallRecord &rec = *call.record;
    if (rec.state == state && state != LINECALLSTATE_RINGBACK && state != LINECALLSTATE_PROCEEDING)
        return;
    rec.state = state;
    rec.stateMode = mode;
    const qint64 now = m_clock->monotonicMs();
    if (state == LINECALLSTATE_CONNECTED && rec.connectedAtMs < 0) {
        rec.connectedAtMs = now;
        m_lastConnected[size_t(call.device)] = call.record;
        hearFarEnd(call.record, call.device);
    }
    if ((state == LINECALLSTATE_DISCONNECTED || state == LINECALLSTATE_IDLE) && rec.connectedAtMs >= 0 &&
        rec.endedAtMs < 0)
        rec.endedAtMs = now;
    const DWORD privilege = call.privilegeSent ? 0 : LINECALLPRIVILEGE_OWNER;
    call.privilegeSent = true;
    auto line = m_lines.find(call.line);
    post(call.app, h, LINE_CALLSTATE, line == m_lines.end() ? 0 : line->second.instance, state, mode,
         privilege);
}

// The course of a call from the dial tone to the far end's answer or
// failure, and, once answered, its digits and remote hang-up.
void TapiProvider::scheduleCallCourse(HCALL h)
{
    Call &call = m_liveCalls.at(h);
    const quint64 epoch = call.epoch;
    const FarEndConfig far = call.record->far;
    auto step = [this, h, epoch](qint64 at, std::function<void(Call &)> fn) {
        after(at, [this, h, epoch, fn = std::move(fn)] {
            auto it = m_liveCalls.find(h);
            if (it != m_liveCalls.end() && it->second.epoch == epoch)
                fn(it->second);
        });
    };
    // The dial tone comes with the reply (see lineMakeCall), so the call
    // never shows a state of its own before it.
    const qint64 dialing = 500;
    const qint64 proceeding = dialing + 80 * qint64(call.record->number.size());
    step(dialing, [this, h](Call &) { setCallState(h, LINECALLSTATE_DIALING, 0); });
    step(proceeding, [this, h](Call &) { setCallState(h, LINECALLSTATE_PROCEEDING, 0); });
    switch (far.outcome) {
    case CallOutcome::Answer: {
        for (int i = 0; i < far.rings; ++i)
            step(proceeding + 1000 + i * kRingPeriodMs,
                 [this, h](Call &) { setCallState(h, LINECALLSTATE_RINGBACK, 0); });
        const qint64 answer =
            proceeding + 1000 + (far.rings > 0 ? (far.rings - 1) * kRingPeriodMs + 3000 : 0);
        step(answer, [this, h, step, far](Call &) {
            setCallState(h, LINECALLSTATE_CONNECTED, 0);
            for (const DtmfPress &d : far.dtmf)
                step(d.atMs, [this, h, d](Call &c) {
                    if (c.monitorDigits && c.record->state == LINECALLSTATE_CONNECTED) {
                        auto line = m_lines.find(c.line);
                        post(c.app, h, LINE_MONITORDIGITS, line == m_lines.end() ? 0 : line->second.instance,
                             DWORD_PTR(quint8(d.digit)), LINEDIGITMODE_DTMF,
                             DWORD_PTR(m_clock->monotonicMs()));
                    }
                });
            if (far.hangupSeconds > 0)
                step(qint64(far.hangupSeconds * 1000 + 0.5), [this, h](Call &c) {
                    if (c.record->state == LINECALLSTATE_CONNECTED)
                        setCallState(h, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
                });
        });
        break;
    }
    case CallOutcome::Busy:
        step(proceeding + 1500,
             [this, h](Call &) { setCallState(h, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION); });
        break;
    case CallOutcome::NoAnswer: {
        const qint64 giveUp = proceeding + qint64(far.noAnswerSeconds) * 1000;
        for (qint64 at = proceeding + 1000; at < giveUp; at += kRingPeriodMs)
            step(at, [this, h](Call &) { setCallState(h, LINECALLSTATE_RINGBACK, 0); });
        step(giveUp,
             [this, h](Call &) { setCallState(h, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER); });
        break;
    }
    case CallOutcome::BadAddress:
        step(proceeding + 800, [this, h](Call &) {
            setCallState(h, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BADADDRESS);
        });
        break;
    case CallOutcome::Unreachable:
        step(proceeding + 2000, [this, h](Call &) {
            setCallState(h, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNREACHABLE);
        });
        break;
    case CallOutcome::Fail:
        break; // refused in the reply to lineMakeCall
    }
}

void TapiProvider::endCall(Call &call)
{
    ++call.epoch;
    CallRecord &rec = *call.record;
    if (rec.connectedAtMs >= 0 && rec.endedAtMs < 0)
        rec.endedAtMs = m_clock->monotonicMs();
}

void TapiProvider::removeLine(HLINE h)
{
    for (auto it = m_liveCalls.begin(); it != m_liveCalls.end();) {
        if (it->second.line == h) {
            endCall(it->second);
            it->second.record->state = LINECALLSTATE_IDLE;
            it->second.record->deallocated = true;
            reg().calls.erase(it->first);
            it = m_liveCalls.erase(it);
        } else {
            ++it;
        }
    }
    m_lines.erase(h);
    reg().lines.erase(h);
}

// What the line carries from the far end at absolute sample positions of
// the 8 kHz time line: the answered call's audio while it lasts, else hiss.
void TapiProvider::lineAudio(int device, qint64 absSample, qint16 *out, int count) const
{
    const auto &rec = m_lastConnected[size_t(device)];
    const qint64 perMs = FarEnd::kRate / 1000;
    for (int i = 0; i < count; ++i) {
        const qint64 s = absSample + i;
        if (rec && rec->farEnd && s >= rec->connectedAtMs * perMs &&
            (rec->endedAtMs < 0 || s < rec->endedAtMs * perMs))
            out[i] = rec->farEnd->sample(s - rec->connectedAtMs * perMs);
        else
            out[i] = FarEnd::hiss(s);
    }
}

// With SoundCard=1 the far end of a connected call is heard on the sound
// card, a quarter second at a time, for as long as the call lasts.
void TapiProvider::hearFarEnd(const std::shared_ptr<CallRecord> &rec, int device)
{
    QIODevice *out = nullptr;
    QAudioSink *sink = nullptr;
    openMonitor(out, sink, WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0});
    if (!sink)
        return;
    QPointer<QAudioSink> guard(sink);
    auto next = std::make_shared<qint64>(rec->connectedAtMs * (FarEnd::kRate / 1000));
    auto pump = std::make_shared<std::function<void()>>();
    *pump = [this, rec, device, guard, out, next, pump] {
        if (!guard)
            return;
        const qint64 until = nowSample() + FarEnd::kRate / 4;
        if (rec->endedAtMs >= 0) {
            QIODevice *o = out;
            QAudioSink *s = guard.data();
            closeMonitor(o, s);
            *pump = nullptr; // breaks the cycle
            return;
        }
        std::vector<qint16> audio(static_cast<size_t>(std::max<qint64>(0, until - *next)));
        lineAudio(device, *next, audio.data(), int(audio.size()));
        out->write(reinterpret_cast<const char *>(audio.data()), qint64(audio.size() * 2));
        *next = until;
        after(250, *pump);
    };
    (*pump)();
}

void TapiProvider::openMonitor(QIODevice *&device, QAudioSink *&sink, const WAVEFORMATEX &f)
{
    if (!m_config.soundCard)
        return;
    const QAudioDevice out = QMediaDevices::defaultAudioOutput();
    if (out.isNull())
        return; // no sound card: the call goes on unheard
    QAudioFormat format;
    format.setSampleRate(int(f.nSamplesPerSec));
    format.setChannelCount(f.nChannels);
    format.setSampleFormat(f.wBitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
    if (!out.isFormatSupported(format))
        return;
    sink = new QAudioSink(out, format, this);
    device = sink->start();
    if (!device) {
        delete sink;
        sink = nullptr;
    }
}

void TapiProvider::closeMonitor(QIODevice *&device, QAudioSink *&sink)
{
    if (sink) {
        sink->stop();
        sink->deleteLater();
    }
    sink = nullptr;
    device = nullptr;
}

void TapiProvider::startWaveOutHead(HWAVEOUT h)
{
    WaveOut &w = m_waveOuts.at(h);
    if (w.queue.empty() || w.headStartMs >= 0)
        return;
    w.headStartMs = m_clock->monotonicMs();
    if (w.monitor)
        w.monitor->write(w.queue.front()->lpData, qint64(w.queue.front()->dwBufferLength));
    const quint64 epoch = w.epoch;
    after(playMs(w.queue.front()->dwBufferLength, w.format), [this, h, epoch] {
        auto it = m_waveOuts.find(h);
        if (it == m_waveOuts.end() || it->second.epoch != epoch || it->second.queue.empty())
            return;
        WaveOut &w = it->second;
        WAVEHDR *hdr = w.queue.front();
        w.queue.pop_front();
        w.headStartMs = -1;
        if (auto rec = m_lastConnected[size_t(w.device)];
            rec && rec->connectedAtMs >= 0 && rec->endedAtMs < 0 && rec->heard.size() < (64 << 20)) {
            rec->heard.append(hdr->lpData, qsizetype(hdr->dwBufferLength));
            rec->heardFormat = w.format;
        }
        hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        if (w.target)
            QCoreApplication::postEvent(w.target, new WaveNotifyEvent(MM_WOM_DONE, h, hdr));
        startWaveOutHead(h);
    });
}

void TapiProvider::scheduleWaveInHead(HWAVEIN h)
{
    WaveIn &w = m_waveIns.at(h);
    if (!w.started || w.queue.empty())
        return;
    const int samples = int(w.queue.front()->dwBufferLength / 2);
    const qint64 endSample = w.startSample + w.captured + samples;
    const qint64 dueMs = (endSample + FarEnd::kRate / 1000 - 1) / (FarEnd::kRate / 1000);
    const quint64 epoch = w.epoch;
    after(std::max<qint64>(0, dueMs - m_clock->monotonicMs()), [this, h, epoch, samples] {
        auto it = m_waveIns.find(h);
        if (it == m_waveIns.end() || it->second.epoch != epoch || it->second.queue.empty())
            return;
        ++it->second.epoch;
        returnWaveInHead(h, samples);
        scheduleWaveInHead(h);
    });
}

void TapiProvider::returnWaveInHead(HWAVEIN h, int samples)
{
    WaveIn &w = m_waveIns.at(h);
    WAVEHDR *hdr = w.queue.front();
    w.queue.pop_front();
    samples = std::clamp(samples, 0, int(hdr->dwBufferLength / 2));
    std::vector<qint16> audio(static_cast<size_t>(samples));
    lineAudio(w.device, w.startSample + w.captured, audio.data(), samples);
    if (samples > 0)
        std::memcpy(hdr->lpData, audio.data(), size_t(samples) * 2);
    w.captured += samples;
    hdr->dwBytesRecorded = DWORD(samples) * 2;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    if (w.target)
        QCoreApplication::postEvent(w.target, new WaveNotifyEvent(MM_WIM_DATA, h, hdr));
}

struct TapiProvider::Impl {
    static TapiProvider *providerFor(const Environment &env, LONG &error)
    {
        const QString key = QDir::cleanPath(env.stateFolder());
        if (auto it = reg().providers.find(key); it != reg().providers.end())
            return it->second;
        QString text;
        auto config = ProviderConfig::load(providerFilePath(env), &text);
        if (!config) {
            error = LINEERR_INIFILECORRUPT;
            return nullptr;
        }
        auto *p = new TapiProvider(env, std::move(*config), key);
        reg().providers[key] = p;
        return p;
    }

    // A line's wave devices carry sound only while the line is open.
    static bool lineOpenOn(const TapiProvider *p, int device)
    {
        for (const auto &entry : p->m_lines)
            if (entry.second.device == device)
                return true;
        return false;
    }

    static TapiProvider::Line *line(HLINE h, TapiProvider *&p)
    {
        p = owner(reg().lines, h);
        if (!p)
            return nullptr;
        auto it = p->m_lines.find(h);
        return it == p->m_lines.end() ? nullptr : &it->second;
    }
    static TapiProvider::Call *call(HCALL h, TapiProvider *&p)
    {
        p = owner(reg().calls, h);
        if (!p)
            return nullptr;
        auto it = p->m_liveCalls.find(h);
        return it == p->m_liveCalls.end() ? nullptr : &it->second;
    }

    // Wave-out and wave-in devices open and close by the same rules, each
    // kind on its own handles and messages.
    struct OutKind;
    struct InKind;
    template <class Kind>
    static MMRESULT openWave(DWORD *ph, UINT id, const WAVEFORMATEX *pwfx, QObject *callback, DWORD fdwOpen);
    template <class Kind> static void returnQueue(typename Kind::Device &w, DWORD h);
    template <class Kind> static MMRESULT closeWave(DWORD h);
};

// ---- line functions -------------------------------------------------------

LONG lineInitialize(HLINEAPP *lphLineApp, const Environment &env, LINECALLBACK lpfnCallback,
                    const char *lpszAppName, DWORD *lpdwNumDevs)
{
    if (!lphLineApp || !lpdwNumDevs || !lpfnCallback)
        return LINEERR_INVALPOINTER;
    LONG error = 0;
    TapiProvider *p = TapiProvider::Impl::providerFor(env, error);
    if (!p)
        return error;
    const HLINEAPP h = newHandle();
    p->m_apps[h] = {lpfnCallback, lpszAppName ? QString::fromLocal8Bit(lpszAppName) : QString()};
    reg().apps[h] = p;
    *lphLineApp = h;
    *lpdwNumDevs = DWORD(p->m_config.lines.size());
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp)
{
    TapiProvider *p = owner(reg().apps, hLineApp);
    if (!p)
        return LINEERR_INVALAPPHANDLE;
    std::vector<HLINE> lines;
    for (const auto &[h, l] : p->m_lines)
        if (l.app == hLineApp)
            lines.push_back(h);
    for (HLINE h : lines)
        p->removeLine(h);
    p->m_apps.erase(hLineApp);
    reg().apps.erase(hLineApp);
    p->releaseIfUnused();
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD *lpdwAPIVersion, LINEEXTENSIONID *lpExtensionID)
{
    TapiProvider *p = owner(reg().apps, hLineApp);
    if (!p)
        return LINEERR_INVALAPPHANDLE;
    if (!lpdwAPIVersion || !lpExtensionID)
        return LINEERR_INVALPOINTER;
    if (dwDeviceID >= DWORD(p->m_config.lines.size()))
        return LINEERR_BADDEVICEID;
    if (dwAPILowVersion > kMaxApiVersion || dwAPIHighVersion < kMinApiVersion ||
        dwAPILowVersion > dwAPIHighVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    *lpdwAPIVersion = std::min(dwAPIHighVersion, kMaxApiVersion);
    *lpExtensionID = {0, 0, 0, 0};
    return 0;
}

LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD, LINEDEVCAPS *caps)
{
    TapiProvider *p = owner(reg().apps, hLineApp);
    if (!p)
        return LINEERR_INVALAPPHANDLE;
    if (dwDeviceID >= DWORD(p->m_config.lines.size()))
        return LINEERR_BADDEVICEID;
    if (dwAPIVersion < kMinApiVersion || dwAPIVersion > kMaxApiVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!caps)
        return LINEERR_INVALPOINTER;
    if (caps->dwTotalSize < sizeof(LINEDEVCAPS))
        return LINEERR_STRUCTURETOOSMALL;
    const LineConfig &cfg = p->m_config.lines[int(dwDeviceID)];
    const DWORD total = caps->dwTotalSize;
    std::memset(caps, 0, sizeof(LINEDEVCAPS));
    caps->dwTotalSize = total;
    caps->dwUsedSize = caps->dwNeededSize = sizeof(LINEDEVCAPS);
    putString(caps, caps->dwUsedSize, caps->dwNeededSize, total,
              QByteArrayLiteral("Brenvoy simulated telephony"), caps->dwProviderInfoSize,
              caps->dwProviderInfoOffset);
    putString(caps, caps->dwUsedSize, caps->dwNeededSize, total, cfg.name.toLocal8Bit(), caps->dwLineNameSize,
              caps->dwLineNameOffset);
    caps->dwPermanentLineID = dwDeviceID + 1;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = LINEBEARERMODE_VOICE;
    caps->dwMaxRate = 33600;
    caps->dwMediaModes = cfg.mediaModes;
    caps->dwMonitorDigitModes =
        (cfg.mediaModes & LINEMEDIAMODE_AUTOMATEDVOICE) ? LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND : 0;
    caps->dwMaxNumActiveCalls = 1;
    caps->dwLineStates = LINEDEVSTATE_ALL;
    caps->dwLineFeatures = cfg.lineFeatures;
    return 0;
}

LONG lineGetID(HLINE hLine, DWORD, HCALL hCall, DWORD dwSelect, VARSTRING *lpDeviceID,
               const char *lpszDeviceClass)
{
    TapiProvider *p = nullptr;
    int device = -1;
    if (dwSelect == LINECALLSELECT_CALL) {
        auto *c = TapiProvider::Impl::call(hCall, p);
        if (!c)
            return LINEERR_INVALCALLHANDLE;
        device = c->device;
    } else if (dwSelect == LINECALLSELECT_LINE || dwSelect == LINECALLSELECT_ADDRESS) {
        auto *l = TapiProvider::Impl::line(hLine, p);
        if (!l)
            return LINEERR_INVALLINEHANDLE;
        device = l->device;
    } else {
        return LINEERR_INVALCALLSELECT;
    }
    if (!lpDeviceID || !lpszDeviceClass)
        return LINEERR_INVALPOINTER;
    if (lpDeviceID->dwTotalSize < sizeof(VARSTRING))
        return LINEERR_STRUCTURETOOSMALL;
    const QByteArray cls = QByteArray(lpszDeviceClass).toLower();
    DWORD id = 0;
    if (cls == "wave/in" || cls == "wave/out") {
        const UINT stored = (cls == "wave/in" ? p->m_waveInIds : p->m_waveOutIds)[size_t(device)];
        if (!stored)
            return LINEERR_NODEVICE;
        id = stored - 1;
    } else if (cls == "tapi/line") {
        id = DWORD(device);
    } else {
        return LINEERR_INVALDEVICECLASS;
    }
    lpDeviceID->dwNeededSize = sizeof(VARSTRING) + sizeof(DWORD);
    lpDeviceID->dwStringFormat = STRINGFORMAT_BINARY;
    if (lpDeviceID->dwTotalSize < lpDeviceID->dwNeededSize) {
        lpDeviceID->dwUsedSize = sizeof(VARSTRING);
        lpDeviceID->dwStringSize = lpDeviceID->dwStringOffset = 0;
        return 0;
    }
    std::memcpy(reinterpret_cast<char *>(lpDeviceID) + sizeof(VARSTRING), &id, sizeof id);
    lpDeviceID->dwStringSize = sizeof(DWORD);
    lpDeviceID->dwStringOffset = sizeof(VARSTRING);
    lpDeviceID->dwUsedSize = lpDeviceID->dwNeededSize;
    return 0;
}

LONG lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, HLINE *lphLine, DWORD dwAPIVersion, DWORD,
              DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, const LINECALLPARAMS *)
{
    TapiProvider *p = owner(reg().apps, hLineApp);
    if (!p)
        return LINEERR_INVALAPPHANDLE;
    if (dwDeviceID >= DWORD(p->m_config.lines.size()))
        return LINEERR_BADDEVICEID;
    if (dwAPIVersion < kMinApiVersion || dwAPIVersion > kMaxApiVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!lphLine)
        return LINEERR_INVALPOINTER;
    if (dwPrivileges != LINECALLPRIVILEGE_NONE &&
        (dwPrivileges & ~DWORD(LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)))
        return LINEERR_INVALCALLPRIVILEGE;
    const DWORD supported = p->m_config.lines[int(dwDeviceID)].mediaModes;
    if ((dwPrivileges & LINECALLPRIVILEGE_OWNER) && (!dwMediaModes || (dwMediaModes & ~supported)))
        return LINEERR_INVALMEDIAMODE;
    const HLINE h = newHandle();
    p->m_lines[h] = {hLineApp, int(dwDeviceID), dwCallbackInstance, dwPrivileges, dwMediaModes, dwAPIVersion};
    reg().lines[h] = p;
    *lphLine = h;
    p->logCall("lineOpen " + QString::number(dwDeviceID));
    return 0;
}

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates)
{
    TapiProvider *p = nullptr;
    if (!TapiProvider::Impl::line(hLine, p))
        return LINEERR_INVALLINEHANDLE;
    if (dwLineStates & ~LINEDEVSTATE_ALL)
        return LINEERR_INVALLINESTATE;
    if (dwAddressStates & ~LINEADDRESSSTATE_ALL)
        return LINEERR_INVALPARAM;
    return 0;
}

LONG lineMakeCall(HLINE hLine, HCALL *lphCall, const char *lpszDestAddress, DWORD dwCountryCode,
                  const LINECALLPARAMS *params)
{
    TapiProvider *p = nullptr;
    TapiProvider::Line *l = TapiProvider::Impl::line(hLine, p);
    if (!l)
        return LINEERR_INVALLINEHANDLE;
    if (!lphCall)
        return LINEERR_INVALPOINTER;
    if (dwCountryCode != 0)
        return LINEERR_INVALCOUNTRYCODE;
    const LineConfig &cfg = p->m_config.lines[l->device];
    if (!(cfg.lineFeatures & LINEFEATURE_MAKECALL))
        return LINEERR_OPERATIONUNAVAIL;
    DWORD media = LINEMEDIAMODE_INTERACTIVEVOICE;
    if (params) {
        if (params->dwTotalSize < sizeof(LINECALLPARAMS))
            return LINEERR_STRUCTURETOOSMALL;
        if (params->dwBearerMode != LINEBEARERMODE_VOICE)
            return LINEERR_INVALBEARERMODE;
        if (params->dwAddressMode != LINEADDRESSMODE_ADDRESSID)
            return LINEERR_INVALADDRESSMODE;
        if (params->dwAddressID != 0)
            return LINEERR_INVALADDRESSID;
        media = params->dwMediaMode;
    }
    if (!media || (media & ~cfg.mediaModes))
        return LINEERR_INVALMEDIAMODE;
    const QString number = lpszDestAddress ? QString::fromLocal8Bit(lpszDestAddress) : QString();
    p->logCall("lineMakeCall " + number);

    const LONG request = newRequest();
    const HLINEAPP app = l->app;
    const DWORD_PTR instance = l->instance;
    bool deviceBusy = false;
    for (const auto &[h, c] : p->m_liveCalls)
        if (c.device == l->device && c.record->state != LINECALLSTATE_IDLE)
            deviceBusy = true;
    const FarEndConfig &far = p->m_config.farEndFor(number);
    if (deviceBusy || far.outcome == CallOutcome::Fail || number.trimmed().isEmpty()) {
        const LONG result = deviceBusy                   ? LINEERR_INUSE
                            : number.trimmed().isEmpty() ? LINEERR_INVALADDRESS
                                                         : LINEERR_CALLUNAVAIL;
        p->after(10, [p, app, instance, request, result] {
            p->post(app, 0, LINE_REPLY, instance, DWORD_PTR(request), DWORD_PTR(DWORD(result)), 0);
        });
        return request;
    }

    const HCALL h = newHandle();
    auto rec = std::make_shared<TapiProvider::CallRecord>();
    rec->handle = h;
    rec->number = number;
    rec->far = far;
    rec->farEnd = std::make_shared<FarEnd>(far);
    p->m_calls.push_back(rec);
    // A long run places calls all day: keep the recent ones (what the far
    // end heard is kept with each) rather than every call ever placed.
    if (p->m_calls.size() > TapiProvider::kKeptCalls)
        p->m_calls.erase(p->m_calls.begin());
    TapiProvider::Call call;
    call.line = hLine;
    call.app = app;
    call.device = l->device;
    call.record = rec;
    p->m_liveCalls[h] = call;
    reg().calls[h] = p;
    // The handle is the caller's once the reply reports success; the reply
    // comes before the first call state, as in TAPI.
    p->after(10, [p, h, app, instance, request, lphCall] {
        if (!p->m_liveCalls.count(h))
            return; // the line was closed before the reply
        *lphCall = h;
        p->post(app, 0, LINE_REPLY, instance, DWORD_PTR(request), 0, 0);
        p->setCallState(h, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        p->scheduleCallCourse(h);
    });
    return request;
}

LONG lineDrop(HCALL hCall, const char *, DWORD)
{
    TapiProvider *p = nullptr;
    TapiProvider::Call *c = TapiProvider::Impl::call(hCall, p);
    if (!c)
        return LINEERR_INVALCALLHANDLE;
    if (c->record->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    p->logCall(QStringLiteral("lineDrop"));
    p->endCall(*c);
    const LONG request = newRequest();
    const HLINEAPP app = c->app;
    auto line = p->m_lines.find(c->line);
    const DWORD_PTR instance = line == p->m_lines.end() ? 0 : line->second.instance;
    p->after(
        20, [p, app, instance, request] { p->post(app, 0, LINE_REPLY, instance, DWORD_PTR(request), 0, 0); });
    p->after(40, [p, hCall] { p->setCallState(hCall, LINECALLSTATE_IDLE, 0); });
    return request;
}

LONG lineDeallocateCall(HCALL hCall)
{
    TapiProvider *p = nullptr;
    TapiProvider::Call *c = TapiProvider::Impl::call(hCall, p);
    if (!c)
        return LINEERR_INVALCALLHANDLE;
    if (c->record->state != LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE; // the sole owner must drop the call first
    p->logCall(QStringLiteral("lineDeallocateCall"));
    c->record->deallocated = true;
    ++c->epoch;
    p->m_liveCalls.erase(hCall);
    reg().calls.erase(hCall);
    return 0;
}

LONG lineClose(HLINE hLine)
{
    TapiProvider *p = nullptr;
    if (!TapiProvider::Impl::line(hLine, p))
        return LINEERR_INVALLINEHANDLE;
    p->logCall(QStringLiteral("lineClose"));
    p->removeLine(hLine);
    return 0;
}

LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS *status)
{
    TapiProvider *p = nullptr;
    TapiProvider::Call *c = TapiProvider::Impl::call(hCall, p);
    if (!c)
        return LINEERR_INVALCALLHANDLE;
    if (!status)
        return LINEERR_INVALPOINTER;
    if (status->dwTotalSize < sizeof(LINECALLSTATUS))
        return LINEERR_STRUCTURETOOSMALL;
    const DWORD total = status->dwTotalSize;
    std::memset(status, 0, sizeof *status);
    status->dwTotalSize = total;
    status->dwNeededSize = status->dwUsedSize = sizeof *status;
    status->dwCallState = c->record->state ? c->record->state : LINECALLSTATE_UNKNOWN;
    status->dwCallStateMode = c->record->stateMode;
    status->dwCallPrivilege = LINECALLPRIVILEGE_OWNER;
    return 0;
}

LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes)
{
    TapiProvider *p = nullptr;
    TapiProvider::Call *c = TapiProvider::Impl::call(hCall, p);
    if (!c)
        return LINEERR_INVALCALLHANDLE;
    if (dwDigitModes & ~DWORD(LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND))
        return LINEERR_INVALDIGITMODE;
    if (dwDigitModes && !(p->m_config.lines[c->device].mediaModes & LINEMEDIAMODE_AUTOMATEDVOICE))
        return LINEERR_OPERATIONUNAVAIL; // only a voice modem hears digits
    if (c->record->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    c->monitorDigits = (dwDigitModes & LINEDIGITMODE_DTMF) != 0;
    return 0;
}

// ---- wave functions -------------------------------------------------------

namespace {

// The text of a wave device error, cut to the caller's buffer.
MMRESULT copyError(MMRESULT err, char *text, UINT cch, bool input)
{
    if (!text || cch == 0)
        return MMSYSERR_INVALPARAM;
    const char *s = nullptr;
    switch (err) {
    case MMSYSERR_NOERROR:
        s = "The command was carried out.";
        break;
    case MMSYSERR_ERROR:
        s = "An unknown error occurred in the wave device.";
        break;
    case MMSYSERR_BADDEVICEID:
        s = "The wave device identifier is out of range.";
        break;
    case MMSYSERR_NOTENABLED:
        s = "The wave device is not enabled: the line carries no call.";
        break;
    case MMSYSERR_ALLOCATED:
        s = "The wave device is already in use by another program or call.";
        break;
    case MMSYSERR_INVALHANDLE:
        s = "The wave device handle is not valid.";
        break;
    case MMSYSERR_NODRIVER:
        s = "There is no driver for the wave device.";
        break;
    case MMSYSERR_NOMEM:
        s = "There is not enough memory for the wave device.";
        break;
    case MMSYSERR_NOTSUPPORTED:
        s = "The wave device does not support this function.";
        break;
    case MMSYSERR_INVALFLAG:
        s = "An invalid flag was passed to the wave device.";
        break;
    case MMSYSERR_INVALPARAM:
        s = "An invalid parameter was passed to the wave device.";
        break;
    case WAVERR_BADFORMAT:
        s = input ? "The line cannot record in this wave format." : "The line cannot play this wave format.";
        break;
    case WAVERR_STILLPLAYING:
        s = input ? "Buffers are still queued for recording." : "The wave device is still playing.";
        break;
    case WAVERR_UNPREPARED:
        s = "The wave buffer was not prepared.";
        break;
    case WAVERR_SYNC:
        s = "The wave device is synchronous.";
        break;
    default:
        break;
    }
    const QByteArray bytes =
        s ? QByteArray(s) : QByteArray("Unknown wave device error ") + QByteArray::number(err);
    const size_t n = std::min<size_t>(size_t(bytes.size()), cch - 1);
    std::memcpy(text, bytes.constData(), n);
    text[n] = '\0';
    return MMSYSERR_NOERROR;
}

bool headerUsable(const WAVEHDR *pwh, UINT cbwh)
{
    return pwh && cbwh >= sizeof(WAVEHDR) && pwh->lpData && pwh->dwBufferLength > 0;
}

MMRESULT prepareHeader(const std::map<DWORD, TapiProvider *> &handles, DWORD h, WAVEHDR *pwh, UINT cbwh)
{
    if (!owner(handles, h))
        return MMSYSERR_INVALHANDLE;
    if (!headerUsable(pwh, cbwh))
        return MMSYSERR_INVALPARAM;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT unprepareHeader(const std::map<DWORD, TapiProvider *> &handles, DWORD h, WAVEHDR *pwh, UINT cbwh)
{
    if (!owner(handles, h))
        return MMSYSERR_INVALHANDLE;
    if (!pwh || cbwh < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// Checks a header handed to a device's queue and marks it queued; a buffer
// holds whole samples of sampleBytes each.
MMRESULT enqueueHeader(WAVEHDR *pwh, UINT cbwh, DWORD sampleBytes)
{
    if (!headerUsable(pwh, cbwh) || pwh->dwBufferLength % sampleBytes)
        return MMSYSERR_INVALPARAM;
    if (!(pwh->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return MMSYSERR_INVALPARAM;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    return MMSYSERR_NOERROR;
}

} // namespace

struct TapiProvider::Impl::OutKind {
    using Device = TapiProvider::WaveOut;
    static constexpr auto devices = &TapiProvider::m_waveOuts;
    static constexpr UINT openMessage = MM_WOM_OPEN, doneMessage = MM_WOM_DONE, closeMessage = MM_WOM_CLOSE;
    static constexpr bool input = false;
    static constexpr const char *openName = "waveOutOpen", *closeName = "waveOutClose";
    static auto &handles() { return reg().waveOuts; }
    static auto &ids() { return reg().waveOutDevices; }
    // The modem maps any PCM format onto the line; without WAVE_MAPPED it
    // takes the telephone format only.
    static bool supported(const WAVEFORMATEX &f, DWORD fdwOpen)
    {
        return (fdwOpen & WAVE_MAPPED) ? mappedFormatSupported(f) : telephoneFormat(f);
    }
};

struct TapiProvider::Impl::InKind {
    using Device = TapiProvider::WaveIn;
    static constexpr auto devices = &TapiProvider::m_waveIns;
    static constexpr UINT openMessage = MM_WIM_OPEN, doneMessage = MM_WIM_DATA, closeMessage = MM_WIM_CLOSE;
    static constexpr bool input = true;
    static constexpr const char *openName = "waveInOpen", *closeName = "waveInClose";
    static auto &handles() { return reg().waveIns; }
    static auto &ids() { return reg().waveInDevices; }
    // The modem records the telephone format only; the mapper adds nothing.
    static bool supported(const WAVEFORMATEX &f, DWORD) { return telephoneFormat(f); }
};

template <class Kind>
MMRESULT TapiProvider::Impl::openWave(DWORD *ph, UINT id, const WAVEFORMATEX *pwfx, QObject *callback,
                                      DWORD fdwOpen)
{
    auto dev = Kind::ids().find(id);
    if (dev == Kind::ids().end())
        return MMSYSERR_BADDEVICEID;
    if (!pwfx)
        return MMSYSERR_INVALPARAM;
    TapiProvider *p = dev->second.first;
    const int device = dev->second.second;
    if (!Kind::supported(*pwfx, fdwOpen))
        return WAVERR_BADFORMAT;
    if (fdwOpen & WAVE_FORMAT_QUERY)
        return MMSYSERR_NOERROR;
    if (!ph)
        return MMSYSERR_INVALPARAM;
    if (!lineOpenOn(p, device))
        return MMSYSERR_NOTENABLED;
    auto &devices = p->*Kind::devices;
    for (const auto &entry : devices)
        if (entry.second.device == device)
            return MMSYSERR_ALLOCATED;
    const DWORD h = newHandle();
    typename Kind::Device &w = devices[h];
    w.device = device;
    w.format = *pwfx;
    w.format.cbSize = 0;
    w.target = (fdwOpen & CALLBACK_WINDOW) ? callback : nullptr;
    Kind::handles()[h] = p;
    if constexpr (!Kind::input)
        p->openMonitor(w.monitor, w.sink, w.format);
    p->logCall(QString::fromLatin1(Kind::openName));
    *ph = h;
    if (w.target)
        QCoreApplication::postEvent(w.target, new WaveNotifyEvent(Kind::openMessage, h, nullptr));
    return MMSYSERR_NOERROR;
}

// Hands every queued header back as done, in queue order.
template <class Kind> void TapiProvider::Impl::returnQueue(typename Kind::Device &w, DWORD h)
{
    std::deque<WAVEHDR *> returned;
    returned.swap(w.queue);
    for (WAVEHDR *hdr : returned) {
        if constexpr (Kind::input)
            hdr->dwBytesRecorded = 0;
        hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        if (w.target)
            QCoreApplication::postEvent(w.target, new WaveNotifyEvent(Kind::doneMessage, h, hdr));
    }
}

template <class Kind> MMRESULT TapiProvider::Impl::closeWave(DWORD h)
{
    TapiProvider *p = owner(Kind::handles(), h);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    auto &devices = p->*Kind::devices;
    typename Kind::Device &w = devices.at(h);
    if (!w.queue.empty())
        return WAVERR_STILLPLAYING;
    if constexpr (!Kind::input)
        p->closeMonitor(w.monitor, w.sink);
    if (w.target)
        QCoreApplication::postEvent(w.target, new WaveNotifyEvent(Kind::closeMessage, h, nullptr));
    devices.erase(h);
    Kind::handles().erase(h);
    p->logCall(QString::fromLatin1(Kind::closeName));
    p->releaseIfUnused();
    return MMSYSERR_NOERROR;
}

using OutKind = TapiProvider::Impl::OutKind;
using InKind = TapiProvider::Impl::InKind;

MMRESULT waveOutOpen(HWAVEOUT *phwo, UINT uDeviceID, const WAVEFORMATEX *pwfx, QObject *dwCallback, DWORD_PTR,
                     DWORD fdwOpen)
{
    return TapiProvider::Impl::openWave<OutKind>(phwo, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh)
{
    return prepareHeader(reg().waveOuts, hwo, pwh, cbwh);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh)
{
    return unprepareHeader(reg().waveOuts, hwo, pwh, cbwh);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh)
{
    TapiProvider *p = owner(reg().waveOuts, hwo);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = enqueueHeader(pwh, cbwh, 1); r != MMSYSERR_NOERROR)
        return r;
    p->m_waveOuts.at(hwo).queue.push_back(pwh);
    p->startWaveOutHead(hwo);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT hwo)
{
    TapiProvider *p = owner(reg().waveOuts, hwo);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    TapiProvider::WaveOut &w = p->m_waveOuts.at(hwo);
    ++w.epoch;
    // The buffer being played counts as heard up to now.
    if (!w.queue.empty() && w.headStartMs >= 0) {
        const qint64 played =
            (p->m_clock->monotonicMs() - w.headStartMs) * qint64(w.format.nAvgBytesPerSec) / 1000;
        const qint64 bytes = std::min<qint64>(w.queue.front()->dwBufferLength,
                                              played - played % std::max<int>(1, w.format.nBlockAlign));
        if (auto rec = p->m_lastConnected[size_t(w.device)];
            rec && rec->connectedAtMs >= 0 && rec->endedAtMs < 0 && bytes > 0) {
            rec->heard.append(w.queue.front()->lpData, qsizetype(bytes));
            rec->heardFormat = w.format;
        }
    }
    w.headStartMs = -1;
    TapiProvider::Impl::returnQueue<OutKind>(w, hwo);
    p->logCall(QStringLiteral("waveOutReset"));
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT hwo)
{
    return TapiProvider::Impl::closeWave<OutKind>(hwo);
}

MMRESULT waveOutGetErrorText(MMRESULT mmrError, char *pszText, UINT cchText)
{
    return copyError(mmrError, pszText, cchText, false);
}

MMRESULT waveInOpen(HWAVEIN *phwi, UINT uDeviceID, const WAVEFORMATEX *pwfx, QObject *dwCallback, DWORD_PTR,
                    DWORD fdwOpen)
{
    return TapiProvider::Impl::openWave<InKind>(phwi, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    return prepareHeader(reg().waveIns, hwi, pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    return unprepareHeader(reg().waveIns, hwi, pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    TapiProvider *p = owner(reg().waveIns, hwi);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = enqueueHeader(pwh, cbwh, 2); r != MMSYSERR_NOERROR) // 16-bit samples
        return r;
    pwh->dwBytesRecorded = 0;
    TapiProvider::WaveIn &w = p->m_waveIns.at(hwi);
    w.queue.push_back(pwh);
    if (w.queue.size() == 1)
        p->scheduleWaveInHead(hwi);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN hwi)
{
    TapiProvider *p = owner(reg().waveIns, hwi);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    TapiProvider::WaveIn &w = p->m_waveIns.at(hwi);
    if (w.started)
        return MMSYSERR_NOERROR;
    // Recording goes on from "now"; samples already captured stay counted.
    w.started = true;
    w.startSample = p->nowSample() - w.captured;
    ++w.epoch;
    p->scheduleWaveInHead(hwi);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN hwi)
{
    TapiProvider *p = owner(reg().waveIns, hwi);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    TapiProvider::WaveIn &w = p->m_waveIns.at(hwi);
    if (!w.started)
        return MMSYSERR_NOERROR;
    ++w.epoch;
    // The buffer being filled comes back with what it holds so far.
    if (!w.queue.empty())
        p->returnWaveInHead(hwi, int(std::max<qint64>(0, p->nowSample() - (w.startSample + w.captured))));
    w.started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN hwi)
{
    TapiProvider *p = owner(reg().waveIns, hwi);
    if (!p)
        return MMSYSERR_INVALHANDLE;
    waveInStop(hwi);
    TapiProvider::Impl::returnQueue<InKind>(p->m_waveIns.at(hwi), hwi);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN hwi)
{
    return TapiProvider::Impl::closeWave<InKind>(hwi);
}

MMRESULT waveInGetErrorText(MMRESULT mmrError, char *pszText, UINT cchText)
{
    return copyError(mmrError, pszText, cchText, true);
}
