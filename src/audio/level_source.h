#pragma once
// What a level connector reads of the channel it probes: the play state and
// settings of the channel and the wave it plays. TMMDSMixChannel is one.
//
// Contract: read on the user-interface thread only, by the level connector's
// trigger; none of these calls throws except PlayCursor, which raises the
// sound device's error when the platform cannot report it.

#include <cstdint>

class TMMWave;

class ILevelSource {
public:
    virtual ~ILevelSource() = default;
    virtual const TMMWave& LevelWave() const = 0;
    virtual bool IsPlaying() = 0;
    virtual bool Muted() const = 0;
    virtual int32_t Volume() = 0;  // hundredths of a decibel, -10000..0
    virtual int32_t Panning() = 0; // -10000..10000
    virtual uint32_t PlayCursor() = 0; // bytes from the start of the data
};
