// ambitone-tool's package commands on real record stores: a scheme and a
// category exported from one store and imported into another, in the order
// and with the values the window gives, and a damaged package refused with
// nothing added.
#include "package/category_package.h"
#include "package/scheme_package.h"
#include "store/database.h"

#include "scheme_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class PackageTool : public ::testing::Test {
protected:
    PackageTool()
    {
        for (const fs::path& data : {From(), To()}) {
            fs::create_directories(data);
            TDatabase db;
            db.SetDirectory(data);
            CreateTables(db);
        }
    }
    fs::path From() const { return m_dir.Path() / "from"; }
    fs::path To() const { return m_dir.Path() / "to"; }
    fs::path File(const char* name) const { return m_dir.Path() / name; }

    struct TRun {
        int Status;
        std::string Out, Err;
    };
    TRun Tool(const std::string& arguments) const
    {
        const fs::path out = m_dir.Path() / "stdout.txt", err = m_dir.Path() / "stderr.txt";
        const std::string command = std::string("'") + AMBITONE_TOOL_PATH + "' " + arguments + " >'" + out.string() +
                                    "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
    }
    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    // The first column of each row a query gives, as text.
    static std::vector<std::string> Query(const fs::path& data, const std::string& sql)
    {
        TDatabase db;
        db.SetDirectory(data);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt, nullptr);
        std::vector<std::string> values;
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            values.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        sqlite3_finalize(stmt);
        return values;
    }
    static std::vector<uint8_t> Content(const fs::path& file) { return ReadPackageContent(file.string()); }

private:
    TScratchDir m_dir{"package-tool"};
};

// The path quoted for the shell.
std::string Path(const fs::path& p)
{
    std::string quoted = p.string();
    quoted.insert(quoted.begin(), '\'');
    quoted.push_back('\'');
    return quoted;
}

} // namespace

TEST_F(PackageTool, ASchemeGoesFromOneStoreToAnotherAsTheWindowWouldExportIt)
{
    {
        TDatabase db;
        db.SetDirectory(From());
        AddScheme(db, "Forest", 60); // an earlier scheme of the same title wins
        const int forest = AddScheme(db, "Forest", 60);
        AddRows(db, forest, {{0, 34, true, 1, 3, 1, 2, 0.1, 0, -2}, {4242, 50}, {0, 100}});
    }
    ASSERT_EQ(Tool("export-scheme " + Path(From()) + " Forest " + Path(File("empty.amx"))).Status, 0);
    EXPECT_EQ(Content(File("empty.amx")).size(), SchemePackageHeaderSize);

    {
        TDatabase db;
        db.SetDirectory(From());
        sqlite3_exec(db.Handle(), "DELETE FROM schemes WHERE RecordNo = 1", nullptr, nullptr, nullptr);
    }
    const TRun exported = Tool("export-scheme " + Path(From()) + " Forest " + Path(File("forest.amx")));
    ASSERT_EQ(exported.Status, 0) << exported.Err;
    const std::vector<uint8_t> content = Content(File("forest.amx"));
    const TSchemePackage package = ParseSchemePackage(content);
    ASSERT_EQ(package.Entries.size(), 2u) << "the row whose sound is gone is left out";
    const TSchemePackageEntry& first = package.Entries[0];
    EXPECT_EQ(first.Freq, 33); // 34 through a displayed period of 40 s in 60
    EXPECT_TRUE(first.Randomize);
    EXPECT_EQ(first.CoordX, 0.1f);
    EXPECT_EQ(first.CoordZ, -2.0f);
    EXPECT_EQ(first.RepeatPatten, 1);
    EXPECT_EQ(first.Repeat, 3);
    EXPECT_EQ(first.Pattern, 1);
    EXPECT_EQ(first.PatternSpeed, 2);
    EXPECT_EQ(package.Entries[1].Freq, 100);
    EXPECT_EQ(Query(From(), "SELECT Freq FROM schemedata ORDER BY RecordNo").front(), "34") << "only read";

    const TRun imported = Tool("import-scheme " + Path(To()) + " " + Path(File("forest.amx")));
    ASSERT_EQ(imported.Status, 0) << imported.Err;
    EXPECT_EQ(imported.Out, "SchemeNo=1\n");
    EXPECT_EQ(Query(To(), "SELECT Category FROM soundcatalog"), (std::vector<std::string>{"-1", "-1"}));
    // Exported again from the second store, the content is the same bytes.
    ASSERT_EQ(Tool("export-scheme " + Path(To()) + " Forest " + Path(File("again.amx"))).Status, 0);
    EXPECT_EQ(Content(File("again.amx")), content);
}

