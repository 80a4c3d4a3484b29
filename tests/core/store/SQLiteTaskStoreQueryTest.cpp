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
    std::vector<std::string> listed(bool includeCompleted = true) {
        std::vector<std::string> keys;
        for (const auto& task : list(includeCompleted)) {
            keys.push_back(task.taskKey);
            for (const auto& step : task.completedStepIDs) keys.back() += " " + step;
        }
        return keys;
    }
    void setStatus(const std::string& key, TaskStatus status, std::optional<Timestamp> until = {}) {
        ASSERT_TRUE(store->setStatus(key, status, until));
    }
    void tick(const std::string& key, const std::string& step, bool done = true) {
        ASSERT_TRUE(store->setStepCompleted(key, step, done));
    }
};

// Priority, then imported_at text descending, then row order; odd values sort as text.
TEST_F(SQLiteTaskStoreQuery, ListingOrderTicksAndClosedTasks) {
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
    for (const auto& [key, step] : std::vector<std::pair<std::string, std::string>>{
             {"r-1::a", "s1"}, {"r-1::a", "s2"}, {"r-1::c", "s2"}, {"r-1::h", "s1"}})
        tick(key, step);
    setStatus("r-1::c", TaskStatus::completed);
    setStatus("r-1::f", TaskStatus::cancelled);
    setStatus("r-1::g", TaskStatus::readyToResume);
    setStatus("r-1::d", TaskStatus::waitingExternal);
    EXPECT_EQ(listed(), (std::vector<std::string>{"r-1::a s1 s2", "r-1::c s2", "r-1::d", "r-1::b",
                                                  "r-1::g", "r-1::h s1", "r-1::e", "r-1::f"}));
    tick("r-1::a", "s1", false);  // a second listing reads the ticks again
    EXPECT_EQ(listed(false), (std::vector<std::string>{"r-1::a s2", "r-1::d", "r-1::b", "r-1::g",
                                                       "r-1::h s1", "r-1::e"}));
}

// Unreadable rows are skipped and counted; decoded items are cached by their text.
TEST_F(SQLiteTaskStoreQuery, UnreadableOrChangedRowsBehindTheStoresBack) {
    std::vector<InterventionItem> items;
    for (const char* id : {"good", "newer", "status", "agent", "json", "date", "wake"})
        items.push_back(makeItem(id));
    imported(makeReceipt("r-1", 1, items));
    EXPECT_EQ(list().size(), 7u);
    exec(
        "UPDATE tasks SET item_json = replace(item_json, '\"payload_version\":1', "
        "'\"payload_version\":2') WHERE item_id = 'newer';"
        "UPDATE tasks SET item_json = replace(item_json, '处理 good', '重新处理') "
        "WHERE item_id = 'good';"
        "UPDATE tasks SET status = 'archived' WHERE item_id = 'status';"
        "UPDATE tasks SET agent = 'copilot' WHERE item_id = 'agent';"
        "UPDATE tasks SET item_json = '{' WHERE item_id = 'json';"
        "UPDATE tasks SET created_at = 'yesterday' WHERE item_id = 'date';"
        "UPDATE tasks SET status = 'snoozed', snoozed_until = 'soon' WHERE item_id = 'wake';");
    auto tasks = list(true, *parseKestrinISO8601("2026-01-01T00:00:00Z"));
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].item.title, "重新处理");
    EXPECT_EQ(std::pair(tasks[1].status, tasks[1].snoozedUntil),
              std::pair(TaskStatus::snoozed, std::optional<Timestamp>{}));
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 5);
    EXPECT_EQ(store->task("r-1::newer").error(), StoreError::missingTask("r-1::newer"));
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 1);
    EXPECT_EQ(store->task("r-1::good")->item.title, "重新处理");
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    // A task deleted and re-created under the same key reads its new item.
    imported(makeReceipt("r-1", 2, {makeItem("good", TaskPriority::critical, {"x"})}));
    EXPECT_EQ(list().at(0).item.steps.at(0).id, "x");
}

