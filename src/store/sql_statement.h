#pragma once
// Internal to the store: a borrowed prepared statement, the value type rows
// are kept in, and small SQL text helpers.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One column value as SQLite handed it back. Blob columns are never kept in
// a row, so there is no blob alternative.
using TValue = std::variant<std::monostate, int64_t, double, std::string>;

[[noreturn]] void RaiseStoreError(const std::string& message);
[[noreturn]] void RaiseSqliteError(sqlite3* db);

// "name" with embedded quotes doubled, so any identifier is safe in SQL.
std::string QuoteName(const std::string& name);
// ASCII case-insensitive equality, as SQLite compares identifiers.
bool SameName(const std::string& a, const std::string& b);

// A prepared statement, either borrowed from the database's cache (given
// back, reset and unbound, when this goes out of scope) or owned when the
// cached one was already busy.
class TStatement {
public:
    TStatement(sqlite3* db, sqlite3_stmt* stmt, bool* inUse);
    ~TStatement();
    TStatement(TStatement&& other) noexcept;
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    TStatement& operator=(TStatement&&) = delete;

    void Bind(int index, const TValue& value);
    void BindInt(int index, int64_t value);
    void BindBlob(int index, const std::vector<uint8_t>& bytes);

    // True while a row is available; raises on failure.
    bool Step();
    // Runs a statement that returns no rows.
    void Run();

    int Type(int column) const; // SQLITE_INTEGER, SQLITE_TEXT, ...
    bool IsNull(int column) const;
    int64_t Int(int column) const;
    double Real(int column) const;
    // Valid until the next step.
    std::string_view TextView(int column) const;
    std::string Text(int column) const;
    std::vector<uint8_t> Blob(int column) const;
    TValue Value(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    bool* m_inUse; // null when this object owns m_stmt
};
