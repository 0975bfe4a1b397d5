// Failures and their texts: passwords (and the 256 ms wait on the injected
// clock), damaged payloads, sizes and offsets that do not fit the file, the
// repair of a cut file, read-only rules, and file system errors.
#include "container_fixtures.h"

#include <functional>

namespace {

using TErrorTest = TContainerTest;

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EPackError& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST_F(TErrorTest, PasswordCheckWaitsOnTheInjectedClock)
{
    const std::string path = Path("secret.aacs");
    const std::vector<uint8_t> content = WaveLikeBytes(5000);
    WriteContainer(path, content, 2, "Quorlentix", m_clock);
    struct TCase {
        std::string Password;
        std::string Error;
        bool Waits;
    };
    const TCase cases[] = {{"Quorlentix", "(no error)", true},
                           {"quorlentix", "TPackStream.LoadHeaders - invalid password.", true},
                           {"Quorlentix ", "TPackStream.LoadHeaders - invalid password.", true},
                           {"", "TPackStream.LoadHeaders - no password specified.", false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Password);
        TSteppingClock clock;
        const int64_t start = clock.Time();
        EXPECT_EQ(ErrorOf([&] { ReadContainer(path, c.Password, clock); }), c.Error);
        if (c.Waits) {
            EXPECT_GE(clock.Time() - start, 256);
            EXPECT_LE(clock.Time() - start, 258);
        } else {
            EXPECT_EQ(clock.Reads(), 0);
        }
    }
    // A password given for a container without one is not needed.
    const std::string open = Path("open.aacs");
    WriteContainer(open, content, 2, "", m_clock);
    EXPECT_EQ(ReadContainer(open, "anything", m_clock), content);
}

TEST_F(TErrorTest, StandingClockDoesNotHoldThePasswordCheck)
{
    const std::string path = Path("secret.aacs");
    WriteContainer(path, WaveLikeBytes(100), 2, "pw", m_clock);
    TVirtualClock standing;
    EXPECT_EQ(ErrorOf([&] { ReadContainer(path, "wrong", standing); }), "TPackStream.LoadHeaders - invalid password.");
}

// Damage done to a two-block level-2 container, and the error that follows
// on reading (or on opening).
TEST_F(TErrorTest, DamagedFiles)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 200000);
    const std::string good = Path("good.aacs");
    struct TCase {
        const char* Name;
        std::string Password;
        std::function<void(std::vector<uint8_t>&)> Damage;
        std::string OpenError;
        std::string ReadError;
    };
    // Offsets in the file: block 0 header at 128; block 1 header at b1.
    const TCase cases[] = {
        {"zlib header byte", "", [](std::vector<uint8_t>& b) { b[128 + 16] ^= 0x01; }, "(no error)",
         "TPackStream.LoadBlock - decompression error."},
        {"flipped payload bit", "", [](std::vector<uint8_t>& b) { b[128 + 16 + 5000] ^= 0x10; }, "(no error)",
         "any LoadBlock"},
        {"flipped enciphered bit", "pw", [](std::vector<uint8_t>& b) { b[128 + 16 + 5000] ^= 0x10; }, "(no error)",
         "any LoadBlock"},
        {"wrong BlockCrc", "", [](std::vector<uint8_t>& b) { b[128 + 8] ^= 0x01; }, "(no error)",
         "TPackStream.LoadBlock - decompression crc error."},
        {"last UnpackedSize short by one", "",
         [](std::vector<uint8_t>& b) {
             const size_t b1 = Le32(b, 128 + 12);
             SetLe32(b, b1 + 4, Le32(b, b1 + 4) - 1);
         },
         "(no error)", "TPackStream.LoadBlock - decompression error, invalid size."},
        {"last UnpackedSize long by one", "",
         [](std::vector<uint8_t>& b) {
             const size_t b1 = Le32(b, 128 + 12);
             SetLe32(b, b1 + 4, Le32(b, b1 + 4) + 1);
         },
         "(no error)", "TPackStream.LoadBlock - decompression error, invalid size."},
        {"cut payload", "", [](std::vector<uint8_t>& b) { b.resize(b.size() - 10); }, "(no error)",
         "TPackStream.LoadBlock - block data is cut short."},
        {"huge PackedSize", "",
         [](std::vector<uint8_t>& b) { SetLe32(b, Le32(b, 128 + 12), 0xFFFFFFF0u); }, "(no error)",
         "TPackStream.LoadBlock - block data is cut short."},
        {"UnpackedSize above BlockSize", "",
         [](std::vector<uint8_t>& b) { SetLe32(b, Le32(b, 128 + 12) + 4, 1048577); },
         "TPackStream.LoadHeaders - invalid block size.", ""},
        {"first block not full", "", [](std::vector<uint8_t>& b) { SetLe32(b, 128 + 4, 1000); },
         "TPackStream.LoadHeaders - invalid block size.", ""},
        {"NextOffset into its own block", "", [](std::vector<uint8_t>& b) { SetLe32(b, 128 + 12, 140); },
         "TPackStream.LoadHeaders - invalid block offset.", ""},
        {"NextOffset beyond the file", "",
         [](std::vector<uint8_t>& b) { SetLe32(b, 128 + 12, static_cast<uint32_t>(b.size() + 1)); },
         "TPackStream.LoadHeaders - invalid block offset.", ""},
        {"BlockSize zero", "", [](std::vector<uint8_t>& b) { SetLe32(b, 4, 0); },
         "TPackStream.LoadHeaders - invalid block size.", ""},
        {"level 3", "", [](std::vector<uint8_t>& b) { b[20] = 3; },
         "TPackStream.LoadHeaders - unsupported compression level 3.", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteContainer(good, content, 2, c.Password, m_clock);
        std::vector<uint8_t> bytes = ReadFileBytes(good);
        c.Damage(bytes);
        const std::string path = Path("bad.aacs");
        WriteFileBytes(path, bytes);
        std::unique_ptr<TPackFileStream> in;
        EXPECT_EQ(ErrorOf([&] { in = std::make_unique<TPackFileStream>(path, PackModeReadOnly, c.Password, 2, 0, m_clock); }),
                  c.OpenError);
        if (!in)
            continue;
        std::vector<uint8_t> out(static_cast<size_t>(in->Size()));
        const std::string error = ErrorOf([&] { in->Read(out.data(), out.size()); });
        if (c.ReadError == "any LoadBlock")
            EXPECT_EQ(error.rfind("TPackStream.LoadBlock - decompression", 0), 0u) << error;
        else
            EXPECT_EQ(error, c.ReadError);
        // Opening read-only never changes the file.
        EXPECT_EQ(ReadFileBytes(path), bytes);
    }
}

