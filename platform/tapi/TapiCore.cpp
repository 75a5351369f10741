// The telephony core: the TAPI line functions and the line's wave devices,
// with their handles, request identifiers, argument checks, line messages
// and wave header queues. The lines themselves come from line providers
// (LineProvider.h); one telephony service per state folder holds the
// providers for as long as an application has TAPI initialised there or a
// wave device of its lines is open.

#include "platform/environment/Environment.h"
#include "platform/tapi/LineProvider.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

// The simulated modems (TapiProvider.cpp): always the first lines.
std::unique_ptr<LineProvider> simulatedLines(const Environment &env, LONG &error);

namespace {

struct Service;

struct Device {
    LineProvider *provider = nullptr;
    int local = 0;
    UINT waveIn = 0, waveOut = 0; // identifier + 1; 0 without wave devices
};

struct App {
    Service *service = nullptr;
    LINECALLBACK callback = nullptr;
    QString name;
};

struct Line {
    Service *service = nullptr;
    HLINEAPP app = 0;
    DWORD device = 0;
    DWORD_PTR instance = 0;
    DWORD privileges = 0;
    DWORD mediaModes = 0;
    DWORD apiVersion = 0;
};

struct Call {
    Service *service = nullptr;
    HLINE line = 0;
    HLINEAPP app = 0;
    DWORD device = 0;
    DWORD state = 0, mode = 0;
    bool monitorDigits = false;
    bool privilegeSent = false;
    bool replied = false;
    LONG request = 0;
    HCALL *out = nullptr; // the caller's handle, written by a successful reply
};

struct Wave {
    Service *service = nullptr;
    DWORD device = 0;
    bool input = false;
    WAVEFORMATEX format{};
    QPointer<QObject> target;
    std::deque<WAVEHDR *> queue;
    bool headBusy = false; // the head is with the provider
    bool started = false;  // wave-in only
};

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

struct Registry {
    std::vector<std::pair<QString, LineProviderFactory>> factories;
    std::map<QString, Service *> services;
    std::map<DWORD, App> apps;
    std::map<DWORD, Line> lines;
    std::map<DWORD, Call> calls;
    std::map<DWORD, Wave> waves; // wave-out and wave-in handles
    std::map<UINT, std::pair<Service *, DWORD>> waveInIds, waveOutIds;
    std::map<LONG, std::pair<HLINEAPP, DWORD_PTR>> pending; // drop requests
    DWORD nextHandle = 0x10001;
    UINT nextWaveInId = 0, nextWaveOutId = 0;
    LONG nextRequest = 1;
};

Registry &reg();

// The lines of one state folder and the target of their line messages.
struct Service final : QObject {
    QString key;
    std::vector<LineProvider *> providers; // children of the service
    std::vector<size_t> factoryOf;         // the factory each provider came from
    std::vector<Device> devices;
    bool released = false;

    bool event(QEvent *e) override
    {
        if (e->type() != LineMessageEvent::eventType())
            return QObject::event(e);
        auto *m = static_cast<LineMessageEvent *>(e);
        auto it = reg().apps.find(m->app);
        if (it != reg().apps.end() && it->second.callback)
            it->second.callback(m->device, m->message, m->instance, m->p1, m->p2, m->p3);
        return true;
    }

    void post(HLINEAPP app, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
              DWORD_PTR p3)
    {
        QCoreApplication::postEvent(this, new LineMessageEvent(app, device, message, instance, p1, p2, p3));
    }

