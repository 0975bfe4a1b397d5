#include "music/mpeg_file.h"
#include "music/volume.h"

#include "support/mp3_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace mp3fixtures;

namespace {

using TBytes = std::vector<uint8_t>;

// The real layer, with reads that can be made to fail or run dry and the
// seeks and opens written down.
class TScriptedLibrary : public IMpegDecoderLibrary {
public:
    explicit TScriptedLibrary(std::unique_ptr<IMpegDecoderLibrary> real) : m_real(std::move(real)) {}

    std::vector<int32_t> SetPositions;
    int OpenCalls = 0;
    int Reads = 0;
    int FailReadAt = -1; // the read (counted from 0) that returns FailCode
    int32_t FailCode = -MPEG_ERR_NOT_OPEN;
    int DryFromRead = -1; // from this read on: 0 bytes, done still false

    int32_t mpeg_Version() override { return m_real->mpeg_Version(); }
    TMpegHandle mpeg_Init(int32_t* s, TMpegChangeCallback c, void* u) override { return m_real->mpeg_Init(s, c, u); }
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
    int32_t mpeg_OpenFile(TMpegHandle h) override
    {
        ++OpenCalls;
        return m_real->mpeg_OpenFile(h);
    }
    int32_t mpeg_CloseFile(TMpegHandle h) override { return m_real->mpeg_CloseFile(h); }
    int32_t mpeg_ReadDataBytes(TMpegHandle h, void* b, int32_t c) override
    {
        int read = Reads++;
        if (read == FailReadAt)
            return FailCode;
        if (DryFromRead >= 0 && read >= DryFromRead)
            return 0;
        return m_real->mpeg_ReadDataBytes(h, b, c);
    }
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

// Pulls buffers like the wave output, and closes its chain on a new format
// as the wave output does.
class TTestSink : public TMMCustomSoundComponent {
public:
    std::vector<uint16_t> ChannelsReceived; // 0: no format
    bool CloseOnFormat = true;

    void SetWaveFormat(const WAVEFORMATEX* format) override
    {
        ChannelsReceived.push_back(format ? format->nChannels : 0);
        if (CloseOnFormat)
            Close();
        TMMCustomSoundComponent::SetWaveFormat(format);
    }

    // One buffer of the effective size; the bytes filled.
    TBytes Pull(bool& more, uint8_t prefill = 0)
    {
        TBytes data(EffectiveBufferSize(), prefill);
        TMMBuffer buffer{data.data(), static_cast<uint32_t>(data.size()), 0};
        data.resize(PullBuffer(buffer, more));
        return data;
    }

    // Buffers until one says no more follow; each but the last is full.
    TBytes PullToEnd()
    {
        TBytes all;
        for (bool more = true; more;) {
            TBytes part = Pull(more);
            EXPECT_TRUE(!more || part.size() == EffectiveBufferSize()) << "a short buffer with more to come";
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
};

struct TChain {
    TMMMPEGFile file;
    TMMVolume volume;
    TTestSink sink;

    explicit TChain(uint32_t bufferSize = 2048)
    {
        file.SetOutput(&volume);
        volume.SetOutput(&sink);
        sink.SetBufferSize(bufferSize);
    }
    void Play()
    {
        sink.Open();
        sink.Start();
    }
};

class MpegFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TTempDir>();
        s_mono = MakeMp3(s_dir->Path(), "mono", 3 * 44100, 1, 440, 0); // over 100 frames
        s_stereo = MakeMp3(s_dir->Path(), "stereo", 44100, 2, 440, 660);
        s_short = MakeMp3(s_dir->Path(), "short", 400, 1, 440, 0);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        ResetMpegLibrary();
        SetMpegLibraryLoader(nullptr);
        SetMpegLibraryPath("");
        MpegMessageBox = [this](const std::string& text) { m_messages.push_back(text); };
    }
    void TearDown() override { SetUp(); }

    TScriptedLibrary* Script()
    {
        auto* scripted = new TScriptedLibrary(OpenMpg123Library("libmpg123.so.0"));
        auto handOut = std::make_shared<std::unique_ptr<IMpegDecoderLibrary>>(scripted);
        SetMpegLibraryLoader([handOut] { return std::move(*handOut); });
        return scripted;
    }

