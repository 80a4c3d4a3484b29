#pragma once

// A store in a fresh directory, and a raw connection to read or damage rows.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestReceipts.h"
#include "support/ScratchDirectory.h"
#include "core/store/SQLiteTaskStore.h"

namespace kestrin::testing {

// Runs `sql` on the SQLite file at `path`, creating it if need be.
inline void execSQL(const std::filesystem::path& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db) << " in " << sql;
    sqlite3_close(db);
}

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        databasePath = directory / "tasks.sqlite";
        auto opened = SQLiteTaskStore::open(databasePath);
        ASSERT_TRUE(opened) << opened.error().description();
        store = std::move(opened).value();
    }
    void TearDown() override {
        store.reset();
        sqlite3_close(raw_);
    }
    // Imports into this test's store, or into `other`.
    Result<StoreImportResult, StoreError> import(const InterventionReceipt& receipt,
                                                 SQLiteTaskStore* other = nullptr) {
        const std::string raw = rawJSON(receipt);
        return (other ? *other : *store).importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
    }
    StoreImportResult imported(const InterventionReceipt& receipt) {
        auto result = import(receipt);
        EXPECT_TRUE(result) << result.error().description();
        return result ? *result : StoreImportResult::versionConflict();
    }
    // Every row of `sql` (maybe several statements), columns joined by "|", NULL as "<null>".
    std::vector<std::string> rows(const std::string& sql) {
        std::vector<std::string> result;
        const auto collect = [](void* out, int count, char** values, char**) {
            std::string row;
            for (int i = 0; i < count; ++i)
                row += (i ? "|" : "") + std::string(values[i] ? values[i] : "<null>");
            static_cast<std::vector<std::string>*>(out)->push_back(row);
            return 0;
        };
        if (!raw_) sqlite3_open(databasePath.c_str(), &raw_), sqlite3_busy_timeout(raw_, 2000);
        EXPECT_EQ(sqlite3_exec(raw_, sql.c_str(), collect, &result, nullptr), SQLITE_OK)
            << sqlite3_errmsg(raw_) << " in " << sql;
        return result;
    }
    void exec(const std::string& sql) { rows(sql); }
    std::string value(const std::string& sql) {
        auto all = rows(sql);
        return all.empty() ? "<no row>" : all.front();
    }
    // The whole content of the three tables, for before-and-after comparisons.
    std::vector<std::string> contents() {
        std::vector<std::string> all;
        for (const std::string table : {"receipts", "tasks", "step_progress"})
            for (auto& row : rows("SELECT * FROM " + table + " ORDER BY 1, 2"))
                all.push_back(table + ": " + row);
        return all;
    }
    ScratchDirectory scratch_;  // kept when the test fails
    std::filesystem::path directory = scratch_.path(), databasePath;
    std::unique_ptr<SQLiteTaskStore> store;
    sqlite3* raw_ = nullptr;
};

}  // namespace kestrin::testing
