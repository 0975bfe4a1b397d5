#include "store_fixture.h"

namespace {

class TFieldTest : public TStoreTest {
protected:
    void SetUp() override
    {
        TStoreTest::SetUp();
        CreateTables(Db);
    }

    // Writes one value through a fresh row, posts, and reads it back after
    // re-opening, so what is checked is what the file holds.
    std::string RoundTrip(const char* table, const char* field, const std::string& text, int size = 0)
    {
        std::string back;
        {
            TTable t(Db, table);
            t.Open();
            if (size > 0)
                t.FieldByName(field).SetSize(size);
            t.Append();
            t.FieldByName(field).SetAsString(text);
            t.Post();
        }
        TTable t(Db, table);
        t.Open();
        t.Last();
        return t.FieldByName(field).AsString();
    }
};

TEST_F(TFieldTest, FieldObjectsFollowTheDeclaredColumns)
{
    TTable data(Db, "SchemeData");
    data.Open();
    const std::vector<std::pair<const char*, TFieldType>> expected = {
        {"RecordNo", TFieldType::AutoInc},  {"SchemeNo", TFieldType::Integer},     {"Randomize", TFieldType::Boolean},
        {"CoordX", TFieldType::Float},      {"Pattern", TFieldType::SmallInt},     {"PatternSpeed", TFieldType::Word},
        {"Repeat", TFieldType::Word},       {"RepeatPatten", TFieldType::SmallInt}};
    for (const auto& [name, type] : expected)
        EXPECT_EQ(data.FieldByName(name).DataType(), type) << name;
    ASSERT_EQ(data.Fields().size(), 13u);
    EXPECT_EQ(data.Fields().back()->FieldName(), "ReversePattern");

    TTable sounds(Db, "SoundCatalog");
    sounds.Open();
    EXPECT_EQ(sounds.FieldByName("Name").Size(), 250);
    EXPECT_EQ(sounds.FieldByName("Sound").DataType(), TFieldType::Blob);
}

TEST_F(TFieldTest, StringWritesAreCutToTheFieldObjectsWidth)
{
    const std::string forty(40, 'p');
    EXPECT_EQ(RoundTrip("PlayListNames", "Name", forty, 30), std::string(30, 'p'));
    EXPECT_EQ(RoundTrip("PlayListNames", "Name", forty), forty);
    EXPECT_EQ(RoundTrip("Schemes", "Name", std::string(300, 's')), std::string(250, 's'));
}

TEST_F(TFieldTest, CuttingNeverSplitsAUtf8Character)
{
    // Groups of four characters of 1, 2, 3 and 4 bytes: a, e-acute, euro sign, a note.
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5";
    const std::vector<std::pair<int, size_t>> cases = {{30, 73}, {31, 76}, {32, 80}, {1, 1}, {40, 100}};
    for (const auto& [chars, bytes] : cases) {
        SCOPED_TRACE(chars);
        EXPECT_EQ(RoundTrip("PlayListNames", "Name", text, chars), text.substr(0, bytes));
    }
}

TEST_F(TFieldTest, EmptyColumnsReadAsEmptyValues)
{
    TTable data(Db, "SchemeData");
    data.Open();
    data.Append();
    data.Post();
    for (const auto& field : data.Fields()) {
        if (field->FieldName() == "RecordNo")
            continue;
        SCOPED_TRACE(field->FieldName());
        EXPECT_TRUE(field->IsNull());
        EXPECT_EQ(field->AsString(), "");
        EXPECT_EQ(field->AsInteger(), 0);
        EXPECT_EQ(field->AsFloat(), 0.0);
        EXPECT_FALSE(field->AsBoolean());
    }
    // An empty table's fields read the same way.
    TTable schemes(Db, "Schemes");
    schemes.Open();
    EXPECT_EQ(schemes.FieldByName("Name").AsString(), "");
    EXPECT_EQ(schemes.FieldByName("Volume").AsInteger(), 0);
}

struct TRangeCase {
    const char* Field;
    int32_t Value;
    bool Allowed;
};

TEST_F(TFieldTest, SixteenBitColumnsRejectValuesOutOfRange)
{
    const std::vector<TRangeCase> cases = {
        {"Pattern", -32768, true},       {"Pattern", 32767, true},      {"Pattern", 32768, false},
        {"Pattern", -32769, false},      {"RepeatPatten", -5, true},    {"PatternSpeed", 0, true},
        {"PatternSpeed", 65535, true},   {"PatternSpeed", -1, false},   {"Repeat", 65536, false},
        {"Freq", -2147483647 - 1, true},
    };
    TTable data(Db, "SchemeData");
    data.Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Field) + " " + std::to_string(c.Value));
        data.Append();
        if (c.Allowed) {
            data.FieldByName(c.Field).SetAsInteger(c.Value);
            data.Post();
            EXPECT_EQ(data.FieldByName(c.Field).AsInteger(), c.Value);
        } else {
            EXPECT_THROW(data.FieldByName(c.Field).SetAsInteger(c.Value), EStoreError);
            EXPECT_THROW(data.FieldByName(c.Field).SetAsString(std::to_string(c.Value)), EStoreError);
            data.Cancel();
        }
    }
}

