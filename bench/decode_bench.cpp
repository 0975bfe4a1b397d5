// ADPCM decoding speed at 44.1 kHz stereo, as a real-time factor: seconds
// of audio decoded per second of CPU (target at least 200). The reference is
// the audio's own duration; beside it, copying the decoded size of PCM with
// memcpy, measured in the same run, shows how near the decoders come to
// merely writing their output.

#include "audio/codec_manager.h"
#include "audio/ms_adpcm.h"

#include "bench_args.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint16_t Channels = 2;
constexpr uint16_t BlockAlign = 2048; // what encoders write for 44.1 kHz stereo
constexpr size_t Blocks = 1300;       // about a minute of audio

using TBytes = std::vector<uint8_t>;

TWaveFormat Record(uint16_t tag, uint16_t samplesPerBlock, bool coefficients)
{
    TBytes bytes(18);
    WAVEFORMATEX h{tag, Channels, Rate, 0, BlockAlign, 4, 0};
    h.nAvgBytesPerSec = static_cast<uint32_t>(uint64_t{BlockAlign} * Rate / samplesPerBlock);
    auto put = [&bytes](int value) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    };
    put(samplesPerBlock);
    if (coefficients) {
        put(MsAdpcmStandardCoefficientCount);
        for (const auto& pair : MsAdpcmStandardCoefficients) {
            put(pair[0]);
            put(pair[1]);
        }
    }
    h.cbSize = static_cast<uint16_t>(bytes.size() - 18);
    std::memcpy(bytes.data(), &h, sizeof h);
    return TWaveFormat::FromBytes(bytes.data(), bytes.size());
}

// The decoders do the same work whatever the nibbles are, so the blocks hold
// varied bytes under valid headers.
TBytes Data(bool ms)
{
    TBytes bytes(Blocks * BlockAlign);
    uint32_t seed = 1;
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<uint8_t>(seed >> 16);
    }
    for (size_t block = 0; block < Blocks; ++block) {
        uint8_t* header = bytes.data() + block * BlockAlign;
        for (int c = 0; c < Channels; ++c) {
            if (ms) {
                header[c] = static_cast<uint8_t>((block + c) % 7);
                header[Channels + 2 * c] = 64;
                header[Channels + 2 * c + 1] = 0;
            } else {
                header[4 * c + 2] %= 89;
            }
        }
    }
    return bytes;
}

const uint16_t MsFrames = BlockAlign - 7 * Channels + 2;          // 2036
const uint16_t ImaFrames = 1 + (BlockAlign - 4 * Channels) / 8 * 8; // 2041
const TWaveFormat MsFormat = Record(WAVE_FORMAT_ADPCM, MsFrames, true);
const TWaveFormat ImaFormat = Record(WAVE_FORMAT_IMA_ADPCM, ImaFrames, false);
const TWaveFormat PcmFormat = TWaveFormat::Pcm(Channels, Rate, 16);

double AudioSeconds(uint16_t framesPerBlock)
{
    return static_cast<double>(Blocks) * framesPerBlock / Rate;
}

void MsDirect(benchmark::State& state)
{
    TBytes src = Data(true), dst(MsAdpcmDecodedBytes(MsFormat, src.size()));
    for (auto _ : state) {
        size_t written = MsAdpcmDecode(MsFormat, PcmFormat, src.data(), src.size(), dst.data(), dst.size());
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
}

// Through the codec manager as the mixer does it: 64 KB of source at a time.
void Converted(benchmark::State& state, const TWaveFormat* format)
{
    TBytes src = Data(format == &MsFormat);
    TWaveConverterPtr converter = CreateConverter(*format, PcmFormat, 32 * BlockAlign);
    if (!converter) {
        state.SkipWithError("no converter");
        return;
    }
    for (auto _ : state) {
        size_t total = 0;
        for (size_t at = 0; at < src.size(); at += converter->SourceBytesUsed()) {
            total += Convert(converter.get(), src.data() + at, src.size() - at);
            if (converter->SourceBytesUsed() == 0)
                break;
        }
        benchmark::DoNotOptimize(total);
    }
}

// The same number of output bytes copied, in the same 64 KB source steps.
void CopyOutput(benchmark::State& state, uint16_t framesPerBlock)
{
    const size_t piece = 32 * size_t{framesPerBlock} * Channels * 2;
    TBytes from(Blocks * size_t{framesPerBlock} * Channels * 2, 1), to(piece);
    for (auto _ : state) {
        for (size_t at = 0; at < from.size(); at += piece)
            std::memcpy(to.data(), from.data() + at, std::min(piece, from.size() - at));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// Keeps each case's fastest repetition, the one least disturbed by the
// rest of the machine.
class TRealTimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.aggregate_name == "min")
                CpuSeconds[run.run_name.function_name] = run.GetAdjustedCPUTime() / 1000.0;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Print(const char* name, double audioSeconds, const char* reference) const
    {
        auto measured = CpuSeconds.find(name), copy = CpuSeconds.find(reference);
        if (measured == CpuSeconds.end() || measured->second <= 0)
            return;
        std::printf("%-22s %8.0fx real time (target >= 200x)", name, audioSeconds / measured->second);
        if (copy != CpuSeconds.end() && copy->second > 0)
            std::printf("; memcpy of its output %8.0fx, decode / memcpy time %.1f", audioSeconds / copy->second,
                        measured->second / copy->second);
        std::printf("\n");
    }

    std::map<std::string, double> CpuSeconds;
};

} // namespace

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv))
        return 1;

    auto setUp = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->MinTime(0.2)->Repetitions(5)->DisplayAggregatesOnly(true);
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    };
    setUp(benchmark::RegisterBenchmark("ms-adpcm/direct", MsDirect));
    setUp(benchmark::RegisterBenchmark("ms-adpcm/converter", Converted, &MsFormat));
    setUp(benchmark::RegisterBenchmark("ima-adpcm/converter", Converted, &ImaFormat));
    setUp(benchmark::RegisterBenchmark("memcpy/ms-output", CopyOutput, MsFrames));
    setUp(benchmark::RegisterBenchmark("memcpy/ima-output", CopyOutput, ImaFrames));

    TRealTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%.1f s of 44.1 kHz stereo per run\n", AudioSeconds(MsFrames));
    reporter.Print("ms-adpcm/direct", AudioSeconds(MsFrames), "memcpy/ms-output");
    reporter.Print("ms-adpcm/converter", AudioSeconds(MsFrames), "memcpy/ms-output");
    reporter.Print("ima-adpcm/converter", AudioSeconds(ImaFrames), "memcpy/ima-output");
    benchmark::Shutdown();
    return 0;
}
