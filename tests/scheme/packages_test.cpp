// Scheme and category packages from the window: what an export writes and
// an import brings back, and damaged packages that change nothing.
#include "scheme_rows_fixture.h"

#include "catalog/catalog_node.h"
#include "exchange/package_exchange.h"
#include "package/category_package.h"
#include "package/pack_stream.h"
#include "package/scheme_package.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "scheme/scheme_list_panel.h"
#include "store/database.h"

#include <QTreeWidgetItem>

#include <sqlite3.h>

#include <fstream>

namespace {

class TPackagesTest : public TSchemeRowsTest {
protected:
    // How many rows each table has, straight from the file.
    std::vector<int64_t> Counts()
    {
        std::vector<int64_t> counts;
        for (const char* table : {"schemes", "schemedata", "soundcatalog", "soundcategory"}) {
            sqlite3_stmt* stmt = nullptr;
            const std::string sql = std::string("SELECT count(*) FROM ") + table;
            sqlite3_prepare_v2(Tables().Database.Handle(), sql.c_str(), -1, &stmt, nullptr);
            counts.push_back(sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1);
            sqlite3_finalize(stmt);
        }
        return counts;
    }
    void Export(const char* command, const QString& path)
    {
        Prompts.AnswerFile(path);
        ASSERT_TRUE(Ui().Trigger(command));
    }
    void Import(const char* command, const QString& path)
    {
        Prompts.AnswerFile(path);
        ASSERT_TRUE(Ui().Trigger(command));
    }
    QTreeWidgetItem* Node(const QString& label, QTreeWidgetItem* under = nullptr)
    {
        auto* tree = Window->CatalogPanel().SoundTree;
        const int count = under ? under->childCount() : tree->topLevelItemCount();
        for (int i = count - 1; i >= 0; --i) {
            QTreeWidgetItem* item = under ? under->child(i) : tree->topLevelItem(i);
            if (item->text(0) == label)
                return item; // the last of that label
        }
        return nullptr;
    }
    // A package's content, written into a new container as the program
    // writes one, but with the given password.
    static void Pack(const QString& path, const std::vector<uint8_t>& content, const std::string& password)
    {
        TPackFileStream file(path.toStdString(), PackModeCreate, password, PackageLevel, PackageGap);
        file.Write(content.data(), content.size());
        file.Close();
    }
    // Damaged copies of a good package, each with what is wrong with it.
    std::vector<std::pair<QString, QString>> DamagedCopies(const QString& good, size_t headerSize)
    {
        std::vector<std::pair<QString, QString>> damaged;
        std::vector<uint8_t> content = ReadPackageContent(good.toStdString());
        std::ifstream in(good.toStdString(), std::ios::binary);
        const std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
        auto write = [&](const QString& name, const char* data, size_t size) {
            std::ofstream out(TempPath(name).toStdString(), std::ios::binary);
            out.write(data, std::streamsize(size));
            damaged.emplace_back(name, TempPath(name));
        };
        write("cut-file", file.data(), file.size() * 2 / 3);
        std::vector<char> flipped = file;
        flipped[file.size() / 2] ^= 0x5A;
        write("damaged-block", flipped.data(), flipped.size());
        write("not-a-package", "RIFF\x04\0\0\0WAVE", 12);
        Pack(TempPath("other-password"), content, "Someone else's");
        damaged.emplace_back("other-password", TempPath("other-password"));
        std::vector<uint8_t> cutRecord(content.begin(), content.begin() + std::ptrdiff_t(headerSize + 100));
        Pack(TempPath("cut-in-record"), cutRecord, PackagePassword);
        damaged.emplace_back("cut-in-record", TempPath("cut-in-record"));
        std::vector<uint8_t> cutImage(content.begin(), content.end() - 10);
        Pack(TempPath("cut-in-image"), cutImage, PackagePassword);
        damaged.emplace_back("cut-in-image", TempPath("cut-in-image"));
        std::vector<uint8_t> huge = content;
        const int32_t count = 0x7FFFFFF0;
        std::memcpy(huge.data() + (headerSize == SchemePackageHeaderSize ? 252 : 4 + 252), &count, 4);
        Pack(TempPath("huge-count"), huge, PackagePassword);
        damaged.emplace_back("huge-count", TempPath("huge-count"));
        return damaged;
    }
};

} // namespace

