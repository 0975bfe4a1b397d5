// The level feed: the probe's arithmetic over real wave images, the
// connector's routing to its displays, and the level clock's pacing on
// virtual time.
#include "audio/level_connector.h"
#include "audio/level_source.h"
#include "audio/wave.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace {

struct TSample {
    int Frame;
    int Channel;
    int32_t Value; // raw: unsigned byte for 8 bits, two's complement above
};

constexpr int kRate = 1000; // 25 ms is 25 frames
constexpr int kFrames = 100;

class TFakeChannel : public ILevelSource {
public:
    TMMWave Wave;
    bool Playing = true;
    bool IsMuted = false;
    int32_t VolumeSetting = 0;
    int32_t PanSetting = 0;
    uint32_t Cursor = 0;
    bool CursorFails = false;

    TFakeChannel() { Wave.CreateMemoryStore(); }
    void Load(uint16_t channels, uint16_t bits, const std::vector<TSample>& samples, uint16_t tag = WAVE_FORMAT_PCM)
    {
        TWaveFormat format = TWaveFormat::Pcm(channels, kRate, bits);
        format->wFormatTag = tag;
        const int width = bits / 8;
        TBytes data(size_t(kFrames) * format->nBlockAlign, bits == 8 ? 128 : 0);
        for (const TSample& s : samples)
            for (int b = 0; b < width; ++b)
                data[size_t(s.Frame) * format->nBlockAlign + size_t(s.Channel * width + b)] =
                    uint8_t(uint32_t(s.Value) >> (8 * b));
        const TBytes image = TRiffBuilder().Fmt(format.Header()).Data(data).Build();
        std::istringstream stream(std::string(image.begin(), image.end()));
        Wave.LoadFromStream(stream);
    }

    const TMMWave& LevelWave() const override { return Wave; }
    bool IsPlaying() override { return Playing; }
    bool Muted() const override { return IsMuted; }
    int32_t Volume() override { return VolumeSetting; }
    int32_t Panning() override { return PanSetting; }
    uint32_t PlayCursor() override
    {
        if (CursorFails)
            throw EAmbitoneError("device lost");
        return Cursor;
    }
};

struct TProbeCase {
    const char* Name;
    uint16_t Channels;
    uint16_t Bits;
    std::vector<TSample> Samples;
    TMMLevels Expected;
    int32_t Volume = 0;
    int32_t Panning = 0;
    int CursorFrame = 10;
    int CursorExtraBytes = 0;
    bool Playing = true;
    bool Muted = false;
    uint16_t Tag = WAVE_FORMAT_PCM;
};

void PrintTo(const TProbeCase& c, std::ostream* out)
{
    *out << c.Name;
}

class LevelProbe : public ::testing::TestWithParam<TProbeCase> {};

TEST_P(LevelProbe, PeakScaledByVolumeAndPan)
{
    const TProbeCase& c = GetParam();
    TFakeChannel channel;
    channel.Load(c.Channels, c.Bits, c.Samples, c.Tag);
    ASSERT_GT(channel.Wave.DataSize(), 0);
    channel.Cursor = uint32_t(c.CursorFrame * c.Channels * (c.Bits / 8) + c.CursorExtraBytes);
    channel.VolumeSetting = c.Volume;
    channel.PanSetting = c.Panning;
    channel.Playing = c.Playing;
    channel.IsMuted = c.Muted;
    const TMMLevels got = GetLevels(channel, 25);
    EXPECT_EQ(got.Left, c.Expected.Left);
    EXPECT_EQ(got.Right, c.Expected.Right);
    EXPECT_EQ(got.Mean, c.Expected.Mean);
}

const std::vector<TSample> kLoudMono = {{12, 0, 20000}};

