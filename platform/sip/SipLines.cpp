#include "platform/sip/SipLines.h"

#include "platform/sip/SipAccountBook.h"

#include "platform/environment/Clock.h"
#include "platform/environment/Environment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

extern "C" {
#include <re.h>
#include <rem.h>
// libre's OpenSSL build exports this; its header offers it only under
// USE_OPENSSL, which would also swap in OpenSSL's SHA names.
struct ssl_ctx_st *tls_openssl_context(const struct tls *tls);
}

namespace {

constexpr int kRate = 8000;
constexpr int kFrame = 160;          // samples in 20 ms
constexpr int kMaxHeld = kRate * 10; // far-end audio held for a slow recorder
constexpr int kTelevPt = 101;
constexpr uint32_t kRegisterExpiry = 600;

bool telephoneFormat(const WAVEFORMATEX &f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.wBitsPerSample == 16 &&
           f.nSamplesPerSec == 8000 && f.nBlockAlign == 2 && f.nAvgBytesPerSec == 16000;
}

// The SIP stack's thread and event loop, shared by every SipLines of the
// process and running while one exists. Work reaches the loop through run()
// (and runSync(), which waits for it).
class Stack {
public:
    static Stack &acquire()
    {
        std::lock_guard lock(guard());
        Stack *&s = instance();
        if (!s)
            s = new Stack;
        ++s->m_users;
        return *s;
    }
    static void release()
    {
        Stack *s = nullptr;
        {
            std::lock_guard lock(guard());
            s = instance();
            if (!s || --s->m_users > 0)
                return;
            instance() = nullptr;
        }
        delete s;
    }

    void run(std::function<void()> fn)
    {
        {
            std::lock_guard lock(m_mutex);
            m_work.push_back(std::move(fn));
        }
        mqueue_push(m_mq, 0, nullptr);
    }
    void runSync(std::function<void()> fn)
    {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        run([&] {
            fn();
            std::lock_guard lock(m);
            done = true;
            cv.notify_one();
        });
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    }

private:
    Stack()
    {
        std::unique_lock lock(m_mutex);
        m_thread = std::thread([this] { loop(); });
        m_ready.wait(lock, [this] { return m_started; });
    }
    ~Stack()
    {
        run([] { re_cancel(); });
        m_thread.join();
    }

    static std::mutex &guard()
    {
        static std::mutex m;
        return m;
    }
    static Stack *&instance()
    {
        static Stack *s = nullptr;
        return s;
    }

    static void onQueue(int, void *, void *arg)
    {
        auto *self = static_cast<Stack *>(arg);
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(self->m_mutex);
            work.swap(self->m_work);
        }
        for (auto &fn : work)
            fn();
    }

    void loop()
    {
        libre_init();
        re_thread_init();
        mqueue_alloc(&m_mq, &Stack::onQueue, this);
        {
            std::lock_guard lock(m_mutex);
            m_started = true;
        }
        m_ready.notify_one();
        re_main(nullptr);
        onQueue(0, nullptr, this); // whatever came with the stop
        m_mq = static_cast<struct mqueue *>(mem_deref(m_mq));
        re_thread_close();
        libre_close();
    }

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_started = false;
    std::deque<std::function<void()>> m_work;
    struct mqueue *m_mq = nullptr;
    int m_users = 0;
};

int digitOfInfo(const QByteArray &contentType, const QByteArray &body)
{
    // application/dtmf-relay: "Signal=5\r\nDuration=160"; application/dtmf: "5"
    QByteArray value;
    if (contentType.contains("dtmf-relay")) {
        for (const QByteArray &line : body.split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.toLower().startsWith("signal=")) {
                value = l.mid(7).trimmed();
                break;
            }
        }
    } else if (contentType.contains("dtmf")) {
        value = body.trimmed();
    }
    if (value.size() == 1 && QByteArray("0123456789*#ABCDabcd").contains(value[0]))
        return QChar::fromLatin1(value[0]).toUpper().toLatin1();
    if (value == "10")
        return '*';
    if (value == "11")
        return '#';
    return -1;
}

} // namespace

// What a line device and its call share between the stack's thread and the
// user-interface thread.
struct LineAudio {
    std::mutex m;
    // wave-out: the buffer being played
    std::vector<int16_t> out;
    size_t outPos = 0;
    std::vector<int16_t> carry; // the end of the last buffer, short of a frame
    HWAVEOUT outHandle = 0;
    quint64 outEpoch = 0;
    // wave-in: what the far end sent since recording started
    std::deque<int16_t> in;
    bool capturing = false;
};

struct SipCall;

