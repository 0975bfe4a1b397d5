#include "audio/wave_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

TWaveFormat TWaveFormat::FromBytes(const uint8_t* bytes, size_t size)
{
    TWaveFormat format;
    format.m_bytes.assign(std::max(size, sizeof(WAVEFORMATEX)) + 1, 0);
    if (size > 0)
        std::memcpy(format.m_bytes.data(), bytes, size);
    return format;
}

TWaveFormat TWaveFormat::Pcm(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample)
{
    TWaveFormat format;
    WAVEFORMATEX& h = format.Header();
    h.wFormatTag = WAVE_FORMAT_PCM;
    h.nChannels = channels;
    h.nSamplesPerSec = samplesPerSec;
    h.wBitsPerSample = bitsPerSample;
    // In 32 unsigned bits: the 16-bit operands promote to int, whose product
    // can overflow.
    h.nBlockAlign = static_cast<uint16_t>((static_cast<uint32_t>(bitsPerSample) * channels) >> 3);
    h.nAvgBytesPerSec = h.nBlockAlign * samplesPerSec;
    h.cbSize = 0;
    return format;
}

uint16_t TWaveFormat::Word(size_t offset) const
{
    if (offset + 2 > m_bytes.size())
        return 0;
    return static_cast<uint16_t>(m_bytes[offset] | (m_bytes[offset + 1] << 8));
}

bool TWaveFormat::IsZero() const
{
    return std::all_of(m_bytes.begin(), m_bytes.begin() + sizeof(WAVEFORMATEX), [](uint8_t b) { return b == 0; });
}

bool TWaveFormat::operator==(const TWaveFormat& other) const
{
    return std::memcmp(m_bytes.data(), other.m_bytes.data(), sizeof(WAVEFORMATEX)) == 0;
}

int32_t MulDivRound(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        throw EMMWaveError("Division by zero");
    int64_t product = static_cast<int64_t>(a) * b;
    int64_t quotient = product / c;
    int64_t remainder = product % c;
    quotient += (2 * remainder) / c;
    if (quotient < std::numeric_limits<int32_t>::min() || quotient > std::numeric_limits<int32_t>::max())
        throw EMMWaveError("Integer overflow");
    return static_cast<int32_t>(quotient);
}

namespace {

int32_t RoundUpToBlock(const WAVEFORMATEX& format, int32_t bytes)
{
    int32_t block = format.nBlockAlign;
    if (block <= 1)
        return bytes;
    int64_t rounded = (static_cast<int64_t>(bytes) + block - 1) / block * block;
    if (rounded > std::numeric_limits<int32_t>::max())
        throw EMMWaveError("Integer overflow");
    return static_cast<int32_t>(rounded);
}

int32_t Signed(uint32_t value)
{
    if (value > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        throw EMMWaveError("Integer overflow");
    return static_cast<int32_t>(value);
}

} // namespace

int32_t WaveBytesToSamples(const WAVEFORMATEX& format, int32_t bytes)
{
    return MulDivRound(bytes, Signed(format.nSamplesPerSec), Signed(format.nAvgBytesPerSec));
}

int32_t WaveSamplesToBytes(const WAVEFORMATEX& format, int32_t samples)
{
    return RoundUpToBlock(format, MulDivRound(samples, Signed(format.nAvgBytesPerSec), Signed(format.nSamplesPerSec)));
}

int32_t WaveSamplesToMs(const WAVEFORMATEX& format, int32_t samples)
{
    return MulDivRound(samples, 1000, Signed(format.nSamplesPerSec));
}

int32_t WaveMsToSamples(const WAVEFORMATEX& format, int32_t ms)
{
    return MulDivRound(ms, Signed(format.nSamplesPerSec), 1000);
}

int32_t WaveMsToBytes(const WAVEFORMATEX& format, int32_t ms)
{
    return RoundUpToBlock(format, MulDivRound(ms, Signed(format.nAvgBytesPerSec), 1000));
}
