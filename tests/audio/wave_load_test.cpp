// TMMWave as a holder of one image: loading from streams and files, saving
// the bytes back, clearing, and what a failed load leaves behind.
#include "audio/wave.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

std::istringstream StreamOf(const TBytes& bytes)
{
    return std::istringstream(std::string(bytes.begin(), bytes.end()));
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EMMWaveError& e) {
        return e.what();
    }
    return "(no error)";
}

TBytes SavedBytes(const TMMWave& wave)
{
    std::ostringstream out;
    wave.SaveToStream(out);
    const std::string text = out.str();
    return TBytes(text.begin(), text.end());
}

class TMemoryWave : public TMMWave {
public:
    TMemoryWave() { CreateMemoryStore(); }
    void Load(const TBytes& image)
    {
        std::istringstream stream = StreamOf(image);
        LoadFromStream(stream);
    }
};

TEST(Wave, EmptyWaveValues)
{
    TMemoryWave wave;
    EXPECT_EQ(wave.FormatTag(), 0);
    EXPECT_EQ(wave.BitLength(), 0);
    EXPECT_EQ(wave.SampleRate(), 11025u);
    EXPECT_EQ(wave.Mode(), TMMMode::mMono);
    EXPECT_EQ(wave.FileSize(), 0u);
    EXPECT_EQ(wave.DataSize(), 0);
    EXPECT_EQ(wave.TimeFormat(), TMMTimeFormat::tfSample);
    EXPECT_TRUE(wave.FileMustExist());
    EXPECT_EQ(wave.IOBufferSize(), 32768);
    EXPECT_EQ(wave.FormatPtr(), nullptr);
    EXPECT_EQ(wave.SampleData(), nullptr);
    EXPECT_TRUE(SavedBytes(wave).empty());

    TMMWave noStore;
    EXPECT_FALSE(noStore.IsMemoryWave());
    EXPECT_EQ(MessageOf([&] { noStore.SampleData(); }), "This is not a MemoryWave");
    noStore.SetFileMustExist(false);
    EXPECT_FALSE(noStore.FileMustExist());
    EXPECT_EQ(MessageOf([&] { wave.SetFileMustExist(false); }), "FileMustExist cannot be changed on a memory wave");
}

TEST(Wave, DescribesTheLoadedImage)
{
    TMemoryWave wave;
    const TBytes image = PcmWaveImage(2, 22050, 16, 11025); // half a second
    wave.Load(image);
    EXPECT_TRUE(wave.IsMemoryWave());
    EXPECT_EQ(wave.FormatTag(), WAVE_FORMAT_PCM);
    EXPECT_EQ(wave.BitLength(), 16);
    EXPECT_EQ(wave.SampleRate(), 22050u);
    EXPECT_EQ(wave.Mode(), TMMMode::mStereo);
    EXPECT_EQ(wave.FileSize(), image.size());
    EXPECT_EQ(wave.DataBytes(), 44100u);
    EXPECT_EQ(wave.StartSample(), 0);
    EXPECT_EQ(wave.EndSample(), 11025);
    ASSERT_NE(wave.FormatPtr(), nullptr);
    EXPECT_EQ(wave.FormatPtr()->nBlockAlign, 4);
    ASSERT_NE(wave.SampleData(), nullptr);
    EXPECT_EQ(wave.SampleData()[0], image[44]);
    EXPECT_EQ(wave.SampleData()[44099], image[44 + 44099]);

    const std::pair<TMMTimeFormat, int32_t> sizes[] = {
        {TMMTimeFormat::tfSample, 11025}, {TMMTimeFormat::tfByte, 44100}, {TMMTimeFormat::tfMillisecond, 500}};
    for (auto [format, size] : sizes) {
        wave.SetTimeFormat(format);
        EXPECT_EQ(wave.DataSize(), size);
    }

    // Channel counts 0 and 1 are mono; 0 only occurs with non-PCM tags.
    WAVEFORMATEX noChannels = TWaveFormat::Pcm(1, 8000, 8).Header();
    noChannels.wFormatTag = WAVE_FORMAT_ADPCM;
    noChannels.nChannels = 0;
    const std::pair<TBytes, TMMMode> modes[] = {
        {TRiffBuilder().Fmt(noChannels).Data(PatternBytes(8)).Build(), TMMMode::mMono},
        {PcmWaveImage(1, 8000, 8, 4), TMMMode::mMono},
        {PcmWaveImage(3, 8000, 8, 4), TMMMode::mMultiChannel},
        {PcmWaveImage(6, 8000, 16, 4), TMMMode::mMultiChannel},
    };
    for (const auto& [modeImage, mode] : modes) {
        wave.Load(modeImage);
        EXPECT_EQ(wave.Mode(), mode);
    }
}

