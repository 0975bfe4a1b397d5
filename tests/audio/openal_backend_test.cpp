// The OpenAL Soft back end, heard through its loopback device: what comes
// out of the rendered mix for sources placed, turned, attenuated, played and
// stopped as the mixer does it. Levels are RMS over whole periods of a
// 441 Hz tone (100 samples at 44100 Hz) after a short settling render, since
// OpenAL ramps gains towards new values over its first samples. Ratios are
// held to 2%: 16-bit dither adds about half a step of noise, under 0.2% of
// the quietest level measured, and 2% still tells 1/10 from 1/9 or 1/100.
#include "audio/backends/sound_backend.h"
#include "wave_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <unistd.h>

namespace {

// No test may reach a sound card; OpenAL reads this once, at its first call.
class TNullDriverEnvironment : public ::testing::Environment {
public:
    void SetUp() override { setenv("ALSOFT_DRIVERS", "null", 1); }
};
[[maybe_unused]] ::testing::Environment* const kNullDriver =
    ::testing::AddGlobalTestEnvironment(new TNullDriverEnvironment);

constexpr int kRate = 44100;
constexpr int kPeriod = 100;
constexpr double kAmplitude = 8000;
constexpr uint32_t k3DFlags = 0x1C0B2;    // what the mixer asks for with 3D
constexpr uint32_t kPlainFlags = 0x1C0E2; // and without

std::vector<int16_t> Tone(int frames, int channels = 1, double rightSign = 1)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        const double s = kAmplitude * std::sin(2 * std::numbers::pi * i / kPeriod);
        samples.push_back(static_cast<int16_t>(std::lround(s)));
        if (channels == 2)
            samples.push_back(static_cast<int16_t>(std::lround(rightSign * s)));
    }
    return samples;
}

class OpenAlLoopback : public ::testing::Test {
protected:
    void Open(int channels)
    {
        m_loopback = CreateOpenAlLoopbackBackend(kRate, channels);
        const auto entries = m_loopback.Backend->EnumerateDevices();
        ASSERT_EQ(entries.size(), 2u);
        ASSERT_EQ(m_loopback.Backend->CreateDevice(entries[0], m_device), DS_OK);
        ASSERT_EQ(m_device->CreatePrimaryBuffer(0x91, m_primary), DS_OK);
        ASSERT_EQ(m_primary->QueryListener(m_listener), DS_OK);
    }
    void SetUp() override { Open(2); }

    std::unique_ptr<ISoundBuffer> Buffer(const std::vector<int16_t>& samples, int channels = 1,
                                         uint32_t flags = k3DFlags)
    {
        TSoundBufferDesc desc{flags, static_cast<uint32_t>(samples.size() * 2), TWaveFormat::Pcm(channels, kRate, 16)};
        std::unique_ptr<ISoundBuffer> buffer;
        EXPECT_EQ(m_device->CreateSoundBuffer(desc, buffer), DS_OK);
        uint8_t* region = nullptr;
        uint32_t bytes = 0;
        EXPECT_EQ(buffer->Lock(region, bytes), DS_OK);
        EXPECT_EQ(bytes, desc.BufferBytes);
        std::memcpy(region, samples.data(), bytes);
        buffer->Unlock();
        return buffer;
    }
    std::unique_ptr<ISound3DBuffer> Placed(ISoundBuffer& buffer, TVector3 position)
    {
        std::unique_ptr<ISound3DBuffer> buffer3D;
        EXPECT_EQ(buffer.Query3DBuffer(buffer3D), DS_OK);
        EXPECT_EQ(buffer3D->SetPosition(position, DS3D_IMMEDIATE), DS_OK);
        return buffer3D;
    }
    std::vector<int16_t> Render(int frames)
    {
        std::vector<int16_t> out(static_cast<size_t>(frames * m_loopback.Renderer->Channels()));
        m_loopback.Renderer->Render(out.data(), frames);
        return out;
    }
    // RMS of each output channel over 44 periods, after settling.
    std::vector<double> Levels()
    {
        Render(1024);
        const int channels = m_loopback.Renderer->Channels();
        const std::vector<int16_t> out = Render(44 * kPeriod);
        std::vector<double> levels(channels);
        for (size_t i = 0; i < out.size(); ++i)
            levels[i % channels] += double(out[i]) * out[i];
        for (double& level : levels)
            level = std::sqrt(level / (out.size() / channels));
        return levels;
    }
    // The level of a looping mono tone at a position, both channels.
    double LevelAt(TVector3 position)
    {
        auto buffer = Buffer(Tone(kRate));
        auto buffer3D = Placed(*buffer, position);
        buffer->Play(true);
        const auto levels = Levels();
        return std::hypot(levels[0], levels[1]);
    }
    uint32_t Cursor(ISoundBuffer& buffer)
    {
        uint32_t bytes = 0;
        EXPECT_EQ(buffer.GetCurrentPosition(bytes), DS_OK);
        return bytes;
    }
    uint32_t Status(ISoundBuffer& buffer)
    {
        uint32_t status = 0;
        EXPECT_EQ(buffer.GetStatus(status), DS_OK);
        return status;
    }

