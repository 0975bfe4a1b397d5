#pragma once
// Schemes and categories between the record store and package files: what
// the window and the tool both do, so that both write the same bytes and
// import the same way. An import adds everything in one store transaction:
// a failure anywhere leaves every table as it was (the tables are refreshed
// from the file), and the caller hears of it.

#include "base/clock.h"
#include "package/category_package.h"
#include "package/scheme_package.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TLibraryTables;

// Told before each entry or node is written or added: its index and name.
using TExchangeProgress = std::function<void(int index, const std::string& name)>;

// ----- schemes

// The scheme's RecordNo; the first by RecordNo when titles repeat; 0 when
// no scheme has the title.
int32_t FindSchemeByTitle(TLibraryTables& tables, const std::string& title);

// A scheme as the window would export it right after opening it: its rows
// in SchemeData order, rows whose sound is gone left out, Freq through the
// displayed period, coordinates through single precision. The images are
// the sounds' blobs; the entries view them. Only reads the store.
struct TStoredScheme {
    TSchemePackageHeader Header;
    std::vector<TSchemePackageEntry> Entries;
    std::vector<std::vector<uint8_t>> Images;
};
TStoredScheme ReadStoredScheme(TLibraryTables& tables, int32_t schemeNo);

// Writes the package; nothing is at `path` unless the whole file was
// written and closed.
void WriteSchemePackageFile(const std::string& path, const TSchemePackageHeader& header,
                            const std::vector<TSchemePackageEntry>& entries, const TExchangeProgress& progress = {},
                            IClock& clock = DefaultClock());

struct TImportedScheme {
    int32_t SchemeNo = 0;
    std::vector<int32_t> SoundNos; // per entry, its new SoundCatalog row
};
// A new Schemes row (the package's title and loop length), per entry a new
// sound under "Unfiled" (Category -1) and a SchemeData row. The Schemes
// cursor is left on the new scheme.
TImportedScheme ImportSchemeIntoStore(TLibraryTables& tables, const TSchemePackage& package,
                                      const TExchangeProgress& progress = {});

// ----- categories

// One node of a category to export, depth first: the category itself, then
// each child followed by what belongs to it.
struct TCategoryExportNode {
    std::string Name;
    int32_t ChildCount = 0;
    bool IsCategory = true;
    int32_t SoundNo = 0; // a sample's SoundCatalog row
};

// The SoundCategory row that `path` names by its names from the top level,
// joined by "/" ("Nature/Birds"); the first by RecordNo where names repeat;
// 0 when there is none.
int32_t FindCategoryPath(TLibraryTables& tables, const std::string& path);
// The category and everything below it in the order a freshly built tree
// shows them: sub-categories first, then samples, each in RecordNo order.
std::vector<TCategoryExportNode> ReadStoredCategory(TLibraryTables& tables, int32_t categoryNo);
// The Sound blob of a SoundCatalog row (empty when it has none).
std::vector<uint8_t> ReadSoundBlob(TLibraryTables& tables, int32_t soundNo);

// Writes the package (NodeTotal: every node but the first); nothing is at
// `path` unless the whole file was written and closed.
void WriteCategoryPackageFile(const std::string& path, const std::vector<TCategoryExportNode>& nodes,
                              const std::function<std::vector<uint8_t>(int32_t soundNo)>& blobOf,
                              const TExchangeProgress& progress = {}, IClock& clock = DefaultClock());

// The package's category as a new top-level category (ParentNo 0) with its
// sub-categories and samples filed under their imported parents. RecordNos
// holds, per package node, its new SoundCategory or SoundCatalog row.
struct TImportedCategory {
    std::vector<int32_t> RecordNos;
};
TImportedCategory ImportCategoryIntoStore(TLibraryTables& tables, const TCategoryPackage& package,
                                          const TExchangeProgress& progress = {});
