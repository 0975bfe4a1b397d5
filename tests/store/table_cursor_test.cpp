#include "store_fixture.h"

#include <functional>

namespace {

using TNames = std::vector<std::string>;

class TCursorTest : public TStoreTest {
protected:
    void SetUp() override
    {
        TStoreTest::SetUp();
        CreateTables(Db);
    }

    // Five catalogue rows: RecordNo 1..5 with these categories.
    void FillCatalog(TTable& sounds)
    {
        sounds.Open();
        AddRows(sounds, "Category", {3, -1, 3, 0, 12});
    }

    static std::string CurrentName(TTable& table) { return table.FieldByName("Name").AsString(); }
};

struct TEventCase {
    const char* Name;
    std::function<void(TTable&)> Action;
    TNames Events;
    std::string Current; // the row's Name afterwards
    bool Eof = false;
};

TEST_F(TCursorTest, EachOperationRaisesItsEventsAndPlacesTheCursor)
{
    using T = TTable&;
    const std::vector<TEventCase> cases = {
        {"first", [](T t) { t.First(); }, {"AfterScroll"}, "a"},
        {"next", [](T t) { t.Next(); }, {"AfterScroll"}, "b"},
        {"last", [](T t) { t.Last(); }, {"AfterScroll"}, "c", true},
        {"next onto eof", [](T t) { t.Next(); t.Next(); t.Next(); }, {"AfterScroll", "AfterScroll", "AfterScroll"}, "c", true},
        {"next at eof", [](T t) { t.Last(); t.Next(); }, {"AfterScroll"}, "c", true},
        {"prior at bof", [](T t) { t.Prior(); }, {}, "a"},
        {"append", [](T t) { t.Append(); }, {"NewRecord", "AfterScroll"}, ""},
        {"post append", [](T t) { t.Append(); t.FieldByName("Name").SetAsString("d"); t.Post(); },
         {"NewRecord", "AfterScroll", "AfterPost"}, "d"},
        {"post edit", [](T t) { t.Edit(); t.FieldByName("Name").SetAsString("x"); t.Post(); }, {"AfterPost"}, "x"},
        {"move posts edit", [](T t) { t.Edit(); t.Next(); }, {"AfterPost", "AfterScroll"}, "b"},
        {"delete", [](T t) { t.Delete(); }, {"AfterDelete", "AfterScroll"}, "b"},
        {"filter text", [](T t) { t.Next(); t.SetFilter("RecordNo = 0"); }, {"AfterScroll", "AfterScroll"}, "a"},
        {"filter on", [](T t) { t.Next(); t.SetFiltered(true); }, {"AfterScroll", "AfterScroll"}, "a"},
        {"goto bookmark", [](T t) { t.Last(); auto b = t.GetBookmark(); t.First(); t.GotoBookmark(b); },
         {"AfterScroll", "AfterScroll", "AfterScroll"}, "c"},
        {"cancel edit", [](T t) { t.Edit(); t.FieldByName("Name").SetAsString("x"); t.Cancel(); }, {}, "a"},
        {"cancel append", [](T t) { t.Next(); t.Append(); t.Cancel(); }, {"AfterScroll", "NewRecord", "AfterScroll", "AfterScroll"}, "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Db.Exec("DELETE FROM schemes");
        TTable schemes(Db, "Schemes");
        TEventLog log;
        log.Attach(schemes);
        schemes.Open();
        EXPECT_EQ(log.Take(), TNames{"AfterOpen"});
        AddNames(schemes, {"a", "b", "c"});
        schemes.First();
        log.Take();
        c.Action(schemes);
        EXPECT_EQ(log.Take(), c.Events);
        EXPECT_EQ(CurrentName(schemes), c.Current);
        EXPECT_EQ(schemes.Eof(), c.Eof);
    }
}

TEST_F(TCursorTest, AppendStartsAnEmptyRowAndPostAssignsTheRecordNo)
{
    TTable schemes(Db, "Schemes");
    schemes.Open();
    AddNames(schemes, {"a"});
    schemes.Append();
    EXPECT_EQ(schemes.State(), TTableState::Insert);
    EXPECT_TRUE(schemes.FieldByName("Name").IsNull()); // nothing copied from "a"
    EXPECT_EQ(schemes.FieldByName("RecordNo").AsInteger(), 0);
    schemes.FieldByName("Name").SetAsString("b");
    schemes.Post();
    EXPECT_EQ(schemes.State(), TTableState::Browse);
    EXPECT_EQ(schemes.FieldByName("RecordNo").AsInteger(), 2);
    EXPECT_EQ(Query("SELECT Name FROM schemes WHERE RecordNo = 2"), TNames{"b"});
}

struct TDeleteCase {
    const char* Name;
    TNames Rows;
    int Delete;          // position of the deleted row
    std::string Current; // "" when no row is left
};

TEST_F(TCursorTest, DeleteMovesToTheNextRowOrThePreviousAtTheEnd)
{
    const std::vector<TDeleteCase> cases = {
        {"middle", {"a", "b", "c"}, 1, "c"},
        {"first", {"a", "b", "c"}, 0, "b"},
        {"last", {"a", "b", "c"}, 2, "b"},
        {"only", {"a"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Db.Exec("DELETE FROM schemes");
        TTable schemes(Db, "Schemes");
        schemes.Open();
        AddNames(schemes, c.Rows);
        schemes.First();
        for (int i = 0; i < c.Delete; ++i)
            schemes.Next();
        schemes.Delete();
        EXPECT_EQ(schemes.RecordCount(), static_cast<int>(c.Rows.size()) - 1);
        EXPECT_EQ(schemes.IsEmpty(), c.Current.empty());
        EXPECT_EQ(schemes.Eof() && schemes.Bof(), c.Current.empty());
        EXPECT_EQ(CurrentName(schemes), c.Current);
    }
}

TEST_F(TCursorTest, BookmarksSurviveAppendsDeletesFiltersAndReopening)
{
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    sounds.First();
    sounds.Next();
    sounds.Next(); // RecordNo 3, category 3
    const TBookmark mark = sounds.GetBookmark();
    EXPECT_EQ(mark.RecordNo, 3);

    AddRows(sounds, "Category", {3});
    sounds.First();
    sounds.Delete();
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(true);
    sounds.Close();
    sounds.Open();
    sounds.Last();
    EXPECT_TRUE(sounds.BookmarkValid(mark));
    sounds.GotoBookmark(mark);
    EXPECT_EQ(sounds.FieldByName("RecordNo").AsInteger(), 3);
    EXPECT_FALSE(sounds.Eof());
}

TEST_F(TCursorTest, BookmarkToAGoneRowRaisesAndLeavesTheCursor)
{
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    AddRows(sounds, "Category", {3});
    sounds.First();
    const TBookmark deleted = sounds.GetBookmark();
    sounds.Delete();
    const TBookmark hidden{5}; // category 12
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(true);
    sounds.Last(); // 6, after 3

    for (const TBookmark& mark : {deleted, hidden, TBookmark{}}) {
        SCOPED_TRACE(mark.RecordNo);
        EXPECT_FALSE(sounds.BookmarkValid(mark));
        try {
            sounds.GotoBookmark(mark);
            FAIL() << "went to a row that is not there";
        } catch (const EStoreError& e) {
            EXPECT_NE(std::string(e.what()).find("Record not found"), std::string::npos) << e.what();
        }
        EXPECT_EQ(sounds.FieldByName("RecordNo").AsInteger(), 6);
    }
}

struct TFilterCase {
    const char* Text;
    TNames RecordNos;
};

TEST_F(TCursorTest, FilterTextsSelectMatchingRows)
{
    const std::vector<TFilterCase> cases = {
        {"Category = 3", {"1", "3"}},   {"Category=3", {"1", "3"}},  {"  Category   =  3  ", {"1", "3"}},
        {"Category = -1", {"2"}},      {"Category = 0", {"4"}},     {"RecordNo = 5", {"5"}},
        {"category = 12", {"5"}},      {"Category = 99", {}},       {"", {"1", "2", "3", "4", "5"}},
    };
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    sounds.SetFiltered(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        sounds.SetFilter(c.Text);
        EXPECT_EQ(Walk(sounds), c.RecordNos);
        EXPECT_EQ(sounds.RecordCount(), static_cast<int>(c.RecordNos.size()));
    }
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(false);
    EXPECT_EQ(sounds.RecordCount(), 5);
}

TEST_F(TCursorTest, MalformedFiltersRaiseAndKeepThePreviousOne)
{
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(true);
    for (const char* text : {"Category", "Category =", "= 3", "Category == 3", "Category = 3.5", "Category = abc",
                             "Category = 3 AND Name = 1", "Nothing = 3", "Category = 99999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(sounds.SetFilter(text), EStoreError);
        EXPECT_EQ(sounds.Filter(), "Category = 3");
        EXPECT_EQ(sounds.RecordCount(), 2);
    }
}

TEST_F(TCursorTest, FilterSetWhileClosedAppliesOnOpen)
{
    {
        TTable sounds(Db, "SoundCatalog");
        FillCatalog(sounds);
    }
    TTable sounds(Db, "SoundCatalog");
    TEventLog log;
    log.Attach(sounds);
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(true);
    EXPECT_TRUE(log.Take().empty());
    sounds.Open();
    EXPECT_EQ(log.Take(), TNames{"AfterOpen"});
    EXPECT_EQ(Walk(sounds), (TNames{"1", "3"}));
}

TEST_F(TCursorTest, AFilterChangeIsOneQueryAndPutsTheCursorFirst)
{
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    sounds.SetFiltered(true);
    sounds.Last();
    TStatementCounter counter(Db.Handle());
    sounds.SetFilter("Category = 3");
    EXPECT_EQ(counter.Statements().size(), 1u);
    EXPECT_EQ(sounds.FieldByName("RecordNo").AsInteger(), 1);
    EXPECT_TRUE(sounds.Bof());
}

TEST_F(TCursorTest, RowAppendedIntoTheFilteredSchemeStaysVisibleAndCurrent)
{
    TTable schemes(Db, "Schemes");
    schemes.Open();
    AddNames(schemes, {"first", "second"});
    const int scheme = schemes.FieldByName("RecordNo").AsInteger();

    TTable data(Db, "SchemeData");
    data.SetFiltered(true);
    data.Open();
    AddRows(data, "SchemeNo", {1, scheme, 1});
    data.SetFilter("SchemeNo = " + std::to_string(scheme));
    data.Append();
    data.FieldByName("SchemeNo").SetAsInteger(scheme);
    data.FieldByName("Freq").SetAsInteger(440);
    data.Post();
    EXPECT_EQ(data.RecordCount(), 2);
    EXPECT_EQ(data.FieldByName("Freq").AsInteger(), 440);
    EXPECT_EQ(data.FieldByName("RecordNo").AsInteger(), 4);
}

TEST_F(TCursorTest, PostedRowThatNoLongerMatchesDropsOut)
{
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    AddRows(sounds, "Category", {3});
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(true);
    TEventLog log;
    log.Attach(sounds);
    sounds.First(); // 1, then 3 and 6
    sounds.Edit();
    sounds.FieldByName("Category").SetAsInteger(4);
    log.Take();
    sounds.Post();
    EXPECT_EQ(log.Take(), (TNames{"AfterPost", "AfterScroll"}));
    EXPECT_EQ(Walk(sounds), (TNames{"3", "6"}));

    sounds.Last();
    sounds.Edit();
    sounds.FieldByName("Category").SetAsInteger(4);
    sounds.Post();
    EXPECT_EQ(sounds.FieldByName("RecordNo").AsInteger(), 3);

    sounds.Append(); // an appended row outside the filter is not shown either
    sounds.FieldByName("Category").SetAsInteger(5);
    sounds.Post();
    EXPECT_EQ(Walk(sounds), TNames{"3"});
}

TEST_F(TCursorTest, SecondaryIndexOrdersByKeyThenRecordNo)
{
    TTable data(Db, "SchemeData");
    data.SetIndexName("Scheme");
    data.Open();
    AddRows(data, "SchemeNo", {2, 1, 2, 1});
    EXPECT_EQ(Walk(data), (TNames{"2", "4", "1", "3"}));

    // An edited key moves its row into place, still current.
    data.First();
    data.Edit();
    data.FieldByName("SchemeNo").SetAsInteger(3);
    data.Post();
    EXPECT_EQ(data.FieldByName("RecordNo").AsInteger(), 2);
    data.Next();
    EXPECT_TRUE(data.Eof());
    EXPECT_EQ(Walk(data), (TNames{"4", "1", "3", "2"}));
    EXPECT_THROW(data.SetIndexName("Nowhere"), EStoreError);
}

TEST_F(TCursorTest, EditingNeedsARowAndWritingNeedsEditState)
{
    TTable schemes(Db, "Schemes");
    EXPECT_THROW(schemes.First(), EStoreError);
    schemes.Open();
    schemes.First();
    EXPECT_TRUE(schemes.Eof() && schemes.Bof());
    EXPECT_THROW(schemes.Edit(), EStoreError);
    EXPECT_THROW(schemes.Delete(), EStoreError);
    AddNames(schemes, {"a"});
    EXPECT_THROW(schemes.FieldByName("Name").SetAsString("b"), EStoreError);
    schemes.Edit();
    EXPECT_THROW(schemes.FieldByName("RecordNo").SetAsInteger(9), EStoreError);
    schemes.FieldByName("Name").SetAsString("b");
    schemes.Cancel();
    EXPECT_EQ(CurrentName(schemes), "a");
    EXPECT_THROW(schemes.FieldByName("Missing"), EStoreError);
}

} // namespace

TEST_F(TCursorTest, ForEachRowReadsTheVisibleRowsInPlaceWithoutMovingTheCursor)
{
    TTable sounds(Db, "SoundCatalog");
    FillCatalog(sounds);
    sounds.SetFilter("Category = 3");
    sounds.SetFiltered(true);
    sounds.Last();
    sounds.Edit();
    sounds.FieldByName("Name").SetAsString("renamed");
    int scrolls = 0;
    sounds.AfterScroll = [&](TTable&) { ++scrolls; };

    const int recordNo = sounds.ColumnIndex("RecordNo");
    const int category = sounds.ColumnIndex("category"); // names match as the store's do
    const int name = sounds.ColumnIndex("Name");
    std::vector<std::tuple<int64_t, int64_t, int64_t, std::string>> seen;
    sounds.ForEachRow([&](const TRowView& row) {
        seen.emplace_back(row.Bookmark().RecordNo, row.Integer(recordNo), row.Integer(category),
                          std::string(row.Text(name)));
    });
    // The pending edit was posted first; rows come in index order.
    EXPECT_EQ(seen, (std::vector<std::tuple<int64_t, int64_t, int64_t, std::string>>{{1, 1, 3, ""}, {3, 3, 3, "renamed"}}));
    EXPECT_EQ(scrolls, 0);
    EXPECT_FALSE(sounds.IsEditing());
    EXPECT_EQ(sounds.FieldByName("RecordNo").AsInteger(), 3);
    EXPECT_THROW(sounds.ColumnIndex("Nothing"), EStoreError);
    sounds.Close();
    EXPECT_THROW(sounds.ForEachRow([](const TRowView&) {}), EStoreError);
}
