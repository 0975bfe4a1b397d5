#include "music/mpeg.h"

#include "support/mp3_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace mp3fixtures;

namespace {

// The real layer with a few answers replaced and the calls the chain makes
// written down.
class TWatchedLibrary : public IMpegDecoderLibrary {
public:
    explicit TWatchedLibrary(std::unique_ptr<IMpegDecoderLibrary> real) : m_real(std::move(real)) {}

    int32_t VersionOverride = -1;
    int32_t InitStatus = 0;
    int InitCalls = 0;
    std::vector<int32_t> SetPositions;

    int32_t mpeg_Version() override { return VersionOverride >= 0 ? VersionOverride : m_real->mpeg_Version(); }
    TMpegHandle mpeg_Init(int32_t* status, TMpegChangeCallback callback, void* userValue) override
    {
        ++InitCalls;
        if (InitStatus != 0) {
            *status = InitStatus;
            return 0;
        }
        return m_real->mpeg_Init(status, callback, userValue);
    }
    void mpeg_Done(TMpegHandle* h) override { m_real->mpeg_Done(h); }
    int32_t mpeg_GetErrorText(int32_t c, char* t, int32_t s) override { return m_real->mpeg_GetErrorText(c, t, s); }
    int32_t mpeg_SetFileName(TMpegHandle h, const char* p) override { return m_real->mpeg_SetFileName(h, p); }
    int32_t mpeg_GetFileName(TMpegHandle h, char* b, int32_t s) override { return m_real->mpeg_GetFileName(h, b, s); }
    bool mpeg_GetEmpty(TMpegHandle h) override { return m_real->mpeg_GetEmpty(h); }
    int32_t mpeg_GetFileInfo(TMpegHandle h, TMpegInfoRecord* i) override { return m_real->mpeg_GetFileInfo(h, i); }
    int32_t mpeg_SetChannelMode(TMpegHandle h, int32_t m) override { return m_real->mpeg_SetChannelMode(h, m); }
    int32_t mpeg_GetChannelMode(TMpegHandle h, int32_t* m) override { return m_real->mpeg_GetChannelMode(h, m); }
    int32_t mpeg_SetExactPosition(TMpegHandle h, bool e) override { return m_real->mpeg_SetExactPosition(h, e); }
    int32_t mpeg_SetTrailingHeader(TMpegHandle h, int32_t v) override { return m_real->mpeg_SetTrailingHeader(h, v); }
    int32_t mpeg_OpenFile(TMpegHandle h) override { return m_real->mpeg_OpenFile(h); }
    int32_t mpeg_CloseFile(TMpegHandle h) override { return m_real->mpeg_CloseFile(h); }
    int32_t mpeg_ReadDataBytes(TMpegHandle h, void* b, int32_t c) override { return m_real->mpeg_ReadDataBytes(h, b, c); }
    bool mpeg_GetDone(TMpegHandle h) override { return m_real->mpeg_GetDone(h); }
    int32_t mpeg_SetPosition(TMpegHandle h, int32_t f) override
    {
        SetPositions.push_back(f);
        return m_real->mpeg_SetPosition(h, f);
    }
    int32_t mpeg_GetPosition(TMpegHandle h) override { return m_real->mpeg_GetPosition(h); }

private:
    std::unique_ptr<IMpegDecoderLibrary> m_real;
};

constexpr uint32_t kMonoSamples = 3 * 44100;
constexpr uint32_t kStereoSamples = 2 * 44100;
constexpr uint32_t kShortSamples = 400; // 800 bytes of output: less than one 2048-byte buffer

class MpegTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TTempDir>();
        s_mono = MakeMp3(s_dir->Path(), "mono", kMonoSamples, 1, 440, 0);
        s_stereo = MakeMp3(s_dir->Path(), "stereo", kStereoSamples, 2, 440, 0); // right channel silent
        s_short = MakeMp3(s_dir->Path(), "short", kShortSamples, 1, 440, 0);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        ResetMpegLibrary();
        SetMpegLibraryLoader(nullptr);
        SetMpegLibraryPath("");
        MpegMessageBox = [this](const std::string& text) { m_messages.push_back(text); };
    }
    void TearDown() override
    {
        ResetMpegLibrary();
        SetMpegLibraryLoader(nullptr);
        SetMpegLibraryPath("");
    }

    // Installs the real layer behind a watcher and returns the watcher.
    TWatchedLibrary* Watch()
    {
        auto* watched = new TWatchedLibrary(OpenMpg123Library("libmpg123.so.0"));
        auto handOut = std::make_shared<std::unique_ptr<IMpegDecoderLibrary>>(watched);
        SetMpegLibraryLoader([handOut] { return std::move(*handOut); });
        return watched;
    }

    // Reads the open stream to its end in buffers of `size`; checks that
    // done comes with the last bytes and that the next read gives nothing.
    static std::vector<int16_t> ReadAll(TMMMpeg& mpeg, int32_t size = 2048)
    {
        std::vector<uint8_t> all;
        std::vector<uint8_t> buffer(static_cast<size_t>(size));
        for (;;) {
            int32_t got = mpeg.ReadDataBytes(buffer.data(), size);
            EXPECT_GT(got, 0) << "a read returned nothing before done was reported";
            if (got <= 0)
                break;
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
            if (mpeg.GetDone())
                break;
            EXPECT_EQ(got, size) << "a short read without done";
        }
        EXPECT_EQ(mpeg.ReadDataBytes(buffer.data(), size), 0);
        EXPECT_TRUE(mpeg.GetDone());
        std::vector<int16_t> samples(all.size() / 2);
        std::memcpy(samples.data(), all.data(), samples.size() * 2);
        return samples;
    }

    static double Rms(const std::vector<int16_t>& samples)
    {
        double sum = 0;
        for (int16_t s : samples)
            sum += double(s) * s;
        return samples.empty() ? 0 : std::sqrt(sum / samples.size());
    }

    static inline std::unique_ptr<TTempDir> s_dir;
    static inline fs::path s_mono, s_stereo, s_short;
    std::vector<std::string> m_messages;
};

