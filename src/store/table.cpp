// TTable's public operations: opening, walking, editing, bookmarks, filters
// and master links. The row set itself lives in table_impl.cpp.

#include "store/table_impl.h"

#include <algorithm>

TTable::TTable(TDatabase& database, std::string tableName)
    : m_db(database), m_tableName(std::move(tableName)), m_impl(std::make_unique<TImpl>(*this, database))
{
    m_db.RegisterTable(this);
}

TTable::~TTable()
{
    auto& d = *m_impl;
    // Details keep their rows but stop following; no events run while
    // the window is being torn down.
    for (TTable* detail : d.Details)
        detail->m_impl->Master = nullptr;
    d.Details.clear();
    d.Unlink();
    d.State = TTableState::Inactive;
    if (!d.Detached)
        m_db.UnregisterTable(this);
}

void TTable::DetachDatabase()
{
    auto& d = *m_impl;
    d.State = TTableState::Inactive;
    d.Rows = TRowSet{};
    d.DropBuffer();
    d.Detached = true;
}

void TTable::Open()
{
    auto& d = *m_impl;
    if (d.Active())
        return;
    if (d.Detached)
        RaiseStoreError(m_tableName + ": its database no longer exists");
    d.ReadColumns();
    d.BindFields();
    d.KeyColumns = d.ResolveIndex(d.IndexName);
    d.CheckFilterColumn(d.Filter);
    if (d.Master)
        d.RequireColumn(d.DetailField);
    d.LinkValue = d.MasterValue();
    d.Load();
    d.DropBuffer();
    d.State = TTableState::Browse;
    d.ToFirst();
    d.NotifyDetails(true);
    d.Raise(AfterOpen);
}

void TTable::Close()
{
    auto& d = *m_impl;
    if (!d.Active())
        return;
    d.State = TTableState::Inactive;
    d.Rows = TRowSet{};
    d.DropBuffer();
    d.Pos = -1;
    d.Eof = d.Bof = true;
    d.NotifyDetails(true);
}

bool TTable::Active() const
{
    return m_impl->Active();
}

TTableState TTable::State() const
{
    return m_impl->State;
}

bool TTable::IsEditing() const
{
    return m_impl->Editing();
}

void TTable::SetIndexName(const std::string& indexName)
{
    auto& d = *m_impl;
    if (!d.Active()) {
        d.IndexName = indexName;
        return;
    }
    auto keys = d.ResolveIndex(indexName);
    d.PostPending();
    d.IndexName = indexName;
    d.KeyColumns = std::move(keys);
    d.Reload(true);
}

const std::string& TTable::IndexName() const
{
    return m_impl->IndexName;
}

void TTable::SetFilter(const std::string& filterText)
{
    auto& d = *m_impl;
    auto filter = ParseFilter(filterText);
    if (d.Active()) {
        d.CheckFilterColumn(filter);
        d.PostPending();
    }
    d.FilterText = filterText;
    d.Filter = std::move(filter);
    if (d.Active())
        d.Reload(false);
}

const std::string& TTable::Filter() const
{
    return m_impl->FilterText;
}

void TTable::SetFiltered(bool on)
{
    auto& d = *m_impl;
    if (d.Active())
        d.PostPending();
    d.Filtered = on;
    if (d.Active())
        d.Reload(false);
}

bool TTable::Filtered() const
{
    return m_impl->Filtered;
}

void TTable::SetMaster(TTable* master, const std::string& masterField, const std::string& detailField)
{
    auto& d = *m_impl;
    if (master == this)
        RaiseStoreError(m_tableName + ": a table cannot be its own master");
    if (d.Active() && master)
        d.RequireColumn(detailField);
    if (d.Active())
        d.PostPending();
    d.Unlink();
    d.Master = master;
    d.MasterField = masterField;
    d.DetailField = detailField;
    if (master)
        master->m_impl->Details.push_back(this);
    if (d.Active()) {
        d.LinkValue = d.MasterValue();
        d.Reload(false);
    }
}

void TTable::Refresh()
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    d.Reload(true);
}

