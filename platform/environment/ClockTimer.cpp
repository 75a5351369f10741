#include "platform/environment/ClockTimer.h"

ClockTimer::ClockTimer(Clock &clock, QObject *parent) : QObject(parent), m_clock(&clock) {}

void ClockTimer::start()
{
    m_active = true;
    ++m_epoch; // a tick armed before a restart must not fire
    arm();
}

void ClockTimer::stop()
{
    m_active = false;
    ++m_epoch;
}

void ClockTimer::arm()
{
    m_clock->singleShot(m_intervalMs, this, [this, epoch = m_epoch] {
        if (!m_active || epoch != m_epoch)
            return;
        // Armed before the handler runs, so a slow handler keeps the cadence.
        arm();
        emit timeout();
    });
}
