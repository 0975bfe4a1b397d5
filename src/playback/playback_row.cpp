#include "playback/playback_row.h"

#include "playback/random_source.h"

#include <algorithm>
#include <cmath>

int64_t RoundHalfEven(long double value)
{
    return static_cast<int64_t>(std::nearbyintl(value)); // the default rounding mode is to even
}

int PeriodFromSlider(int sliderPosition, int loopLength)
{
    // The product first: it is exact, so a true half stays a half and
    // rounds to even.
    return static_cast<int>(RoundHalfEven(static_cast<long double>(int64_t(100 - sliderPosition) * loopLength) / 100));
}

int StoredFreq(int periodDisplay, int loopLength, int sliderPosition)
{
    // A loop of 0 has no fraction to keep: the slider is stored as it stands.
    if (loopLength == 0)
        return sliderPosition;
    return 100 - static_cast<int>(RoundHalfEven(static_cast<long double>(int64_t(periodDisplay) * 100) / loopLength));
}

int SliderFromStoredFreq(int freq)
{
    return std::clamp(freq, 0, 100);
}

void UpdatePeriodDisplay(TPlaybackRow& row, int loopLength)
{
    row.PeriodDisplay = PeriodFromSlider(row.SliderPosition, loopLength);
    row.PeriodVisible = row.PeriodDisplay > 0 && row.PeriodDisplay < loopLength;
    if (row.SliderPosition == 0)
        row.EndIcon = TEndIcon::Seldom;
    else if (row.SliderPosition == 100)
        row.EndIcon = TEndIcon::Often;
}

uint16_t FreshRepeatTarget(int32_t repeatMethod, uint16_t repeatCount)
{
    return FreshRepeatTarget(repeatMethod, repeatCount, ProcessRandom());
}

uint16_t FreshRepeatTarget(int32_t repeatMethod, uint16_t repeatCount, TRandomSource& random)
{
    switch (repeatMethod) {
    case 3:
        return static_cast<uint16_t>(repeatCount - 1); // 65535 for a count of 0
    case 4:
        return static_cast<uint16_t>(random.Random(repeatCount));
    default:
        return 0;
    }
}
