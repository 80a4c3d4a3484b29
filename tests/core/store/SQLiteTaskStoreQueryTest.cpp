#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
using namespace std::chrono_literals;

class SQLiteTaskStoreQuery : public StoreFixture {
protected:
    std::vector<TaskRecord> list(bool includeCompleted = true, Timestamp now = currentTimestamp()) {
        auto tasks = store->listTasks(includeCompleted, now);
        EXPECT_TRUE(tasks) << tasks.error().description();
        return tasks ? *tasks : std::vector<TaskRecord>{};
    }

    std::vector<std::string> keys(bool includeCompleted = true) {
        std::vector<std::string> keys;
        for (const auto& task : list(includeCompleted)) keys.push_back(task.taskKey);
        return keys;
    }

    void setStatus(const std::string& key, TaskStatus status, std::optional<Timestamp> until = {}) {
        ASSERT_TRUE(store->setStatus(key, status, until));
    }

    void tick(const std::string& key, const std::string& step, bool done = true) {
        ASSERT_TRUE(store->setStepCompleted(key, step, done));
    }
};

TEST_F(SQLiteTaskStoreQuery, ATaskReadsBackAsItWasImported) {
    auto receipt = makeReceipt("r-42", 3, {makeItem("item-1", TaskPriority::high, {"s1", "s2"})});
    receipt.source.locator = "thread 7";
    imported(receipt);
    tick("r-42::item-1", "s2");
    tick("r-42::item-1", "gone");  // a step the item no longer has still counts

    auto task = store->task("r-42::item-1");
    ASSERT_TRUE(task) << task.error().description();
    TaskRecord expected;
    expected.taskKey = "r-42::item-1";
    expected.receiptID = "r-42";
    expected.receiptVersion = 3;
    expected.project = receipt.project;
    expected.source = receipt.source;
    expected.receiptState = receipt.state;
    expected.receiptSummary = receipt.summary;
    expected.item = receipt.items[0];
    expected.item.payloadVersion = 1;
    expected.createdAt = receipt.createdAt;
    expected.updatedAt = receipt.updatedAt;
    expected.importedAt = task->importedAt;
    expected.status = TaskStatus::inProgress;
    expected.completedStepIDs = {"gone", "s2"};
    EXPECT_EQ(*task, expected);
    EXPECT_EQ(kestrinISO8601(task->importedAt), value("SELECT imported_at FROM receipts"));
    EXPECT_EQ(list(), std::vector<TaskRecord>{*task});
    EXPECT_EQ(task->id(), "r-42::item-1");
    EXPECT_EQ(std::pair(task->completedStepCount(), task->totalStepCount()), std::pair(2ul, 2ul));
    EXPECT_TRUE(task->isStepComplete("s2"));
    EXPECT_FALSE(task->isStepComplete("S2") || task->isStepComplete("s1"));
    EXPECT_EQ(store->task("r-42::nope").error(), StoreError::missingTask("r-42::nope"));
}

TEST_F(SQLiteTaskStoreQuery, ListingWakesSnoozedTasksWhoseTimeHasCome) {
    imported(makeReceipt("r-1", 1, {makeItem("due"), makeItem("later"), makeItem("open")}));
    const Timestamp now = *parseKestrinISO8601("2026-08-01T12:00:00Z");
    setStatus("r-1::due", TaskStatus::snoozed, now - 1s);
    setStatus("r-1::later", TaskStatus::snoozed, now + 24h);
    setStatus("r-1::open", TaskStatus::snoozed);

    // Waking happens on every listing, also one that leaves completed tasks out.
    std::map<std::string, TaskRecord> byKey;
    for (auto& task : list(false, now)) byKey[task.taskKey] = task;
    EXPECT_EQ(byKey["r-1::due"].status, TaskStatus::pending);
    EXPECT_EQ(byKey["r-1::due"].snoozedUntil, std::nullopt);
    EXPECT_EQ(byKey["r-1::later"].status, TaskStatus::snoozed);
    EXPECT_EQ(byKey["r-1::later"].snoozedUntil, now + 24h);
    EXPECT_EQ(byKey["r-1::open"].status, TaskStatus::snoozed);  // no time, no wake-up
    EXPECT_EQ(value("SELECT snoozed_until FROM tasks WHERE task_key = 'r-1::due'"), "<null>");

    setStatus("r-1::later", TaskStatus::snoozed, now);  // exactly `now` is due
    list(true, now);
    EXPECT_EQ(store->task("r-1::later")->status, TaskStatus::pending);
}