TEST_F(MpegTest, StreamsDecodeToTheirSourceLengthWithHeaderFrameCounts)
{
    struct TCase {
        fs::path* File;
        uint32_t Samples;
        uint16_t Channels;
        TMMMpegMode Mode;
    };
    const TCase cases[] = {
        {&s_mono, kMonoSamples, 1, smSingleChannel},
        {&s_stereo, kStereoSamples, 2, smStereo},
        {&s_short, kShortSamples, 1, smSingleChannel},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File->string());
        TMMMpeg mpeg;
        mpeg.SetFileName(c.File->string());
        EXPECT_EQ(mpeg.FileName(), c.File->string());
        EXPECT_FALSE(mpeg.Empty());
        EXPECT_EQ(mpeg.Frames(), CountLayer3Frames(*c.File));
        EXPECT_EQ(mpeg.Layer(), 3);
        EXPECT_EQ(mpeg.SampleRate(), 44100);
        EXPECT_EQ(mpeg.BitRate(), 128);
        EXPECT_EQ(mpeg.Version(), v1);
        EXPECT_EQ(mpeg.Mode(), c.Mode);
        EXPECT_DOUBLE_EQ(mpeg.FrameMs(), 1152 * 1000.0 / 44100);
        EXPECT_EQ(mpeg.Time(), std::lround(c.Samples * 1000.0 / 44100));
        ASSERT_TRUE(mpeg.OutputFormat());
        const WAVEFORMATEX& f = mpeg.OutputFormat()->Header();
        EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(f.nChannels, c.Channels);
        EXPECT_EQ(f.wBitsPerSample, 16);
        EXPECT_EQ(f.nBlockAlign, c.Channels * 2);
        EXPECT_EQ(f.nAvgBytesPerSec, 44100u * c.Channels * 2);
        EXPECT_EQ(f.cbSize, 0);

        mpeg.OpenFile();
        // The encoder's delay and padding are in lame's header, so a
        // gapless decode gives back exactly the samples that went in.
        std::vector<int16_t> pcm = ReadAll(mpeg);
        EXPECT_EQ(pcm.size(), size_t(c.Samples) * c.Channels);
        EXPECT_EQ(mpeg.Position(), mpeg.Frames());
    }
}

TEST_F(MpegTest, ChannelModesPickOrMixTheStereoChannels)
{
    struct TCase {
        TMMChannelMode Mode;
        uint16_t Channels;
        double MinRms, MaxRms; // the left channel is a tone of RMS ~8485, the right is silent
    };
    const TCase cases[] = {
        {cmBoth, 2, 5000, 7000},   // both channels interleaved: 8485 / sqrt(2)
        {cmLeft, 1, 8000, 9000},
        {cmRight, 1, 0, 500}, // encoder noise only, far below the tone
        {cmDownMix, 1, 3500, 5000}, // half the left
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int(c.Mode));
        TMMMpeg mpeg;
        mpeg.SetChannelMode(c.Mode);
        mpeg.SetFileName(s_stereo.string());
        ASSERT_TRUE(mpeg.OutputFormat());
        EXPECT_EQ(mpeg.Channels(), c.Channels);
        mpeg.OpenFile();
        std::vector<int16_t> pcm = ReadAll(mpeg);
        EXPECT_EQ(pcm.size(), size_t(kStereoSamples) * c.Channels);
        double rms = Rms(pcm);
        EXPECT_GE(rms, c.MinRms);
        EXPECT_LE(rms, c.MaxRms);
    }
}