INSTANTIATE_TEST_SUITE_P(
    Level, LevelProbe,
    ::testing::Values(
        TProbeCase{"FullNegativePeak", 1, 16, {{12, 0, -32768}}, {32768, 32768, 32768}},
        TProbeCase{"EightBitByteZero", 1, 8, {{12, 0, 0}}, {32640, 32640, 32640}},
        TProbeCase{"EightBitByte255", 1, 8, {{12, 0, 255}}, {32385, 32385, 32385}},
        TProbeCase{"EightBitStereo", 2, 8, {{12, 0, 200}, {20, 1, 28}}, {18360, 25500, 21930}},
        TProbeCase{"StereoSides", 2, 16, {{12, 0, 1000}, {20, 1, -2000}}, {1000, 2000, 1500}},
        TProbeCase{"LoudestOfSeveral", 1, 16, {{11, 0, 100}, {20, 0, -30000}, {30, 0, 20000}}, {30000, 30000, 30000}},
        TProbeCase{"MeanTruncates", 2, 16, {{12, 0, 3}}, {3, 0, 1}},
        TProbeCase{"VolumeMinus2000", 1, 16, {{12, 0, 16384}}, {1638, 1638, 1638}, -2000},
        TProbeCase{"VolumeRoundsToNearest", 1, 16, {{12, 0, 32767}}, {32, 32, 32}, -6000},
        TProbeCase{"PanFullRight", 2, 16, {{12, 0, 10000}, {12, 1, 10000}}, {0, 10000, 5000}, 0, 10000},
        TProbeCase{"PanHalfLeft", 2, 16, {{12, 0, 10000}, {12, 1, 10000}}, {10000, 5000, 7500}, 0, -5000},
        TProbeCase{"PanOneRoundsLeftGain", 2, 16, {{12, 0, 16384}, {12, 1, 16384}}, {16383, 16384, 16383}, 0, 1},
        TProbeCase{"PanMinusOneTruncatesTowardZero", 2, 16, {{12, 0, 16384}, {12, 1, 16384}}, {16384, 16383, 16383},
                   0, -1},
        TProbeCase{"TwentyFourBitTopBits", 2, 24, {{12, 0, -8388608}, {12, 1, 255}}, {32768, 0, 16384}},
        TProbeCase{"ThirtyTwoBitTopBits", 1, 32, {{12, 0, 0x7FFFFFFF}}, {32767, 32767, 32767}},
        TProbeCase{"ThirdChannelIgnored", 3, 16, {{12, 0, 1000}, {12, 1, 2000}, {12, 2, 30000}}, {1000, 2000, 1500}},
        TProbeCase{"CursorInsideFrameReadsWholeSamples", 1, 16, {{10, 0, 1000}}, {1000, 1000, 1000}, 0, 0, 10, 1},
        TProbeCase{"LastFrameOfWindowCounts", 1, 16, {{34, 0, 500}}, {500, 500, 500}},
        TProbeCase{"PastWindowIgnored", 1, 16, {{35, 0, 500}}, {0, 0, 0}},
        TProbeCase{"BeforeCursorIgnored", 1, 16, {{9, 0, 500}}, {0, 0, 0}},
        TProbeCase{"LastWholeWindowBeforeEnd", 1, 16, {{98, 0, 500}}, {500, 500, 500}, 0, 0, 74},
        TProbeCase{"WithinLastInterval", 1, 16, {{80, 0, 500}}, {0, 0, 0}, 0, 0, 75},
        TProbeCase{"Silent", 2, 16, {}, {0, 0, 0}},
        TProbeCase{"Muted", 1, 16, kLoudMono, {0, 0, 0}, 0, 0, 10, 0, true, true},
        TProbeCase{"NotPlaying", 1, 16, kLoudMono, {0, 0, 0}, 0, 0, 10, 0, false},
        TProbeCase{"NotPcm", 1, 32, {{12, 0, 0x3F800000}}, {0, 0, 0}, 0, 0, 10, 0, true, false,
                   WAVE_FORMAT_IEEE_FLOAT}),
    [](const ::testing::TestParamInfo<TProbeCase>& param) { return std::string(param.param.Name); });

TEST(LevelProbeEmpty, EmptyWaveAndNoChannelGiveZeros)
{
    TFakeChannel channel; // nothing loaded
    EXPECT_EQ(GetLevels(channel, 25), TMMLevels{});
    TVirtualClock clock;
    TMMDSChannelConnector connector(clock);
    EXPECT_EQ(connector.GetLevels(), TMMLevels{});
}

class TFakeDisplay : public TMMLevelDisplay {
public:
    int Bits = 0;
    int32_t Value = -1;
    void SetBitLength(int bits) override { Bits = bits; }
    void SetValue(int32_t value) override { Value = value; }
};

// Left 1000, right 3000, mean 2000.
void LoadSides(TFakeChannel& channel)
{
    channel.Load(2, 16, {{12, 0, 1000}, {12, 1, 3000}});
}

TEST(LevelConnector, IntervalMustBePositiveAndKeepsTheOldValue)
{
    TVirtualClock clock;
    TMMDSChannelConnector connector(clock);
    EXPECT_EQ(connector.Interval(), 25);
    EXPECT_TRUE(connector.Enabled());
    EXPECT_TRUE(connector.AutoTrigger());
    connector.SetInterval(40);
    for (int32_t bad : {0, -1, INT32_MIN}) {
        try {
            connector.SetInterval(bad);
            ADD_FAILURE() << bad << " was taken";
        } catch (const EMMLevelConnectorError& e) {
            EXPECT_STREQ(e.what(), "Interval should be > 0");
        }
        EXPECT_EQ(connector.Interval(), 40);
    }
}

