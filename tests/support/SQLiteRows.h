#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kestrin::testing {

// Every row of `sql` on `database`, columns joined by "|", NULL as "<null>". Read-only, so a
// write-ahead log is left for the next writer to recover; fails the test on any error.
inline std::vector<std::string> sqliteRows(const std::filesystem::path& database,
                                           const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* connection = nullptr;
    EXPECT_EQ(sqlite3_open_v2(database.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK)
        << database;
    const auto append = [](void* found, int count, char** values, char**) {
        std::string row;
        for (int i = 0; i < count; ++i)
            row += (i ? "|" : "") + std::string(values[i] ? values[i] : "<null>");
        static_cast<std::vector<std::string>*>(found)->push_back(std::move(row));
        return 0;
    };
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(connection, sql.c_str(), append, &rows, &message), SQLITE_OK)
        << (message ? message : "") << " in " << sql;
    sqlite3_free(message);
    sqlite3_close(connection);
    return rows;
}

// Runs `sql` on `database` through a separate writing connection.
inline void sqliteExecute(const std::filesystem::path& database, const std::string& sql) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &connection), SQLITE_OK);
    sqlite3_busy_timeout(connection, 2000);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "") << " in " << sql;
    sqlite3_free(message);
    sqlite3_close(connection);
}

}  // namespace kestrin::testing