struct SipDevice {
    SipAccount account;
    std::shared_ptr<LineAudio> audio = std::make_shared<LineAudio>();
    std::atomic<int> registration{0};
    SipLinesImpl *owner = nullptr;
    int index = 0;
    // stack thread
    struct sipreg *reg = nullptr;
    struct tmr tx {};
    bool txRunning = false;
    qint64 txStart = 0;
    qint64 txFrames = 0;
    SipCall *call = nullptr;
    // user-interface thread
    int openCount = 0;
    HWAVEIN inHandle = 0;
    char *inHead = nullptr;
    DWORD inBytes = 0, inFilled = 0;
    std::atomic<bool> inPosted{false};
};

class SipLinesImpl {
public:
    SipLines *q;
    Stack *stack = nullptr;
    std::vector<std::unique_ptr<SipDevice>> devices;
    SipLines::PasswordSource passwords;
    std::map<HCALL, int> calls; // user-interface thread: call to device
    std::map<DWORD, int> waves; // wave handle to device
    QString localHost;
    // stack thread
    struct sip *sip = nullptr;
    struct sipsess_sock *sock = nullptr;
    struct dnsc *dnsc = nullptr;
    struct tls *tls = nullptr;
    struct sa laddr {};
    std::map<std::string, std::string> secrets; // account key to password
    bool retired = false;

    // Hands fn to the user-interface thread, unless the provider is gone by then.
    void toUi(std::function<void()> fn) { QMetaObject::invokeMethod(q, std::move(fn), Qt::QueuedConnection); }

    void setupStack();
    bool setupTls();
    void teardownStack();
    void startTx(SipDevice &dev);
    void stopTx(SipDevice &dev);
    static void onTx(void *arg);
    void sendFrame(SipDevice &dev);
    void drainIn(int device);
    int credentials(int device, char **user, char **pass);
    void notifyIn(int device);
    struct SipCall *callOf(HCALL h);
    void endCall(HCALL h);
    std::map<HCALL, struct SipCall *> stackCalls; // stack thread
    bool draining = false;
};

struct SipCall {
    SipLinesImpl *owner = nullptr;
    HCALL handle = 0;
    int device = 0;
    struct sipsess *sess = nullptr;
    struct rtp_sock *rtp = nullptr;
    struct sdp_session *sdp = nullptr;
    struct sdp_media *media = nullptr;
    struct telev *telev = nullptr;
    int pt = -1, televPt = -1;
    uint32_t ts = 0;
    bool marker = true;
    bool established = false;
    bool ended = false;
    int lastEvent = -1;
    bool lastEnded = true;
    struct sa remote {};
    std::shared_ptr<LineAudio> audio;

    ~SipCall()
    {
        sess = static_cast<struct sipsess *>(mem_deref(sess));
        rtp = static_cast<struct rtp_sock *>(mem_deref(rtp));
        media = nullptr;
        sdp = static_cast<struct sdp_session *>(mem_deref(sdp));
        telev = static_cast<struct telev *>(mem_deref(telev));
    }

    void report(DWORD state, DWORD mode)
    {
        const HCALL h = handle;
        owner->toUi([h, state, mode] { TapiCore::callState(h, state, mode); });
    }
    void reportEnd(DWORD state, DWORD mode)
    {
        if (ended)
            return;
        ended = true;
        report(state, mode);
    }

    void negotiate()
    {
        const struct sdp_format *fmt = sdp_media_rformat(media, nullptr);
        for (const char *name : {"PCMU", "PCMA"}) {
            const struct sdp_format *f = sdp_media_rformat(media, name);
            if (f &&
                (!fmt || (fmt->name && std::strcmp(fmt->name, "PCMU") && std::strcmp(fmt->name, "PCMA"))))
                fmt = f;
        }
        if (fmt && fmt->name && (!std::strcmp(fmt->name, "PCMU") || !std::strcmp(fmt->name, "PCMA")))
            pt = fmt->pt;
        if (const struct sdp_format *t = sdp_media_rformat(media, "telephone-event"))
            televPt = t->pt;
        remote = *sdp_media_raddr(media);
    }