    // The decoder's own full decode, from `frame` reached the way the chain
    // reaches it (a seek on the open stream; none for frame 0).
    static TBytes Reference(const fs::path& file, int32_t frame = 0, TMMChannelMode mode = cmBoth)
    {
        TMMMpeg mpeg;
        mpeg.SetChannelMode(mode);
        mpeg.SetFileName(file.string());
        mpeg.OpenFile();
        if (frame > 0)
            mpeg.SeekFrame(frame);
        TBytes all, buffer(4096);
        for (;;) {
            int32_t got = mpeg.ReadDataBytes(buffer.data(), 4096);
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
            if (got == 0 || mpeg.GetDone())
                return all;
        }
    }

    // The same number of 16-bit samples, each within `tolerance` steps.
    static void ExpectSamePcm(const TBytes& actual, const TBytes& expected, int tolerance)
    {
        ASSERT_EQ(actual.size(), expected.size());
        int worst = 0;
        for (size_t i = 0; i + 1 < actual.size(); i += 2) {
            int a = int16_t(actual[i] | actual[i + 1] << 8);
            int e = int16_t(expected[i] | expected[i + 1] << 8);
            worst = std::max(worst, std::abs(a - e));
        }
        EXPECT_LE(worst, tolerance);
    }

    static inline std::unique_ptr<TTempDir> s_dir;
    static inline fs::path s_mono, s_stereo, s_short;
    std::vector<std::string> m_messages;
};

TEST_F(MpegFileTest, TheWholeSongComesThroughTheChainByteForByte)
{
    struct TCase {
        fs::path* File;
        uint32_t BufferSize;
    };
    for (TCase c : {TCase{&s_mono, 2048}, TCase{&s_stereo, 2048}, TCase{&s_stereo, 1000}, TCase{&s_short, 2048}}) {
        SCOPED_TRACE(c.File->string() + " " + std::to_string(c.BufferSize));
        TChain chain(c.BufferSize);
        chain.file.SetFileName(c.File->string());
        chain.Play();
        TBytes pcm = chain.sink.PullToEnd();
        EXPECT_EQ(pcm, Reference(*c.File));
        bool more = true;
        EXPECT_TRUE(chain.sink.Pull(more).empty());
        EXPECT_FALSE(more);
    }
}

TEST_F(MpegFileTest, StopAndStartReplayFromTheResumeFrameWithoutReopening)
{
    struct TCase {
        int32_t FrameBeforeOpen; // position written while closed
    };
    for (TCase c : {TCase{0}, TCase{50}}) {
        SCOPED_TRACE(c.FrameBeforeOpen);
        SetUp();
        TScriptedLibrary* library = Script();
        TChain chain;
        chain.file.SetFileName(s_mono.string());
        chain.file.SetPosition(c.FrameBeforeOpen);
        chain.Play();
        EXPECT_EQ(chain.file.ResumeFrame(), c.FrameBeforeOpen);
        TBytes first = chain.sink.PullToEnd();
        EXPECT_EQ(first, Reference(s_mono, c.FrameBeforeOpen));
        const int opens = library->OpenCalls;

        // Stopped halfway through a second run, then started again.
        chain.sink.Stop();
        chain.sink.Start();
        bool more = true;
        for (int i = 0; i < 5; ++i)
            chain.sink.Pull(more);
        chain.sink.Stop();
        chain.sink.Start();
        // From frame 0 the decoder starts afresh; elsewhere its rounding
        // depends on what it decoded before the seek, by one step at most.
        ExpectSamePcm(chain.sink.PullToEnd(), first, c.FrameBeforeOpen == 0 ? 0 : 1);
        EXPECT_TRUE(chain.file.StreamOpen());
        EXPECT_EQ(library->OpenCalls, opens);
    }
}

TEST_F(MpegFileTest, PositionWritesAskTwoFramesBackWhileOpen)
{
    TScriptedLibrary* library = Script();
    TChain chain;
    chain.file.SetFileName(s_mono.string());

    library->SetPositions.clear();
    chain.file.SetPosition(100); // closed: the frame itself
    EXPECT_EQ(library->SetPositions, std::vector<int32_t>{100});
    try {
        chain.file.SetPosition(-5);
        FAIL() << "no error";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "Invalid frame position: -5");
    }
    chain.file.SetPosition(0);

