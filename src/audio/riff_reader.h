#pragma once
// The RIFF WAVE reader: walks the chunks of an image and describes it. It
// is lenient on purpose, because shortened and imperfect images are normal
// input here: a cut image keeps the data up to the cut, a RIFF size that
// overstates the image is lowered, bytes past the RIFF body count as data
// when the data chunk is last. It never reads outside the image and never
// allocates more than the image holds.

#include "audio/wave_format.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

struct TWaveInfo {
    // The fmt chunk's body in a zero-filled buffer of at least 18 bytes; for
    // PCM nBlockAlign and nAvgBytesPerSec recomputed from the other fields.
    TWaveFormat Format;
    uint32_t FileSize = 0;   // the whole image
    uint32_t DataOffset = 0; // first sample byte
    uint32_t DataBytes = 0;  // whole blocks of the nBlockAlign the fmt chunk stored
    uint32_t SampleCount = 0;
    int32_t FirstSample = 0;
    int32_t LastSample = 0;                     // SampleCount
    std::vector<uint8_t> InfoList;              // body of a LIST INFO chunk after its form type
    std::vector<std::vector<uint8_t>> DispList; // each DISP chunk's type and body
};

// The description of an image, or nullopt when it is not a RIFF WAVE image
// this system plays (no format, no data chunk, a zero block alignment or
// byte rate, a sample count beyond 32 bits, ...). Throws only
// std::bad_alloc.
std::optional<TWaveInfo> ReadWaveInfo(std::span<const uint8_t> image);

// The same over a file, reading only the chunks it needs. nullopt when the
// file is not such an image or a read fails; EMMWaveError "Cannot open file
// PATH: REASON" when it cannot be opened.
std::optional<TWaveInfo> ReadWaveFileInfo(const std::filesystem::path& path);
