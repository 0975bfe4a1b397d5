#include "audio/riff_reader.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <system_error>

namespace {

// Where the walk reads from: the image in memory or a file. ReadAt copies
// at most `count` bytes from `offset` and returns how many it copied.
class TRiffSource {
public:
    virtual ~TRiffSource() = default;
    virtual uint64_t Size() const = 0;
    virtual uint64_t ReadAt(uint64_t offset, uint8_t* destination, uint64_t count) = 0;
};

class TMemorySource : public TRiffSource {
public:
    explicit TMemorySource(std::span<const uint8_t> image) : m_image(image) {}
    uint64_t Size() const override { return m_image.size(); }
    uint64_t ReadAt(uint64_t offset, uint8_t* destination, uint64_t count) override
    {
        if (offset >= m_image.size())
            return 0;
        uint64_t available = std::min<uint64_t>(count, m_image.size() - offset);
        if (available > 0)
            std::memcpy(destination, m_image.data() + offset, available);
        return available;
    }

private:
    std::span<const uint8_t> m_image;
};

class TFileSource : public TRiffSource {
public:
    TFileSource(std::ifstream& file, uint64_t size) : m_file(file), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    uint64_t ReadAt(uint64_t offset, uint8_t* destination, uint64_t count) override
    {
        if (offset >= m_size)
            return 0;
        m_file.clear();
        m_file.seekg(static_cast<std::streamoff>(offset));
        m_file.read(reinterpret_cast<char*>(destination), static_cast<std::streamsize>(count));
        return m_file ? count : static_cast<uint64_t>(std::max<std::streamsize>(m_file.gcount(), 0));
    }

private:
    std::ifstream& m_file;
    uint64_t m_size;
};

uint32_t Le32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool IsId(const uint8_t* bytes, const char (&id)[5])
{
    return std::memcmp(bytes, id, 4) == 0;
}

constexpr uint64_t MaxSigned = std::numeric_limits<int32_t>::max();

// Steps 11 to 14: the data length in whole stored blocks, the PCM fields
// recomputed, the sample count.
std::optional<TWaveInfo> Describe(TWaveInfo info, uint64_t imageSize, uint64_t dataOffset, uint64_t dataEnd)
{
    WAVEFORMATEX& format = info.Format.Header();
    const uint64_t blockAlign = format.nBlockAlign;
    if (blockAlign == 0)
        return std::nullopt;
    const uint64_t dataBytes = (dataEnd - dataOffset) / blockAlign * blockAlign;
    if (format.wFormatTag == WAVE_FORMAT_PCM) {
        // A wrong stored nBlockAlign or byte rate is common; the sample
        // layout follows from the bit length and the channel count.
        const uint64_t recomputed = (static_cast<uint64_t>(format.wBitsPerSample) * format.nChannels >> 3) & 0xFFFF;
        const uint64_t byteRate = recomputed * format.nSamplesPerSec;
        if (byteRate > MaxSigned)
            return std::nullopt;
        format.nBlockAlign = static_cast<uint16_t>(recomputed);
        format.nAvgBytesPerSec = static_cast<uint32_t>(byteRate);
    }
    // The unit conversions work in signed 32 bits; a wave they cannot
    // describe is refused here rather than failing later in the mixer.
    if (format.nAvgBytesPerSec == 0 || format.nAvgBytesPerSec > MaxSigned || format.nSamplesPerSec > MaxSigned ||
        dataBytes > MaxSigned)
        return std::nullopt;
    int32_t sampleCount = 0;
    try {
        sampleCount = MulDivRound(static_cast<int32_t>(dataBytes), static_cast<int32_t>(format.nSamplesPerSec),
                                  static_cast<int32_t>(format.nAvgBytesPerSec));
    } catch (const EMMWaveError&) {
        return std::nullopt;
    }
    info.FileSize = static_cast<uint32_t>(imageSize);
    info.DataOffset = static_cast<uint32_t>(dataOffset);
    info.DataBytes = static_cast<uint32_t>(dataBytes);
    info.SampleCount = static_cast<uint32_t>(sampleCount);
    info.FirstSample = 0;
    info.LastSample = sampleCount;
    return info;
}

// Steps 1 to 10. Every offset and size is held in 64 bits, so no sum of
// two 32-bit fields wraps, and every read is bounded by the image.
std::optional<TWaveInfo> Walk(TRiffSource& source)
{
    const uint64_t imageSize = source.Size();
    if (imageSize < 12 || imageSize > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    uint8_t header[12];
    if (source.ReadAt(0, header, 12) != 12 || !IsId(header, "RIFF") || !IsId(header + 8, "WAVE"))
        return std::nullopt;
    const uint64_t riffSize = std::min<uint64_t>(Le32(header + 4), imageSize - 8);
    const uint64_t bodyEnd = 8 + riffSize;

    TWaveInfo info;
    bool formatSeen = false;
    bool dataSeen = false;
    bool justAfterData = false;
    bool factSeen = false;
    uint64_t declaredData = 0;
    uint64_t dataOffset = 0;
    uint64_t dataEnd = imageSize;
    uint64_t position = 12;
    while (position < bodyEnd && imageSize - position >= 8) {
        if (source.ReadAt(position, header, 8) != 8)
            return std::nullopt;
        const bool isList = IsId(header, "LIST");
        if (isList && imageSize - position < 12)
            break;
        if (isList && source.ReadAt(position + 8, header + 8, 4) != 4)
            return std::nullopt;
        const uint64_t body = position + 8;
        uint64_t size = Le32(header + 4);
        if (body + size > bodyEnd) {
            // A chunk cut by the end of the body once format and data are
            // known is not looked at, so its bytes stay sample data.
            if (formatSeen && dataSeen)
                break;
            if (body + size > imageSize)
                size = imageSize - body;
        }
        if (justAfterData) {
            dataEnd = position;
            justAfterData = false;
        }

        if (isList) {
            if (IsId(header + 8, "INFO") && size >= 5) {
                info.InfoList.resize(size - 4);
                if (source.ReadAt(body + 4, info.InfoList.data(), size - 4) != size - 4)
                    return std::nullopt;
            }
        } else if (IsId(header, "DISP")) {
            if (size >= 5) {
                std::vector<uint8_t> block(size);
                if (source.ReadAt(body, block.data(), size) != size)
                    return std::nullopt;
                info.DispList.push_back(std::move(block));
            }
        } else if (IsId(header, "fmt ")) {
            if (formatSeen)
                break;
            std::vector<uint8_t> bytes(size);
            if (source.ReadAt(body, bytes.data(), size) != size)
                return std::nullopt;
            info.Format = TWaveFormat::FromBytes(bytes.data(), bytes.size());
            formatSeen = true;
        } else if (IsId(header, "data")) {
            if (declaredData != 0)
                break;
            declaredData = size;
            dataOffset = body;
            // A data chunk taken after an empty one starts afresh: its data
            // runs to the next chunk or to the end of the image, never to a
            // chunk found before it.
            dataEnd = imageSize;
            justAfterData = true;
            dataSeen = true;
        } else if (IsId(header, "fact")) {
            // The frame count it holds is not used: the data's own length
            // decides the sample count.
            if (factSeen)
                break;
            factSeen = true;
        }

        const uint64_t next = body + size + (size & 1);
        if (next > imageSize) {
            if (declaredData != 0)
                break;
            return std::nullopt;
        }
        position = next;
    }
    // Without a data chunk the image's own header bytes would be played as
    // samples; such an image is refused.
    if (!formatSeen || !dataSeen)
        return std::nullopt;
    return Describe(std::move(info), imageSize, dataOffset, dataEnd);
}

} // namespace

std::optional<TWaveInfo> ReadWaveInfo(std::span<const uint8_t> image)
{
    TMemorySource source(image);
    return Walk(source);
}

std::optional<TWaveInfo> ReadWaveFileInfo(const std::filesystem::path& path)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw EMMWaveError("Cannot open file " + path.string() + ": " + std::strerror(EISDIR));
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw EMMWaveError("Cannot open file " + path.string() + ": " + std::strerror(errno));
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0)
        return std::nullopt;
    TFileSource source(file, static_cast<uint64_t>(size));
    return Walk(source);
}
