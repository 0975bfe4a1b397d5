// The program's clock: window timers, background ticks handing work to the
// user-interface thread, and stopping.
#include "app/qt_clock.h"
#include "base/error.h"
#include "support/scripted_prompts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Runs the event loop until the condition holds or a generous deadline
// passes; the deadline only keeps a broken clock from hanging the run.
template <typename TCondition>
bool ProcessUntil(TCondition condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return condition();
}

} // namespace

TEST(QtClock, WindowTimersTickOnTheUserInterfaceThreadUntilStopped)
{
    TQtClock clock;
    int ticks = 0;
    IClock::TTimerId id = 0;
    id = clock.StartTimer(5, [&] {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        if (++ticks == 3)
            clock.StopTimer(id); // stopping from its own tick is allowed
    });
    ASSERT_TRUE(ProcessUntil([&] { return ticks >= 3; }));
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_EQ(ticks, 3);
}

TEST(QtClock, AFailingTickOrPostIsShownAndTheTimerRunsOn)
{
    TScriptedPrompts prompts;
    TQtClock clock;
    clock.SetPrompts(&prompts);
    int ticks = 0;
    const IClock::TTimerId id = clock.StartTimer(5, [&] {
        if (++ticks <= 2)
            throw EAmbitoneError("tick " + std::to_string(ticks));
    });
    clock.Post([] { throw EAmbitoneError("posted"); });
    ASSERT_TRUE(ProcessUntil([&] { return ticks >= 4 && prompts.Texts("error").size() >= 3; }));
    clock.StopTimer(id);
    QStringList errors = prompts.Texts("error");
    errors.sort();
    EXPECT_EQ(errors, QStringList({"posted", "tick 1", "tick 2"}));
}

TEST(QtClock, BackgroundTicksPostTheirWorkToTheUserInterfaceThread)
{
    TQtClock clock;
    std::atomic<int> backgroundTicks{0};
    std::atomic<bool> offThread{true};
    int posted = 0;
    QThread* ui = QCoreApplication::instance()->thread();
    IClock::TTimerId id = clock.StartTimer(
        5,
        [&] {
            if (QThread::currentThread() == ui)
                offThread = false;
            ++backgroundTicks;
            clock.Post([&] {
                EXPECT_EQ(QThread::currentThread(), ui);
                ++posted;
            });
        },
        TTimerThread::Background);
    ASSERT_TRUE(ProcessUntil([&] { return posted >= 3; }));
    clock.StopTimer(id);
    int after = backgroundTicks;
    QThread::msleep(30);
    EXPECT_EQ(backgroundTicks, after); // no tick once stopped
    EXPECT_TRUE(offThread);
}

TEST(QtClock, WallTimeIsWithinTheDay)
{
    TQtClock clock;
    int64_t ms = clock.MillisecondsSinceMidnightUtc();
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 24LL * 60 * 60 * 1000);
    int64_t steady = clock.SteadyMilliseconds();
    QThread::msleep(5);
    EXPECT_GE(clock.SteadyMilliseconds(), steady + 4);
}
