#include "platform/tapi/TapiProvider.h"

#include "platform/environment/Environment.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDir>
#include <QMediaDevices>
#include <cstring>

namespace {

// The running simulations by state folder, for tests.
std::map<QString, TapiProvider *> &running()
{
    static std::map<QString, TapiProvider *> providers;
    return providers;
}

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

} // namespace

std::unique_ptr<LineProvider> simulatedLines(const Environment &env, LONG &error)
{
    QString text;
    auto config = ProviderConfig::load(TapiProvider::providerFilePath(env), &text);
    if (!config) {
        error = LINEERR_INIFILECORRUPT;
        return nullptr;
    }
    return std::make_unique<TapiProvider>(env, std::move(*config), QDir::cleanPath(env.stateFolder()));
}

QString TapiProvider::providerFilePath(const Environment &env)
{
    return env.stateFolderFor(QStringLiteral("tapi")) + QStringLiteral("/provider.ini");
}

TapiProvider *TapiProvider::find(const Environment &env)
{
    auto it = running().find(QDir::cleanPath(env.stateFolder()));
    return it == running().end() ? nullptr : it->second;
}

TapiProvider::TapiProvider(const Environment &env, ProviderConfig config, QString key)
    : m_clock(&env.clock()), m_config(std::move(config)), m_key(std::move(key))
{
    m_lastConnected.resize(size_t(m_config.lines.size()));
    running()[m_key] = this;
}

TapiProvider::~TapiProvider()
{
    retire();
}

void TapiProvider::retire()
{
    m_released = true;
    auto it = running().find(m_key);
    if (it != running().end() && it->second == this)
        running().erase(it);
}

