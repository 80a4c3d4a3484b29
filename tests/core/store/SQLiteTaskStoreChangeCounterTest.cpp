#include "tools/StoreFixture.h"

namespace kestrin::testing {
namespace {

class ChangeTokenTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        imported(makeReceipt("rc-change", 1, {makeItem("item-a")}));
    }

    SQLiteTaskStore::ChangeToken token() {
        auto read = store->changeToken();
        EXPECT_TRUE(read) << read.error().description();
        return read ? *read : SQLiteTaskStore::ChangeToken{};
    }

    const std::string taskKey = "rc-change::item-a";
};

TEST_F(ChangeTokenTest, StaysEqualWhileNothingIsWritten) {
    const auto before = token();
    ASSERT_TRUE(store->listTasks(true, currentTimestamp()));
    ASSERT_TRUE(store->receiptHistory(100));
    ASSERT_TRUE(store->task(taskKey));
    EXPECT_EQ(token(), before);
}

TEST_F(ChangeTokenTest, ChangesWithThisConnectionsOwnWrites) {
    auto before = token();
    ASSERT_TRUE(store->setStatus(taskKey, TaskStatus::waitingExternal, std::nullopt));
    EXPECT_NE(token(), before);

    before = token();
    ASSERT_TRUE(store->setStepCompleted(taskKey, "s1", true));
    EXPECT_NE(token(), before);
}

TEST_F(ChangeTokenTest, ChangesWithCommitsOfOtherConnections) {
    const auto before = token();
    auto other = SQLiteTaskStore::open(databasePath);
    ASSERT_TRUE(other);
    ASSERT_TRUE((*other)->setStatus(taskKey, TaskStatus::completed, std::nullopt));
    EXPECT_NE(token(), before);

    // Also a plain SQLite connection that knows nothing of the store.
    const auto afterStore = token();
    exec("UPDATE tasks SET status = 'pending';");
    EXPECT_NE(token(), afterStore);
}

TEST_F(ChangeTokenTest, ChangesWhenARestoreIsCopiedIntoThisConnection) {
    // The online backup writes through this very connection: neither
    // data_version nor the change count sees it, the schema cookie does.
    ASSERT_TRUE(store->backup(directory / "copy.sqlite"));
    const auto before = token();
    ASSERT_TRUE(store->restoreDatabase(directory / "copy.sqlite", directory / "safety.sqlite"));
    EXPECT_NE(token(), before);
}

}  // namespace
}  // namespace kestrin::testing
