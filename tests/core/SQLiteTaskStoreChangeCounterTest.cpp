#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "ScratchDirectory.h"
#include "core/ReceiptImporter.h"
#include "core/SQLiteTaskStore.h"

namespace kestrin {
namespace {

std::string minimalReceipt() {
    std::ifstream in(std::string(VELMORA_TEST_DATA) + "/json/minimal-receipt.json", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<SQLiteTaskStore> openStore(const std::filesystem::path& path) {
    auto store = SQLiteTaskStore::open(path);
    EXPECT_TRUE(store.ok()) << store.error().description();
    return std::move(store).value();
}

SQLiteTaskStore::ChangeToken tokenOf(SQLiteTaskStore& store) {
    auto token = store.changeToken();
    EXPECT_TRUE(token.ok());
    return *token;
}

class ChangeTokenTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = openStore(directory / "tasks.sqlite");
        auto imported = ReceiptImporter(*store).importData(minimalReceipt());
        ASSERT_TRUE(imported.ok()) << imported.error().description();
    }

    testing::ScratchDirectory directory;
    std::unique_ptr<SQLiteTaskStore> store;
    const std::string taskKey = "rcpt-minimal::grant";
};

TEST_F(ChangeTokenTest, StaysEqualWhileNothingIsWritten) {
    const auto before = tokenOf(*store);
    ASSERT_TRUE(store->listTasks(true, currentTimestamp()).ok());
    ASSERT_TRUE(store->receiptHistory(100).ok());
    ASSERT_TRUE(store->task(taskKey).ok());
    EXPECT_EQ(tokenOf(*store), before);
}

TEST_F(ChangeTokenTest, ChangesWithThisConnectionsOwnWrites) {
    auto before = tokenOf(*store);
    ASSERT_TRUE(store->setStatus(taskKey, TaskStatus::waitingExternal, std::nullopt).ok());
    EXPECT_NE(tokenOf(*store), before);

    before = tokenOf(*store);
    ASSERT_TRUE(store->setStepCompleted(taskKey, "login", true).ok());
    EXPECT_NE(tokenOf(*store), before);
}

TEST_F(ChangeTokenTest, ChangesWithCommitsOfOtherConnections) {
    const auto before = tokenOf(*store);
    auto other = openStore(directory / "tasks.sqlite");
    ASSERT_TRUE(other->setStatus(taskKey, TaskStatus::completed, std::nullopt).ok());
    EXPECT_NE(tokenOf(*store), before);

    // Also a plain SQLite connection that knows nothing of the store.
    const auto afterStore = tokenOf(*store);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((directory / "tasks.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE tasks SET status = 'pending';", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_NE(tokenOf(*store), afterStore);
}

}  // namespace
}  // namespace kestrin
