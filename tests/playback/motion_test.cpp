#include "playback/motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace {

// A channel that keeps its position at single precision, as the platform
// does, and remembers whether anything not finite was ever sent to it.
class TFloatChannel : public IPlaybackChannel {
public:
    bool Playing = true;
    float X = 0, Y = 0, Z = 0;
    int Writes = 0;
    bool NonFiniteWritten = false;

    void Play() override { Playing = true; }
    void Stop() override { Playing = false; }
    bool IsPlaying() override { return Playing; }
    bool Looping() override { return false; }
    void SetLooping(bool) override {}
    TPlaybackPosition Position() override { return {X, Y, Z}; }
    void SetPositionX(long double x) override { X = Store(x); }
    void SetPositionY(long double y) override { Y = Store(y); }
    void SetPositionZ(long double z) override { Z = Store(z); }

    void MoveTo(float x, float y, float z)
    {
        X = x;
        Y = y;
        Z = z;
    }

private:
    float Store(long double value)
    {
        ++Writes;
        if (!std::isfinite(value) || !std::isfinite(static_cast<float>(value)))
            NonFiniteWritten = true;
        return static_cast<float>(value);
    }
};

constexpr double kFourDecimals = 1e-4;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct TMotionFixture : ::testing::Test {
    TFloatChannel Channel;
    TPlaybackRow Row;

    void SetHome(float x, float y, float z)
    {
        Row.CoordX = x;
        Row.CoordY = y;
        Row.CoordZ = z;
        Channel.MoveTo(x, y, z);
    }
    void Tick(int loopLength = 60) { MotionTick({&Row}, loopLength); }
    void SetUp() override { Row.Channel = &Channel; }
};

// --- Circle ---------------------------------------------------------------

struct TCircleCase {
    const char* Name;
    int Speed;
    bool Reverse;
    int Ticks;
    double X, Z;
};

class TCircle : public TMotionFixture, public ::testing::WithParamInterface<TCircleCase> {};

TEST_P(TCircle, MovesAlongTheHomeRadius)
{
    const TCircleCase& c = GetParam();
    SetHome(3, 0, 4); // angle 53.1301 degrees, radius 5
    Channel.Y = 7;    // the circle never touches the height
    Row.Pattern = 1;
    Row.PatternSpeed = c.Speed;
    Row.ReversePattern = c.Reverse;
    for (int i = 0; i < c.Ticks; ++i)
        Tick();
    EXPECT_NEAR(Channel.X, c.X, kFourDecimals);
    EXPECT_NEAR(Channel.Z, c.Z, kFourDecimals);
    EXPECT_EQ(Channel.Y, 7);
    EXPECT_NEAR(std::hypot(Channel.X, Channel.Z), 5, kFourDecimals);
}