    static int onAnswer(const struct sip_msg *msg, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        const int err = sdp_decode(c->sdp, msg->mb, false);
        if (!err)
            c->negotiate();
        return err;
    }
    static int onOffer(struct mbuf **descp, const struct sip_msg *msg, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        int err = sdp_decode(c->sdp, msg->mb, true);
        if (!err) {
            c->negotiate();
            err = sdp_encode(descp, c->sdp, false);
        }
        return err;
    }
    static void onProgress(const struct sip_msg *msg, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        if (msg->scode == 180 || msg->scode == 183)
            c->report(LINECALLSTATE_RINGBACK, 0);
        else
            c->report(LINECALLSTATE_PROCEEDING, 0);
    }
    static void onEstablished(const struct sip_msg *, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        c->established = true;
        c->report(LINECALLSTATE_CONNECTED, 0);
    }
    static void onInfo(struct sip *sip, const struct sip_msg *msg, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        const QByteArray type = QByteArray(msg->ctyp.type.p, int(msg->ctyp.type.l)) + '/' +
                                QByteArray(msg->ctyp.subtype.p, int(msg->ctyp.subtype.l));
        const size_t n = std::min<size_t>(mbuf_get_left(msg->mb), 1024);
        const QByteArray body(reinterpret_cast<const char *>(mbuf_buf(msg->mb)), int(n));
        const int digit = digitOfInfo(type.toLower(), body);
        (void)sip_treply(nullptr, sip, msg, digit < 0 ? 415 : 200,
                         digit < 0 ? "Unsupported Media Type" : "OK");
        if (digit >= 0)
            c->reportDigit(char(digit));
    }
    static void onClose(int err, const struct sip_msg *msg, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        if ((msg && msg->req) || (!msg && err == ECONNRESET)) {
            c->reportEnd(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL); // the far end's BYE
        } else if (msg) {
            switch (msg->scode) {
            case 486:
            case 600:
                c->reportEnd(LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
                break;
            case 404:
            case 484:
            case 604:
                c->reportEnd(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BADADDRESS);
                break;
            case 408:
            case 480:
            case 487:
                c->reportEnd(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER);
                break;
            case 503:
                c->reportEnd(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_CONGESTION);
                break;
            case 403:
            case 603:
                c->reportEnd(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_REJECT);
                break;
            default:
                c->reportEnd(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNKNOWN);
                break;
            }
        } else {
            c->reportEnd(LINECALLSTATE_DISCONNECTED, err == ETIMEDOUT || err == ECONNREFUSED
                                                         ? LINEDISCONNECTMODE_UNREACHABLE
                                                         : LINEDISCONNECTMODE_UNKNOWN);
        }
        // The session itself goes with the call, once the line device drops it.
        c->established = false;
    }
    static int onAuth(char **user, char **pass, const char *, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        return c->owner->credentials(c->device, user, pass);
    }

    void reportDigit(char digit)
    {
        const HCALL h = handle;
        const DWORD tick = DWORD(QDateTime::currentMSecsSinceEpoch());
        owner->toUi([h, digit, tick] { TapiCore::digit(h, digit, LINEDIGITMODE_DTMF, tick); });
    }

    static void onRtp(const struct sa *, const struct rtp_header *hdr, struct mbuf *mb, void *arg)
    {
        auto *c = static_cast<SipCall *>(arg);
        if (!c->established)
            return;
        if (hdr->pt == c->televPt && c->televPt >= 0) {
            int event = 0;
            bool end = false;
            if (c->telev && !telev_recv(c->telev, mb, &event, &end)) {
                // Every packet of a key repeats it; the first one counts.
                if (event != c->lastEvent || c->lastEnded) {
                    const int digit = telev_code2digit(event);
                    if (digit > 0 && (!end || event != c->lastEvent))
                        c->reportDigit(char(digit));
                }
                c->lastEvent = event;
                c->lastEnded = end;
            }
            return;
        }
        if (int(hdr->pt) != c->pt || (c->pt != 0 && c->pt != 8))
            return;
        const size_t n = std::min<size_t>(mbuf_get_left(mb), size_t(kRate)); // a second at most
        const uint8_t *p = mbuf_buf(mb);
        {
            std::lock_guard lock(c->audio->m);
            if (!c->audio->capturing)
                return;
            for (size_t i = 0; i < n && c->audio->in.size() < size_t(kMaxHeld); ++i)
                c->audio->in.push_back(c->pt == 0 ? g711_ulaw2pcm(p[i]) : g711_alaw2pcm(p[i]));
        }
        c->owner->notifyIn(c->device);
    }
};

// ---- stack thread ---------------------------------------------------------

int SipLinesImpl::credentials(int device, char **user, char **pass)
{
    const SipAccount &a = devices[size_t(device)]->account;
    auto it = secrets.find(a.key().toStdString());
    const std::string password = it == secrets.end() ? std::string() : it->second;
    int err = str_dup(user, a.authName().toUtf8().constData());
    err |= str_dup(pass, password.c_str());
    return err;
}

void SipLinesImpl::notifyIn(int device)
{
    SipDevice &dev = *devices[size_t(device)];
    if (dev.inPosted.exchange(true))
        return;
    toUi([this, device] {
        devices[size_t(device)]->inPosted = false;
        drainIn(device);
    });
}

void SipLinesImpl::startTx(SipDevice &dev)
{
    if (dev.txRunning)
        return;
    dev.txRunning = true;
    dev.txStart = qint64(tmr_jiffies());
    dev.txFrames = 0;
    tmr_start(&dev.tx, 20, &SipLinesImpl::onTx, &dev);
}

void SipLinesImpl::stopTx(SipDevice &dev)
{
    tmr_cancel(&dev.tx);
    dev.txRunning = false;
}

// Every 20 ms while the line is open: the next frame of the buffer being
// played (silence when none) goes to the far end of a connected call.
void SipLinesImpl::onTx(void *arg)
{
    auto &dev = *static_cast<SipDevice *>(arg);
    dev.owner->sendFrame(dev);
    ++dev.txFrames;
    const qint64 due = dev.txStart + (dev.txFrames + 1) * 20;
    tmr_start(&dev.tx, uint64_t(std::max<qint64>(0, due - qint64(tmr_jiffies()))), &SipLinesImpl::onTx, &dev);
}

void SipLinesImpl::sendFrame(SipDevice &dev)
{
    int16_t frame[kFrame] = {};
    int have = 0;
    bool finished = false, send = true;
    HWAVEOUT h = 0;
    quint64 epoch = 0;
    {
        LineAudio &a = *dev.audio;
        std::lock_guard lock(a.m);
        have = int(std::min(a.carry.size(), size_t(kFrame)));
        std::copy_n(a.carry.begin(), have, frame);
        a.carry.clear();
        if (!a.out.empty()) {
            const size_t n = std::min(a.out.size() - a.outPos, size_t(kFrame - have));
            std::copy_n(a.out.begin() + qsizetype(a.outPos), n, frame + have);
            a.outPos += n;
            have += int(n);
            if (a.outPos >= a.out.size()) {
                finished = true;
                h = a.outHandle;
                epoch = a.outEpoch;
                a.out.clear();
                a.outPos = 0;
                if (have < kFrame) {
                    // The next buffer goes on where this one ends.
                    a.carry.assign(frame, frame + have);
                    send = false;
                }
            }
        }
    }
    SipCall *c = dev.call;
    if (send && c && c->established && c->rtp && c->pt >= 0) {
        struct mbuf *mb = mbuf_alloc(RTP_HEADER_SIZE + kFrame);
        if (mb) {
            mb->pos = mb->end = RTP_HEADER_SIZE;
            for (int i = 0; i < kFrame; ++i)
                mbuf_write_u8(mb, c->pt == 0 ? g711_pcm2ulaw(frame[i]) : g711_pcm2alaw(frame[i]));
            mb->pos = RTP_HEADER_SIZE;
            (void)rtp_send(c->rtp, &c->remote, false, c->marker, uint8_t(c->pt), c->ts, mb);
            mem_deref(mb);
            c->marker = false;
        }
    }
    if (send && c)
        c->ts += kFrame;
    if (finished) {
        auto audio = dev.audio;
        toUi([h, epoch, audio] {
            {
                std::lock_guard lock(audio->m);
                if (audio->outEpoch != epoch)
                    return; // stopped meanwhile
            }
            TapiCore::wavePlayed(h);
        });
    }
}

SipCall *SipLinesImpl::callOf(HCALL h)
{
    auto it = stackCalls.find(h);
    return it == stackCalls.end() ? nullptr : it->second;
}

void SipLinesImpl::endCall(HCALL h)
{
    auto it = stackCalls.find(h);
    if (it == stackCalls.end())
        return;
    SipCall *c = it->second;
    stackCalls.erase(it);
    SipDevice &dev = *devices[size_t(c->device)];
    if (dev.call == c)
        dev.call = nullptr;
    delete c; // a call still up gets its BYE or CANCEL
}

namespace {

void onIncoming(const struct sip_msg *msg, void *arg)
{
    // Lines are for calling out; a call coming in is turned away.
    (void)sip_treply(nullptr, static_cast<struct sip *>(arg), msg, 486, "Busy Here");
}

void onRegistered(int err, const struct sip_msg *msg, void *arg)
{
    auto *dev = static_cast<SipDevice *>(arg);
    if (err)
        dev->registration = -1;
    else if (msg && msg->scode >= 200 && msg->scode < 300)
        dev->registration = 2;
    else if (msg && msg->scode >= 300)
        dev->registration = -int(msg->scode);
}

int onRegisterAuth(char **user, char **pass, const char *, void *arg)
{
    auto *dev = static_cast<SipDevice *>(arg);
    return dev->owner->credentials(dev->index, user, pass);
}

std::string transportParam(SipAccount::Transport t)
{
    switch (t) {
    case SipAccount::Transport::Tcp:
        return ";transport=tcp";
    case SipAccount::Transport::Tls:
        return ";transport=tls";
    case SipAccount::Transport::Udp:
        break;
    }
    return {};
}

// The host a TLS account's server certificate must name.
QString tlsHost(const SipAccount &a)
{
    const QString hostPort = a.registrar.isEmpty() ? a.domain : a.registrar;
    if (hostPort.startsWith(QLatin1Char('[')))
        return hostPort.mid(1).section(QLatin1Char(']'), 0, 0);
    return hostPort.section(QLatin1Char(':'), 0, 0);
}

bool isAddress(const QString &host)
{
    struct sa a {};
    return sa_set_str(&a, host.toLatin1().constData(), 0) == 0;
}

} // namespace

void SipLinesImpl::setupStack()
{
    if (sa_set_str(&laddr, localHost.toLatin1().constData(), 0))
        sa_set_str(&laddr, "127.0.0.1", 0);
    struct sa servers[4];
    uint32_t n = 4;
    char domain[64] = "";
    if (!dns_srv_get(domain, sizeof domain, servers, &n) && n > 0)
        (void)dnsc_alloc(&dnsc, nullptr, servers, n);
    if (sip_alloc(&sip, dnsc, 32, 32, 32, "Brenvoy", nullptr, nullptr)) {
        for (auto &dev : devices)
            dev->registration = -1;
        return;
    }
    (void)sip_transp_add(sip, SIP_TRANSP_UDP, &laddr);
    (void)sip_transp_add(sip, SIP_TRANSP_TCP, &laddr);
    const bool tlsReady = setupTls();
    (void)sipsess_listen(&sock, sip, 32, &onIncoming, sip);
    for (auto &devp : devices) {
        SipDevice &dev = *devp;
        const SipAccount &a = dev.account;
        if (a.transport == SipAccount::Transport::Tls && !tlsReady) {
            dev.registration = -1;
            continue;
        }
        if (a.registrar.isEmpty())
            continue;
        const std::string aor = "sip:" + a.key().toStdString();
        const std::string reg = "sip:" + a.registrar.toStdString() + transportParam(a.transport);
        dev.registration = 1;
        if (sipreg_register(&dev.reg, sip, reg.c_str(), aor.c_str(), a.displayName.toUtf8().constData(),
                            aor.c_str(), kRegisterExpiry, a.user.toUtf8().constData(), nullptr, 0, 0,
                            &onRegisterAuth, &dev, false, &onRegistered, &dev, nullptr, nullptr))
            dev.registration = -1;
    }
}

// TLS accounts get a transport whose server certificates must chain to
// the system's CA store and name the account's registrar (or its domain
// when it has none). libre's SIP transport does not check either by
// itself, so both are set on the OpenSSL context every connection inherits.
bool SipLinesImpl::setupTls()
{
    QStringList names, addresses;
    for (const auto &dev : devices) {
        if (dev->account.transport != SipAccount::Transport::Tls)
            continue;
        const QString host = tlsHost(dev->account);
        QList<QString> &list = isAddress(host) ? addresses : names;
        if (!host.isEmpty() && !list.contains(host))
            list.append(host);
    }
    if (names.isEmpty() && addresses.isEmpty())
        return false;
    // OpenSSL checks a single address, and then every name as well; such
    // a mix cannot be verified soundly, so those accounts fail instead.
    if (addresses.size() > 1 || (!addresses.isEmpty() && !names.isEmpty()))
        return false;
    if (tls_alloc(&tls, TLS_METHOD_SSLV23, nullptr, nullptr))
        return false;
    SSL_CTX *ctx = tls_openssl_context(tls);
    bool ok = ctx && SSL_CTX_set_default_verify_paths(ctx) == 1;
    // Tests bring a certificate authority of their own.
    const QByteArray extraCa = qgetenv("BRENVOY_SIP_TEST_CA_FILE");
    if (ok && !extraCa.isEmpty())
        ok = tls_add_ca(tls, extraCa.constData()) == 0;
    if (ok) {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        X509_VERIFY_PARAM *param = SSL_CTX_get0_param(ctx);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        for (const QString &a : addresses)
            ok = ok && X509_VERIFY_PARAM_set1_ip_asc(param, a.toLatin1().constData()) == 1;
        for (const QString &n : names)
            ok = ok && X509_VERIFY_PARAM_add1_host(param, n.toUtf8().constData(), 0) == 1;
    }
    if (ok) {
        ok = sip_transp_add(sip, SIP_TRANSP_TLS, &laddr, tls) == 0;
    }
    if (!ok)
        tls = static_cast<struct tls *>(mem_deref(tls));
    return ok;
}

void SipLinesImpl::teardownStack()
{
    while (!stackCalls.empty())
        endCall(stackCalls.begin()->first);
    for (auto &dev : devices) {
        stopTx(*dev);
        dev->reg = static_cast<struct sipreg *>(mem_deref(dev->reg));
    }
    if (sock)
        sipsess_close_all(sock);
    sock = static_cast<struct sipsess_sock *>(mem_deref(sock));
    if (sip)
        sip_close(sip, true);
    sip = static_cast<struct sip *>(mem_deref(sip));
    dnsc = static_cast<struct dnsc *>(mem_deref(dnsc));
    tls = static_cast<struct tls *>(mem_deref(tls));
}

// ---- user-interface thread ------------------------------------------------

void SipLinesImpl::drainIn(int device)
{
    if (draining)
        return;
    draining = true;
    SipDevice &dev = *devices[size_t(device)];
    while (dev.inHead) {
        size_t n = 0;
        {
            LineAudio &a = *dev.audio;
            std::lock_guard lock(a.m);
            n = std::min(a.in.size(), size_t((dev.inBytes - dev.inFilled) / 2));
            auto *to = reinterpret_cast<int16_t *>(dev.inHead + dev.inFilled);
            std::copy_n(a.in.begin(), n, to);
            a.in.erase(a.in.begin(), a.in.begin() + qsizetype(n));
        }
        dev.inFilled += DWORD(n * 2);
        if (dev.inFilled < dev.inBytes)
            break;
        const HWAVEIN h = dev.inHandle;
        const DWORD bytes = dev.inFilled;
        dev.inHead = nullptr;
        TapiCore::waveRecorded(h, bytes); // may hand the next buffer over
    }
    draining = false;
}

namespace {
bool g_registered = false;
}

void SipLines::ensureRegistered()
{
    if (!g_registered)
        registerProvider(&SipAccountBook::password);
}

void SipLines::registerProvider(PasswordSource passwords)
{
    g_registered = true;
    TapiCore::registerProvider(QStringLiteral("sip"),
                               [passwords](const Environment &env, LONG &) -> std::unique_ptr<LineProvider> {
                                   // A broken accounts file gives no SIP lines: the account window
                                   // says why, and the other lines go on.
                                   QString text;
                                   auto accounts = SipAccounts::load(env, &text);
                                   if (!accounts || accounts->isEmpty())
                                       return nullptr;
                                   return std::make_unique<SipLines>(env, std::move(*accounts), passwords);
                               });
}

SipLines::SipLines(const Environment &env, QList<SipAccount> accounts, PasswordSource passwords)
    : d(std::make_unique<SipLinesImpl>())
{
    d->q = this;
    d->passwords = std::move(passwords);
    // The SIP and media sockets sit on the loopback address when every
    // account is there, else on the address that leads out.
    bool loopback = true;
    for (const SipAccount &a : accounts) {
        const QString host = (a.registrar.isEmpty() ? a.domain : a.registrar).section(QLatin1Char(':'), 0, 0);
        loopback = loopback && (host.startsWith(QLatin1String("127.")) || host == QLatin1String("localhost"));
    }
    for (int i = 0; i < accounts.size(); ++i) {
        auto dev = std::make_unique<SipDevice>();
        dev->account = accounts[i];
        dev->owner = d.get();
        dev->index = i;
        if (d->passwords)
            d->secrets[accounts[i].key().toStdString()] = d->passwords(env, accounts[i]).toStdString();
        d->devices.push_back(std::move(dev));
    }
    d->stack = &Stack::acquire();
    SipLinesImpl *impl = d.get();
    d->stack->runSync([impl, loopback] {
        if (!loopback) {
            struct sa out;
            char text[64];
            if (!net_default_source_addr_get(AF_INET, &out) && !sa_ntop(&out, text, sizeof text))
                impl->localHost = QString::fromLatin1(text);
        }
        if (impl->localHost.isEmpty())
            impl->localHost = QStringLiteral("127.0.0.1");
        impl->setupStack();
    });
}

SipLines::~SipLines()
{
    retire();
}

void SipLines::retire()
{
    if (d->retired)
        return;
    d->retired = true;
    SipLinesImpl *impl = d.get();
    d->stack->runSync([impl] { impl->teardownStack(); });
    d->stack = nullptr;
    Stack::release();
}

int SipLines::registration(int device) const
{
    return d->devices[size_t(device)]->registration;
}

int SipLines::deviceCount() const
{
    return int(d->devices.size());
}

LineDeviceCaps SipLines::caps(int device) const
{
    LineDeviceCaps c;
    c.name = d->devices[size_t(device)]->account.lineName();
    c.providerInfo = QStringLiteral("Brenvoy SIP lines");
    c.mediaModes = LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_INTERACTIVEVOICE;
    c.lineFeatures = LINEFEATURE_MAKECALL;
    c.maxRate = 64000;
    c.waveDevices = true;
    return c;
}

void SipLines::defer(std::function<void()> fn)
{
    QTimer::singleShot(0, this, [this, fn = std::move(fn)] {
        if (!d->retired)
            fn();
    });
}

void SipLines::lineOpened(int device)
{
    SipDevice *dev = d->devices[size_t(device)].get();
    if (dev->openCount++ == 0)
        d->stack->run([impl = d.get(), dev] { impl->startTx(*dev); });
}

void SipLines::lineClosed(int device)
{
    SipDevice *dev = d->devices[size_t(device)].get();
    if (--dev->openCount == 0)
        d->stack->run([impl = d.get(), dev] { impl->stopTx(*dev); });
}

QString SipLines::targetUri(const SipAccount &account, const QString &number)
{
    QString n = number.trimmed();
    if (n.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive))
        n = n.mid(4);
    if (n.contains(QLatin1Char('@'))) {
        static const QRegularExpression re(
            QStringLiteral("^[A-Za-z0-9._~!$&'()*+,;=%-]+@[A-Za-z0-9.:\\[\\]-]+$"));
        return re.match(n).hasMatch() ? QStringLiteral("sip:") + n : QString();
    }
    QString user;
    for (const QChar ch : n)
        if (ch.isDigit() || ch == QLatin1Char('+') || ch == QLatin1Char('*') || ch == QLatin1Char('#'))
            user += ch;
    if (user.isEmpty() || user.size() > 64)
        return {};
    user.replace(QLatin1Char('#'), QLatin1String("%23"));
    return QStringLiteral("sip:") + user + QLatin1Char('@') + account.domain +
           QString::fromStdString(transportParam(account.transport));
}

