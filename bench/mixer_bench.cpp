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

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
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
        if (sum != reporter.CpuSeconds.end() && sum->second > 0)
            std::printf("ratio rendering / bare gain-and-sum = %.2f\n", scene->second / sum->second);
    }
    benchmark::Shutdown();
    return 0;
}
