#pragma once
// The motion tick: every 100 ms each playing row's channel moves along its
// pattern (circle, pass from behind, pass from left) at its speed, or is held
// at home (no pattern). Steps are taken from the position the platform
// reports and carried at single precision.

#include "playback/playback_row.h"

#include <vector>

// Moves the rows' channels, in order; silent rows keep their position. Reads
// no clock and writes no row field.
void MotionTick(const std::vector<TPlaybackRow*>& rows, int loopLength);
