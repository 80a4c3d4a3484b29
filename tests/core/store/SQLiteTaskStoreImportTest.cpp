#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
using Kind = StoreImportResult::Kind;

using SQLiteTaskStoreImport = StoreFixture;

TEST_F(SQLiteTaskStoreImport, AFirstImportStoresTheReceiptAndOnePendingTaskPerItem) {
    const auto receipt = makeReceipt("r-42", 1, {makeItem("item-1"), makeItem("item-2")});
    const std::string raw = rawJSON(receipt);
    ASSERT_EQ(imported(receipt), StoreImportResult::inserted(2));

    EXPECT_EQ(rows("SELECT receipt_id, version, schema_version, project_name, project_path, agent, "
                   "state, requires_user_action, summary, created_at, updated_at FROM receipts"),
              std::vector<std::string>{"r-42|1|1.0|velmora|/Users/dev/velmora|codex|"
                                       "waiting_for_user|1|需要输入密码后继续|"
                                       "2026-07-27T08:30:00.000Z|2026-07-27T09:00:00.250Z"});
    EXPECT_EQ(value("SELECT raw_json FROM receipts"), raw);
    EXPECT_EQ(value("SELECT raw_hash FROM receipts"), SQLiteTaskStore::hash(raw));
    EXPECT_EQ(rows("SELECT task_key, receipt_id, item_id, receipt_version, source_task_title, "
                   "source_task_id, source_locator, category, priority, status, snoozed_until "
                   "FROM tasks ORDER BY task_key"),
              (std::vector<std::string>{
                  "r-42::item-1|r-42|item-1|1|修复构建|019a0000-0000-7000-8000-000000000001|<null>|"
                  "terminal|medium|pending|<null>",
                  "r-42::item-2|r-42|item-2|1|修复构建|019a0000-0000-7000-8000-000000000001|<null>|"
                  "terminal|medium|pending|<null>"}));
    EXPECT_EQ(value("SELECT count(*) FROM tasks WHERE imported_at = (SELECT imported_at FROM "
                    "receipts) AND created_at = '2026-07-27T08:30:00.000Z'"),
              "2");
    // The item is kept whole, stamped with the layout version that wrote it.
    auto stamped = receipt.items[0];
    stamped.payloadVersion = 1;
    EXPECT_EQ(value("SELECT item_json FROM tasks WHERE item_id = 'item-1'"),
              ReceiptJSON::makeEncoder(false).encode(stamped));
    EXPECT_NE(
        value("SELECT item_json FROM tasks WHERE item_id = 'item-1'").find("\"payload_version\":1"),
        std::string::npos);
}

TEST_F(SQLiteTaskStoreImport, TheSameBytesAgainAreADuplicateAndWriteNothing) {
    const auto receipt = makeReceipt("r-42", 1, {makeItem("item-1")});
    ASSERT_EQ(imported(receipt).kind, Kind::inserted);
    ASSERT_TRUE(store->setStatus("r-42::item-1", TaskStatus::completed, std::nullopt));
    const auto before = contents();
    EXPECT_EQ(imported(receipt), StoreImportResult::duplicate());
    EXPECT_EQ(contents(), before);  // imported_at and the status untouched
}

TEST_F(SQLiteTaskStoreImport, TheSameVersionWithOtherBytesIsAConflictAndWritesNothing) {
    const auto receipt = makeReceipt("r-42", 1, {makeItem("item-1")});
    ASSERT_EQ(imported(receipt).kind, Kind::inserted);
    const auto before = contents();
    const std::string spaced = " " + rawJSON(receipt);
    auto result = store->importReceipt(receipt, spaced, SQLiteTaskStore::hash(spaced));
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, StoreImportResult::versionConflict());
    EXPECT_EQ(contents(), before);
}

