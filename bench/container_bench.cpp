// Container speed, each figure against a baseline in the same run, on 64 MB
// of WAV-like 16-bit data: writing a level-2 enciphered container against
// zlib level 5 over 1 MiB pieces plus encipherment; reading it back against
// inflating and deciphering those pieces; reading in 4096-byte pieces
// against reading in one piece.
#include "package/pack_stream.h"

#include "bench_args.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr size_t ContentBytes = 64u << 20;
constexpr size_t Piece = 1u << 20;
const std::string Password = "Quorlentix";

class TSteadyClock : public TVirtualClock {
public:
    int64_t SteadyMilliseconds() override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

TSteadyClock Clock;
std::vector<uint8_t> Content;
std::vector<std::vector<uint8_t>> Packed; // baseline pieces, compressed and enciphered
std::string ContainerPath;

void MakeContent()
{
    Content.resize(ContentBytes);
    uint32_t noise = 7;
    for (size_t i = 0; i < ContentBytes; i += 2) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i / 2);
        const double v = 8000 * std::sin(t * 0.0314) + 5000 * std::sin(t * 0.00731) + 2000 * std::sin(t * 0.177) +
                         static_cast<int>(noise >> 26) - 32;
        const auto s = static_cast<uint16_t>(static_cast<int16_t>(v));
        Content[i] = static_cast<uint8_t>(s);
        Content[i + 1] = static_cast<uint8_t>(s >> 8);
    }
}

void WriteContainer(benchmark::State& state)
{
    for (auto _ : state) {
        TPackFileStream out(ContainerPath, PackModeCreate, Password, 2, 0, Clock);
        out.Write(Content.data(), Content.size());
        out.Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentBytes));
}

void CompressPieces(benchmark::State& state)
{
    const TPackCipher cipher(Password);
    for (auto _ : state) {
        Packed.clear();
        for (size_t at = 0; at < ContentBytes; at += Piece) {
            uLongf size = compressBound(Piece);
            std::vector<uint8_t> out(size);
            compress2(out.data(), &size, Content.data() + at, Piece, 5);
            out.resize(size);
            cipher.Encipher(out.data(), out.size());
            Packed.push_back(std::move(out));
        }
        benchmark::DoNotOptimize(Packed.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentBytes));
}

void ReadContainer(benchmark::State& state, size_t piece)
{
    std::vector<uint8_t> out(ContentBytes);
    for (auto _ : state) {
        TPackFileStream in(ContainerPath, PackModeReadOnly, Password, 2, 0, Clock);
        size_t done = 0;
        while (done < ContentBytes)
            done += in.Read(out.data() + done, std::min(piece, ContentBytes - done));
        benchmark::DoNotOptimize(out.data());
    }
    if (out != Content)
        state.SkipWithError("content differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentBytes));
}

void InflatePieces(benchmark::State& state)
{
    const TPackCipher cipher(Password);
    std::vector<uint8_t> out(ContentBytes);
    std::vector<uint8_t> work;
    for (auto _ : state) {
        for (size_t i = 0; i < Packed.size(); ++i) {
            work = Packed[i];
            cipher.Decipher(work.data(), work.size());
            uLongf size = Piece;
            uncompress(out.data() + i * Piece, &size, work.data(), work.size());
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ContentBytes));
}

// One iteration each, five repetitions shuffled together; medians compared.
BENCHMARK(WriteContainer)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK(CompressPieces)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK_CAPTURE(ReadContainer, OnePiece, ContentBytes)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK_CAPTURE(ReadContainer, Pieces4096, 4096)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);
BENCHMARK(InflatePieces)->Unit(benchmark::kMillisecond)->Repetitions(5)->Iterations(1);

// Keeps the median real time of each benchmark.
class TMedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                Medians[run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Medians;
};

} // namespace

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv))
        return 1;
    MakeContent();
    ContainerPath = (std::filesystem::temp_directory_path() / "ambitone-container-bench.aacs").string();
    {
        // Both sides of the read figures need their input before the shuffle.
        TPackFileStream out(ContainerPath, PackModeCreate, Password, 2, 0, Clock);
        out.Write(Content.data(), Content.size());
    }
    {
        const TPackCipher cipher(Password);
        for (size_t at = 0; at < ContentBytes; at += Piece) {
            uLongf size = compressBound(Piece);
            std::vector<uint8_t> out(size);
            compress2(out.data(), &size, Content.data() + at, Piece, 5);
            out.resize(size);
            cipher.Encipher(out.data(), out.size());
            Packed.push_back(std::move(out));
        }
    }
    TMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove(ContainerPath);
    auto& m = reporter.Medians;
    const double wait = 256.0; // ms of password check in every read open
    std::printf("\nwrite speed vs zlib-5 pieces + cipher: %.3fx (target >= 0.9)\n",
                m["CompressPieces"] / m["WriteContainer"]);
    std::printf("read speed vs inflate + decipher: %.3fx including the %.0f ms password wait, %.3fx without it "
                "(target >= 0.9)\n",
                m["InflatePieces"] / m["ReadContainer/OnePiece"], wait,
                m["InflatePieces"] / (m["ReadContainer/OnePiece"] - wait));
    std::printf("read time, 4096-byte pieces vs one piece: %.3fx (target <= 1.1)\n",
                m["ReadContainer/Pieces4096"] / m["ReadContainer/OnePiece"]);
    return 0;
}