INSTANTIATE_TEST_SUITE_P(Motion, TCircle,
                         ::testing::Values(
                             // 6 degrees a tick at "Medium" with a loop of 60
                             TCircleCase{"MediumFirstTick", 1, false, 1, 2.56545, 4.29167},
                             TCircleCase{"MediumReversedFirstTick", 1, true, 1, 3.40168, 3.66450},
                             // a quarter turn (15 ticks) takes the source from (3, 4) to (-4, 3)
                             TCircleCase{"MediumQuarterTurn", 1, false, 15, -4, 3},
                             TCircleCase{"MediumReversedQuarterTurn", 1, true, 15, 4, -3},
                             // a turn takes L / s ticks: 60 at "Medium", 15 at "Fastest"
                             TCircleCase{"MediumFullTurn", 1, false, 60, 3, 4},
                             TCircleCase{"FastestFullTurn", 4, false, 15, 3, 4},
                             TCircleCase{"SlowStaysHome", 0, false, 10, 3, 4}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST_F(TMotionFixture, CircleTakesItsAngleFromWhereTheSourceIs)
{
    SetHome(3, 0, 4);
    Channel.MoveTo(0, 0, -2); // moved away (behind), but the home radius holds
    Row.Pattern = 1;
    Tick();
    // 270 + 6 degrees at radius 5
    EXPECT_NEAR(Channel.X, 5 * std::cos(276 * std::numbers::pi / 180), kFourDecimals);
    EXPECT_NEAR(Channel.Z, 5 * std::sin(276 * std::numbers::pi / 180), kFourDecimals);
}

TEST_F(TMotionFixture, CircleOfRadiusZeroStaysOnTheAxis)
{
    SetHome(0, 2, 0);
    Row.Pattern = 1;
    for (int i = 0; i < 5; ++i)
        Tick();
    EXPECT_NEAR(Channel.X, 0, 1e-6);
    EXPECT_NEAR(Channel.Z, 0, 1e-6);
    EXPECT_EQ(Channel.Y, 2);
    EXPECT_FALSE(Channel.NonFiniteWritten);
}

TEST_F(TMotionFixture, CircleWithLoopOfZeroHoldsStill)
{
    SetHome(3, 0, 4);
    Row.Pattern = 1;
    Tick(0);
    EXPECT_FALSE(Channel.NonFiniteWritten);
    EXPECT_EQ(Channel.X, 3);
    EXPECT_EQ(Channel.Z, 4);
}

TEST_F(TMotionFixture, CircleWithLongerLoopTurnsMoreSlowly)
{
    SetHome(5, 0, 0);
    Row.Pattern = 1;
    Tick(3600); // 0.1 degree
    EXPECT_NEAR(Channel.X, 5 * std::cos(0.1 * std::numbers::pi / 180), kFourDecimals);
    EXPECT_NEAR(Channel.Z, 5 * std::sin(0.1 * std::numbers::pi / 180), kFourDecimals);
}

// --- Passes ---------------------------------------------------------------

TEST_F(TMotionFixture, PassFromBehindJumpsHomeOncePastTheLimit)
{
    SetHome(1, 0, 5);
    Row.Pattern = 2;
    Row.PatternSpeed = 2; // "Fast": 0.4 a tick
    for (int tick = 1; tick <= 37; ++tick) {
        Tick();
        ASSERT_NEAR(Channel.Z, 5 - 0.4 * tick, kFourDecimals) << "tick " << tick;
    }
    EXPECT_NEAR(Channel.Z, -9.8, kFourDecimals);
    Tick(); // -10.2 is below the limit
    EXPECT_EQ(Channel.Z, 5);
    Tick(); // and the pass starts over
    EXPECT_NEAR(Channel.Z, 4.6, kFourDecimals);
    EXPECT_EQ(Channel.X, 1);
}

TEST_F(TMotionFixture, PassFromLeftJumpsHomeOncePastTheLimit)
{
    SetHome(5, 0, 1);
    Row.Pattern = 3;
    Row.PatternSpeed = 2;
    for (int tick = 1; tick <= 37; ++tick)
        Tick();
    EXPECT_NEAR(Channel.X, -9.8, kFourDecimals);
    Tick();
    EXPECT_EQ(Channel.X, 5);
    EXPECT_EQ(Channel.Z, 1);
}

TEST_F(TMotionFixture, PassLimitIsJudgedOnThePositionThePlatformHolds)
{
    SetHome(0, 0, -9.5f);
    Channel.Z = -9.8f;
    Row.Pattern = 2;
    Row.PatternSpeed = 1;
    // -9.8f - 0.2f is just below -10 before narrowing, exactly -10 after it:
    // the platform's value is at the limit, so the pass goes on.
    Tick();
    EXPECT_EQ(Channel.Z, -10.0f);
}

TEST_F(TMotionFixture, ReversedPassesMoveTowardPlusAndAreNotBroughtBack)
{
    for (int pattern : {2, 3}) {
        SetHome(0, 0, 0);
        Row.Pattern = pattern;
        Row.PatternSpeed = 4; // 0.8 a tick
        Row.ReversePattern = true;
        for (int tick = 0; tick < 50; ++tick)
            Tick();
        const float moved = pattern == 2 ? Channel.Z : Channel.X;
        const float other = pattern == 2 ? Channel.X : Channel.Z;
        EXPECT_NEAR(moved, 40, 1e-3) << "pattern " << pattern;
        EXPECT_EQ(other, 0) << "pattern " << pattern;
    }
}

TEST_F(TMotionFixture, PassLostToNaNGoesHome)
{
    SetHome(2, 0, 5);
    Channel.Z = kNaN;
    Row.Pattern = 2;
    Tick();
    EXPECT_EQ(Channel.Z, 5);
    EXPECT_FALSE(Channel.NonFiniteWritten);
}

// --- None, speeds, silence ------------------------------------------------

TEST_F(TMotionFixture, NoneHoldsTheHomePosition)
{
    SetHome(1, 2, 3);
    Channel.MoveTo(-4, -5, -6);
    Row.Pattern = 0;
    Row.PatternSpeed = 0; // the speed does not matter for a held row
    Tick();
    EXPECT_EQ(Channel.X, 1);
    EXPECT_EQ(Channel.Y, 2);
    EXPECT_EQ(Channel.Z, 3);
}

TEST_F(TMotionFixture, SlowDoesNotMovePasses)
{
    for (int pattern : {2, 3}) {
        SetHome(1, 2, 3);
        Row.Pattern = pattern;
        Row.PatternSpeed = 0;
        for (int tick = 0; tick < 5; ++tick)
            Tick();
        EXPECT_EQ(Channel.X, 1) << "pattern " << pattern;
        EXPECT_EQ(Channel.Z, 3) << "pattern " << pattern;
    }
}

TEST_F(TMotionFixture, SilentOrChannellessRowsAreNotMoved)
{
    TFloatChannel other;
    TPlaybackRow silentRow;
    silentRow.Channel = &other;
    silentRow.CoordX = 9;
    TPlaybackRow noChannelRow;
    for (int pattern : {0, 1, 2, 3}) {
        other.Playing = false;
        other.MoveTo(1, 2, 3);
        silentRow.Pattern = pattern;
        noChannelRow.Pattern = pattern;
        MotionTick({&silentRow, &noChannelRow}, 60);
        EXPECT_EQ(other.Writes, 0) << "pattern " << pattern;
        EXPECT_EQ(other.X, 1);
    }
}

TEST_F(TMotionFixture, EveryPlayingRowMovesInOneTick)
{
    TFloatChannel secondChannel;
    TPlaybackRow second;
    second.Channel = &secondChannel;
    second.Pattern = 2;
    second.CoordZ = 5;
    secondChannel.Z = 5;
    SetHome(1, 1, 1);
    Row.Pattern = 0;
    Channel.MoveTo(0, 0, 0);
    MotionTick({&Row, &second}, 60);
    EXPECT_EQ(Channel.X, 1);
    EXPECT_NEAR(secondChannel.Z, 4.8, kFourDecimals);
}

TEST_F(TMotionFixture, UnknownPatternDoesNothing)
{
    SetHome(1, 2, 3);
    Channel.MoveTo(4, 5, 6);
    Row.Pattern = 7;
    Tick();
    EXPECT_EQ(Channel.Writes, 0);
}

// --- Values that must never reach the platform ---------------------------

TEST_F(TMotionFixture, NonFiniteValuesAreNeverWritten)
{
    struct {
        const char* Name;
        int Pattern;
        float X, Y, Z;  // home
        float AtX, AtZ; // where the channel is
    } cases[] = {
        {"held at a broken home", 0, kNaN, kInfinity, 3, 0.5f, 0.5f},
        {"circle of infinite radius", 1, kInfinity, 0, 4, 0.5f, 0.5f},
        {"circle of NaN radius", 1, kNaN, 0, kNaN, 0.5f, 0.5f},
        {"circle from a NaN position", 1, 3, 0, 4, kNaN, 0.5f},
        {"pass from behind home to NaN", 2, 0, 0, kNaN, 0.5f, kNaN},
        {"pass from left home to infinity", 3, -kInfinity, 0, 0, kNaN, 0.5f},
    };
    for (const auto& c : cases) {
        TFloatChannel channel;
        channel.MoveTo(c.AtX, 0, c.AtZ);
        TPlaybackRow row;
        row.Channel = &channel;
        row.Pattern = c.Pattern;
        row.CoordX = c.X;
        row.CoordY = c.Y;
        row.CoordZ = c.Z;
        for (int tick = 0; tick < 3; ++tick)
            MotionTick({&row}, 60);
        EXPECT_FALSE(channel.NonFiniteWritten) << c.Name;
    }
}

TEST_F(TMotionFixture, NoneWritesTheFiniteComponentsOfAPartlyBrokenHome)
{
    Row.CoordX = kNaN;
    Row.CoordY = 2;
    Row.CoordZ = kInfinity;
    Channel.MoveTo(7, 7, 7);
    Row.Pattern = 0;
    Tick();
    EXPECT_EQ(Channel.X, 7);
    EXPECT_EQ(Channel.Y, 2);
    EXPECT_EQ(Channel.Z, 7);
}

} // namespace
