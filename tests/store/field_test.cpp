#include "store_fixture.h"

#include <functional>

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

struct TConversionCase {
    const char* Table;
    const char* Field;
    std::function<void(TField&)> Write;
    std::string Text;
    int32_t Integer;
    double Float;
    bool Boolean;
};

TEST_F(TFieldTest, ValuesConvertBetweenTypes)
{
    using F = TField&;
    const std::vector<TConversionCase> cases = {
        {"SchemeData", "Freq", [](F f) { f.SetAsString(" 12 "); }, "12", 12, 12.0, true},
        {"SchemeData", "CoordX", [](F f) { f.SetAsString("0.25"); }, "0.25", 0, 0.25, true},
        {"SchemeData", "CoordY", [](F f) { f.SetAsInteger(-3); }, "-3", -3, -3.0, true},
        {"SchemeData", "Pattern", [](F f) { f.SetAsFloat(2.6); }, "3", 3, 3.0, true},
        {"SchemeData", "Randomize", [](F f) { f.SetAsBoolean(true); }, "True", 1, 1.0, true},
        {"SchemeData", "ReversePattern", [](F f) { f.SetAsString("False"); }, "False", 0, 0.0, false},
        {"Schemes", "Name", [](F f) { f.SetAsInteger(-7); }, "-7", -7, -7.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Field) + " " + c.Text);
        TTable table(Db, c.Table);
        table.Open();
        table.Append();
        c.Write(table.FieldByName(c.Field));
        table.Post();
        TField& field = table.FieldByName(c.Field);
        EXPECT_EQ(field.AsString(), c.Text);
        EXPECT_EQ(field.AsInteger(), c.Integer);
        EXPECT_EQ(field.AsFloat(), c.Float);
        EXPECT_EQ(field.AsBoolean(), c.Boolean);
    }
    // Booleans are kept as 0/1 and numbers as numbers.
    EXPECT_EQ(Query("SELECT quote(Randomize) FROM schemedata WHERE Randomize IS NOT NULL"), std::vector<std::string>{"1"});
    EXPECT_EQ(Query("SELECT typeof(Freq) FROM schemedata WHERE Freq IS NOT NULL"), std::vector<std::string>{"integer"});

    TTable data(Db, "SchemeData");
    data.Open();
    data.Edit();
    EXPECT_THROW(data.FieldByName("Freq").SetAsString("twelve"), EStoreError);
    EXPECT_THROW(data.FieldByName("Randomize").SetAsString("maybe"), EStoreError);
    data.FieldByName("Freq").SetAsString("");
    EXPECT_TRUE(data.FieldByName("Freq").IsNull());
    TTable schemes(Db, "Schemes");
    schemes.Open();
    schemes.Edit();
    schemes.FieldByName("Name").SetAsString("not a number");
    EXPECT_THROW(schemes.FieldByName("Name").AsInteger(), EStoreError);
    EXPECT_THROW(schemes.FieldByName("Name").AsFloat(), EStoreError);
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
