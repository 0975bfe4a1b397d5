// The mixer and its channels on the real OpenAL loopback device: what the
// listener hears and when the ends of plays are reported, with the mix and
// the mixer's timers moving on together.
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

constexpr int kRate = 44100;
constexpr int kStepMs = 10;

// A 500 Hz tone.
TBytes ToneImage(double seconds, int rate = kRate, double amplitude = 12000)
{
    return ToneWave(static_cast<int>(seconds * rate), 500, static_cast<uint32_t>(rate), amplitude);
}

struct TEnd {
    int64_t AtMs;
    TMMDSPlayEnd Reason;
};

class TScene {
public:
    TScene() : m_loopback(CreateOpenAlLoopbackBackend(kRate, 2))
    {
        Mixer = std::make_unique<TMMDSWaveMixer>(*m_loopback.Backend, Clock);
        ApplyMainMixerSettings(*Mixer);
    }
    ~TScene()
    {
        Channels.clear();
        Mixer.reset();
    }

    TMMDSMixChannel& AddChannel(const TBytes& image)
    {
        auto channel = std::make_unique<TMMDSMixChannel>(Mixer.get());
        ApplyChannelSettings(*channel, 1);
        channel->Sound3D().Position().Assign(0, 0, 1);
        std::string text(image.begin(), image.end());
        std::istringstream in(text);
        channel->Wave().LoadFromStream(in);
        size_t index = Channels.size();
        Ends.emplace_back();
        channel->SetOnPlayEnd([this, index](TMMDSMixChannel&, TMMDSPlayEnd reason) {
            Ends[index].push_back({Clock.Now(), reason});
        });
        Channels.push_back(std::move(channel));
        return *Channels.back();
    }

    // Renders ms of sound and moves the timers on; returns the energy of
    // each 10 ms step.
    std::vector<double> Run(int ms)
    {
        std::vector<double> energy;
        std::vector<int16_t> step(2 * kRate * kStepMs / 1000);
        for (int t = 0; t < ms; t += kStepMs) {
            m_loopback.Renderer->Render(step.data(), kRate * kStepMs / 1000);
            double e = 0;
            for (int16_t s : step)
                e += double(s) * s;
            energy.push_back(e);
            Clock.Advance(kStepMs);
        }
        return energy;
    }

    TVirtualClock Clock;
    std::unique_ptr<TMMDSWaveMixer> Mixer;
    std::vector<std::unique_ptr<TMMDSMixChannel>> Channels;
    std::vector<std::vector<TEnd>> Ends;

private:
    TLoopbackBackend m_loopback;
};

// The first step (10 ms) from which the output stays silent: below a
// sixteen-bit sample of 1 on average, what rounding leaves of a filtered
// mix after the sound has gone.
int SilentFrom(const std::vector<double>& energy)
{
    const double floor = 2.0 * kRate * kStepMs / 1000;
    int last = -1;
    for (int i = 0; i < int(energy.size()); ++i)
        if (energy[size_t(i)] > floor)
            last = i;
    return last + 1;
}

} // namespace

TEST(MixerLoopback, ANaturalEndIsReportedOnceWithinAPollOfTheSoundStopping)
{
    TScene scene;
    TMMDSMixChannel& channel = scene.AddChannel(ToneImage(0.2));
    channel.Play();
    std::vector<double> energy = scene.Run(500);
    const int64_t silentMs = SilentFrom(energy) * kStepMs;
    EXPECT_NEAR(silentMs, 200, kStepMs);
    ASSERT_EQ(scene.Ends[0].size(), 1u);
    EXPECT_EQ(scene.Ends[0][0].Reason, TMMDSPlayEnd::peFinished);
    EXPECT_GE(scene.Ends[0][0].AtMs, silentMs - kStepMs);
    EXPECT_LE(scene.Ends[0][0].AtMs, silentMs + 50);
    EXPECT_FALSE(channel.IsPlaying());
    EXPECT_EQ(scene.Mixer->ActivePlays(), 0);
}