TEST(LevelConnector, TriggerRoutesSidesOrMeanThenTellsOnTrigger)
{
    struct TRoute {
        bool First, Second;
        int32_t ExpectFirst, ExpectSecond;
    };
    for (const TRoute& route : {TRoute{true, false, 2000, -1}, TRoute{true, true, 1000, 3000},
                                TRoute{false, true, -1, 3000}}) {
        TVirtualClock clock;
        TFakeChannel channel;
        LoadSides(channel);
        TFakeDisplay level1, level2, meter1, meter2;
        TMMDSChannelConnector connector(clock);
        connector.SetChannel(&channel);
        connector.SetLevel1(route.First ? &level1 : nullptr);
        connector.SetLevel2(route.Second ? &level2 : nullptr);
        connector.SetMeter1(route.First ? &meter1 : nullptr);
        connector.SetMeter2(route.Second ? &meter2 : nullptr);
        int32_t seenByHandler = 0;
        connector.SetOnTrigger([&](TMMDSChannelConnector& sender) {
            EXPECT_EQ(&sender, &connector);
            seenByHandler = route.Second ? level2.Value : level1.Value;
        });
        connector.Trigger();
        EXPECT_EQ(level1.Value, route.ExpectFirst);
        EXPECT_EQ(level2.Value, route.ExpectSecond);
        EXPECT_EQ(meter1.Value, route.ExpectFirst);
        EXPECT_EQ(meter2.Value, route.ExpectSecond);
        EXPECT_EQ(seenByHandler, route.Second ? route.ExpectSecond : route.ExpectFirst) << "displays come first";
    }
}

TEST(LevelConnector, DisplaysAreScaledOnChangeAndNeverInBothSlots)
{
    TVirtualClock clock;
    TMMDSChannelConnector connector(clock);
    TFakeDisplay a, b;
    connector.SetLevel1(&a);
    EXPECT_EQ(a.Bits, 16);
    connector.SetLevel2(&a);
    EXPECT_EQ(connector.Level1(), nullptr);
    EXPECT_EQ(connector.Level2(), &a);
    connector.SetMeter1(&b);
    connector.SetMeter2(&b);
    EXPECT_EQ(connector.Meter1(), nullptr);
    a.Bits = b.Bits = 8;
    connector.SetEnabled(false);
    EXPECT_EQ(a.Bits, 16) << "every display is scaled again";
    EXPECT_EQ(b.Bits, 16);
}

TEST(LevelConnector, DepartingChannelIsClearedFromItsConnectorsOnly)
{
    TVirtualClock clock;
    TFakeChannel channel, other;
    TMMDSChannelConnector first(clock), second(clock);
    first.SetChannel(&channel);
    second.SetChannel(&other);
    TMMDSChannelConnector::ChannelDestroyed(&channel);
    EXPECT_EQ(first.Channel(), nullptr);
    EXPECT_EQ(second.Channel(), &other);
}

// Every trigger's time on the virtual clock.
std::vector<int64_t> TriggerTimes(TMMDSChannelConnector& connector, TVirtualClock& clock, int64_t advanceMs)
{
    std::vector<int64_t> times;
    connector.SetOnTrigger([&](TMMDSChannelConnector&) { times.push_back(clock.Now()); });
    clock.Advance(advanceMs);
    connector.SetOnTrigger(nullptr);
    return times;
}

TEST(LevelClockPacing, TriggersEveryIntervalInStepsOfTheClock)
{
    struct TPace {
        int32_t Interval;
        std::vector<int64_t> Times;
    };
    for (const TPace& pace : {TPace{25, {25, 50, 75, 100, 125, 150}}, TPace{10, {25, 50, 75, 100, 125, 150}},
                              TPace{60, {75, 150}}, TPace{100, {100}}}) {
        TVirtualClock clock;
        TMMDSChannelConnector connector(clock);
        connector.SetInterval(pace.Interval);
        EXPECT_EQ(TriggerTimes(connector, clock, 150), pace.Times) << "Interval " << pace.Interval;
    }
}

TEST(LevelClockPacing, NewIntervalRestartsTheCountAndDisabledPostsNothing)
{
    TVirtualClock clock;
    TMMDSChannelConnector connector(clock);
    connector.SetInterval(100);
    clock.Advance(75);
    connector.SetInterval(100);
    EXPECT_EQ(TriggerTimes(connector, clock, 100), (std::vector<int64_t>{175}));
    connector.SetEnabled(false);
    EXPECT_TRUE(TriggerTimes(connector, clock, 300).empty());
}

