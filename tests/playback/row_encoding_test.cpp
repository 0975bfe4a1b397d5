#include "base/clock.h"
#include "playback/playback_row.h"
#include "playback/random_source.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// --- Frequency encoding ---------------------------------------------------

struct TFrequencyCase {
    int Loop;
    int Slider;
    int Period;
    bool Visible;
    int Freq;
};

class TFrequencyEncoding : public ::testing::TestWithParam<TFrequencyCase> {};

TEST_P(TFrequencyEncoding, SliderToPeriodToStoredFreq)
{
    const TFrequencyCase& c = GetParam();
    TPlaybackRow row;
    row.SliderPosition = c.Slider;
    UpdatePeriodDisplay(row, c.Loop);
    EXPECT_EQ(row.PeriodDisplay, c.Period);
    EXPECT_EQ(row.PeriodVisible, c.Visible);
    EXPECT_EQ(StoredFreq(row.PeriodDisplay, c.Loop, row.SliderPosition), c.Freq);
    // what was stored loads back to a slider that stores the same again
    TPlaybackRow reloaded;
    reloaded.SliderPosition = SliderFromStoredFreq(c.Freq);
    UpdatePeriodDisplay(reloaded, c.Loop);
    EXPECT_EQ(StoredFreq(reloaded.PeriodDisplay, c.Loop, reloaded.SliderPosition), c.Freq);
}

INSTANTIATE_TEST_SUITE_P(RowEncoding, TFrequencyEncoding,
                         ::testing::Values(TFrequencyCase{60, 50, 30, true, 50}, TFrequencyCase{60, 34, 40, true, 33},
                                           TFrequencyCase{61, 50, 30, true, 51}, // 30.5 rounds to even
                                           TFrequencyCase{63, 50, 32, true, 49}, // 31.5 rounds to even
                                           TFrequencyCase{60, 1, 59, true, 2}, TFrequencyCase{60, 0, 60, false, 0},
                                           TFrequencyCase{60, 100, 0, false, 100}, TFrequencyCase{60, 99, 1, true, 98},
                                           TFrequencyCase{9999, 0, 9999, false, 0},
                                           TFrequencyCase{9999, 50, 5000, true, 50},
                                           // Exact halves of imported loops: 31.5, 28.5 and 29.5.
                                           TFrequencyCase{75, 58, 32, true, 57}, TFrequencyCase{190, 85, 28, true, 85},
                                           TFrequencyCase{50, 41, 30, true, 40}));

TEST(RowEncoding, LoopOfZeroStoresWithoutDividing)
{
    TPlaybackRow row;
    row.SliderPosition = 37;
    UpdatePeriodDisplay(row, 0);
    EXPECT_EQ(row.PeriodDisplay, 0);
    EXPECT_FALSE(row.PeriodVisible);
    EXPECT_EQ(StoredFreq(row.PeriodDisplay, 0, row.SliderPosition), 37);
    EXPECT_EQ(StoredFreq(0, 0, 0), 0);
    EXPECT_EQ(StoredFreq(0, 0, 100), 100);
}

TEST(RowEncoding, EndIconFollowsTheEndsAndKeepsOtherwise)
{
    TPlaybackRow row;
    row.SliderPosition = 0;
    UpdatePeriodDisplay(row, 60);
    EXPECT_EQ(row.EndIcon, TEndIcon::Seldom);
    row.SliderPosition = 40;
    UpdatePeriodDisplay(row, 60);
    EXPECT_EQ(row.EndIcon, TEndIcon::Seldom);
    row.SliderPosition = 100;
    UpdatePeriodDisplay(row, 60);
    EXPECT_EQ(row.EndIcon, TEndIcon::Often);
    row.SliderPosition = 1;
    UpdatePeriodDisplay(row, 60);
    EXPECT_EQ(row.EndIcon, TEndIcon::Often);

    TPlaybackRow fresh;
    fresh.SliderPosition = 50;
    UpdatePeriodDisplay(fresh, 60);
    EXPECT_EQ(fresh.EndIcon, TEndIcon::Keep);
}

TEST(RowEncoding, RoundHalfEven)
{
    const struct {
        long double Value;
        int64_t Rounded;
    } cases[] = {{0.5L, 0},  {1.5L, 2},  {2.5L, 2},   {3.5L, 4},   {-0.5L, 0}, {-1.5L, -2}, {-2.5L, -2},
                 {2.49L, 2}, {2.51L, 3}, {30.5L, 30}, {31.5L, 32}, {0, 0},     {-0.49L, 0}, {9999.5L, 10000}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c.Value), c.Rounded) << static_cast<double>(c.Value);
}

