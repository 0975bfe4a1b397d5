#pragma once
// What a sound buffer is filled with: the PCM form of a wave's sample data.
// PCM stays as it is, Microsoft ADPCM is decoded, anything else goes through
// the codec layer. The plan (format and size) comes first, when the buffer
// is made; the fill follows into the buffer's memory.

#include "audio/wave_format.h"

#include <cstdint>

class TMMWave;

struct TPcmBufferPlan {
    enum class TSource { Pcm, MsAdpcm, Converted };
    TSource Source = TSource::Pcm;
    TWaveFormat Format; // PCM
    uint32_t Bytes = 0;
};

// Raises EMMDSWaveMixError "This is not a MemoryWave" or "Invalid WaveFormat".
TPcmBufferPlan PlanPcmBuffer(const TMMWave& wave);
// Fills at most capacity bytes; returns the bytes written. Raises
// EMMDSWaveMixError "Unable to convert sound data" when no converter can be
// made.
uint32_t FillPcmBuffer(const TMMWave& wave, const TPcmBufferPlan& plan, uint8_t* dst, uint32_t capacity);
