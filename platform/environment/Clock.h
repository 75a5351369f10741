#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>
#include <mutex>

// Every "now" and every wait of the program and its platform layers goes
// through a Clock, so tests can pin today's date and run long simulated
// calls in milliseconds.
class Clock {
public:
    virtual ~Clock() = default;

    // Local wall-clock time.
    virtual QDateTime now() const = 0;
    // The local date of now(). Code that asks for it per record (a filter
    // pass, a run of appends) should not pay a time-zone lookup each time.
    virtual QDate today() const { return now().date(); }
    // Milliseconds on a steady time line, for durations and deadlines.
    virtual qint64 monotonicMs() const = 0;
    // Runs fn once after ms milliseconds of this clock, from the event loop,
    // unless context has been destroyed by then.
    virtual void singleShot(qint64 ms, QObject *context, std::function<void()> fn) = 0;
    // Processes events until pred() holds or timeoutMs passed on this clock.
    // Returns pred()'s final value.
    virtual bool waitUntil(const std::function<bool()> &pred, qint64 timeoutMs) = 0;
};

class SystemClock final : public Clock {
public:
    SystemClock();
    QDateTime now() const override;
    // Read from the system at most once a second, and again at midnight.
    QDate today() const override;
    qint64 monotonicMs() const override;
    void singleShot(qint64 ms, QObject *context, std::function<void()> fn) override;
    bool waitUntil(const std::function<bool()> &pred, qint64 timeoutMs) override;

private:
    qint64 m_startMs;
    mutable std::mutex m_todayLock;
    mutable QDate m_today;
    mutable qint64 m_todayUntilMs = 0;
};

// Virtual time: stands still until advanced. waitUntil() jumps straight to
// the next scheduled timer whenever the event queue is idle, so a wait for a
// 30-second event returns as soon as the events are processed.
class SimulatedClock final : public Clock {
public:
    explicit SimulatedClock(QDateTime start = QDateTime(QDate(2007, 3, 5), QTime(9, 0)));
    ~SimulatedClock() override;

    QDateTime now() const override;
    qint64 monotonicMs() const override;
    void singleShot(qint64 ms, QObject *context, std::function<void()> fn) override;
    bool waitUntil(const std::function<bool()> &pred, qint64 timeoutMs) override;

    void setNow(const QDateTime &t);
    // Moves time forward by ms, firing every timer that falls due on the way
    // in time order (each after processing pending events).
    void advance(qint64 ms);
    // Number of timers still scheduled.
    int pendingTimers() const;

private:
    struct Timer;
    bool fireNextDue(qint64 limitMs);

    QDateTime m_start;
    qint64 m_elapsedMs = 0;
    quint64 m_seq = 0;
    std::vector<Timer> *m_timers;
};
