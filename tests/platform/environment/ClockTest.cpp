#include "platform/environment/Clock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(SimulatedClock, AdvanceFiresTimersInTimeOrderAndMovesNow)
{
    // GIVEN three timers scheduled out of order
    SimulatedClock clock(QDateTime(QDate(2007, 3, 5), QTime(23, 59, 59)));
    std::vector<int> fired;
    clock.singleShot(300, nullptr, [&] { fired.push_back(300); });
    clock.singleShot(100, nullptr, [&] {
        fired.push_back(100);
        // a timer scheduled from a timer counts from the time it fires
        clock.singleShot(100, nullptr, [&] { fired.push_back(200); });
    });
    clock.singleShot(5000, nullptr, [&] { fired.push_back(5000); });

    // WHEN time moves on by one second
    clock.advance(1000);

    // THEN the due ones fired in order, the later one waits, and the date rolled over
    EXPECT_EQ(fired, (std::vector<int>{100, 200, 300}));
    EXPECT_EQ(clock.pendingTimers(), 1);
    EXPECT_EQ(clock.monotonicMs(), 1000);
    EXPECT_EQ(clock.now().date(), QDate(2007, 3, 6));
}

TEST(SimulatedClock, WaitUntilSkipsIdleTimeButHonoursTheTimeout)
{
    SimulatedClock clock;
    bool done = false;
    clock.singleShot(25000, nullptr, [&] { done = true; });
    EXPECT_TRUE(clock.waitUntil([&] { return done; }, 30000));
    EXPECT_EQ(clock.monotonicMs(), 25000);

    // nothing will ever make it true: the wait ends at its timeout
    EXPECT_FALSE(clock.waitUntil([] { return false; }, 30000));
    EXPECT_EQ(clock.monotonicMs(), 55000);
}

TEST(SimulatedClock, TimerOfADestroyedContextDoesNotRun)
{
    SimulatedClock clock;
    bool ran = false;
    auto context = std::make_unique<QObject>();
    clock.singleShot(10, context.get(), [&] { ran = true; });
    context.reset();
    clock.advance(20);
    EXPECT_FALSE(ran);
}

namespace {
// Posts the next link of a chain from its own delivery, as a device
// notification that triggers another one does.
class ChainLink : public QObject {
public:
    ChainLink(std::vector<int> &log, int links) : m_log(log), m_left(links) {}
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        m_log.push_back(m_left);
        if (--m_left > 0)
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }

private:
    std::vector<int> &m_log;
    int m_left;
};
} // namespace

TEST(SimulatedClock, EventsPostedByHandlersAllRunBeforeTheNextTimer)
{
    // GIVEN a timer whose handler starts a chain of three posted events, and
    // a later timer
    SimulatedClock clock;
    std::vector<int> log;
    ChainLink link(log, 3);
    clock.singleShot(10, nullptr, [&] { QCoreApplication::postEvent(&link, new QEvent(QEvent::User)); });
    clock.singleShot(1500, nullptr, [&] { log.push_back(0); });

    // WHEN time jumps past both, by advance and by a wait
    clock.advance(2000);
    // THEN the whole chain ran before the later timer
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1, 0}));

    log.clear();
    ChainLink second(log, 3);
    clock.singleShot(10, nullptr, [&] { QCoreApplication::postEvent(&second, new QEvent(QEvent::User)); });
    bool late = false;
    clock.singleShot(1500, nullptr, [&] { late = true; });
    EXPECT_TRUE(clock.waitUntil([&] { return log.size() == 3; }, 30000));
    EXPECT_FALSE(late) << "the wait jumped to the next timer before the chain ended";
    EXPECT_EQ(clock.monotonicMs(), 2010);
}
