// links: ambitone_window_test_support Qt6::Widgets
//
// Building the catalogue tree of the main window from 10,000 samples in 500
// categories (a forest nested up to five deep), against reading the same
// rows' RecordNo, Category or ParentNo and Name with one plain SQLite query
// per table on the same database file, measured in the same run. Every
// sample carries a 2 KB sound, so that the pages a walk must cross hold real
// blobs, which the build never reads.
//
// Two figures against the plain queries: the build alone, on tables already
// open (as at start-up, where the tables are opened just before it), and
// closing and re-opening both tables plus the build, which reads the rows
// from the database again. The re-opening is also timed on its own.
#include "app/frm_main.h"
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "store/library_tables.h"
#include "store/table.h"

#include "bench_args.h"
#include "window_bench.h"

#include <QTreeWidgetItem>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRoots = 100;
constexpr int kPerRoot = 5; // 500 categories
constexpr int kSamples = 10000;
constexpr int kSoundBytes = 2048;

// The parent of each of a root's five categories, by its place in the group
// (-1: the root itself). Four shapes, from a chain five deep to a flat fan.
constexpr std::array<std::array<int, kPerRoot>, 4> kShapes{{
    {-1, 0, 1, 2, 3}, // chain: depth 5
    {-1, 0, 0, 0, 0}, // fan: depth 2
    {-1, 0, 0, 1, 3}, // depth 4
    {-1, 0, 1, 0, 3}, // two branches: depth 3
}};

// What the tree must show, counted while the rows are written.
struct TExpected {
    int Categories = 0;
    int FiledSamples = 0;
    int UnfiledSamples = 0;
    int Orphans = 0;
    int Nodes() const { return 1 + Categories + FiledSamples + UnfiledSamples; } // 1: "Unfiled"
};

std::filesystem::path DbFile;
TfrmMain* Form = nullptr;
TExpected Expected;

// Bulk rows straight through SQLite in one transaction. Categories go in
// level by level across the roots, so that the rows of one parent are
// spread over the table rather than adjacent.
TExpected FillCatalogue(const std::filesystem::path& dataDir)
{
    TExpected expected;
    TDatabase db;
    db.SetDirectory(dataDir);
    CreateTables(db);
    sqlite3* handle = db.Handle();
    db.Exec("BEGIN");

    sqlite3_stmt* category = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO soundcategory (ParentNo, Name) VALUES (?, ?)", -1, &category, nullptr);
    std::vector<std::array<int64_t, kPerRoot>> recordNos(kRoots);
    char name[48];
    for (int place = 0; place < kPerRoot; ++place) {
        for (int root = 0; root < kRoots; ++root) {
            const int parentPlace = kShapes[root % kShapes.size()][place];
            std::snprintf(name, sizeof name, "Category %03d.%d", root, place);
            sqlite3_bind_int64(category, 1, parentPlace < 0 ? 0 : recordNos[root][parentPlace]);
            sqlite3_bind_text(category, 2, name, -1, SQLITE_TRANSIENT);
            sqlite3_step(category);
            sqlite3_reset(category);
            recordNos[root][place] = sqlite3_last_insert_rowid(handle);
            ++expected.Categories;
        }
    }
    sqlite3_finalize(category);

    std::vector<uint8_t> sound(kSoundBytes);
    for (size_t i = 0; i < sound.size(); ++i)
        sound[i] = static_cast<uint8_t>(i * 37 + 11);
    sqlite3_stmt* sample = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (?, ?, ?)", -1, &sample,
                       nullptr);
    for (int i = 0; i < kSamples; ++i) {
        int64_t categoryNo;
        if (i % 25 == 0) {
            categoryNo = -1;
            ++expected.UnfiledSamples;
        } else if (i % 100 == 1) {
            categoryNo = i % 200 == 1 ? 0 : 100000 + i; // no such category
            ++expected.Orphans;
        } else {
            const int spread = (i * 7919) % (kRoots * kPerRoot);
            categoryNo = recordNos[spread % kRoots][spread / kRoots];
            ++expected.FiledSamples;
        }
        std::snprintf(name, sizeof name, "ambience-%05d.wav", i);
        sqlite3_bind_int64(sample, 1, categoryNo);
        sqlite3_bind_text(sample, 2, name, -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(sample, 3, sound.data(), static_cast<int>(sound.size()), SQLITE_STATIC);
        sqlite3_step(sample);
        sqlite3_reset(sample);
    }
    sqlite3_finalize(sample);
    db.Exec("COMMIT");
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    db.Disconnect();
    return expected;
}

