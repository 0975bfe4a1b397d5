#pragma once
// The record store: one SQLite database file, Ambitone.db, in a data
// directory, in write-ahead-log mode; each post is one transaction. Table
// definitions (columns in order, types, widths, indexes, description and the
// full-text settings recorded with no effect) and CreateTables, which makes
// whichever of the six tables is missing and never alters an existing one.
//
// Contract: one thread uses a database. Failures raise EStoreError carrying
// SQLite's message.

#include "base/error.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
class TStatement;
class TTable;

class EStoreError : public EAmbitoneError {
public:
    using EAmbitoneError::EAmbitoneError;
};

enum class TFieldType {
    AutoInc,   // 32-bit auto-increment key, never handed out twice
    String,    // text of at most Size characters
    Integer,   // 32-bit signed
    SmallInt,  // 16-bit signed
    Word,      // 16-bit unsigned
    Float,     // 64-bit
    Boolean,
    Blob,      // bytes
};

struct TFieldDef {
    std::string Name;
    TFieldType Type;
    int Size = 0; // characters, strings only
};

struct TIndexDef {
    std::string Name;  // "" for the primary index
    std::string Field;
    bool Primary = false;
    bool Unique = false;
};

// Full-text parameters are accepted and recorded with a table; no column is
// full-text indexed, so they change nothing.
struct TFullTextParams {
    std::vector<std::string> StopWords;
    std::string SpaceChars;   // bytes
    std::string IncludeChars; // bytes
    std::vector<std::string> IndexedFields;
    bool Encrypted = false;
    std::string Password;
};

struct TTableDef {
    std::string Name;
    std::string Description;
    std::vector<TFieldDef> Fields;
    std::vector<TIndexDef> Indexes;
    TFullTextParams FullText;
};

class TDatabase {
public:
    static constexpr const char* FileName = "Ambitone.db";

    TDatabase();
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    // Closing the connection requires every table of it to be closed.
    void Disconnect();
    // Points the database at a directory; the connection opens on first use.
    void SetDirectory(const std::filesystem::path& directory);
    const std::filesystem::path& Directory() const;
    std::filesystem::path FilePath() const;
    bool Connected() const;
    void Connect();

    // Table names compare without regard to case.
    bool TableExists(const std::string& tableName);
    // Creates the table with its columns in order, its indexes and the
    // recorded description and full-text parameters.
    void CreateTable(const TTableDef& def);
    std::string TableDescription(const std::string& tableName);
    TFullTextParams TableFullText(const std::string& tableName);

    // The open connection (connecting when needed).
    sqlite3* Handle();
    // Runs SQL that returns no rows; raises EStoreError on failure.
    void Exec(const std::string& sql);

private:
    friend class TTable;
    // Prepared statements are cached by their text and finalized on
    // Disconnect, so a table never holds a statement past its connection.
    TStatement Prepare(const std::string& sql);
    // Tables register so that Disconnect can close them and so that a
    // database destroyed first leaves them harmless.
    void RegisterTable(TTable* table);
    void UnregisterTable(TTable* table);

    struct TImpl;
    std::unique_ptr<TImpl> m_impl;
};

// Makes the posts within its scope one transaction: all of them reach the
// file at Commit, or none does. Scopes nest. A scope left without Commit
// rolls its writes back; tables that posted within it still show what they
// posted until the caller refreshes them.
class TStoreTransaction {
public:
    explicit TStoreTransaction(TDatabase& database);
    ~TStoreTransaction();
    TStoreTransaction(const TStoreTransaction&) = delete;
    TStoreTransaction& operator=(const TStoreTransaction&) = delete;

    void Commit();

private:
    TDatabase& m_database;
    bool m_open = true;
};

// The six tables, in the order CreateTables visits them, with the
// lower-case names it uses: musicplaylist, playlistnames, schemedata,
// schemes, soundcatalog, soundcategory.
const std::vector<TTableDef>& AmbitoneTableDefs();
const TFullTextParams& StockFullTextParams();

// Creates whichever of the six tables is missing in the database's directory.
// A failure stops it where it is: tables already made stay.
void CreateTables(TDatabase& database);