void TTable::First()
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    d.ToFirst();
    d.Scrolled();
}

void TTable::Next()
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    if (d.Eof)
        return;
    if (d.Pos + 1 < static_cast<int>(d.Rows.Size())) {
        ++d.Pos;
        d.Bof = false;
    } else {
        d.Eof = true;
        d.Bof = d.Rows.Empty();
    }
    d.Scrolled();
}

void TTable::Prior()
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    if (d.Bof)
        return;
    if (d.Pos > 0) {
        --d.Pos;
        d.Eof = false;
    } else {
        d.Bof = true;
        d.Eof = d.Rows.Empty();
    }
    d.Scrolled();
}

void TTable::Last()
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    d.Pos = static_cast<int>(d.Rows.Size()) - 1;
    d.Eof = true;
    d.Bof = d.Rows.Empty();
    d.Scrolled();
}

bool TTable::Eof() const
{
    return !m_impl->Active() || m_impl->Eof;
}

bool TTable::Bof() const
{
    return !m_impl->Active() || m_impl->Bof;
}

bool TTable::IsEmpty() const
{
    const auto& d = *m_impl;
    return !d.Active() || (d.Rows.Empty() && d.State != TTableState::Insert);
}

int TTable::RecordCount() const
{
    return m_impl->Active() ? static_cast<int>(m_impl->Rows.Size()) : 0;
}

void TTable::Append()
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    d.ReturnPos = d.Pos;
    d.DropBuffer();
    d.Buffer.Values.resize(d.Columns.size());
    d.State = TTableState::Insert;
    d.Eof = d.Bof = false;
    if (d.Master) {
        const int column = d.RequireColumn(d.DetailField);
        d.Buffer.Values[column] = d.MasterValue();
        d.Dirty[column] = true;
    }
    d.Raise(OnNewRecord);
    d.Scrolled();
}

void TTable::Edit()
{
    auto& d = *m_impl;
    d.CheckActive();
    if (d.Editing())
        return;
    if (d.Pos < 0)
        RaiseStoreError(m_tableName + ": Cannot edit an empty table");
    d.DropBuffer();
    d.Buffer = d.Rows.Row(static_cast<size_t>(d.Pos));
    d.State = TTableState::Edit;
}

void TTable::Post()
{
    auto& d = *m_impl;
    d.CheckActive();
    if (!d.Editing())
        return;
    const bool wasInsert = d.State == TTableState::Insert;
    const int64_t rowId = d.WriteBuffer();
    std::optional<TRow> written = d.FetchVisible(rowId);
    TRow old = std::move(d.Buffer);
    old.RowId = rowId;
    int cursor = d.Pos;
    if (!wasInsert)
        d.Rows.Erase(static_cast<size_t>(d.Pos));
    else if (!written)
        cursor = d.InsertPoint(old); // where it would have been
    d.State = TTableState::Browse;
    d.DropBuffer();
    const bool dropped = !written;
    if (written) {
        d.Pos = d.InsertPoint(*written);
        d.Rows.Insert(static_cast<size_t>(d.Pos), *written);
    } else {
        d.Pos = std::min(cursor, static_cast<int>(d.Rows.Size()) - 1);
    }
    d.Eof = d.Bof = d.Rows.Empty();
    d.NotifyDetails(dropped);
    d.Raise(AfterPost);
    if (dropped)
        d.Raise(AfterScroll);
}

void TTable::Cancel()
{
    auto& d = *m_impl;
    if (!d.Editing())
        return;
    const bool wasInsert = d.State == TTableState::Insert;
    d.State = TTableState::Browse;
    d.DropBuffer();
    if (!wasInsert) {
        d.NotifyDetails(false);
        return;
    }
    const int count = static_cast<int>(d.Rows.Size());
    d.Pos = count == 0 ? -1 : std::clamp(d.ReturnPos, 0, count - 1);
    d.Eof = d.Bof = count == 0;
    d.Scrolled();
}

