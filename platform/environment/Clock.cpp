#include "platform/environment/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {
qint64 steadyNowMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

// Counts the events delivered on the calling thread while it lives.
class DeliveryCounter final : public QObject {
public:
    DeliveryCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~DeliveryCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        ++count;
        return false;
    }
};

// A handler's posted event may post the next one; a single pass of the
// queue leaves those for later, which on virtual time means after the next
// timer jump. Pass again until a pass delivers nothing. The cap only guards
// against a handler that reposts itself forever.
void drainEvents()
{
    if (!QCoreApplication::instance()) {
        return;
    }
    DeliveryCounter counter;
    for (int pass = 0; pass < 10000; ++pass) {
        counter.count = 0;
        QCoreApplication::processEvents();
        if (counter.count == 0)
            return;
    }
}
} // namespace

SystemClock::SystemClock() : m_startMs(steadyNowMs()) {}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

QDate SystemClock::today() const
{
    std::lock_guard<std::mutex> lock(m_todayLock);
    const qint64 ms = steadyNowMs();
    if (!m_today.isValid() || ms >= m_todayUntilMs) {
        const QDateTime t = now();
        m_today = t.date();
        const qint64 toMidnight = t.msecsTo(QDateTime(m_today.addDays(1), QTime(0, 0)));
        // A change of the system time or zone shows within a second.
        m_todayUntilMs = ms + std::clamp<qint64>(toMidnight, 0, 1000);
    }
    return m_today;
}

qint64 SystemClock::monotonicMs() const
{
    return steadyNowMs() - m_startMs;
}

void SystemClock::singleShot(qint64 ms, QObject *context, std::function<void()> fn)
{
    QTimer::singleShot(std::chrono::milliseconds(ms), context, std::move(fn));
}

bool SystemClock::waitUntil(const std::function<bool()> &pred, qint64 timeoutMs)
{
    const qint64 deadline = monotonicMs() + timeoutMs;
    while (!pred()) {
        if (monotonicMs() >= deadline)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!pred())
            QThread::msleep(1);
    }
    return true;
}

struct SimulatedClock::Timer {
    qint64 dueMs;
    quint64 seq;
    QPointer<QObject> context;
    bool hadContext;
    std::function<void()> fn;
};

SimulatedClock::SimulatedClock(QDateTime start) : m_start(std::move(start)), m_timers(new std::vector<Timer>)
{
}

SimulatedClock::~SimulatedClock()
{
    delete m_timers;
}

QDateTime SimulatedClock::now() const
{
    return m_start.addMSecs(m_elapsedMs);
}

qint64 SimulatedClock::monotonicMs() const
{
    return m_elapsedMs;
}

void SimulatedClock::setNow(const QDateTime &t)
{
    m_start = t.addMSecs(-m_elapsedMs);
}

void SimulatedClock::singleShot(qint64 ms, QObject *context, std::function<void()> fn)
{
    m_timers->push_back(
        Timer{m_elapsedMs + std::max<qint64>(ms, 0), m_seq++, context, context != nullptr, std::move(fn)});
}

int SimulatedClock::pendingTimers() const
{
    return int(m_timers->size());
}

// Fires the earliest timer due at or before limitMs; false if there is none.
bool SimulatedClock::fireNextDue(qint64 limitMs)
{
    auto it = std::min_element(m_timers->begin(), m_timers->end(), [](const Timer &a, const Timer &b) {
        return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.seq < b.seq;
    });
    if (it == m_timers->end() || it->dueMs > limitMs)
        return false;
    Timer t = std::move(*it);
    m_timers->erase(it);
    m_elapsedMs = std::max(m_elapsedMs, t.dueMs);
    if (!t.hadContext || t.context)
        t.fn();
    return true;
}

void SimulatedClock::advance(qint64 ms)
{
    const qint64 target = m_elapsedMs + ms;
    drainEvents();
    while (fireNextDue(target))
        drainEvents();
    m_elapsedMs = target;
    drainEvents();
}

bool SimulatedClock::waitUntil(const std::function<bool()> &pred, qint64 timeoutMs)
{
    const qint64 deadline = m_elapsedMs + timeoutMs;
    for (;;) {
        drainEvents();
        if (pred())
            return true;
        if (!fireNextDue(deadline)) {
            m_elapsedMs = std::max(m_elapsedMs, deadline);
            drainEvents();
            return pred();
        }
    }
}
