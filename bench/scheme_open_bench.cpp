// links: ambitone_window_test_support Qt6::Widgets
//
// Opening and leaving a scheme of 64 rows in the main window, each row's
// sample a 1 MB 16-bit mono PCM WAV image (64 MB in all), against plain
// SQLite on the same database file, measured in the same run.
//
// Opening (LoadScheme on a panel with no rows built, so that nothing is
// written back first) against reading the 64 Sound blobs by RecordNo, each
// copied into memory: once with SQLite's defaults, once mapping the file as
// the store's own connection does. Leaving (UnloadScheme, which writes every
// row back) against 64 single-row updates of SchemeData, each in a
// transaction of its own. Before each leaving every row's slider has moved,
// and each plain round writes values other than the last round's, so that
// both sides write changed rows.
//
// What the leaving leaves to the event loop (hiding the controls no next
// scheme took) is timed too, as leave-settled.
#include "app/frm_main.h"
#include "support/wave_image.h"
#include "scheme/sample_slot.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "store/database.h"
#include "store/library_tables.h"

#include "bench_args.h"
#include "window_bench.h"

#include <QItemSelectionModel>
#include <QListWidget>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 64;
constexpr int kFrames = 524288; // 1 MiB of 16-bit mono samples at 22050 Hz
constexpr uint32_t kRate = 22050;

std::filesystem::path DbFile;
TfrmMain* Form = nullptr;
std::vector<int64_t> SoundNos;   // the SoundCatalog rows, in the scheme's order
std::vector<int64_t> DataNos;    // the SchemeData rows
std::vector<size_t> SoundSizes;  // each image's length in bytes
size_t TotalSoundBytes = 0;

bool Step(sqlite3* db, sqlite3_stmt* stmt)
{
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc == SQLITE_DONE)
        return true;
    std::fprintf(stderr, "scheme_open_bench: %s\n", sqlite3_errmsg(db));
    return false;
}

// One scheme, its sounds and its rows, written through SQLite in one
// transaction into tables the store itself made.
bool FillScheme(const std::filesystem::path& dataDir)
{
    TDatabase db;
    db.SetDirectory(dataDir);
    CreateTables(db);
    sqlite3* handle = db.Handle();
    db.Exec("BEGIN");

    sqlite3_stmt* scheme = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO schemes (Name, LoopPeriod, Volume) VALUES ('Sixty-four tones', 60, 0)", -1,
                       &scheme, nullptr);
    if (!Step(handle, scheme))
        return false;
    sqlite3_finalize(scheme);
    const int64_t schemeNo = sqlite3_last_insert_rowid(handle);

    sqlite3_stmt* sound = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (-1, ?, ?)", -1, &sound,
                       nullptr);
    // Four tones, each stored 16 times: making a tone costs far more than
    // storing it, and what the rows load does not depend on the pitch.
    std::vector<TBytes> tones;
    for (int i = 0; i < 4; ++i)
        tones.push_back(ToneWave(kFrames, 110 + 55 * i, kRate));
    char name[32];
    for (int i = 0; i < kRows; ++i) {
        const TBytes& image = tones[static_cast<size_t>(i) % tones.size()];
        std::snprintf(name, sizeof name, "tone-%02d.wav", i);
        sqlite3_bind_text(sound, 1, name, -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(sound, 2, image.data(), static_cast<int>(image.size()), SQLITE_STATIC);
        if (!Step(handle, sound))
            return false;
        SoundNos.push_back(sqlite3_last_insert_rowid(handle));
        SoundSizes.push_back(image.size());
        TotalSoundBytes += image.size();
    }
    sqlite3_finalize(sound);

    sqlite3_stmt* row = nullptr;
    sqlite3_prepare_v2(handle,
                       "INSERT INTO schemedata (SchemeNo, SoundNo, Freq, Randomize, CoordX, CoordY, CoordZ, Pattern, "
                       "PatternSpeed, Repeat, RepeatPatten, ReversePattern) VALUES (?, ?, 50, 0, 0, 0, 0, 0, 1, 0, 0, 0)",
                       -1, &row, nullptr);
    for (int i = 0; i < kRows; ++i) {
        sqlite3_bind_int64(row, 1, schemeNo);
        sqlite3_bind_int64(row, 2, SoundNos[static_cast<size_t>(i)]);
        if (!Step(handle, row))
            return false;
        DataNos.push_back(sqlite3_last_insert_rowid(handle));
    }
    sqlite3_finalize(row);
    db.Exec("COMMIT");
    db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    db.Disconnect();
    return true;
}

// The benchmark must never time a scheme that did not open whole.
bool CheckRows(int expected, const char* when)
{
    const int rows = Form->SchemePanel().RowCount();
    if (rows == expected)
        return true;
    std::fprintf(stderr, "scheme_open_bench: %d rows built %s; expected %d\n", rows, when, expected);
    return false;
}

