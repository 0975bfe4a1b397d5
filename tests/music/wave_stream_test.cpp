// The queued wave stream on OpenAL Soft, through its interface: the order
// its ring plays and comes back in, the level it renders at, the formats it
// refuses, and the device list it shares with the 3D sound device.
#include "audio/backends/sound_backend.h"
#include "audio/backends/wave_stream_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const bool kNullDriver = (setenv("ALSOFT_DRIVERS", "null", 0), true);

constexpr int kFrames = 256;

// Buffer k of a stereo 16-bit stream holds kFrames frames of (k+1)*1000 on
// the left and -(k+1)*500 on the right, so that each shows in the mix.
std::vector<int16_t> Frames(int k)
{
    std::vector<int16_t> samples(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        samples[2 * i] = static_cast<int16_t>((k + 1) * 1000);
        samples[2 * i + 1] = static_cast<int16_t>(-(k + 1) * 500);
    }
    return samples;
}

struct TLoopbackStream : ::testing::Test {
    void SetUp() override
    {
        ASSERT_NE(Backend, nullptr);
        const TWaveFormat format = TWaveFormat::Pcm(2, 44100, 16);
        Stream = Backend->Open("", format.Header(), 3);
    }
    void Queue(int k)
    {
        const std::vector<int16_t> samples = Frames(k);
        Stream->Load(k, reinterpret_cast<const uint8_t*>(samples.data()), 4 * kFrames);
        Stream->Enqueue(k);
    }
    // Renders a buffer's length and returns what came back played.
    std::vector<int> RenderBuffer()
    {
        Mix.assign(2 * kFrames, 1);
        EXPECT_TRUE(Stream->Render(Mix.data(), kFrames));
        std::vector<int> played{-1};
        Stream->TakePlayed(played);
        return played;
    }

    // Silence, give or take the dither of the 16-bit mix.
    bool Silent() const
    {
        return std::all_of(Mix.begin(), Mix.end(), [](int16_t s) { return s >= -1 && s <= 1; });
    }

    std::unique_ptr<IWaveStreamBackend> Backend = CreateOpenAlLoopbackWaveStreamBackend();
    std::unique_ptr<IWaveStream> Stream;
    std::vector<int16_t> Mix;
};

TEST_F(TLoopbackStream, PlaysTheRingInOrderAtItsOwnLevelAndHandsEachBufferBackOnce)
{
    for (int k = 0; k < 3; ++k)
        Queue(k);
    EXPECT_FALSE(Stream->Stopped());
    Stream->Play();
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(RenderBuffer(), std::vector<int>{k});
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_NEAR(Mix[2 * i], (k + 1) * 1000, 1) << "buffer " << k << " frame " << i;
            ASSERT_NEAR(Mix[2 * i + 1], -(k + 1) * 500, 1) << "buffer " << k << " frame " << i;
        }
    }
    // Ran dry: stopped, silent, nothing more to hand back.
    EXPECT_TRUE(Stream->Stopped());
    EXPECT_TRUE(RenderBuffer().empty());
    EXPECT_TRUE(Silent());
    // Queued and played again, it goes on.
    Queue(1);
    Stream->Play();
    EXPECT_EQ(RenderBuffer(), std::vector<int>{1});
    EXPECT_NEAR(Mix[0], 2000, 1);
}

TEST_F(TLoopbackStream, PauseHoldsTheQueueAndDropReportsNothing)
{
    Queue(0);
    Queue(1);
    Stream->Play();
    Stream->Pause();
    EXPECT_TRUE(RenderBuffer().empty());
    EXPECT_FALSE(Stream->Stopped());
    Stream->Play();
    EXPECT_EQ(RenderBuffer(), std::vector<int>{0});
    Stream->Drop();
    EXPECT_TRUE(RenderBuffer().empty());
    EXPECT_TRUE(Silent());
    // As newly opened: every buffer free, nothing played before Play.
    EXPECT_FALSE(Stream->Stopped());
    for (int k = 0; k < 3; ++k)
        Queue(k);
    Stream->Pause();
    EXPECT_TRUE(RenderBuffer().empty());
    Stream->Play();
    EXPECT_EQ(RenderBuffer(), std::vector<int>{0});
    EXPECT_NEAR(Mix[0], 1000, 1);
}

TEST(WaveStreamOpen, RefusesWhatItCannotCarryOnEitherDevice)
{
    TWaveFormat extensible = TWaveFormat::Pcm(2, 44100, 16);
    extensible->wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    struct TCase {
        const char* Name;
        TWaveFormat Format;
    };
    const TCase cases[] = {{"6 channels", TWaveFormat::Pcm(6, 44100, 16)},
                           {"24 bits", TWaveFormat::Pcm(2, 44100, 24)},
                           {"not PCM", extensible},
                           {"no rate", TWaveFormat::Pcm(2, 0, 16)}};
    for (const bool loopback : {true, false}) {
        const std::unique_ptr<IWaveStreamBackend> backend =
            loopback ? CreateOpenAlLoopbackWaveStreamBackend() : CreateOpenAlWaveStreamBackend();
        for (const TCase& c : cases) {
            try {
                backend->Open("", c.Format.Header(), 2);
                ADD_FAILURE() << c.Name << " opened";
            } catch (const EWaveStreamError& e) {
                EXPECT_EQ(e.Kind(), EWaveStreamError::TKind::Format) << c.Name;
            }
        }
        // A stream of the system device is never rendered.
        const TWaveFormat good = TWaveFormat::Pcm(1, 22050, 8);
        const std::unique_ptr<IWaveStream> stream = backend->Open("", good.Header(), 2);
        int16_t mix[2] = {};
        EXPECT_EQ(stream->Render(mix, 1), loopback);
    }
}

TEST(WaveStreamOpen, AnInjectedFaultAfterTheSourceRaisesTheDevicesText)
{
    const TWaveFormat format = TWaveFormat::Pcm(2, 44100, 16);
    try {
        CreateOpenAlLoopbackWaveStreamBackend({.FailOpenAfterSource = true})->Open("", format.Header(), 4);
        FAIL() << "opened";
    } catch (const EWaveStreamError& e) {
        EXPECT_EQ(e.Kind(), EWaveStreamError::TKind::Device);
        EXPECT_STREQ(e.what(), "Out of Memory");
    }
}

// The 3D sound device and the wave stream read one list: the same names in
// the same order, the same default, the same loopback name.
TEST(WaveStreamDevices, TheListIsTheOneThe3DDeviceOffers)
{
    const std::vector<TSoundDeviceEntry> sound = CreateOpenAlBackend()->EnumerateDevices();
    const std::unique_ptr<IWaveStreamBackend> stream = CreateOpenAlWaveStreamBackend();
    const std::vector<std::string> names = stream->DeviceNames();
    ASSERT_FALSE(names.empty());
    ASSERT_EQ(sound.size(), names.size() + 1);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(sound[i + 1].Description, names[i]);
    EXPECT_EQ(sound[0].Description, stream->DefaultDeviceName());

    const std::vector<TSoundDeviceEntry> sound3DLoopback = CreateOpenAlLoopbackBackend().Backend->EnumerateDevices();
    const std::unique_ptr<IWaveStreamBackend> loopback = CreateOpenAlLoopbackWaveStreamBackend();
    ASSERT_FALSE(sound3DLoopback.empty());
    EXPECT_EQ(loopback->DeviceNames(), std::vector<std::string>{sound3DLoopback[0].Description});
    EXPECT_EQ(loopback->DefaultDeviceName(), sound3DLoopback[0].Description);
}

} // namespace