// A failed load raises one message and changes nothing, notification
// included.
TEST(Wave, FailedLoadKeepsThePreviousImage)
{
    TMemoryWave wave;
    const TBytes image = PcmWaveImage(1, 8000, 8, 100);
    wave.Load(image);
    int notified = 0;
    wave.SetOnChange([&] { ++notified; });
    const TBytes rejected[] = {
        {},
        TRiffBuilder().Build(),
        TRiffBuilder().Fmt(TWaveFormat::Pcm(1, 8000, 8).Header()).Build(),
        TRiffBuilder().Fmt(TWaveFormat::Pcm(1, 8000, 4).Header()).Data(PatternBytes(8)).Build(),
    };
    for (const TBytes& bad : rejected) {
        EXPECT_EQ(MessageOf([&] { wave.Load(bad); }), "Error reading wave file");
        EXPECT_EQ(MessageOf([&] { wave.LoadFromBytes(bad); }), "Error reading wave file");
        EXPECT_EQ(SavedBytes(wave), image);
        EXPECT_EQ(wave.DataSize(), 100);
        EXPECT_EQ(wave.SampleData()[0], image[44]);
    }
    EXPECT_EQ(notified, 0);
}

// An image handed over in memory plays as the same image read from a
// stream; taking it out leaves the wave empty and the bytes whole.
TEST(Wave, AnImageInMemoryIsTakenOverAndHandedBack)
{
    const TBytes image = PcmWaveImage(2, 22050, 16, 300);
    TMemoryWave wave;
    wave.LoadFromBytes(image);
    EXPECT_EQ(SavedBytes(wave), image);
    EXPECT_EQ(wave.DataSize(), 300);
    EXPECT_EQ(wave.SampleData()[0], image[44]);

    std::unique_ptr<TMMMemoryStore> taken = wave.TakeImage();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(TBytes(taken->Data(), taken->Data() + taken->Size()), image);
    EXPECT_EQ(wave.DataSize(), 0);
    EXPECT_EQ(wave.SampleData(), nullptr);
    EXPECT_TRUE(wave.IsMemoryWave());
    wave.Load(image); // the wave takes a new image as before
    EXPECT_EQ(wave.DataSize(), 300);
}

// The whole stream is the image, wherever it stood and whatever state an
// earlier reader left it in; afterwards it stands at its end.
TEST(Wave, ReadsTheWholeStream)
{
    const TBytes image = PcmWaveImage(1, 8000, 8, 100);
    for (int start : {0, 30, static_cast<int>(image.size())}) {
        SCOPED_TRACE(start);
        std::istringstream stream = StreamOf(image);
        stream.seekg(start);
        if (start == static_cast<int>(image.size()))
            stream.get(); // at the end with eof and fail set
        TMemoryWave wave;
        wave.LoadFromStream(stream);
        EXPECT_EQ(wave.FileSize(), image.size());
        EXPECT_EQ(stream.tellg(), static_cast<std::streamoff>(image.size()));
    }
}

