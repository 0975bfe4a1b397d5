// The visible set of a table: reading columns, building the one query per
// change, placing written rows in index order, and following a master.

#include "store/table_impl.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

void SkipSpaces(const std::string& text, size_t& at)
{
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
}

[[noreturn]] void RaiseBadFilter(const std::string& text)
{
    RaiseStoreError("Filter expression incorrectly formed: '" + text + "' (expected <Column> = <integer>)");
}

} // namespace

std::optional<TFilterTerm> ParseFilter(const std::string& text)
{
    size_t at = 0;
    SkipSpaces(text, at);
    if (at == text.size())
        return std::nullopt;
    TFilterTerm term;
    const size_t nameStart = at;
    while (at < text.size() && IsNameChar(text[at]))
        ++at;
    term.Column = text.substr(nameStart, at - nameStart);
    if (term.Column.empty() || std::isdigit(static_cast<unsigned char>(term.Column[0])))
        RaiseBadFilter(text);
    SkipSpaces(text, at);
    if (at == text.size() || text[at] != '=')
        RaiseBadFilter(text);
    ++at;
    SkipSpaces(text, at);
    if (at < text.size() && text[at] == '+')
        ++at;
    const size_t numberStart = at;
    if (at < text.size() && text[at] == '-')
        ++at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
        ++at;
    auto result = std::from_chars(text.data() + numberStart, text.data() + at, term.Value);
    if (result.ec != std::errc() || result.ptr != text.data() + at)
        RaiseBadFilter(text);
    SkipSpaces(text, at);
    if (at != text.size())
        RaiseBadFilter(text);
    return term;
}

void TTable::TImpl::CheckActive() const
{
    if (!Active())
        RaiseStoreError("Cannot perform this operation on a closed table (" + Self.TableName() + ")");
}

void TTable::TImpl::Raise(const TEvent& event)
{
    if (!event)
        return;
    // A handler may replace the very event that is running.
    TEvent handler = event;
    handler(Self);
}

void TTable::TImpl::ReadColumns()
{
    struct TInfo {
        std::string Name, Type;
        int Pk;
    };
    std::vector<TInfo> infos;
    {
        auto stmt = Db.Prepare("SELECT name, type, pk FROM pragma_table_info(?) ORDER BY cid");
        stmt.Bind(1, Self.TableName());
        while (stmt.Step())
            infos.push_back({stmt.Text(0), stmt.Text(1), static_cast<int>(stmt.Int(2))});
    }
    if (infos.empty()) {
        // Let SQLite word the failure ("no such table: ...").
        auto probe = Db.Prepare("SELECT 1 FROM " + QuoteName(Self.TableName()));
        RaiseStoreError("no such table: " + Self.TableName());
    }
    const long pkCount = std::count_if(infos.begin(), infos.end(), [](const TInfo& i) { return i.Pk > 0; });
    Columns.clear();
    SelectColumns.clear();
    RowIdColumn = -1;
    SelectList = "rowid";
    for (const auto& info : infos) {
        // Only a lone INTEGER key is SQLite's row number, handed out by the store.
        const bool rowIdKey = info.Pk == 1 && pkCount == 1 && SameName(info.Type, "INTEGER");
        TColumn column{info.Name, TFieldType::Blob, 0};
        column.Type = FieldTypeFromDecl(info.Type, rowIdKey, column.Size);
        if (rowIdKey) {
            RowIdColumn = static_cast<int>(Columns.size()); // read once, as the rowid
        } else if (column.Type != TFieldType::Blob) {
            SelectColumns.push_back(static_cast<int>(Columns.size()));
            SelectList += ", " + QuoteName(info.Name);
        }
        Columns.push_back(std::move(column));
    }
}

void TTable::TImpl::BindFields()
{
    auto& fields = Self.m_fields;
    if (!FieldsBuilt) {
        std::vector<std::unique_ptr<TField>> built;
        for (size_t i = 0; i < Columns.size(); ++i) {
            const auto& column = Columns[i];
            built.emplace_back(new TField(Self, column.Name, column.Type, column.Size, static_cast<int>(i)));
        }
        // Lookup fields were added before the first open; they come last.
        for (auto& field : fields)
            built.push_back(std::move(field));
        fields = std::move(built);
        FieldsBuilt = true;
    }
    for (auto& field : fields) {
        if (field->m_lookupTable)
            RequireColumn(field->m_lookupKeyField);
        else
            field->m_column = RequireColumn(field->FieldName());
    }
}