TEST_F(TFieldTest, ValuesConvertBetweenTypes)
{
    TTable data(Db, "SchemeData");
    data.Open();
    data.Append();
    auto& freq = data.FieldByName("Freq");
    auto& coord = data.FieldByName("CoordX");
    auto& flag = data.FieldByName("Randomize");
    freq.SetAsString(" 12 ");
    coord.SetAsString("0.25");
    flag.SetAsBoolean(true);
    data.FieldByName("Pattern").SetAsFloat(2.6);
    data.Post();
    EXPECT_EQ(freq.AsInteger(), 12);
    EXPECT_EQ(freq.AsString(), "12");
    EXPECT_EQ(freq.AsFloat(), 12.0);
    EXPECT_EQ(coord.AsString(), "0.25");
    EXPECT_EQ(coord.AsInteger(), 0);
    EXPECT_EQ(flag.AsString(), "True");
    EXPECT_EQ(flag.AsInteger(), 1);
    EXPECT_EQ(data.FieldByName("Pattern").AsInteger(), 3);
    // Booleans are kept as 0/1 and numbers as numbers.
    EXPECT_EQ(Query("SELECT Randomize || ':' || typeof(Freq) FROM schemedata"), std::vector<std::string>{"1:integer"});

    data.Edit();
    EXPECT_THROW(freq.SetAsString("twelve"), EStoreError);
    EXPECT_THROW(flag.SetAsString("maybe"), EStoreError);
    freq.SetAsString("");
    EXPECT_TRUE(freq.IsNull());
    data.Post();

    TTable schemes(Db, "Schemes");
    schemes.Open();
    schemes.Append();
    auto& name = schemes.FieldByName("Name");
    name.SetAsInteger(-7);
    EXPECT_EQ(name.AsInteger(), -7);
    name.SetAsString("not a number");
    EXPECT_THROW(name.AsInteger(), EStoreError);
    EXPECT_THROW(name.AsFloat(), EStoreError);
    name.Clear();
    EXPECT_TRUE(name.IsNull());
}

TEST_F(TFieldTest, FieldSettingsSurviveCloseAndReopen)
{
    TTable lists(Db, "PlayListNames");
    lists.Open();
    TField* name = &lists.FieldByName("Name");
    name->SetSize(30);
    name->SetDisplayLabel("List");
    lists.Close();
    lists.Open();
    EXPECT_EQ(&lists.FieldByName("Name"), name);
    EXPECT_EQ(name->Size(), 30);
    EXPECT_EQ(name->DisplayLabel(), "List");
}

} // namespace
