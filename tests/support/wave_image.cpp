#include "support/wave_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace {

// What TWaveFormat::Pcm makes, built here so that no audio library is needed.
WAVEFORMATEX PcmRecord(uint16_t channels, uint32_t rate, uint16_t bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<uint16_t>((static_cast<uint32_t>(bits) * channels) >> 3);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    return format;
}

} // namespace

void AppendLe16(TBytes& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendLe32(TBytes& bytes, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendId(TBytes& bytes, std::string_view fourCc)
{
    if (fourCc.size() != 4)
        throw std::invalid_argument("a chunk identifier has four characters");
    bytes.insert(bytes.end(), fourCc.begin(), fourCc.end());
}

TBytes FmtBody(const WAVEFORMATEX& format, size_t size, const TBytes& extra)
{
    TBytes body(sizeof(WAVEFORMATEX));
    std::memcpy(body.data(), &format, sizeof(WAVEFORMATEX));
    body.resize(std::min(size, sizeof(WAVEFORMATEX)));
    body.insert(body.end(), extra.begin(), extra.end());
    return body;
}

TBytes ChunkBytes(std::string_view id, const TBytes& body)
{
    TBytes bytes;
    AppendId(bytes, id);
    AppendLe32(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (body.size() % 2 != 0)
        bytes.push_back(0);
    return bytes;
}

TBytes PatternBytes(size_t count, uint8_t seed)
{
    TBytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>((i + seed) % 251);
    return bytes;
}

TRiffBuilder::TRiffBuilder(std::string_view formType)
{
    AppendId(m_form, formType);
}

TRiffBuilder& TRiffBuilder::Chunk(std::string_view id, const TBytes& body, std::optional<uint32_t> declaredSize)
{
    m_offsets.push_back(12 + m_chunks.size());
    AppendId(m_chunks, id);
    AppendLe32(m_chunks, declaredSize.value_or(static_cast<uint32_t>(body.size())));
    m_chunks.insert(m_chunks.end(), body.begin(), body.end());
    if (body.size() % 2 != 0)
        m_chunks.push_back(0);
    return *this;
}

TRiffBuilder& TRiffBuilder::Fmt(const WAVEFORMATEX& format, size_t size)
{
    return Chunk("fmt ", FmtBody(format, size));
}

TRiffBuilder& TRiffBuilder::Data(const TBytes& body, std::optional<uint32_t> declaredSize)
{
    return Chunk("data", body, declaredSize);
}

TRiffBuilder& TRiffBuilder::List(std::string_view formType, const TBytes& body)
{
    TBytes listBody;
    AppendId(listBody, formType);
    listBody.insert(listBody.end(), body.begin(), body.end());
    return Chunk("LIST", listBody);
}

TRiffBuilder& TRiffBuilder::Trailing(const TBytes& bytes)
{
    m_trailing.insert(m_trailing.end(), bytes.begin(), bytes.end());
    return *this;
}

TRiffBuilder& TRiffBuilder::RiffSize(uint32_t size)
{
    m_riffSize = size;
    return *this;
}

TBytes TRiffBuilder::Build() const
{
    TBytes image;
    AppendId(image, "RIFF");
    AppendLe32(image, m_riffSize.value_or(static_cast<uint32_t>(4 + m_chunks.size())));
    image.insert(image.end(), m_form.begin(), m_form.end());
    image.insert(image.end(), m_chunks.begin(), m_chunks.end());
    image.insert(image.end(), m_trailing.begin(), m_trailing.end());
    return image;
}

TBytes TRiffBuilder::Build(size_t length) const
{
    TBytes image = Build();
    image.resize(std::min(length, image.size()));
    return image;
}

size_t TRiffBuilder::ChunkOffset(size_t index) const
{
    return m_offsets.at(index);
}

TBytes PcmWaveImage(uint16_t channels, uint32_t rate, uint16_t bits, size_t frames)
{
    const WAVEFORMATEX format = PcmRecord(channels, rate, bits);
    return TRiffBuilder().Fmt(format).Data(PatternBytes(frames * format.nBlockAlign)).Build();
}

TBytes ToneWave(int frames, double pitch, uint32_t rate, double amplitude)
{
    TBytes samples;
    samples.reserve(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i)
        AppendLe16(samples, static_cast<uint16_t>(static_cast<int16_t>(
                                amplitude * std::sin(2 * std::numbers::pi * pitch * i / static_cast<double>(rate)))));
    return TRiffBuilder().Fmt(PcmRecord(1, rate, 16)).Data(samples).Build();
}

std::string ToneWaveString(int frames, double pitch, uint32_t rate, double amplitude)
{
    const TBytes image = ToneWave(frames, pitch, rate, amplitude);
    return std::string(image.begin(), image.end());
}
