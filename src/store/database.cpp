#include "store/database.h"

#include "store/sql_statement.h"
#include "store/table.h"

#include <sqlite3.h>

#include <algorithm>
#include <unordered_map>

namespace {

// Descriptions and full-text settings live beside the tables they describe.
constexpr const char* InfoTable = "_TableInfo";

struct TCachedStatement {
    sqlite3_stmt* Stmt = nullptr;
    bool InUse = false;
};

std::string JoinLines(const std::vector<std::string>& words)
{
    std::string joined;
    for (const auto& word : words) {
        if (!joined.empty())
            joined += '\n';
        joined += word;
    }
    return joined;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string DeclaredType(const TFieldDef& field)
{
    switch (field.Type) {
    case TFieldType::AutoInc:
        return "INTEGER PRIMARY KEY AUTOINCREMENT";
    case TFieldType::String:
        return field.Size > 0 ? "VARCHAR(" + std::to_string(field.Size) + ")" : "TEXT";
    case TFieldType::Integer:
        return "INTEGER";
    case TFieldType::SmallInt:
        return "SMALLINT";
    case TFieldType::Word:
        return "WORD";
    case TFieldType::Float:
        return "DOUBLE";
    case TFieldType::Boolean:
        return "BOOLEAN";
    case TFieldType::Blob:
        return "BLOB";
    }
    return "BLOB";
}

bool IsAutoIncField(const TTableDef& def, const std::string& name)
{
    return std::any_of(def.Fields.begin(), def.Fields.end(), [&](const TFieldDef& f) {
        return f.Type == TFieldType::AutoInc && SameName(f.Name, name);
    });
}

std::string CreateTableSql(const TTableDef& def)
{
    std::string sql = "CREATE TABLE " + QuoteName(def.Name) + " (";
    for (size_t i = 0; i < def.Fields.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += QuoteName(def.Fields[i].Name) + " " + DeclaredType(def.Fields[i]);
    }
    // The key column is the primary index already; any other primary field
    // becomes a table constraint.
    for (const auto& index : def.Indexes)
        if (index.Primary && !IsAutoIncField(def, index.Field))
            sql += ", PRIMARY KEY (" + QuoteName(index.Field) + ")";
    return sql + ")";
}

std::string CreateIndexSql(const TTableDef& def, const TIndexDef& index)
{
    return std::string("CREATE ") + (index.Unique ? "UNIQUE " : "") + "INDEX " + QuoteName(index.Name) + " ON " +
           QuoteName(def.Name) + " (" + QuoteName(index.Field) + ")";
}

} // namespace

struct TDatabase::TImpl {
    std::filesystem::path Directory;
    sqlite3* Db = nullptr;
    // Node-based, so a borrowed statement's in-use flag keeps its address.
    std::unordered_map<std::string, std::unique_ptr<TCachedStatement>> Statements;
    std::vector<TTable*> Tables;

    void FinalizeStatements()
    {
        for (auto& entry : Statements)
            sqlite3_finalize(entry.second->Stmt);
        Statements.clear();
    }

    void CloseConnection()
    {
        FinalizeStatements();
        if (Db) {
            // _v2 defers the close should a statement still be alive somewhere.
            sqlite3_close_v2(Db);
            Db = nullptr;
        }
    }
};

TDatabase::TDatabase() : m_impl(std::make_unique<TImpl>()) {}

TDatabase::~TDatabase()
{
    for (TTable* table : m_impl->Tables)
        table->DetachDatabase();
    m_impl->Tables.clear();
    m_impl->CloseConnection();
}

void TDatabase::Disconnect()
{
    for (TTable* table : m_impl->Tables)
        table->Close();
    m_impl->CloseConnection();
}

void TDatabase::SetDirectory(const std::filesystem::path& directory)
{
    if (directory == m_impl->Directory)
        return;
    Disconnect();
    m_impl->Directory = directory;
}

const std::filesystem::path& TDatabase::Directory() const
{
    return m_impl->Directory;
}

std::filesystem::path TDatabase::FilePath() const
{
    return m_impl->Directory / FileName;
}

bool TDatabase::Connected() const
{
    return m_impl->Db != nullptr;
}

void TDatabase::Connect()
{
    if (m_impl->Db)
        return;
    if (m_impl->Directory.empty())
        RaiseStoreError("The database has no directory");
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(FilePath().string().c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        RaiseStoreError(message);
    }
    m_impl->Db = db;
    try {
        // The helper tool may have the file open at the same moment.
        sqlite3_busy_timeout(db, 5000);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
        // Reads map the file instead of copying its pages: a walk over the
        // catalogue's rows is mostly page reads. Writes still go through the
        // journal as before.
        Exec("PRAGMA mmap_size=268435456");
    } catch (...) {
        m_impl->CloseConnection();
        throw;
    }
}

sqlite3* TDatabase::Handle()
{
    Connect();
    return m_impl->Db;
}

void TDatabase::Exec(const std::string& sql)
{
    sqlite3* db = Handle();
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        RaiseStoreError(message);
    }
}