    const Device *device(DWORD id) const { return id < devices.size() ? &devices[id] : nullptr; }
};

Registry &reg()
{
    static Registry r = [] {
        Registry fresh;
        fresh.factories.emplace_back(QStringLiteral("simulation"), &simulatedLines);
        return fresh;
    }();
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

template <class Map> auto *find(Map &map, DWORD h)
{
    auto it = map.find(h);
    return it == map.end() ? nullptr : &it->second;
}

constexpr DWORD kMinApiVersion = 0x00010003;
constexpr DWORD kMaxApiVersion = 0x00020000;

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

LineProvider *providerOf(const Service *s, DWORD device)
{
    const Device *d = s->device(device);
    return d ? d->provider : nullptr;
}

int localOf(const Service *s, DWORD device)
{
    return s->devices[device].local;
}

// A service nobody uses any more goes away; the next lineInitialize asks
// the providers afresh (and reads their files again).
void releaseIfUnused(Service *s)
{
    if (s->released)
        return;
    for (const auto &[h, a] : reg().apps)
        if (a.service == s)
            return;
    for (const auto &[h, w] : reg().waves)
        if (w.service == s)
            return;
    s->released = true;
    reg().services.erase(s->key);
    for (auto *map : {&reg().waveInIds, &reg().waveOutIds})
        for (auto it = map->begin(); it != map->end();)
            it = it->second.first == s ? map->erase(it) : std::next(it);
    for (LineProvider *p : s->providers)
        p->retire();
    s->deleteLater();
}

void forgetCall(std::map<DWORD, Call>::iterator it)
{
    Service *s = it->second.service;
    const HCALL h = it->first;
    const DWORD device = it->second.device;
    reg().calls.erase(it);
    if (LineProvider *p = providerOf(s, device))
        p->forgetCall(h);
}

void removeLine(HLINE h)
{
    Line *l = find(reg().lines, h);
    if (!l)
        return;
    for (auto it = reg().calls.begin(); it != reg().calls.end();) {
        auto next = std::next(it);
        if (it->second.line == h)
            forgetCall(it);
        it = next;
    }
    Service *s = l->service;
    const DWORD device = l->device;
    reg().lines.erase(h);
    if (LineProvider *p = providerOf(s, device))
        p->lineClosed(localOf(s, device));
}

DWORD_PTR instanceOf(HLINE h)
{
    const Line *l = find(reg().lines, h);
    return l ? l->instance : 0;
}

// Asks the factories from first on for providers and adds their lines.
LONG addProviders(Service *s, const Environment &env, size_t first)
{
    for (size_t f = first; f < reg().factories.size(); ++f) {
        LONG err = 0;
        std::unique_ptr<LineProvider> p = reg().factories[f].second(env, err);
        if (err)
            return err;
        if (!p)
            continue;
        LineProvider *raw = p.release();
        raw->setParent(s);
        s->providers.push_back(raw);
        s->factoryOf.push_back(f);
        for (int i = 0; i < raw->deviceCount(); ++i) {
            Device d{raw, i, 0, 0};
            if (raw->caps(i).waveDevices) {
                const DWORD global = DWORD(s->devices.size());
                const UINT in = reg().nextWaveInId++, out = reg().nextWaveOutId++;
                reg().waveInIds[in] = {s, global};
                reg().waveOutIds[out] = {s, global};
                d.waveIn = in + 1;
                d.waveOut = out + 1;
            }
            s->devices.push_back(d);
        }
    }
    return 0;
}

// Retires the providers from index first on, with their lines.
void dropProviders(Service *s, size_t first)
{
    size_t firstDevice = s->devices.size();
    for (size_t i = 0; i < s->devices.size(); ++i)
        if (std::find(s->providers.begin() + qsizetype(first), s->providers.end(), s->devices[i].provider) !=
            s->providers.end()) {
            firstDevice = i;
            break;
        }
    for (auto *map : {&reg().waveInIds, &reg().waveOutIds})
        for (auto it = map->begin(); it != map->end();)
            it = it->second.first == s && it->second.second >= firstDevice ? map->erase(it) : std::next(it);
    s->devices.resize(firstDevice);
    for (size_t i = first; i < s->providers.size(); ++i) {
        s->providers[i]->retire();
        delete s->providers[i];
    }
    s->providers.resize(first);
    s->factoryOf.resize(first);
}

Service *serviceFor(const Environment &env, LONG &error)
{
    const QString key = QDir::cleanPath(env.stateFolder());
    if (auto it = reg().services.find(key); it != reg().services.end())
        return it->second;
    auto *s = new Service;
    s->key = key;
    if (const LONG err = addProviders(s, env, 0)) {
        dropProviders(s, 0);
        delete s;
        error = err;
        return nullptr;
    }
    reg().services[key] = s;
    return s;
}

void postReplyLater(Service *s, LineProvider *p, HLINEAPP app, DWORD_PTR instance, LONG request, LONG result)
{
    QPointer<Service> guard(s);
    p->defer([guard, app, instance, request, result] {
        if (guard)
            guard->post(app, 0, LINE_REPLY, instance, DWORD_PTR(request), DWORD_PTR(DWORD(result)), 0);
    });
}

} // namespace

// ---- what providers report ------------------------------------------------

void TapiCore::registerProvider(const QString &name, LineProviderFactory factory)
{
    for (auto &entry : reg().factories)
        if (entry.first == name) {
            entry.second = std::move(factory);
            return;
        }
    reg().factories.emplace_back(name, std::move(factory));
}

bool TapiCore::refreshProviders(const Environment &env)
{
    auto it = reg().services.find(QDir::cleanPath(env.stateFolder()));
    if (it == reg().services.end())
        return true;
    Service *s = it->second;
    const size_t keep = s->providers.empty() ? 0 : 1;
    for (const auto &[h, l] : reg().lines)
        if (l.service == s && s->devices[l.device].provider != s->providers.front())
            return false;
    for (const auto &[h, w] : reg().waves)
        if (w.service == s && s->devices[w.device].provider != s->providers.front())
            return false;
    dropProviders(s, keep);
    // A broken configuration leaves the lines of the providers before it.
    (void)addProviders(s, env, keep ? s->factoryOf.front() + 1 : 0);
    return true;
}

void TapiCore::callReplied(HCALL h, LONG result)
{
    auto it = reg().calls.find(h);
    if (it == reg().calls.end() || it->second.replied)
        return;
    Call &c = it->second;
    c.replied = true;
    Service *s = c.service;
    const DWORD_PTR instance = instanceOf(c.line);
    if (result == 0) {
        if (c.out)
            *c.out = h;
        s->post(c.app, 0, LINE_REPLY, instance, DWORD_PTR(c.request), 0, 0);
        return;
    }
    s->post(c.app, 0, LINE_REPLY, instance, DWORD_PTR(c.request), DWORD_PTR(DWORD(result)), 0);
    forgetCall(it);
}

void TapiCore::callState(HCALL h, DWORD state, DWORD mode)
{
    Call *c = find(reg().calls, h);
    if (!c || !c->replied)
        return;
    // Ringing and progress repeat; other states are reported once.
    if (c->state == state && state != LINECALLSTATE_RINGBACK && state != LINECALLSTATE_PROCEEDING)
        return;
    c->state = state;
    c->mode = mode;
    const DWORD privilege = c->privilegeSent ? 0 : LINECALLPRIVILEGE_OWNER;
    c->privilegeSent = true;
    c->service->post(c->app, h, LINE_CALLSTATE, instanceOf(c->line), state, mode, privilege);
}

void TapiCore::digit(HCALL h, char digit, DWORD mode, DWORD tickMs)
{
    Call *c = find(reg().calls, h);
    if (!c || !c->monitorDigits || c->state != LINECALLSTATE_CONNECTED)
        return;
    c->service->post(c->app, h, LINE_MONITORDIGITS, instanceOf(c->line), DWORD_PTR(quint8(digit)), mode,
                     DWORD_PTR(tickMs));
}

void TapiCore::completeRequest(LONG request, LONG result)
{
    auto it = reg().pending.find(request);
    if (it == reg().pending.end())
        return;
    const auto [app, instance] = it->second;
    reg().pending.erase(it);
    App *a = find(reg().apps, app);
    if (a)
        a->service->post(app, 0, LINE_REPLY, instance, DWORD_PTR(request), DWORD_PTR(DWORD(result)), 0);
}

DWORD TapiCore::stateOf(HCALL h)
{
    const Call *c = find(reg().calls, h);
    return c ? c->state : 0;
}

// ---- line functions -------------------------------------------------------

LONG lineInitialize(HLINEAPP *lphLineApp, const Environment &env, LINECALLBACK lpfnCallback,
                    const char *lpszAppName, DWORD *lpdwNumDevs)
{
    if (!lphLineApp || !lpdwNumDevs || !lpfnCallback)
        return LINEERR_INVALPOINTER;
    LONG error = 0;
    Service *s = serviceFor(env, error);
    if (!s)
        return error;
    const HLINEAPP h = newHandle();
    reg().apps[h] = {s, lpfnCallback, lpszAppName ? QString::fromLocal8Bit(lpszAppName) : QString()};
    *lphLineApp = h;
    *lpdwNumDevs = DWORD(s->devices.size());
    return 0;
}

LONG lineShutdown(HLINEAPP hLineApp)
{
    App *a = find(reg().apps, hLineApp);
    if (!a)
        return LINEERR_INVALAPPHANDLE;
    Service *s = a->service;
    std::vector<HLINE> lines;
    for (const auto &[h, l] : reg().lines)
        if (l.app == hLineApp)
            lines.push_back(h);
    for (HLINE h : lines)
        removeLine(h);
    reg().apps.erase(hLineApp);
    for (auto it = reg().pending.begin(); it != reg().pending.end();)
        it = it->second.first == hLineApp ? reg().pending.erase(it) : std::next(it);
    releaseIfUnused(s);
    return 0;
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, DWORD *lpdwAPIVersion, LINEEXTENSIONID *lpExtensionID)
{
    App *a = find(reg().apps, hLineApp);
    if (!a)
        return LINEERR_INVALAPPHANDLE;
    if (!lpdwAPIVersion || !lpExtensionID)
        return LINEERR_INVALPOINTER;
    if (!a->service->device(dwDeviceID))
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
    App *a = find(reg().apps, hLineApp);
    if (!a)
        return LINEERR_INVALAPPHANDLE;
    const Device *d = a->service->device(dwDeviceID);
    if (!d)
        return LINEERR_BADDEVICEID;
    if (dwAPIVersion < kMinApiVersion || dwAPIVersion > kMaxApiVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!caps)
        return LINEERR_INVALPOINTER;
    if (caps->dwTotalSize < sizeof(LINEDEVCAPS))
        return LINEERR_STRUCTURETOOSMALL;
    const LineDeviceCaps cfg = d->provider->caps(d->local);
    const DWORD total = caps->dwTotalSize;
    std::memset(caps, 0, sizeof(LINEDEVCAPS));
    caps->dwTotalSize = total;
    caps->dwUsedSize = caps->dwNeededSize = sizeof(LINEDEVCAPS);
    putString(caps, caps->dwUsedSize, caps->dwNeededSize, total, cfg.providerInfo.toLocal8Bit(),
              caps->dwProviderInfoSize, caps->dwProviderInfoOffset);
    putString(caps, caps->dwUsedSize, caps->dwNeededSize, total, cfg.name.toLocal8Bit(), caps->dwLineNameSize,
              caps->dwLineNameOffset);
    caps->dwPermanentLineID = dwDeviceID + 1;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = LINEBEARERMODE_VOICE;
    caps->dwMaxRate = cfg.maxRate;
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
    Service *s = nullptr;
    DWORD device = 0;
    if (dwSelect == LINECALLSELECT_CALL) {
        const Call *c = find(reg().calls, hCall);
        if (!c)
            return LINEERR_INVALCALLHANDLE;
        s = c->service;
        device = c->device;
    } else if (dwSelect == LINECALLSELECT_LINE || dwSelect == LINECALLSELECT_ADDRESS) {
        const Line *l = find(reg().lines, hLine);
        if (!l)
            return LINEERR_INVALLINEHANDLE;
        s = l->service;
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
        const Device &d = s->devices[device];
        const UINT stored = cls == "wave/in" ? d.waveIn : d.waveOut;
        if (!stored)
            return LINEERR_NODEVICE;
        id = stored - 1;
    } else if (cls == "tapi/line") {
        id = device;
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
    App *a = find(reg().apps, hLineApp);
    if (!a)
        return LINEERR_INVALAPPHANDLE;
    Service *s = a->service;
    const Device *d = s->device(dwDeviceID);
    if (!d)
        return LINEERR_BADDEVICEID;
    if (dwAPIVersion < kMinApiVersion || dwAPIVersion > kMaxApiVersion)
        return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!lphLine)
        return LINEERR_INVALPOINTER;
    if (dwPrivileges != LINECALLPRIVILEGE_NONE &&
        (dwPrivileges & ~DWORD(LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)))
        return LINEERR_INVALCALLPRIVILEGE;
    const DWORD supported = d->provider->caps(d->local).mediaModes;
    if ((dwPrivileges & LINECALLPRIVILEGE_OWNER) && (!dwMediaModes || (dwMediaModes & ~supported)))
        return LINEERR_INVALMEDIAMODE;
    const HLINE h = newHandle();
    reg().lines[h] = {s, hLineApp, dwDeviceID, dwCallbackInstance, dwPrivileges, dwMediaModes, dwAPIVersion};
    *lphLine = h;
    d->provider->note("lineOpen " + QString::number(dwDeviceID));
    d->provider->lineOpened(d->local);
    return 0;
}

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates)
{
    if (!find(reg().lines, hLine))
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
    Line *l = find(reg().lines, hLine);
    if (!l)
        return LINEERR_INVALLINEHANDLE;
    if (!lphCall)
        return LINEERR_INVALPOINTER;
    if (dwCountryCode != 0)
        return LINEERR_INVALCOUNTRYCODE;
    Service *s = l->service;
    const Device &d = s->devices[l->device];
    const LineDeviceCaps caps = d.provider->caps(d.local);
    if (!(caps.lineFeatures & LINEFEATURE_MAKECALL))
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
    if (!media || (media & ~caps.mediaModes))
        return LINEERR_INVALMEDIAMODE;
    const QString number = lpszDestAddress ? QString::fromLocal8Bit(lpszDestAddress) : QString();
    d.provider->note("lineMakeCall " + number);

    const LONG request = newRequest();
    bool deviceBusy = false;
    for (const auto &[h, c] : reg().calls)
        if (c.service == s && c.device == l->device && c.state != LINECALLSTATE_IDLE)
            deviceBusy = true;
    LONG refused = deviceBusy                   ? LINEERR_INUSE
                   : number.trimmed().isEmpty() ? LINEERR_INVALADDRESS
                                                : d.provider->checkCall(d.local, number);
    if (refused) {
        postReplyLater(s, d.provider, l->app, l->instance, request, refused);
        return request;
    }
    const HCALL h = newHandle();
    Call &call = reg().calls[h];
    call.service = s;
    call.line = hLine;
    call.app = l->app;
    call.device = l->device;
    call.request = request;
    call.out = lphCall;
    // The handle is the caller's once the reply reports success; the reply
    // comes before the first call state, as in TAPI.
    d.provider->startCall(h, d.local, number);
    return request;
}

