// links: ambitone_exchange
//
// Exporting and importing a scheme package of 32 rows, each row's sample a
// 1 MiB 16-bit mono PCM WAV image (32 MiB in all), against the container
// and SQLite alone, measured in the same run.
//
// Export (the records and images written as the window and the tool write
// them) against writing the same content bytes through TPackFileStream.
// Import (reading and checking the package, then a Schemes row, 32 sounds
// and 32 SchemeData rows through the store's tables in one transaction)
// against reading the container's content plus inserting the 32 blobs with
// plain SQLite in one transaction. Each import's rows are deleted, untimed,
// before the next.
#include "exchange/package_exchange.h"
#include "store/database.h"
#include "store/library_tables.h"

#include "bench_args.h"
#include "fastest_run.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kRows = 32;
constexpr int kFrames = 524288; // 1 MiB of 16-bit mono samples

std::filesystem::path Dir;
std::vector<std::vector<uint8_t>> Images;
std::vector<TSchemePackageEntry> Entries;
TSchemePackageHeader Header;
std::vector<uint8_t> Content; // what the export writes, as one block of bytes

std::vector<uint8_t> Tone(double pitch)
{
    const uint32_t rate = 22050, bytes = kFrames * 2;
    std::vector<uint8_t> image(44 + bytes);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(image.data() + at, &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(image.data() + at, &v, 2); };
    std::memcpy(image.data(), "RIFF", 4);
    put32(4, 36 + bytes);
    std::memcpy(image.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, rate);
    put32(28, rate * 2);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(image.data() + 36, "data", 4);
    put32(40, bytes);
    for (int i = 0; i < kFrames; ++i) {
        const auto s = static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * pitch * i / rate)));
        std::memcpy(image.data() + 44 + 2 * i, &s, 2);
    }
    return image;
}

void Prepare()
{
    for (int i = 0; i < 4; ++i)
        Images.push_back(Tone(110 + 55 * i));
    Header.Title = "Thirty-two tones";
    Header.LoopLength = 60;
    Header.EntryCount = kRows;
    uint8_t record[SchemePackageEntrySize];
    Content.resize(SchemePackageHeaderSize);
    EncodeSchemeHeader(Header, Content.data());
    for (int i = 0; i < kRows; ++i) {
        TSchemePackageEntry entry;
        entry.SampleName = "tone-" + std::to_string(i) + ".wav";
        entry.Freq = 50;
        entry.PatternSpeed = 1;
        entry.Image = Images[static_cast<size_t>(i) % Images.size()];
        EncodeSchemeEntry(entry, static_cast<int32_t>(entry.Image.size()), record);
        Content.insert(Content.end(), record, record + sizeof record);
        Content.insert(Content.end(), entry.Image.begin(), entry.Image.end());
        Entries.push_back(std::move(entry));
    }
}

void ExportPackage(benchmark::State& state)
{
    const std::string path = (Dir / "export.amx").string();
    for (auto _ : state)
        WriteSchemePackageFile(path, Header, Entries);
    state.counters["MB"] = static_cast<double>(Content.size()) / (1 << 20);
}

void WriteContainer(benchmark::State& state)
{
    const std::string path = (Dir / "plain.amx").string();
    for (auto _ : state) {
        TPackFileStream file(path, PackModeCreate, PackagePassword, PackageLevel, PackageGap);
        file.Write(Content.data(), Content.size());
        file.Close();
    }
}

void Exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        std::fprintf(stderr, "package_bench: %s\n", sqlite3_errmsg(db));
}

void ImportPackage(benchmark::State& state)
{
    TLibraryTables tables;
    tables.Open(Dir / "import");
    const std::string path = (Dir / "export.amx").string();
    WriteSchemePackageFile(path, Header, Entries);
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Exec(tables.Database.Handle(), "DELETE FROM schemes; DELETE FROM schemedata; DELETE FROM soundcatalog");
        for (TTable* table : {tables.tblSchemes.get(), tables.tblData.get(), tables.tblSounds.get()})
            table->Refresh();
        state.ResumeTiming();
        const std::vector<uint8_t> content = ReadPackageContent(path);
        const TSchemePackage package = ParseSchemePackage(content);
        rows = static_cast<int>(ImportSchemeIntoStore(tables, package).SoundNos.size());
    }
    if (rows != kRows)
        state.SkipWithError("the import did not add every row");
}

void ReadAndInsert(benchmark::State& state)
{
    const std::string path = (Dir / "export.amx").string();
    WriteSchemePackageFile(path, Header, Entries);
    TDatabase database;
    database.SetDirectory(Dir / "plain");
    CreateTables(database);
    sqlite3* db = database.Handle();
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (-1, ?, ?)", -1, &insert,
                       nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        Exec(db, "DELETE FROM soundcatalog");
        state.ResumeTiming();
        std::vector<uint8_t> content;
        {
            TPackFileStream file(path, PackModeReadOnly, PackagePassword, PackageLevel, PackageGap);
            content.reserve(file.Size());
            file.CopyTo([&](const uint8_t* data, size_t size) { content.insert(content.end(), data, data + size); });
        }
        Exec(db, "BEGIN");
        size_t at = SchemePackageHeaderSize;
        for (int i = 0; i < kRows; ++i) {
            int32_t size = 0;
            std::memcpy(&size, content.data() + at + 252, 4);
            at += SchemePackageEntrySize;
            sqlite3_bind_text(insert, 1, "tone.wav", -1, SQLITE_STATIC);
            sqlite3_bind_blob(insert, 2, content.data() + at, size, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            at += static_cast<size_t>(size);
        }
        Exec(db, "COMMIT");
    }
    sqlite3_finalize(insert);
}

} // namespace

int main(int argc, char** argv)
{
    Dir = std::filesystem::temp_directory_path() / ("package_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir / "import");
    std::filesystem::create_directories(Dir / "plain");
    Prepare();
    if (!InitializeInterleaved(argc, argv))
        return 1;
    using TRun = void (*)(benchmark::State&);
    const std::pair<const char*, TRun> runs[] = {{"export/package", ExportPackage},
                                                 {"export/container", WriteContainer},
                                                 {"import/package", ImportPackage},
                                                 {"import/read-and-insert", ReadAndInsert}};
    for (const auto& [name, run] : runs)
        KeepFastest(benchmark::RegisterBenchmark(name, run), 0.3, 5);
    TFastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
    const double exported = reporter.Time("export/package"), written = reporter.Time("export/container"),
                 imported = reporter.Time("import/package"), read = reporter.Time("import/read-and-insert");
    std::printf("\npackage: %d rows, %.1f MB of content\n", kRows, static_cast<double>(Content.size()) / (1 << 20));
    std::printf("export_ms=%.3f container_write_ms=%.3f import_ms=%.3f read_and_insert_ms=%.3f\n", exported, written,
                imported, read);
    if (written > 0)
        std::printf("export_vs_container_ratio=%.2f (target <= 1.2)\n", exported / written);
    if (read > 0)
        std::printf("import_vs_read_and_insert_ratio=%.2f (target <= 1.3)\n", imported / read);
    return reporter.Failed ? 1 : 0;
}
