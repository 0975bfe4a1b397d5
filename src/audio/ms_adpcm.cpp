#include "audio/ms_adpcm.h"

#include <algorithm>
#include <cstring>
#include <limits>

const int16_t MsAdpcmStandardCoefficients[MsAdpcmStandardCoefficientCount][2] = {
    {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232},
};

namespace {

constexpr int AdaptationTable[16] = {
    230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230,
};
constexpr int DeltaFloor = 16;
// A corrupt stream can keep raising the step; past this any sample clamps
// anyway, and the products stay inside 32 bits.
constexpr int DeltaCeiling = std::numeric_limits<int32_t>::max() / 768;
constexpr int MaxStandardChannels = 4;

int16_t ReadLe16(const uint8_t* p)
{
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

void WriteLe16(uint8_t* p, int value)
{
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

std::span<const int16_t> StandardCoefficients()
{
    return {&MsAdpcmStandardCoefficients[0][0], MsAdpcmStandardCoefficientCount * 2};
}

TMsAdpcmBlockLayout StandardLayout(const TWaveFormat& format)
{
    TMsAdpcmBlockLayout layout;
    layout.Channels = format->nChannels;
    layout.SamplesPerBlock = format.Word(MsAdpcmSamplesPerBlockOffset);
    layout.Coefficients = StandardCoefficients();
    return layout;
}

// A block of fewer than the two header frames cannot be laid out.
bool HasUsableBlock(const TWaveFormat& format)
{
    return format.Word(MsAdpcmSamplesPerBlockOffset) >= 2;
}

} // namespace

bool IsStandardMsAdpcm(const TWaveFormat& format) noexcept
{
    const WAVEFORMATEX& h = format.Header();
    if (h.wFormatTag != WAVE_FORMAT_ADPCM || h.wBitsPerSample != 4)
        return false;
    if (h.nChannels < 1 || h.nChannels > MaxStandardChannels)
        return false;
    if (format.Word(MsAdpcmCoefficientCountOffset) != MsAdpcmStandardCoefficientCount)
        return false;
    // The whole table must lie inside the record, not in zero fill past it.
    if (MsAdpcmCoefficientsOffset + MsAdpcmStandardCoefficientCount * 4 > format.Size())
        return false;
    for (int i = 0; i < MsAdpcmStandardCoefficientCount; ++i) {
        size_t at = MsAdpcmCoefficientsOffset + static_cast<size_t>(i) * 4;
        if (format.SignedWord(at) != MsAdpcmStandardCoefficients[i][0] ||
            format.SignedWord(at + 2) != MsAdpcmStandardCoefficients[i][1])
            return false;
    }
    return true;
}

bool IsStandardMsAdpcm(const WAVEFORMATEX* format, size_t formatBytes) noexcept
{
    if (format == nullptr)
        return false;
    try {
        return IsStandardMsAdpcm(TWaveFormat::FromBytes(reinterpret_cast<const uint8_t*>(format), formatBytes));
    } catch (...) {
        return false;
    }
}

TWaveFormat MsAdpcmToPcmFormat(const TWaveFormat& adpcmFormat) noexcept
{
    try {
        if (!IsStandardMsAdpcm(adpcmFormat))
            return TWaveFormat();
        return TWaveFormat::Pcm(adpcmFormat->nChannels, adpcmFormat->nSamplesPerSec, 16);
    } catch (...) {
        return TWaveFormat();
    }
}

size_t MsAdpcmBlockBytes(const TMsAdpcmBlockLayout& layout) noexcept
{
    size_t channels = static_cast<size_t>(layout.Channels);
    size_t nibbles = static_cast<size_t>(std::max(layout.SamplesPerBlock - 2, 0)) * channels;
    return 7 * channels + (nibbles + 1) / 2;
}

TMsAdpcmBlockResult MsAdpcmDecodeBlock(const TMsAdpcmBlockLayout& layout, const uint8_t* src, size_t srcLen,
                                       uint8_t* dst, size_t maxFrames) noexcept
{
    TMsAdpcmBlockResult result;
    const int channels = layout.Channels;
    const size_t headerBytes = 7 * static_cast<size_t>(channels);
    const size_t predictorCount = layout.Coefficients.size() / 2;
    if (channels < 1 || srcLen < headerBytes)
        return result;

    // Per channel: the predictor's pair, the step, and the last two samples.
    int coef1[16], coef2[16], delta[16], sample1[16], sample2[16];
    if (channels > 16)
        return result;
    for (int c = 0; c < channels; ++c) {
        size_t predictor = src[c];
        if (predictor >= predictorCount) {
            result.BadPredictor = true;
            return result;
        }
        coef1[c] = layout.Coefficients[2 * predictor];
        coef2[c] = layout.Coefficients[2 * predictor + 1];
        delta[c] = ReadLe16(src + channels + 2 * c);
        sample1[c] = ReadLe16(src + 3 * channels + 2 * c);
        sample2[c] = ReadLe16(src + 5 * channels + 2 * c);
    }
    result.Bytes = headerBytes;

    const size_t frameBytes = 2 * static_cast<size_t>(channels);
    // The header holds the two oldest frames, the older one second.
    for (const int* header : {sample2, sample1}) {
        if (result.Frames == maxFrames)
            return result;
        for (int c = 0; c < channels; ++c)
            WriteLe16(dst + c * 2, header[c]);
        dst += frameBytes;
        ++result.Frames;
    }

    const uint8_t* nibbles = src + headerBytes;
    const size_t nibblesAvailable = (srcLen - headerBytes) * 2;
    const size_t frames = static_cast<size_t>(std::max(layout.SamplesPerBlock - 2, 0));
    size_t nibble = 0;
    for (size_t f = 0; f < frames; ++f) {
        if (nibble + channels > nibblesAvailable || result.Frames == maxFrames) {
            result.Bytes = headerBytes + (nibble + 1) / 2;
            return result;
        }
        for (int c = 0; c < channels; ++c, ++nibble) {
            uint8_t byte = nibbles[nibble / 2];
            int code = (nibble & 1) ? (byte & 0x0F) : (byte >> 4);
            int error = code >= 8 ? code - 16 : code;
            // Scaled down by a shift (rounding towards minus infinity), as the
            // encoders that made the files predict. Formed in 64 bits: only
            // coefficients no standard encoder uses could need it.
            int64_t predicted = (static_cast<int64_t>(sample1[c]) * coef1[c] + static_cast<int64_t>(sample2[c]) * coef2[c]) >> 8;
            predicted += static_cast<int64_t>(error) * delta[c];
            int value = static_cast<int>(std::clamp<int64_t>(predicted, -32768, 32767));
            WriteLe16(dst + c * 2, value);
            sample2[c] = sample1[c];
            sample1[c] = value;
            delta[c] = std::clamp(AdaptationTable[code] * delta[c] / 256, DeltaFloor, DeltaCeiling);
        }
        dst += frameBytes;
        ++result.Frames;
    }
    result.Bytes = headerBytes + (nibble + 1) / 2;
    result.Complete = true;
    return result;
}

size_t MsAdpcmDecodedBytes(const TWaveFormat& adpcmFormat, size_t srcLen) noexcept
{
    if (!IsStandardMsAdpcm(adpcmFormat) || !HasUsableBlock(adpcmFormat))
        return 0;
    TMsAdpcmBlockLayout layout = StandardLayout(adpcmFormat);
    const size_t channels = static_cast<size_t>(layout.Channels);
    const size_t blockBytes = MsAdpcmBlockBytes(layout);
    const size_t blockFrames = static_cast<size_t>(layout.SamplesPerBlock);
    size_t frames = srcLen / blockBytes * blockFrames;
    size_t rest = srcLen % blockBytes;
    if (rest >= 7 * channels)
        frames += std::min<size_t>(2 + (rest - 7 * channels) * 2 / channels, blockFrames);
    return frames * channels * 2;
}

size_t MsAdpcmDecode(const TWaveFormat& adpcmFormat, const TWaveFormat& pcmFormat, const uint8_t* src, size_t srcLen,
                     uint8_t* dst, size_t dstCapacity) noexcept
{
    if (!IsStandardMsAdpcm(adpcmFormat) || !HasUsableBlock(adpcmFormat) || src == nullptr || dst == nullptr)
        return 0;
    const WAVEFORMATEX& pcm = pcmFormat.Header();
    if (pcm.wFormatTag != WAVE_FORMAT_PCM || pcm.wBitsPerSample != 16 || pcm.nChannels != adpcmFormat->nChannels ||
        pcm.nSamplesPerSec != adpcmFormat->nSamplesPerSec)
        return 0;

    TMsAdpcmBlockLayout layout = StandardLayout(adpcmFormat);
    const size_t frameBytes = 2 * static_cast<size_t>(layout.Channels);
    size_t capacityFrames = dstCapacity / frameBytes;
    size_t frames = 0;
    size_t offset = 0;
    while (offset < srcLen) {
        TMsAdpcmBlockResult block = MsAdpcmDecodeBlock(layout, src + offset, srcLen - offset, dst + frames * frameBytes,
                                                       capacityFrames - frames);
        if (block.BadPredictor)
            return 0;
        frames += block.Frames;
        if (!block.Complete)
            break;
        offset += block.Bytes;
    }
    return frames * frameBytes;
}