void TTable::Delete()
{
    auto& d = *m_impl;
    d.CheckActive();
    if (d.State == TTableState::Insert) {
        Cancel();
        return;
    }
    if (d.Pos < 0)
        RaiseStoreError(m_tableName + ": Cannot delete from an empty table");
    const int64_t rowId = d.Rows.RowId(static_cast<size_t>(d.Pos));
    {
        auto stmt = d.Db.Prepare("DELETE FROM " + QuoteName(m_tableName) + " WHERE rowid = ?");
        stmt.BindInt(1, rowId);
        stmt.Run();
    }
    d.State = TTableState::Browse;
    d.DropBuffer();
    d.Rows.Erase(static_cast<size_t>(d.Pos));
    d.Pos = std::min(d.Pos, static_cast<int>(d.Rows.Size()) - 1);
    d.Eof = d.Bof = d.Rows.Empty();
    d.Raise(AfterDelete);
    d.Scrolled();
}

TBookmark TTable::GetBookmark() const
{
    return TBookmark{m_impl->Active() ? m_impl->CurrentRowId() : 0};
}

void TTable::GotoBookmark(const TBookmark& bookmark)
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    int at = d.FindRow(bookmark.RecordNo);
    if (at < 0) {
        // Possibly written through another table object since the last read.
        auto row = bookmark.IsValid() ? d.FetchVisible(bookmark.RecordNo) : std::nullopt;
        if (!row)
            RaiseStoreError(m_tableName + ": Record not found (record number " + std::to_string(bookmark.RecordNo) + ")");
        at = d.InsertPoint(*row);
        d.Rows.Insert(static_cast<size_t>(at), *row);
    }
    d.Pos = at;
    d.Eof = d.Bof = false;
    d.Scrolled();
}

bool TTable::BookmarkValid(const TBookmark& bookmark) const
{
    auto& d = *m_impl;
    if (!d.Active() || !bookmark.IsValid())
        return false;
    return d.FindRow(bookmark.RecordNo) >= 0 || d.FetchVisible(bookmark.RecordNo).has_value();
}

TField& TTable::FieldByName(const std::string& name)
{
    if (TField* field = FindField(name))
        return *field;
    RaiseStoreError(m_tableName + ": Field '" + name + "' not found");
}

TField* TTable::FindField(const std::string& name)
{
    for (auto& field : m_fields)
        if (SameName(field->FieldName(), name))
            return field.get();
    return nullptr;
}

TField& TTable::AddLookupField(const std::string& name, const std::string& keyField, TTable& lookupTable,
                               const std::string& lookupKeyField, const std::string& resultField)
{
    if (m_impl->Active())
        RaiseStoreError(m_tableName + ": lookup fields are added before the table opens");
    if (FindField(name))
        RaiseStoreError(m_tableName + ": Field '" + name + "' already exists");
    auto field = std::unique_ptr<TField>(new TField(*this, name, TFieldType::String, 0, -1));
    field->m_lookupTable = &lookupTable;
    field->m_lookupKeyField = keyField;
    field->m_lookupKeyColumn = lookupKeyField;
    field->m_lookupResultColumn = resultField;
    // The name, not the object, is used to read: the lookup table may go first.
    m_impl->LookupTables[field.get()] = lookupTable.TableName();
    m_fields.push_back(std::move(field));
    return *m_fields.back();
}

TBookmark TRowView::Bookmark() const
{
    return TBookmark{m_rows.RowId(m_row)};
}

int64_t TRowView::Integer(int column) const
{
    return m_rows.IntegerAt(m_row, column);
}

std::string_view TRowView::Text(int column) const
{
    return m_rows.TextAt(m_row, column);
}

void TTable::ForEachRow(const std::function<void(const TRowView&)>& visit)
{
    auto& d = *m_impl;
    d.CheckActive();
    d.PostPending();
    for (size_t row = 0; row < d.Rows.Size(); ++row)
        visit(TRowView(d.Rows, row));
}

int TTable::ColumnIndex(const std::string& name) const
{
    m_impl->CheckActive();
    return m_impl->RequireColumn(name);
}
