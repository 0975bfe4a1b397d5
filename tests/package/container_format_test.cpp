// The bytes of the container on disk: header fields, block chain, payloads
// as plain zlib streams (or their encipherment), the gap, the level table,
// and the plain-file fallback.
#include "container_fixtures.h"

#include <zlib.h>

namespace {

using TFormatTest = TContainerTest;

std::vector<uint8_t> ZlibOf(const uint8_t* data, size_t size, int level)
{
    uLongf packed = compressBound(static_cast<uLong>(size));
    std::vector<uint8_t> out(packed);
    EXPECT_EQ(compress2(out.data(), &packed, data, static_cast<uLong>(size), level), Z_OK);
    out.resize(packed);
    return out;
}

TEST_F(TFormatTest, EmptyContainerHeaderFieldByField)
{
    struct TCase {
        std::string Password;
        uint8_t Level;
        uint32_t Gap;
    };
    for (const TCase& c : {TCase{"", 2, 0}, TCase{"Quorlentix", 2, 0}, TCase{"", 1, 0x01020304}, TCase{"pw", 5, 7}}) {
        SCOPED_TRACE(c.Password + " level " + std::to_string(c.Level));
        const std::string path = Path("empty.aacs");
        WriteContainer(path, {}, c.Level, c.Password, m_clock, 0, c.Gap);
        const std::vector<uint8_t> b = ReadFileBytes(path);
        ASSERT_EQ(b.size(), 128u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "AACS");
        EXPECT_EQ(Le32(b, 4), PackLevel(c.Level).BlockSize);
        EXPECT_EQ(Le32(b, 12), 0u);
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + 16, b.begin() + 20), (std::vector<uint8_t>{0xAE, 0x47, 0x01, 0x40}));
        EXPECT_EQ(b[20], c.Level);
        EXPECT_EQ(b[21], 0);
        EXPECT_EQ(b[22], c.Password.empty() ? 0 : 1);
        EXPECT_EQ(Le32(b, 23), c.Gap); // unaligned
        EXPECT_EQ(b[27], 0);
        std::vector<uint8_t> check(b.begin() + 28, b.end());
        if (c.Password.empty()) {
            EXPECT_EQ(Le32(b, 8), 0u);
            EXPECT_EQ(check, std::vector<uint8_t>(100, 0));
        } else {
            TPackCipher(c.Password).Decipher(check.data(), check.size());
            for (size_t i = 0; i < check.size(); ++i)
                ASSERT_EQ(check[i], i);
            EXPECT_EQ(Le32(b, 8), PackCrc(check.data(), check.size()));
        }
        TPackFileStream in(path, PackModeReadOnly, c.Password, 2, 0, m_clock);
        EXPECT_FALSE(in.IsPlain());
        EXPECT_EQ(in.Size(), 0u);
        uint8_t byte = 0;
        EXPECT_EQ(in.Read(&byte, 1), 0u);
    }
}

TEST_F(TFormatTest, BlocksChainAndPayloadsAreZlibStreamsOfTheLevel)
{
    struct TCase {
        uint8_t Level;
        int ZlibLevel;
        uint32_t BlockSize;
        std::string Password;
        uint32_t Gap;
    };
    const TCase cases[] = {{1, 1, 524288, "", 0},  {2, 5, 1048576, "", 0},          {5, 9, 1572864, "", 3},
                           {2, 5, 1048576, "Quorlentix", 0}, {1, 1, 524288, "x", 1000}};
    for (const TCase& c : cases) {
        SCOPED_TRACE("level " + std::to_string(c.Level) + " password '" + c.Password + "'");
        const std::vector<uint8_t> content = WaveLikeBytes(2 * size_t{c.BlockSize} + 1001);
        const std::string path = Path("blocks.aacs");
        WriteContainer(path, content, c.Level, c.Password, m_clock, 0, c.Gap);
        const std::vector<uint8_t> b = ReadFileBytes(path);
        ASSERT_GE(b.size(), 128u);
        EXPECT_EQ(Le32(b, 12), 3u);
        uint64_t offset = 128 + c.Gap;
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE("block " + std::to_string(i));
            ASSERT_LE(offset + 16, b.size());
            const uint32_t packed = Le32(b, offset);
            const uint32_t unpacked = Le32(b, offset + 4);
            const size_t start = i * c.BlockSize;
            EXPECT_EQ(unpacked, i < 2 ? c.BlockSize : 1001u);
            EXPECT_EQ(Le32(b, offset + 8), PackCrc(content.data() + start, unpacked));
            EXPECT_EQ(Le32(b, offset + 12), offset + 16 + packed);
            ASSERT_LE(offset + 16 + packed, b.size());
            std::vector<uint8_t> payload(b.begin() + static_cast<std::ptrdiff_t>(offset + 16),
                                         b.begin() + static_cast<std::ptrdiff_t>(offset + 16 + packed));
            if (!c.Password.empty())
                TPackCipher(c.Password).Decipher(payload.data(), payload.size());
            EXPECT_EQ(payload, ZlibOf(content.data() + start, unpacked, c.ZlibLevel));
            offset += 16 + packed;
        }
        EXPECT_EQ(offset, b.size());
        TPackFileStream in(path, PackModeReadOnly, c.Password, 0, 0, m_clock);
        EXPECT_EQ(in.Size(), content.size());
        ASSERT_EQ(in.Headers().size(), 3u);
        EXPECT_EQ(in.Headers()[0].Offset, 128u + c.Gap);
    }
}