// v1 has items A (steps s1, s2) and B; v2 keeps A with steps s1, s3 and drops B.
TEST_F(SQLiteTaskStoreImport, ANewerVersionReplacesTasksKeepingOnlyTicksOfSurvivingSteps) {
    ASSERT_EQ(imported(makeReceipt("r-42", 1, {makeItem("A"), makeItem("B")})).kind,
              Kind::inserted);
    for (const char* step : {"s1", "s2"})
        ASSERT_TRUE(store->setStepCompleted("r-42::A", step, true));
    ASSERT_TRUE(store->setStepCompleted("r-42::B", "s1", true));
    ASSERT_TRUE(store->setStatus("r-42::A", TaskStatus::snoozed,
                                 *parseKestrinISO8601("2099-01-01T00:00:00Z")));
    const std::string s1Time = value(
        "SELECT completed_at FROM step_progress WHERE step_id = 's1' "
        "AND task_key = 'r-42::A'");

    auto v2 = makeReceipt("r-42", 2, {makeItem("A", TaskPriority::high, {"s1", "s3"})});
    v2.summary = "第二版";
    EXPECT_EQ(imported(v2), StoreImportResult::updated(1, 1));

    EXPECT_EQ(rows("SELECT task_key, receipt_version, priority, receipt_summary, status, "
                   "snoozed_until FROM tasks"),
              std::vector<std::string>{"r-42::A|2|high|第二版|pending|<null>"});
    EXPECT_EQ(rows("SELECT task_key, step_id, completed_at FROM step_progress"),
              std::vector<std::string>{"r-42::A|s1|" + s1Time});
    EXPECT_EQ(rows("SELECT version, summary FROM receipts"), std::vector<std::string>{"2|第二版"});
    EXPECT_EQ(value("SELECT raw_json FROM receipts"), rawJSON(v2));
}

TEST_F(SQLiteTaskStoreImport, AnOlderVersionIsStaleAndWritesNothing) {
    ASSERT_EQ(imported(makeReceipt("r-42", 2, {makeItem("A")})).kind, Kind::inserted);
    const auto before = contents();
    EXPECT_EQ(imported(makeReceipt("r-42", 1, {makeItem("A"), makeItem("B")})),
              StoreImportResult::stale(2));
    EXPECT_EQ(contents(), before);
}

TEST_F(SQLiteTaskStoreImport, AReceiptWithoutItemsIsStoredAsNoAction) {
    EXPECT_EQ(imported(makeReceipt("r-empty", 1, {})), StoreImportResult::noAction());
    EXPECT_EQ(value("SELECT version, requires_user_action FROM receipts"), "1|0");

    ASSERT_EQ(imported(makeReceipt("r-42", 1, {makeItem("A"), makeItem("B")})).kind,
              Kind::inserted);
    ASSERT_TRUE(store->setStepCompleted("r-42::A", "s1", true));
    EXPECT_EQ(imported(makeReceipt("r-42", 2, {})), StoreImportResult::noAction());
    EXPECT_EQ(value("SELECT version FROM receipts WHERE receipt_id = 'r-42'"), "2");
    EXPECT_EQ(value("SELECT count(*) FROM tasks"), "0");
    EXPECT_EQ(value("SELECT count(*) FROM step_progress"), "0");
}

TEST_F(SQLiteTaskStoreImport, RawBytesThatAreNotUTF8AreRefusedBeforeAnyWrite) {
    const auto receipt = makeReceipt("r-42", 1, {makeItem("A")});
    // A stray byte, an overlong "/" and an encoded surrogate.
    for (const std::string& raw :
         {std::string("{\"a\":\"\xff\"}"), std::string("\xc0\xaf"), std::string("\xed\xa0\x80")}) {
        auto result = store->importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().description(), "无法读取任务数据：回执文件不是 UTF-8 文本。");
    }
    EXPECT_TRUE(contents().empty());
}

