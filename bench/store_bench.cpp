// Record store speed, each figure against a baseline measured in the same
// run: walking a filtered table against a plain prepared SELECT, the number
// of statements a filter change costs, and opening and walking a catalogue
// whose rows carry 200 KB sounds against one whose sounds are empty.

#include "store/table.h"

#include "bench_args.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int CatalogRows = 100000;
constexpr int BlobRows = 1000;
constexpr int BlobBytes = 200 * 1024;

// One data directory with its own Ambitone.db.
struct TBenchStore {
    std::filesystem::path Dir;
    TDatabase Db;

    explicit TBenchStore(const std::filesystem::path& root, const std::string& name)
    {
        Dir = root / name;
        std::filesystem::create_directories(Dir);
        Db.SetDirectory(Dir);
        CreateTables(Db);
    }

    // Bulk rows straight through SQLite: the figures are about reading.
    void FillCatalog(int rows, int blobBytes)
    {
        sqlite3* db = Db.Handle();
        Db.Exec("BEGIN");
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (?, ?, ?)", -1, &stmt, nullptr);
        char name[32];
        for (int i = 0; i < rows; ++i) {
            std::snprintf(name, sizeof name, "ambience-%06d.wav", i % 1000000);
            sqlite3_bind_int(stmt, 1, (i * 7) % 10);
            sqlite3_bind_text(stmt, 2, name, -1, SQLITE_TRANSIENT);
            sqlite3_bind_zeroblob(stmt, 3, blobBytes);
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        Db.Exec("COMMIT");
        Db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
};

TBenchStore* Catalog = nullptr;    // 100,000 rows, empty sounds
TBenchStore* BigSounds = nullptr;  // 1,000 rows of 200 KB
TBenchStore* NoSounds = nullptr;   // 1,000 rows, empty sounds

// Walks every visible row, reading what the catalogue window shows.
int64_t WalkTable(TTable& table, TField& category, TField& name)
{
    int64_t checksum = 0;
    for (table.First(); !table.Eof(); table.Next()) {
        std::string text = name.AsString();
        checksum += category.AsInteger() + static_cast<int64_t>(text.size());
        benchmark::DoNotOptimize(text.data());
    }
    return checksum;
}

void StoreFilterWalk(benchmark::State& state, bool filtered)
{
    TTable sounds(Catalog->Db, "SoundCatalog");
    sounds.SetFilter("Category = 3");
    sounds.Open();
    TField& category = sounds.FieldByName("Category");
    TField& name = sounds.FieldByName("Name");
    int64_t rows = 0;
    for (auto _ : state) {
        sounds.SetFiltered(filtered); // re-reads the visible set: one query
        benchmark::DoNotOptimize(WalkTable(sounds, category, name));
        rows = sounds.RecordCount();
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.iterations() * rows);
}

void PlainSelect(benchmark::State& state, bool filtered)
{
    sqlite3* db = Catalog->Db.Handle();
    const char* sql = filtered ? "SELECT RecordNo, Category, Name FROM soundcatalog WHERE Category = ? ORDER BY RecordNo"
                               : "SELECT RecordNo, Category, Name FROM soundcatalog ORDER BY RecordNo";
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    int64_t rows = 0;
    for (auto _ : state) {
        if (filtered)
            sqlite3_bind_int(stmt, 1, 3);
        int64_t checksum = 0;
        rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const int64_t recordNo = sqlite3_column_int64(stmt, 0);
            const int category = sqlite3_column_int(stmt, 1);
            std::string text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)),
                             static_cast<size_t>(sqlite3_column_bytes(stmt, 2)));
            checksum += recordNo + category + static_cast<int64_t>(text.size());
            benchmark::DoNotOptimize(text.data());
            ++rows;
        }
        sqlite3_reset(stmt);
        benchmark::DoNotOptimize(checksum);
    }
    sqlite3_finalize(stmt);
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.iterations() * rows);
}

int CountStatement(unsigned, void* context, void*, void*)
{
    ++*static_cast<int64_t*>(context);
    return 0;
}

