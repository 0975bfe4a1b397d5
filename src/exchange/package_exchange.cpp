#include "exchange/package_exchange.h"

#include "playback/playback_row.h"
#include "store/database.h"
#include "store/edit_scope.h"
#include "store/library_tables.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace {

// Puts a table's cursor back where it was, when that row is still there.
class TKeepCursor {
public:
    explicit TKeepCursor(TTable& table) : m_table(table)
    {
        if (!m_table.IsEmpty())
            m_bookmark = m_table.GetBookmark();
    }
    ~TKeepCursor()
    {
        try {
            if (m_bookmark.IsValid() && m_table.BookmarkValid(m_bookmark))
                m_table.GotoBookmark(m_bookmark);
        } catch (...) {
        }
    }
    TKeepCursor(const TKeepCursor&) = delete;
    TKeepCursor& operator=(const TKeepCursor&) = delete;

private:
    TTable& m_table;
    TBookmark m_bookmark;
};

// Runs `add` in one store transaction; on failure the given tables show
// again what the file holds, and the error goes on.
template <class TAdd>
auto InOneTransaction(TLibraryTables& tables, std::initializer_list<TTable*> touched, TAdd add)
{
    try {
        TStoreTransaction transaction(tables.Database);
        auto result = add();
        transaction.Commit();
        return result;
    } catch (...) {
        for (TTable* table : touched) {
            try {
                table->Refresh();
            } catch (...) {
            }
        }
        throw;
    }
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> names;
    std::string name;
    std::istringstream in(path);
    while (std::getline(in, name, '/'))
        names.push_back(name);
    return names;
}

} // namespace

// ----- schemes

int32_t FindSchemeByTitle(TLibraryTables& tables, const std::string& title)
{
    TTable& schemes = *tables.tblSchemes;
    const int name = schemes.ColumnIndex("Name");
    int64_t found = 0;
    schemes.ForEachRow([&](const TRowView& row) {
        const int64_t recordNo = row.Bookmark().RecordNo;
        if (row.Text(name) == title && (found == 0 || recordNo < found))
            found = recordNo;
    });
    return static_cast<int32_t>(found);
}

TStoredScheme ReadStoredScheme(TLibraryTables& tables, int32_t schemeNo)
{
    TTable& schemes = *tables.tblSchemes;
    TTable& data = *tables.tblData;
    TTable& sounds = *tables.tblSounds;
    TKeepCursor keepSchemes(schemes), keepSounds(sounds);
    schemes.GotoBookmark(TBookmark{schemeNo});
    TStoredScheme scheme;
    scheme.Header.Title = tables.tblSchemesName->AsString();
    scheme.Header.LoopLength = tables.tblSchemesLoopPeriod->AsInteger();
    const int loop = scheme.Header.LoopLength;

    const std::string filter = data.Filter();
    const bool filtered = data.Filtered();
    data.SetFilter("SchemeNo = " + std::to_string(schemeNo));
    data.SetFiltered(true);
    try {
        for (data.First(); !data.IsEmpty() && !data.Eof(); data.Next()) {
            const TBookmark sound{tables.tblDataSoundNo->AsInteger()};
            if (!sound.IsValid() || !sounds.BookmarkValid(sound))
                continue; // the window drops such a row when it opens the scheme
            sounds.GotoBookmark(sound);
            TSchemePackageEntry entry;
            entry.SampleName = tables.tblSoundsName->AsString();
            const int slider = SliderFromStoredFreq(tables.tblDataFreq->AsInteger());
            entry.Freq = StoredFreq(PeriodFromSlider(slider, loop), loop, slider);
            entry.Randomize = tables.tblDataRandomize->AsBoolean();
            entry.CoordX = static_cast<float>(tables.tblDataCoordX->AsFloat());
            entry.CoordY = static_cast<float>(tables.tblDataCoordY->AsFloat());
            entry.CoordZ = static_cast<float>(tables.tblDataCoordZ->AsFloat());
            entry.Repeat = static_cast<uint16_t>(tables.tblDataRepeat->AsInteger());
            entry.RepeatPatten = static_cast<uint16_t>(tables.tblDataRepeatPatten->AsInteger());
            entry.Pattern = tables.tblDataPattern->AsInteger();
            entry.PatternSpeed = tables.tblDataPatternSpeed->AsInteger();
            entry.ReversePattern = tables.tblDataReversePattern->AsBoolean();
            scheme.Entries.push_back(std::move(entry));
            scheme.Images.push_back(sounds.ReadBlob("Sound"));
        }
    } catch (...) {
        data.SetFilter(filter);
        data.SetFiltered(filtered);
        throw;
    }
    data.SetFilter(filter);
    data.SetFiltered(filtered);
    for (size_t i = 0; i < scheme.Entries.size(); ++i)
        scheme.Entries[i].Image = scheme.Images[i];
    scheme.Header.EntryCount = static_cast<int32_t>(scheme.Entries.size());
    return scheme;
}

