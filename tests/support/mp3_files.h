#pragma once
// MP3 fixtures for the music tests: tones written as PCM WAV files and
// encoded by lame, plus a frame counter that walks the MPEG headers itself,
// as a reference that does not go through libmpg123.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace mp3fixtures {

inline void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A RIFF WAVE image with a fmt chunk of the given tag and a data chunk.
inline std::vector<uint8_t> WaveImage(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
    const std::vector<uint8_t>& data)
{
    uint16_t blockAlign = static_cast<uint16_t>(bits ? channels * bits / 8 : 1);
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    PutLe(out, static_cast<uint32_t>(4 + 8 + 16 + 8 + data.size()), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 16, 4);
    PutLe(out, tag, 2);
    PutLe(out, channels, 2);
    PutLe(out, rate, 4);
    PutLe(out, rate * blockAlign, 4);
    PutLe(out, blockAlign, 2);
    PutLe(out, bits, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, static_cast<uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// 16-bit PCM: a sine of `leftHz` on the first channel; with two channels
// the second carries `rightHz` (0: silence).
inline std::vector<uint8_t> Tone(uint32_t samples, uint16_t channels, double leftHz, double rightHz)
{
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < samples; ++i)
        for (uint16_t c = 0; c < channels; ++c) {
            double hz = c == 0 ? leftHz : rightHz;
            auto value = static_cast<int16_t>(std::lround(12000.0 * std::sin(2.0 * M_PI * hz * i / 44100.0)));
            PutLe(data, static_cast<uint16_t>(value), 2);
        }
    return data;
}

// Encodes a tone with lame at 44100 Hz, 128 kbit/s; mode "m" (mono) or "s".
inline std::filesystem::path MakeMp3(const std::filesystem::path& dir, const std::string& name, uint32_t samples,
    uint16_t channels, double leftHz, double rightHz)
{
    std::filesystem::path wav = dir / (name + ".wav");
    std::filesystem::path mp3 = dir / (name + ".mp3");
    WriteFile(wav, WaveImage(1, channels, 44100, 16, Tone(samples, channels, leftHz, rightHz)));
    std::string command = std::string("lame --quiet -b 128 -m ") + (channels == 1 ? "m" : "s") + " '"
        + wav.string() + "' '" + mp3.string() + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("lame failed: " + command);
    return mp3;
}

// The audio frames of an MPEG-1 layer III file, counted from its headers;
// lame's leading Xing/Info frame carries no audio and is not counted.
inline int CountLayer3Frames(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const int kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int rates[4] = {44100, 48000, 32000, 0};
    size_t pos = 0;
    int frames = 0;
    bool first = true;
    while (pos + 4 <= b.size()) {
        if (b[pos] != 0xFF || (b[pos + 1] & 0xFE) != 0xFA) // MPEG-1, layer III
            break;
        int bitrate = kbps[b[pos + 2] >> 4] * 1000;
        int rate = rates[(b[pos + 2] >> 2) & 3];
        int padding = (b[pos + 2] >> 1) & 1;
        if (bitrate == 0 || rate == 0)
            break;
        size_t length = static_cast<size_t>(144 * bitrate / rate + padding);
        std::string body(b.begin() + static_cast<long>(pos), b.begin() + static_cast<long>(std::min(pos + length, b.size())));
        bool infoFrame = first && (body.find("Info") != std::string::npos || body.find("Xing") != std::string::npos);
        if (!infoFrame)
            ++frames;
        first = false;
        pos += length;
    }
    return frames;
}

class TTempDir {
public:
    TTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ambitone-mpeg-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TTempDir()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace mp3fixtures