TEST_F(MpegTest, ChannelModeChangesOnlyWhileClosedAndRecomputeTheFormat)
{
    TMMMpeg mpeg;
    mpeg.SetFileName(s_stereo.string());
    EXPECT_EQ(mpeg.Channels(), 2);
    mpeg.SetChannelMode(cmRight);
    EXPECT_EQ(mpeg.Channels(), 1);
    mpeg.OpenFile();
    try {
        mpeg.SetChannelMode(cmBoth);
        FAIL() << "no error";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_EQ(mpeg.ChannelMode(), cmRight);
    mpeg.CloseFile();
    mpeg.SetChannelMode(cmBoth);
    EXPECT_EQ(mpeg.Channels(), 2);

    // A mono stream stays one channel whatever the mode.
    mpeg.SetFileName(s_mono.string());
    EXPECT_EQ(mpeg.Channels(), 1);
}

TEST_F(MpegTest, ChangeHookSeesTheNewStreamBeforeTheNameWriteReturns)
{
    TMMMpeg mpeg;
    std::vector<int32_t> framesSeen;
    mpeg.SetOnChange([&] { framesSeen.push_back(mpeg.Frames()); });
    mpeg.SetFileName(s_mono.string());
    ASSERT_EQ(framesSeen.size(), 1u);
    EXPECT_EQ(framesSeen[0], CountLayer3Frames(s_mono));

    // No stream: everything reads 0, Version v1, no format.
    mpeg.SetFileName("");
    ASSERT_EQ(framesSeen.size(), 2u);
    EXPECT_EQ(framesSeen[1], 0);
    EXPECT_TRUE(mpeg.Empty());
    EXPECT_FALSE(mpeg.OutputFormat());
    EXPECT_EQ(mpeg.Channels(), 0);
    EXPECT_EQ(mpeg.Version(), v1);
    EXPECT_EQ(mpeg.SampleRate(), 0);
    EXPECT_THROW(mpeg.OpenFile(), EMMMpegError);

    // A file that cannot be read is refused and leaves the stream as it was.
    mpeg.SetFileName(s_short.string());
    EXPECT_THROW(mpeg.SetFileName((s_dir->Path() / "missing.mp3").string()), EMMMpegError);
    EXPECT_EQ(framesSeen.size(), 3u);
    EXPECT_EQ(mpeg.FileName(), s_short.string());
    EXPECT_FALSE(mpeg.Empty());
}

TEST_F(MpegTest, ReadingAClosedStreamRaisesTheLibraryText)
{
    TMMMpeg mpeg;
    mpeg.SetFileName(s_mono.string());
    std::vector<uint8_t> buffer(64);
    try {
        mpeg.ReadDataBytes(buffer.data(), 64);
        FAIL() << "no error";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "The MPEG stream is not open");
    }
}

TEST_F(MpegTest, PositionsAreFrameIndexesOpenOrClosed)
{
    TMMMpeg mpeg;
    mpeg.SetFileName(s_mono.string());
    const int32_t frames = mpeg.Frames();
    ASSERT_GT(frames, 100);

    // Written while closed: the next open starts there.
    mpeg.SetPosition(50);
    EXPECT_EQ(mpeg.Position(), 50);
    mpeg.OpenFile();
    EXPECT_EQ(mpeg.Position(), 50);
    std::vector<int16_t> rest = ReadAll(mpeg);
    // All but the first 50 frames; the tail is cut by the encoder padding.
    size_t full = size_t(frames - 50) * 1152;
    EXPECT_LE(rest.size(), full);
    EXPECT_GT(rest.size(), full - 1152);

    // Written while open, and read back as the frame the next byte is from.
    mpeg.SetPosition(10);
    EXPECT_EQ(mpeg.Position(), 10);
    EXPECT_FALSE(mpeg.GetDone());
    std::vector<uint8_t> buffer(1152 * 2);
    EXPECT_EQ(mpeg.ReadDataBytes(buffer.data(), 1152 * 2), 1152 * 2);
    EXPECT_EQ(mpeg.Position(), 11);

    // Closing keeps the place.
    mpeg.CloseFile();
    EXPECT_EQ(mpeg.Position(), 11);
    mpeg.OpenFile();
    EXPECT_EQ(mpeg.Position(), 11);
}

