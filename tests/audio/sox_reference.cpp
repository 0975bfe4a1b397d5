#include "sox_reference.h"

#include "audio/ms_adpcm.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace {

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

} // namespace

TSoxWorkspace::TSoxWorkspace()
{
    std::random_device random;
    m_dir = std::filesystem::temp_directory_path() / ("ambitone-sox-" + std::to_string(random()));
    std::filesystem::create_directories(m_dir);
}

TSoxWorkspace::~TSoxWorkspace()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

bool TSoxWorkspace::Sox(const std::string& arguments) const
{
    std::string command = "cd '" + m_dir.string() + "' && sox " + arguments + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// Only what sox writes: RIFF, WAVE, chunks with pads, one fmt and one data.
std::optional<TReferenceWave> TSoxWorkspace::Read(const std::string& name) const
{
    std::ifstream file(Path(name), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF")
        return std::nullopt;
    TReferenceWave wave;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        std::string id(bytes.begin() + at, bytes.begin() + at + 4);
        size_t size = std::min<size_t>(Le32(bytes, at + 4), bytes.size() - at - 8);
        if (id == "fmt ") {
            wave.Format = TWaveFormat::FromBytes(bytes.data() + at + 8, size);
            haveFormat = true;
        } else if (id == "data") {
            wave.Data.assign(bytes.begin() + at + 8, bytes.begin() + at + 8 + size);
            return haveFormat ? std::optional(wave) : std::nullopt;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

std::vector<int16_t> Samples16(const uint8_t* pcm, size_t bytes)
{
    std::vector<int16_t> samples(bytes / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    return samples;
}

TWaveFormat FormatRecord(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign,
                         const std::vector<uint8_t>& extra)
{
    WAVEFORMATEX h{tag, channels, rate, blockAlign * rate, blockAlign, bits, static_cast<uint16_t>(extra.size())};
    std::vector<uint8_t> bytes(sizeof h);
    std::memcpy(bytes.data(), &h, sizeof h);
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    return TWaveFormat::FromBytes(bytes.data(), bytes.size());
}

TWaveFormat ExtensibleRecord(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat, uint16_t validBits)
{
    std::vector<uint8_t> extra = {static_cast<uint8_t>(validBits), 0, 0, 0, 0, 0, static_cast<uint8_t>(subFormat), 0,
                                  0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    return FormatRecord(WAVE_FORMAT_EXTENSIBLE, channels, rate, bits, static_cast<uint16_t>(channels * bits / 8), extra);
}

std::vector<uint8_t> MsAdpcmRecordBytes(uint16_t channels, uint16_t samplesPerBlock)
{
    std::vector<uint8_t> extra;
    auto put = [&extra](int value) {
        extra.push_back(static_cast<uint8_t>(value & 0xFF));
        extra.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    };
    put(samplesPerBlock);
    put(MsAdpcmStandardCoefficientCount);
    for (const auto& pair : MsAdpcmStandardCoefficients) {
        put(pair[0]);
        put(pair[1]);
    }
    uint16_t blockAlign = static_cast<uint16_t>(7 * channels + ((samplesPerBlock - 2) * channels + 1) / 2);
    TWaveFormat format = FormatRecord(WAVE_FORMAT_ADPCM, channels, 22050, 4, blockAlign, extra);
    return std::vector<uint8_t>(format.Bytes(), format.Bytes() + 18 + extra.size());
}

TWaveFormat MsAdpcmRecord(uint16_t channels, uint16_t samplesPerBlock)
{
    std::vector<uint8_t> bytes = MsAdpcmRecordBytes(channels, samplesPerBlock);
    return TWaveFormat::FromBytes(bytes.data(), bytes.size());
}

std::vector<uint8_t> AdpcmBlocks(const TWaveFormat& format, size_t count)
{
    const size_t channels = format->nChannels, blockBytes = format->nBlockAlign;
    std::vector<uint8_t> bytes(blockBytes * count);
    uint32_t seed = 12345;
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<uint8_t>(seed >> 16);
    }
    for (size_t block = 0; block < count; ++block) {
        uint8_t* header = bytes.data() + block * blockBytes;
        for (size_t c = 0; c < channels; ++c) {
            if (format->wFormatTag == WAVE_FORMAT_ADPCM) {
                header[c] = static_cast<uint8_t>((block + c) % MsAdpcmStandardCoefficientCount);
                header[channels + 2 * c] = 40; // initial step 40
                header[channels + 2 * c + 1] = 0;
            } else {
                header[4 * c + 2] %= 89;
            }
        }
    }
    return bytes;
}
