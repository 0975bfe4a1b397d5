#include "store/sql_statement.h"

#include "store/database.h"

#include <cctype>

void RaiseStoreError(const std::string& message)
{
    throw EStoreError(message);
}

void RaiseSqliteError(sqlite3* db)
{
    throw EStoreError(db ? sqlite3_errmsg(db) : "out of memory");
}

std::string QuoteName(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

TStatement::TStatement(sqlite3* db, sqlite3_stmt* stmt, bool* inUse) : m_db(db), m_stmt(stmt), m_inUse(inUse) {}

TStatement::TStatement(TStatement&& other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_inUse(other.m_inUse)
{
    other.m_stmt = nullptr;
    other.m_inUse = nullptr;
}

TStatement::~TStatement()
{
    if (!m_stmt)
        return;
    if (m_inUse) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        *m_inUse = false;
    } else {
        sqlite3_finalize(m_stmt);
    }
}

void TStatement::Bind(int index, const TValue& value)
{
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value))
        rc = sqlite3_bind_null(m_stmt, index);
    else if (auto* i = std::get_if<int64_t>(&value))
        rc = sqlite3_bind_int64(m_stmt, index, *i);
    else if (auto* d = std::get_if<double>(&value))
        rc = sqlite3_bind_double(m_stmt, index, *d);
    else {
        const auto& s = std::get<std::string>(value);
        rc = sqlite3_bind_text64(m_stmt, index, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    if (rc != SQLITE_OK)
        RaiseSqliteError(m_db);
}

void TStatement::BindInt(int index, int64_t value)
{
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        RaiseSqliteError(m_db);
}

void TStatement::BindBlob(int index, const std::vector<uint8_t>& bytes)
{
    // A zero-length bind with a null pointer would store NULL, not an empty value.
    int rc = bytes.empty() ? sqlite3_bind_zeroblob(m_stmt, index, 0)
                           : sqlite3_bind_blob64(m_stmt, index, bytes.data(), bytes.size(), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        RaiseSqliteError(m_db);
}

bool TStatement::Step()
{
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    std::string message = sqlite3_errmsg(m_db);
    sqlite3_reset(m_stmt);
    RaiseStoreError(message);
}

void TStatement::Run()
{
    while (Step()) {
    }
}

int TStatement::Type(int column) const
{
    return sqlite3_column_type(m_stmt, column);
}

double TStatement::Real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

std::string_view TStatement::TextView(int column) const
{
    const auto* text = sqlite3_column_text(m_stmt, column);
    if (!text)
        return {};
    return std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
}

bool TStatement::IsNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

int64_t TStatement::Int(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::string TStatement::Text(int column) const
{
    return std::string(TextView(column));
}

std::vector<uint8_t> TStatement::Blob(int column) const
{
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
    if (!data)
        return {};
    return std::vector<uint8_t>(data, data + sqlite3_column_bytes(m_stmt, column));
}

TValue TStatement::Value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return std::monostate{};
    case SQLITE_INTEGER:
        return sqlite3_column_int64(m_stmt, column);
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_stmt, column);
    default:
        // Text, or stray bytes in a non-blob column, which are shown as text.
        return Text(column);
    }
}