    TLoopbackBackend m_loopback;
    std::unique_ptr<ISoundDevice> m_device;
    std::unique_ptr<IPrimaryBuffer> m_primary;
    std::unique_ptr<ISound3DListener> m_listener;
};

TEST_F(OpenAlLoopback, OneDeviceAtATimeAndSilenceWithout)
{
    std::unique_ptr<ISoundDevice> second;
    EXPECT_EQ(m_loopback.Backend->CreateDevice(m_loopback.Backend->EnumerateDevices()[1], second), DSERR_ALLOCATED);
    auto buffer = Buffer(Tone(kRate));
    buffer->Play(true);
    EXPECT_GT(Levels()[0], 1000);
    buffer.reset();
    m_listener.reset();
    m_primary.reset();
    m_device.reset();
    const auto out = Render(256);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(OpenAlLoopback, SidesAreHeardOnTheirSide)
{
    auto right = Buffer(Tone(kRate));
    auto right3D = Placed(*right, {1, 0, 0});
    right->Play(true);
    auto levels = Levels();
    EXPECT_GT(levels[1], 10 * levels[0]);
    right3D->SetPosition({-1, 0, 0}, DS3D_IMMEDIATE);
    levels = Levels();
    EXPECT_GT(levels[0], 10 * levels[1]);
    right->Stop();

    // Without 3D, pan does the placing.
    auto plain = Buffer(Tone(kRate), 1, kPlainFlags);
    plain->Play(true);
    double lastRight = 0;
    for (const int32_t pan : {-10000, -5000, 0, 5000, 10000}) {
        plain->SetPan(pan);
        levels = Levels();
        EXPECT_GT(levels[1], lastRight) << pan;
        lastRight = levels[1];
        if (pan == 0) {
            EXPECT_NEAR(levels[0] / levels[1], 1, 0.02);
        }
    }
    EXPECT_GT(levels[1], 10 * levels[0]);
}

TEST_F(OpenAlLoopback, FrontAndBehindAudibleAndToldApartOnFourSpeakers)
{
    const double side = LevelAt({1, 0, 0});
    EXPECT_GT(LevelAt({0, 0, 1}), 0.3 * side);
    EXPECT_GT(LevelAt({0, 0, -1}), 0.3 * side);

    Open(4); // front left, front right, back left, back right
    auto buffer = Buffer(Tone(kRate));
    auto buffer3D = Placed(*buffer, {0, 0, 1});
    buffer->Play(true);
    auto levels = Levels();
    EXPECT_GT(levels[0] + levels[1], 10 * (levels[2] + levels[3]));
    buffer3D->SetPosition({0, 0, -1}, DS3D_IMMEDIATE);
    levels = Levels();
    EXPECT_GT(levels[2] + levels[3], 10 * (levels[0] + levels[1]));

    // Facing +X, what was in front is on the left.
    EXPECT_EQ(m_listener->SetOrientation({1, 0, 0}, {0, 1, 0}, DS3D_IMMEDIATE), DS_OK);
    buffer3D->SetPosition({0, 0, 1}, DS3D_IMMEDIATE);
    levels = Levels();
    EXPECT_GT(levels[0] + levels[2], 10 * (levels[1] + levels[3]));
}

TEST_F(OpenAlLoopback, AmplitudeFallsWithDistanceAsSet)
{
    const double near = LevelAt({1, 0, 0});
    EXPECT_NEAR(LevelAt({0.5f, 0, 0}) / near, 1.0, 0.02); // inside MinDistance
    EXPECT_NEAR(LevelAt({2, 0, 0}) / near, 0.5, 0.01);
    EXPECT_NEAR(LevelAt({10, 0, 0}) / near, 0.1, 0.002);

    auto buffer = Buffer(Tone(kRate));
    auto buffer3D = Placed(*buffer, {0, 0, 10});
    buffer->Play(true);
    const double far = std::hypot(Levels()[0], Levels()[1]);
    // Ten units with MinDistance 5 is twice MinDistance.
    EXPECT_EQ(buffer3D->SetMinDistance(5, DS3D_IMMEDIATE), DS_OK);
    auto levels = Levels();
    EXPECT_NEAR(std::hypot(levels[0], levels[1]) / far, 5, 0.1);
    EXPECT_EQ(buffer3D->SetMinDistance(1, DS3D_IMMEDIATE), DS_OK);
    // The listener's roll-off reaches a source already playing.
    EXPECT_EQ(m_listener->SetRolloffFactor(2, DS3D_IMMEDIATE), DS_OK);
    levels = Levels();
    EXPECT_NEAR(std::hypot(levels[0], levels[1]) / far, 10.0 / 19, 0.01);
    EXPECT_EQ(buffer3D->SetMaxDistance(2, DS3D_IMMEDIATE), DS_OK);
    levels = Levels();
    EXPECT_NEAR(std::hypot(levels[0], levels[1]) / far, 10.0 / 3, 0.07);
    // With 3D off the source sits centred on the listener, unattenuated.
    EXPECT_EQ(buffer3D->SetMode(DS3DMODE_DISABLE, DS3D_IMMEDIATE), DS_OK);
    levels = Levels();
    EXPECT_NEAR(levels[0] / levels[1], 1, 0.02);
    EXPECT_NEAR(std::hypot(levels[0], levels[1]) / far, 10, 0.2);
}

TEST_F(OpenAlLoopback, VolumeAndConeInHundredthsOfDecibel)
{
    auto buffer = Buffer(Tone(kRate));
    auto buffer3D = Placed(*buffer, {0, 0, 1});
    buffer->Play(true);
    const double full = Levels()[0];
    buffer->SetVolume(-2000);
    EXPECT_NEAR(Levels()[0] / full, 0.1, 0.002);
    buffer->SetVolume(-20000);
    EXPECT_EQ(buffer->GetVolume(), -10000);
    EXPECT_LT(Levels()[0], 2);
    buffer->SetVolume(0);

    // The source in front, its cone turned towards the listener, then away.
    TDS3DBufferParams cone;
    EXPECT_EQ(buffer3D->GetAllParameters(cone), DS_OK);
    cone.InsideConeAngle = 30;
    cone.OutsideConeAngle = 60;
    cone.ConeOutsideVolume = -2000;
    cone.ConeOrientation = {0, 0, -1};
    EXPECT_EQ(buffer3D->SetAllParameters(cone, DS3D_IMMEDIATE), DS_OK);
    EXPECT_NEAR(Levels()[0] / full, 1, 0.02);
    EXPECT_EQ(buffer3D->SetConeOrientation({0, 0, 1}, DS3D_IMMEDIATE), DS_OK);
    EXPECT_NEAR(Levels()[0] / full, 0.1, 0.002);
}

TEST_F(OpenAlLoopback, DopplerShiftScalesWithDistanceFactor)
{
    auto buffer = Buffer(Tone(kRate));
    // Approaching at a tenth of the speed of sound in units per second.
    auto buffer3D = Placed(*buffer, {0, 0, 5});
    EXPECT_EQ(buffer3D->SetVelocity({0, 0, -34.33f}, DS3D_IMMEDIATE), DS_OK);
    buffer->Play(true);
    auto frequency = [&] {
        Render(1024);
        const auto out = Render(kRate);
        int rising = 0;
        for (size_t i = 2; i < out.size(); i += 2)
            rising += out[i - 2] < 0 && out[i] >= 0;
        return rising;
    };
    EXPECT_NEAR(frequency(), 441 / 0.9, 3);
    // Two metres per unit: the same speed is a fifth of the speed of sound.
    EXPECT_EQ(m_listener->SetDistanceFactor(2, DS3D_IMMEDIATE), DS_OK);
    EXPECT_NEAR(frequency(), 441 / 0.8, 3);
    EXPECT_EQ(m_listener->SetDistanceFactor(0, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
}

TEST_F(OpenAlLoopback, DeferredSettingsWaitForTheCommit)
{
    auto buffer = Buffer(Tone(kRate));
    auto buffer3D = Placed(*buffer, {1, 0, 0});
    buffer->Play(true);
    EXPECT_EQ(buffer3D->SetPosition({-1, 0, 0}, DS3D_DEFERRED), DS_OK);
    EXPECT_EQ(m_listener->SetRolloffFactor(0, DS3D_DEFERRED), DS_OK);
    auto levels = Levels();
    EXPECT_GT(levels[1], 10 * levels[0]);
    TDS3DBufferParams params;
    EXPECT_EQ(buffer3D->GetAllParameters(params), DS_OK);
    EXPECT_EQ(params.Position, (TVector3{-1, 0, 0}));
    EXPECT_EQ(m_listener->CommitDeferredSettings(), DS_OK);
    levels = Levels();
    EXPECT_GT(levels[0], 10 * levels[1]);
    // No roll-off now: ten units away sounds as loud as one.
    const double one = levels[0];
    EXPECT_EQ(buffer3D->SetPosition({-10, 0, 0}, DS3D_IMMEDIATE), DS_OK);
    EXPECT_NEAR(Levels()[0] / one, 1, 0.02);
}

TEST_F(OpenAlLoopback, PlaysToTheEndOrLoops)
{
    auto once = Buffer(Tone(kRate / 10));
    once->Play(false);
    Render(kRate / 20);
    EXPECT_EQ(Status(*once), DSBSTATUS_PLAYING);
    Render(kRate / 10);
    EXPECT_EQ(Status(*once), 0u);
    EXPECT_EQ(Cursor(*once), 0u);
    EXPECT_LT(Levels()[0], 2);

    once->Play(true);
    Render(3 * kRate / 10);
    EXPECT_EQ(Status(*once), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_GT(Levels()[0], 1000);
    // Looping off while playing: it runs out instead of restarting.
    once->Play(false);
    Render(kRate / 10);
    EXPECT_EQ(Status(*once), 0u);
}

TEST_F(OpenAlLoopback, CursorFollowsRenderingStopAndRestart)
{
    auto buffer = Buffer(Tone(kRate));
    buffer->Play(false);
    Render(1000);
    EXPECT_EQ(Cursor(*buffer), 2000u);
    buffer->Play(true); // already playing: no restart
    Render(500);
    EXPECT_EQ(Cursor(*buffer), 3000u);
    buffer->Stop();
    Render(500);
    EXPECT_EQ(Status(*buffer), 0u);
    EXPECT_EQ(Cursor(*buffer), 3000u);
    buffer->Play(false); // resumes where it stopped
    Render(500);
    EXPECT_EQ(Cursor(*buffer), 4000u);
    buffer->Stop();
    buffer->SetCurrentPosition(0);
    EXPECT_EQ(Cursor(*buffer), 0u);
    buffer->Play(false);
    buffer->SetFrequency(2 * kRate);
    EXPECT_EQ(buffer->GetFrequency(), 2u * kRate);
    Render(500);
    EXPECT_EQ(Cursor(*buffer), 2000u);
    buffer->SetFrequency(0);
    EXPECT_EQ(buffer->GetFrequency(), uint32_t(kRate));
}

TEST_F(OpenAlLoopback, StereoOn3DSourceIsMixedDown)
{
    const double mono = LevelAt({0, 0, 1});
    auto same = Buffer(Tone(kRate, 2), 2);
    auto same3D = Placed(*same, {0, 0, 1});
    same->Play(true);
    auto levels = Levels();
    EXPECT_NEAR(std::hypot(levels[0], levels[1]) / mono, 1, 0.02);
    same->Stop();
    same->SetCurrentPosition(0);
    same->Play(true);
    Render(1000);
    EXPECT_EQ(Cursor(*same), 4u * 1000); // in the buffer's stereo frames
    same->Stop();
    uint32_t flags = 0, bytes = 0;
    EXPECT_EQ(same->GetCaps(flags, bytes), DS_OK);
    EXPECT_EQ(flags, k3DFlags);
    EXPECT_EQ(bytes, 4u * kRate);

    auto opposed = Buffer(Tone(kRate, 2, -1), 2); // cancels out in mono
    auto opposed3D = Placed(*opposed, {0, 0, 1});
    opposed->Play(true);
    EXPECT_LT(Levels()[0], 2);
}

TEST_F(OpenAlLoopback, RefusesWhatItCannotTake)
{
    std::unique_ptr<ISoundBuffer> buffer;
    auto refused = [&](TWaveFormat format, uint32_t bytes) {
        return m_device->CreateSoundBuffer({k3DFlags, bytes, format}, buffer);
    };
    EXPECT_EQ(refused(TWaveFormat::Pcm(1, kRate, 24), 300), DSERR_BADFORMAT);
    EXPECT_EQ(refused(TWaveFormat::Pcm(3, kRate, 16), 600), DSERR_BADFORMAT);
    TWaveFormat adpcm = TWaveFormat::Pcm(1, kRate, 16);
    adpcm->wFormatTag = WAVE_FORMAT_ADPCM;
    EXPECT_EQ(refused(adpcm, 600), DSERR_BADFORMAT);
    EXPECT_EQ(refused(TWaveFormat::Pcm(1, kRate, 16), 0), DSERR_INVALIDPARAM);
    EXPECT_FALSE(buffer);

    std::unique_ptr<IPrimaryBuffer> plainPrimary;
    std::unique_ptr<ISound3DListener> listener;
    EXPECT_EQ(m_device->CreatePrimaryBuffer(0xC1, plainPrimary), DS_OK);
    EXPECT_EQ(plainPrimary->QueryListener(listener), DSERR_CONTROLUNAVAIL);
    auto plain = Buffer(Tone(100), 1, kPlainFlags);
    std::unique_ptr<ISound3DBuffer> buffer3D;
    EXPECT_EQ(plain->Query3DBuffer(buffer3D), DSERR_CONTROLUNAVAIL);

    // Bad values are refused and leave the stored ones.
    auto placed = Buffer(Tone(100));
    buffer3D = Placed(*placed, {1, 0, 0});
    EXPECT_EQ(buffer3D->SetMinDistance(-1, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer3D->SetConeAngles(30, 400, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer3D->SetPosition({NAN, 0, 0}, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer3D->SetMode(3, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    TDS3DBufferParams params;
    EXPECT_EQ(buffer3D->GetAllParameters(params), DS_OK);
    EXPECT_EQ(params.MinDistance, 1.0f);
    EXPECT_EQ(params.InsideConeAngle, 360u);
    EXPECT_EQ(params.Position, (TVector3{1, 0, 0}));
}

TEST(OpenAlDevice, NullDriverListsAndOpensQuietly)
{
    setenv("ALSOFT_DRIVERS", "null", 1);
    ::testing::internal::CaptureStderr();
    auto backend = CreateOpenAlBackend();
    const auto entries = backend->EnumerateDevices();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_FALSE(entries[0].Guid);
    EXPECT_FALSE(entries[0].Description.empty());
    for (size_t i = 1; i < entries.size(); ++i) {
        EXPECT_TRUE(entries[i].Guid);
        EXPECT_EQ(entries[i].Module, "OpenAL Soft");
    }
    for (const TSoundDeviceEntry& entry : {entries[0], entries[1]}) {
        std::unique_ptr<ISoundDevice> device;
        ASSERT_EQ(backend->CreateDevice(entry, device), DS_OK) << entry.Description;
        EXPECT_EQ(device->SetCooperativeLevel(1), DS_OK);
        device->SetSpeakerConfig(3);
        EXPECT_EQ(device->GetSpeakerConfig(), 3u);
        TDSCaps caps;
        EXPECT_EQ(device->GetCaps(caps), DS_OK);
        EXPECT_GT(caps.MaxHw3DAllBuffers, 0u);
        std::unique_ptr<ISoundBuffer> buffer;
        ASSERT_EQ(device->CreateSoundBuffer({k3DFlags, 4000, TWaveFormat::Pcm(2, 22050, 8)}, buffer), DS_OK);
        buffer->Play(true);
        uint32_t status = 0;
        EXPECT_EQ(buffer->GetStatus(status), DS_OK);
        EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    }
    TSoundDeviceEntry unknown = entries[1];
    (*unknown.Guid)[0] ^= 0xFF;
    std::unique_ptr<ISoundDevice> device;
    EXPECT_EQ(backend->CreateDevice(unknown, device), DSERR_NODRIVER);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

} // namespace

// Run in a child process under the settings a test chose: opens the default
// device with headphones off, then on, and prints what came of each.
int HeadphoneProbeMain()
{
    auto backend = CreateOpenAlBackend();
    const auto entries = backend->EnumerateDevices();
    if (entries.empty())
        return 1;
    for (bool on : {false, true}) {
        backend->SetHeadphones(on);
        std::unique_ptr<ISoundDevice> device;
        const TDSResult opened = backend->CreateDevice(entries[0], device);
        std::unique_ptr<ISoundBuffer> buffer;
        const bool plays = opened == DS_OK &&
                           device->CreateSoundBuffer({k3DFlags, 4000, TWaveFormat::Pcm(1, 22050, 16)}, buffer) == DS_OK;
        std::printf("%s:%s:%s\n", on ? "on" : "off", plays ? "plays" : "silent",
                    backend->HeadphonesUnavailable().c_str());
    }
    return 0;
}

namespace {

// Headphones asked for render through HRTF; where OpenAL Soft's settings or
// its data rule that out, the device opens as plain stereo all the same and
// says why. OpenAL Soft reads its settings once per process, so each case
// runs in a child of its own.
TEST(OpenAlDevice, HeadphonesRenderOrOpenPlainAndSayWhy)
{
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    struct TCase {
        const char* Settings;
        const char* Expected;
    };
    const TCase cases[] = {
        {"", "off:plays:\non:plays:\n"},
        {"hrtf = false\n",
         "off:plays:\non:plays:Headphone rendering is switched off in OpenAL Soft's settings (alsoft.conf).\n"},
        {"hrtf-paths = /nonexistent\n",
         "off:plays:No head-related transfer function data is installed for this output device.\n"
         "on:plays:No head-related transfer function data is installed for this output device.\n"},
    };
    TTempDir dir;
    for (const TCase& c : cases) {
        const auto settings = dir.Path() / "alsoft.conf";
        std::ofstream(settings) << "[general]\n" << c.Settings;
        const std::string command = "ALSOFT_DRIVERS=null ALSOFT_CONF='" + settings.string() + "' '" + self +
                                    "' --headphone-probe";
        FILE* child = popen(command.c_str(), "r");
        ASSERT_NE(child, nullptr);
        std::string output;
        char line[512];
        while (std::fgets(line, sizeof line, child))
            output += line;
        EXPECT_EQ(pclose(child), 0) << c.Settings;
        EXPECT_EQ(output, c.Expected) << c.Settings;
    }
}

} // namespace