LONG SipLines::checkCall(int device, const QString &number)
{
    const SipDevice &dev = *d->devices[size_t(device)];
    if (targetUri(dev.account, number).isEmpty())
        return LINEERR_INVALADDRESS;
    const int r = dev.registration;
    if (r == -401 || r == -403 || r == -407)
        return LINEERR_OPERATIONFAILED; // the registrar refused the account's password
    if (r < 0)
        return LINEERR_RESOURCEUNAVAIL; // the registrar cannot be reached or turned us away
    return 0;
}

void SipLines::startCall(HCALL h, int device, const QString &number)
{
    d->calls[h] = device;
    SipDevice *dev = d->devices[size_t(device)].get();
    const std::string to = targetUri(dev->account, number).toStdString();
    d->stack->run([impl = d.get(), dev, h, to] {
        if (dev->call)
            impl->endCall(dev->call->handle);
        auto *c = new SipCall;
        c->owner = impl;
        c->handle = h;
        c->device = dev->index;
        c->audio = dev->audio;
        const SipAccount &a = dev->account;
        const std::string from = "sip:" + a.key().toStdString();
        const std::string route = "sip:" + a.registrar.toStdString() + transportParam(a.transport) + ";lr";
        const char *routev[] = {route.c_str()};
        struct mbuf *desc = nullptr;
        int err = impl->sip ? 0 : ENOTCONN;
        if (!err)
            err = rtp_listen(&c->rtp, IPPROTO_UDP, &impl->laddr, 10000, 60000, false, &SipCall::onRtp,
                             nullptr, c);
        if (!err)
            err = sdp_session_alloc(&c->sdp, &impl->laddr);
        if (!err)
            err = sdp_media_add(&c->media, c->sdp, "audio", sa_port(rtp_local(c->rtp)), "RTP/AVP");
        if (!err)
            err = sdp_format_add(nullptr, c->media, false, "0", "PCMU", kRate, 1, nullptr, nullptr, nullptr,
                                 false, nullptr);
        if (!err)
            err = sdp_format_add(nullptr, c->media, false, "8", "PCMA", kRate, 1, nullptr, nullptr, nullptr,
                                 false, nullptr);
        if (!err)
            err = sdp_format_add(nullptr, c->media, false, "101", "telephone-event", kRate, 1, nullptr,
                                 nullptr, nullptr, false, "0-15");
        if (!err)
            err = telev_alloc(&c->telev, 20);
        if (!err)
            err = sdp_encode(&desc, c->sdp, true);
        if (!err)
            err = sipsess_connect(&c->sess, impl->sock, to.c_str(), a.displayName.toUtf8().constData(),
                                  from.c_str(), a.user.toUtf8().constData(),
                                  a.registrar.isEmpty() ? nullptr : routev, a.registrar.isEmpty() ? 0 : 1,
                                  "application/sdp", desc, &SipCall::onAuth, c, false, &SipCall::onOffer,
                                  &SipCall::onAnswer, &SipCall::onProgress, &SipCall::onEstablished,
                                  &SipCall::onInfo, nullptr, &SipCall::onClose, c, nullptr);
        mem_deref(desc);
        if (err) {
            delete c;
            impl->toUi([h, err] {
                TapiCore::callReplied(h, err == EINVAL ? LINEERR_INVALADDRESS : LINEERR_CALLUNAVAIL);
            });
            return;
        }
        impl->stackCalls[h] = c;
        dev->call = c;
        impl->toUi([h] {
            TapiCore::callReplied(h, 0);
            TapiCore::callState(h, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        });
    });
}

void SipLines::dropCall(HCALL h, LONG request)
{
    d->stack->run([impl = d.get(), h, request] {
        impl->endCall(h);
        impl->toUi([h, request] {
            TapiCore::completeRequest(request, 0);
            TapiCore::callState(h, LINECALLSTATE_IDLE, 0);
        });
    });
}

void SipLines::forgetCall(HCALL h)
{
    d->calls.erase(h);
    d->stack->run([impl = d.get(), h] { impl->endCall(h); });
}

bool SipLines::waveFormatSupported(int, const WAVEFORMATEX &format, DWORD, bool) const
{
    // The line carries G.711 at 8 kHz: it plays and records 8 kHz 16-bit mono.
    return telephoneFormat(format);
}

void SipLines::waveOpened(DWORD h, int device, const WAVEFORMATEX &, bool input)
{
    d->waves[h] = device;
    if (input)
        d->devices[size_t(device)]->inHandle = h;
}

void SipLines::waveClosed(DWORD h, bool input)
{
    auto it = d->waves.find(h);
    if (it == d->waves.end())
        return;
    SipDevice &dev = *d->devices[size_t(it->second)];
    d->waves.erase(it);
    std::lock_guard lock(dev.audio->m);
    if (input) {
        dev.audio->capturing = false;
        dev.audio->in.clear();
        dev.inHandle = 0;
        dev.inHead = nullptr;
    } else {
        dev.audio->out.clear();
        dev.audio->carry.clear();
        ++dev.audio->outEpoch;
    }
}

void SipLines::playBuffer(HWAVEOUT h, const char *data, DWORD bytes)
{
    SipDevice &dev = *d->devices[size_t(d->waves.at(h))];
    std::lock_guard lock(dev.audio->m);
    dev.audio->out.resize(bytes / 2);
    std::memcpy(dev.audio->out.data(), data, (bytes / 2) * 2);
    dev.audio->outPos = 0;
    dev.audio->outHandle = h;
    ++dev.audio->outEpoch;
    if (dev.audio->out.empty()) {
        const quint64 epoch = dev.audio->outEpoch;
        auto audio = dev.audio;
        d->toUi([h, epoch, audio] {
            {
                std::lock_guard lock(audio->m);
                if (audio->outEpoch != epoch)
                    return;
            }
            TapiCore::wavePlayed(h);
        });
    }
}

void SipLines::stopPlaying(HWAVEOUT h)
{
    SipDevice &dev = *d->devices[size_t(d->waves.at(h))];
    std::lock_guard lock(dev.audio->m);
    dev.audio->out.clear();
    dev.audio->carry.clear();
    dev.audio->outPos = 0;
    ++dev.audio->outEpoch;
}

void SipLines::startCapture(HWAVEIN h)
{
    SipDevice &dev = *d->devices[size_t(d->waves.at(h))];
    std::lock_guard lock(dev.audio->m);
    dev.audio->in.clear();
    dev.audio->capturing = true;
}

void SipLines::fillBuffer(HWAVEIN h, char *data, DWORD bytes)
{
    const int device = d->waves.at(h);
    SipDevice &dev = *d->devices[size_t(device)];
    dev.inHandle = h;
    dev.inHead = data;
    dev.inBytes = bytes;
    dev.inFilled = 0;
    d->drainIn(device);
}

DWORD SipLines::cutBuffer(HWAVEIN h)
{
    const int device = d->waves.at(h);
    SipDevice &dev = *d->devices[size_t(device)];
    if (!dev.inHead)
        return 0;
    {
        std::lock_guard lock(dev.audio->m);
        const size_t n = std::min(dev.audio->in.size(), size_t((dev.inBytes - dev.inFilled) / 2));
        std::copy_n(dev.audio->in.begin(), n, reinterpret_cast<int16_t *>(dev.inHead + dev.inFilled));
        dev.audio->in.erase(dev.audio->in.begin(), dev.audio->in.begin() + qsizetype(n));
        dev.inFilled += DWORD(n * 2);
    }
    dev.inHead = nullptr;
    return dev.inFilled;
}