TEST(RowEncoding, SliderFromStoredFreqClamps)
{
    EXPECT_EQ(SliderFromStoredFreq(-5), 0);
    EXPECT_EQ(SliderFromStoredFreq(0), 0);
    EXPECT_EQ(SliderFromStoredFreq(33), 33);
    EXPECT_EQ(SliderFromStoredFreq(100), 100);
    EXPECT_EQ(SliderFromStoredFreq(101), 100);
    EXPECT_EQ(SliderFromStoredFreq(INT32_MIN), 0);
    EXPECT_EQ(SliderFromStoredFreq(INT32_MAX), 100);
}

// --- Repeat target of a fresh row -----------------------------------------

TEST(RowEncoding, FreshRepeatTargetByMethod)
{
    const uint32_t before = 12345;
    ProcessRandom().SetState(before);
    EXPECT_EQ(FreshRepeatTarget(0, 7), 0);
    EXPECT_EQ(FreshRepeatTarget(1, 7), 0);
    EXPECT_EQ(FreshRepeatTarget(2, 7), 0);
    EXPECT_EQ(FreshRepeatTarget(3, 7), 6);
    EXPECT_EQ(FreshRepeatTarget(3, 1), 0);
    EXPECT_EQ(FreshRepeatTarget(3, 0), 65535);
    EXPECT_EQ(FreshRepeatTarget(3, 65535), 65534);
    // only the randomize method draws
    EXPECT_EQ(ProcessRandom().State(), before);
}

TEST(RowEncoding, FreshRandomizedTargetIsADrawBelowTheCount)
{
    TRandomSource expected;
    for (uint32_t seed : {0u, 1u, 86399999u, 0xFFFFFFFFu}) {
        for (uint16_t count : {uint16_t{1}, uint16_t{5}, uint16_t{65535}}) {
            ProcessRandom().SetState(seed);
            expected.SetState(seed);
            const uint16_t target = FreshRepeatTarget(4, count);
            EXPECT_LT(target, count);
            EXPECT_EQ(target, expected.Random(count));
            EXPECT_EQ(ProcessRandom().State(), expected.State());
        }
    }
    ProcessRandom().SetState(99);
    EXPECT_EQ(FreshRepeatTarget(4, 0), 0);
}

// --- Random source --------------------------------------------------------

TEST(RandomSource, DrawsAreTheUpperHalfOfTheProduct)
{
    // s := s x 134775813 + 1 (mod 2^32), then (n x s) >> 32, worked by hand
    const struct {
        uint32_t State;
        uint32_t N;
        uint32_t NewState;
        uint32_t Value;
    } cases[] = {
        {0, 10, 1, 0},
        {1, 100, 134775814, 3},                 // 13477581400 >> 32
        {1, 0xFFFFFFFFu, 134775814, 134775813}, // n = 2^32 - 1 gives s - 1 for s > 0
        {134775814, 100, 3698175007u, 86},      // the product wraps past 2^32
        {0xFFFFFFFFu, 1000, 4160191484u, 968},  // -134775813 + 1 (mod 2^32)
        {3698175007u, 100, 870078620u, 20},
        {0, 1, 1, 0},
    };
    for (const auto& c : cases) {
        TRandomSource source;
        source.SetState(c.State);
        EXPECT_EQ(source.Random(c.N), c.Value) << "state " << c.State;
        EXPECT_EQ(source.State(), c.NewState) << "state " << c.State;
    }
}

TEST(RandomSource, SequenceFromOneState)
{
    TRandomSource source;
    source.SetState(0);
    EXPECT_EQ(source.Random(100), 0);
    EXPECT_EQ(source.Random(100), 3);
    EXPECT_EQ(source.Random(100), 86);
    EXPECT_EQ(source.Random(100), 20);
}

TEST(RandomSource, ZeroRangeGivesZeroAndStillSteps)
{
    TRandomSource source;
    source.SetState(1);
    EXPECT_EQ(source.Random(0), 0);
    EXPECT_EQ(source.State(), 134775814u);
}

TEST(RandomSource, ReseedTakesMillisecondsSinceMidnight)
{
    TRandomSource source;
    TVirtualClock morning(12345);
    source.Reseed(morning);
    EXPECT_EQ(source.State(), 12345u);

    // the virtual day rolls over at midnight
    TVirtualClock lateEvening(86399990);
    lateEvening.Advance(25);
    source.Reseed(lateEvening);
    EXPECT_EQ(source.State(), 15u);

    TVirtualClock lastMillisecond(86399999);
    source.Reseed(lastMillisecond);
    EXPECT_EQ(source.State(), 86399999u);
}

} // namespace
