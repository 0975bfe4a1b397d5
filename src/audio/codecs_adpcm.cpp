// The ADPCM codings, decoded a whole nBlockAlign block at a time (a block is
// the unit an encoder writes; the last, partial one never reaches a codec).

#include "audio/codecs.h"

#include "audio/ms_adpcm.h"

#include <algorithm>

namespace {

constexpr int ImaStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767,
};
constexpr int ImaIndexTable[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int ImaMaxIndex = 88;

void WriteLe16(uint8_t* p, int value)
{
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

bool AcceptsAdpcm(ESampleCoding coding, const TFormatLayout& source, const TFormatLayout& target)
{
    return source.Coding == coding && target.IsPlainPcm() && target.Bits == 16 && source.Channels == target.Channels &&
           source.Rate == target.Rate;
}

// Whole blocks of src, as many as both buffers allow.
size_t BlocksToConvert(const TFormatLayout& source, const TFormatLayout& target, size_t srcBytes, size_t dstCapacity)
{
    size_t blockOutput = static_cast<size_t>(source.BlockFrames) * target.BlockBytes;
    return std::min(srcBytes / source.BlockBytes, dstCapacity / blockOutput);
}

struct TImaChannel {
    int Predicted = 0;
    int Index = 0;

    int Decode(int code)
    {
        int step = ImaStepTable[Index];
        int difference = step >> 3;
        if (code & 4)
            difference += step;
        if (code & 2)
            difference += step >> 1;
        if (code & 1)
            difference += step >> 2;
        Predicted = std::clamp(code & 8 ? Predicted - difference : Predicted + difference, -32768, 32767);
        Index = std::clamp(Index + ImaIndexTable[code & 7], 0, ImaMaxIndex);
        return Predicted;
    }
};

void DecodeImaBlock(const TFormatLayout& layout, const uint8_t* src, uint8_t* dst)
{
    const int channels = layout.Channels;
    const size_t frameBytes = 2 * static_cast<size_t>(channels);
    TImaChannel state[MaxCodecChannels];
    for (int c = 0; c < channels; ++c) {
        const uint8_t* header = src + 4 * c;
        state[c].Predicted = static_cast<int16_t>(header[0] | (header[1] << 8));
        // A corrupt index is taken as the largest step rather than dropped.
        state[c].Index = std::min<int>(header[2], ImaMaxIndex);
        WriteLe16(dst + 2 * c, state[c].Predicted);
    }
    const uint8_t* words = src + 4 * channels;
    const uint32_t frames = layout.BlockFrames;
    for (uint32_t first = 1; first < frames; first += 8) {
        const uint32_t count = std::min<uint32_t>(8, frames - first);
        for (int c = 0; c < channels; ++c, words += 4) {
            uint8_t* out = dst + first * frameBytes + 2 * c;
            for (uint32_t k = 0; k < count; ++k, out += frameBytes) {
                int code = (words[k / 2] >> ((k & 1) * 4)) & 0x0F;
                WriteLe16(out, state[c].Decode(code));
            }
        }
    }
}

bool AcceptsIma(const TFormatLayout& source, const TFormatLayout& target)
{
    return AcceptsAdpcm(ESampleCoding::ImaAdpcm, source, target);
}

size_t ConvertIma(const TFormatLayout& source, const TFormatLayout& target, const uint8_t* src, size_t srcBytes,
                  uint8_t* dst, size_t dstCapacity)
{
    const size_t blocks = BlocksToConvert(source, target, srcBytes, dstCapacity);
    const size_t blockOutput = static_cast<size_t>(source.BlockFrames) * target.BlockBytes;
    for (size_t b = 0; b < blocks; ++b)
        DecodeImaBlock(source, src + b * source.BlockBytes, dst + b * blockOutput);
    return blocks * blockOutput;
}

bool AcceptsMs(const TFormatLayout& source, const TFormatLayout& target)
{
    return AcceptsAdpcm(ESampleCoding::MsAdpcm, source, target);
}

size_t ConvertMs(const TFormatLayout& source, const TFormatLayout& target, const uint8_t* src, size_t srcBytes,
                 uint8_t* dst, size_t dstCapacity)
{
    const TMsAdpcmBlockLayout layout{source.Channels, static_cast<int>(source.BlockFrames), source.Coefficients};
    const size_t blocks = BlocksToConvert(source, target, srcBytes, dstCapacity);
    const size_t blockOutput = static_cast<size_t>(source.BlockFrames) * target.BlockBytes;
    for (size_t b = 0; b < blocks; ++b) {
        TMsAdpcmBlockResult result = MsAdpcmDecodeBlock(layout, src + b * source.BlockBytes, source.BlockBytes,
                                                        dst + b * blockOutput, source.BlockFrames);
        // A predictor the table lacks means the stream is not what the
        // format says; playing on would be noise, so the stage fails.
        if (!result.Complete)
            return 0;
    }
    return blocks * blockOutput;
}

} // namespace

const TCodec ImaAdpcmCodec = {"ima-adpcm", AcceptsIma, ConvertIma};
const TCodec MsAdpcmCodec = {"ms-adpcm", AcceptsMs, ConvertMs};
