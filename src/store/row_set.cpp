#include "store/row_set.h"

#include <bit>

void TRowSet::Reset(int columns)
{
    m_columns = columns;
    m_rowIds.clear();
    m_cells.clear();
    m_text.clear();
}

TValue TRowSet::Value(size_t row, int column) const
{
    const TCell& cell = m_cells[row * m_columns + column];
    switch (cell.Kind) {
    case TKind::Integer:
        return cell.Bits;
    case TKind::Float:
        return std::bit_cast<double>(cell.Bits);
    case TKind::Text:
        return std::string(m_text, static_cast<size_t>(cell.Bits), cell.Length);
    default:
        return std::monostate{};
    }
}

int64_t TRowSet::IntegerAt(size_t row, int column) const
{
    const TCell& cell = m_cells[row * m_columns + column];
    if (cell.Kind == TKind::Integer)
        return cell.Bits;
    if (cell.Kind == TKind::Float)
        return static_cast<int64_t>(std::bit_cast<double>(cell.Bits));
    return 0;
}

std::string_view TRowSet::TextAt(size_t row, int column) const
{
    const TCell& cell = m_cells[row * m_columns + column];
    if (cell.Kind != TKind::Text)
        return {};
    return std::string_view(m_text).substr(static_cast<size_t>(cell.Bits), cell.Length);
}

TRow TRowSet::Row(size_t row) const
{
    TRow copy;
    copy.RowId = m_rowIds[row];
    copy.Values.reserve(m_columns);
    for (int c = 0; c < m_columns; ++c)
        copy.Values.push_back(Value(row, c));
    return copy;
}

int TRowSet::Find(int64_t rowId) const
{
    for (size_t i = 0; i < m_rowIds.size(); ++i)
        if (m_rowIds[i] == rowId)
            return static_cast<int>(i);
    return -1;
}

TRowSet::TCell TRowSet::TextCell(const char* text, size_t length)
{
    TCell cell{TKind::Text, static_cast<uint32_t>(length), static_cast<int64_t>(m_text.size())};
    m_text.append(text, length);
    return cell;
}

TRowSet::TCell TRowSet::MakeCell(const TValue& value)
{
    if (auto* i = std::get_if<int64_t>(&value))
        return {TKind::Integer, 0, *i};
    if (auto* d = std::get_if<double>(&value))
        return {TKind::Float, 0, std::bit_cast<int64_t>(*d)};
    if (auto* s = std::get_if<std::string>(&value))
        return TextCell(s->data(), s->size());
    return {};
}

void TRowSet::AppendFrom(const TStatement& stmt, const std::vector<int>& selectColumns, int rowIdColumn)
{
    const int64_t rowId = stmt.Int(0);
    m_rowIds.push_back(rowId);
    const size_t first = m_cells.size();
    m_cells.resize(first + m_columns);
    if (rowIdColumn >= 0)
        m_cells[first + rowIdColumn] = {TKind::Integer, 0, rowId};
    for (size_t i = 0; i < selectColumns.size(); ++i) {
        const int at = static_cast<int>(i + 1);
        TCell& cell = m_cells[first + selectColumns[i]];
        switch (stmt.Type(at)) {
        case SQLITE_INTEGER:
            cell = {TKind::Integer, 0, stmt.Int(at)};
            break;
        case SQLITE_FLOAT:
            cell = {TKind::Float, 0, std::bit_cast<int64_t>(stmt.Real(at))};
            break;
        case SQLITE_NULL:
            break;
        default: {
            const std::string_view text = stmt.TextView(at);
            cell = TextCell(text.data(), text.size());
        }
        }
    }
}

void TRowSet::Insert(size_t at, const TRow& row)
{
    std::vector<TCell> cells;
    cells.reserve(m_columns);
    for (int c = 0; c < m_columns; ++c)
        cells.push_back(MakeCell(row.Values[c]));
    m_rowIds.insert(m_rowIds.begin() + static_cast<std::ptrdiff_t>(at), row.RowId);
    m_cells.insert(m_cells.begin() + static_cast<std::ptrdiff_t>(at * m_columns), cells.begin(), cells.end());
}

void TRowSet::Erase(size_t at)
{
    m_rowIds.erase(m_rowIds.begin() + static_cast<std::ptrdiff_t>(at));
    auto first = m_cells.begin() + static_cast<std::ptrdiff_t>(at * m_columns);
    m_cells.erase(first, first + m_columns);
}