// Colons are allowed in identifiers, so two receipts can spell one task key.
TEST_F(SQLiteTaskStoreImport, ATaskKeyHeldByAnotherReceiptIsNotTakenOver) {
    ASSERT_EQ(imported(makeReceipt("abc::x", 1, {makeItem("yz1")})).kind, Kind::inserted);
    ASSERT_TRUE(store->setStepCompleted("abc::x::yz1", "s1", true));
    const auto before = contents();

    auto result = import(makeReceipt("abc", 1, {makeItem("x::yz1", TaskPriority::critical)}));
    ASSERT_FALSE(result);
    EXPECT_EQ(
        result.error().description(),
        "任务数据库操作失败：任务 abc::x::yz1 已属于回执 abc::x，无法写入回执 abc 的同名任务。");
    EXPECT_EQ(contents(), before);
}

// MARK: - Another writer between the pre-check and the transaction

class SQLiteTaskStoreImportRace : public StoreFixture {
protected:
    // Makes `other` store `receipt` with `raw` right before this store's
    // transaction begins, as a second process would.
    void otherWritesFirst(const InterventionReceipt& receipt, const std::string& raw) {
        auto opened = SQLiteTaskStore::open(databasePath);
        ASSERT_TRUE(opened);
        other = std::move(opened).value();
        store->setImportFaultHook(
            [this, receipt, raw](SQLiteTaskStore::ImportStage stage) -> Result<void, StoreError> {
                if (stage == SQLiteTaskStore::ImportStage::beforeTransaction) {
                    auto result = other->importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
                    EXPECT_TRUE(result) << result.error().description();
                }
                return {};
            });
    }

    std::unique_ptr<SQLiteTaskStore> other;
};

// One receipt arriving by two roads at once is a repeat, not a conflict.
TEST_F(SQLiteTaskStoreImportRace, TheSameBytesStoredMeanwhileAreADuplicate) {
    const auto receipt = makeReceipt("r-42", 1, {makeItem("A")});
    otherWritesFirst(receipt, rawJSON(receipt));
    EXPECT_EQ(imported(receipt), StoreImportResult::duplicate());
    EXPECT_EQ(value("SELECT count(*) FROM tasks"), "1");
}

TEST_F(SQLiteTaskStoreImportRace, OtherBytesStoredMeanwhileAreRefusedUnderTheLock) {
    const auto receipt = makeReceipt("r-42", 1, {makeItem("A")});
    auto theirs = makeReceipt("r-42", 1, {makeItem("B")});
    otherWritesFirst(theirs, rawJSON(theirs));
    auto result = import(receipt);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), StoreError::versionConflictUnderLock(1, "r-42"));
    EXPECT_EQ(result.error().description(),
              "回执 r-42 的版本 1 已被其他进程先行写入且内容不同，已拒绝本次导入以保护本地数据。");
    EXPECT_EQ(rows("SELECT task_key FROM tasks"), std::vector<std::string>{"r-42::B"});
}

TEST_F(SQLiteTaskStoreImportRace, AHigherVersionStoredMeanwhileMakesTheImportStale) {
    const auto higher = makeReceipt("r-42", 3, {makeItem("C")});
    otherWritesFirst(higher, rawJSON(higher));
    EXPECT_EQ(imported(makeReceipt("r-42", 2, {makeItem("A")})), StoreImportResult::stale(3));
    EXPECT_EQ(rows("SELECT task_key FROM tasks"), std::vector<std::string>{"r-42::C"});
}

// The version replaced is the one the transaction saw, not the pre-check's.
TEST_F(SQLiteTaskStoreImportRace, ALowerVersionStoredMeanwhileIsReportedAsReplaced) {
    const auto lower = makeReceipt("r-42", 1, {makeItem("C")});
    otherWritesFirst(lower, rawJSON(lower));
    EXPECT_EQ(imported(makeReceipt("r-42", 2, {makeItem("A")})), StoreImportResult::updated(1, 1));
    EXPECT_EQ(rows("SELECT task_key FROM tasks"), std::vector<std::string>{"r-42::A"});
}

