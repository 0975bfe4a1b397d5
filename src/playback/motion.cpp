#include "playback/motion.h"

#include <cmath>
#include <numbers>

namespace {

constexpr long double kDegreesPerRadian = 180.0L / std::numbers::pi_v<long double>;
constexpr long double kRadiansPerDegree = std::numbers::pi_v<long double> / 180.0L;
// Held as the platform holds it: the single-precision 0.2 per unit of speed.
constexpr float kPassStep = 0.2f;
constexpr long double kPassLimit = -10;

enum TPattern : int32_t { PatternNone = 0, PatternCircle = 1, PatternPassFromBehind = 2, PatternPassFromLeft = 3 };

// The platform keeps single-precision positions: a value that is not finite
// once narrowed (a NaN home from an imported package, an overflowing step)
// is never sent, and the channel keeps what it had.
bool Writable(long double value)
{
    return std::isfinite(static_cast<float>(value));
}

void SetX(IPlaybackChannel& channel, long double x)
{
    if (Writable(x))
        channel.SetPositionX(x);
}

void SetY(IPlaybackChannel& channel, long double y)
{
    if (Writable(y))
        channel.SetPositionY(y);
}

void SetZ(IPlaybackChannel& channel, long double z)
{
    if (Writable(z))
        channel.SetPositionZ(z);
}

void HoldAtHome(const TPlaybackRow& row)
{
    SetX(*row.Channel, row.CoordX);
    SetY(*row.Channel, row.CoordY);
    SetZ(*row.Channel, row.CoordZ);
}

void TurnOnCircle(const TPlaybackRow& row, const TPlaybackPosition& position, int loopLength)
{
    // A loop of 0 (only an imported scheme can carry one) has no turn rate:
    // the source stays where it is rather than being sent to infinity.
    if (loopLength == 0)
        return;
    // The angle, radius and step pass through single precision, the turn
    // itself is taken at extended precision.
    const float angle = static_cast<float>(std::atan2(position.Z, position.X) * kDegreesPerRadian);
    const long double homeX = row.CoordX;
    const long double homeZ = row.CoordZ;
    const float radius = static_cast<float>(std::sqrt(homeX * homeX + homeZ * homeZ));
    long double stepDegrees = 360.0L / loopLength * row.PatternSpeed;
    if (row.ReversePattern)
        stepDegrees = -stepDegrees;
    const float step = static_cast<float>(stepDegrees);
    const long double theta = (static_cast<long double>(angle) + step) * kRadiansPerDegree;
    SetX(*row.Channel, radius * std::cos(theta));
    SetZ(*row.Channel, radius * std::sin(theta));
}

// One pass step along an axis; past the limit (or lost to NaN) the source
// jumps back to its home on that axis. Reversed passes are only brought back
// by the next firing.
template <typename TSet, typename TGet>
void PassAlongAxis(const TPlaybackRow& row, long double current, long double home, TSet set, TGet readBack)
{
    const long double step = static_cast<long double>(row.PatternSpeed) * kPassStep;
    set(*row.Channel, row.ReversePattern ? current + step : current - step);
    if (!(readBack(*row.Channel) >= kPassLimit))
        set(*row.Channel, home);
}

} // namespace

void MotionTick(const std::vector<TPlaybackRow*>& rows, int loopLength)
{
    for (TPlaybackRow* row : rows) {
        if (row == nullptr || row->Channel == nullptr || !row->Channel->IsPlaying())
            continue;
        switch (row->Pattern) {
        case PatternNone:
            HoldAtHome(*row);
            break;
        case PatternCircle:
            TurnOnCircle(*row, row->Channel->Position(), loopLength);
            break;
        case PatternPassFromBehind:
            PassAlongAxis(*row, row->Channel->Position().Z, row->CoordZ, SetZ,
                          [](IPlaybackChannel& channel) { return channel.Position().Z; });
            break;
        case PatternPassFromLeft:
            PassAlongAxis(*row, row->Channel->Position().X, row->CoordX, SetX,
                          [](IPlaybackChannel& channel) { return channel.Position().X; });
            break;
        default:
            break;
        }
    }
}
