#pragma once
// What a sample looks like, for drawing: the envelope of its sample data,
// and how long an image plays.

#include <cstdint>
#include <span>
#include <vector>

struct TWaveformPeak {
    float Low = 0, High = 0; // -1 .. 1, over every channel
};

// The sample data of a WAV image in `columns` equal slices, each slice's
// lowest and highest sample, decoded as the mixer decodes it. Empty when the
// image does not load or has no data.
std::vector<TWaveformPeak> WaveformPeaks(std::span<const uint8_t> image, int columns);

// The seconds of sound an image holds as the loader takes it (an image cut
// short plays its whole blocks up to the cut); -1 when it does not load.
double PlayableSeconds(std::span<const uint8_t> image);
