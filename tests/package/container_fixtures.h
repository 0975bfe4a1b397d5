#pragma once
// Shared helpers of the container tests: a clock that moves by 1 ms per
// reading, a scratch folder, WAV-like content, file access, and a writer of
// bzip2 containers made with libbz2 (the stream never writes those).

#include "package/pack_stream.h"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TSteppingClock : public TVirtualClock {
public:
    int64_t SteadyMilliseconds() override { ++m_reads; return ++m_time; }
    int64_t Reads() const { return m_reads; }
    int64_t Time() const { return m_time; }

private:
    int64_t m_time = 1000;
    int64_t m_reads = 0;
};

class TContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        m_dir = std::filesystem::temp_directory_path() / ("ambitone-container-" + name);
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    std::filesystem::path m_dir;
    TSteppingClock m_clock;
};

// 16-bit samples of two sines and a little deterministic noise.
inline std::vector<uint8_t> WaveLikeBytes(size_t size, uint32_t seed = 1)
{
    std::vector<uint8_t> out(size);
    uint32_t noise = seed;
    for (size_t i = 0; i + 1 < size; i += 2) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i / 2);
        const double v = 9000 * std::sin(t * 0.031) + 4000 * std::sin(t * 0.0071) + static_cast<int>(noise >> 28) - 8;
        const auto s = static_cast<int16_t>(v);
        out[i] = static_cast<uint8_t>(s);
        out[i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
    }
    if (size % 2)
        out[size - 1] = 0x5A;
    return out;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

inline void SetLe32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Writes `content` as a container in `pieces`-sized writes (0: one write).
inline void WriteContainer(const std::string& path, const std::vector<uint8_t>& content, uint8_t level,
                           const std::string& password, IClock& clock, size_t pieces = 0, uint32_t gap = 0)
{
    TPackFileStream out(path, PackModeCreate, password, level, gap, clock);
    const size_t step = pieces ? pieces : std::max<size_t>(content.size(), 1);
    for (size_t done = 0; done < content.size(); done += step)
        EXPECT_EQ(out.Write(content.data() + done, std::min(step, content.size() - done)),
                  std::min(step, content.size() - done));
    out.Close();
}

inline std::vector<uint8_t> ReadContainer(const std::string& path, const std::string& password, IClock& clock,
                                          size_t piece = 0)
{
    TPackFileStream in(path, PackModeReadOnly, password, 2, 0, clock);
    std::vector<uint8_t> out(static_cast<size_t>(in.Size()));
    if (piece == 0) {
        EXPECT_EQ(in.Read(out.data(), out.size()), out.size());
    } else {
        for (size_t done = 0; done < out.size(); done += piece)
            EXPECT_EQ(in.Read(out.data() + done, std::min(piece, out.size() - done)),
                      std::min(piece, out.size() - done));
    }
    uint8_t extra = 0;
    EXPECT_EQ(in.Read(&extra, 1), 0u);
    return out;
}

// A bzip2 container laid out byte for byte as another installation writes it.
inline void WriteBzip2Container(const std::string& path, const std::vector<uint8_t>& content, uint8_t level,
                                const std::string& password)
{
    const TPackLevel info = PackLevel(level);
    TPackHeader header;
    header.BlockSize = info.BlockSize;
    header.CompressionLevel = level;
    std::unique_ptr<TPackCipher> cipher;
    if (!password.empty()) {
        cipher = std::make_unique<TPackCipher>(password);
        header.Encrypted = 1;
        for (size_t i = 0; i < PackCheckBlockSize; ++i)
            header.CheckBlock[i] = static_cast<uint8_t>(i);
        header.CheckCrc = PackCrc(header.CheckBlock, PackCheckBlockSize);
        cipher->Encipher(header.CheckBlock, PackCheckBlockSize);
    }
    std::vector<uint8_t> file(PackHeaderSize);
    for (size_t at = 0; at < content.size(); at += info.BlockSize) {
        const size_t n = std::min<size_t>(info.BlockSize, content.size() - at);
        std::vector<char> packed(n + n / 100 + 600);
        unsigned int packedSize = static_cast<unsigned int>(packed.size());
        std::vector<char> source(content.begin() + static_cast<std::ptrdiff_t>(at),
                                 content.begin() + static_cast<std::ptrdiff_t>(at + n));
        EXPECT_EQ(BZ2_bzBuffToBuffCompress(packed.data(), &packedSize, source.data(), static_cast<unsigned int>(n),
                                           info.Setting, 0, 0),
                  BZ_OK);
        packed.resize(packedSize);
        if (cipher)
            cipher->Encipher(reinterpret_cast<uint8_t*>(packed.data()), packed.size());
        TPackBlockHeader block;
        block.PackedSize = packedSize;
        block.UnpackedSize = static_cast<uint32_t>(n);
        block.BlockCrc = PackCrc(content.data() + at, n);
        block.NextOffset = static_cast<uint32_t>(file.size() + PackBlockHeaderSize + packedSize);
        uint8_t raw[PackBlockHeaderSize];
        block.Encode(raw);
        file.insert(file.end(), raw, raw + PackBlockHeaderSize);
        file.insert(file.end(), packed.begin(), packed.end());
        ++header.BlockCount;
    }
    header.Encode(file.data());
    WriteFileBytes(path, file);
}