TEST_F(PackageTool, ACategoryKeepsItsTreeOrderAndADamagedPackageAddsNothing)
{
    {
        TDatabase db;
        db.SetDirectory(From());
        sqlite3* h = db.Handle();
        sqlite3_exec(h,
                     "INSERT INTO soundcategory (ParentNo, Name) VALUES (0, 'Nature');"      // 1
                     "INSERT INTO soundcategory (ParentNo, Name) VALUES (1, 'Birds');"       // 2
                     "INSERT INTO soundcategory (ParentNo, Name) VALUES (0, 'Other');"       // 3
                     "INSERT INTO soundcategory (ParentNo, Name) VALUES (1, 'Water');"       // 4
                     "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (1, 'wind', x'');"
                     "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (2, 'owl', x'52494646');"
                     "INSERT INTO soundcatalog (Category, Name, Sound) VALUES (1, 'rain', x'00');",
                     nullptr, nullptr, nullptr);
    }
    const TRun exported = Tool("export-category " + Path(From()) + " Nature " + Path(File("nature.amc")));
    ASSERT_EQ(exported.Status, 0) << exported.Err;
    const std::vector<uint8_t> content = Content(File("nature.amc"));
    const TCategoryPackage package = ParseCategoryPackage(content);
    std::vector<std::string> order;
    for (const TCategoryPackageNode& node : package.Nodes)
        order.push_back(node.Name);
    // Sub-categories first, then samples, each in RecordNo order.
    EXPECT_EQ(order, (std::vector<std::string>{"Nature", "Birds", "owl", "Water", "wind", "rain"}));
    EXPECT_EQ(package.NodeTotal, 5);
    EXPECT_EQ(Tool("export-category " + Path(From()) + " Nature/Birds " + Path(File("birds.amc"))).Status, 0);
    EXPECT_EQ(ParseCategoryPackage(Content(File("birds.amc"))).Nodes.size(), 2u);
    EXPECT_EQ(Tool("export-category " + Path(From()) + " Nature/Fish " + Path(File("fish.amc"))).Status, 1);

    // A cut copy is refused with the warning, and nothing is added.
    {
        std::ifstream in(File("nature.amc"), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(File("cut.amc"), std::ios::binary) << bytes.substr(0, bytes.size() - 5);
    }
    const TRun refused = Tool("import-category " + Path(To()) + " " + Path(File("cut.amc")));
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err.rfind("The file you are attempting to import has been corrupted, or is \r\n"
                                "not a Ambitone category file.\n",
                                0),
              0u)
        << refused.Err;
    EXPECT_TRUE(Query(To(), "SELECT Name FROM soundcategory").empty());

    const TRun imported = Tool("import-category " + Path(To()) + " " + Path(File("nature.amc")));
    ASSERT_EQ(imported.Status, 0) << imported.Err;
    EXPECT_EQ(imported.Out, "CategoryNo=1\n");
    EXPECT_EQ(Query(To(), "SELECT Name || '<' || ParentNo FROM soundcategory ORDER BY RecordNo"),
              (std::vector<std::string>{"Nature<0", "Birds<1", "Water<1"}));
    EXPECT_EQ(Query(To(), "SELECT Name || '<' || Category || ':' || length(Sound) FROM soundcatalog ORDER BY RecordNo"),
              (std::vector<std::string>{"owl<2:4", "wind<1:0", "rain<1:1"}));
}