TEST_F(TPackagesTest, ASchemeTravelsWithItsUnsavedSettingsAndOpensAsANewScheme)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    Panel().Scheduler().SetLoopLength(120);
    Row(0).FreqSlider->setValue(34);
    TPlaybackRow& wind = Row(1).Row->Record();
    wind.CoordX = 0.1f;
    wind.CoordZ = -4.5f;
    wind.Pattern = 2;
    wind.RepeatMethod = 3;
    wind.RepeatCount = 7;
    Row(1).FreqSlider->setValue(50);
    Panel().SelectRow(1);
    ASSERT_TRUE(Ui().Trigger("RandomizeSample"));
    const std::vector<int64_t> before = Counts();

    const QString path = TempPath("alpha.amx");
    Export("ExportAmbitone", path);
    EXPECT_EQ(Prompts.Records().back().Options.FileName, "Alpha");
    EXPECT_EQ(Counts(), before) << "an export changes no table";
    EXPECT_EQ(Stored("Freq"), (std::vector<int32_t>{0, 0})) << "nor writes the open scheme back";

    auto* unfiled = Window->CatalogPanel().UnfiledNode();
    const bool unfiledExpanded = unfiled->isExpanded();
    const int unfiledCount = unfiled->childCount();
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    Import("ImportAmbitone", path);
    EXPECT_TRUE(Prompts.Texts("warning").isEmpty());
    EXPECT_FALSE(Panel().Scheduler().Playing()) << "the import stops the playback first";
    auto* list = Ui().Find<QListWidget>("SchemeList");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(Window->SchemeListPanel().OpenSchemeIndex(), 2);
    EXPECT_EQ(list->item(2)->text(), "Alpha");
    EXPECT_EQ(Panel().Scheduler().LoopLength(), 120);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(0).NameLabel->text(), "rain.wav");
    EXPECT_EQ(Row(0).FreqSlider->value(), 34); // through the displayed period of 79 s in 120
    const TPlaybackRow& imported = Row(1).Row->Record();
    EXPECT_TRUE(imported.Randomize);
    EXPECT_EQ(imported.CoordX, 0.1f);
    EXPECT_EQ(imported.CoordZ, -4.5f);
    EXPECT_EQ(imported.Pattern, 2);
    EXPECT_EQ(imported.RepeatMethod, 3);
    EXPECT_EQ(imported.RepeatCount, 7);
    // The samples came as new ones, last under "Unfiled", which stays as it was.
    ASSERT_EQ(unfiled->childCount(), unfiledCount + 2);
    EXPECT_EQ(unfiled->child(unfiledCount + 1)->text(0), "wind.wav");
    EXPECT_EQ(unfiled->isExpanded(), unfiledExpanded);
    EXPECT_EQ(Counts()[2], before[2] + 2);

    // The scheme that was open kept its loop and its rows as they were left.
    Open("Alpha"); // the first of that title
    EXPECT_EQ(Window->SchemeListPanel().OpenSchemeIndex(), 1);
    EXPECT_EQ(Panel().Scheduler().LoopLength(), 120);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(0).FreqSlider->value(), 34);
    EXPECT_TRUE(Row(1).Row->Record().Randomize);

    // An empty scheme travels too, and a second import makes a second copy.
    Open("Beta");
    Export("ExportAmbitone", TempPath("beta.amx"));
    for (int copy = 0; copy < 2; ++copy)
        Import("ImportAmbitone", TempPath("beta.amx"));
    EXPECT_EQ(list->count(), 5);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Panel().Scheduler().LoopLength(), 60);
}

TEST_F(TPackagesTest, ADamagedSchemePackageOrARefusingStoreChangesNothing)
{
    Start();
    CreateScheme("Gamma"); // open, and neither the first title nor the first row
    Use("rain.wav");
    Export("ExportAmbitone", TempPath("good.amx"));
    Panel().Scheduler().SetLoopLength(120);
    Row(0).FreqSlider->setValue(70);
    auto cases = DamagedCopies(TempPath("good.amx"), SchemePackageHeaderSize);
    cases.emplace_back("store refuses", TempPath("good.amx"));
    const std::vector<int64_t> before = Counts();
    const int unfiled = Window->CatalogPanel().UnfiledNode()->childCount();
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    for (const auto& [what, path] : cases) {
        SCOPED_TRACE(what.toStdString());
        if (what == "store refuses")
            Tables().Database.Exec("CREATE TRIGGER refuse BEFORE INSERT ON schemedata BEGIN SELECT RAISE(ABORT, 'no'); END");
        Prompts.Clear();
        Import("ImportAmbitone", path);
        EXPECT_EQ(Prompts.Texts("warning"), QStringList{"The import file is corrupt, or is not a Ambitone file."});
        EXPECT_EQ(Counts(), before);
        EXPECT_EQ(Window->CatalogPanel().UnfiledNode()->childCount(), unfiled);
        EXPECT_EQ(Ui().Find<QListWidget>("SchemeList")->count(), 3);
        // The open scheme is still open, as it was left.
        EXPECT_EQ(Window->SchemeListPanel().OpenSchemeIndex(), 2);
        ASSERT_EQ(Rows(), 1);
        EXPECT_EQ(Row(0).FreqSlider->value(), 70);
        EXPECT_EQ(Panel().Scheduler().LoopLength(), 120);
        if (what != "store refuses") {
            EXPECT_TRUE(Panel().Scheduler().Playing()) << "a refused file leaves the scheme playing";
        }
        for (const char* other : {"Alpha", "Beta"}) {
            Open(other);
            EXPECT_EQ(Panel().Scheduler().LoopLength(), 60) << other << "'s loop is its own";
        }
        Open("Gamma");
        EXPECT_EQ(Panel().Scheduler().LoopLength(), 120);
        ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    }
}