// The listing sorts in memory; it must give SQLite's own ORDER BY, also for
// odd values: unknown priority text ranks as "low", imported_at compares as
// text, and equal keys keep the table's order.
TEST_F(SQLiteTaskStoreQuery, OrderIsSQLitesOrderAndClosedTasksAreLeftOutOnRequest) {
    std::vector<InterventionItem> items;
    for (const char* id : {"a", "b", "c", "d", "e", "f", "g", "h"}) items.push_back(makeItem(id));
    imported(makeReceipt("r-1", 1, items));
    for (const auto& [item, priority, importedAt] : std::vector<std::array<std::string, 3>>{
             {"a", "critical", "2026-07-27T09:00:00.000Z"},
             {"b", "high", "2026-07-27T11:00:00.000Z"},
             {"c", "high", "2026-07-27T12:00:00+02:00"},  // 10:00 UTC, yet after b as text
             {"d", "high", "2026-07-27T11:30:00Z"},
             {"e", "High", "2026-07-28T00:00:00.000Z"},
             {"f", "low", "2026-07-27T08:00:00.000Z"},
             {"g", "medium", "2026-07-27T10:00:00.000Z"},
             {"h", "medium", "2026-07-27T10:00:00.000Z"}})
        exec("UPDATE tasks SET priority = '" + priority + "', imported_at = '" + importedAt +
             "' WHERE item_id = '" + item + "';");

    const std::vector<std::string> expected{"r-1::a", "r-1::c", "r-1::d", "r-1::b",
                                            "r-1::g", "r-1::h", "r-1::e", "r-1::f"};
    EXPECT_EQ(keys(), expected);
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    EXPECT_EQ(rows("SELECT task_key FROM tasks ORDER BY CASE priority WHEN 'critical' THEN 0 "
                   "WHEN 'high' THEN 1 WHEN 'medium' THEN 2 ELSE 3 END, imported_at DESC, rowid"),
              expected);

    setStatus("r-1::c", TaskStatus::completed);
    setStatus("r-1::f", TaskStatus::cancelled);
    setStatus("r-1::g", TaskStatus::readyToResume);
    setStatus("r-1::d", TaskStatus::waitingExternal);
    EXPECT_EQ(keys(false), (std::vector<std::string>{"r-1::a", "r-1::d", "r-1::b", "r-1::g",
                                                     "r-1::h", "r-1::e"}));
    EXPECT_EQ(keys(true), expected);
}

// The ticks of all tasks are read in one go; each must land on its own task,
// and a second listing reads them again.
TEST_F(SQLiteTaskStoreQuery, EveryTaskCarriesItsOwnTicks) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")}));
    imported(makeReceipt("r-2", 1, {makeItem("a")}));
    for (const auto& [key, step] : std::vector<std::pair<std::string, std::string>>{
             {"r-1::a", "s1"}, {"r-1::a", "s2"}, {"r-1::c", "s2"}, {"r-2::a", "s1"}})
        tick(key, step);
    setStatus("r-1::c", TaskStatus::completed);
    const auto ticks = [&](bool includeCompleted) {
        std::map<std::string, std::set<std::string>> all;
        for (const auto& task : list(includeCompleted)) all[task.taskKey] = task.completedStepIDs;
        return all;
    };
    using Ticks = std::map<std::string, std::set<std::string>>;
    EXPECT_EQ(
        ticks(true),
        (Ticks{{"r-1::a", {"s1", "s2"}}, {"r-1::b", {}}, {"r-1::c", {"s2"}}, {"r-2::a", {"s1"}}}));
    EXPECT_EQ(ticks(false), (Ticks{{"r-1::a", {"s1", "s2"}}, {"r-1::b", {}}, {"r-2::a", {"s1"}}}));
    tick("r-1::a", "s1", false);
    EXPECT_EQ(ticks(false)["r-1::a"], std::set<std::string>{"s2"});
}