TEST(MixerLoopback, ARestartReportsNothingAndAStopReportsOnce)
{
    TScene scene;
    TMMDSMixChannel& channel = scene.AddChannel(ToneImage(0.3));
    channel.Play();
    scene.Run(200);
    channel.Play(); // from the start again: 300 ms more of sound
    std::vector<double> energy = scene.Run(500);
    EXPECT_NEAR(SilentFrom(energy) * kStepMs, 300, kStepMs);
    ASSERT_EQ(scene.Ends[0].size(), 1u);
    EXPECT_EQ(scene.Ends[0][0].Reason, TMMDSPlayEnd::peFinished);

    channel.Play();
    scene.Run(50);
    channel.Stop();
    channel.Stop(); // an idle channel reports nothing
    EXPECT_EQ(SilentFrom(scene.Run(100)), 0);
    ASSERT_EQ(scene.Ends[0].size(), 2u);
    EXPECT_EQ(scene.Ends[0][1].Reason, TMMDSPlayEnd::peStopped);
}

TEST(MixerLoopback, AMutedChannelIsSilentAndStillEndsByItself)
{
    TScene scene;
    TMMDSMixChannel& channel = scene.AddChannel(ToneImage(0.2));
    channel.SetMuted(true);
    channel.Play();
    std::vector<double> energy = scene.Run(400);
    EXPECT_EQ(SilentFrom(energy), 0);
    ASSERT_EQ(scene.Ends[0].size(), 1u);
    EXPECT_EQ(scene.Ends[0][0].Reason, TMMDSPlayEnd::peFinished);
}

TEST(MixerLoopback, ALoopSoundsOnUntilLoopingIsTurnedOff)
{
    TScene scene;
    TMMDSMixChannel& channel = scene.AddChannel(ToneImage(0.2));
    channel.SetLooping(true);
    channel.Play();
    std::vector<double> energy = scene.Run(700);
    EXPECT_EQ(SilentFrom(energy), int(energy.size()));
    EXPECT_TRUE(scene.Ends[0].empty());
    channel.SetLooping(false); // runs to the end of the sample, then ends
    energy = scene.Run(400);
    EXPECT_LE(SilentFrom(energy) * kStepMs, 200 + kStepMs);
    ASSERT_EQ(scene.Ends[0].size(), 1u);
    EXPECT_EQ(scene.Ends[0][0].Reason, TMMDSPlayEnd::peFinished);
}

TEST(MixerLoopback, DoublingTheFrequencyHalvesTheDuration)
{
    TScene scene;
    TMMDSMixChannel& channel = scene.AddChannel(ToneImage(0.4, 22050));
    channel.SetFrequency(44100);
    channel.Play();
    EXPECT_NEAR(SilentFrom(scene.Run(600)) * kStepMs, 200, kStepMs);
}

TEST(MixerLoopback, DestroyingOneChannelStopsTheOthersWhichPlayAgainLater)
{
    TScene scene;
    TMMDSMixChannel& keeper = scene.AddChannel(ToneImage(1.0));
    scene.AddChannel(ToneImage(1.0));
    keeper.Play();
    scene.Channels[1]->Play();
    scene.Run(100);
    scene.Channels.pop_back(); // closes the device
    ASSERT_EQ(scene.Ends[0].size(), 1u);
    EXPECT_EQ(scene.Ends[0][0].Reason, TMMDSPlayEnd::peStopped);
    EXPECT_FALSE(scene.Mixer->IsOpen());
    EXPECT_EQ(SilentFrom(scene.Run(50)), 0);
    keeper.Play(); // a new buffer, from the start
    std::vector<double> energy = scene.Run(1200);
    EXPECT_NEAR(SilentFrom(energy) * kStepMs, 1000, kStepMs);
}

TEST(MixerLoopback, AdpcmPlaysAsLoudAsThePcmItCameFrom)
{
    // sox makes the ADPCM image of the same tone.
    TTempDir dir;
    const auto pcm = dir.Write("pcm.wav", ToneImage(0.3));
    const std::string adpcm = (dir.Path() / "adpcm.wav").string();
    if (std::system(("sox '" + pcm.string() + "' -e ms-adpcm '" + adpcm + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "sox is not available";
    auto loudness = [](const std::string& path) {
        TScene scene;
        auto channel = std::make_unique<TMMDSMixChannel>(scene.Mixer.get());
        ApplyChannelSettings(*channel, 1);
        channel->Wave().SetFileName(path);
        channel->Sound3D().Position().Assign(0, 0, 1);
        channel->Play();
        double total = 0;
        for (double e : scene.Run(400))
            total += e;
        channel.reset();
        return std::sqrt(total);
    };
    const double fromPcm = loudness(pcm.string());
    ASSERT_GT(fromPcm, 0);
    EXPECT_NEAR(loudness(adpcm) / fromPcm, 1.0, 0.05);
}