TEST_F(TPackagesTest, ACategoryTravelsWithItsSubtreeAndADamagedOneChangesNothing)
{
    Start();
    // "Nature" holding "Birds" (owl) and rain, as the tree shows them.
    TLibraryTables& t = Tables();
    auto addCategory = [&](const char* name, int32_t parent) {
        t.tblCategory->Append();
        t.tblCategoryName->SetAsString(name);
        t.tblCategoryParentNo->SetAsInteger(parent);
        t.tblCategory->Post();
        return t.tblCategoryRecordNo->AsInteger();
    };
    const int32_t nature = addCategory("Nature", 0);
    const int32_t birds = addCategory("Birds", nature);
    Tables().Database.Exec("UPDATE soundcatalog SET Category = " + std::to_string(birds) + " WHERE Name = 'owl.wav'");
    Tables().Database.Exec("UPDATE soundcatalog SET Category = " + std::to_string(nature) + " WHERE Name = 'rain.wav'");
    Tables().tblSounds->Refresh();
    Window->CatalogPanel().BuildSoundTree();
    auto* tree = Window->CatalogPanel().SoundTree;
    tree->setCurrentItem(Node("Nature"));
    Export("ExportCategory", TempPath("nature.amc"));
    EXPECT_EQ(Prompts.Records().back().Options.FileName, "Nature");

    const std::vector<int64_t> before = Counts();
    const int roots = tree->topLevelItemCount();
    for (const auto& [what, path] : DamagedCopies(TempPath("nature.amc"), 4)) {
        SCOPED_TRACE(what.toStdString());
        Prompts.Clear();
        Import("ImportCategory", path);
        EXPECT_EQ(Prompts.Texts("warning"),
                  QStringList{"The file you are attempting to import has been corrupted, or is \r\n"
                              "not a Ambitone category file."});
        EXPECT_EQ(Counts(), before);
        EXPECT_EQ(tree->topLevelItemCount(), roots);
    }

    Import("ImportCategory", TempPath("nature.amc"));
    ASSERT_EQ(tree->topLevelItemCount(), roots + 1);
    QTreeWidgetItem* copy = tree->topLevelItem(roots);
    EXPECT_EQ(copy->text(0), "Nature");
    EXPECT_FALSE(copy->isExpanded());
    ASSERT_EQ(copy->childCount(), 2);
    EXPECT_EQ(copy->child(0)->text(0), "Birds");
    EXPECT_EQ(copy->child(1)->text(0), "rain.wav");
    ASSERT_EQ(copy->child(0)->childCount(), 1);
    // The copy is filed in the store under its own new categories.
    const TCatalogNodeData* owl = CatalogNodeData(copy->child(0)->child(0));
    ASSERT_NE(owl, nullptr);
    t.tblSounds->GotoBookmark(owl->Bookmark);
    EXPECT_EQ(t.tblSoundsName->AsString(), "owl.wav");
    EXPECT_EQ(t.tblSoundsCategory->AsInteger(), CatalogNodeData(copy->child(0))->RecordNo);
    EXPECT_EQ(t.tblSounds->ReadBlob("Sound"), ToneWave(2205, 500));
    EXPECT_EQ(Counts()[3], before[3] + 2);
}

// Right after opening, the window exports the same content the tool writes
// from the store.
TEST_F(TPackagesTest, TheWindowAndTheToolExportTheSameBytes)
{
    Start();
    Use("rain.wav");
    Use("owl.wav");
    Row(0).FreqSlider->setValue(34);
    Row(1).Row->Record().CoordY = 0.3f;
    Reopen("Alpha");
    Export("ExportAmbitone", TempPath("window.amx"));
    const int32_t alpha = FindSchemeByTitle(Tables(), "Alpha");
    const TStoredScheme stored = ReadStoredScheme(Tables(), alpha);
    WriteSchemePackageFile(TempPath("tool.amx").toStdString(), stored.Header, stored.Entries);
    const std::vector<uint8_t> window = ReadPackageContent(TempPath("window.amx").toStdString());
    EXPECT_EQ(window.size(), SchemePackageHeaderSize + 2 * SchemePackageEntrySize + stored.Images[0].size() +
                                 stored.Images[1].size());
    EXPECT_EQ(window, ReadPackageContent(TempPath("tool.amx").toStdString()));
}