// Rows another build (or damage) left behind are skipped and counted, never
// fatal to the list; an unreadable wake-up time only drops the time.
TEST_F(SQLiteTaskStoreQuery, UnreadableRowsAreSkippedAndCounted) {
    imported(
        makeReceipt("r-1", 1,
                    {makeItem("good"), makeItem("newer"), makeItem("status"), makeItem("agent"),
                     makeItem("json"), makeItem("date"), makeItem("wake")}));
    exec(
        "UPDATE tasks SET item_json = replace(item_json, '\"payload_version\":1', "
        "'\"payload_version\":2') WHERE item_id = 'newer';"
        "UPDATE tasks SET status = 'archived' WHERE item_id = 'status';"
        "UPDATE tasks SET agent = 'copilot' WHERE item_id = 'agent';"
        "UPDATE tasks SET item_json = '{' WHERE item_id = 'json';"
        "UPDATE tasks SET created_at = 'yesterday' WHERE item_id = 'date';"
        "UPDATE tasks SET status = 'snoozed', snoozed_until = 'soon' WHERE item_id = 'wake';");

    auto tasks = list(true, *parseKestrinISO8601("2026-01-01T00:00:00Z"));
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].taskKey, "r-1::good");
    EXPECT_EQ(tasks[1].status, TaskStatus::snoozed);
    EXPECT_EQ(tasks[1].snoozedUntil, std::nullopt);
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 5);
    EXPECT_EQ(store->task("r-1::newer").error(), StoreError::missingTask("r-1::newer"));
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
        "UPDATE tasks SET item_json = replace(item_json, '处理 a', '重新处理 a') WHERE item_id = "
        "'a';"
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

TEST_F(SQLiteTaskStoreQuery, TickingStepsMovesOnlyAPendingTaskToInProgress) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b")}));
    const auto later = *parseKestrinISO8601("2099-01-01T00:00:00Z");
    setStatus("r-1::a", TaskStatus::snoozed, later);
    setStatus("r-1::a", TaskStatus::pending, later);
    tick("r-1::a", "s1");
    EXPECT_EQ(store->task("r-1::a")->status, TaskStatus::inProgress);
    EXPECT_EQ(store->task("r-1::a")->snoozedUntil, std::nullopt);

    const std::string first = value("SELECT completed_at FROM step_progress");
    std::this_thread::sleep_for(3ms);
    tick("r-1::a", "s1");  // ticking again keeps the first time
    EXPECT_EQ(value("SELECT completed_at FROM step_progress"), first);

    setStatus("r-1::b", TaskStatus::readyToResume);
    tick("r-1::b", "s2");
    EXPECT_EQ(store->task("r-1::b")->status, TaskStatus::readyToResume);

    // Unticking never changes the status, and unticking twice is fine.
    tick("r-1::a", "s1", false);
    tick("r-1::a", "s1", false);
    EXPECT_EQ(store->task("r-1::a")->status, TaskStatus::inProgress);
    EXPECT_TRUE(store->task("r-1::a")->completedStepIDs.empty());

    EXPECT_EQ(store->setStepCompleted("r-1::zzz", "s1", true).error(),
              StoreError::missingTask("r-1::zzz"));
    EXPECT_EQ(value("SELECT count(*) FROM step_progress WHERE task_key = 'r-1::zzz'"), "0");
}

TEST_F(SQLiteTaskStoreQuery, SetStatusWritesStatusAndWakeUpTimeOfAnExistingTask) {
    imported(makeReceipt("r-1", 1, {makeItem("a")}));
    const Timestamp wake = *parseKestrinISO8601("2026-09-01T07:00:00.5Z");
    setStatus("r-1::a", TaskStatus::snoozed, wake);
    EXPECT_EQ(value("SELECT status, snoozed_until FROM tasks"), "snoozed|2026-09-01T07:00:00.500Z");
    setStatus("r-1::a", TaskStatus::snoozed, wake);  // unchanged is fine
    setStatus("r-1::a", TaskStatus::completed);
    EXPECT_EQ(value("SELECT status, snoozed_until FROM tasks"), "completed|<null>");
    EXPECT_EQ(store->setStatus("r-1::b", TaskStatus::completed, std::nullopt).error(),
              StoreError::missingTask("r-1::b"));
}

