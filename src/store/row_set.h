#pragma once
// Internal to the store: the visible rows of a table, kept flat. Each row is
// one record number and a fixed run of small cells; text lives in one pool,
// so reading a hundred thousand rows costs no allocation per row.

#include "store/sql_statement.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TRow {
    int64_t RowId = 0;
    std::vector<TValue> Values; // one per column; blob columns stay empty
};

class TRowSet {
public:
    void Reset(int columns);
    size_t Size() const { return m_rowIds.size(); }
    bool Empty() const { return m_rowIds.empty(); }

    int64_t RowId(size_t row) const { return m_rowIds[row]; }
    TValue Value(size_t row, int column) const;
    // Without building a value: integers (a float cut to its whole part,
    // anything else 0), and text as a view into the set (anything else "").
    int64_t IntegerAt(size_t row, int column) const;
    std::string_view TextAt(size_t row, int column) const;
    TRow Row(size_t row) const;
    int Find(int64_t rowId) const; // -1 when absent

    // Appends the current row of a statement whose column 0 is the rowid and
    // whose column i + 1 holds table column selectColumns[i]; rowIdColumn
    // (when >= 0) is the key column that is the rowid itself.
    void AppendFrom(const TStatement& stmt, const std::vector<int>& selectColumns, int rowIdColumn);
    void Insert(size_t at, const TRow& row);
    void Erase(size_t at);

private:
    enum class TKind : uint8_t { Null, Integer, Float, Text };
    struct TCell {
        TKind Kind = TKind::Null;
        uint32_t Length = 0;
        int64_t Bits = 0; // the integer, the double's bits, or the text's pool offset
    };

    TCell MakeCell(const TValue& value);
    TCell TextCell(const char* text, size_t length);

    int m_columns = 0;
    std::vector<int64_t> m_rowIds;
    std::vector<TCell> m_cells; // m_columns per row
    std::string m_text;         // replaced text stays until the next Reset
};