void WriteSchemePackageFile(const std::string& path, const TSchemePackageHeader& header,
                            const std::vector<TSchemePackageEntry>& entries, const TExchangeProgress& progress,
                            IClock& clock)
{
    TSchemePackageWriter writer(path, clock);
    TSchemePackageHeader written = header;
    written.EntryCount = static_cast<int32_t>(entries.size());
    writer.WriteHeader(written);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (progress)
            progress(static_cast<int>(i), entries[i].SampleName);
        writer.WriteEntry(entries[i]);
    }
    writer.Close();
}

TImportedScheme ImportSchemeIntoStore(TLibraryTables& tables, const TSchemePackage& package,
                                      const TExchangeProgress& progress)
{
    TLibraryTables& t = tables;
    return InOneTransaction(tables, {t.tblSchemes.get(), t.tblData.get(), t.tblSounds.get()}, [&] {
        TImportedScheme imported;
        {
            TEditScope append(*t.tblSchemes, TEditScope::Append);
            t.tblSchemesName->SetAsString(package.Header.Title);
            t.tblSchemesLoopPeriod->SetAsInteger(package.Header.LoopLength);
            append.Post();
        }
        imported.SchemeNo = t.tblSchemesRecordNo->AsInteger();
        for (size_t i = 0; i < package.Entries.size(); ++i) {
            const TSchemePackageEntry& entry = package.Entries[i];
            if (progress)
                progress(static_cast<int>(i), entry.SampleName);
            {
                TEditScope append(*t.tblSounds, TEditScope::Append);
                t.tblSoundsName->SetAsString(entry.SampleName);
                t.tblSoundsCategory->SetAsInteger(-1);
                t.tblSounds->WriteBlob("Sound", std::vector<uint8_t>(entry.Image.begin(), entry.Image.end()));
                append.Post();
            }
            const int32_t soundNo = t.tblSoundsRecordNo->AsInteger();
            imported.SoundNos.push_back(soundNo);
            TEditScope append(*t.tblData, TEditScope::Append);
            t.tblDataSchemeNo->SetAsInteger(imported.SchemeNo);
            t.tblDataSoundNo->SetAsInteger(soundNo);
            t.tblDataRepeatPatten->SetAsInteger(entry.RepeatPatten);
            t.tblDataRepeat->SetAsInteger(entry.Repeat);
            // Widened from single precision.
            t.tblDataCoordZ->SetAsFloat(entry.CoordZ);
            t.tblDataCoordY->SetAsFloat(entry.CoordY);
            t.tblDataCoordX->SetAsFloat(entry.CoordX);
            t.tblDataRandomize->SetAsBoolean(entry.Randomize);
            t.tblDataFreq->SetAsInteger(entry.Freq);
            t.tblDataPattern->SetAsInteger(entry.Pattern);
            t.tblDataPatternSpeed->SetAsInteger(entry.PatternSpeed);
            t.tblDataReversePattern->SetAsBoolean(entry.ReversePattern);
            append.Post();
        }
        t.tblSchemes->GotoBookmark(TBookmark{imported.SchemeNo});
        return imported;
    });
}

// ----- categories

int32_t FindCategoryPath(TLibraryTables& tables, const std::string& path)
{
    TTable& categories = *tables.tblCategory;
    const int name = categories.ColumnIndex("Name"), parentNo = categories.ColumnIndex("ParentNo");
    struct TRow {
        int64_t RecordNo, ParentNo;
        std::string Name;
    };
    std::vector<TRow> rows;
    categories.ForEachRow([&](const TRowView& row) {
        rows.push_back({row.Bookmark().RecordNo, row.Integer(parentNo), std::string(row.Text(name))});
    });
    std::sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) { return a.RecordNo < b.RecordNo; });
    int64_t parent = 0;
    for (const std::string& part : SplitPath(path)) {
        const auto found = std::find_if(rows.begin(), rows.end(),
                                        [&](const TRow& row) { return row.ParentNo == parent && row.Name == part; });
        if (found == rows.end())
            return 0;
        parent = found->RecordNo;
    }
    return static_cast<int32_t>(parent);
}

