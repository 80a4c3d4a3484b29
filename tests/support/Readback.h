#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// What a program under test left behind: a file's bytes and a database's rows.
namespace kestrin::testing {

using Rows = std::vector<std::string>;

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline Rows textLines(const std::string& text) {
    Rows lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// Every row of `sql`, columns joined by "|", NULL as "<null>"; read-only unless `write`.
inline Rows sqliteRows(const std::filesystem::path& database, const std::string& sql,
                       bool write = false) {
    Rows rows;
    sqlite3* connection = nullptr;
    const int flags = write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    EXPECT_EQ(sqlite3_open_v2(database.c_str(), &connection, flags, nullptr), SQLITE_OK)
        << database;
    sqlite3_busy_timeout(connection, 2000);
    const auto append = [](void* found, int count, char** values, char**) {
        std::string row;
        for (int i = 0; i < count; ++i)
            row += (i ? "|" : "") + std::string(values[i] ? values[i] : "<null>");
        static_cast<Rows*>(found)->push_back(std::move(row));
        return 0;
    };
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(connection, sql.c_str(), append, &rows, &message), SQLITE_OK)
        << (message ? message : "") << " in " << sql;
    sqlite3_free(message);
    sqlite3_close(connection);
    return rows;
}

inline void sqliteExecute(const std::filesystem::path& database, const std::string& sql) {
    sqliteRows(database, sql, true);
}

}  // namespace kestrin::testing