// MARK: - Failure midway

class SQLiteTaskStoreImportRollback
    : public StoreFixture,
      public ::testing::WithParamInterface<SQLiteTaskStore::ImportStage> {};

// v1 with ticks and a user status, then v2 (one item survives, one is new,
// one is dropped) failing at the given point: v1 stays exactly as it was.
TEST_P(SQLiteTaskStoreImportRollback, AnImportFailingMidwayLeavesTheDatabaseAsItWas) {
    ASSERT_EQ(imported(makeReceipt("r-42", 1, {makeItem("A"), makeItem("B")})).kind,
              Kind::inserted);
    ASSERT_TRUE(store->setStepCompleted("r-42::A", "s2", true));
    ASSERT_TRUE(store->setStepCompleted("r-42::B", "s1", true));
    ASSERT_TRUE(store->setStatus("r-42::B", TaskStatus::readyToResume, std::nullopt));
    const auto before = contents();

    int tasksWritten = 0;
    store->setImportFaultHook([&](SQLiteTaskStore::ImportStage stage) -> Result<void, StoreError> {
        if (stage == SQLiteTaskStore::ImportStage::taskWritten) ++tasksWritten;
        // With taskWritten, fail after the first of two task rows.
        if (stage == GetParam()) return fail(StoreError::sqlite("disk I/O error"));
        return {};
    });
    auto result =
        import(makeReceipt("r-42", 2, {makeItem("A", TaskPriority::low, {"s1"}), makeItem("C")}));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description(), "任务数据库操作失败：disk I/O error");
    if (GetParam() == SQLiteTaskStore::ImportStage::taskWritten) {
        EXPECT_EQ(tasksWritten, 1);
    }
    EXPECT_EQ(contents(), before);

    store->setImportFaultHook(nullptr);
    EXPECT_EQ(imported(makeReceipt("r-42", 2, {makeItem("A")})), StoreImportResult::updated(1, 1));
}

static std::string stageName(const ::testing::TestParamInfo<SQLiteTaskStore::ImportStage>& stage) {
    switch (stage.param) {
        case SQLiteTaskStore::ImportStage::beforeTransaction:
            return "beforeTransaction";
        case SQLiteTaskStore::ImportStage::receiptWritten:
            return "receiptWritten";
        case SQLiteTaskStore::ImportStage::taskWritten:
            return "taskWritten";
        case SQLiteTaskStore::ImportStage::beforeCommit:
            return "beforeCommit";
    }
    return "unknown";
}

INSTANTIATE_TEST_SUITE_P(EveryStage, SQLiteTaskStoreImportRollback,
                         ::testing::Values(SQLiteTaskStore::ImportStage::beforeTransaction,
                                           SQLiteTaskStore::ImportStage::receiptWritten,
                                           SQLiteTaskStore::ImportStage::taskWritten,
                                           SQLiteTaskStore::ImportStage::beforeCommit),
                         stageName);

// A genuine SQLite failure in the last write of an import (the clean-up of a
// vanished step's tick) undoes the receipt row, the task rows and the deletion.
TEST_F(SQLiteTaskStoreImport, ASQLiteFailureInTheLastWriteRollsEverythingBack) {
    ASSERT_EQ(imported(makeReceipt("r-42", 1, {makeItem("A"), makeItem("B")})).kind,
              Kind::inserted);
    ASSERT_TRUE(store->setStepCompleted("r-42::A", "s2", true));
    exec(
        "CREATE TRIGGER refuse AFTER DELETE ON step_progress WHEN old.task_key = 'r-42::A' "
        "BEGIN SELECT RAISE(ABORT, 'step clean-up refused'); END;");
    const auto before = contents();

    auto result = import(makeReceipt("r-42", 2, {makeItem("A", TaskPriority::high, {"s1"})}));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description(), "任务数据库操作失败：step clean-up refused");
    EXPECT_EQ(contents(), before);
}
