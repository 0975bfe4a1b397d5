#pragma once
// The run-time record of one scheme sample row as playback sees it. The row
// record is the truth: the window's slider, its randomize border, the period
// display and the end icon are views of these fields.

#include "playback/playback_channel.h"

#include <cstdint>

class TRandomSource;

enum class TEndIcon { Keep, Seldom, Often }; // bitmap 1 at position 0, bitmap 0 at 100

struct TPlaybackRow {
    int SliderPosition = 0;   // p, 0 ("Seldom") to 100 ("Often")
    bool Randomize = false;   // the slider's yellow border
    int PeriodDisplay = 0;    // D, the period the user chose, in seconds
    bool PeriodVisible = false;
    TEndIcon EndIcon = TEndIcon::Keep;
    int32_t Elapsed = 0;      // seconds since the row last fired
    float CoordX = 0, CoordY = 0, CoordZ = 0; // home position
    int32_t RepeatMethod = 0; // 0 none, 1 normal, 2 increment, 3 decrement, 4 randomize
    uint16_t RepeatCount = 0;
    uint16_t RepeatTarget = 0;
    uint16_t RepeatsDone = 0;
    int32_t Pattern = 0;      // 0 none, 1 circle, 2 pass from behind, 3 pass from left
    int32_t PatternSpeed = 1; // 0 slow (no motion) .. 4 fastest
    bool ReversePattern = false;
    IPlaybackChannel* Channel = nullptr; // not owned
};

// Round to nearest, halves to even.
int64_t RoundHalfEven(long double value);

// T = Round((100 - p) / 100 x L).
int PeriodFromSlider(int sliderPosition, int loopLength);
// The stored Freq: 100 - Round(T / L x 100) from the displayed period. A loop
// of 0 stores the slider position as it is.
int StoredFreq(int periodDisplay, int loopLength, int sliderPosition);
// The slider position a stored Freq gives (clamped to 0..100).
int SliderFromStoredFreq(int freq);
// D, its visibility (0 < D < L) and the end icon, from the row's slider and L.
void UpdatePeriodDisplay(TPlaybackRow& row, int loopLength);
// The repeat target of a freshly built row: normal and increment 0,
// decrement RepeatCount - 1 (wrapping to 65535 at 0), randomize a draw
// below RepeatCount from the given generator (the process generator by
// default); no repeat leaves it 0.
uint16_t FreshRepeatTarget(int32_t repeatMethod, uint16_t repeatCount);
uint16_t FreshRepeatTarget(int32_t repeatMethod, uint16_t repeatCount, TRandomSource& random);
