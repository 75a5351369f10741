#include "platform/environment/Clock.h"

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
