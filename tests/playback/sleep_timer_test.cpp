// The sleep timer on the virtual clock: nothing touched before the fade,
// the level falling linearly over the last 30 seconds, one stop at the end
// with the level back at 1, and Off restoring the level at once.
#include "playback/sleep_timer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SleepTimer : public ::testing::Test {
protected:
    TVirtualClock Clock;
    std::vector<float> Gains;
    int Stops = 0;
    TSleepTimer Timer{Clock, [this](float gain) { Gains.push_back(gain); }, [this] { ++Stops; }};
    float Level() const { return Gains.empty() ? 1.0f : Gains.back(); }
};

} // namespace

TEST_F(SleepTimer, FadesOverTheLastThirtySecondsAndStopsOnce)
{
    Timer.Start(60000);
    const struct {
        int64_t At; // ms since the start
        float Level;
    } steps[] = {{29900, 1.0f}, {30100, 29900 / 30000.0f}, {45000, 0.5f}, {59900, 100 / 30000.0f}};
    for (const auto& step : steps) {
        Clock.Advance(step.At - Clock.Now());
        EXPECT_NEAR(Level(), step.Level, 1e-6) << step.At;
        EXPECT_EQ(Stops, 0);
    }
    EXPECT_EQ(Timer.RemainingMs(), 100);
    Clock.Advance(100);
    EXPECT_EQ(Stops, 1);
    EXPECT_EQ(Level(), 1.0f) << "the next Play is heard at full level";
    EXPECT_EQ(Gains[Gains.size() - 2], 0.0f) << "silent before the stop";
    EXPECT_FALSE(Timer.Running());
    Clock.Advance(60000);
    EXPECT_EQ(Stops, 1);
}

TEST_F(SleepTimer, NothingChangesBeforeTheFadeAndOffRestoresTheLevel)
{
    Timer.Start(45000);
    Clock.Advance(15000 - 100);
    EXPECT_TRUE(Gains.empty()) << "before the fade the scene is untouched";
    Clock.Advance(15000);
    EXPECT_NEAR(Level(), 0.5f, 0.01);
    Timer.Cancel();
    EXPECT_EQ(Level(), 1.0f);
    Clock.Advance(60000);
    EXPECT_EQ(Stops, 0);
    // A timer shorter than the fade starts fading at once.
    Timer.Start(10000);
    Clock.Advance(100);
    EXPECT_NEAR(Level(), 9900 / 30000.0f, 1e-6);
}
