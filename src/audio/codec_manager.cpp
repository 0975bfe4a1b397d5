#include "audio/codec_manager.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Source, intermediate PCM, second intermediate PCM, target.
constexpr int MaxIntermediates = 2;

// What the codec set decodes a non-PCM source to. Our decoders keep the
// channels and rate, so a suggestion restricted to others finds nothing.
TWaveFormat SuggestFromCodecs(const TFormatLayout& source, const TFormatLayout* restriction)
{
    if (restriction && (restriction->Channels != source.Channels || restriction->Rate != source.Rate))
        return TWaveFormat();
    TWaveFormat suggestion = TWaveFormat::Pcm(source.Channels, source.Rate, 16);
    std::optional<TFormatLayout> layout = DescribeFormat(suggestion);
    if (!layout || FindCodec(source, *layout) == nullptr)
        return TWaveFormat();
    return suggestion;
}

std::optional<TConversionChain> Search(const TFormatLayout& source, const TWaveFormat& target,
                                       const TFormatLayout& targetLayout, int intermediatesLeft)
{
    if (const TCodec* codec = FindCodec(source, targetLayout))
        return TConversionChain{{codec, source, targetLayout, target}};
    if (intermediatesLeft == 0)
        return std::nullopt;

    std::vector<TWaveFormat> candidates;
    if (source.IsPlainPcm()) {
        // A PCM source only goes through PCM at the target's channels and
        // rate; already there, a second PCM stage cannot help.
        if (source.Channels == targetLayout.Channels && source.Rate == targetLayout.Rate)
            return std::nullopt;
        uint16_t otherBits = source.Bits == 16 ? 8 : 16;
        candidates.push_back(TWaveFormat::Pcm(targetLayout.Channels, targetLayout.Rate, source.Bits));
        candidates.push_back(TWaveFormat::Pcm(targetLayout.Channels, targetLayout.Rate, otherBits));
    } else {
        candidates.push_back(SuggestFromCodecs(source, &targetLayout));
        candidates.push_back(SuggestFromCodecs(source, nullptr));
    }
    for (const TWaveFormat& middle : candidates) {
        std::optional<TFormatLayout> middleLayout = DescribeFormat(middle);
        if (middle.IsZero() || !middleLayout)
            continue;
        const TCodec* first = FindCodec(source, *middleLayout);
        if (first == nullptr)
            continue;
        std::optional<TConversionChain> rest = Search(*middleLayout, target, targetLayout, intermediatesLeft - 1);
        if (!rest)
            continue;
        rest->insert(rest->begin(), TConversionStage{first, source, *middleLayout, middle});
        return rest;
    }
    return std::nullopt;
}

std::optional<TConversionChain> Chain(const TWaveFormat& source, const TWaveFormat& target)
{
    std::optional<TFormatLayout> sourceLayout = DescribeFormat(source);
    std::optional<TFormatLayout> targetLayout = DescribeFormat(target);
    if (!sourceLayout || !targetLayout || IsSameWaveLayout(source, target))
        return std::nullopt;
    return Search(*sourceLayout, target, *targetLayout, MaxIntermediates);
}

// The output of every stage in turn for sourceBytes of source.
std::optional<size_t> ChainOutputBytes(const TConversionChain& chain, size_t sourceBytes)
{
    std::optional<size_t> bytes = sourceBytes;
    for (const TConversionStage& stage : chain) {
        bytes = StageOutputBytes(stage.Input, stage.Output, *bytes);
        if (!bytes)
            return std::nullopt;
    }
    return bytes;
}

} // namespace

TWaveConverter::TWaveConverter(const TWaveFormat& source, TConversionChain chain, size_t sourceBlock)
    : m_source(source), m_chain(std::move(chain)), m_sourceBlock(sourceBlock)
{
    if (m_chain.empty())
        throw EMMCodecError("Empty conversion chain");
    size_t input = sourceBlock;
    for (const TConversionStage& stage : m_chain) {
        std::optional<size_t> output = StageOutputBytes(stage.Input, stage.Output, input);
        if (!output)
            throw EMMCodecError("Conversion block too large");
        // Left uninitialised: every byte read back has been written first.
        m_buffers.push_back(std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(*output, 1)));
        m_capacities.push_back(*output);
        input = *output;
    }
}

