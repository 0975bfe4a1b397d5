#include "store_fixture.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return bytes;
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class TBlobTest : public TStoreTest {
protected:
    void SetUp() override
    {
        TStoreTest::SetUp();
        CreateTables(Db);
    }

    int PageCacheMisses()
    {
        int current = 0, highest = 0;
        sqlite3_db_status(Db.Handle(), SQLITE_DBSTATUS_CACHE_MISS, &current, &highest, 0);
        return current;
    }
};

TEST_F(TBlobTest, BlobsRoundTripThroughStreamsAndFiles)
{
    const auto sound = Pattern(300000, 3);
    const auto source = Dir / "source.wav";
    {
        std::ofstream out(source, std::ios::binary);
        out.write(reinterpret_cast<const char*>(sound.data()), static_cast<std::streamsize>(sound.size()));
    }
    TTable sounds(Db, "SoundCatalog");
    sounds.Open();
    sounds.Append();
    sounds.LoadBlobFromFile("Sound", source);
    sounds.Post();
    sounds.Append();
    std::istringstream in(std::string(sound.rbegin(), sound.rend()));
    sounds.LoadBlobFromStream("Sound", in);
    sounds.Post();
    sounds.Close();

    sounds.Open();
    EXPECT_EQ(sounds.BlobSize("Sound"), 300000);
    EXPECT_EQ(sounds.ReadBlob("Sound"), sound);
    const auto target = Dir / "copy.wav";
    {
        std::ofstream old(target);
        old << "an older, longer file that must be replaced entirely" << std::string(400000, '-');
    }
    sounds.SaveBlobToFile("Sound", target);
    EXPECT_EQ(FileBytes(target), sound);
    for (const auto& entry : std::filesystem::directory_iterator(Dir))
        EXPECT_NE(entry.path().extension(), ".part") << "temporary left behind: " << entry.path();
    sounds.Next();
    auto stream = sounds.CreateBlobReadStream("Sound");
    const std::vector<uint8_t> streamed(std::istreambuf_iterator<char>(*stream), {});
    EXPECT_EQ(streamed, std::vector<uint8_t>(sound.rbegin(), sound.rend()));
    EXPECT_THROW(sounds.WriteBlob("Sound", {1}), EStoreError); // not editing
    sounds.Edit();
    EXPECT_THROW(sounds.LoadBlobFromFile("Sound", Dir / "missing.wav"), EStoreError);
}

TEST_F(TBlobTest, PendingBlobIsWhatEditingReadsUntilPostOrCancel)
{
    TTable sounds(Db, "SoundCatalog");
    sounds.Open();
    sounds.Append();
    EXPECT_TRUE(sounds.ReadBlob("Sound").empty());
    sounds.WriteBlob("Sound", {1, 2, 3});
    EXPECT_EQ(sounds.ReadBlob("Sound"), (std::vector<uint8_t>{1, 2, 3}));
    sounds.Post();

    sounds.Edit();
    sounds.WriteBlob("Sound", {9, 9});
    EXPECT_EQ(sounds.ReadBlob("Sound"), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(sounds.BlobSize("Sound"), 2);
    EXPECT_EQ(Query("SELECT length(Sound) FROM soundcatalog"), std::vector<std::string>{"3"});
    sounds.Cancel();
    EXPECT_EQ(sounds.ReadBlob("Sound"), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(TBlobTest, EmptyBlobsReadAsNoBytes)
{
    TTable sounds(Db, "SoundCatalog");
    sounds.Open();
    sounds.Append();
    sounds.Post(); // never written: NULL
    sounds.Append();
    sounds.WriteBlob("Sound", {});
    sounds.Post(); // written empty
    EXPECT_EQ(Query("SELECT typeof(Sound) FROM soundcatalog ORDER BY RecordNo"), (std::vector<std::string>{"null", "blob"}));
    for (sounds.First(); !sounds.Eof(); sounds.Next()) {
        EXPECT_TRUE(sounds.ReadBlob("Sound").empty());
        EXPECT_EQ(sounds.BlobSize("Sound"), 0);
        EXPECT_EQ(sounds.FieldByName("Sound").AsString(), "");
    }
    const auto target = Dir / "empty.wav";
    sounds.SaveBlobToFile("Sound", target);
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

TEST_F(TBlobTest, WalkingNeverReadsTheBlobs)
{
    constexpr size_t BlobBytes = 1 << 20; // 256 pages of 4 KiB each
    {
        TTable sounds(Db, "SoundCatalog");
        sounds.Open();
        for (int i = 0; i < 4; ++i) {
            sounds.Append();
            sounds.FieldByName("Category").SetAsInteger(i % 2);
            sounds.WriteBlob("Sound", Pattern(BlobBytes, static_cast<uint8_t>(i)));
            sounds.Post();
        }
    }
    Db.Disconnect(); // start with a cold page cache
    TTable sounds(Db, "SoundCatalog");
    sounds.Open();
    // Mapped reads bypass the page cache, so its misses would count
    // nothing: read through the cache to see every page the walk touches.
    ASSERT_EQ(sqlite3_exec(Db.Handle(), "PRAGMA mmap_size=0", nullptr, nullptr, nullptr), SQLITE_OK);
    const int opened = PageCacheMisses();
    for (int pass = 0; pass < 2; ++pass) {
        sounds.SetFiltered(pass == 1);
        sounds.SetFilter("Category = 1");
        for (sounds.First(); !sounds.Eof(); sounds.Next())
            EXPECT_EQ(sounds.FieldByName("Name").AsString(), "");
    }
    sounds.GotoBookmark(TBookmark{2});
    EXPECT_LT(PageCacheMisses(), 64) << "opened with " << opened;

    // Reading one blob does read its pages: the count above can tell.
    const int before = PageCacheMisses();
    EXPECT_EQ(sounds.BlobSize("Sound"), static_cast<int64_t>(BlobBytes));
    EXPECT_LT(PageCacheMisses() - before, 8);
    EXPECT_EQ(sounds.ReadBlob("Sound"), Pattern(BlobBytes, 1));
    EXPECT_GT(PageCacheMisses() - before, 200);
}

} // namespace
