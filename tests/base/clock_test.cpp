// The virtual clock: ticks in time order, timers that stop or start timers
// from their own ticks, and posted work after each tick.
#include "base/clock.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <string>
#include <vector>

TEST(VirtualClock, TicksComeInTimeOrderAndEqualTimesInStartOrder)
{
    TVirtualClock clock;
    std::vector<std::string> log;
    clock.StartTimer(50, [&] { log.push_back("poll@" + std::to_string(clock.Now())); });
    clock.StartTimer(25, [&] { log.push_back("level@" + std::to_string(clock.Now())); },
                     TTimerThread::Background);
    clock.Advance(100);
    EXPECT_EQ(log, (std::vector<std::string>{"level@25", "poll@50", "level@50", "level@75", "poll@100",
                                             "level@100"}));
    EXPECT_EQ(clock.Now(), 100);
}

TEST(VirtualClock, ATimerMayStopItselfAndStartAnother)
{
    TVirtualClock clock;
    int firstTicks = 0, secondTicks = 0;
    IClock::TTimerId first = 0;
    first = clock.StartTimer(10, [&] {
        if (++firstTicks == 3) {
            clock.StopTimer(first);
            clock.StartTimer(100, [&] { ++secondTicks; });
        }
    });
    clock.Advance(1000);
    EXPECT_EQ(firstTicks, 3);
    EXPECT_FALSE(clock.IsRunning(first));
    EXPECT_EQ(secondTicks, 9); // started at 30: ticks at 130 .. 930
}

TEST(VirtualClock, PostedWorkRunsAfterTheTickThatPostedIt)
{
    TVirtualClock clock;
    std::vector<std::string> log;
    clock.StartTimer(10, [&] {
        log.push_back("tick");
        clock.Post([&] {
            log.push_back("posted");
            clock.Post([&] { log.push_back("nested"); });
        });
    });
    clock.Advance(20);
    EXPECT_EQ(log, (std::vector<std::string>{"tick", "posted", "nested", "tick", "posted", "nested"}));
}

TEST(VirtualClock, WallTimeWrapsAtMidnight)
{
    TVirtualClock clock(24LL * 60 * 60 * 1000 - 10);
    EXPECT_EQ(clock.MillisecondsSinceMidnightUtc(), 24LL * 60 * 60 * 1000 - 10);
    clock.Advance(15);
    EXPECT_EQ(clock.MillisecondsSinceMidnightUtc(), 5);
}

TEST(VirtualClock, WorkPostedAfterAFailureIsKeptForTheNextRun)
{
    TVirtualClock clock;
    std::vector<int> ran;
    clock.Post([&] { ran.push_back(1); });
    clock.Post([] { throw std::runtime_error("trigger failed"); });
    clock.Post([&] { ran.push_back(3); });
    EXPECT_THROW(clock.RunPosted(), std::runtime_error);
    EXPECT_EQ(ran, std::vector<int>({1}));
    clock.RunPosted();
    EXPECT_EQ(ran, std::vector<int>({1, 3}));
}
