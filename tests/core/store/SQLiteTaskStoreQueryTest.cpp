#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> keysOf(const std::vector<TaskRecord>& tasks) {
    std::vector<std::string> keys;
    for (const auto& task : tasks) keys.push_back(task.taskKey);
    return keys;
}

}  // namespace

class SQLiteTaskStoreQuery : public StoreFixture {
protected:
    std::vector<TaskRecord> list(bool includeCompleted = true, Timestamp now = currentTimestamp()) {
        auto tasks = store->listTasks(includeCompleted, now);
        EXPECT_TRUE(tasks) << tasks.error().description();
        return tasks ? *tasks : std::vector<TaskRecord>{};
    }

    // Distinct import times, so the order by import time is defined.
    void importAfterATick(const InterventionReceipt& receipt) {
        std::this_thread::sleep_for(3ms);
        imported(receipt);
    }
};

TEST_F(SQLiteTaskStoreQuery, ATaskReadsBackAsItWasImported) {
    auto receipt = makeReceipt("r-42", 3, {makeItem("item-1", TaskPriority::high, {"s1", "s2"})});
    receipt.source.locator = "thread 7";
    imported(receipt);
    ASSERT_TRUE(store->setStepCompleted("r-42::item-1", "s2", true));

    auto task = store->task("r-42::item-1");
    ASSERT_TRUE(task) << task.error().description();
    auto expectedItem = receipt.items[0];
    expectedItem.payloadVersion = 1;
    EXPECT_EQ(task->taskKey, "r-42::item-1");
    EXPECT_EQ(task->receiptID, "r-42");
    EXPECT_EQ(task->receiptVersion, 3);
    EXPECT_EQ(task->project, receipt.project);
    EXPECT_EQ(task->source, receipt.source);
    EXPECT_EQ(task->receiptState, receipt.state);
    EXPECT_EQ(task->receiptSummary, receipt.summary);
    EXPECT_EQ(task->item, expectedItem);
    EXPECT_EQ(task->createdAt, receipt.createdAt);
    EXPECT_EQ(task->updatedAt, receipt.updatedAt);
    EXPECT_EQ(kestrinISO8601(task->importedAt), value("SELECT imported_at FROM receipts"));
    EXPECT_EQ(task->status, TaskStatus::inProgress);
    EXPECT_EQ(task->snoozedUntil, std::nullopt);
    EXPECT_EQ(task->completedStepIDs, std::set<std::string>{"s2"});
    EXPECT_EQ(list(), std::vector<TaskRecord>{*task});

    auto missing = store->task("r-42::nope");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description(), "找不到任务：r-42::nope");
}

TEST_F(SQLiteTaskStoreQuery, ListingWakesSnoozedTasksWhoseTimeHasCome) {
    imported(makeReceipt("r-1", 1, {makeItem("due"), makeItem("later"), makeItem("open")}));
    const Timestamp now = *parseKestrinISO8601("2026-08-01T12:00:00Z");
    ASSERT_TRUE(store->setStatus("r-1::due", TaskStatus::snoozed, now - 1s));
    ASSERT_TRUE(store->setStatus("r-1::later", TaskStatus::snoozed, now + 24h));
    ASSERT_TRUE(store->setStatus("r-1::open", TaskStatus::snoozed, std::nullopt));

    // Waking happens on every listing, also one that leaves completed tasks out.
    std::map<std::string, TaskRecord> byKey;
    for (auto& task : list(false, now)) byKey[task.taskKey] = task;
    EXPECT_EQ(byKey["r-1::due"].status, TaskStatus::pending);
    EXPECT_EQ(byKey["r-1::due"].snoozedUntil, std::nullopt);
    EXPECT_EQ(byKey["r-1::later"].status, TaskStatus::snoozed);
    EXPECT_EQ(byKey["r-1::later"].snoozedUntil, now + 24h);
    EXPECT_EQ(byKey["r-1::open"].status, TaskStatus::snoozed);  // no time, no wake-up
    EXPECT_EQ(value("SELECT snoozed_until FROM tasks WHERE task_key = 'r-1::due'"), "<null>");

    // A wake-up time exactly at `now` is due.
    ASSERT_TRUE(store->setStatus("r-1::later", TaskStatus::snoozed, now));
    list(true, now);
    EXPECT_EQ(store->task("r-1::later")->status, TaskStatus::pending);
}

