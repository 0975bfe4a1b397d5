// The scheme scheduler on a virtual clock: periods and firing, transport
// values, the repeat methods' bursts, randomized waits, loop length changes,
// errors from a channel, and the two timers' lives.
#include "playback/scheduler.h"

#include "base/clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A channel whose sample lasts DurationMs of the virtual clock; the test
// reports its ends to the scheduler itself, as the mixer's owner would.
class TFakeChannel : public IPlaybackChannel {
public:
    explicit TFakeChannel(TVirtualClock& clock) : m_clock(clock) {}

    void Play() override
    {
        ++PlayCalls;
        if (ThrowOnPlay)
            throw std::runtime_error("the sound device could not be opened");
        ++Plays;
        m_playing = true;
        m_startedAt = m_clock.Now();
    }
    void Stop() override
    {
        ++Stops;
        m_playing = false;
    }
    bool IsPlaying() override { return m_playing && (m_looping || m_clock.Now() < m_startedAt + DurationMs); }
    bool Looping() override { return m_looping; }
    void SetLooping(bool looping) override { m_looping = looping; }
    TPlaybackPosition Position() override { return {X, Y, Z}; }
    void SetPositionX(long double x) override { Write('X', X, x); }
    void SetPositionY(long double y) override { Write('Y', Y, y); }
    void SetPositionZ(long double z) override { Write('Z', Z, z); }

    void Finish() { m_playing = false; } // the sample ran out

    int64_t DurationMs = 500;
    bool ThrowOnPlay = false;
    int PlayCalls = 0, Plays = 0, Stops = 0;
    float X = 0, Y = 0, Z = 0; // the platform holds single precision
    std::string Writes;        // the components written, in order

private:
    void Write(char name, float& component, long double value)
    {
        Writes += name;
        component = static_cast<float>(value);
    }

    TVirtualClock& m_clock;
    bool m_playing = false, m_looping = false;
    int64_t m_startedAt = 0;
};

class SchedulerTest : public testing::Test {
protected:
    SchedulerTest()
    {
        scheduler.OnEvent = [this](int row, TPlaybackEvent event) {
            events.push_back({row, event});
            if (event == TPlaybackEvent::Fire)
                fires.push_back(clock.Now() / 1000);
        };
    }

    TPlaybackRow& AddRow(int slider, int32_t method = 0, uint16_t count = 0)
    {
        TFakeChannel& channel = channels.emplace_back(clock);
        TPlaybackRow& row = rows.emplace_back();
        row.SliderPosition = slider;
        row.RepeatMethod = method;
        row.RepeatCount = count;
        row.RepeatTarget = FreshRepeatTarget(method, count);
        row.Channel = &channel;
        UpdatePeriodDisplay(row, scheduler.LoopLength());
        std::vector<TPlaybackRow*> list;
        for (TPlaybackRow& each : rows)
            list.push_back(&each);
        scheduler.SetRows(list);
        return row;
    }

    void Seconds(int n) { clock.Advance(1000LL * n); }

    // After a firing: lets each play run out until the burst ends; the
    // number of plays, or -1 when it does not end within 1000.
    int SoundBurst(int index)
    {
        for (int plays = 1; plays <= 1000; ++plays) {
            channels[index].Finish();
            scheduler.ChannelEndPlay(index, true);
            if (events.back() == std::pair{index, TPlaybackEvent::End})
                return plays;
        }
        return -1;
    }

    TVirtualClock clock{(7 * 3600 + 12 * 60) * 1000LL + 345};
    TRandomSource random;
    TScheduler scheduler{clock, random};
    std::deque<TFakeChannel> channels;
    std::deque<TPlaybackRow> rows;
    std::vector<std::pair<int, TPlaybackEvent>> events;
    std::vector<int64_t> fires; // the second of each firing
};

struct TPeriodCase {
    int Slider;
    std::vector<int64_t> Fires; // within the first 95 seconds
    bool Loops;
};

class SchedulerPeriodTest : public SchedulerTest, public testing::WithParamInterface<TPeriodCase> {};

TEST_P(SchedulerPeriodTest, ARowFiresWhenItsPeriodHasPassed)
{
    const TPeriodCase& c = GetParam();
    AddRow(c.Slider);
    scheduler.Play();
    Seconds(95);
    if (c.Slider == 99) {
        std::vector<int64_t> everySecond;
        for (int64_t s = 1; s <= 95; ++s)
            everySecond.push_back(s);
        EXPECT_EQ(fires, everySecond);
    } else {
        EXPECT_EQ(fires, c.Fires);
    }
    EXPECT_EQ(channels[0].Looping(), c.Loops);
    EXPECT_EQ(channels[0].Plays, c.Loops ? 1 : static_cast<int>(fires.size()));
}