TEST_F(SQLiteTaskStoreQuery, StatusTicksAndWakeUpsAreWrittenOnlyForExistingTasks) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b")}));
    const Timestamp wake = *parseKestrinISO8601("2026-09-01T07:00:00.5Z");
    setStatus("r-1::a", TaskStatus::snoozed, wake);
    EXPECT_EQ(value("SELECT status, snoozed_until FROM tasks"), "snoozed|2026-09-01T07:00:00.500Z");
    setStatus("r-1::a", TaskStatus::snoozed, wake);  // unchanged is fine
    setStatus("r-1::a", TaskStatus::pending, wake);
    tick("r-1::a", "s1");  // moves only a pending task to in progress, and clears the time
    EXPECT_EQ(value("SELECT status, snoozed_until FROM tasks"), "in_progress|<null>");
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
    EXPECT_EQ(rows("SELECT task_key, status FROM tasks WHERE task_key NOT IN "
                   "(SELECT task_key FROM step_progress)"),
              std::vector<std::string>{"r-1::a|in_progress"});
    EXPECT_EQ(store->setStatus("r-1::z", TaskStatus::completed, {}).error(),
              StoreError::missingTask("r-1::z"));
    EXPECT_EQ(store->setStepCompleted("r-1::z", "s1", true).error(),
              StoreError::missingTask("r-1::z"));
    // Snoozed tasks wake on every listing, also one that leaves completed tasks out.
    imported(makeReceipt("r-2", 1, {makeItem("due"), makeItem("later"), makeItem("open")}));
    const Timestamp now = *parseKestrinISO8601("2026-08-01T12:00:00Z");
    setStatus("r-2::due", TaskStatus::snoozed, now - 1s);
    setStatus("r-2::later", TaskStatus::snoozed, now + 24h);
    setStatus("r-2::open", TaskStatus::snoozed);  // no time, no wake-up
    std::map<std::string, std::pair<TaskStatus, std::optional<Timestamp>>> byKey;
    for (auto& task : list(false, now))
        if (task.receiptID == "r-2") byKey[task.taskKey] = {task.status, task.snoozedUntil};
    EXPECT_EQ(byKey, (decltype(byKey){{"r-2::due", {TaskStatus::pending, std::nullopt}},
                                      {"r-2::later", {TaskStatus::snoozed, now + 24h}},
                                      {"r-2::open", {TaskStatus::snoozed, std::nullopt}}}));
    EXPECT_EQ(value("SELECT snoozed_until FROM tasks WHERE task_key = 'r-2::due'"), "<null>");
    setStatus("r-2::later", TaskStatus::snoozed, now);  // exactly `now` is due
    list(true, now);
    EXPECT_EQ(store->task("r-2::later")->status, TaskStatus::pending);
}

TEST_F(SQLiteTaskStoreQuery, DeletingIsAllOrNothingKeepsTheReceiptAndTakesNotesAlong) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")}));
    tick("r-1::a", "s1");
    const auto before = contents();
    EXPECT_EQ(store->deleteTasks({"r-1::a", "r-1::zz", "r-1::b", "r-1::y"}).error(),
              StoreError::missingTask("r-1::y"));  // the smallest missing key
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(store->deleteTasks({}));
    ASSERT_TRUE(store->deleteTasks({"r-1::a", "r-1::b"}));
    EXPECT_EQ(listed(), std::vector<std::string>{"r-1::c"});
    EXPECT_EQ(value("SELECT count(*) FROM step_progress"), "0");  // the cascade
    EXPECT_EQ(store->deleteTask("r-1::a").error(), StoreError::missingTask("r-1::a"));
    // Receipts are history: only a newer version brings tasks back.
    ASSERT_TRUE(store->deleteTask("r-1::c"));
    EXPECT_EQ(imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")})),
              StoreImportResult::duplicate());
    EXPECT_TRUE(list().empty());
    EXPECT_EQ(imported(makeReceipt("r-1", 2, {makeItem("a")})), StoreImportResult::updated(1, 1));
    // Any UTF-8 text is kept exactly; a note lives exactly as long as its task.
    imported(makeReceipt("r", 1, {makeItem("a"), makeItem("b"), makeItem("c")}));
    constexpr char controlBytes[] = "\x01\t\r\n\x1b[31m red \x7f\0end";
    for (const auto& text :
         {std::string(controlBytes, sizeof controlBytes - 1), std::string("  备注\n\n")}) {
        ASSERT_TRUE(store->setNote("r::a", text));
        EXPECT_EQ(store->note("r::a").value(), text);
    }
    EXPECT_EQ(store->setNote("r::a", "\xff\xfe").error(),
              StoreError::encode("备注不是 UTF-8 文本。"));
    EXPECT_EQ(store->setNote("r::missing", "x").error(), StoreError::missingTask("r::missing"));
    EXPECT_EQ(store->note("r::missing").value() + "/" + store->note("r::a").value(), "/  备注\n\n");
    for (const char* key : {"r::a", "r::b", "r::c"}) ASSERT_TRUE(store->setNote(key, "备注"));
    tick("r::a", "s1");
    setStatus("r::a", TaskStatus::completed);
    imported(makeReceipt("r", 2, {makeItem("a"), makeItem("c")}));  // keeps a, drops b
    ASSERT_TRUE(store->deleteTask("r::c"));
    // Tasks made again never inherit a dropped note.
    imported(makeReceipt("r", 3, {makeItem("a"), makeItem("b"), makeItem("c")}));
    EXPECT_EQ(rows("SELECT task_key, text FROM task_notes"), std::vector<std::string>{"r::a|备注"});
    EXPECT_EQ(store->note("r::b").value(), "");
    ASSERT_TRUE(store->setNote("r::a", ""));  // empty text clears it
    EXPECT_EQ(store->note("r::a").value(), "");
}