TEST_F(TErrorTest, CutBlockHeaderIsRepairedOnlyWhenWritable)
{
    const std::vector<uint8_t> content = WaveLikeBytes(1048576 + 9000);
    const std::string path = Path("cut.aacs");
    WriteContainer(path, content, 2, "", m_clock);
    const std::vector<uint8_t> full = ReadFileBytes(path);
    const size_t b1 = Le32(full, 128 + 12);
    for (size_t keep : {size_t{0}, size_t{1}, size_t{15}}) {
        SCOPED_TRACE(keep);
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(b1 + keep));
        WriteFileBytes(path, cut);
        {
            TPackFileStream in(path, PackModeReadOnly, "", 2, 0, m_clock);
            EXPECT_EQ(in.Header().BlockCount, 1u);
            EXPECT_EQ(in.Size(), 1048576u);
        }
        EXPECT_EQ(ReadFileBytes(path), cut); // read-only never changes the file
        {
            TPackFileStream rw(path, PackModeReadWrite, "", 2, 0, m_clock);
            EXPECT_EQ(rw.Size(), 1048576u);
        }
        const std::vector<uint8_t> repaired = ReadFileBytes(path);
        ASSERT_EQ(repaired.size(), b1);
        EXPECT_EQ(Le32(repaired, 12), 1u);
        EXPECT_EQ(ReadContainer(path, "", m_clock),
                  std::vector<uint8_t>(content.begin(), content.begin() + 1048576));
    }
}

TEST_F(TErrorTest, ReadOnlyModesAndMessages)
{
    const std::string path = Path("ro.aacs");
    WriteContainer(path, WaveLikeBytes(100), 2, "", m_clock);
    const std::string plain = Path("plain.bin");
    WriteFileBytes(plain, {1, 2, 3});
    for (const std::string& file : {path, plain}) {
        for (uint16_t mode : {uint16_t{0}, uint16_t{4}, uint16_t{0x0100}}) {
            SCOPED_TRACE(file + " mode " + std::to_string(mode));
            const std::vector<uint8_t> before = ReadFileBytes(file);
            {
                TPackFileStream in(file, mode, "", 2, 0, m_clock);
                EXPECT_TRUE(in.ReadOnly());
                in.Seek(in.Size());
                EXPECT_EQ(ErrorOf([&] { in.Write("x", 1); }), "TPackCompressedStream.Write - file is in read only mode.");
                EXPECT_EQ(in.Write("x", 0), 0u);
                EXPECT_EQ(ErrorOf([&] { in.SetSize(1); }), "TPackCompressedStream.SetSize - file is in read only mode.");
                TPackFileStream src(path, PackModeReadOnly, "", 2, 0, m_clock);
                EXPECT_EQ(ErrorOf([&] { in.LoadFromStream(src); }),
                          "TPackCompressedStream.LoadFromStream - file is in read only mode.");
            }
            EXPECT_EQ(ReadFileBytes(file), before);
        }
    }
}

TEST_F(TErrorTest, EngineAndFileSystemErrors)
{
    const std::string missing = Path("missing.aacs");
    EXPECT_EQ(ErrorOf([&] { TPackFileStream in(missing, PackModeReadOnly, "", 2, 0, m_clock); }),
              "Cannot open file " + missing);
    const std::string noFolder = Path("no/such/folder.aacs");
    EXPECT_EQ(ErrorOf([&] { TPackFileStream out(noFolder, PackModeCreate, "", 2, 0, m_clock); }),
              "Cannot create file " + noFolder);
    EXPECT_EQ(ErrorOf([&] { TPackStream engine(nullptr, true, "", 2, 0, m_clock); }),
              "TPackStream.Create - data stream = nil.");
    const std::string existing = Path("existing.bin");
    WriteFileBytes(existing, {9});
    TPackBaseStream readOnly(existing, false, true);
    EXPECT_EQ(ErrorOf([&] { TPackStream engine(&readOnly, true, "", 2, 0, m_clock); }),
              "TPackStream.Create - error writing to data stream. May be data stream in read only mode.");

    const std::string path = Path("middle.aacs");
    TPackFileStream out(path, PackModeCreate, "", 2, 0, m_clock);
    out.Write("abcdef", 6);
    out.Seek(2);
    EXPECT_EQ(ErrorOf([&] { out.Write("x", 1); }),
              "TPackCompressedStream.Write - writing is supported at the end of the stream only.");
    out.Seek(6);
    out.Close();
    EXPECT_EQ(ErrorOf([&] { out.Write("x", 1); }), "TPackCompressedStream.Write - the stream is closed.");
}

} // namespace