TEST_F(SQLiteTaskStoreQuery, ClosedTasksAreLeftOutOnlyOnRequest) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c"), makeItem("d")}));
    ASSERT_TRUE(store->setStatus("r-1::a", TaskStatus::completed, std::nullopt));
    ASSERT_TRUE(store->setStatus("r-1::b", TaskStatus::cancelled, std::nullopt));
    ASSERT_TRUE(store->setStatus("r-1::c", TaskStatus::readyToResume, std::nullopt));
    ASSERT_TRUE(store->setStatus("r-1::d", TaskStatus::waitingExternal, std::nullopt));

    auto open = keysOf(list(false));
    std::sort(open.begin(), open.end());
    EXPECT_EQ(open, (std::vector<std::string>{"r-1::c", "r-1::d"}));
    EXPECT_EQ(list(true).size(), 4u);
}

TEST_F(SQLiteTaskStoreQuery, TasksComeByPriorityThenNewestImportFirst) {
    importAfterATick(makeReceipt("r-low", 1, {makeItem("x", TaskPriority::low)}));
    importAfterATick(makeReceipt("r-high-old", 1, {makeItem("x", TaskPriority::high)}));
    importAfterATick(makeReceipt("r-medium", 1, {makeItem("x", TaskPriority::medium)}));
    importAfterATick(makeReceipt("r-high-new", 1, {makeItem("x", TaskPriority::high)}));
    importAfterATick(makeReceipt("r-critical", 1, {makeItem("x", TaskPriority::critical)}));

    EXPECT_EQ(keysOf(list()),
              (std::vector<std::string>{"r-critical::x", "r-high-new::x", "r-high-old::x",
                                        "r-medium::x", "r-low::x"}));
}

// Rows another build (or damage) left behind are skipped and counted, never
// fatal to the list.
TEST_F(SQLiteTaskStoreQuery, UnreadableRowsAreSkippedAndCounted) {
    imported(makeReceipt("r-1", 1,
                         {makeItem("good"), makeItem("newer"), makeItem("status"),
                          makeItem("agent"), makeItem("json"), makeItem("date")}));
    exec(
        "UPDATE tasks SET item_json = replace(item_json, '\"payload_version\":1', "
        "'\"payload_version\":2') WHERE item_id = 'newer';"
        "UPDATE tasks SET status = 'archived' WHERE item_id = 'status';"
        "UPDATE tasks SET agent = 'copilot' WHERE item_id = 'agent';"
        "UPDATE tasks SET item_json = '{' WHERE item_id = 'json';"
        "UPDATE tasks SET created_at = 'yesterday' WHERE item_id = 'date';");

    EXPECT_EQ(keysOf(list()), std::vector<std::string>{"r-1::good"});
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 5);

    auto skipped = store->task("r-1::newer");
    ASSERT_FALSE(skipped);
    EXPECT_EQ(skipped.error().description(), "找不到任务：r-1::newer");
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 1);
    ASSERT_TRUE(store->task("r-1::good"));
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
}