// A stream that claims more bytes than it delivers, or cannot be
// positioned, fails as a stream, not as a bad image.
class TShortStreamBuf : public std::streambuf {
public:
    TShortStreamBuf(TBytes bytes, std::streamoff claimed, bool seekable)
        : m_bytes(std::move(bytes)), m_claimed(claimed), m_seekable(seekable)
    {
        char* base = reinterpret_cast<char*>(m_bytes.data());
        setg(base, base, base + m_bytes.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        if (!m_seekable)
            return pos_type(off_type(-1));
        // The claimed length is reported as the end; reading stops at the
        // real one.
        const off_type real = static_cast<off_type>(m_bytes.size());
        const off_type current = m_beyond ? m_beyond : gptr() - eback();
        const off_type target = offset + (dir == std::ios_base::end   ? m_claimed
                                          : dir == std::ios_base::cur ? current
                                                                      : 0);
        m_beyond = target > real ? target : 0;
        setg(eback(), eback() + std::min(target, real), egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode mode) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, mode);
    }

private:
    TBytes m_bytes;
    std::streamoff m_claimed;
    bool m_seekable;
    off_type m_beyond = 0; // a position past the real bytes
};

TEST(Wave, StreamFailuresAreNotImageFailures)
{
    const TBytes image = PcmWaveImage(1, 8000, 8, 100);
    TMemoryWave wave;
    wave.Load(image);
    struct {
        std::streamoff Claimed;
        bool Seekable;
        const char* Message;
    } cases[] = {
        {static_cast<std::streamoff>(image.size()) + 100, true, "Cannot read the wave stream: it ended early"},
        {0, false, "Cannot read the wave stream: it cannot be positioned"},
    };
    for (const auto& c : cases) {
        TShortStreamBuf buffer(PcmWaveImage(2, 44100, 16, 10), c.Claimed, c.Seekable);
        std::istream stream(&buffer);
        EXPECT_EQ(MessageOf([&] { wave.LoadFromStream(stream); }), c.Message);
        EXPECT_EQ(SavedBytes(wave), image);
    }
}

// Saving writes the loaded bytes, including what the reader skipped or cut
// off, and loading them again describes the same image.
TEST(Wave, SaveThenLoadGivesTheSameImage)
{
    const TBytes images[] = {
        PcmWaveImage(2, 22050, 16, 50),
        TRiffBuilder()
            .Chunk("junk", PatternBytes(3))
            .Fmt(TWaveFormat::Pcm(1, 8000, 8).Header())
            .Data(PatternBytes(21))
            .List("INFO", PatternBytes(6))
            .Trailing(PatternBytes(5))
            .Build(),
        TRiffBuilder().Fmt(TWaveFormat::Pcm(2, 8000, 16).Header()).Data(PatternBytes(400)).Build(201),
    };
    for (const TBytes& image : images) {
        TMemoryWave wave;
        wave.Load(image);
        const TBytes saved = SavedBytes(wave);
        EXPECT_EQ(saved, image);
        EXPECT_EQ(wave.FileSize(), saved.size());
        TMemoryWave copy;
        copy.Load(saved);
        EXPECT_EQ(SavedBytes(copy), image);
        EXPECT_EQ(copy.DataBytes(), wave.DataBytes());
        EXPECT_EQ(copy.DataSize(), wave.DataSize());
    }

    // A destination that fails is an error, not a silent short copy.
    TMemoryWave wave;
    wave.Load(images[0]);
    std::ofstream closed;
    EXPECT_EQ(MessageOf([&] { wave.SaveToStream(closed); }), "Cannot write the wave stream");
}

