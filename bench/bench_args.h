#pragma once
// Benchmark start-up shared by the ratio benchmarks: repetitions of all
// cases are shuffled together, so that neither side of a ratio always runs
// in the same slot after the same work.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// False when an argument was not understood (already reported).
inline bool InitializeInterleaved(int argc, char** argv)
{
    static std::string interleave = "--benchmark_enable_random_interleaving=true";
    static std::vector<char*> args;
    args.assign(argv, argv + argc);
    args.insert(args.begin() + 1, interleave.data());
    int argCount = static_cast<int>(args.size());
    benchmark::Initialize(&argCount, args.data());
    return !benchmark::ReportUnrecognizedArguments(argCount, args.data());
}