TEST(LevelClockPacing, WithoutAutoTriggerOnlyDisplayOrEnabledChangesTrigger)
{
    TVirtualClock clock;
    TMMDSChannelConnector connector(clock);
    connector.SetAutoTrigger(false);
    int triggers = 0;
    connector.SetOnTrigger([&](TMMDSChannelConnector&) { ++triggers; });
    clock.Advance(500);
    EXPECT_EQ(triggers, 0);
    TFakeDisplay display;
    connector.SetLevel2(&display);
    connector.SetLevel2(&display); // no change
    EXPECT_EQ(triggers, 1);
    connector.SetEnabled(false);
    EXPECT_EQ(triggers, 2);
    connector.SetAutoTrigger(true);
    connector.SetEnabled(true);
    EXPECT_EQ(triggers, 2) << "paced connectors do not trigger on changes";
    clock.Advance(50);
    EXPECT_EQ(triggers, 4);
}

// A user-interface thread that runs posted work only when told, each piece
// under an error guard as the window's event loop does.
class TBusyClock : public IClock {
public:
    TVirtualClock Inner;
    std::vector<std::function<void()>> Held;
    std::vector<std::string> Errors;

    TTimerId StartTimerOn(TTimerThread thread, int intervalMs, std::function<void()> tick) override
    {
        return Inner.StartTimerOn(thread, intervalMs, std::move(tick));
    }
    void StopTimer(TTimerId id) override { Inner.StopTimer(id); }
    void Post(std::function<void()> work) override { Held.push_back(std::move(work)); }
    int64_t MillisecondsSinceMidnightUtc() override { return Inner.MillisecondsSinceMidnightUtc(); }
    int64_t SteadyMilliseconds() override { return Inner.SteadyMilliseconds(); }
    void RunHeld()
    {
        std::vector<std::function<void()>> batch;
        batch.swap(Held);
        for (auto& work : batch)
            try {
                work();
            } catch (const EAmbitoneError& e) {
                Errors.push_back(e.what());
            }
    }
};

TEST(LevelClockPacing, BusyUserInterfaceSkipsAndARaisingTriggerStopsOnlyItsConnector)
{
    TBusyClock clock;
    TFakeChannel failing;
    LoadSides(failing);
    failing.CursorFails = true;
    TMMDSChannelConnector broken(clock), healthy(clock);
    broken.SetChannel(&failing);
    int healthyTriggers = 0;
    healthy.SetOnTrigger([&](TMMDSChannelConnector&) { ++healthyTriggers; });
    clock.Inner.Advance(200);
    EXPECT_EQ(clock.Held.size(), 2u) << "one waiting trigger per connector";
    clock.RunHeld();
    EXPECT_EQ(clock.Errors, std::vector<std::string>{"device lost"});
    EXPECT_EQ(healthyTriggers, 1);
    clock.Inner.Advance(100);
    EXPECT_EQ(clock.Held.size(), 1u) << "the raising connector posts no more";
    clock.RunHeld();
    EXPECT_EQ(healthyTriggers, 2);
}

TEST(LevelClockPacing, DestroyedConnectorDropsItsWaitingTrigger)
{
    TBusyClock clock;
    TMMDSChannelConnector keeper(clock);
    keeper.SetEnabled(false);
    auto gone = std::make_unique<TMMDSChannelConnector>(clock);
    clock.Inner.Advance(25);
    ASSERT_EQ(clock.Held.size(), 1u);
    gone.reset();
    int triggers = 0;
    // Most likely at the address just freed.
    auto successor = std::make_unique<TMMDSChannelConnector>(clock);
    successor->SetOnTrigger([&](TMMDSChannelConnector&) { ++triggers; });
    clock.RunHeld();
    EXPECT_EQ(triggers, 0);
}

TEST(LevelClockPacing, ClockRunsWhileAnyConnectorExists)
{
    TVirtualClock clock;
    EXPECT_EQ(LevelClock(clock), nullptr);
    auto first = std::make_unique<TMMDSChannelConnector>(clock);
    {
        TMMDSChannelConnector second(clock);
        EXPECT_EQ(clock.TimerCount(), 1u);
        EXPECT_EQ(LevelClock(clock)->ConnectorCount(), 2u);
    }
    EXPECT_EQ(clock.TimerCount(), 1u);
    // A connector that destroys itself from its own trigger is the last.
    first->SetOnTrigger([&](TMMDSChannelConnector&) { first.reset(); });
    clock.Advance(25);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(clock.TimerCount(), 0u);
    EXPECT_EQ(LevelClock(clock), nullptr);
}

} // namespace