LineDeviceCaps TapiProvider::caps(int device) const
{
    const LineConfig &cfg = m_config.lines[device];
    LineDeviceCaps c;
    c.name = cfg.name;
    c.providerInfo = QStringLiteral("Brenvoy simulated telephony");
    c.mediaModes = cfg.mediaModes;
    c.lineFeatures = cfg.lineFeatures;
    c.maxRate = 33600;
    c.waveDevices = cfg.waveDevices;
    return c;
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
    TapiCore::callState(h, state, mode);
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
                    if (c.record->state == LINECALLSTATE_CONNECTED)
                        TapiCore::digit(h, d.digit, LINEDIGITMODE_DTMF, DWORD(m_clock->monotonicMs()));
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

LONG TapiProvider::checkCall(int, const QString &number)
{
    return m_config.farEndFor(number).outcome == CallOutcome::Fail ? LINEERR_CALLUNAVAIL : 0;
}

void TapiProvider::startCall(HCALL h, int device, const QString &number)
{
    auto rec = std::make_shared<CallRecord>();
    rec->handle = h;
    rec->number = number;
    rec->far = m_config.farEndFor(number);
    rec->farEnd = std::make_shared<FarEnd>(rec->far);
    m_calls.push_back(rec);
    // A long run places calls all day: keep the recent ones (what the far
    // end heard is kept with each) rather than every call ever placed.
    if (m_calls.size() > kKeptCalls)
        m_calls.erase(m_calls.begin());
    m_liveCalls[h] = Call{device, 0, rec};
    after(10, [this, h] {
        if (!m_liveCalls.count(h))
            return; // the line was closed before the reply
        TapiCore::callReplied(h, 0);
        setCallState(h, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        scheduleCallCourse(h);
    });
}

void TapiProvider::dropCall(HCALL h, LONG request)
{
    auto it = m_liveCalls.find(h);
    if (it != m_liveCalls.end())
        endCall(it->second);
    after(20, [request] { TapiCore::completeRequest(request, 0); });
    after(40, [this, h] { setCallState(h, LINECALLSTATE_IDLE, 0); });
}

void TapiProvider::forgetCall(HCALL h)
{
    auto it = m_liveCalls.find(h);
    if (it == m_liveCalls.end())
        return;
    endCall(it->second);
    it->second.record->state = LINECALLSTATE_IDLE;
    it->second.record->deallocated = true;
    m_liveCalls.erase(it);
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

// The modem maps any PCM format onto the line; without WAVE_MAPPED it
// takes the telephone format only. It records the telephone format only.
bool TapiProvider::waveFormatSupported(int, const WAVEFORMATEX &f, DWORD fdwOpen, bool input) const
{
    if (input)
        return telephoneFormat(f);
    return (fdwOpen & WAVE_MAPPED) ? mappedFormatSupported(f) : telephoneFormat(f);
}

void TapiProvider::waveOpened(DWORD h, int device, const WAVEFORMATEX &format, bool input)
{
    if (input) {
        m_waveIns[h].device = device;
        return;
    }
    WaveOut &w = m_waveOuts[h];
    w.device = device;
    w.format = format;
    openMonitor(w.monitor, w.sink, w.format);
}

void TapiProvider::waveClosed(DWORD h, bool input)
{
    if (input) {
        m_waveIns.erase(h);
        return;
    }
    auto it = m_waveOuts.find(h);
    if (it == m_waveOuts.end())
        return;
    closeMonitor(it->second.monitor, it->second.sink);
    m_waveOuts.erase(it);
}

void TapiProvider::playBuffer(HWAVEOUT h, const char *data, DWORD bytes)
{
    WaveOut &w = m_waveOuts.at(h);
    w.headStartMs = m_clock->monotonicMs();
    w.head = data;
    w.headBytes = bytes;
    if (w.monitor)
        w.monitor->write(data, qint64(bytes));
    const quint64 epoch = ++w.epoch;
    after(playMs(bytes, w.format), [this, h, epoch] {
        auto it = m_waveOuts.find(h);
        if (it == m_waveOuts.end() || it->second.epoch != epoch)
            return;
        WaveOut &w = it->second;
        if (auto rec = m_lastConnected[size_t(w.device)];
            rec && rec->connectedAtMs >= 0 && rec->endedAtMs < 0 && rec->heard.size() < (64 << 20)) {
            rec->heard.append(w.head, qsizetype(w.headBytes));
            rec->heardFormat = w.format;
        }
        w.headStartMs = -1;
        w.head = nullptr;
        TapiCore::wavePlayed(h);
    });
}

void TapiProvider::stopPlaying(HWAVEOUT h)
{
    WaveOut &w = m_waveOuts.at(h);
    ++w.epoch;
    // The buffer being played counts as heard up to now.
    if (w.head && w.headStartMs >= 0) {
        const qint64 played =
            (m_clock->monotonicMs() - w.headStartMs) * qint64(w.format.nAvgBytesPerSec) / 1000;
        const qint64 bytes =
            std::min<qint64>(w.headBytes, played - played % std::max<int>(1, w.format.nBlockAlign));
        if (auto rec = m_lastConnected[size_t(w.device)];
            rec && rec->connectedAtMs >= 0 && rec->endedAtMs < 0 && bytes > 0) {
            rec->heard.append(w.head, qsizetype(bytes));
            rec->heardFormat = w.format;
        }
    }
    w.headStartMs = -1;
    w.head = nullptr;
}

void TapiProvider::startCapture(HWAVEIN h)
{
    // Recording goes on from "now"; samples already captured stay counted.
    WaveIn &w = m_waveIns.at(h);
    w.startSample = nowSample() - w.captured;
    ++w.epoch;
}

void TapiProvider::captureInto(WaveIn &w, int samples)
{
    samples = std::clamp(samples, 0, int(w.headBytes / 2));
    std::vector<qint16> audio(static_cast<size_t>(samples));
    lineAudio(w.device, w.startSample + w.captured, audio.data(), samples);
    if (samples > 0)
        std::memcpy(w.head, audio.data(), size_t(samples) * 2);
    w.captured += samples;
    w.head = nullptr;
}

void TapiProvider::fillBuffer(HWAVEIN h, char *data, DWORD bytes)
{
    WaveIn &w = m_waveIns.at(h);
    w.head = data;
    w.headBytes = bytes;
    const int samples = int(bytes / 2);
    const qint64 endSample = w.startSample + w.captured + samples;
    const qint64 dueMs = (endSample + FarEnd::kRate / 1000 - 1) / (FarEnd::kRate / 1000);
    const quint64 epoch = w.epoch;
    after(std::max<qint64>(0, dueMs - m_clock->monotonicMs()), [this, h, epoch, samples] {
        auto it = m_waveIns.find(h);
        if (it == m_waveIns.end() || it->second.epoch != epoch || !it->second.head)
            return;
        ++it->second.epoch;
        captureInto(it->second, samples);
        TapiCore::waveRecorded(h, DWORD(samples) * 2);
    });
}

DWORD TapiProvider::cutBuffer(HWAVEIN h)
{
    WaveIn &w = m_waveIns.at(h);
    ++w.epoch;
    if (!w.head)
        return 0;
    const int samples =
        int(std::clamp<qint64>(nowSample() - (w.startSample + w.captured), 0, qint64(w.headBytes / 2)));
    captureInto(w, samples);
    return DWORD(samples) * 2;
}
