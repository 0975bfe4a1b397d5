// Content written and read back: every supported level, with and without a
// password, sizes around block boundaries, writes split in many ways (the
// file bytes never depend on the split), reads in small pieces, copy-out,
// bzip2 containers from another writer, appending in place, cutting.
#include "container_fixtures.h"

namespace {

using TRoundTripTest = TContainerTest;

TEST_F(TRoundTripTest, EveryLevelPasswordSizeAndSplit)
{
    for (uint8_t level : {uint8_t{1}, uint8_t{2}, uint8_t{5}}) {
        const size_t bs = PackLevel(level).BlockSize;
        for (const std::string& password : {std::string(), std::string("Quorlentix")}) {
            for (size_t size : {size_t{0}, size_t{1}, bs - 1, bs, bs + 1, 2 * bs + 4097}) {
                SCOPED_TRACE("level " + std::to_string(level) + " password '" + password + "' size " +
                             std::to_string(size));
                const std::vector<uint8_t> content = WaveLikeBytes(size, static_cast<uint32_t>(size));
                const std::string whole = Path("whole.aacs");
                WriteContainer(whole, content, level, password, m_clock);
                const std::vector<uint8_t> reference = ReadFileBytes(whole);
                for (size_t piece : {size_t{260}, size_t{4096}, bs - 3, bs, bs + 5}) {
                    SCOPED_TRACE("piece " + std::to_string(piece));
                    const std::string split = Path("split.aacs");
                    WriteContainer(split, content, level, password, m_clock, piece);
                    EXPECT_EQ(ReadFileBytes(split), reference);
                }
                EXPECT_EQ(ReadContainer(whole, password, m_clock), content);
                EXPECT_EQ(ReadContainer(whole, password, m_clock, 260), content);
                EXPECT_EQ(ReadContainer(whole, password, m_clock, 4096), content);
            }
        }
    }
}

TEST_F(TRoundTripTest, IrregularSplitsGiveTheSameFile)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 * 2 + 333);
    const std::string whole = Path("whole.aacs");
    WriteContainer(whole, content, 2, "pw", m_clock);
    const std::vector<uint8_t> reference = ReadFileBytes(whole);
    const std::vector<std::vector<size_t>> patterns = {{1, 2, 3, 1048570, 1, 7}, {1048575, 1, 1048575, 2}, {0, 5, 0, 9}};
    for (const std::vector<size_t>& pattern : patterns) {
        const std::string split = Path("split.aacs");
        {
            TPackFileStream out(split, PackModeCreate, "pw", 2, 0, m_clock);
            size_t done = 0;
            for (size_t i = 0; done < content.size(); ++i) {
                const size_t n = std::min(pattern[i % pattern.size()], content.size() - done);
                EXPECT_EQ(out.Write(content.data() + done, n), n);
                done += n;
            }
        } // freeing completes the file
        EXPECT_EQ(ReadFileBytes(split), reference);
    }
}

TEST_F(TRoundTripTest, Bzip2ContainersFromAnotherWriterRead)
{
    for (uint8_t level : {uint8_t{7}, uint8_t{8}, uint8_t{9}}) {
        for (const std::string& password : {std::string(), std::string("Quorlentix")}) {
            SCOPED_TRACE("level " + std::to_string(level) + " password '" + password + "'");
            const size_t bs = PackLevel(level).BlockSize;
            const std::vector<uint8_t> content = WaveLikeBytes(bs + 12345, level);
            const std::string path = Path("bzip2.aacs");
            WriteBzip2Container(path, content, level, password);
            EXPECT_EQ(ReadContainer(path, password, m_clock), content);
            EXPECT_EQ(ReadContainer(path, password, m_clock, 4096), content);
            TPackFileStream rw(path, PackModeReadWrite, password, 2, 0, m_clock);
            rw.Seek(rw.Size());
            try {
                rw.Write("x", 1);
                ADD_FAILURE() << "bzip2 written";
            } catch (const EPackError& e) {
                EXPECT_EQ(e.Message(), "TPackCompressedStream.Write - compression level " + std::to_string(level) +
                                           " cannot be written.");
            }
        }
    }
}

