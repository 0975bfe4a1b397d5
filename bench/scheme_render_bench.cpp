// links: ambitone_playback ambitone_render
//
// `ambitone-tool render-scheme` on a scheme of 16 rows: two looping rows and
// fourteen firing every 3 to 24 s, most of them moving (circles and passes at
// every speed), some in repeat bursts or randomized, over 1 to 4 s samples
// at 44100 and 22050 Hz, so that most rows sound at once. Each run renders
// two loops of 60 s through the loopback device, store reads and WAV
// writing (through libsndfile) included, exactly as the subcommand does.
//
// The reference is the audio time itself: the render must take at most 2% of
// it in wall time (50 times real time).
#include "render/scheme_render.h"
#include "store/database.h"
#include "store/table.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 16;
constexpr int kLoopSeconds = 60;
constexpr double kAudioSeconds = 2 * kLoopSeconds;
constexpr double kTarget = 50;

void Le(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A mono 16-bit WAV image: a tone with a little noise on it.
std::vector<uint8_t> SoundImage(int index)
{
    const uint32_t rate = index % 2 ? 22050 : 44100;
    const uint32_t frames = rate * static_cast<uint32_t>(1 + index % 4);
    std::vector<uint8_t> image = {'R', 'I', 'F', 'F'};
    Le(image, 36 + frames * 2, 4);
    for (char c : std::string("WAVEfmt "))
        image.push_back(static_cast<uint8_t>(c));
    Le(image, 16, 4); // fmt size
    Le(image, 1, 2);  // PCM
    Le(image, 1, 2);  // mono
    Le(image, rate, 4);
    Le(image, rate * 2, 4); // bytes per second
    Le(image, 2, 2);        // block align
    Le(image, 16, 2);       // bits
    for (char c : std::string("data"))
        image.push_back(static_cast<uint8_t>(c));
    Le(image, frames * 2, 4);
    uint32_t x = static_cast<uint32_t>(index) * 2654435761u + 1;
    for (uint32_t i = 0; i < frames; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const double tone = 8000 * std::sin(2 * M_PI * (200 + 50 * index) * i / rate);
        Le(image, static_cast<uint16_t>(static_cast<int16_t>(tone + (static_cast<int32_t>(x >> 20) - 2048))), 2);
    }
    return image;
}

void MakeStore(const std::filesystem::path& dir)
{
    TDatabase db;
    db.SetDirectory(dir);
    CreateTables(db);
    TTable schemes(db, "Schemes"), sounds(db, "SoundCatalog"), data(db, "SchemeData");
    schemes.Open();
    sounds.Open();
    data.Open();
    schemes.Append();
    schemes.FieldByName("Name").SetAsString("Bench");
    schemes.FieldByName("LoopPeriod").SetAsInteger(kLoopSeconds);
    schemes.Post();
    const int schemeNo = schemes.FieldByName("RecordNo").AsInteger();
    for (int i = 0; i < kRows; ++i) {
        sounds.Append();
        sounds.FieldByName("Name").SetAsString("sound " + std::to_string(i));
        sounds.FieldByName("Category").SetAsInteger(-1);
        sounds.WriteBlob("Sound", SoundImage(i));
        sounds.Post();
        data.Append();
        data.FieldByName("SchemeNo").SetAsInteger(schemeNo);
        data.FieldByName("SoundNo").SetAsInteger(sounds.FieldByName("RecordNo").AsInteger());
        data.FieldByName("Freq").SetAsInteger(i < 2 ? 100 : 60 + 35 * (i - 2) / (kRows - 3));
        data.FieldByName("Randomize").SetAsBoolean(i % 5 == 3);
        data.FieldByName("Pattern").SetAsInteger(i % 4);
        data.FieldByName("PatternSpeed").SetAsInteger(1 + i % 4);
        data.FieldByName("ReversePattern").SetAsBoolean(i % 3 == 0);
        data.FieldByName("RepeatPatten").SetAsInteger(i % 6 == 5 ? 1 + i % 4 : 0);
        data.FieldByName("Repeat").SetAsInteger(3);
        const double angle = 2 * M_PI * i / kRows;
        data.FieldByName("CoordX").SetAsFloat(4 * std::cos(angle));
        data.FieldByName("CoordY").SetAsFloat(0.5);
        data.FieldByName("CoordZ").SetAsFloat(4 * std::sin(angle));
        data.Post();
    }
}

std::filesystem::path g_dir;

void RenderSchemeOf16Rows(benchmark::State& state)
{
    TSchemeRenderOptions options;
    options.DataDir = g_dir;
    options.Title = "Bench";
    options.Out = g_dir / "out.wav";
    options.Seconds = kAudioSeconds;
    TSchemeRenderResult result;
    for (auto _ : state)
        result = RenderScheme(options);
    // A silent or empty render would be fast for the wrong reason.
    if (result.Rows != kRows || result.Fires == 0 || result.Peak == 0)
        state.SkipWithError("the scheme did not sound");
    state.counters["fires"] = result.Fires;
}

class TRealTimeReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.aggregate_name == "min")
                Seconds[run.run_name.function_name] = run.GetAdjustedRealTime() / 1e3; // ms
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Seconds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::string pattern = (std::filesystem::temp_directory_path() / "scheme-render-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::fprintf(stderr, "scheme_render_bench: no temporary directory\n");
        return 1;
    }
    g_dir = pattern;
    MakeStore(g_dir);
    auto* b = benchmark::RegisterBenchmark("render-scheme-16-rows-120s", RenderSchemeOf16Rows);
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->DisplayAggregatesOnly(true);
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    TRealTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto measured = reporter.Seconds.find("render-scheme-16-rows-120s");
    if (measured != reporter.Seconds.end() && measured->second > 0)
        std::printf("\nreference: %.0f s of audio (%d rows, 44100 Hz stereo, 16-bit)\n"
                    "render-scheme: %.3f s wall = %.2f%% of the audio time, %.1fx real time (target >= %.0fx)\n",
                    kAudioSeconds, kRows, measured->second, 100 * measured->second / kAudioSeconds,
                    kAudioSeconds / measured->second, kTarget);
    std::filesystem::remove_all(g_dir);
    benchmark::Shutdown();
    return 0;
}
