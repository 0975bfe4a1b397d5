// A full scene through the OpenAL Soft loopback device: 64 looping 3D
// sources of 2 s mono 16-bit noise (half at 44100 Hz, half at 22050 Hz so
// that the resampler works as it does for a real catalogue), placed around
// the listener at 2 to 10 units and moved every 50 ms as the motion patterns
// move them, rendered to 16-bit stereo for 10 s of audio per iteration.
//
// The reference is the audio time itself: rendering must take at most 5% of
// it on one core (20 times real time). A bare gain-and-sum of the same
// sources into the same output, measured in the same run, shows what the
// positional mix costs over the least any mixer must do.
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "base/clock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kOutputRate = 44100;
constexpr int kSources = 64;
constexpr int kAudioSeconds = 10;
constexpr int kBlockFrames = kOutputRate / 20; // 50 ms, the end-poll period

int SourceRate(int index) { return index % 2 ? 22050 : 44100; }

std::vector<int16_t> Noise(int frames, uint32_t seed)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    uint32_t x = seed * 2654435761u + 1;
    for (int16_t& s : samples) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s = static_cast<int16_t>((static_cast<int32_t>(x >> 16) - 32768) / 4);
    }
    return samples;
}

TVector3 PositionOf(int index, int block)
{
    const double radius = 2 + 8.0 * index / (kSources - 1);
    const double angle = 2 * std::numbers::pi * index / kSources + 0.05 * block * (index % 3 + 1);
    return {static_cast<float>(radius * std::sin(angle)), static_cast<float>(0.5 * std::cos(angle * 0.5)),
            static_cast<float>(radius * std::cos(angle))};
}

void RenderScene(benchmark::State& state)
{
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend(kOutputRate, 2);
    std::unique_ptr<ISoundDevice> device;
    std::unique_ptr<IPrimaryBuffer> primary;
    std::unique_ptr<ISound3DListener> listener;
    if (loopback.Backend->CreateDevice(loopback.Backend->EnumerateDevices().front(), device) != DS_OK ||
        device->CreatePrimaryBuffer(0x91, primary) != DS_OK || primary->QueryListener(listener) != DS_OK) {
        state.SkipWithError("no loopback device");
        return;
    }
    std::vector<std::unique_ptr<ISoundBuffer>> buffers;
    std::vector<std::unique_ptr<ISound3DBuffer>> placed;
    for (int i = 0; i < kSources; ++i) {
        const std::vector<int16_t> noise = Noise(2 * SourceRate(i), static_cast<uint32_t>(i));
        TSoundBufferDesc desc{0x1C0B2, static_cast<uint32_t>(noise.size() * 2),
                              TWaveFormat::Pcm(1, static_cast<uint32_t>(SourceRate(i)), 16)};
        std::unique_ptr<ISoundBuffer> buffer;
        std::unique_ptr<ISound3DBuffer> buffer3D;
        uint8_t* region = nullptr;
        uint32_t bytes = 0;
        if (device->CreateSoundBuffer(desc, buffer) != DS_OK || buffer->Lock(region, bytes) != DS_OK ||
            buffer->Query3DBuffer(buffer3D) != DS_OK) {
            state.SkipWithError("no 3D buffer");
            return;
        }
        std::copy_n(reinterpret_cast<const uint8_t*>(noise.data()), bytes, region);
        buffer->Unlock();
        buffer3D->SetPosition(PositionOf(i, 0), DS3D_IMMEDIATE);
        buffer->Play(true);
        buffers.push_back(std::move(buffer));
        placed.push_back(std::move(buffer3D));
    }
    std::vector<int16_t> out(2 * kBlockFrames);
    int block = 0;
    for (auto _ : state) {
        for (int b = 0; b < kAudioSeconds * 20; ++b, ++block) {
            for (int i = 0; i < kSources; ++i)
                placed[static_cast<size_t>(i)]->SetPosition(PositionOf(i, block), DS3D_IMMEDIATE);
            loopback.Renderer->Render(out.data(), kBlockFrames);
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
    // A silent or stopped mix would be fast for the wrong reason.
    uint32_t status = 0;
    buffers.front()->GetStatus(status);
    if (!(status & DSBSTATUS_PLAYING) || std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }))
        state.SkipWithError("the sources stopped");
}

// A mono 16-bit WAV image of the noise, as a catalogue sample is stored.
std::string WaveImage(const std::vector<int16_t>& samples, int rate)
{
    auto le = [](std::string& out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<char>(v >> (8 * i)));
    };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    std::string image = "RIFF";
    le(image, 36 + data, 4);
    image += "WAVEfmt ";
    le(image, 16, 4);
    le(image, 1, 2);
    le(image, 1, 2);
    le(image, static_cast<uint32_t>(rate), 4);
    le(image, static_cast<uint32_t>(rate * 2), 4);
    le(image, 2, 2);
    le(image, 16, 2);
    image += "data";
    le(image, data, 4);
    image.append(reinterpret_cast<const char*>(samples.data()), data);
    return image;
}