LONG lineDrop(HCALL hCall, const char *, DWORD)
{
    Call *c = find(reg().calls, hCall);
    if (!c || !c->replied)
        return LINEERR_INVALCALLHANDLE;
    if (c->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    LineProvider *p = providerOf(c->service, c->device);
    p->note(QStringLiteral("lineDrop"));
    const LONG request = newRequest();
    reg().pending[request] = {c->app, instanceOf(c->line)};
    p->dropCall(hCall, request);
    return request;
}

LONG lineDeallocateCall(HCALL hCall)
{
    auto it = reg().calls.find(hCall);
    if (it == reg().calls.end() || !it->second.replied)
        return LINEERR_INVALCALLHANDLE;
    if (it->second.state != LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE; // the sole owner must drop the call first
    providerOf(it->second.service, it->second.device)->note(QStringLiteral("lineDeallocateCall"));
    forgetCall(it);
    return 0;
}

LONG lineClose(HLINE hLine)
{
    Line *l = find(reg().lines, hLine);
    if (!l)
        return LINEERR_INVALLINEHANDLE;
    providerOf(l->service, l->device)->note(QStringLiteral("lineClose"));
    removeLine(hLine);
    return 0;
}

LONG lineGetCallStatus(HCALL hCall, LINECALLSTATUS *status)
{
    const Call *c = find(reg().calls, hCall);
    if (!c || !c->replied)
        return LINEERR_INVALCALLHANDLE;
    if (!status)
        return LINEERR_INVALPOINTER;
    if (status->dwTotalSize < sizeof(LINECALLSTATUS))
        return LINEERR_STRUCTURETOOSMALL;
    const DWORD total = status->dwTotalSize;
    std::memset(status, 0, sizeof *status);
    status->dwTotalSize = total;
    status->dwNeededSize = status->dwUsedSize = sizeof *status;
    status->dwCallState = c->state ? c->state : LINECALLSTATE_UNKNOWN;
    status->dwCallStateMode = c->mode;
    status->dwCallPrivilege = LINECALLPRIVILEGE_OWNER;
    return 0;
}

LONG lineMonitorDigits(HCALL hCall, DWORD dwDigitModes)
{
    Call *c = find(reg().calls, hCall);
    if (!c || !c->replied)
        return LINEERR_INVALCALLHANDLE;
    if (dwDigitModes & ~DWORD(LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND))
        return LINEERR_INVALDIGITMODE;
    const Device &d = c->service->devices[c->device];
    if (dwDigitModes && !(d.provider->caps(d.local).mediaModes & LINEMEDIAMODE_AUTOMATEDVOICE))
        return LINEERR_OPERATIONUNAVAIL; // only a voice line hears digits
    if (c->state == LINECALLSTATE_IDLE)
        return LINEERR_INVALCALLSTATE;
    c->monitorDigits = (dwDigitModes & LINEDIGITMODE_DTMF) != 0;
    return 0;
}

// ---- wave functions -------------------------------------------------------

QEvent::Type WaveNotifyEvent::eventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

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

Wave *wave(DWORD h, bool input)
{
    Wave *w = find(reg().waves, h);
    return w && w->input == input ? w : nullptr;
}

bool headerUsable(const WAVEHDR *pwh, UINT cbwh)
{
    return pwh && cbwh >= sizeof(WAVEHDR) && pwh->lpData && pwh->dwBufferLength > 0;
}

MMRESULT prepareHeader(DWORD h, bool input, WAVEHDR *pwh, UINT cbwh)
{
    if (!wave(h, input))
        return MMSYSERR_INVALHANDLE;
    if (!headerUsable(pwh, cbwh))
        return MMSYSERR_INVALPARAM;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT unprepareHeader(DWORD h, bool input, WAVEHDR *pwh, UINT cbwh)
{
    if (!wave(h, input))
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

LineProvider *providerOf(const Wave &w)
{
    return providerOf(w.service, w.device);
}

void returnHeader(Wave &w, DWORD h, WAVEHDR *hdr)
{
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    if (w.target)
        QCoreApplication::postEvent(w.target,
                                    new WaveNotifyEvent(w.input ? MM_WIM_DATA : MM_WOM_DONE, h, hdr));
}

// Hands every queued header back as done, in queue order.
void returnQueue(Wave &w, DWORD h)
{
    std::deque<WAVEHDR *> returned;
    returned.swap(w.queue);
    for (WAVEHDR *hdr : returned) {
        if (w.input)
            hdr->dwBytesRecorded = 0;
        returnHeader(w, h, hdr);
    }
}

// The provider works on the head of a queue, one buffer at a time.
void pump(DWORD h)
{
    Wave *w = find(reg().waves, h);
    if (!w || w->queue.empty() || w->headBusy || (w->input && !w->started))
        return;
    w->headBusy = true;
    WAVEHDR *head = w->queue.front();
    if (w->input)
        providerOf(*w)->fillBuffer(h, head->lpData, head->dwBufferLength);
    else
        providerOf(*w)->playBuffer(h, head->lpData, head->dwBufferLength);
}

MMRESULT openWave(DWORD *ph, UINT id, const WAVEFORMATEX *pwfx, QObject *callback, DWORD fdwOpen, bool input)
{
    auto &ids = input ? reg().waveInIds : reg().waveOutIds;
    auto dev = ids.find(id);
    if (dev == ids.end())
        return MMSYSERR_BADDEVICEID;
    if (!pwfx)
        return MMSYSERR_INVALPARAM;
    Service *s = dev->second.first;
    const DWORD device = dev->second.second;
    LineProvider *p = providerOf(s, device);
    if (!p->waveFormatSupported(localOf(s, device), *pwfx, fdwOpen, input))
        return WAVERR_BADFORMAT;
    if (fdwOpen & WAVE_FORMAT_QUERY)
        return MMSYSERR_NOERROR;
    if (!ph)
        return MMSYSERR_INVALPARAM;
    // A line's wave devices carry sound only while the line is open.
    bool open = false;
    for (const auto &[h, l] : reg().lines)
        open = open || (l.service == s && l.device == device);
    if (!open)
        return MMSYSERR_NOTENABLED;
    for (const auto &[h, w] : reg().waves)
        if (w.service == s && w.device == device && w.input == input)
            return MMSYSERR_ALLOCATED;
    const DWORD h = newHandle();
    Wave &w = reg().waves[h];
    w.service = s;
    w.device = device;
    w.input = input;
    w.format = *pwfx;
    w.format.cbSize = 0;
    w.target = (fdwOpen & CALLBACK_WINDOW) ? callback : nullptr;
    p->waveOpened(h, localOf(s, device), w.format, input);
    p->note(QString::fromLatin1(input ? "waveInOpen" : "waveOutOpen"));
    *ph = h;
    if (w.target)
        QCoreApplication::postEvent(w.target,
                                    new WaveNotifyEvent(input ? MM_WIM_OPEN : MM_WOM_OPEN, h, nullptr));
    return MMSYSERR_NOERROR;
}

MMRESULT closeWave(DWORD h, bool input)
{
    Wave *w = wave(h, input);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    if (!w->queue.empty())
        return WAVERR_STILLPLAYING;
    LineProvider *p = providerOf(*w);
    Service *s = w->service;
    p->waveClosed(h, input);
    if (w->target)
        QCoreApplication::postEvent(w->target,
                                    new WaveNotifyEvent(input ? MM_WIM_CLOSE : MM_WOM_CLOSE, h, nullptr));
    reg().waves.erase(h);
    p->note(QString::fromLatin1(input ? "waveInClose" : "waveOutClose"));
    releaseIfUnused(s);
    return MMSYSERR_NOERROR;
}

} // namespace

void TapiCore::wavePlayed(HWAVEOUT h)
{
    Wave *w = wave(h, false);
    if (!w || !w->headBusy || w->queue.empty())
        return;
    WAVEHDR *hdr = w->queue.front();
    w->queue.pop_front();
    w->headBusy = false;
    returnHeader(*w, h, hdr);
    pump(h);
}

void TapiCore::waveRecorded(HWAVEIN h, DWORD bytes)
{
    Wave *w = wave(h, true);
    if (!w || !w->headBusy || w->queue.empty())
        return;
    WAVEHDR *hdr = w->queue.front();
    w->queue.pop_front();
    w->headBusy = false;
    hdr->dwBytesRecorded = std::min(bytes, hdr->dwBufferLength);
    returnHeader(*w, h, hdr);
    pump(h);
}

MMRESULT waveOutOpen(HWAVEOUT *phwo, UINT uDeviceID, const WAVEFORMATEX *pwfx, QObject *dwCallback, DWORD_PTR,
                     DWORD fdwOpen)
{
    return openWave(phwo, uDeviceID, pwfx, dwCallback, fdwOpen, false);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh)
{
    return prepareHeader(hwo, false, pwh, cbwh);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh)
{
    return unprepareHeader(hwo, false, pwh, cbwh);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh)
{
    Wave *w = wave(hwo, false);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = enqueueHeader(pwh, cbwh, 1); r != MMSYSERR_NOERROR)
        return r;
    w->queue.push_back(pwh);
    pump(hwo);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT hwo)
{
    Wave *w = wave(hwo, false);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    if (w->headBusy)
        providerOf(*w)->stopPlaying(hwo);
    w->headBusy = false;
    returnQueue(*w, hwo);
    providerOf(*w)->note(QStringLiteral("waveOutReset"));
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT hwo)
{
    return closeWave(hwo, false);
}

MMRESULT waveOutGetErrorText(MMRESULT mmrError, char *pszText, UINT cchText)
{
    return copyError(mmrError, pszText, cchText, false);
}

MMRESULT waveInOpen(HWAVEIN *phwi, UINT uDeviceID, const WAVEFORMATEX *pwfx, QObject *dwCallback, DWORD_PTR,
                    DWORD fdwOpen)
{
    return openWave(phwi, uDeviceID, pwfx, dwCallback, fdwOpen, true);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    return prepareHeader(hwi, true, pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    return unprepareHeader(hwi, true, pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh)
{
    Wave *w = wave(hwi, true);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = enqueueHeader(pwh, cbwh, 2); r != MMSYSERR_NOERROR) // 16-bit samples
        return r;
    pwh->dwBytesRecorded = 0;
    w->queue.push_back(pwh);
    pump(hwi);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN hwi)
{
    Wave *w = wave(hwi, true);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    if (w->started)
        return MMSYSERR_NOERROR;
    w->started = true;
    providerOf(*w)->startCapture(hwi);
    pump(hwi);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN hwi)
{
    Wave *w = wave(hwi, true);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    if (!w->started)
        return MMSYSERR_NOERROR;
    // The buffer being filled comes back with what it holds so far.
    w->started = false;
    if (w->headBusy)
        TapiCore::waveRecorded(hwi, providerOf(*w)->cutBuffer(hwi));
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN hwi)
{
    Wave *w = wave(hwi, true);
    if (!w)
        return MMSYSERR_INVALHANDLE;
    waveInStop(hwi);
    returnQueue(*w, hwi);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN hwi)
{
    return closeWave(hwi, true);
}

MMRESULT waveInGetErrorText(MMRESULT mmrError, char *pszText, UINT cchText)
{
    return copyError(mmrError, pszText, cchText, true);
}
