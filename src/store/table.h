#pragma once
// Table objects over the record store: a cursor over the rows of one table
// that are visible through its filter (and, for a detail table, through its
// master's current row), walked in index order, with edit buffers, events,
// bookmarks, typed field objects and blob streams.
//
// Contract: one thread (the user-interface thread) uses a database and all of
// its tables. Every operation that fails raises EStoreError with the store's
// message. Event handlers run synchronously inside the operation that raised
// them and may themselves use the table (read and set fields, post).

#include "store/database.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

class TTable;

// Names one row of one table by its record number. Valid while the row
// exists: across appends and deletes of other rows, filter changes, and
// closing and re-opening the table. A default bookmark names no row.
struct TBookmark {
    int64_t RecordNo = 0;
    bool IsValid() const { return RecordNo > 0; }
    bool operator==(const TBookmark&) const = default;
};

class TRowSet;

// One visible row, read in place during TTable::ForEachRow and valid only
// inside its visit. Empty columns read as 0 and "".
class TRowView {
public:
    TBookmark Bookmark() const;
    int64_t Integer(int column) const;
    // Text columns; the view points into the table's rows.
    std::string_view Text(int column) const;

private:
    friend class TTable;
    TRowView(const TRowSet& rows, size_t row) : m_rows(rows), m_row(row) {}
    const TRowSet& m_rows;
    size_t m_row;
};

enum class TTableState { Inactive, Browse, Edit, Insert };

// A typed view of one column of the current row. Size is the field object's
// width in characters for strings: a write is cut to it (it may be narrower
// than the column, as a field object may be). Empty columns read as "", 0,
// 0.0 or false. Writing needs the table in Edit or Insert state.
class TField {
public:
    const std::string& FieldName() const { return m_name; }
    TFieldType DataType() const { return m_type; }
    int Size() const { return m_size; }
    void SetSize(int size) { m_size = size; }
    const std::string& DisplayLabel() const { return m_label.empty() ? m_name : m_label; }
    void SetDisplayLabel(std::string label) { m_label = std::move(label); }
    int DisplayWidth() const { return m_displayWidth; }
    void SetDisplayWidth(int width) { m_displayWidth = width; }

    bool IsNull() const;
    std::string AsString() const;
    int32_t AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;

    // Integer writes to a 16-bit column outside its range raise EStoreError.
    void SetAsString(const std::string& value);
    void SetAsInteger(int32_t value);
    void SetAsFloat(double value);
    void SetAsBoolean(bool value);
    void Clear();

private:
    friend class TTable;
    TField(TTable& table, std::string name, TFieldType type, int size, int column)
        : m_table(&table), m_name(std::move(name)), m_type(type), m_size(size), m_column(column) {}

    TTable* m_table;
    std::string m_name;
    TFieldType m_type;
    int m_size;
    int m_column; // index into the row's values; -1 for a lookup field
    std::string m_label;
    int m_displayWidth = 0;
    // Lookup fields only: the result column of the lookup table's row whose
    // key column equals this table's key field.
    TTable* m_lookupTable = nullptr;
    std::string m_lookupKeyField, m_lookupKeyColumn, m_lookupResultColumn;
};

class TTable {
public:
    using TEvent = std::function<void(TTable&)>;

    TTable(TDatabase& database, std::string tableName);
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    const std::string& TableName() const { return m_tableName; }
    TDatabase& Database() { return m_db; }

    // Opening builds the field objects from the table's columns (the first
    // time only; field settings such as Size survive close and re-open),
    // places the cursor on the first visible row and raises AfterOpen (not
    // AfterScroll). Closing drops a pending edit.
    void Open();
    void Close();
    bool Active() const;
    TTableState State() const;
    bool IsEditing() const; // Edit or Insert

    // Index order: "" (the primary index on RecordNo) or a secondary index
    // name such as "PlayList"; rows with equal keys come in RecordNo order.
    void SetIndexName(const std::string& indexName);
    const std::string& IndexName() const;

    // Filter texts of the form "<Column> = <decimal integer>". Setting the
    // text or switching filtering on or off re-reads the visible rows with
    // one query, puts the cursor on the first of them and raises AfterScroll.
    void SetFilter(const std::string& filterText);
    const std::string& Filter() const;
    void SetFiltered(bool on);
    bool Filtered() const;

    // Master-detail: this table then shows only its rows whose detailField
    // equals the master's current masterField, and follows every move of the
    // master's cursor. Appended rows get the master's value.
    void SetMaster(TTable* master, const std::string& masterField, const std::string& detailField);

    // Cursor walk. Every move first posts a pending edit. First, Next, Prior
    // and Last raise AfterScroll; Next on the last row sets Eof, keeps that
    // row current and still raises AfterScroll; Next with Eof set does nothing.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    bool IsEmpty() const;
    int RecordCount() const;

    // Append starts a row at the end (Insert state), raises OnNewRecord (the
    // handler may set fields) and then AfterScroll. Edit puts the current row
    // in Edit state. Post writes the row in one transaction, raises AfterPost
    // and leaves the cursor on the written row (RecordNo then reads the value
    // assigned to an appended row). Cancel drops the edit. Delete removes the
    // current row, raises AfterDelete and then AfterScroll, with the cursor on
    // the next visible row, or the previous one when it was the last.
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();

    // Bookmarks. GotoBookmark first posts a pending edit, then makes the row
    // current and raises AfterScroll. A row that no longer exists, or is not
    // visible through the filter, raises EStoreError and leaves the cursor.
    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkValid(const TBookmark& bookmark) const;

    // Every visible row in index order, read in place: no cursor move, no
    // event and no value built per row, for walks over many rows. A pending
    // edit is posted first. Columns are told by their index in the table.
    void ForEachRow(const std::function<void(const TRowView&)>& visit);
    int ColumnIndex(const std::string& name) const;

    TField& FieldByName(const std::string& name);
    TField* FindField(const std::string& name);
    const std::vector<std::unique_ptr<TField>>& Fields() const { return m_fields; }

    // A read-only field showing lookupTable's resultField of the row whose
    // lookupKeyField equals this table's keyField; reading it never moves the
    // lookup table's cursor. Must be added before Open.
    TField& AddLookupField(const std::string& name, const std::string& keyField, TTable& lookupTable,
                           const std::string& lookupKeyField, const std::string& resultField);

    // Blobs: the value is read from the store only when asked for; reading a
    // row never loads it. Writes replace the value in the edit buffer (Edit
    // or Insert state); Post stores it.
    std::unique_ptr<std::istream> CreateBlobReadStream(const std::string& fieldName);
    std::vector<uint8_t> ReadBlob(const std::string& fieldName);
    int64_t BlobSize(const std::string& fieldName);
    void LoadBlobFromStream(const std::string& fieldName, std::istream& in);
    void LoadBlobFromFile(const std::string& fieldName, const std::filesystem::path& file);
    void WriteBlob(const std::string& fieldName, const std::vector<uint8_t>& bytes);
    void SaveBlobToFile(const std::string& fieldName, const std::filesystem::path& file);

    TEvent AfterOpen, AfterScroll, OnNewRecord, AfterPost, AfterDelete;

    // Re-reads the visible rows (showing changes made through other table
    // objects), keeping the current row where it is still visible, and
    // raises AfterScroll.
    void Refresh();

private:
    struct TImpl;
    friend class TField;
    friend class TDatabase;
    // The database is going away: close without events and never touch it again.
    void DetachDatabase();
    TDatabase& m_db;
    std::string m_tableName;
    std::vector<std::unique_ptr<TField>> m_fields;
    std::unique_ptr<TImpl> m_impl;
};