TEST_F(SQLiteTaskStoreQuery, HistoryListsNewestFirstAndTheChangeTokenMovesOnWrites) {
    for (const auto& [id, version, items] : std::vector<std::tuple<std::string, int, int>>{
             {"r-old", 1, 1}, {"r-mid", 4, 0}, {"r-new", 2, 1}, {"r-odd", 1, 0}})
        imported(makeReceipt(id, version, std::vector(items, makeItem("a"))));
    exec(
        "UPDATE receipts SET imported_at = '2026-07-27T1' || CASE receipt_id WHEN 'r-old' THEN 0 "
        "WHEN 'r-mid' THEN 1 WHEN 'r-new' THEN 2 ELSE 3 END || ':00:00.000Z', "
        "agent = iif(receipt_id = 'r-odd', 'copilot', agent);");
    auto history = store->receiptHistory(100).value();
    ASSERT_EQ(history.size(), 3u);  // r-odd left out
    EXPECT_EQ(history[0].receiptID + history[2].receiptID, "r-newr-old");
    EXPECT_TRUE(history[0].requiresUserAction);
    EXPECT_EQ(history[1],
              (ReceiptHistoryRecord{"r-mid", 4, "velmora", AgentKind::codex,
                                    ReceiptState::waitingForUser, false, "需要输入密码后继续",
                                    *parseKestrinISO8601("2026-07-27T11:00:00Z")}));
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    // The limit counts rows read, so the unreadable newest one takes a place.
    EXPECT_EQ(store->receiptHistory(2)->size(), 1u);
    EXPECT_TRUE(store->receiptHistory(0)->empty());
    EXPECT_EQ(store->receiptHistory(-1)->size(), 3u);
    // The change token moves with every write and only then.
    auto before = store->changeToken().value();
    ASSERT_TRUE(store->listTasks(true, currentTimestamp()) && store->receiptHistory(100) &&
                store->task("r-old::a"));
    EXPECT_EQ(store->changeToken().value(), before);
    auto other = std::move(SQLiteTaskStore::open(databasePath)).value();
    ASSERT_TRUE(store->backup(directory / "copy.sqlite"));
    const std::vector<std::pair<const char*, std::function<void()>>> writes{
        {"own write", [&] { tick("r-old::a", "s1"); }},
        {"another store",
         [&] { ASSERT_TRUE(other->setStatus("r-old::a", TaskStatus::completed, {})); }},
        // Written through this very connection: only the schema cookie sees it.
        {"a restore", [&] {
             ASSERT_TRUE(store->restoreDatabase(directory / "copy.sqlite", directory / "safety"));
         }}};
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        before = store->changeToken().value();
        write();
        EXPECT_NE(store->changeToken().value(), before);
    }
}
