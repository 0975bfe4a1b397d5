#pragma once
// Internal to the store: the state behind a TTable. The visible rows are
// kept in memory with their non-blob values, read by one indexed query per
// open, filter change or master move, and updated in place on post and
// delete, so walking never goes back to SQLite.

#include "store/field_value.h"
#include "store/row_set.h"
#include "store/sql_statement.h"
#include "store/table.h"

#include <map>
#include <optional>
#include <unordered_map>

struct TColumn {
    std::string Name;
    TFieldType Type;
    int Size = 0;
};

struct TFilterTerm {
    std::string Column;
    int64_t Value = 0;
};

// Parses "<Column> = <decimal integer>"; empty text means no term.
std::optional<TFilterTerm> ParseFilter(const std::string& text);

struct TTable::TImpl {
    TImpl(TTable& self, TDatabase& db) : Self(self), Db(db) {}

    TTable& Self;
    TDatabase& Db;
    bool Detached = false;
    bool FieldsBuilt = false;
    TTableState State = TTableState::Inactive;

    std::vector<TColumn> Columns;
    std::string SelectList; // rowid and every other non-blob column
    std::vector<int> SelectColumns;
    int RowIdColumn = -1; // the key column that is SQLite's rowid

    std::string IndexName;
    std::vector<int> KeyColumns; // empty: RecordNo order

    std::string FilterText;
    bool Filtered = false;
    std::optional<TFilterTerm> Filter;

    TTable* Master = nullptr;
    std::string MasterField, DetailField;
    std::vector<TTable*> Details;
    TValue LinkValue; // the master value the rows were read with

    std::unordered_map<const TField*, std::string> LookupTables;

    TRowSet Rows;
    int Pos = -1;
    bool Eof = true, Bof = true;

    TRow Buffer; // the row being edited or inserted
    std::vector<bool> Dirty;
    std::map<int, std::vector<uint8_t>> PendingBlobs;
    int ReturnPos = -1; // where Cancel of an append goes back to

    bool Active() const { return State != TTableState::Inactive; }
    bool Editing() const { return State == TTableState::Edit || State == TTableState::Insert; }
    void CheckActive() const;
    void Raise(const TEvent& event);

    // Opening.
    void ReadColumns();
    void BindFields();
    std::vector<int> ResolveIndex(const std::string& indexName);
    void CheckFilterColumn(const std::optional<TFilterTerm>& filter) const;
    int ColumnIndex(const std::string& name) const;
    int RequireColumn(const std::string& name) const;

    // The visible set.
    std::string WhereSql(std::vector<TValue>& params, bool& noRows) const;
    void Load();
    std::optional<TRow> FetchVisible(int64_t rowId);
    TRow ReadRow(const TStatement& stmt) const;
    bool Less(const TRow& probe, size_t row) const;
    int InsertPoint(const TRow& row) const;
    int FindRow(int64_t rowId) const;
    void ToFirst();
    void Reload(bool keepRow);

    // The current row.
    TValue CurrentValue(int column) const;
    int64_t CurrentRowId() const;
    TValue MasterValue() const;

    // Writing.
    void PostPending();
    std::vector<int> ChangedColumns() const;
    std::string WriteSql(const std::vector<int>& columns, bool insert) const;
    int64_t WriteBuffer();
    void DropBuffer();

    // Events that follow a change of current row.
    void Scrolled();
    void NotifyDetails(bool force);
    void MasterMoved(bool force);
    void Unlink();

    // Fields.
    TValue ReadField(const TField& field);
    void CheckWritable(const TField& field) const;
    void StoreField(const TField& field, TValue value);
    TValue LookupValue(const TField& field);

    // Blobs.
    int BlobColumn(const std::string& fieldName);
    std::vector<uint8_t> ReadBlobBytes(int column);
    int64_t BlobLength(int column);
    bool BlobIsNull(int column);
    void SetPendingBlob(int column, std::vector<uint8_t> bytes);
};