    chain.Play();
    struct TCase {
        int32_t Frame, Asked;
    };
    for (TCase c : {TCase{0, 0}, TCase{100, 98}, TCase{1, 0}}) {
        SCOPED_TRACE(c.Frame);
        library->SetPositions.clear();
        chain.file.SetPosition(c.Frame);
        EXPECT_EQ(library->SetPositions, std::vector<int32_t>{c.Asked});
        EXPECT_EQ(chain.file.Position(), c.Frame);
    }
    // Playback goes on from the frame reached.
    ExpectSamePcm(chain.sink.PullToEnd(), Reference(s_mono, 1), 1);
}

TEST_F(MpegFileTest, ALoadHandsItsFormatDownAndClosesTheChain)
{
    TChain chain;
    std::vector<std::string> events;
    auto note = [&](const char* name) {
        return [&, name](TMMDSPComponent&) {
            const WAVEFORMATEX* f = chain.sink.WaveFormat();
            events.push_back(std::string(name) + ":" + std::to_string(f ? f->nChannels : 0));
        };
    };
    chain.file.SetOnChange(note("change"));
    chain.file.SetOnChanged(note("changed"));

    chain.file.SetFileName(s_mono.string());
    chain.Play();
    bool more = false;
    chain.sink.Pull(more);

    chain.file.SetFileName(s_stereo.string());
    EXPECT_EQ(events, (std::vector<std::string>{"change:1", "changed:1", "change:2", "changed:2"}));
    EXPECT_EQ(chain.sink.ChannelsReceived.back(), 2);
    ASSERT_TRUE(chain.volume.WaveFormat());
    EXPECT_EQ(chain.volume.WaveFormat()->nChannels, 2);
    EXPECT_FALSE(chain.file.Opened());
    EXPECT_FALSE(chain.file.StreamOpen());
    chain.Play();
    EXPECT_EQ(chain.sink.PullToEnd(), Reference(s_stereo));

    // No stream: no format, nothing read, the values read 0.
    chain.file.SetFileName("");
    EXPECT_EQ(chain.sink.ChannelsReceived.back(), 0);
    EXPECT_FALSE(chain.sink.WaveFormat());
    EXPECT_TRUE(chain.file.Empty());
    EXPECT_EQ(chain.file.Frames(), 0);
    EXPECT_EQ(chain.file.Channels(), 0);
    EXPECT_EQ(chain.file.Version(), v1);
    chain.Play();
    EXPECT_TRUE(chain.sink.Pull(more).empty());
    EXPECT_FALSE(more);
}

TEST_F(MpegFileTest, AStreamLoadedUnderAnOpenChainIsOpenedByTheNextStart)
{
    TChain chain;
    chain.sink.CloseOnFormat = false;
    chain.file.SetFileName(s_short.string());
    chain.Play();
    chain.file.SetFileName(s_stereo.string()); // stops the source, leaves it opened
    EXPECT_TRUE(chain.file.Opened());
    EXPECT_FALSE(chain.file.Started());
    chain.sink.Stop();
    chain.sink.Start();
    EXPECT_TRUE(chain.file.StreamOpen());
    EXPECT_EQ(chain.sink.PullToEnd(), Reference(s_stereo));
}

TEST_F(MpegFileTest, ChannelModeHandsDownItsFormatOnlyWhileClosed)
{
    TChain chain;
    chain.file.SetFileName(s_stereo.string());
    chain.file.SetChannelMode(cmLeft);
    EXPECT_EQ(chain.sink.ChannelsReceived.back(), 1);
    EXPECT_EQ(chain.file.Channels(), 1);

    chain.Play();
    try {
        chain.file.SetChannelMode(cmBoth);
        FAIL() << "no error";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_EQ(chain.sink.WaveFormat()->nChannels, 1);
    EXPECT_EQ(chain.sink.PullToEnd(), Reference(s_stereo, 0, cmLeft));

    chain.sink.Close();
    chain.file.SetChannelMode(cmBoth);
    EXPECT_EQ(chain.sink.ChannelsReceived.back(), 2);
}

TEST_F(MpegFileTest, SilenceWhileNotStartedOrDisabled)
{
    struct TCase {
        const char* Name;
        bool Start, Enabled;
    };
    for (TCase c : {TCase{"opened only", false, true}, TCase{"disabled", true, false}}) {
        SCOPED_TRACE(c.Name);
        TChain chain;
        chain.file.SetFileName(s_mono.string());
        chain.file.SetEnabled(c.Enabled);
        chain.sink.Open();
        if (c.Start)
            chain.sink.Start();
        bool more = false;
        TBytes data = chain.sink.Pull(more, 0xAA);
        EXPECT_EQ(data, TBytes(2048, 0));
        EXPECT_TRUE(more);
        EXPECT_EQ(chain.file.Position(), 0);
    }
}

TEST_F(MpegFileTest, ReadFaultsGoToOnErrorFirst)
{
    struct TCase {
        const char* Name;
        bool HasHandler, Handles, Throws;
    };
    for (TCase c : {TCase{"no handler", false, false, true}, TCase{"declined", true, false, true},
             TCase{"handled", true, true, false}}) {
        SCOPED_TRACE(c.Name);
        SetUp();
        TScriptedLibrary* library = Script();
        library->FailReadAt = 1;
        TChain chain;
        std::vector<bool> seen;
        if (c.HasHandler)
            chain.file.SetOnError([&](TMMDSPComponent& sender, bool& handled) {
                EXPECT_EQ(&sender, &chain.file);
                seen.push_back(handled);
                handled = c.Handles;
            });
        chain.file.SetFileName(s_mono.string());
        chain.Play();
        bool more = false;
        chain.sink.Pull(more);
        if (c.Throws) {
            try {
                chain.sink.Pull(more);
                FAIL() << "no error";
            } catch (const EMMMpegError& e) {
                EXPECT_EQ(e.what(), MpegErrorText(*MpegLibrary(), library->FailCode));
            }
        } else {
            EXPECT_TRUE(chain.sink.Pull(more).empty());
            EXPECT_FALSE(more);
        }
        EXPECT_EQ(seen, c.HasHandler ? std::vector<bool>{false} : std::vector<bool>{});
    }
}

TEST_F(MpegFileTest, ADecoderRunningDryEndsWithAnEmptyBuffer)
{
    TScriptedLibrary* library = Script();
    library->DryFromRead = 2;
    TChain chain;
    chain.file.SetFileName(s_mono.string());
    chain.Play();
    bool more = false;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(chain.sink.Pull(more).size(), 2048u);
        EXPECT_TRUE(more);
    }
    EXPECT_TRUE(chain.sink.Pull(more).empty());
    EXPECT_FALSE(more);
}

TEST_F(MpegFileTest, PublishedValuesAreTheDecodersAndCreationNeedsTheLibrary)
{
    {
        TMMMPEGFile file;
        file.SetFileName(s_mono.string());
        TMMMpeg mpeg;
        mpeg.SetFileName(s_mono.string());
        EXPECT_EQ(file.FileName(), s_mono.string());
        EXPECT_EQ(file.Frames(), mpeg.Frames());
        EXPECT_EQ(file.Time(), mpeg.Time());
        EXPECT_EQ(file.BitRate(), 128);
        EXPECT_EQ(file.SampleRate(), 44100);
        EXPECT_EQ(file.Layer(), 3);
        EXPECT_EQ(file.Mode(), smSingleChannel);
        EXPECT_EQ(file.Channels(), 1);
        file.SetPlayBackRate(150);
        file.SetExactposition(true);
        EXPECT_EQ(file.PlayBackRate(), 150);
        EXPECT_TRUE(file.Exactposition());
        EXPECT_TRUE(TMMMPEGFile::IsMpegFile(s_stereo.string()));
        EXPECT_FALSE(TMMMPEGFile::IsMpegFile((s_dir->Path() / "stereo.wav").string()));
    }
    ResetMpegLibrary();
    SetMpegLibraryPath("/nonexistent/libmpg123.so.0");
    try {
        TMMMPEGFile file;
        FAIL() << "created";
    } catch (const EMMMpegError& e) {
        EXPECT_STREQ(e.what(), "Unable to load the MPEG decoder library");
    }
    EXPECT_EQ(m_messages, std::vector<std::string>{"Unable to load the MPEG decoder library"});
}

} // namespace