// The Sound blobs of the scheme, each read by its RecordNo and copied into
// memory, as the rows' waves hold them. The copies are freed outside the
// timing, as the rows are by the untimed leaving in Open below.
void ReadBlobs(benchmark::State& state, bool mapped)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(DbFile.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_close(db);
        return;
    }
    if (mapped)
        sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT Sound FROM soundcatalog WHERE RecordNo = ?", -1, &select, nullptr);
    std::vector<std::vector<uint8_t>> copies;
    copies.reserve(kRows);
    size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copies.clear();
        state.ResumeTiming();
        bytes = 0;
        for (size_t i = 0; i < SoundNos.size(); ++i) {
            sqlite3_bind_int64(select, 1, SoundNos[i]);
            if (sqlite3_step(select) != SQLITE_ROW) {
                sqlite3_reset(select);
                break;
            }
            const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(select, 0));
            const auto size = static_cast<size_t>(sqlite3_column_bytes(select, 0));
            copies.emplace_back(data, data + size);
            bytes += size == SoundSizes[i] ? size : 0;
            sqlite3_reset(select);
        }
        benchmark::DoNotOptimize(copies.data());
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    if (bytes != TotalSoundBytes)
        state.SkipWithError("the plain reads did not copy every blob whole");
    state.counters["MB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Deferred layout and painting run between the timed steps, so that each
// step starts from a settled window.
void Settle()
{
    QCoreApplication::processEvents();
}

void Open(benchmark::State& state)
{
    TSchemePanel& panel = Form->SchemePanel();
    for (auto _ : state) {
        state.PauseTiming();
        panel.UnloadScheme();
        Settle();
        if (!CheckRows(0, "after leaving")) {
            state.SkipWithError("the scheme's rows outlived the leaving");
            break;
        }
        state.ResumeTiming();
        panel.LoadScheme();
        if (!CheckRows(kRows, "after opening")) {
            state.SkipWithError("the scheme did not open whole");
            break;
        }
    }
    state.counters["rows"] = panel.RowCount();
}

// The slider positions a leaving writes, a different one each round.
int SliderRound = 0;

// Opens the scheme and moves every row's slider, as a user would, so that
// the leaving that follows has changes to write.
bool OpenAndMoveSliders(benchmark::State& state)
{
    TSchemePanel& panel = Form->SchemePanel();
    panel.LoadScheme();
    Settle();
    if (!CheckRows(kRows, "after opening")) {
        state.SkipWithError("the scheme did not open whole");
        return false;
    }
    const int position = ++SliderRound % 2 == 0 ? 40 : 60;
    for (int i = 0; i < kRows; ++i)
        panel.Slot(i).FreqSlider->setValue(position);
    return true;
}

// settled: the events the leaving posted run inside the timing.
void Leave(benchmark::State& state, bool settled)
{
    TSchemePanel& panel = Form->SchemePanel();
    for (auto _ : state) {
        state.PauseTiming();
        if (!OpenAndMoveSliders(state))
            break;
        state.ResumeTiming();
        panel.UnloadScheme();
        if (settled)
            Settle();
        if (!CheckRows(0, "after leaving")) {
            state.SkipWithError("the scheme's rows outlived the leaving");
            break;
        }
    }
}

// The scheme's rows written back one by one on a connection of its own,
// each update its own transaction, with the values the rows already hold,
// as the window's leaving writes them. The connection gets the store's journal
// (write-ahead log), sync level and file mapping, so that both sides pay
// the same price per commit.
void Updates(benchmark::State& state)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(DbFile.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_close(db);
        return;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    sqlite3_stmt* begin = nullptr;
    sqlite3_stmt* update = nullptr;
    sqlite3_stmt* commit = nullptr;
    sqlite3_prepare_v2(db, "BEGIN", -1, &begin, nullptr);
    sqlite3_prepare_v2(db,
                       "UPDATE schemedata SET Freq=?, Randomize=?, CoordX=?, CoordY=?, CoordZ=?, Pattern=?, "
                       "PatternSpeed=?, Repeat=?, RepeatPatten=?, ReversePattern=? WHERE RecordNo=?",
                       -1, &update, nullptr);
    sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
    int updated = 0;
    int round = 0;
    for (auto _ : state) {
        updated = 0;
        const int freq = ++round % 2 == 0 ? 40 : 60;
        for (int64_t recordNo : DataNos) {
            if (!Step(db, begin))
                break;
            sqlite3_bind_int(update, 1, freq);
            sqlite3_bind_int(update, 2, 0);
            sqlite3_bind_double(update, 3, 0.0);
            sqlite3_bind_double(update, 4, 0.0);
            sqlite3_bind_double(update, 5, 0.0);
            sqlite3_bind_int(update, 6, 0);
            sqlite3_bind_int(update, 7, 1);
            sqlite3_bind_int(update, 8, 0);
            sqlite3_bind_int(update, 9, 0);
            sqlite3_bind_int(update, 10, 0);
            sqlite3_bind_int64(update, 11, recordNo);
            const bool stepped = Step(db, update);
            updated += stepped ? sqlite3_changes(db) : 0;
            if (!Step(db, commit) || !stepped)
                break;
        }
    }
    sqlite3_finalize(begin);
    sqlite3_finalize(update);
    sqlite3_finalize(commit);
    sqlite3_close(db);
    if (updated != kRows)
        state.SkipWithError("the plain updates did not write every row");
    state.counters["rows"] = updated;
}

void RegisterBenchmarks()
{
    // Short minimum times keep the whole program well under a minute. Each
    // timed leaving costs an untimed opening many times its length, so it
    // gets the shortest: a few iterations per repetition.
    auto setUp = [](benchmark::internal::Benchmark* b, double minTime) { KeepFastest(b, minTime, 7); };
    setUp(benchmark::RegisterBenchmark("read/plain-sqlite", ReadBlobs, false), 0.1);
    setUp(benchmark::RegisterBenchmark("read/plain-sqlite-mapped", ReadBlobs, true), 0.1);
    setUp(benchmark::RegisterBenchmark("scheme/open", Open), 0.1);
    setUp(benchmark::RegisterBenchmark("scheme/leave", Leave, false), 0.015);
    setUp(benchmark::RegisterBenchmark("scheme/leave-settled", Leave, true), 0.015);
    setUp(benchmark::RegisterBenchmark("update/plain-sqlite", Updates), 0.05);
}

void PrintFigures(const TFastestRunReporter& reporter)
{
    auto time = [&](const char* name) { return reporter.Time(name); };
    const double read = time("read/plain-sqlite"), mapped = time("read/plain-sqlite-mapped"),
                 open = time("scheme/open"), leave = time("scheme/leave"), updates = time("update/plain-sqlite"),
                 settled = time("scheme/leave-settled");
    std::printf("\nscheme: %d rows, %.1f MB of samples\n", kRows,
                static_cast<double>(TotalSoundBytes) / (1024.0 * 1024.0));
    std::printf("open_ms=%.3f read_blobs_ms=%.3f read_blobs_mapped_ms=%.3f leave_ms=%.3f leave_settled_ms=%.3f "
                "updates_ms=%.3f\n",
                open, read, mapped, leave, settled, updates);
    if (read > 0 && open > 0)
        std::printf("open_vs_read_blobs_ratio=%.2f (target <= 1.5)\n", open / read);
    if (mapped > 0 && open > 0)
        std::printf("open_vs_mapped_read_blobs_ratio=%.2f (target <= 1.5)\n", open / mapped);
    if (updates > 0 && leave > 0)
        std::printf("leave_vs_updates_ratio=%.2f (target <= 2)\n", leave / updates);
    if (updates > 0 && settled > 0)
        std::printf("leave_settled_vs_updates_ratio=%.2f\n", settled / updates);
}

int Run(TfrmMain& form, int argc, char** argv)
{
    Form = &form;
    // Opening the scheme the way the user does, once and untimed.
    form.SchemeListPanel().SchemeList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    Settle();
    if (form.SchemeListPanel().OpenSchemeIndex() != 0 || !CheckRows(kRows, "after selecting the scheme"))
        return 1;
    // How much one leaving adds to the write-ahead log: SQLite writes no
    // page whose bytes an update leaves as they were, so rows written back
    // unchanged cost a commit and nothing more, on both sides.
    std::error_code ignored;
    const std::filesystem::path log = DbFile.string() + "-wal";
    const auto logBefore = std::filesystem::file_size(log, ignored);
    form.SchemePanel().UnloadScheme();
    const auto logAfter = std::filesystem::file_size(log, ignored);
    form.SchemePanel().LoadScheme();
    Settle();
    if (!CheckRows(kRows, "after re-opening the scheme"))
        return 1;
    std::printf("leave_log_growth_bytes=%lld\n",
                static_cast<long long>(logAfter) - static_cast<long long>(logBefore));
    if (!InitializeInterleaved(argc, argv))
        return 1;
    RegisterBenchmarks();
    TFastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintFigures(reporter);
    if (reporter.Failed)
        return 1;
    // Whatever the last run left, the scheme must still open whole.
    form.SchemePanel().LoadScheme();
    return CheckRows(kRows, "after the benchmarks") ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmark(
        "scheme_open_bench", argc, argv,
        [](const std::filesystem::path& dataDir) {
            DbFile = dataDir / TDatabase::FileName;
            return FillScheme(dataDir);
        },
        [&](TfrmMain& form) { return Run(form, argc, argv); });
}
