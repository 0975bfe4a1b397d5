#pragma once
// Every store test works on a real Ambitone.db in a fresh directory of its
// own under the test temporary folder.

#include "store/table.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class TStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "ambitone_store_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Dir = pattern;
        Db.SetDirectory(Dir);
    }

    void TearDown() override
    {
        Db.Disconnect();
        std::error_code ignored;
        std::filesystem::remove_all(Dir, ignored);
    }

    // Runs a query straight through SQLite, beside the store, and returns
    // the first column of every row as text ("NULL" for empty).
    std::vector<std::string> Query(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(Db.Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
            << sqlite3_errmsg(Db.Handle());
        std::vector<std::string> values;
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            values.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        sqlite3_finalize(stmt);
        return values;
    }

    // Appends and posts one row per entry, setting `field` to the value.
    static void AddRows(TTable& table, const char* field, const std::vector<int>& values)
    {
        for (int value : values) {
            table.Append();
            table.FieldByName(field).SetAsInteger(value);
            table.Post();
        }
    }

    static void AddNames(TTable& table, const std::vector<std::string>& names)
    {
        for (const auto& name : names) {
            table.Append();
            table.FieldByName("Name").SetAsString(name);
            table.Post();
        }
    }

    // The given column of every visible row, walked from the first.
    static std::vector<std::string> Walk(TTable& table, const char* field = "RecordNo")
    {
        std::vector<std::string> values;
        for (table.First(); !table.Eof(); table.Next())
            values.push_back(table.FieldByName(field).AsString());
        return values;
    }

    std::filesystem::path Dir;
    TDatabase Db;
};

// The names of the events a table raises, in order.
struct TEventLog {
    std::vector<std::string> Events;

    void Attach(TTable& table, const std::string& prefix = "")
    {
        table.AfterOpen = [this, prefix](TTable&) { Events.push_back(prefix + "AfterOpen"); };
        table.AfterScroll = [this, prefix](TTable&) { Events.push_back(prefix + "AfterScroll"); };
        table.OnNewRecord = [this, prefix](TTable&) { Events.push_back(prefix + "NewRecord"); };
        table.AfterPost = [this, prefix](TTable&) { Events.push_back(prefix + "AfterPost"); };
        table.AfterDelete = [this, prefix](TTable&) { Events.push_back(prefix + "AfterDelete"); };
    }

    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(Events);
        return taken;
    }
};

// Counts the statements SQLite starts on a connection while it lives.
class TStatementCounter {
public:
    explicit TStatementCounter(sqlite3* db) : m_db(db)
    {
        sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, &TStatementCounter::OnStatement, this);
    }
    ~TStatementCounter() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
    TStatementCounter(const TStatementCounter&) = delete;
    TStatementCounter& operator=(const TStatementCounter&) = delete;

    const std::vector<std::string>& Statements() const { return m_statements; }

private:
    static int OnStatement(unsigned, void* context, void* stmt, void*)
    {
        auto* self = static_cast<TStatementCounter*>(context);
        self->m_statements.push_back(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt)));
        return 0;
    }

    sqlite3* m_db;
    std::vector<std::string> m_statements;
};
