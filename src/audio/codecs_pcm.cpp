// The sample codings: each sample stands alone, so a block is one frame.
// Depth changes go through a 32-bit left-justified value (float through a
// double) and round to nearest, halves up, clamping at the top, which is
// what sox does with dither off.

#include "audio/codecs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

int16_t DecodeALaw(uint8_t code)
{
    int a = code ^ 0x55;
    int exponent = (a >> 4) & 7;
    int mantissa = a & 0x0F;
    int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

int16_t DecodeMuLaw(uint8_t code)
{
    int u = ~code & 0xFF;
    int exponent = (u >> 4) & 7;
    int mantissa = u & 0x0F;
    int magnitude = (((mantissa << 3) + 0x84) << exponent) - 0x84;
    return static_cast<int16_t>((u & 0x80) ? -magnitude : magnitude);
}

namespace {

// A sample at its own depth as a signed value (8-bit PCM is unsigned).
int32_t ReadNative(const uint8_t* p, int bits)
{
    switch (bits) {
    case 8:
        return p[0] - 128;
    case 16:
        return static_cast<int16_t>(p[0] | (p[1] << 8));
    case 24:
        return static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) >> 8;
    default:
        return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                    static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
    }
}

void StoreNative(uint8_t* p, int32_t value, int bits)
{
    uint32_t u = static_cast<uint32_t>(value);
    switch (bits) {
    case 8:
        p[0] = static_cast<uint8_t>(value + 128);
        return;
    case 32:
        p[3] = static_cast<uint8_t>(u >> 24);
        [[fallthrough]];
    case 24:
        p[2] = static_cast<uint8_t>(u >> 16);
        [[fallthrough]];
    default:
        p[1] = static_cast<uint8_t>(u >> 8);
        p[0] = static_cast<uint8_t>(u);
    }
}

int32_t Requantise(int32_t leftJustified, int bits)
{
    if (bits == 32)
        return leftJustified;
    int shift = 32 - bits;
    int64_t rounded = (static_cast<int64_t>(leftJustified) + (int64_t{1} << (shift - 1))) >> shift;
    return static_cast<int32_t>(std::min<int64_t>(rounded, (int64_t{1} << (bits - 1)) - 1));
}

int32_t Requantise(double value, int bits)
{
    if (std::isnan(value))
        return 0;
    double scale = std::ldexp(1.0, bits - 1);
    double rounded = std::floor(value * scale + 0.5);
    return static_cast<int32_t>(std::clamp(rounded, -scale, scale - 1));
}

template <class TRead>
void Transcode(const uint8_t* src, size_t samples, int inBytes, uint8_t* dst, int outBits, TRead read)
{
    const int outBytes = outBits / 8;
    for (size_t i = 0; i < samples; ++i, src += inBytes, dst += outBytes)
        StoreNative(dst, Requantise(read(src), outBits), outBits);
}

bool AcceptsSamples(const TFormatLayout& source, const TFormatLayout& target)
{
    return source.Coding != ESampleCoding::ImaAdpcm && source.Coding != ESampleCoding::MsAdpcm &&
           target.IsPlainPcm() && source.Channels == target.Channels && source.Rate == target.Rate;
}

size_t ConvertSamples(const TFormatLayout& source, const TFormatLayout& target, const uint8_t* src, size_t srcBytes,
                      uint8_t* dst, size_t dstCapacity)
{
    const size_t frames = std::min(srcBytes / source.BlockBytes, dstCapacity / target.BlockBytes);
    const size_t samples = frames * source.Channels;
    const int inBits = source.Bits;
    const int inBytes = inBits / 8;
    const int outBits = target.Bits;
    switch (source.Coding) {
    case ESampleCoding::Pcm:
        if (inBits == outBits)
            std::memcpy(dst, src, samples * inBytes);
        else
            Transcode(src, samples, inBytes, dst, outBits,
                      [inBits](const uint8_t* p) { return static_cast<int32_t>(static_cast<uint32_t>(ReadNative(p, inBits)) << (32 - inBits)); });
        break;
    case ESampleCoding::Float:
        if (inBits == 32)
            Transcode(src, samples, inBytes, dst, outBits, [](const uint8_t* p) {
                float value;
                std::memcpy(&value, p, sizeof value);
                return static_cast<double>(value);
            });
        else
            Transcode(src, samples, inBytes, dst, outBits, [](const uint8_t* p) {
                double value;
                std::memcpy(&value, p, sizeof value);
                return value;
            });
        break;
    case ESampleCoding::ALaw:
        Transcode(src, samples, inBytes, dst, outBits, [](const uint8_t* p) { return static_cast<int32_t>(DecodeALaw(*p)) * 65536; });
        break;
    case ESampleCoding::MuLaw:
        Transcode(src, samples, inBytes, dst, outBits, [](const uint8_t* p) { return static_cast<int32_t>(DecodeMuLaw(*p)) * 65536; });
        break;
    default:
        return 0;
    }
    return frames * target.BlockBytes;
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool AcceptsChannels(const TFormatLayout& source, const TFormatLayout& target)
{
    return source.IsPlainPcm() && target.IsPlainPcm() && source.Bits == target.Bits && source.Rate == target.Rate &&
           source.Channels != target.Channels && (source.Channels == 1 || target.Channels == 1);
}

size_t ConvertChannels(const TFormatLayout& source, const TFormatLayout& target, const uint8_t* src, size_t srcBytes,
                       uint8_t* dst, size_t dstCapacity)
{
    const size_t frames = std::min(srcBytes / source.BlockBytes, dstCapacity / target.BlockBytes);
    const int bits = source.Bits;
    const size_t sampleBytes = static_cast<size_t>(bits) / 8;
    if (source.Channels == 1) {
        for (size_t f = 0; f < frames; ++f, src += sampleBytes) {
            for (int c = 0; c < target.Channels; ++c, dst += sampleBytes)
                std::memcpy(dst, src, sampleBytes);
        }
    } else {
        // The mean of the channels, rounded to nearest with halves up.
        const int64_t n = source.Channels;
        for (size_t f = 0; f < frames; ++f, dst += sampleBytes) {
            int64_t sum = 0;
            for (int c = 0; c < source.Channels; ++c, src += sampleBytes)
                sum += ReadNative(src, bits);
            StoreNative(dst, static_cast<int32_t>(FloorDiv(2 * sum + n, 2 * n)), bits);
        }
    }
    return frames * target.BlockBytes;
}

} // namespace

const TCodec SampleCodec = {"samples", AcceptsSamples, ConvertSamples};
const TCodec ChannelCodec = {"channels", AcceptsChannels, ConvertChannels};