void FilterChangeStatements(benchmark::State& state)
{
    TTable sounds(Catalog->Db, "SoundCatalog");
    sounds.SetFiltered(true);
    sounds.Open();
    int64_t statements = 0;
    sqlite3_trace_v2(Catalog->Db.Handle(), SQLITE_TRACE_STMT, &CountStatement, &statements);
    int64_t changes = 0;
    for (auto _ : state) {
        sounds.SetFilter(changes % 2 ? "Category = 3" : "Category = 4");
        ++changes;
    }
    sqlite3_trace_v2(Catalog->Db.Handle(), 0, nullptr, nullptr);
    state.counters["statements_per_change"] = static_cast<double>(statements) / static_cast<double>(changes);
}

void OpenAndWalk(benchmark::State& state, TBenchStore* store)
{
    int64_t rows = 0;
    for (auto _ : state) {
        TTable sounds(store->Db, "SoundCatalog");
        sounds.Open();
        benchmark::DoNotOptimize(WalkTable(sounds, sounds.FieldByName("Category"), sounds.FieldByName("Name")));
        rows = sounds.RecordCount();
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// Keeps each benchmark's fastest repetition so that the ratios can be
// printed at the end; the fastest is the one least disturbed by whatever
// else the machine is doing.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.aggregate_name != "min")
                continue;
            Times[run.run_name.function_name] = run.GetAdjustedRealTime();
            for (const auto& counter : run.counters)
                Counters[run.run_name.function_name + "." + counter.first] = counter.second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const char* label, const std::string& measured, const std::string& baseline, double target) const
    {
        auto a = Times.find(measured), b = Times.find(baseline);
        if (a == Times.end() || b == Times.end() || b->second <= 0)
            return;
        const double ratio = a->second / b->second;
        std::printf("ratio %s = %.2f (target <= %.1f)\n", label, ratio, target);
    }

    std::map<std::string, double> Times, Counters;
};

void RegisterBenchmarks()
{
    // The sub-millisecond open-and-walk cases are the noisiest: more tries.
    auto setUp = [](benchmark::internal::Benchmark* b, int repetitions = 5) {
        b->Unit(benchmark::kMillisecond)->MinTime(0.2)->Repetitions(repetitions)->DisplayAggregatesOnly(true);
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    };
    setUp(benchmark::RegisterBenchmark("walk/filter-on/store", StoreFilterWalk, true));
    setUp(benchmark::RegisterBenchmark("walk/filter-on/plain-select", PlainSelect, true));
    setUp(benchmark::RegisterBenchmark("walk/filter-off/store", StoreFilterWalk, false));
    setUp(benchmark::RegisterBenchmark("walk/filter-off/plain-select", PlainSelect, false));
    setUp(benchmark::RegisterBenchmark("filter-change/statements", FilterChangeStatements));
    setUp(benchmark::RegisterBenchmark("open-walk/200KB-blobs", OpenAndWalk, BigSounds), 9);
    setUp(benchmark::RegisterBenchmark("open-walk/empty-blobs", OpenAndWalk, NoSounds), 9);
}

void PrintRatios(const TRatioReporter& reporter)
{
    std::printf("\n");
    reporter.PrintRatio("filter-walk / plain-select (Category = 3)", "walk/filter-on/store", "walk/filter-on/plain-select",
                        2.0);
    reporter.PrintRatio("filter-walk / plain-select (filtering off)", "walk/filter-off/store",
                        "walk/filter-off/plain-select", 2.0);
    reporter.PrintRatio("open-walk 200 MB of blobs / empty blobs", "open-walk/200KB-blobs", "open-walk/empty-blobs", 1.2);
    auto count = reporter.Counters.find("filter-change/statements.statements_per_change");
    if (count != reporter.Counters.end())
        std::printf("statements per filter change = %.2f (target 1)\n", count->second);
}

int Run(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv))
        return 1;
    RegisterBenchmarks();
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ambitone_store_bench_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path root = pattern;
    int status = 0;
    {
        TBenchStore catalog(root, "catalog"), bigSounds(root, "big"), noSounds(root, "empty");
        catalog.FillCatalog(CatalogRows, 0);
        bigSounds.FillCatalog(BlobRows, BlobBytes);
        noSounds.FillCatalog(BlobRows, 0);
        Catalog = &catalog;
        BigSounds = &bigSounds;
        NoSounds = &noSounds;
        status = Run(argc, argv);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
}
