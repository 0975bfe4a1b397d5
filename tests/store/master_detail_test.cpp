#include "store_fixture.h"

#include <memory>

namespace {

using TNames = std::vector<std::string>;

class TMasterDetailTest : public TStoreTest {
protected:
    void SetUp() override
    {
        TStoreTest::SetUp();
        CreateTables(Db);
        // Two play lists; songs 1, 3, 4 are on list 1 and song 2 on list 2.
        Db.Exec("INSERT INTO playlistnames (Name) VALUES ('morning'), ('evening')");
        Db.Exec("INSERT INTO musicplaylist (PlayListNo, MusicPath, SchemeNo) VALUES"
                " (1, 'a.mp3', 2), (2, 'b.mp3', 1), (1, 'c.mp3', 7), (1, 'd.mp3', NULL)");
        Db.Exec("INSERT INTO schemes (Name) VALUES ('rain'), ('forest')");
    }

    static void Link(TTable& songs, TTable& lists)
    {
        songs.SetIndexName("PlayList");
        songs.SetMaster(&lists, "RecordNo", "PlayListNo");
    }
};

TEST_F(TMasterDetailTest, DetailShowsAndFollowsTheMastersCurrentRow)
{
    TTable lists(Db, "PlayListNames");
    TTable songs(Db, "MusicPlayList");
    Link(songs, lists);
    lists.Open();
    songs.Open();
    EXPECT_EQ(Walk(songs, "MusicPath"), (TNames{"a.mp3", "c.mp3", "d.mp3"}));

    TEventLog log;
    log.Attach(songs, "songs.");
    log.Attach(lists, "lists.");
    songs.Last();
    lists.Next();
    // The detail moves first, so the master's handler sees it up to date.
    EXPECT_EQ(log.Take(), (TNames{"songs.AfterScroll", "songs.AfterScroll", "lists.AfterScroll"}));
    EXPECT_EQ(songs.FieldByName("MusicPath").AsString(), "b.mp3");
    EXPECT_EQ(songs.RecordCount(), 1);

    lists.Prior();
    EXPECT_EQ(songs.RecordCount(), 3);
    EXPECT_TRUE(songs.Bof());
}

TEST_F(TMasterDetailTest, AppendedDetailRowsGetTheMastersKey)
{
    TTable lists(Db, "PlayListNames");
    TTable songs(Db, "MusicPlayList");
    Link(songs, lists);
    lists.Open();
    songs.Open();
    lists.Last();
    int seenInNewRecord = -1;
    songs.OnNewRecord = [&](TTable& t) { seenInNewRecord = t.FieldByName("PlayListNo").AsInteger(); };
    songs.Append();
    songs.FieldByName("MusicPath").SetAsString("e.mp3");
    songs.Post();
    EXPECT_EQ(seenInNewRecord, 2);
    EXPECT_EQ(Walk(songs, "MusicPath"), (TNames{"b.mp3", "e.mp3"}));
    EXPECT_EQ(Query("SELECT PlayListNo FROM musicplaylist WHERE MusicPath = 'e.mp3'"), TNames{"2"});
}

TEST_F(TMasterDetailTest, MasterWithoutACurrentRowShowsNoDetailRows)
{
    TTable lists(Db, "PlayListNames");
    TTable songs(Db, "MusicPlayList");
    Link(songs, lists);
    lists.Open();
    songs.Open();
    lists.Append(); // not yet posted: no record number to show songs of
    EXPECT_TRUE(songs.IsEmpty());
    lists.Post();   // a new list has no songs
    EXPECT_TRUE(songs.IsEmpty());
    lists.Close();
    EXPECT_TRUE(songs.IsEmpty());

    Db.Exec("DELETE FROM playlistnames");
    lists.Open();
    EXPECT_TRUE(songs.IsEmpty());
    EXPECT_EQ(songs.RecordCount(), 0);
}

TEST_F(TMasterDetailTest, TablesCloseAndGoInAnyOrder)
{
    auto lists = std::make_unique<TTable>(Db, "PlayListNames");
    auto songs = std::make_unique<TTable>(Db, "MusicPlayList");
    Link(*songs, *lists);
    lists->Open();
    songs->Open();
    songs->Close();
    lists->Next();
    songs->Open();
    EXPECT_EQ(songs->RecordCount(), 1);

    lists.reset(); // the master goes first
    songs->First();
    songs->Close();
    songs->Open();
    EXPECT_EQ(songs->RecordCount(), 4); // following nothing, it shows every row

    auto master = std::make_unique<TTable>(Db, "PlayListNames");
    songs->SetMaster(master.get(), "RecordNo", "PlayListNo");
    master->Open();
    EXPECT_EQ(songs->RecordCount(), 3);
    songs.reset(); // the detail goes first
    master->Next();
    EXPECT_TRUE(master->Active());
}

TEST_F(TMasterDetailTest, LookupFieldReadsWithoutMovingTheLookupTable)
{
    TTable schemes(Db, "Schemes");
    TTable songs(Db, "MusicPlayList");
    TField& lookup = songs.AddLookupField("SchemeLookup", "SchemeNo", schemes, "RecordNo", "Name");
    schemes.Open();
    songs.Open();
    TEventLog log;
    log.Attach(schemes);
    const TBookmark before = schemes.GetBookmark();

    EXPECT_EQ(Walk(songs, "SchemeLookup"), (TNames{"forest", "rain", "", ""})); // 7 and empty match nothing
    EXPECT_EQ(schemes.GetBookmark(), before);
    EXPECT_TRUE(log.Take().empty());

    EXPECT_EQ(&songs.FieldByName("SchemeLookup"), &lookup);
    songs.First();
    songs.Edit();
    EXPECT_THROW(lookup.SetAsString("x"), EStoreError);
    songs.FieldByName("SchemeNo").SetAsInteger(1);
    EXPECT_EQ(lookup.AsString(), "rain"); // follows the edit buffer
    EXPECT_THROW(songs.AddLookupField("Late", "SchemeNo", schemes, "RecordNo", "Name"), EStoreError);
}

} // namespace