int TTable::TImpl::ColumnIndex(const std::string& name) const
{
    for (size_t i = 0; i < Columns.size(); ++i)
        if (SameName(Columns[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

int TTable::TImpl::RequireColumn(const std::string& name) const
{
    const int column = ColumnIndex(name);
    if (column < 0)
        RaiseStoreError(Self.TableName() + ": Field '" + name + "' not found");
    return column;
}

std::vector<int> TTable::TImpl::ResolveIndex(const std::string& indexName)
{
    if (indexName.empty())
        return {};
    std::string realName;
    {
        auto stmt = Db.Prepare("SELECT name FROM sqlite_master WHERE type = 'index' AND name = ? COLLATE NOCASE"
                               " AND tbl_name = ? COLLATE NOCASE");
        stmt.Bind(1, indexName);
        stmt.Bind(2, Self.TableName());
        if (!stmt.Step())
            RaiseStoreError(Self.TableName() + ": Index '" + indexName + "' not found");
        realName = stmt.Text(0);
    }
    std::vector<int> keys;
    auto stmt = Db.Prepare("SELECT name FROM pragma_index_info(?) ORDER BY seqno");
    stmt.Bind(1, realName);
    while (stmt.Step()) {
        if (stmt.IsNull(0))
            RaiseStoreError(Self.TableName() + ": Index '" + indexName + "' is on an expression");
        keys.push_back(RequireColumn(stmt.Text(0)));
    }
    return keys;
}

void TTable::TImpl::CheckFilterColumn(const std::optional<TFilterTerm>& filter) const
{
    if (filter)
        RequireColumn(filter->Column);
}

std::string TTable::TImpl::WhereSql(std::vector<TValue>& params, bool& noRows) const
{
    std::string where;
    noRows = false;
    if (Filtered && Filter) {
        where = QuoteName(Columns[RequireColumn(Filter->Column)].Name) + " = ?";
        params.emplace_back(Filter->Value);
    }
    if (Master) {
        TValue value = MasterValue();
        // No master row: no detail rows, and nothing to ask SQLite.
        noRows = std::holds_alternative<std::monostate>(value);
        if (!where.empty())
            where += " AND ";
        where += QuoteName(DetailField) + " = ?";
        params.push_back(std::move(value));
    }
    return where;
}

void TTable::TImpl::Load()
{
    Rows.Reset(static_cast<int>(Columns.size()));
    std::vector<TValue> params;
    bool noRows = false;
    const std::string where = WhereSql(params, noRows);
    if (noRows)
        return;
    std::string sql = "SELECT " + SelectList + " FROM " + QuoteName(Self.TableName());
    if (!where.empty())
        sql += " WHERE " + where;
    sql += " ORDER BY ";
    for (int key : KeyColumns)
        sql += QuoteName(Columns[key].Name) + ", ";
    sql += "rowid";
    auto stmt = Db.Prepare(sql);
    for (size_t i = 0; i < params.size(); ++i)
        stmt.Bind(static_cast<int>(i + 1), params[i]);
    while (stmt.Step())
        Rows.AppendFrom(stmt, SelectColumns, RowIdColumn);
}

std::optional<TRow> TTable::TImpl::FetchVisible(int64_t rowId)
{
    std::vector<TValue> params{rowId};
    bool noRows = false;
    const std::string where = WhereSql(params, noRows);
    if (noRows)
        return std::nullopt;
    std::string sql = "SELECT " + SelectList + " FROM " + QuoteName(Self.TableName()) + " WHERE rowid = ?";
    if (!where.empty())
        sql += " AND " + where;
    auto stmt = Db.Prepare(sql);
    for (size_t i = 0; i < params.size(); ++i)
        stmt.Bind(static_cast<int>(i + 1), params[i]);
    if (!stmt.Step())
        return std::nullopt;
    return ReadRow(stmt);
}

TRow TTable::TImpl::ReadRow(const TStatement& stmt) const
{
    TRow row;
    row.RowId = stmt.Int(0);
    row.Values.resize(Columns.size());
    if (RowIdColumn >= 0)
        row.Values[RowIdColumn] = row.RowId;
    for (size_t i = 0; i < SelectColumns.size(); ++i)
        row.Values[SelectColumns[i]] = stmt.Value(static_cast<int>(i + 1));
    return row;
}

// True when the visible row sorts before the probe in index order.
bool TTable::TImpl::Less(const TRow& probe, size_t row) const
{
    for (int key : KeyColumns) {
        const int order = CompareValues(Rows.Value(row, key), probe.Values[key]);
        if (order != 0)
            return order < 0;
    }
    return Rows.RowId(row) < probe.RowId;
}

int TTable::TImpl::InsertPoint(const TRow& row) const
{
    size_t low = 0, high = Rows.Size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (Less(row, middle))
            low = middle + 1;
        else
            high = middle;
    }
    return static_cast<int>(low);
}

int TTable::TImpl::FindRow(int64_t rowId) const
{
    return Rows.Find(rowId);
}

void TTable::TImpl::ToFirst()
{
    Pos = Rows.Empty() ? -1 : 0;
    Bof = true;
    Eof = Rows.Empty();
}

void TTable::TImpl::Reload(bool keepRow)
{
    const int64_t rowId = keepRow ? CurrentRowId() : 0;
    Load();
    const int at = rowId > 0 ? FindRow(rowId) : -1;
    if (at >= 0) {
        Pos = at;
        Eof = Bof = false;
    } else {
        ToFirst();
    }
    Scrolled();
}

TValue TTable::TImpl::CurrentValue(int column) const
{
    if (column < 0)
        return std::monostate{};
    if (Editing())
        return Buffer.Values[column];
    if (Pos >= 0)
        return Rows.Value(static_cast<size_t>(Pos), column);
    return std::monostate{};
}

int64_t TTable::TImpl::CurrentRowId() const
{
    if (State == TTableState::Edit)
        return Buffer.RowId;
    if (State == TTableState::Browse && Pos >= 0)
        return Rows.RowId(static_cast<size_t>(Pos));
    return 0;
}

TValue TTable::TImpl::MasterValue() const
{
    if (!Master || !Master->Active())
        return std::monostate{};
    const auto& master = *Master->m_impl;
    return master.CurrentValue(master.ColumnIndex(MasterField));
}

void TTable::TImpl::PostPending()
{
    if (Editing())
        Self.Post();
}

std::vector<int> TTable::TImpl::ChangedColumns() const
{
    std::vector<int> columns;
    for (size_t i = 0; i < Columns.size(); ++i)
        if (Dirty[i] && Columns[i].Type != TFieldType::Blob)
            columns.push_back(static_cast<int>(i));
    for (const auto& blob : PendingBlobs)
        columns.push_back(blob.first);
    return columns;
}

std::string TTable::TImpl::WriteSql(const std::vector<int>& columns, bool insert) const
{
    const std::string table = QuoteName(Self.TableName());
    if (insert && columns.empty())
        return "INSERT INTO " + table + " DEFAULT VALUES";
    std::string names, marks;
    for (int c : columns) {
        const std::string separator = names.empty() ? "" : ", ";
        names += separator + QuoteName(Columns[c].Name) + (insert ? "" : " = ?");
        marks += separator + "?";
    }
    if (insert)
        return "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
    return "UPDATE " + table + " SET " + names + " WHERE rowid = ?";
}

int64_t TTable::TImpl::WriteBuffer()
{
    const bool insert = State == TTableState::Insert;
    const std::vector<int> columns = ChangedColumns();
    if (!insert && columns.empty())
        return Buffer.RowId;
    // A single statement is its own transaction.
    auto stmt = Db.Prepare(WriteSql(columns, insert));
    int param = 1;
    for (int c : columns) {
        auto blob = PendingBlobs.find(c);
        if (blob != PendingBlobs.end())
            stmt.BindBlob(param++, blob->second);
        else
            stmt.Bind(param++, Buffer.Values[c]);
    }
    if (!insert)
        stmt.BindInt(param, Buffer.RowId);
    stmt.Run();
    sqlite3* db = Db.Handle();
    if (insert)
        return sqlite3_last_insert_rowid(db);
    if (sqlite3_changes(db) == 0)
        RaiseStoreError(Self.TableName() + ": Record not found (it was deleted)");
    return Buffer.RowId;
}

void TTable::TImpl::DropBuffer()
{
    Buffer = TRow{};
    Dirty.assign(Columns.size(), false);
    PendingBlobs.clear();
}

void TTable::TImpl::Scrolled()
{
    NotifyDetails(true);
    Raise(Self.AfterScroll);
}

void TTable::TImpl::NotifyDetails(bool force)
{
    if (Details.empty())
        return;
    // A handler may link or unlink tables while this runs.
    const std::vector<TTable*> details = Details;
    for (TTable* detail : details)
        if (detail->Active())
            detail->m_impl->MasterMoved(force);
}

void TTable::TImpl::MasterMoved(bool force)
{
    TValue value = MasterValue();
    if (!force && value == LinkValue)
        return;
    PostPending();
    LinkValue = std::move(value);
    Load();
    ToFirst();
    Scrolled();
}

void TTable::TImpl::Unlink()
{
    if (!Master)
        return;
    auto& siblings = Master->m_impl->Details;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), &Self), siblings.end());
    Master = nullptr;
}