struct TTreeShape {
    int Nodes = 0;
    int CategoryDepth = 0;
    int UnfiledChildren = 0;
};

void Walk(const QTreeWidgetItem* node, int depth, TTreeShape& shape)
{
    ++shape.Nodes;
    const TCatalogNodeData* data = CatalogNodeData(node);
    if (data && data->IsCategory)
        shape.CategoryDepth = std::max(shape.CategoryDepth, depth);
    for (int i = 0; i < node->childCount(); ++i)
        Walk(node->child(i), depth + 1, shape);
}

// The benchmark must never time an empty or partial build.
bool CheckTree(const TfrmMain& form, const char* when)
{
    TTreeShape shape;
    for (int i = 0; i < form.CatalogPanel().SoundTree->topLevelItemCount(); ++i)
        Walk(form.CatalogPanel().SoundTree->topLevelItem(i), 1, shape);
    shape.UnfiledChildren = form.CatalogPanel().UnfiledNode() ? form.CatalogPanel().UnfiledNode()->childCount() : -1;
    if (shape.Nodes == Expected.Nodes() && shape.CategoryDepth == 5 &&
        shape.UnfiledChildren == Expected.UnfiledSamples)
        return true;
    std::fprintf(stderr,
                 "catalog_tree_bench: the tree %s has %d nodes, categories %d deep and %d unfiled samples; "
                 "expected %d nodes, 5 deep and %d unfiled\n",
                 when, shape.Nodes, shape.CategoryDepth, shape.UnfiledChildren, Expected.Nodes(),
                 Expected.UnfiledSamples);
    return false;
}

// The rows the build needs, read with one query per table on a connection
// of its own: with SQLite's defaults, or mapping the file as the store's own
// connection does (the fairest reference for the read the store makes).
void PlainQueries(benchmark::State& state, bool mapped)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(DbFile.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_close(db);
        return;
    }
    if (mapped)
        sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    sqlite3_stmt* categories = nullptr;
    sqlite3_stmt* samples = nullptr;
    sqlite3_prepare_v2(db, "SELECT RecordNo, ParentNo, Name FROM soundcategory", -1, &categories, nullptr);
    sqlite3_prepare_v2(db, "SELECT RecordNo, Category, Name FROM soundcatalog", -1, &samples, nullptr);
    int64_t rows = 0;
    for (auto _ : state) {
        int64_t checksum = 0;
        rows = 0;
        for (sqlite3_stmt* stmt : {categories, samples}) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const int64_t recordNo = sqlite3_column_int64(stmt, 0);
                const int parent = sqlite3_column_int(stmt, 1);
                std::string text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)),
                                 static_cast<size_t>(sqlite3_column_bytes(stmt, 2)));
                checksum += recordNo + parent + static_cast<int64_t>(text.size());
                benchmark::DoNotOptimize(text.data());
                ++rows;
            }
            sqlite3_reset(stmt);
        }
        benchmark::DoNotOptimize(checksum);
    }
    sqlite3_finalize(categories);
    sqlite3_finalize(samples);
    sqlite3_close(db);
    if (rows != Expected.Categories + kSamples)
        state.SkipWithError("the plain queries did not read every row");
    state.counters["rows"] = static_cast<double>(rows);
}

// Empties the tree outside the timing, so that each build starts from an
// empty view as the one at start-up does, and lets the view settle.
void EmptyTree(benchmark::State& state)
{
    state.PauseTiming();
    Form->CatalogPanel().SoundTree->clear();
    QCoreApplication::processEvents();
    state.ResumeTiming();
}

void TreeBuild(benchmark::State& state)
{
    for (auto _ : state) {
        EmptyTree(state);
        Form->CatalogPanel().BuildSoundTree();
    }
    state.counters["nodes"] = static_cast<double>(Expected.Nodes());
}