INSTANTIATE_TEST_SUITE_P(LoopOf60, SchedulerPeriodTest,
                         testing::Values(TPeriodCase{50, {30, 60, 90}, false}, TPeriodCase{99, {}, false},
                                         TPeriodCase{100, {}, true}, TPeriodCase{0, {}, false}));

TEST_F(SchedulerTest, LoopCountGaugeAndPlayTime)
{
    scheduler.Play();
    std::vector<int> counts, gauges;
    for (int s = 0; s < 61; ++s) {
        Seconds(1);
        counts.push_back(scheduler.LoopCount());
        gauges.push_back(scheduler.GaugePercent());
    }
    EXPECT_EQ(std::vector<int>(counts.begin(), counts.begin() + 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(counts[59], 60);
    EXPECT_EQ(counts[60], 1);
    EXPECT_EQ(std::vector<int>(gauges.begin(), gauges.begin() + 3), (std::vector<int>{2, 3, 5}));
    EXPECT_EQ(gauges[59], 100);
    EXPECT_EQ(gauges[60], 2);
    EXPECT_EQ(scheduler.PlayTime(), 61);
    EXPECT_EQ(scheduler.LoopPosition(), 1);

    for (int s = 0; s < 100000; ++s)
        scheduler.Tick();
    EXPECT_EQ(scheduler.PlayTime(), 99999);
}

TEST_F(SchedulerTest, TheGaugeRoundsExactHalvesToEven)
{
    scheduler.SchemeSelected(120);
    scheduler.Play();
    std::vector<int> gauges;
    for (int s = 0; s < 9; ++s) {
        Seconds(1);
        gauges.push_back(scheduler.GaugePercent());
    }
    // 2.5 and 7.5 per cent fall on halves.
    EXPECT_EQ(gauges, (std::vector<int>{1, 2, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(SchedulerTest, ASampleLongerThanItsPeriodFiresOnTheFirstTickAfterItEnds)
{
    AddRow(50);
    channels[0].DurationMs = 45500;
    scheduler.Play();
    Seconds(80);
    EXPECT_EQ(fires, (std::vector<int64_t>{30, 76}));
}

TEST_F(SchedulerTest, FiringDependsOnTheRowsOwnCountOnly)
{
    // Elapsed survives Stop and Play and is independent of the loop position;
    // nothing else of the channel (a muted channel looks like any other here).
    TPlaybackRow& row = AddRow(50);
    scheduler.Play();
    Seconds(20);
    scheduler.Stop();
    EXPECT_EQ(row.Elapsed, 20);
    scheduler.Play();
    Seconds(10);
    EXPECT_EQ(fires, (std::vector<int64_t>{30}));
    EXPECT_EQ(scheduler.LoopPosition(), 10);
}

struct TBurstCase {
    const char* Name;
    int32_t Method;
    uint16_t Count;
    std::vector<int> Bursts;
};

class SchedulerBurstTest : public SchedulerTest, public testing::WithParamInterface<TBurstCase> {};

TEST_P(SchedulerBurstTest, BurstsFromAFreshRow)
{
    const TBurstCase& c = GetParam();
    AddRow(99, c.Method, c.Count);
    scheduler.Play();
    std::vector<int> bursts;
    for (size_t i = 0; i < c.Bursts.size(); ++i) {
        Seconds(1);
        ASSERT_EQ(events.back(), (std::pair{0, TPlaybackEvent::Fire}));
        bursts.push_back(SoundBurst(0));
    }
    EXPECT_EQ(bursts, c.Bursts);
    EXPECT_EQ(rows[0].RepeatsDone, 0);
}

INSTANTIATE_TEST_SUITE_P(Methods, SchedulerBurstTest,
                         testing::Values(TBurstCase{"Normal", 1, 3, {3, 3, 3}},
                                         TBurstCase{"Increment", 2, 3, {1, 2, 3, 1, 2, 3}},
                                         TBurstCase{"Decrement", 3, 3, {2, 1, 3, 2, 1, 3}},
                                         TBurstCase{"NormalOnce", 1, 1, {1, 1}},
                                         TBurstCase{"NoRepeat", 0, 3, {1, 1}},
                                         TBurstCase{"UnknownMethod", 5, 3, {1, 1}}),
                         [](const testing::TestParamInfo<TBurstCase>& p) { return std::string(p.param.Name); });

TEST_F(SchedulerTest, RandomizedBurstsAreTheDrawnTargetPlusOne)
{
    AddRow(99, 4, 3);
    scheduler.Play();
    std::set<int> sizes;
    for (int i = 0; i < 40; ++i) {
        Seconds(1);
        const int target = rows[0].RepeatTarget;
        const int burst = SoundBurst(0);
        EXPECT_EQ(burst, target + 1);
        sizes.insert(burst);
    }
    EXPECT_EQ(sizes, (std::set<int>{1, 2, 3}));
}

struct TEndlessCase {
    int32_t Method;
    uint16_t Count;
};

class SchedulerEndlessBurstTest : public SchedulerTest, public testing::WithParamInterface<TEndlessCase> {};

TEST_P(SchedulerEndlessBurstTest, NeverEndsByItselfAcrossTheCountersWrap)
{
    AddRow(99, GetParam().Method, GetParam().Count); // normal with 0, decrement built with 1 (target 0)
    scheduler.PlayRow(0);
    for (int i = 0; i < 70000; ++i) {
        channels[0].Finish();
        scheduler.ChannelEndPlay(0, true);
    }
    EXPECT_EQ(channels[0].Plays, 70001);
    EXPECT_EQ(rows[0].RepeatsDone, static_cast<uint16_t>(70000));
    EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](auto& e) { return e.second == TPlaybackEvent::End; }));
}

INSTANTIATE_TEST_SUITE_P(TargetsNeverMet, SchedulerEndlessBurstTest,
                         testing::Values(TEndlessCase{1, 0}, TEndlessCase{3, 1}));

TEST_F(SchedulerTest, StopDuringABurstSilencesItAndKeepsTheCount)
{
    AddRow(99, 1, 3);
    scheduler.Play();
    Seconds(1);
    channels[0].Finish();
    scheduler.ChannelEndPlay(0, true); // first replay
    scheduler.Stop();
    scheduler.ChannelEndPlay(0, false); // the report of that stop
    EXPECT_FALSE(channels[0].IsPlaying());
    EXPECT_EQ(channels[0].Plays, 2);
    EXPECT_EQ(rows[0].RepeatsDone, 1);

    scheduler.Play();
    Seconds(1);
    EXPECT_EQ(SoundBurst(0), 2); // the count goes on from 1
}

TEST_F(SchedulerTest, AStoppedEndChangesNothingWhileANaturalOneRepeatsEvenWhenStopped)
{
    TPlaybackRow& row = AddRow(50, 2, 3);
    row.RepeatTarget = 1;
    scheduler.PlayRow(0);
    EXPECT_EQ(row.Elapsed, 0);
    scheduler.ChannelEndPlay(0, false);
    scheduler.ChannelEndPlay(-1, true);
    scheduler.ChannelEndPlay(1, true);
    EXPECT_EQ(channels[0].Plays, 1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(row.RepeatsDone, 0);

    EXPECT_EQ(SoundBurst(0), 2);
    EXPECT_EQ(row.RepeatTarget, 2);
}

TEST_F(SchedulerTest, RandomizedWaitsKeepThePeriodDisplay)
{
    TPlaybackRow& row = AddRow(50);
    row.Randomize = true;
    scheduler.Play();
    Seconds(30);
    ASSERT_EQ(fires, (std::vector<int64_t>{30}));
    std::set<int> sliders;
    for (int i = 0; i < 30; ++i) {
        const int e = 100 - row.SliderPosition;
        ASSERT_GE(e, 1);
        ASSERT_LE(e, 29);
        sliders.insert(row.SliderPosition);
        const size_t count = fires.size();
        const int64_t wait = RoundHalfEven(0.6L * e);
        Seconds(static_cast<int>(wait));
        ASSERT_EQ(fires.size(), count + 1) << "e = " << e;
        ASSERT_EQ(fires.back(), fires[count - 1] + wait) << "e = " << e;
        EXPECT_EQ(row.PeriodDisplay, 30);
    }
    EXPECT_GT(sliders.size(), 5u);
}

TEST_F(SchedulerTest, RandomizeWithAPeriodOfOneKeepsTheSlider)
{
    TPlaybackRow& row = AddRow(99);
    row.Randomize = true;
    scheduler.Play();
    Seconds(5);
    EXPECT_EQ(fires.size(), 5u);
    EXPECT_EQ(row.SliderPosition, 99);
    EXPECT_EQ(row.PeriodDisplay, 1);
}

struct TLengthCase {
    int Before;
    int Tag;
    int After;
    int Slider;
    int PeriodBefore;
    int PeriodAfter;
};

class SchedulerLoopLengthTest : public SchedulerTest, public testing::WithParamInterface<TLengthCase> {};

TEST_P(SchedulerLoopLengthTest, ChangeKeepsEachRowsFractionOfTheLoop)
{
    const TLengthCase& c = GetParam();
    scheduler.SetLoopLength(c.Before);
    TPlaybackRow& row = AddRow(c.Slider);
    ASSERT_EQ(row.PeriodDisplay, c.PeriodBefore);
    scheduler.ChangeLoopLength(c.Tag);
    EXPECT_EQ(scheduler.LoopLength(), c.After);
    EXPECT_EQ(row.PeriodDisplay, c.PeriodAfter);
    EXPECT_EQ(row.SliderPosition, c.Slider);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SchedulerLoopLengthTest,
    testing::Values(TLengthCase{960, 1, 999, 50, 480, 500}, TLengthCase{999, 2, 939, 50, 500, 470},
                    TLengthCase{99, 2, 60, 50, 50, 50}, // below 60: the periods stay as they were
                    TLengthCase{60, 2, 60, 50, 30, 30}, TLengthCase{60, 1, 120, 50, 30, 60},
                    TLengthCase{0, 1, 60, 50, 0, 30})); // a loop of 0 had no fraction: from the slider

TEST_F(SchedulerTest, ALoopLengthChangeKeepsARandomizedSlider)
{
    TPlaybackRow& row = AddRow(50);
    row.SliderPosition = 80; // moved by Randomize; the display still says 30
    std::vector<int> changed;
    scheduler.OnRowChanged = [&](int index) { changed.push_back(index); };
    scheduler.ChangeLoopLength(1);
    EXPECT_EQ(row.PeriodDisplay, 60);
    EXPECT_EQ(row.SliderPosition, 80);
    EXPECT_EQ(changed, std::vector<int>{0});
}

TEST_F(SchedulerTest, APeriodLongerThanTheLoopRescalesToTheWholeLoop)
{
    scheduler.SetLoopLength(99);
    TPlaybackRow& row = AddRow(1); // D = 98
    scheduler.ChangeLoopLength(2); // 60, D left at 98
    scheduler.ChangeLoopLength(1); // the slider holds no position above the loop's end
    EXPECT_EQ(scheduler.LoopLength(), 120);
    EXPECT_EQ(row.PeriodDisplay, 120);
    EXPECT_FALSE(row.PeriodVisible);
}

TEST_F(SchedulerTest, EveryTransportChangeIsTold)
{
    int told = 0;
    int shownLength = -1;
    scheduler.OnTransportChanged = [&] {
        ++told;
        shownLength = scheduler.LoopLength();
    };
    const std::vector<std::function<void()>> changes = {
        [&] { scheduler.Play(); },           [&] { scheduler.Tick(); },
        [&] { scheduler.ChangeLoopLength(1); }, [&] { scheduler.ChangeLoopLength(2); },
        [&] { scheduler.Stop(); },           [&] { scheduler.SetLoopLength(30); },
        [&] { scheduler.SchemeSelected(180); }};
    for (size_t i = 0; i < changes.size(); ++i) {
        const int before = told;
        changes[i]();
        EXPECT_GT(told, before) << "change " << i;
    }
    EXPECT_EQ(shownLength, 180);
}

TEST_F(SchedulerTest, ResettingTheLoopKeepsTheTimersAndTheButton)
{
    scheduler.Play();
    for (int i = 0; i < 17; ++i)
        scheduler.Tick();
    ASSERT_EQ(scheduler.LoopPosition(), 17);
    scheduler.ResetLoop(240);
    EXPECT_EQ(scheduler.LoopLength(), 240);
    EXPECT_EQ(scheduler.LoopPosition(), 0);
    EXPECT_EQ(scheduler.LoopCount(), 0);
    EXPECT_EQ(scheduler.PlayTime(), 0);
    EXPECT_EQ(scheduler.GaugePercent(), 0);
    EXPECT_TRUE(scheduler.Playing());
    EXPECT_TRUE(scheduler.PlayButtonDown());
    EXPECT_TRUE(scheduler.MotionRunning());
    scheduler.ResetLoop(5000);
    EXPECT_EQ(scheduler.LoopLength(), 999); // what the display holds
}

TEST_F(SchedulerTest, AnErrorInATickLeavesTheRestOfItUndone)
{
    for (int i = 0; i < 3; ++i)
        AddRow(0);
    scheduler.Play();
    Seconds(59);
    for (TPlaybackRow& row : rows) {
        row.SliderPosition = 99;
        row.Elapsed = 0;
        UpdatePeriodDisplay(row, 60);
    }
    channels[1].ThrowOnPlay = true;
    EXPECT_THROW(Seconds(1), std::runtime_error);
    EXPECT_EQ(channels[0].Plays, 1);
    EXPECT_EQ(rows[0].Elapsed, 0);
    EXPECT_EQ(rows[1].Elapsed, 1); // not reset: tried again next tick
    EXPECT_EQ(rows[2].Elapsed, 0); // not reached
    EXPECT_EQ(channels[2].PlayCalls, 0);
    EXPECT_EQ(scheduler.LoopPosition(), 60); // no wrap
    EXPECT_TRUE(scheduler.Playing());
    EXPECT_EQ(clock.TimerCount(), 2u);

    channels[1].ThrowOnPlay = false;
    Seconds(1);
    EXPECT_EQ(channels[1].Plays, 1);
    EXPECT_EQ(channels[2].Plays, 1);
    EXPECT_EQ(scheduler.LoopPosition(), 0);
}

TEST_F(SchedulerTest, PlayPlacesEveryRowAndStartsTheContinuousOnes)
{
    TPlaybackRow& first = AddRow(100);
    first.CoordX = 1.1f, first.CoordY = 2.2f, first.CoordZ = -3.3f;
    AddRow(50);
    scheduler.Play();
    EXPECT_EQ(channels[0].Writes, "XYZ");
    EXPECT_EQ(channels[0].X, 1.1f);
    EXPECT_EQ(channels[0].Z, -3.3f);
    EXPECT_TRUE(channels[0].Looping());
    EXPECT_EQ(channels[0].Plays, 1);
    EXPECT_EQ(channels[1].Writes, "XYZ");
    EXPECT_EQ(channels[1].Plays, 0);

    scheduler.Play(); // already playing: only the button
    EXPECT_TRUE(scheduler.PlayButtonDown());
    EXPECT_EQ(channels[0].Writes, "XYZ");
    EXPECT_EQ(channels[0].Plays, 1);
    EXPECT_EQ(clock.TimerCount(), 2u);
}

TEST_F(SchedulerTest, AnErrorStartingAContinuousRowLeavesTheLaterOnesUnstarted)
{
    AddRow(100);
    AddRow(100);
    channels[0].ThrowOnPlay = true;
    EXPECT_THROW(scheduler.Play(), std::runtime_error);
    EXPECT_TRUE(scheduler.Playing());
    EXPECT_EQ(channels[1].Writes, "");
    EXPECT_EQ(channels[1].PlayCalls, 0);
}

TEST_F(SchedulerTest, StopSilencesAndClearsTheTransportOnly)
{
    TPlaybackRow& looping = AddRow(100);
    TPlaybackRow& other = AddRow(50, 1, 3);
    scheduler.Play();
    Seconds(31);
    other.SliderPosition = 77;
    other.RepeatsDone = 2;
    std::vector<int> changed;
    scheduler.OnRowChanged = [&](int index) { changed.push_back(index); };
    scheduler.Stop();
    EXPECT_FALSE(scheduler.PlayButtonDown());
    EXPECT_FALSE(scheduler.Playing());
    EXPECT_FALSE(scheduler.MotionRunning());
    EXPECT_EQ(clock.TimerCount(), 0u);
    for (TFakeChannel& channel : channels) {
        EXPECT_FALSE(channel.IsPlaying());
        EXPECT_FALSE(channel.Looping());
    }
    EXPECT_EQ(changed, (std::vector<int>{0, 1}));
    EXPECT_EQ(scheduler.LoopPosition() + scheduler.LoopCount() + scheduler.PlayTime() + scheduler.GaugePercent(), 0);
    EXPECT_EQ(looping.Elapsed, 31);
    EXPECT_EQ(other.Elapsed, 1);
    EXPECT_EQ(other.SliderPosition, 77);
    EXPECT_EQ(other.RepeatsDone, 2);
}

TEST_F(SchedulerTest, TheMotionTickRunsFromStartUpUntilTheFirstStopThenOnlyWhilePlaying)
{
    int motionTicks = 0;
    scheduler.OnMotionTick = [&] { ++motionTicks; };
    EXPECT_TRUE(scheduler.MotionRunning());
    Seconds(1);
    EXPECT_EQ(motionTicks, 10);
    scheduler.Play();
    scheduler.Stop();
    scheduler.PlayRow(-1);
    Seconds(1);
    EXPECT_EQ(motionTicks, 10);
    scheduler.Play();
    Seconds(1);
    EXPECT_EQ(motionTicks, 20);
    scheduler.SchemeSelected(1200);
    Seconds(1);
    EXPECT_EQ(motionTicks, 20);
    EXPECT_EQ(scheduler.LoopLength(), 999);
    EXPECT_FALSE(scheduler.PlayButtonDown());
    EXPECT_EQ(scheduler.PlayTime(), 0);
    {
        TScheduler another(clock, random);
        EXPECT_EQ(clock.TimerCount(), 1u);
    }
    EXPECT_EQ(clock.TimerCount(), 0u);
}

TEST_F(SchedulerTest, ALoopOfZeroShowsNoGaugeAndFiresNothing)
{
    scheduler.SetLoopLength(0);
    TPlaybackRow& row = AddRow(50);
    row.Randomize = true;
    AddRow(100);
    std::vector<int> periods;
    scheduler.OnRowProgress = [&](int, int, int period) { periods.push_back(period); };
    scheduler.Play();
    Seconds(5);
    EXPECT_EQ(scheduler.GaugePercent(), 0);
    EXPECT_EQ(scheduler.LoopPosition(), 0);
    EXPECT_EQ(scheduler.PlayTime(), 5);
    EXPECT_TRUE(fires.empty());
    EXPECT_EQ(periods, std::vector<int>(5, 0)); // the looping row has no bar
    EXPECT_TRUE(channels[1].IsPlaying());
}

TEST_F(SchedulerTest, AZeroPeriodInAShortLoopFiresOncePerTickWhenSilent)
{
    scheduler.SetLoopLength(10);
    TPlaybackRow& row = AddRow(50); // D = 5
    row.Randomize = true;
    channels[0].DurationMs = 2500;
    scheduler.Play();
    Seconds(5);
    ASSERT_EQ(fires, std::vector<int64_t>{5});
    ASSERT_EQ(PeriodFromSlider(row.SliderPosition, 10), 0); // 100 - e, e in 1..4
    Seconds(9);
    EXPECT_EQ(fires, (std::vector<int64_t>{5, 8, 11, 14}));
    channels[0].DurationMs = 100;
    Seconds(3);
    EXPECT_EQ(fires, (std::vector<int64_t>{5, 8, 11, 14, 15, 16, 17}));
}

TEST_F(SchedulerTest, ASliderMovedWhilePlayingFollowsItsNewPosition)
{
    TPlaybackRow& row = AddRow(50);
    row.SliderPosition = 100;
    scheduler.SliderMovedWhilePlaying(0); // stopped: not the scheduler's business
    EXPECT_EQ(channels[0].Plays, 0);
    row.SliderPosition = 50;

    scheduler.Play();
    Seconds(7);
    row.SliderPosition = 100;
    scheduler.SliderMovedWhilePlaying(0);
    scheduler.SliderMovedWhilePlaying(0);
    EXPECT_TRUE(channels[0].Looping());
    EXPECT_EQ(channels[0].Plays, 2);
    EXPECT_EQ(row.EndIcon, TEndIcon::Often);
    EXPECT_EQ(row.Elapsed, 0);

    Seconds(3);
    row.SliderPosition = 75;
    scheduler.SliderMovedWhilePlaying(0);
    EXPECT_FALSE(channels[0].Looping());
    EXPECT_FALSE(channels[0].IsPlaying());
    EXPECT_EQ(row.PeriodDisplay, 15);
    EXPECT_EQ(row.Elapsed, 0);
    Seconds(15);
    EXPECT_EQ(fires, std::vector<int64_t>{25});
}

} // namespace