TEST(Wave, ClearWaveEmptiesOnce)
{
    TMemoryWave wave;
    wave.Load(PcmWaveImage(1, 8000, 8, 100));
    int notified = 0;
    wave.SetOnChange([&] { ++notified; });
    wave.ClearWave();
    EXPECT_EQ(notified, 1);
    EXPECT_TRUE(wave.IsMemoryWave());
    EXPECT_EQ(wave.DataSize(), 0);
    EXPECT_EQ(wave.FileSize(), 0u);
    EXPECT_EQ(wave.FormatPtr(), nullptr);
    EXPECT_EQ(wave.SampleData(), nullptr);
    EXPECT_EQ(wave.EndSample(), 0);
    EXPECT_TRUE(SavedBytes(wave).empty());
    wave.ClearWave();
    EXPECT_EQ(notified, 1);
}

class TCountingBusy : public TMMBusyIndicator {
public:
    TCountingBusy() { SetMMBusyIndicator(this); }
    ~TCountingBusy() override { SetMMBusyIndicator(nullptr); }
    void BeginBusy() override
    {
        ++Begun;
        if (OnBegin)
            OnBegin();
    }
    void EndBusy() override { ++Ended; }
    int Begun = 0;
    int Ended = 0;
    std::function<void()> OnBegin;
};

// Only images above 500000 bytes show it, and it is always put back.
TEST(Wave, BusyIndicatorAroundLargeImages)
{
    TCountingBusy busy;
    TMemoryWave wave;
    const TBytes small = PcmWaveImage(1, 8000, 8, 500000 - 44);
    wave.Load(small);
    EXPECT_EQ(busy.Begun, 0);
    const TBytes large = PcmWaveImage(1, 8000, 8, 500001 - 44);
    wave.Load(large);
    EXPECT_EQ(busy.Begun, 1);
    TBytes largeBad = large;
    largeBad[0] = 'X';
    EXPECT_EQ(MessageOf([&] { wave.Load(largeBad); }), "Error reading wave file");
    SavedBytes(wave);
    EXPECT_EQ(busy.Begun, 3);
    EXPECT_EQ(busy.Ended, 3);
}

TEST(Wave, LoadByFileName)
{
    TTempDir dir;
    const TBytes image = PcmWaveImage(2, 22050, 16, 100);
    TBytes rejected = image;
    rejected[8] = 'X';
    TMemoryWave wave;
    wave.SetFileName(dir.Write("good.wav", image).string());
    EXPECT_EQ(wave.FileName(), "");
    EXPECT_EQ(SavedBytes(wave), image);

    int notified = 0;
    wave.SetOnChange([&] { ++notified; });
    wave.SetFileName("");
    EXPECT_EQ(MessageOf([&] { wave.SetFileName(dir.Write("bad.wav", rejected).string()); }), "Invalid wave file...");
    const std::string missing = (dir.Path() / "missing.wav").string();
    EXPECT_EQ(MessageOf([&] { wave.SetFileName(missing); }),
              "Cannot open file " + missing + ": No such file or directory");
    EXPECT_EQ(MessageOf([&] { wave.SetFileName(dir.Path().string()); }),
              "Cannot open file " + dir.Path().string() + ": Is a directory");
    EXPECT_EQ(notified, 0);
    EXPECT_EQ(SavedBytes(wave), image);

    // A relative path is taken from the working directory.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    TMemoryWave relative;
    relative.SetFileName("good.wav");
    std::filesystem::current_path(previous);
    EXPECT_EQ(SavedBytes(relative), image);

    // A file that vanished while it was read: the busy indicator of a large
    // load runs after the file is open.
    TBytes largeRejected = PcmWaveImage(1, 8000, 8, 600000);
    largeRejected[8] = 'X';
    const std::filesystem::path vanishing = dir.Write("vanishing.wav", largeRejected);
    TCountingBusy busy;
    busy.OnBegin = [&] { std::filesystem::remove(vanishing); };
    EXPECT_EQ(MessageOf([&] { wave.SetFileName(vanishing.string()); }), "Error reading wave file");
    EXPECT_EQ(busy.Ended, 1);
}

} // namespace
