#pragma once
// Microsoft ADPCM: recognising the standard format and decoding it to 16-bit
// PCM. The mixer decodes the standard format itself, without the codec
// manager; the codec set reuses the block decoder for any coefficient table.

#include "audio/wave_format.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The seven predictor pairs every standard encoder writes, as (coef1, coef2).
inline constexpr int MsAdpcmStandardCoefficientCount = 7;
extern const int16_t MsAdpcmStandardCoefficients[MsAdpcmStandardCoefficientCount][2];

// Offsets of the extra fields within the format record.
inline constexpr size_t MsAdpcmSamplesPerBlockOffset = 18;
inline constexpr size_t MsAdpcmCoefficientCountOffset = 20;
inline constexpr size_t MsAdpcmCoefficientsOffset = 22;

// Tag 2, 4 bits, 1 to 4 channels, and exactly the seven standard pairs.
// Only bytes inside the format's buffer are read.
bool IsStandardMsAdpcm(const TWaveFormat& format) noexcept;
// The same over a raw record of formatBytes bytes (a pointer alone cannot
// tell how far cbSize may be trusted).
bool IsStandardMsAdpcm(const WAVEFORMATEX* format, size_t formatBytes) noexcept;

// 16-bit PCM with the ADPCM format's channels and rate; an all-zero format
// unless IsStandardMsAdpcm.
TWaveFormat MsAdpcmToPcmFormat(const TWaveFormat& adpcmFormat) noexcept;

// The bytes MsAdpcmDecode writes for srcLen source bytes when the
// destination is large enough and every predictor index is valid; 0 for a
// format that is not standard.
size_t MsAdpcmDecodedBytes(const TWaveFormat& adpcmFormat, size_t srcLen) noexcept;

// Decodes blocks laid back to back from src into 16-bit PCM, never writing
// past dstCapacity bytes. Returns the bytes written (whole frames), or 0 when
// a block names a predictor the format does not have, the format is not
// standard, or pcmFormat is not MsAdpcmToPcmFormat's answer.
size_t MsAdpcmDecode(const TWaveFormat& adpcmFormat, const TWaveFormat& pcmFormat, const uint8_t* src, size_t srcLen,
                     uint8_t* dst, size_t dstCapacity) noexcept;

// One block's decoding, shared with the codec set.
struct TMsAdpcmBlockLayout {
    int Channels = 0;
    int SamplesPerBlock = 0;              // frames per block, both header frames included
    std::span<const int16_t> Coefficients; // coef1, coef2 of each predictor in turn
};

struct TMsAdpcmBlockResult {
    size_t Frames = 0;    // frames written to dst
    size_t Bytes = 0;     // source bytes the block occupies (up to what was decoded)
    bool Complete = false; // every frame of the block was written
    bool BadPredictor = false;
};

// Bytes of one whole block: the header and the nibbles rounded up to a byte.
size_t MsAdpcmBlockBytes(const TMsAdpcmBlockLayout& layout) noexcept;

// Decodes one block from src (srcLen bytes available) into at most maxFrames
// frames at dst. Stops at the first frame that would need a byte past
// srcLen. Nothing is written when the header does not fit or names a bad
// predictor.
TMsAdpcmBlockResult MsAdpcmDecodeBlock(const TMsAdpcmBlockLayout& layout, const uint8_t* src, size_t srcLen,
                                       uint8_t* dst, size_t maxFrames) noexcept;