// A savepoint rather than BEGIN, so that a scope may sit inside another.
TStoreTransaction::TStoreTransaction(TDatabase& database) : m_database(database)
{
    m_database.Exec("SAVEPOINT ambitone_write");
}

TStoreTransaction::~TStoreTransaction()
{
    if (!m_open)
        return;
    try {
        sqlite3* db = m_database.Handle();
        sqlite3_exec(db, "ROLLBACK TO ambitone_write", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "RELEASE ambitone_write", nullptr, nullptr, nullptr);
    } catch (...) {
        // No connection left: nothing of the scope reached the file.
    }
}

void TStoreTransaction::Commit()
{
    if (!m_open)
        return;
    m_database.Exec("RELEASE ambitone_write");
    m_open = false;
}

TStatement TDatabase::Prepare(const std::string& sql)
{
    sqlite3* db = Handle();
    auto& cached = m_impl->Statements[sql];
    if (cached && !cached->InUse) {
        cached->InUse = true;
        return TStatement(db, cached->Stmt, &cached->InUse);
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        if (!cached)
            m_impl->Statements.erase(sql);
        RaiseSqliteError(db);
    }
    if (cached) // the cached one is busy in an outer call: this one is temporary
        return TStatement(db, stmt, nullptr);
    cached = std::make_unique<TCachedStatement>();
    cached->Stmt = stmt;
    cached->InUse = true;
    return TStatement(db, stmt, &cached->InUse);
}

void TDatabase::RegisterTable(TTable* table)
{
    m_impl->Tables.push_back(table);
}

void TDatabase::UnregisterTable(TTable* table)
{
    auto& tables = m_impl->Tables;
    tables.erase(std::remove(tables.begin(), tables.end(), table), tables.end());
}

bool TDatabase::TableExists(const std::string& tableName)
{
    auto stmt = Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE");
    stmt.Bind(1, tableName);
    return stmt.Step();
}

void TDatabase::CreateTable(const TTableDef& def)
{
    Exec("BEGIN IMMEDIATE");
    try {
        Exec(CreateTableSql(def));
        for (const auto& index : def.Indexes)
            if (!index.Primary)
                Exec(CreateIndexSql(def, index));
        Exec(std::string("CREATE TABLE IF NOT EXISTS ") + QuoteName(InfoTable) +
             " (\"TableName\" TEXT PRIMARY KEY COLLATE NOCASE, \"Description\" TEXT, \"StopWords\" TEXT,"
             " \"SpaceChars\" BLOB, \"IncludeChars\" BLOB, \"IndexedFields\" TEXT, \"Encrypted\" BOOLEAN,"
             " \"Password\" TEXT)");
        {
            auto stmt = Prepare(std::string("INSERT OR REPLACE INTO ") + QuoteName(InfoTable) +
                                " VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
            const auto& ft = def.FullText;
            stmt.Bind(1, def.Name);
            stmt.Bind(2, def.Description);
            stmt.Bind(3, JoinLines(ft.StopWords));
            auto space = Bytes(ft.SpaceChars), include = Bytes(ft.IncludeChars);
            stmt.BindBlob(4, space);
            stmt.BindBlob(5, include);
            stmt.Bind(6, JoinLines(ft.IndexedFields));
            stmt.BindInt(7, ft.Encrypted ? 1 : 0);
            stmt.Bind(8, ft.Password);
            stmt.Run();
        }
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_impl->Db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::string TDatabase::TableDescription(const std::string& tableName)
{
    if (!TableExists(tableName))
        RaiseStoreError("no such table: " + tableName);
    if (!TableExists(InfoTable))
        return {};
    auto stmt = Prepare(std::string("SELECT \"Description\" FROM ") + QuoteName(InfoTable) + " WHERE \"TableName\" = ?");
    stmt.Bind(1, tableName);
    return stmt.Step() ? stmt.Text(0) : std::string();
}

TFullTextParams TDatabase::TableFullText(const std::string& tableName)
{
    if (!TableExists(tableName))
        RaiseStoreError("no such table: " + tableName);
    TFullTextParams params;
    if (!TableExists(InfoTable))
        return params;
    auto stmt = Prepare(std::string("SELECT \"StopWords\", \"SpaceChars\", \"IncludeChars\", \"IndexedFields\","
                                    " \"Encrypted\", \"Password\" FROM ") +
                        QuoteName(InfoTable) + " WHERE \"TableName\" = ?");
    stmt.Bind(1, tableName);
    if (!stmt.Step())
        return params;
    params.StopWords = SplitLines(stmt.Text(0));
    auto space = stmt.Blob(1), include = stmt.Blob(2);
    params.SpaceChars.assign(space.begin(), space.end());
    params.IncludeChars.assign(include.begin(), include.end());
    params.IndexedFields = SplitLines(stmt.Text(3));
    params.Encrypted = stmt.Int(4) != 0;
    params.Password = stmt.Text(5);
    return params;
}