TEST_F(TRoundTripTest, CopyOutInBlockPiecesKeepsThePosition)
{
    const std::vector<uint8_t> content = WaveLikeBytes(524288 * 3 + 17);
    const std::string path = Path("copy.aacs");
    WriteContainer(path, content, 1, "", m_clock);
    TPackFileStream in(path, PackModeReadOnly, "", 2, 0, m_clock);
    in.Seek(1000);
    std::vector<size_t> pieces;
    std::vector<uint8_t> copied;
    in.CopyTo([&](const uint8_t* d, size_t n) {
        pieces.push_back(n);
        copied.insert(copied.end(), d, d + n);
    });
    EXPECT_EQ(copied, content);
    EXPECT_EQ(pieces, (std::vector<size_t>{524288, 524288, 524288, 17}));
    EXPECT_EQ(in.Position(), 1000u);

    const std::string target = Path("target.aacs");
    {
        TPackFileStream out(target, PackModeCreate, "k", 2, 0, m_clock);
        in.CopyTo(out);
    }
    EXPECT_EQ(ReadContainer(target, "k", m_clock), content);
}

TEST_F(TRoundTripTest, NewFileAppearsOnlyWhenComplete)
{
    const std::string path = Path("package.aacs");
    WriteFileBytes(path, {'o', 'l', 'd'});
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 10);
    {
        TPackFileStream out(path, PackModeCreate, "", 2, 0, m_clock);
        out.Write(content.data(), content.size());
        EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
        // The stream reads what it holds, written or not.
        out.Seek(1048570);
        uint8_t back[16];
        EXPECT_EQ(out.Read(back, sizeof back), 16u);
        EXPECT_EQ(std::vector<uint8_t>(back, back + 16),
                  std::vector<uint8_t>(content.begin() + 1048570, content.begin() + 1048586));
    }
    EXPECT_EQ(ReadContainer(path, "", m_clock), content);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir), std::filesystem::directory_iterator()), 1);
}

TEST_F(TRoundTripTest, AppendingInPlaceGivesTheSameFileAsOneWrite)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 70000);
    const std::string whole = Path("whole.aacs");
    WriteContainer(whole, content, 2, "pw", m_clock);
    // Any mode with a low bit set (other than 0xFFFF) opens for writing in place.
    for (uint16_t mode : {uint16_t{1}, uint16_t{2}, uint16_t{0x0103}}) {
        for (size_t first : {size_t{10}, size_t{1048576}, size_t{1048580}}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " first " + std::to_string(first));
            const std::string path = Path("append.aacs");
            WriteContainer(path,
                           std::vector<uint8_t>(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(first)),
                           2, "pw", m_clock);
            {
                TPackFileStream rw(path, mode, "pw", 2, 0, m_clock);
                EXPECT_FALSE(rw.ReadOnly());
                rw.Seek(rw.Size());
                rw.Write(content.data() + first, content.size() - first);
            }
            EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(whole));
        }
    }
}

TEST_F(TRoundTripTest, SetSizeAndLoadFromStream)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 5000);
    const std::string path = Path("cut.aacs");
    WriteContainer(path, content, 2, "", m_clock);
    for (uint64_t size : {uint64_t{1048576 + 100}, uint64_t{1048576}, uint64_t{77}, uint64_t{0}}) {
        SCOPED_TRACE(size);
        {
            TPackFileStream rw(path, PackModeReadWrite, "", 2, 0, m_clock);
            rw.SetSize(size);
            EXPECT_EQ(rw.Size(), size);
        }
        EXPECT_EQ(ReadContainer(path, "", m_clock),
                  std::vector<uint8_t>(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(size)));
    }
    {
        TPackFileStream rw(path, PackModeReadWrite, "", 2, 0, m_clock);
        rw.SetSize(300);
    }
    EXPECT_EQ(ReadContainer(path, "", m_clock), std::vector<uint8_t>(300, 0));

    const std::string source = Path("source.aacs");
    WriteContainer(source, content, 1, "s", m_clock);
    {
        TPackFileStream src(source, PackModeReadOnly, "s", 2, 0, m_clock);
        TPackFileStream rw(path, PackModeReadWrite, "", 2, 0, m_clock);
        rw.LoadFromStream(src);
    }
    EXPECT_EQ(ReadContainer(path, "", m_clock), content);
}

TEST_F(TRoundTripTest, PlainFileOpenedForWritingIsWrittenInPlace)
{
    const std::string path = Path("plain.bin");
    WriteFileBytes(path, {1, 2, 3});
    {
        TPackFileStream rw(path, PackModeReadWrite, "", 2, 0, m_clock);
        ASSERT_TRUE(rw.IsPlain());
        rw.Seek(3);
        EXPECT_EQ(rw.Write("\x04\x05", 2), 2u);
    }
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

} // namespace
