// TEditScope: an edit or append is either posted or leaves the table as it
// was, however the scope ends.
#include "store/edit_scope.h"
#include "store_fixture.h"

#include <optional>
#include <stdexcept>

namespace {

using TNames = std::vector<std::string>;

class TEditScopeTest : public TStoreTest {
protected:
    void SetUp() override
    {
        TStoreTest::SetUp();
        CreateTables(Db);
        Reset();
    }

    // Rows "a", "b", "c" with the cursor on "b", and no triggers.
    void Reset()
    {
        Db.Exec("DROP TRIGGER IF EXISTS refuse_insert");
        Db.Exec("DROP TRIGGER IF EXISTS refuse_update");
        Db.Exec("DELETE FROM schemes");
        Schemes.Close();
        Schemes.Open();
        AddNames(Schemes, {"a", "b", "c"});
        Schemes.First();
        Schemes.Next();
    }

    TNames StoredNames() { return Query("SELECT Name FROM schemes ORDER BY RecordNo"); }
    std::string CurrentName() { return Schemes.FieldByName("Name").AsString(); }

    TTable Schemes{Db, "Schemes"};
};

enum class TEnding { Posted, Thrown, LeftUnposted, PostRefused };

TEST_F(TEditScopeTest, PostStoresTheRowAndEveryOtherEndingLeavesTheTableAsItWas)
{
    using M = TEditScope;
    const struct {
        const char* Name;
        TEditScope::TMode Mode;
        TEnding Ending;
        TNames Stored;
        std::string Current;
    } cases[] = {
        {"edit posted", M::Edit, TEnding::Posted, {"a", "x", "c"}, "x"},
        {"edit, exception before post", M::Edit, TEnding::Thrown, {"a", "b", "c"}, "b"},
        {"edit left unposted", M::Edit, TEnding::LeftUnposted, {"a", "b", "c"}, "b"},
        {"edit, post refused by the store", M::Edit, TEnding::PostRefused, {"a", "b", "c"}, "b"},
        {"append posted", M::Append, TEnding::Posted, {"a", "b", "c", "x"}, "x"},
        {"append, exception before post", M::Append, TEnding::Thrown, {"a", "b", "c"}, "b"},
        {"append left unposted", M::Append, TEnding::LeftUnposted, {"a", "b", "c"}, "b"},
        {"append, post refused by the store", M::Append, TEnding::PostRefused, {"a", "b", "c"}, "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Reset();
        if (c.Ending == TEnding::PostRefused) {
            Db.Exec("CREATE TRIGGER refuse_insert BEFORE INSERT ON schemes BEGIN SELECT RAISE(ABORT, 'refused'); END");
            Db.Exec("CREATE TRIGGER refuse_update BEFORE UPDATE ON schemes BEGIN SELECT RAISE(ABORT, 'refused'); END");
        }
        auto run = [&] {
            TEditScope scope(Schemes, c.Mode);
            EXPECT_TRUE(Schemes.IsEditing());
            Schemes.FieldByName("Name").SetAsString("x");
            if (c.Ending == TEnding::Thrown)
                throw std::runtime_error("between start and post");
            if (c.Ending != TEnding::LeftUnposted)
                scope.Post();
        };
        if (c.Ending == TEnding::Thrown)
            EXPECT_THROW(run(), std::runtime_error);
        else if (c.Ending == TEnding::PostRefused)
            EXPECT_THROW(run(), EStoreError);
        else
            EXPECT_NO_THROW(run());

        EXPECT_EQ(Schemes.State(), TTableState::Browse);
        EXPECT_EQ(StoredNames(), c.Stored);
        EXPECT_EQ(CurrentName(), c.Current);
    }
}

// A failing event handler neither leaves a started row behind nor makes the
// scope throw from its destructor, which would end the program mid-unwind.
TEST_F(TEditScopeTest, FailingHandlersLeaveNoRowStarted)
{
    Schemes.OnNewRecord = [](TTable&) { throw std::runtime_error("new record"); };
    EXPECT_THROW(TEditScope(Schemes, TEditScope::Append), std::runtime_error);
    EXPECT_EQ(Schemes.State(), TTableState::Browse);
    Schemes.OnNewRecord = nullptr;

    bool failScroll = false;
    Schemes.AfterScroll = [&](TTable&) {
        if (failScroll)
            throw std::runtime_error("scroll");
    };
    EXPECT_NO_THROW({
        TEditScope scope(Schemes, TEditScope::Append);
        failScroll = true; // the cancel's AfterScroll fails
    });
    EXPECT_EQ(Schemes.State(), TTableState::Browse);
    EXPECT_EQ(StoredNames(), (TNames{"a", "b", "c"}));
}

// Posts inside a store transaction reach the file together or not at all,
// whether the scope stands alone or inside another.
TEST_F(TEditScopeTest, ATransactionStoresEveryPostOrNone)
{
    const struct {
        const char* Name;
        bool InnerCommits, OuterCommits, Nested;
        TNames Stored;
    } cases[] = {
        {"committed", true, true, false, {"x", "y", "c"}},
        {"left without commit", false, true, false, {"a", "b", "c"}},
        {"inner committed, outer not", true, false, true, {"a", "b", "c"}},
        {"inner left, outer committed", false, true, true, {"a", "b", "c"}},
        {"both committed", true, true, true, {"x", "y", "c"}},
    };
    auto rename = [&](const char* name) {
        TEditScope scope(Schemes, TEditScope::Edit);
        Schemes.FieldByName("Name").SetAsString(name);
        scope.Post();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Reset();
        {
            std::optional<TStoreTransaction> outer;
            if (c.Nested)
                outer.emplace(Db);
            {
                TStoreTransaction inner(Db);
                Schemes.First();
                rename("x");
                Schemes.Next();
                rename("y");
                if (c.InnerCommits)
                    inner.Commit();
            }
            if (outer && c.OuterCommits)
                outer->Commit();
        }
        EXPECT_EQ(StoredNames(), c.Stored);
    }
}

} // namespace
