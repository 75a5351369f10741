#pragma once

#include "platform/environment/Clock.h"

#include <QObject>

// A repeating timer on an environment Clock: on the system clock it runs
// in real time, on a simulated clock it ticks at simulated times, so a test
// that runs a call on virtual time sees the ticks a real run would see.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    explicit ClockTimer(Clock &clock, QObject *parent = nullptr);

    int interval() const { return m_intervalMs; }
    void setInterval(int ms) { m_intervalMs = ms; }
    bool isActive() const { return m_active; }
    void start();
    void stop();

signals:
    void timeout();

private:
    void arm();

    Clock *m_clock;
    int m_intervalMs = 1000;
    bool m_active = false;
    quint64 m_epoch = 0;
};
