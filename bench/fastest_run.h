#pragma once
// A reporter that keeps each benchmark's fastest repetition (the one least
// disturbed by whatever else the machine is doing) for the ratios printed
// at the end, and the registration that gives it a "min" to keep.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

class TFastestRunReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.error_occurred)
                Failed = true;
            if (run.aggregate_name == "min")
                Times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The fastest repetition of a benchmark; 0 when it did not run.
    double Time(const std::string& name) const
    {
        auto found = Times.find(name);
        return found == Times.end() ? 0.0 : found->second;
    }
    std::map<std::string, double> Times;
    bool Failed = false;
};

// Repetitions with a "min" statistic for the reporter above.
inline void KeepFastest(benchmark::internal::Benchmark* b, double minTime, int repetitions)
{
    b->Unit(benchmark::kMillisecond)->MinTime(minTime)->Repetitions(repetitions)->DisplayAggregatesOnly(true);
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