TEST_F(SQLiteTaskStoreQuery, DeletingTasksIsAllOrNothingAndNamesTheSmallestMissingKey) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")}));
    tick("r-1::a", "s1");
    const auto before = contents();
    EXPECT_EQ(store->deleteTasks({"r-1::a", "r-1::zz", "r-1::b", "r-1::y"}).error(),
              StoreError::missingTask("r-1::y"));
    EXPECT_EQ(contents(), before);

    EXPECT_TRUE(store->deleteTasks({}));
    ASSERT_TRUE(store->deleteTasks({"r-1::a", "r-1::b"}));
    EXPECT_EQ(keys(), std::vector<std::string>{"r-1::c"});
    EXPECT_EQ(value("SELECT count(*) FROM step_progress"), "0");  // the cascade
    EXPECT_EQ(store->deleteTask("r-1::a").error(), StoreError::missingTask("r-1::a"));

    // Receipts are history: the receipt stays, the same version stays a
    // duplicate, and only a newer version brings tasks back.
    ASSERT_TRUE(store->deleteTask("r-1::c"));
    EXPECT_EQ(value("SELECT count(*) FROM receipts"), "1");
    EXPECT_EQ(imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")})),
              StoreImportResult::duplicate());
    EXPECT_TRUE(list().empty());
    EXPECT_EQ(imported(makeReceipt("r-1", 2, {makeItem("a")})), StoreImportResult::updated(1, 1));
    EXPECT_EQ(keys(), std::vector<std::string>{"r-1::a"});

    tick("r-1::a", "s1");
    exec("PRAGMA foreign_keys = ON; DELETE FROM receipts;");
    EXPECT_EQ(value("SELECT (SELECT count(*) FROM tasks) + (SELECT count(*) FROM step_progress)"),
              "0");
}

TEST_F(SQLiteTaskStoreQuery, HistoryListsNewestImportsFirstWithinTheLimit) {
    imported(makeReceipt("r-old", 1, {makeItem("a")}));
    imported(makeReceipt("r-mid", 4, {}));
    imported(makeReceipt("r-new", 2, {makeItem("a")}));
    imported(makeReceipt("r-odd", 1, {}));
    exec(
        "UPDATE receipts SET imported_at = CASE receipt_id WHEN 'r-old' THEN "
        "'2026-07-27T10:00:00.000Z' "
        "WHEN 'r-mid' THEN '2026-07-27T11:00:00.000Z' WHEN 'r-new' THEN '2026-07-27T12:00:00.000Z' "
        "ELSE '2026-07-27T13:00:00.000Z' END;"
        "UPDATE receipts SET agent = 'copilot' WHERE receipt_id = 'r-odd';");

    auto history = store->receiptHistory(100);
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), 3u);  // r-odd left out
    EXPECT_EQ((*history)[0].receiptID, "r-new");
    EXPECT_TRUE((*history)[0].requiresUserAction);
    EXPECT_EQ((*history)[1],
              (ReceiptHistoryRecord{"r-mid", 4, "velmora", AgentKind::codex,
                                    ReceiptState::waitingForUser, false, "需要输入密码后继续",
                                    *parseKestrinISO8601("2026-07-27T11:00:00Z")}));
    EXPECT_EQ((*history)[2].receiptID, "r-old");
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);

    // The limit counts rows read, so the unreadable newest one takes a place.
    EXPECT_EQ(store->receiptHistory(2)->size(), 1u);
    EXPECT_EQ(store->receiptHistory(3)->size(), 2u);
    EXPECT_TRUE(store->receiptHistory(0)->empty());
    EXPECT_EQ(store->receiptHistory(-1)->size(), 3u);
}

TEST_F(SQLiteTaskStoreQuery, TheChangeTokenMovesWithEveryWriteAndOnlyThen) {
    imported(makeReceipt("r", 1, {makeItem("a")}));
    auto before = store->changeToken().value();
    ASSERT_TRUE(store->listTasks(true, currentTimestamp()));
    ASSERT_TRUE(store->receiptHistory(100));
    ASSERT_TRUE(store->task("r::a"));
    EXPECT_EQ(store->changeToken().value(), before);

    auto other = std::move(SQLiteTaskStore::open(databasePath)).value();
    const std::vector<std::pair<const char*, std::function<void()>>> writes{
        {"own status", [&] { setStatus("r::a", TaskStatus::waitingExternal); }},
        {"own tick", [&] { tick("r::a", "s1"); }},
        {"another store",
         [&] { ASSERT_TRUE(other->setStatus("r::a", TaskStatus::completed, {})); }},
        {"a plain connection", [&] { exec("UPDATE tasks SET status = 'pending';"); }},
        // The online backup writes through this very connection: neither
        // data_version nor the change count sees it, the schema cookie does.
        {"a restore",
         [&] {
             ASSERT_TRUE(
                 store->restoreDatabase(directory / "copy.sqlite", directory / "safety.sqlite"));
         }},
    };
    ASSERT_TRUE(store->backup(directory / "copy.sqlite"));
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        before = store->changeToken().value();
        write();
        EXPECT_NE(store->changeToken().value(), before);
    }
}