// The same scene as the program plays it: 64 looping channels of the main
// window's mixer, moved through their Sound3D positions every 50 ms, with
// the mixer's timers advanced alongside the mix.
void RenderMixerScene(benchmark::State& state)
{
    TLoopbackBackend loopback = CreateOpenAlLoopbackBackend(kOutputRate, 2);
    TVirtualClock clock;
    auto mixer = std::make_unique<TMMDSWaveMixer>(*loopback.Backend, clock);
    ApplyMainMixerSettings(*mixer);
    std::vector<std::unique_ptr<TMMDSMixChannel>> channels;
    for (int i = 0; i < kSources; ++i) {
        auto channel = std::make_unique<TMMDSMixChannel>(mixer.get());
        ApplyChannelSettings(*channel, 1);
        std::istringstream image(WaveImage(Noise(2 * SourceRate(i), static_cast<uint32_t>(i)), SourceRate(i)));
        channel->Wave().LoadFromStream(image);
        channel->SetLooping(true);
        const TVector3 p = PositionOf(i, 0);
        channel->Sound3D().Position().Assign(p.X, p.Y, p.Z);
        channel->Play();
        channels.push_back(std::move(channel));
    }
    std::vector<int16_t> out(2 * kBlockFrames);
    int block = 0;
    for (auto _ : state) {
        for (int b = 0; b < kAudioSeconds * 20; ++b, ++block) {
            for (int i = 0; i < kSources; ++i) {
                const TVector3 p = PositionOf(i, block);
                channels[static_cast<size_t>(i)]->Sound3D().Position().Assign(p.X, p.Y, p.Z);
            }
            loopback.Renderer->Render(out.data(), kBlockFrames);
            clock.Advance(50);
            benchmark::DoNotOptimize(out.data());
        }
    }
    bool playing = std::all_of(channels.begin(), channels.end(), [](auto& c) { return c->IsPlaying(); });
    if (!playing || std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }))
        state.SkipWithError("the channels stopped");
    channels.clear();
    mixer.reset();
}

// Each source at a fixed left and right gain, stepped at its own rate with
// no interpolation, summed in float and clipped to 16 bits.
void GainAndSum(benchmark::State& state)
{
    std::vector<std::vector<int16_t>> sources;
    std::vector<float> left, right;
    for (int i = 0; i < kSources; ++i) {
        sources.push_back(Noise(2 * SourceRate(i), static_cast<uint32_t>(i)));
        const TVector3 p = PositionOf(i, 0);
        const float gain = 1.0f / std::hypot(p.X, p.Y, p.Z);
        left.push_back(gain * (1 - p.X / 10) / 2);
        right.push_back(gain * (1 + p.X / 10) / 2);
    }
    std::vector<float> mix(2 * kBlockFrames);
    std::vector<int16_t> out(2 * kBlockFrames);
    std::vector<double> cursor(kSources, 0);
    for (auto _ : state) {
        for (int b = 0; b < kAudioSeconds * 20; ++b) {
            std::fill(mix.begin(), mix.end(), 0.0f);
            for (int i = 0; i < kSources; ++i) {
                const std::vector<int16_t>& s = sources[static_cast<size_t>(i)];
                const double step = double(SourceRate(i)) / kOutputRate;
                double at = cursor[static_cast<size_t>(i)];
                for (int f = 0; f < kBlockFrames; ++f) {
                    const float v = s[static_cast<size_t>(at)];
                    mix[2 * f] += left[static_cast<size_t>(i)] * v;
                    mix[2 * f + 1] += right[static_cast<size_t>(i)] * v;
                    at += step;
                    if (at >= double(s.size()))
                        at -= double(s.size());
                }
                cursor[static_cast<size_t>(i)] = at;
            }
            for (size_t k = 0; k < mix.size(); ++k)
                out[k] = static_cast<int16_t>(std::clamp(mix[k], -32768.0f, 32767.0f));
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    }
}

class TCpuReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.aggregate_name == "min")
                CpuSeconds[run.run_name.function_name] = run.GetAdjustedCPUTime() / 1e3; // ms
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> CpuSeconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    for (auto* b : {benchmark::RegisterBenchmark("openal-64-sources-10s", RenderScene),
                    benchmark::RegisterBenchmark("mixer-64-channels-10s", RenderMixerScene),
                    benchmark::RegisterBenchmark("gain-and-sum-64-sources-10s", GainAndSum)}) {
        b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->DisplayAggregatesOnly(true);
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    }
    TCpuReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto scene = reporter.CpuSeconds.find("openal-64-sources-10s");
    const auto sum = reporter.CpuSeconds.find("gain-and-sum-64-sources-10s");
    if (scene != reporter.CpuSeconds.end() && scene->second > 0) {
        const double audio = kAudioSeconds;
        std::printf("\nreference: %.3f s of audio (%d sources, %d Hz stereo, 16-bit)\n", audio, kSources, kOutputRate);
        std::printf("rendering: %.3f s CPU = %.2f%% of the audio time, %.1fx real time (target <= 5%%, >= 20x)\n",
                    scene->second, 100 * scene->second / audio, audio / scene->second);
        const auto mixerScene = reporter.CpuSeconds.find("mixer-64-channels-10s");
        if (mixerScene != reporter.CpuSeconds.end() && mixerScene->second > 0)
            std::printf("through the mixer's channels: %.3f s CPU = %.2f%% of the audio time, %.1fx real time "
                        "(target <= 5%%, >= 20x)\n",
                        mixerScene->second, 100 * mixerScene->second / audio, audio / mixerScene->second);
        if (sum != reporter.CpuSeconds.end() && sum->second > 0)
            std::printf("ratio rendering / bare gain-and-sum = %.2f\n", scene->second / sum->second);
    }
    benchmark::Shutdown();
    return 0;
}
