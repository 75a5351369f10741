#include "app/CloseOnSignal.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

// A stop request from outside closes the program once, from the event loop.
TEST(CloseOnSignalTest, TerminationClosesFromTheEventLoop)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        int closes = 0;
        CloseOnSignal closer([&closes] { ++closes; });
        ASSERT_EQ(::raise(sig), 0);
        EXPECT_EQ(closes, 0); // not inside the signal handler
        EXPECT_TRUE(QTest::qWaitFor([&closes] { return closes == 1; }, 5000));
    }
}