// Items read once are not decoded again while their stored text is the same;
// a change made by another writer must still show on the next read.
TEST_F(SQLiteTaskStoreQuery, ItemsChangedBehindTheStoresBackReadBackChanged) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b")}));
    ASSERT_EQ(list().size(), 2u);
    exec(
        "UPDATE tasks SET item_json = replace(item_json, '处理 a', '重新处理 a') "
        "WHERE item_id = 'a';"
        "UPDATE tasks SET item_json = replace(item_json, '\"payload_version\":1', "
        "'\"payload_version\":2') WHERE item_id = 'b';");
    auto tasks = list();
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].item.title, "重新处理 a");
    EXPECT_EQ(store->task("r-1::a")->item.title, "重新处理 a");
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    EXPECT_FALSE(store->task("r-1::b"));

    // A task deleted and re-created under the same key reads its new item.
    imported(makeReceipt("r-1", 2, {makeItem("a", TaskPriority::critical, {"x"})}));
    EXPECT_EQ(list().at(0).item.steps.at(0).id, "x");
}

TEST_F(SQLiteTaskStoreQuery, AnUnreadableWakeUpTimeIsDroppedButTheTaskKept) {
    imported(makeReceipt("r-1", 1, {makeItem("a")}));
    exec("UPDATE tasks SET status = 'snoozed', snoozed_until = 'soon';");
    auto tasks = list(true, *parseKestrinISO8601("2026-01-01T00:00:00Z"));
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].status, TaskStatus::snoozed);
    EXPECT_EQ(tasks[0].snoozedUntil, std::nullopt);
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
}

TEST_F(SQLiteTaskStoreQuery, TickingStepsMovesOnlyAPendingTaskToInProgress) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b")}));
    ASSERT_TRUE(store->setStatus("r-1::a", TaskStatus::snoozed,
                                 *parseKestrinISO8601("2099-01-01T00:00:00Z")));
    ASSERT_TRUE(store->setStatus("r-1::a", TaskStatus::pending,
                                 *parseKestrinISO8601("2099-01-01T00:00:00Z")));
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", true));
    EXPECT_EQ(store->task("r-1::a")->status, TaskStatus::inProgress);
    EXPECT_EQ(store->task("r-1::a")->snoozedUntil, std::nullopt);

    const std::string first = value("SELECT completed_at FROM step_progress");
    std::this_thread::sleep_for(3ms);
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", true));
    EXPECT_EQ(value("SELECT completed_at FROM step_progress"), first);

    ASSERT_TRUE(store->setStatus("r-1::b", TaskStatus::readyToResume, std::nullopt));
    ASSERT_TRUE(store->setStepCompleted("r-1::b", "s2", true));
    ASSERT_TRUE(store->setStepCompleted("r-1::b", "no-such-step", true));
    EXPECT_EQ(store->task("r-1::b")->status, TaskStatus::readyToResume);
    EXPECT_EQ(store->task("r-1::b")->completedStepIDs,
              (std::set<std::string>{"no-such-step", "s2"}));

    // Unticking never changes the status, and unticking twice is fine.
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", false));
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", false));
    EXPECT_EQ(store->task("r-1::a")->status, TaskStatus::inProgress);
    EXPECT_TRUE(store->task("r-1::a")->completedStepIDs.empty());

    auto missing = store->setStepCompleted("r-1::zzz", "s1", true);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), StoreError::missingTask("r-1::zzz"));
    EXPECT_EQ(value("SELECT count(*) FROM step_progress WHERE task_key = 'r-1::zzz'"), "0");
}

TEST_F(SQLiteTaskStoreQuery, SetStatusNeedsAnExistingTask) {
    imported(makeReceipt("r-1", 1, {makeItem("a")}));
    const Timestamp wake = *parseKestrinISO8601("2026-09-01T07:00:00.5Z");
    ASSERT_TRUE(store->setStatus("r-1::a", TaskStatus::snoozed, wake));
    EXPECT_EQ(value("SELECT status, snoozed_until FROM tasks"), "snoozed|2026-09-01T07:00:00.500Z");
    EXPECT_TRUE(store->setStatus("r-1::a", TaskStatus::snoozed, wake));  // unchanged is fine
    ASSERT_TRUE(store->setStatus("r-1::a", TaskStatus::completed, std::nullopt));
    EXPECT_EQ(value("SELECT status, snoozed_until FROM tasks"), "completed|<null>");

    auto missing = store->setStatus("r-1::b", TaskStatus::completed, std::nullopt);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description(), "找不到任务：r-1::b");
}

