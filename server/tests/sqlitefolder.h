#pragma once

// Data folders as earlier services left them, before the database kept a schema version.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quillon::server::test {

// The guest account (id 1) with one picture under the given id, its id column of the
// given type: INTEGER before pictures had random text identifiers, TEXT after. The extra
// SQL runs last.
inline void WriteUnversionedFolder(const std::filesystem::path& dataDir, const std::string& idType,
                                   const std::string& id, const std::string& bytes, const std::string& extraSql = "")
{
    std::filesystem::create_directories(dataDir / "pictures");
    std::ofstream(dataDir / "pictures" / id, std::ios::binary) << bytes;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dataDir / "quillon.db").c_str(), &db), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE accounts(id INTEGER PRIMARY KEY, login TEXT NOT NULL UNIQUE COLLATE NOCASE,"
        " hash TEXT NOT NULL, email TEXT NOT NULL DEFAULT '', confirmed INTEGER NOT NULL,"
        " shared INTEGER NOT NULL DEFAULT 0, created INTEGER NOT NULL);"
        "CREATE TABLE tokens(token TEXT PRIMARY KEY,"
        " account INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE, created INTEGER NOT NULL);"
        "CREATE TABLE pictures(seq INTEGER PRIMARY KEY AUTOINCREMENT, id " + idType + " NOT NULL UNIQUE,"
        " account INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE, type TEXT NOT NULL,"
        " uploaded INTEGER NOT NULL);"
        "CREATE INDEX pictures_by_account ON pictures(account, seq);"
        "INSERT INTO accounts(id, login, hash, confirmed, shared, created) VALUES(1, 'guest', '', 1, 1, 0);"
        "INSERT INTO pictures(id, account, type, uploaded) VALUES('" + id + "', 1, 'image/jpeg', 0);" + extraSql;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// Runs one statement on a data folder's database; its first column's integer, if any.
inline std::int64_t SqliteExec(const std::filesystem::path& dataDir, const std::string& sql)
{
    sqlite3* db = nullptr;
    std::int64_t value = 0;
    if (sqlite3_open((dataDir / "quillon.db").c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* q = nullptr;
        const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK ? sqlite3_step(q) : SQLITE_ERROR;
        if (rc == SQLITE_ROW)
            value = sqlite3_column_int64(q, 0);
        else if (rc != SQLITE_DONE)
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return value;
}

} // namespace quillon::server::test
