#pragma once
// Conversion of wave data to PCM through our own codec manager (the codec
// set in codecs.h; it is always present). A conversion is a chain of one to
// three stages found by a staged search: the direct conversion, else one
// through an intermediate PCM format. None of these functions throws: they
// report failure as false, an all-zero format, -1, no converter or 0 bytes.

#include "audio/codecs.h"
#include "audio/wave_format.h"
#include "base/error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Raised only by TWaveConverter's constructor, which CreateConverter calls
// inside its catch-all; code that builds a converter itself sees it.
class EMMCodecError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

struct TConversionStage {
    const TCodec* Codec = nullptr;
    TFormatLayout Input;
    TFormatLayout Output;
    TWaveFormat OutputFormat;
};
using TConversionChain = std::vector<TConversionStage>;

// Built by CreateConverter; owns one output buffer per stage.
class TWaveConverter {
public:
    // sourceBlock is already a whole number of source blocks. Raises
    // EMMCodecError for an empty chain or a block whose output cannot be
    // sized, std::bad_alloc when the buffers cannot be allocated.
    TWaveConverter(const TWaveFormat& source, TConversionChain chain, size_t sourceBlock);

    const TWaveFormat& Source() const { return m_source; }
    const TWaveFormat& Target() const { return m_chain.back().OutputFormat; }
    // The most source bytes one Convert takes.
    size_t SourceBlock() const { return m_sourceBlock; }
    const TConversionChain& Chain() const { return m_chain; }

    // What the last Convert produced, valid until the next one.
    const uint8_t* Output() const { return m_outputBytes ? m_buffers.back().get() : nullptr; }
    size_t OutputBytes() const { return m_outputBytes; }
    // Source bytes the last Convert took: whole blocks, at most SourceBlock.
    size_t SourceBytesUsed() const { return m_sourceBytesUsed; }

    size_t Run(const uint8_t* source, size_t sourceBytes) noexcept;

private:
    TWaveFormat m_source;
    TConversionChain m_chain;
    size_t m_sourceBlock = 0;
    std::vector<std::unique_ptr<uint8_t[]>> m_buffers;
    std::vector<size_t> m_capacities;
    size_t m_outputBytes = 0;
    size_t m_sourceBytesUsed = 0;
};
using TWaveConverterPtr = std::unique_ptr<TWaveConverter>;

// Equal tag, bits, channels and rate: the data needs no conversion.
bool IsSameWaveLayout(const TWaveFormat& a, const TWaveFormat& b) noexcept;

// The stages from source to target; empty when there is no conversion or
// none is needed (IsSameWaveLayout).
TConversionChain FindConversionChain(const TWaveFormat& source, const TWaveFormat& target) noexcept;

// A PCM source unchanged; for any other source in the codec set 16-bit PCM
// with its channels and rate; otherwise an all-zero format.
TWaveFormat SuggestPcmFormat(const TWaveFormat& source) noexcept;

// True when both formats are in the codec set and either need no
// conversion or have a chain between them.
bool CanConvert(const TWaveFormat& source, const TWaveFormat& target) noexcept;

// The bytes the whole chain makes of sourceBytes (the source rounded down to
// whole blocks); sourceBytes itself when no conversion is needed; -1 when
// there is no conversion.
int64_t ConvertedSize(const TWaveFormat& source, const TWaveFormat& target, size_t sourceBytes) noexcept;

// A converter over at most sourceBlock source bytes per Convert, rounded
// down to whole source blocks. None when the formats need no conversion,
// when there is no chain, or when the block holds no whole source block.
TWaveConverterPtr CreateConverter(const TWaveFormat& source, const TWaveFormat& target, size_t sourceBlock) noexcept;

// Runs every stage over the whole source blocks among the first
// min(sourceBytes, SourceBlock()) bytes; returns the bytes the last stage
// produced, readable at converter->Output(). 0 without a converter, without
// a whole block, or when a stage finds the data corrupt.
size_t Convert(TWaveConverter* converter, const uint8_t* source, size_t sourceBytes) noexcept;

void FreeConverter(TWaveConverterPtr& converter) noexcept;
