#include "store_fixture.h"

#include <fstream>

namespace {

using TColumns = std::vector<std::pair<std::string, std::string>>;

struct TExpectedTable {
    std::string Name, Description;
    TColumns Columns;        // name, declared type as read back
    std::string IndexName;   // the one secondary index, or ""
    std::string IndexColumn;
};

const std::vector<TExpectedTable>& ExpectedTables()
{
    static const std::vector<TExpectedTable> tables = {
        {"musicplaylist", "Play List",
         {{"RecordNo", "INTEGER"}, {"PlayListNo", "INTEGER"}, {"MusicPath", "VARCHAR(250)"}, {"SchemeNo", "INTEGER"}},
         "PlayList", "PlayListNo"},
        {"playlistnames", "Play List Names", {{"RecordNo", "INTEGER"}, {"Name", "VARCHAR(250)"}}, "", ""},
        {"schemedata", "Scheme Data",
         {{"RecordNo", "INTEGER"}, {"SchemeNo", "INTEGER"}, {"SoundNo", "INTEGER"}, {"Freq", "INTEGER"},
          {"Randomize", "BOOLEAN"}, {"CoordX", "DOUBLE"}, {"CoordY", "DOUBLE"}, {"CoordZ", "DOUBLE"},
          {"Pattern", "SMALLINT"}, {"PatternSpeed", "WORD"}, {"Repeat", "WORD"}, {"RepeatPatten", "SMALLINT"},
          {"ReversePattern", "BOOLEAN"}},
         "Scheme", "SchemeNo"},
        {"schemes", "Sound Scheme List",
         {{"RecordNo", "INTEGER"}, {"Name", "VARCHAR(250)"}, {"LoopPeriod", "INTEGER"}, {"Volume", "INTEGER"}}, "", ""},
        {"soundcatalog", "Sound Catalog",
         {{"RecordNo", "INTEGER"}, {"Category", "INTEGER"}, {"Name", "VARCHAR(250)"}, {"Sound", "BLOB"}}, "", ""},
        {"soundcategory", "Category List",
         {{"RecordNo", "INTEGER"}, {"ParentNo", "INTEGER"}, {"Name", "VARCHAR(250)"}}, "", ""},
    };
    return tables;
}

class TDatabaseTest : public TStoreTest {
protected:
    TColumns TableColumns(const std::string& table)
    {
        TColumns columns;
        for (const auto& row : Query("SELECT name || '|' || type FROM pragma_table_info('" + table + "')")) {
            auto bar = row.find('|');
            columns.emplace_back(row.substr(0, bar), row.substr(bar + 1));
        }
        return columns;
    }
};

TEST_F(TDatabaseTest, CreateTablesMakesEveryTableWithItsColumnsIndexesAndDescription)
{
    CreateTables(Db);
    for (const auto& expected : ExpectedTables()) {
        SCOPED_TRACE(expected.Name);
        EXPECT_TRUE(Db.TableExists(expected.Name));
        EXPECT_EQ(TableColumns(expected.Name), expected.Columns);
        EXPECT_EQ(Query("SELECT pk FROM pragma_table_info('" + expected.Name + "') WHERE name = 'RecordNo'"),
                  std::vector<std::string>{"1"});
        EXPECT_EQ(Query("SELECT count(*) FROM pragma_table_info('" + expected.Name + "') WHERE \"notnull\""),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(Db.TableDescription(expected.Name), expected.Description);
        // Only the key's own index and the listed secondary one.
        std::vector<std::string> indexes;
        if (!expected.IndexName.empty())
            indexes.push_back(expected.IndexName + ":0:" + expected.IndexColumn);
        EXPECT_EQ(Query("SELECT il.name || ':' || il.\"unique\" || ':' || ii.name FROM pragma_index_list('" +
                        expected.Name + "') il, pragma_index_info(il.name) ii"),
                  indexes);
    }
    EXPECT_EQ(Query("SELECT sql LIKE '%AUTOINCREMENT%' FROM sqlite_master WHERE name = 'schemes'"),
              std::vector<std::string>{"1"});
}

TEST_F(TDatabaseTest, TablesCarryTheStockFullTextSettings)
{
    CreateTables(Db);
    const TFullTextParams params = Db.TableFullText("SCHEMES"); // names compare without case
    const TFullTextParams& stock = StockFullTextParams();
    EXPECT_EQ(params.StopWords, stock.StopWords);
    EXPECT_EQ(params.SpaceChars, stock.SpaceChars);
    EXPECT_EQ(params.IncludeChars, stock.IncludeChars);
    EXPECT_TRUE(params.IndexedFields.empty() && !params.Encrypted && params.Password.empty());
    // 22 words; bytes 1..32 and 13 punctuation marks; digits, letters, '_' and bytes 128..254.
    EXPECT_EQ(stock.StopWords.size(), 22u);
    EXPECT_EQ(stock.SpaceChars.size(), 45u);
    EXPECT_NE(stock.SpaceChars.find('`'), std::string::npos);
    EXPECT_EQ(stock.IncludeChars.size(), 190u);
    EXPECT_EQ(static_cast<unsigned char>(stock.IncludeChars.back()), 254);
}

TEST_F(TDatabaseTest, CreateTablesMakesOnlyMissingTablesAndNeverAltersOne)
{
    Db.Exec("CREATE TABLE soundcatalog (RecordNo INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(40), Extra SMALLINT)");
    Db.Exec("INSERT INTO soundcatalog (Name, Extra) VALUES ('rain', 7), ('wind', 8)");
    CreateTables(Db);

    EXPECT_TRUE(Db.TableExists("schemes"));
    EXPECT_EQ(TableColumns("soundcatalog"),
              (TColumns{{"RecordNo", "INTEGER"}, {"Name", "VARCHAR(40)"}, {"Extra", "SMALLINT"}}));
    EXPECT_EQ(Query("SELECT Name FROM soundcatalog ORDER BY RecordNo"), (std::vector<std::string>{"rain", "wind"}));

    // The table object opens it with the columns it really has.
    TTable sounds(Db, "SoundCatalog");
    sounds.Open();
    ASSERT_EQ(sounds.Fields().size(), 3u);
    EXPECT_EQ(sounds.FieldByName("Name").Size(), 40);
    EXPECT_EQ(sounds.FieldByName("Extra").DataType(), TFieldType::SmallInt);
    EXPECT_EQ(sounds.FieldByName("RecordNo").DataType(), TFieldType::AutoInc);
    EXPECT_EQ(sounds.FindField("Sound"), nullptr);
    EXPECT_EQ(sounds.RecordCount(), 2);
}

TEST_F(TDatabaseTest, CreateTablesStopsAtAFailureKeepingTablesMade)
{
    // Index names are global: one already called Scheme blocks schemedata.
    Db.Exec("CREATE TABLE other (x INTEGER)");
    Db.Exec("CREATE INDEX Scheme ON other (x)");
    try {
        CreateTables(Db);
        FAIL() << "CreateTables went through";
    } catch (const EStoreError& e) {
        EXPECT_STREQ(e.what(), "index Scheme already exists");
    }
    EXPECT_TRUE(Db.TableExists("musicplaylist"));
    EXPECT_TRUE(Db.TableExists("playlistnames"));
    EXPECT_FALSE(Db.TableExists("schemedata"));
    EXPECT_FALSE(Db.TableExists("schemes"));
}

TEST_F(TDatabaseTest, ConnectionIsInWriteAheadLogModeWithNormalSync)
{
    CreateTables(Db);
    EXPECT_EQ(Query("PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_EQ(Query("PRAGMA synchronous"), std::vector<std::string>{"1"});
    EXPECT_TRUE(std::filesystem::exists(Dir / "Ambitone.db"));
}

TEST_F(TDatabaseTest, FailuresCarrySqliteMessages)
{
    TTable schemes(Db, "Schemes");
    try {
        schemes.Open();
        FAIL() << "opened a missing table";
    } catch (const EStoreError& e) {
        EXPECT_STREQ(e.what(), "no such table: Schemes");
    }
    EXPECT_FALSE(schemes.Active());
    EXPECT_THROW(Db.TableDescription("Schemes"), EStoreError);

    Db.Disconnect();
    std::ofstream(Dir / "Ambitone.db", std::ios::binary) << std::string(8192, 'x');
    try {
        CreateTables(Db);
        FAIL() << "a corrupt file was accepted";
    } catch (const EStoreError& e) {
        EXPECT_STREQ(e.what(), "file is not a database");
    }
    EXPECT_FALSE(Db.Connected());
}

TEST_F(TDatabaseTest, RecordNumbersAreNeverHandedOutTwice)
{
    CreateTables(Db);
    {
        TTable schemes(Db, "Schemes");
        schemes.Open();
        AddNames(schemes, {"a", "b", "c"});
        schemes.Last();
        EXPECT_EQ(schemes.FieldByName("RecordNo").AsInteger(), 3);
        schemes.Delete();
        AddNames(schemes, {"d"});
        EXPECT_EQ(schemes.FieldByName("RecordNo").AsInteger(), 4);
        schemes.Delete();
        schemes.Close();
    }
    Db.Disconnect();
    TTable schemes(Db, "Schemes");
    schemes.Open();
    AddNames(schemes, {"e"});
    EXPECT_EQ(schemes.FieldByName("RecordNo").AsInteger(), 5);
}

TEST_F(TDatabaseTest, DisconnectClosesTablesAndSetDirectoryPointsElsewhere)
{
    CreateTables(Db);
    TTable schemes(Db, "schemes");
    schemes.Open();
    Db.Disconnect();
    EXPECT_FALSE(Db.Connected());
    EXPECT_FALSE(schemes.Active());

    const auto other = Dir / "other";
    std::filesystem::create_directory(other);
    Db.SetDirectory(other);
    EXPECT_EQ(Db.FilePath(), other / "Ambitone.db");
    EXPECT_FALSE(Db.TableExists("schemes"));
    EXPECT_THROW(schemes.Open(), EStoreError);
}

} // namespace