size_t TWaveConverter::Run(const uint8_t* source, size_t sourceBytes) noexcept
{
    m_outputBytes = 0;
    m_sourceBytesUsed = 0;
    if (source == nullptr)
        return 0;
    size_t bytes = std::min(sourceBytes, m_sourceBlock);
    bytes -= bytes % m_chain.front().Input.BlockBytes;
    m_sourceBytesUsed = bytes;
    const uint8_t* input = source;
    for (size_t i = 0; i < m_chain.size() && bytes > 0; ++i) {
        const TConversionStage& stage = m_chain[i];
        bytes = stage.Codec->Convert(stage.Input, stage.Output, input, bytes, m_buffers[i].get(), m_capacities[i]);
        input = m_buffers[i].get();
    }
    m_outputBytes = bytes;
    return bytes;
}

bool IsSameWaveLayout(const TWaveFormat& a, const TWaveFormat& b) noexcept
{
    return a->wFormatTag == b->wFormatTag && a->wBitsPerSample == b->wBitsPerSample &&
           a->nChannels == b->nChannels && a->nSamplesPerSec == b->nSamplesPerSec;
}

TConversionChain FindConversionChain(const TWaveFormat& source, const TWaveFormat& target) noexcept
{
    try {
        return Chain(source, target).value_or(TConversionChain());
    } catch (...) {
        return {};
    }
}

TWaveFormat SuggestPcmFormat(const TWaveFormat& source) noexcept
{
    try {
        std::optional<TFormatLayout> layout = DescribeFormat(source);
        if (!layout)
            return TWaveFormat();
        if (layout->IsPlainPcm())
            return source;
        return SuggestFromCodecs(*layout, nullptr);
    } catch (...) {
        return TWaveFormat();
    }
}

bool CanConvert(const TWaveFormat& source, const TWaveFormat& target) noexcept
{
    try {
        if (!DescribeFormat(source) || !DescribeFormat(target))
            return false;
        return IsSameWaveLayout(source, target) || Chain(source, target).has_value();
    } catch (...) {
        return false;
    }
}

int64_t ConvertedSize(const TWaveFormat& source, const TWaveFormat& target, size_t sourceBytes) noexcept
{
    try {
        constexpr size_t Largest = static_cast<size_t>(std::numeric_limits<int64_t>::max());
        if (!DescribeFormat(source) || !DescribeFormat(target))
            return -1;
        if (IsSameWaveLayout(source, target))
            return sourceBytes <= Largest ? static_cast<int64_t>(sourceBytes) : -1;
        std::optional<TConversionChain> chain = Chain(source, target);
        if (!chain)
            return -1;
        std::optional<size_t> bytes = ChainOutputBytes(*chain, sourceBytes);
        if (!bytes || *bytes > Largest)
            return -1;
        return static_cast<int64_t>(*bytes);
    } catch (...) {
        return -1;
    }
}

TWaveConverterPtr CreateConverter(const TWaveFormat& source, const TWaveFormat& target, size_t sourceBlock) noexcept
{
    try {
        std::optional<TConversionChain> chain = Chain(source, target);
        if (!chain)
            return nullptr;
        size_t block = sourceBlock - sourceBlock % chain->front().Input.BlockBytes;
        if (block == 0)
            return nullptr;
        return std::make_unique<TWaveConverter>(source, std::move(*chain), block);
    } catch (...) {
        return nullptr;
    }
}

size_t Convert(TWaveConverter* converter, const uint8_t* source, size_t sourceBytes) noexcept
{
    return converter ? converter->Run(source, sourceBytes) : 0;
}

void FreeConverter(TWaveConverterPtr& converter) noexcept
{
    converter.reset();
}
