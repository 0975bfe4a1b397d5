#include "audio/codecs.h"

#include "audio/ms_adpcm.h"

#include <array>
#include <cstring>

namespace {

// The EXTENSIBLE record: wValidBitsPerSample, dwChannelMask, SubFormat.
constexpr size_t ValidBitsOffset = 18;
constexpr size_t SubFormatOffset = 24;
constexpr size_t ExtensibleBytes = 40;
constexpr uint16_t ExtensibleExtraBytes = 22;
// A sub-format GUID is the old format tag followed by these 12 bytes.
constexpr std::array<uint8_t, 12> SubFormatTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr size_t ImaSamplesPerBlockOffset = 18;

bool IsPcmDepth(uint16_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool IsFloatDepth(uint16_t bits)
{
    return bits == 32 || bits == 64;
}

// Sample codings hold whole frames of whole bytes, one frame per block.
std::optional<TFormatLayout> SampleLayout(const WAVEFORMATEX& h, ESampleCoding coding, bool extensible)
{
    uint32_t frameBytes = static_cast<uint32_t>(h.nChannels) * h.wBitsPerSample / 8;
    if (h.nBlockAlign != frameBytes)
        return std::nullopt;
    TFormatLayout layout;
    layout.Coding = coding;
    layout.Extensible = extensible;
    layout.Channels = h.nChannels;
    layout.Rate = h.nSamplesPerSec;
    layout.Bits = h.wBitsPerSample;
    layout.BlockBytes = frameBytes;
    layout.BlockFrames = 1;
    return layout;
}

std::optional<TFormatLayout> ExtensibleLayout(const TWaveFormat& format)
{
    const WAVEFORMATEX& h = format.Header();
    if (h.cbSize < ExtensibleExtraBytes || format.Size() < ExtensibleBytes)
        return std::nullopt;
    if (std::memcmp(format.Bytes() + SubFormatOffset + 4, SubFormatTail.data(), SubFormatTail.size()) != 0 ||
        format.Word(SubFormatOffset + 2) != 0)
        return std::nullopt;
    // Valid bits below the container leave the low bits zero, so reading the
    // whole container gives the right values.
    if (format.Word(ValidBitsOffset) > h.wBitsPerSample)
        return std::nullopt;
    uint16_t subFormat = format.Word(SubFormatOffset);
    if (subFormat == WAVE_FORMAT_PCM && IsPcmDepth(h.wBitsPerSample))
        return SampleLayout(h, ESampleCoding::Pcm, true);
    if (subFormat == WAVE_FORMAT_IEEE_FLOAT && IsFloatDepth(h.wBitsPerSample))
        return SampleLayout(h, ESampleCoding::Float, true);
    return std::nullopt;
}

// Per channel a 4-byte header holding the first frame, then 4-byte words of
// 8 samples each. Files without wSamplesPerBlock get the block's full count.
std::optional<TFormatLayout> ImaLayout(const TWaveFormat& format)
{
    const WAVEFORMATEX& h = format.Header();
    uint32_t wordBytes = 4u * h.nChannels;
    if (h.wBitsPerSample != 4 || h.nBlockAlign < wordBytes)
        return std::nullopt;
    uint32_t fullFrames = 1 + (h.nBlockAlign - wordBytes) / wordBytes * 8;
    uint32_t frames = h.cbSize >= 2 ? format.Word(ImaSamplesPerBlockOffset) : 0;
    if (frames == 0)
        frames = fullFrames;
    if (frames > fullFrames)
        return std::nullopt;
    TFormatLayout layout;
    layout.Coding = ESampleCoding::ImaAdpcm;
    layout.Channels = h.nChannels;
    layout.Rate = h.nSamplesPerSec;
    layout.Bits = 4;
    layout.BlockBytes = h.nBlockAlign;
    layout.BlockFrames = frames;
    return layout;
}

// Any predictor table the record carries, not only the standard one.
std::optional<TFormatLayout> MsAdpcmLayout(const TWaveFormat& format)
{
    const WAVEFORMATEX& h = format.Header();
    uint16_t frames = format.Word(MsAdpcmSamplesPerBlockOffset);
    uint16_t predictors = format.Word(MsAdpcmCoefficientCountOffset);
    if (h.wBitsPerSample != 4 || frames < 2 || predictors == 0)
        return std::nullopt;
    if (MsAdpcmCoefficientsOffset + 4 * static_cast<size_t>(predictors) > format.Size())
        return std::nullopt;
    TFormatLayout layout;
    layout.Coding = ESampleCoding::MsAdpcm;
    layout.Channels = h.nChannels;
    layout.Rate = h.nSamplesPerSec;
    layout.Bits = 4;
    layout.BlockBytes = h.nBlockAlign;
    layout.BlockFrames = frames;
    layout.Coefficients.resize(2 * static_cast<size_t>(predictors));
    for (size_t i = 0; i < layout.Coefficients.size(); ++i)
        layout.Coefficients[i] = format.SignedWord(MsAdpcmCoefficientsOffset + 2 * i);
    TMsAdpcmBlockLayout block{layout.Channels, frames, layout.Coefficients};
    if (MsAdpcmBlockBytes(block) > h.nBlockAlign)
        return std::nullopt;
    return layout;
}

} // namespace

std::optional<TFormatLayout> DescribeFormat(const TWaveFormat& format)
{
    const WAVEFORMATEX& h = format.Header();
    if (h.nChannels < 1 || h.nChannels > MaxCodecChannels || h.nSamplesPerSec == 0)
        return std::nullopt;
    switch (h.wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (IsPcmDepth(h.wBitsPerSample))
            return SampleLayout(h, ESampleCoding::Pcm, false);
        return std::nullopt;
    case WAVE_FORMAT_IEEE_FLOAT:
        if (IsFloatDepth(h.wBitsPerSample))
            return SampleLayout(h, ESampleCoding::Float, false);
        return std::nullopt;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        if (h.wBitsPerSample == 8)
            return SampleLayout(h, h.wFormatTag == WAVE_FORMAT_ALAW ? ESampleCoding::ALaw : ESampleCoding::MuLaw, false);
        return std::nullopt;
    case WAVE_FORMAT_IMA_ADPCM:
        return ImaLayout(format);
    case WAVE_FORMAT_ADPCM:
        return MsAdpcmLayout(format);
    case WAVE_FORMAT_EXTENSIBLE:
        return ExtensibleLayout(format);
    default:
        return std::nullopt;
    }
}

std::span<const TCodec* const> CodecSet()
{
    static const TCodec* const codecs[] = {&SampleCodec, &ChannelCodec, &ImaAdpcmCodec, &MsAdpcmCodec};
    return codecs;
}

const TCodec* FindCodec(const TFormatLayout& source, const TFormatLayout& target)
{
    for (const TCodec* codec : CodecSet()) {
        if (codec->Accepts(source, target))
            return codec;
    }
    return nullptr;
}

std::optional<size_t> StageOutputBytes(const TFormatLayout& source, const TFormatLayout& target, size_t srcBytes)
{
    size_t blocks = srcBytes / source.BlockBytes;
    size_t perBlock = static_cast<size_t>(source.BlockFrames) * target.BlockBytes;
    size_t bytes = 0;
    if (__builtin_mul_overflow(blocks, perBlock, &bytes))
        return std::nullopt;
    return bytes;
}