TEST_F(SQLiteTaskStoreQuery, DeletingTasksIsAllOrNothingAndNamesTheSmallestMissingKey) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")}));
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", true));
    const auto before = contents();

    auto refused = store->deleteTasks({"r-1::a", "r-1::zz", "r-1::b", "r-1::y"});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), StoreError::missingTask("r-1::y"));
    EXPECT_EQ(contents(), before);

    EXPECT_TRUE(store->deleteTasks({}));
    ASSERT_TRUE(store->deleteTasks({"r-1::a", "r-1::b"}));
    EXPECT_EQ(keysOf(list()), std::vector<std::string>{"r-1::c"});
    EXPECT_EQ(value("SELECT count(*) FROM step_progress"), "0");  // the cascade
    EXPECT_EQ(store->deleteTask("r-1::a").error(), StoreError::missingTask("r-1::a"));
}

// Receipts are history: deleting every task keeps the receipt, the same
// version stays a duplicate, and only a newer version brings tasks back.
TEST_F(SQLiteTaskStoreQuery, DeletedTasksComeBackOnlyWithANewerVersion) {
    const auto v1 = makeReceipt("r-1", 1, {makeItem("a")});
    imported(v1);
    ASSERT_TRUE(store->deleteTask("r-1::a"));
    EXPECT_EQ(value("SELECT count(*) FROM receipts"), "1");
    EXPECT_EQ(imported(v1), StoreImportResult::duplicate());
    EXPECT_TRUE(list().empty());
    EXPECT_EQ(imported(makeReceipt("r-1", 2, {makeItem("a")})), StoreImportResult::updated(1, 1));
    EXPECT_EQ(keysOf(list()), std::vector<std::string>{"r-1::a"});
}

TEST_F(SQLiteTaskStoreQuery, DeletingAReceiptRowCascadesToTasksAndTicks) {
    imported(makeReceipt("r-1", 1, {makeItem("a")}));
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", true));
    exec("PRAGMA foreign_keys = ON; DELETE FROM receipts;");
    EXPECT_EQ(value("SELECT (SELECT count(*) FROM tasks) + (SELECT count(*) FROM step_progress)"),
              "0");
}

TEST_F(SQLiteTaskStoreQuery, HistoryListsNewestImportsFirstWithinTheLimit) {
    importAfterATick(makeReceipt("r-old", 1, {makeItem("a")}));
    importAfterATick(makeReceipt("r-mid", 4, {}));
    importAfterATick(makeReceipt("r-new", 2, {makeItem("a")}));
    importAfterATick(makeReceipt("r-odd", 1, {}));
    exec("UPDATE receipts SET agent = 'copilot' WHERE receipt_id = 'r-odd';");

    auto history = store->receiptHistory(100);
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), 3u);  // r-odd left out
    EXPECT_EQ((*history)[0].receiptID, "r-new");
    EXPECT_EQ(
        (*history)[1],
        (ReceiptHistoryRecord{"r-mid", 4, "velmora", AgentKind::codex, ReceiptState::waitingForUser,
                              false, "需要输入密码后继续", (*history)[1].importedAt}));
    EXPECT_EQ(kestrinISO8601((*history)[1].importedAt),
              value("SELECT imported_at FROM receipts WHERE receipt_id = 'r-mid'"));
    EXPECT_TRUE((*history)[0].requiresUserAction);
    EXPECT_EQ((*history)[2].receiptID, "r-old");
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);

    // The limit counts rows read, so the unreadable newest one takes a place.
    EXPECT_EQ(store->receiptHistory(2)->size(), 1u);
    EXPECT_EQ(store->receiptHistory(3)->size(), 2u);
    EXPECT_TRUE(store->receiptHistory(0)->empty());
    EXPECT_EQ(store->receiptHistory(-1)->size(), 3u);
}