TEST_F(MpegTest, SeekFrameAsksTwoFramesBackAndDecodesForward)
{
    TWatchedLibrary* watched = Watch();
    TMMMpeg mpeg;
    mpeg.SetFileName(s_mono.string());
    mpeg.OpenFile();

    struct TCase {
        int32_t Frame;
        int32_t Asked;
    };
    for (TCase c : {TCase{100, 98}, TCase{0, 0}, TCase{1, 0}}) {
        watched->SetPositions.clear();
        mpeg.SeekFrame(c.Frame);
        EXPECT_EQ(watched->SetPositions, std::vector<int32_t>{c.Asked});
        EXPECT_EQ(mpeg.Position(), c.Frame);
    }

    // While closed the frame itself is asked for.
    mpeg.CloseFile();
    watched->SetPositions.clear();
    mpeg.SeekFrame(100);
    EXPECT_EQ(watched->SetPositions, std::vector<int32_t>{100});

    // A failing seek names the frame.
    mpeg.OpenFile();
    try {
        mpeg.SeekFrame(-5, false);
        FAIL() << "no error";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "Invalid frame position: -5");
    }
}

TEST_F(MpegTest, IsMpegFileDecidesWaveFilesWithoutTheDecoder)
{
    TWatchedLibrary* watched = Watch();
    const fs::path& dir = s_dir->Path();
    WriteFile(dir / "layer3.wav", WaveImage(WAVE_FORMAT_MPEGLAYER3, 2, 44100, 0, std::vector<uint8_t>(417, 0)));
    WriteFile(dir / "mpeg.wav", WaveImage(WAVE_FORMAT_MPEG, 2, 44100, 0, std::vector<uint8_t>(417, 0)));
    WriteFile(dir / "pcm.wav", WaveImage(WAVE_FORMAT_PCM, 1, 44100, 16, Tone(100, 1, 440, 0)));
    std::string text = "not a song, only words\n";
    WriteFile(dir / "text.mp3", std::vector<uint8_t>(text.begin(), text.end()));

    struct TCase {
        std::string Path;
        bool Expected;
        int DecoderInits;
    };
    const TCase cases[] = {
        {(dir / "layer3.wav").string(), true, 0},
        {(dir / "mpeg.wav").string(), true, 0},
        {(dir / "pcm.wav").string(), false, 0},
        {(dir / "text.mp3").string(), false, 1},
        {s_stereo.string(), true, 1},
        {"", false, 0},
        {(dir / "missing.mp3").string(), false, 0},
        {"resource://songs/1", false, 1}, // no such file, but the decoder is asked
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        int before = watched->InitCalls;
        EXPECT_EQ(TMMMpeg::IsMpegFile(c.Path), c.Expected);
        EXPECT_EQ(watched->InitCalls - before, c.DecoderInits);
    }
}

TEST_F(MpegTest, LoadFailuresShowTheirBoxAndALaterCreationRetries)
{
    struct TCase {
        std::string Name;
        std::function<void()> Arrange;
        std::string Box;
    };
    const TCase cases[] = {
        {"missing", [] { SetMpegLibraryPath("/nonexistent/libmpg123.so.0"); }, "Unable to load the MPEG decoder library"},
        // A real library without the decoder's functions.
        {"not mpg123", [] { SetMpegLibraryPath("libm.so.6"); }, "Invalid Mpeg Decoder DLL version"},
        {"version 24",
            [] {
                SetMpegLibraryLoader([] {
                    auto library = std::make_unique<TWatchedLibrary>(OpenMpg123Library("libmpg123.so.0"));
                    library->VersionOverride = 24;
                    return library;
                });
            },
            "Invalid Mpeg Decoder DLL version"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        SetUp();
        m_messages.clear();
        c.Arrange();
        try {
            TMMMpeg mpeg;
            FAIL() << "created";
        } catch (const EMMMpegError& e) {
            EXPECT_STREQ(e.what(), "Unable to load the MPEG decoder library");
        }
        EXPECT_EQ(m_messages, std::vector<std::string>{c.Box});
        EXPECT_FALSE(MpegLibrary());
        EXPECT_FALSE(TMMMpeg::IsMpegFile(s_mono.string()));

        // Put right, the next creation loads it.
        SetMpegLibraryLoader(nullptr);
        SetMpegLibraryPath("");
        m_messages.clear();
        TMMMpeg mpeg;
        EXPECT_TRUE(m_messages.empty());
        EXPECT_GE(MpegLibrary()->mpeg_Version(), MPEG_LIBRARY_MIN_VERSION);
        mpeg.SetFileName(s_short.string());
        EXPECT_EQ(mpeg.SampleRate(), 44100);
    }
}

TEST_F(MpegTest, AFailingInitRaisesTheLibraryText)
{
    TWatchedLibrary* watched = Watch();
    watched->InitStatus = MPEG_ERR_NO_DECODER;
    try {
        TMMMpeg mpeg;
        FAIL() << "created";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "The MPEG decoder could not be created");
    }
    // The library itself stays loaded.
    watched->InitStatus = 0;
    TMMMpeg mpeg;
    EXPECT_TRUE(mpeg.Empty());
}

} // namespace