std::vector<TCategoryExportNode> ReadStoredCategory(TLibraryTables& tables, int32_t categoryNo)
{
    struct TRow {
        int64_t RecordNo, Parent;
        std::string Name;
    };
    auto read = [](TTable& table, const char* parentColumn) {
        std::vector<TRow> rows;
        const int name = table.ColumnIndex("Name"), parent = table.ColumnIndex(parentColumn);
        table.ForEachRow([&](const TRowView& row) {
            rows.push_back({row.Bookmark().RecordNo, row.Integer(parent), std::string(row.Text(name))});
        });
        std::sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) { return a.RecordNo < b.RecordNo; });
        return rows;
    };
    const std::vector<TRow> categories = read(*tables.tblCategory, "ParentNo");
    const std::vector<TRow> samples = read(*tables.tblSounds, "Category");
    std::multimap<int64_t, const TRow*> subCategories, filed;
    for (const TRow& row : categories)
        subCategories.emplace(row.Parent, &row);
    for (const TRow& row : samples)
        filed.emplace(row.Parent, &row);
    const auto top = std::find_if(categories.begin(), categories.end(),
                                  [&](const TRow& row) { return row.RecordNo == categoryNo; });
    if (top == categories.end())
        return {};

    // Depth first without recursion: a stack of what is still to write,
    // each category's children pushed last first. A category met twice (a
    // loop of ParentNo values) is not followed again.
    struct TPending {
        const TRow* Row;
        bool Sample;
    };
    std::vector<TCategoryExportNode> nodes;
    std::vector<TPending> pending{{&*top, false}};
    std::set<int64_t> visited;
    while (!pending.empty()) {
        const TPending next = pending.back();
        pending.pop_back();
        if (next.Sample) {
            nodes.push_back({next.Row->Name, 0, false, static_cast<int32_t>(next.Row->RecordNo)});
            continue;
        }
        std::vector<TPending> children;
        if (visited.insert(next.Row->RecordNo).second) {
            const auto [subBegin, subEnd] = subCategories.equal_range(next.Row->RecordNo);
            for (auto it = subBegin; it != subEnd; ++it)
                children.push_back({it->second, false});
            const auto [sampleBegin, sampleEnd] = filed.equal_range(next.Row->RecordNo);
            for (auto it = sampleBegin; it != sampleEnd; ++it)
                children.push_back({it->second, true});
        }
        nodes.push_back({next.Row->Name, static_cast<int32_t>(children.size()), true, 0});
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return nodes;
}

std::vector<uint8_t> ReadSoundBlob(TLibraryTables& tables, int32_t soundNo)
{
    TTable& sounds = *tables.tblSounds;
    TKeepCursor keep(sounds);
    sounds.GotoBookmark(TBookmark{soundNo});
    return sounds.ReadBlob("Sound");
}

void WriteCategoryPackageFile(const std::string& path, const std::vector<TCategoryExportNode>& nodes,
                              const std::function<std::vector<uint8_t>(int32_t soundNo)>& blobOf,
                              const TExchangeProgress& progress, IClock& clock)
{
    TCategoryPackageWriter writer(path, clock);
    writer.WriteNodeTotal(static_cast<int32_t>(nodes.empty() ? 0 : nodes.size() - 1));
    for (size_t i = 0; i < nodes.size(); ++i) {
        const TCategoryExportNode& node = nodes[i];
        if (progress)
            progress(static_cast<int>(i), node.Name);
        if (node.IsCategory) {
            writer.WriteNode(node.Name, node.ChildCount, true);
        } else {
            const std::vector<uint8_t> blob = blobOf(node.SoundNo);
            writer.WriteNode(node.Name, 0, false, blob);
        }
    }
    writer.Close();
}

TImportedCategory ImportCategoryIntoStore(TLibraryTables& tables, const TCategoryPackage& package,
                                          const TExchangeProgress& progress)
{
    TLibraryTables& t = tables;
    return InOneTransaction(tables, {t.tblCategory.get(), t.tblSounds.get()}, [&] {
        TKeepCursor keepSounds(*t.tblSounds), keepCategories(*t.tblCategory);
        TImportedCategory imported;
        imported.RecordNos.reserve(package.Nodes.size());
        for (size_t i = 0; i < package.Nodes.size(); ++i) {
            const TCategoryPackageNode& node = package.Nodes[i];
            if (progress)
                progress(static_cast<int>(i), node.Name);
            // Every node's parent comes before it, so its new row is known.
            const int32_t parentNo = node.Parent < 0 ? 0 : imported.RecordNos.at(static_cast<size_t>(node.Parent));
            if (node.IsCategory) {
                TEditScope append(*t.tblCategory, TEditScope::Append);
                t.tblCategoryName->SetAsString(node.Name);
                t.tblCategoryParentNo->SetAsInteger(parentNo);
                append.Post();
                imported.RecordNos.push_back(t.tblCategoryRecordNo->AsInteger());
            } else {
                TEditScope append(*t.tblSounds, TEditScope::Append);
                t.tblSoundsName->SetAsString(node.Name);
                t.tblSoundsCategory->SetAsInteger(parentNo);
                t.tblSounds->WriteBlob("Sound", std::vector<uint8_t>(node.Blob.begin(), node.Blob.end()));
                append.Post();
                imported.RecordNos.push_back(t.tblSoundsRecordNo->AsInteger());
            }
        }
        return imported;
    });
}
