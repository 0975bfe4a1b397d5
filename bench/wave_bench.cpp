// Loading a PCM image into a wave against a plain memcpy of the same bytes,
// both measured in this run. The load reads the stream in one bulk read
// into a store sized in advance and parses it in place, so it should cost
// no more than the copy it cannot avoid. A new store of 64 MB is above the
// C library's largest mmap threshold: its pages are fresh from the system
// on every load, so the fresh-buffer memcpy is shown beside the warm one;
// at 16 MB freed stores are reused and the two references agree.
#include "audio/wave.h"

#include "bench_args.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <istream>
#include <map>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

namespace {

constexpr size_t ImageBytes = 64u << 20;
// A size below the C library's largest mmap threshold (32 MB), where freed
// stores are reused by the next load instead of returned to the system.
constexpr size_t SmallImageBytes = 16u << 20;

// A read-only stream over bytes it does not own or copy.
class TMemoryStreamBuf : public std::streambuf {
public:
    TMemoryStreamBuf(const uint8_t* data, size_t size)
    {
        char* base = const_cast<char*>(reinterpret_cast<const char*>(data));
        setg(base, base, base + size);
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        const off_type origin = dir == std::ios_base::beg   ? 0
                                : dir == std::ios_base::cur ? gptr() - eback()
                                                            : egptr() - eback();
        const off_type target = origin + offset;
        if (target < 0 || target > egptr() - eback())
            return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return pos_type(target);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode mode) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, mode);
    }
};

void PutLe32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// 16-bit stereo PCM at 44100 Hz: a 44-byte header and the rest data.
std::vector<uint8_t> MakeImage(size_t size)
{
    {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
        const TWaveFormat format = TWaveFormat::Pcm(2, 44100, 16);
        std::memcpy(bytes.data(), "RIFF", 4);
        PutLe32(bytes.data() + 4, static_cast<uint32_t>(size - 8));
        std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
        PutLe32(bytes.data() + 16, 16);
        std::memcpy(bytes.data() + 20, format.Bytes(), 16);
        std::memcpy(bytes.data() + 36, "data", 4);
        PutLe32(bytes.data() + 40, static_cast<uint32_t>(size - 44));
        return bytes;
    }
}

const std::vector<uint8_t>& Image(size_t size)
{
    static const std::vector<uint8_t> large = MakeImage(ImageBytes);
    static const std::vector<uint8_t> small = MakeImage(SmallImageBytes);
    return size == ImageBytes ? large : small;
}

void LoadFromStream(benchmark::State& state)
{
    const std::vector<uint8_t>& image = Image(static_cast<size_t>(state.range(0)));
    TMMWave wave;
    wave.CreateMemoryStore();
    for (auto _ : state) {
        TMemoryStreamBuf buffer(image.data(), image.size());
        std::istream stream(&buffer);
        wave.LoadFromStream(stream);
        benchmark::DoNotOptimize(wave.SampleData());
        // The previous image is released outside the timing, as it would be
        // long before the next load in the program.
        state.PauseTiming();
        wave.ClearWave();
        state.ResumeTiming();
    }
    TMemoryStreamBuf buffer(image.data(), image.size());
    std::istream stream(&buffer);
    wave.LoadFromStream(stream);
    if (wave.DataBytes() != image.size() - 44)
        state.SkipWithError("the image did not load whole");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * static_cast<int64_t>(image.size())));
}

// The same bytes copied into a buffer allocated once and already touched:
// the copy alone, the strict reference.
void Memcpy(benchmark::State& state)
{
    const std::vector<uint8_t>& image = Image(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> copy(image.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), image.data(), image.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * static_cast<int64_t>(image.size())));
}

// The same bytes copied into a fresh buffer, as a load must: the copy plus
// the first touch of new pages.
void MemcpyFresh(benchmark::State& state)
{
    const std::vector<uint8_t>& image = Image(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        auto copy = std::make_unique_for_overwrite<uint8_t[]>(image.size());
        std::memcpy(copy.get(), image.data(), image.size());
        benchmark::DoNotOptimize(copy.get());
        benchmark::ClobberMemory();
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * static_cast<int64_t>(image.size())));
}

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.aggregate_name == "min")
                Times[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Times;
};

} // namespace

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv))
        return 1;
    Image(ImageBytes);
    Image(SmallImageBytes);
    for (auto* b :
         {benchmark::RegisterBenchmark("load", LoadFromStream), benchmark::RegisterBenchmark("memcpy", Memcpy),
          benchmark::RegisterBenchmark("memcpy-fresh", MemcpyFresh)}) {
        b->Arg(ImageBytes)->Arg(SmallImageBytes);
        b->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(7)->DisplayAggregatesOnly(true)->UseRealTime();
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    }
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* measured, const char* reference, size_t size) {
        const auto a = reporter.Times.find(std::string(measured) + "/" + std::to_string(size));
        const auto b = reporter.Times.find(std::string(reference) + "/" + std::to_string(size));
        return a != reporter.Times.end() && b != reporter.Times.end() && b->second > 0 ? a->second / b->second : -1.0;
    };
    std::printf("\nratio load / memcpy = %.2f (target: load at least half memcpy speed, i.e. ratio <= 2)\n",
                ratio("load", "memcpy", ImageBytes));
    std::printf("ratio load / memcpy into a fresh buffer, 64 MB = %.2f\n", ratio("load", "memcpy-fresh", ImageBytes));
    std::printf("ratio load / memcpy, 16 MB = %.2f\n", ratio("load", "memcpy", SmallImageBytes));
    benchmark::Shutdown();
    return 0;
}
