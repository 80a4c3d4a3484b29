#pragma once

// A store in a fresh directory, a raw connection to read or damage it, and shared receipts.

#include <algorithm>
#include <nlohmann/json.hpp>

#include "TestReceipts.h"
#include "core/store/ArchivedReceipt.h"
#include "core/store/SQLiteTaskStore.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {

inline ArchivedReceipt archivedText(const std::string& receiptID, std::int64_t version,
                                    const std::string& raw) {
    return {receiptID, version, SQLiteTaskStore::hash(raw), raw};
}

inline ArchivedReceipt archived(const InterventionReceipt& receipt) {
    return archivedText(receipt.receiptId, receipt.version, rawJSON(receipt));
}

// A file under tests/data, such as "intake/deploy-v1.json".
inline std::string testData(const std::string& name) {
    return readFile(std::filesystem::path(VELMORA_TEST_DATA) / name);
}

// The deploy receipt with the values at the given JSON pointers replaced.
inline std::string deploy(
    std::initializer_list<std::pair<const char*, nlohmann::json>> changes = {}) {
    auto receipt = nlohmann::json::parse(testData("intake/deploy-v1.json"));
    for (const auto& [pointer, value] : changes)
        receipt[nlohmann::json::json_pointer(pointer)] = value;
    return receipt.dump();
}

inline std::vector<std::string> namesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
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
        if (!raw_) {
            sqlite3_open(databasePath.c_str(), &raw_);
            sqlite3_busy_timeout(raw_, 2000);
        }
        EXPECT_EQ(sqlite3_exec(raw_, sql.c_str(), collect, &result, nullptr), SQLITE_OK)
            << sqlite3_errmsg(raw_) << " in " << sql;
        return result;
    }
    void exec(const std::string& sql) { rows(sql); }
    std::string value(const std::string& sql) {
        auto all = rows(sql);
        return all.empty() ? "<no row>" : all.front();
    }
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