TEST_F(TFormatTest, BlockCountAtTheBoundary)
{
    struct TCase {
        size_t Size;
        uint32_t Blocks;
        uint32_t LastUnpacked;
    };
    const TCase cases[] = {{1, 1, 1}, {1048575, 1, 1048575}, {1048576, 1, 1048576}, {1048577, 2, 1}, {2097152, 2, 1048576}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Size);
        const std::string path = Path("boundary.aacs");
        WriteContainer(path, WaveLikeBytes(c.Size), 2, "", m_clock);
        TPackFileStream in(path, PackModeReadOnly, "", 2, 0, m_clock);
        EXPECT_EQ(in.Header().BlockCount, c.Blocks);
        ASSERT_EQ(in.Headers().size(), c.Blocks);
        EXPECT_EQ(in.Headers().back().UnpackedSize, c.LastUnpacked);
        EXPECT_EQ(in.Size(), c.Size);
    }
}

TEST_F(TFormatTest, LevelTable)
{
    struct TCase {
        uint8_t Level;
        TPackCompressor Compressor;
        uint32_t BlockSize;
        bool Writable;
    };
    const TCase cases[] = {{0, TPackCompressor::None, 1048576, true},         {1, TPackCompressor::Zlib, 524288, true},
                           {2, TPackCompressor::Zlib, 1048576, true},         {3, TPackCompressor::Unsupported, 1048576, false},
                           {4, TPackCompressor::Unsupported, 1572864, false}, {5, TPackCompressor::Zlib, 1572864, true},
                           {6, TPackCompressor::Unsupported, 524288, false},  {7, TPackCompressor::Bzip2, 524288, false},
                           {8, TPackCompressor::Bzip2, 1048576, false},       {9, TPackCompressor::Bzip2, 1572864, false},
                           {10, TPackCompressor::Unsupported, 1048576, false}, {255, TPackCompressor::Unsupported, 1048576, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(int{c.Level});
        const TPackLevel level = PackLevel(c.Level);
        EXPECT_EQ(level.Compressor, c.Compressor);
        EXPECT_EQ(level.BlockSize, c.BlockSize);
        EXPECT_EQ(level.Writable, c.Writable);
        if (c.Writable)
            continue;
        const std::string path = Path("refused.aacs");
        try {
            TPackFileStream out(path, PackModeCreate, "", c.Level, 0, m_clock);
            ADD_FAILURE() << "created";
        } catch (const EPackError& e) {
            EXPECT_EQ(e.Message(), "TPackStream.Create - compression level " + std::to_string(c.Level) +
                                       " cannot be written.");
        }
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir), std::filesystem::directory_iterator()), 0);
    }
}

TEST_F(TFormatTest, PlainFilesReadUnchanged)
{
    std::vector<uint8_t> notContainer = WaveLikeBytes(5000);
    notContainer[0] = 'A';
    notContainer[1] = 'A';
    notContainer[2] = 'C';
    notContainer[3] = 'X';
    std::vector<uint8_t> shortWithSignature = {'A', 'A', 'C', 'S', 1, 2, 3};
    const std::vector<std::vector<uint8_t>> files = {{}, shortWithSignature, std::vector<uint8_t>(127, 'A'),
                                                     notContainer};
    for (const std::vector<uint8_t>& bytes : files) {
        SCOPED_TRACE(bytes.size());
        const std::string path = Path("plain.bin");
        WriteFileBytes(path, bytes);
        TPackFileStream in(path, PackModeReadOnly, "Quorlentix", 2, 0, m_clock);
        EXPECT_TRUE(in.IsPlain());
        EXPECT_EQ(in.Size(), bytes.size());
        std::vector<uint8_t> got(bytes.size() + 10);
        EXPECT_EQ(in.Read(got.data(), got.size()), bytes.size());
        got.resize(bytes.size());
        EXPECT_EQ(got, bytes);
        std::vector<uint8_t> copied;
        in.CopyTo([&](const uint8_t* d, size_t n) { copied.insert(copied.end(), d, d + n); });
        EXPECT_EQ(copied, bytes);
    }
}

TEST_F(TFormatTest, LevelZeroWritesThePlainBytes)
{
    const std::string path = Path("level0.bin");
    const std::vector<uint8_t> content = WaveLikeBytes(3000);
    WriteContainer(path, content, 0, "ignored", m_clock, 700);
    EXPECT_EQ(ReadFileBytes(path), content);
}

} // namespace
