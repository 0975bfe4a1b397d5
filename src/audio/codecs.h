#pragma once
// The codec set behind the codec manager: every conversion it can do in one
// stage. Between them the codecs turn every WAV a user is likely to own into
// plain PCM: PCM of 8 (unsigned), 16, 24 and 32 bits, IEEE float of 32 and
// 64 bits, A-law, mu-law, IMA ADPCM, Microsoft ADPCM, and
// WAVE_FORMAT_EXTENSIBLE around PCM or float. Targets are always plain PCM.
// Rates are never changed: nothing in the system asks for it, and a
// resampler would be a codec of its own.

#include "audio/wave_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

enum class ESampleCoding { Pcm, Float, ALaw, MuLaw, ImaAdpcm, MsAdpcm };

// More channels than any surround layout a WAV file carries.
inline constexpr uint16_t MaxCodecChannels = 16;

// How the codec set reads a format it knows.
struct TFormatLayout {
    ESampleCoding Coding = ESampleCoding::Pcm;
    bool Extensible = false; // the coding came from an EXTENSIBLE sub-format
    uint16_t Channels = 0;
    uint32_t Rate = 0;
    uint16_t Bits = 0;        // container bits of one sample; 4 for ADPCM
    uint32_t BlockBytes = 0;  // one frame, or nBlockAlign for ADPCM
    uint32_t BlockFrames = 0; // 1, or the frames an ADPCM block decodes to
    std::vector<int16_t> Coefficients; // Microsoft ADPCM predictor pairs

    bool IsPlainPcm() const { return Coding == ESampleCoding::Pcm && !Extensible; }
};

// The layout of a format the set can read, or nothing. Every field the
// codecs rely on is checked here (block sizes consistent, tables inside the
// record), so the codecs themselves trust the layout.
std::optional<TFormatLayout> DescribeFormat(const TWaveFormat& format);

struct TCodec {
    const char* Name;
    // True when this codec converts source to target in one stage.
    bool (*Accepts)(const TFormatLayout& source, const TFormatLayout& target);
    // Converts the whole source blocks of src that fit into dstCapacity and
    // returns the bytes written; 0 when the data is corrupt beyond decoding.
    size_t (*Convert)(const TFormatLayout& source, const TFormatLayout& target, const uint8_t* src, size_t srcBytes,
                      uint8_t* dst, size_t dstCapacity);
};

// Sample codings (PCM at any depth, float, A-law, mu-law, EXTENSIBLE) to PCM
// of any depth at the same channels and rate.
extern const TCodec SampleCodec;
// PCM of one depth from mono to several channels (copied) or from several
// to mono (averaged).
extern const TCodec ChannelCodec;
// ADPCM to 16-bit PCM at the same channels and rate.
extern const TCodec ImaAdpcmCodec;
extern const TCodec MsAdpcmCodec;

std::span<const TCodec* const> CodecSet();

// The codec that converts source to target in one stage, or none.
const TCodec* FindCodec(const TFormatLayout& source, const TFormatLayout& target);

// The exact bytes a stage produces from srcBytes of source (whole blocks
// only); nothing when the count does not fit in size_t.
std::optional<size_t> StageOutputBytes(const TFormatLayout& source, const TFormatLayout& target, size_t srcBytes);

// The 16-bit value of one G.711 code.
int16_t DecodeALaw(uint8_t code);
int16_t DecodeMuLaw(uint8_t code);