void ReopenTables()
{
    Form->Tables().tblCategory->Close();
    Form->Tables().tblCategory->Open();
    Form->Tables().tblSounds->Close();
    Form->Tables().tblSounds->Open();
}

void OpenAndBuild(benchmark::State& state)
{
    for (auto _ : state) {
        EmptyTree(state);
        ReopenTables();
        Form->CatalogPanel().BuildSoundTree();
    }
    state.counters["nodes"] = static_cast<double>(Expected.Nodes());
}

// The re-opening on its own, to tell the two parts of the figure above
// apart.
void Reopen(benchmark::State& state)
{
    for (auto _ : state)
        ReopenTables();
    state.counters["rows"] = static_cast<double>(Form->Tables().tblCategory->RecordCount() + Form->Tables().tblSounds->RecordCount());
}

void RegisterBenchmarks()
{
    auto setUp = [](benchmark::internal::Benchmark* b) { KeepFastest(b, 0.3, 9); };
    setUp(benchmark::RegisterBenchmark("query/plain-sqlite", PlainQueries, false));
    setUp(benchmark::RegisterBenchmark("query/plain-sqlite-mapped", PlainQueries, true));
    setUp(benchmark::RegisterBenchmark("tree/build", TreeBuild));
    setUp(benchmark::RegisterBenchmark("tree/open-and-build", OpenAndBuild));
    setUp(benchmark::RegisterBenchmark("tables/reopen", Reopen));
}

void PrintFigures(const TFastestRunReporter& reporter)
{
    auto time = [&](const char* name) { return reporter.Time(name); };
    const double query = time("query/plain-sqlite"), mapped = time("query/plain-sqlite-mapped"),
                 build = time("tree/build"), open = time("tree/open-and-build"), reopen = time("tables/reopen");
    std::printf("\ncatalogue: %d categories under %d roots, nested up to 5 deep; %d samples (%d filed, %d unfiled, "
                "%d orphans) of %d-byte sounds; %d tree nodes\n",
                Expected.Categories, kRoots, kSamples, Expected.FiledSamples, Expected.UnfiledSamples,
                Expected.Orphans, kSoundBytes, Expected.Nodes());
    std::printf("query_ms=%.3f\nquery_mapped_ms=%.3f\ntree_build_ms=%.3f\nopen_and_build_ms=%.3f\n"
                "reopen_tables_ms=%.3f\n",
                query, mapped, build, open, reopen);
    if (query <= 0 || mapped <= 0)
        return;
    std::printf("tree_build_vs_query_ratio=%.2f (target <= 1.5)\n", build / query);
    std::printf("open_and_build_vs_query_ratio=%.2f (target <= 1.5)\n", open / query);
    std::printf("reopen_tables_vs_query_ratio=%.2f\n", reopen / query);
    std::printf("tree_build_vs_mapped_query_ratio=%.2f (target <= 1.5)\n", build / mapped);
    std::printf("open_and_build_vs_mapped_query_ratio=%.2f (target <= 1.5)\n", open / mapped);
    std::printf("reopen_tables_vs_mapped_query_ratio=%.2f\n", reopen / mapped);
}

int Run(TfrmMain& form, int argc, char** argv)
{
    if (!CheckTree(form, "at start-up"))
        return 1;
    // Each timed step once, untimed, on its own result.
    form.CatalogPanel().BuildSoundTree();
    if (!CheckTree(form, "after a rebuild"))
        return 1;
    Form = &form;
    ReopenTables();
    form.CatalogPanel().BuildSoundTree();
    if (!CheckTree(form, "after re-opening the tables"))
        return 1;
    if (!InitializeInterleaved(argc, argv))
        return 1;
    RegisterBenchmarks();
    TFastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintFigures(reporter);
    // The last run may have left any tree; what the window shows must still
    // be the whole catalogue.
    return CheckTree(form, "after the benchmarks") ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmark(
        "catalog_tree_bench", argc, argv,
        [](const std::filesystem::path& dataDir) {
            Expected = FillCatalogue(dataDir);
            DbFile = dataDir / TDatabase::FileName;
            return true;
        },
        [&](TfrmMain& form) { return Run(form, argc, argv); });
}
