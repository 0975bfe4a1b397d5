// The six tables of Ambitone.db and the settings they are made with.

#include "store/database.h"

namespace {

TFieldDef Key()
{
    return {"RecordNo", TFieldType::AutoInc, 0};
}

TFieldDef Str(const char* name, int size)
{
    return {name, TFieldType::String, size};
}

TFieldDef Col(const char* name, TFieldType type)
{
    return {name, type, 0};
}

TIndexDef PrimaryIndex()
{
    return {"", "RecordNo", true, true};
}

TIndexDef Secondary(const char* name, const char* field)
{
    return {name, field, false, false};
}

TTableDef Table(const char* name, const char* description, std::vector<TFieldDef> fields,
                std::vector<TIndexDef> indexes = {})
{
    indexes.insert(indexes.begin(), PrimaryIndex());
    return {name, description, std::move(fields), std::move(indexes), StockFullTextParams()};
}

TFullTextParams MakeStockFullText()
{
    TFullTextParams params;
    params.StopWords = {"A",  "AN", "AND", "BE",   "FOR", "HOW",  "IN",   "IS",   "IT",    "OF",  "ON",
                        "OR", "THAT", "THE", "THIS", "TO", "WAS", "WHAT", "WHEN", "WHICH", "WHY", "WILL"};
    for (int c = 1; c <= 32; ++c)
        params.SpaceChars += static_cast<char>(c);
    params.SpaceChars += "*+,-./:;<=>\\`";
    for (char c = '0'; c <= '9'; ++c)
        params.IncludeChars += c;
    for (char c = 'A'; c <= 'Z'; ++c)
        params.IncludeChars += c;
    params.IncludeChars += '_';
    for (char c = 'a'; c <= 'z'; ++c)
        params.IncludeChars += c;
    for (int c = 128; c <= 254; ++c)
        params.IncludeChars += static_cast<char>(c);
    return params;
}

std::vector<TTableDef> MakeTableDefs()
{
    using T = TFieldType;
    return {
        Table("musicplaylist", "Play List",
              {Key(), Col("PlayListNo", T::Integer), Str("MusicPath", 250), Col("SchemeNo", T::Integer)},
              {Secondary("PlayList", "PlayListNo")}),
        Table("playlistnames", "Play List Names", {Key(), Str("Name", 250)}),
        Table("schemedata", "Scheme Data",
              {Key(), Col("SchemeNo", T::Integer), Col("SoundNo", T::Integer), Col("Freq", T::Integer),
               Col("Randomize", T::Boolean), Col("CoordX", T::Float), Col("CoordY", T::Float),
               Col("CoordZ", T::Float), Col("Pattern", T::SmallInt), Col("PatternSpeed", T::Word),
               Col("Repeat", T::Word), Col("RepeatPatten", T::SmallInt), Col("ReversePattern", T::Boolean)},
              {Secondary("Scheme", "SchemeNo")}),
        Table("schemes", "Sound Scheme List",
              {Key(), Str("Name", 250), Col("LoopPeriod", T::Integer), Col("Volume", T::Integer)}),
        Table("soundcatalog", "Sound Catalog",
              {Key(), Col("Category", T::Integer), Str("Name", 250), Col("Sound", T::Blob)}),
        Table("soundcategory", "Category List", {Key(), Col("ParentNo", T::Integer), Str("Name", 250)}),
    };
}

} // namespace

const TFullTextParams& StockFullTextParams()
{
    static const TFullTextParams params = MakeStockFullText();
    return params;
}

const std::vector<TTableDef>& AmbitoneTableDefs()
{
    static const std::vector<TTableDef> defs = MakeTableDefs();
    return defs;
}

void CreateTables(TDatabase& database)
{
    // Each table is its own transaction, so a failure keeps the ones made.
    for (const auto& def : AmbitoneTableDefs())
        if (!database.TableExists(def.Name))
            database.CreateTable(def);
}
