#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <set>
#include <variant>

#include "tools/StoreFixture.h"

extern char** environ;

using namespace kestrin;
using namespace kestrin::testing;
using Stage = SQLiteTaskStore::ImportStage;
using Outcome = std::variant<StoreImportResult, StoreError>;

static Outcome outcome(const Result<StoreImportResult, StoreError>& result) {
    return result ? Outcome(*result) : Outcome(result.error());
}

using SQLiteTaskStoreImport = StoreFixture;

TEST_F(SQLiteTaskStoreImport,
       AFirstImportStoresEveryFieldAndLaterImportsThatChangeNothingWriteNothing) {
    auto receipt = makeReceipt("r-42", 2, {makeItem("item-1"), makeItem("item-2")});
    receipt.source.locator = "thread 7";
    const std::string raw = rawJSON(receipt);
    ASSERT_EQ(imported(receipt), StoreImportResult::inserted(2));
    EXPECT_EQ(rows("SELECT receipt_id, version, schema_version, project_name, project_path, agent, "
                   "state, requires_user_action, summary, created_at, updated_at FROM receipts"),
              std::vector<std::string>{"r-42|2|1.0|velmora|/Users/dev/velmora|codex|"
                                       "waiting_for_user|1|需要输入密码后继续|"
                                       "2026-07-27T08:30:00.000Z|2026-07-27T09:00:00.250Z"});
    const std::string taskRow =
        "|2|修复构建|019a0000-0000-7000-8000-000000000001|thread 7|"
        "terminal|medium|pending|<null>|2026-07-27T08:30:00.000Z|1";
    EXPECT_EQ(rows("SELECT task_key, receipt_id, item_id, receipt_version, source_task_title, "
                   "source_task_id, source_locator, category, priority, status, snoozed_until, "
                   "created_at, imported_at = (SELECT imported_at FROM receipts) "
                   "FROM tasks ORDER BY task_key"),
              (std::vector<std::string>{"r-42::item-1|r-42|item-1" + taskRow,
                                        "r-42::item-2|r-42|item-2" + taskRow}));
    // The item is kept whole, stamped with the layout version that wrote it.
    auto stamped = receipt.items[0];
    stamped.payloadVersion = 1;
    EXPECT_EQ(value("SELECT item_json FROM tasks WHERE item_id = 'item-1'"),
              ReceiptJSON::makeEncoder(false).encode(stamped));
    // Read back, ticks (also of a step the item lacks) and all; a tick starts the task.
    for (const char* step : {"s2", "gone"})
        ASSERT_TRUE(store->setStepCompleted("r-42::item-1", step, true));
    const TaskRecord expected(
        "r-42::item-1", "r-42", 2, receipt.project, receipt.source, receipt.state, receipt.summary,
        stamped, receipt.createdAt, receipt.updatedAt,
        *parseKestrinISO8601(value("SELECT imported_at FROM receipts")), TaskStatus::inProgress,
        std::nullopt, std::set<std::string>{"gone", "s2"});
    EXPECT_EQ(store->task("r-42::item-1").value(), expected);
    EXPECT_EQ(store->listTasks(true, currentTimestamp())->at(0), expected);
    EXPECT_EQ(store->task("r-42::nope").error(), StoreError::missingTask("r-42::nope"));
    // Every refused or repeated import from here on leaves the database exactly as it was.
    // Colons are allowed in identifiers, so two receipts can spell one task key.
    imported(makeReceipt("abc::x", 1, {makeItem("yz1")}));
    ASSERT_TRUE(store->setStepCompleted("abc::x::yz1", "s1", true));
    const auto before = contents();
    const auto fresh = makeReceipt("r-new", 1, {makeItem("A")});
    const struct {
        const char* name;
        InterventionReceipt receipt;
        std::string raw;
        Outcome expected;
    } cases[] = {
        // raw "": its own
        {"same bytes", receipt, "", StoreImportResult::duplicate()},
        {"same version, other bytes", receipt, " " + raw, StoreImportResult::versionConflict()},
        {"older version", makeReceipt("r-42", 1, {makeItem("A")}), "", StoreImportResult::stale(2)},
        {"stray byte", fresh, "{\"a\":\"\xff\"}", StoreError::decode("回执文件不是 UTF-8 文本。")},
        {"task key of another receipt",
         makeReceipt("abc", 1, {makeItem("x::yz1", TaskPriority::critical)}), "",
         StoreError::sqlite("任务 abc::x::yz1 已属于回执 abc::x，无法写入回执 abc 的同名任务。")},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string bytes = test.raw.empty() ? rawJSON(test.receipt) : test.raw;
        EXPECT_EQ(outcome(store->importReceipt(test.receipt, bytes, SQLiteTaskStore::hash(bytes))),
                  test.expected);
        EXPECT_EQ(contents(), before);
    }
}

// A second process stores the receipt between our pre-check and transaction.
TEST_F(SQLiteTaskStoreImport, AWriterBetweenPreCheckAndTransactionIsSeenUnderTheLock) {
    // Their version and item; ours is item A at `ours`. What is stored afterwards.
    const struct {
        const char* id;
        std::int64_t theirs;
        const char* item;
        std::int64_t ours;
        Outcome expected;
        const char* keys;
    } cases[] = {
        {"r-1", 1, "A", 1, StoreImportResult::duplicate(), "r-1::A"},
        {"r-2", 1, "B", 1, StoreError::versionConflictUnderLock(1, "r-2"), "r-2::B"},
        {"r-3", 3, "C", 2, StoreImportResult::stale(3), "r-3::C"},
        {"r-4", 1, "C", 2, StoreImportResult::updated(1, 1),
         "r-4::A"},  // replaces what the transaction saw
    };
    auto other = std::move(SQLiteTaskStore::open(databasePath)).value();
    for (const auto& test : cases) {
        SCOPED_TRACE(test.id);
        store->setImportFaultHook([&](Stage stage) -> Result<void, StoreError> {
            EXPECT_TRUE(
                stage != Stage::beforeTransaction ||
                import(makeReceipt(test.id, test.theirs, {makeItem(test.item)}), other.get()));
            return {};
        });
        EXPECT_EQ(outcome(import(makeReceipt(test.id, test.ours, {makeItem("A")}))), test.expected);
        EXPECT_EQ(
            rows("SELECT task_key FROM tasks WHERE receipt_id = '" + std::string(test.id) + "'"),
            std::vector<std::string>{test.keys});
    }
}

// v2 keeps A with steps s1, s3, drops B, adds C; failing anywhere, it leaves v1 as it was.
TEST_F(SQLiteTaskStoreImport, ANewerVersionReplacesTasksOrFailingMidwayChangesNothing) {
    imported(makeReceipt("r-42", 1, {makeItem("A"), makeItem("B")}));
    for (const char* step : {"r-42::A s1", "r-42::A s2", "r-42::B s1"})
        ASSERT_TRUE(store->setStepCompleted(std::string(step, 7), step + 8, true));
    ASSERT_TRUE(store->setStatus("r-42::A", TaskStatus::snoozed,
                                 *parseKestrinISO8601("2099-01-01T00:00:00Z")));
    ASSERT_TRUE(store->setStatus("r-42::B", TaskStatus::readyToResume, std::nullopt));
    const auto before = contents();
    auto v2 =
        makeReceipt("r-42", 2, {makeItem("A", TaskPriority::high, {"s1", "s3"}), makeItem("C")});
    v2.summary = "第二版";
    // With taskWritten, the import fails after the first of two task rows.
    for (const auto& [failing, rowsWritten] :
         std::vector<std::pair<Stage, int>>{{Stage::beforeTransaction, 0},
                                            {Stage::receiptWritten, 0},
                                            {Stage::taskWritten, 1},
                                            {Stage::beforeCommit, 2}}) {
        SCOPED_TRACE(static_cast<int>(failing));
        int tasksWritten = 0;
        store->setImportFaultHook([&](Stage stage) -> Result<void, StoreError> {
            if (stage == Stage::taskWritten) ++tasksWritten;
            if (stage == failing) return fail(StoreError::sqlite("disk I/O error"));
            return {};
        });
        EXPECT_EQ(outcome(import(v2)), Outcome(StoreError::sqlite("disk I/O error")));
        EXPECT_EQ(tasksWritten, rowsWritten);
        EXPECT_EQ(contents(), before);
    }
    store->setImportFaultHook(nullptr);
    exec(
        "CREATE TRIGGER refuse AFTER DELETE ON step_progress WHEN old.task_key = 'r-42::A' "
        "BEGIN SELECT RAISE(ABORT, 'step clean-up refused'); END;");
    EXPECT_EQ(outcome(import(v2)), Outcome(StoreError::sqlite("step clean-up refused")));
    EXPECT_EQ(contents(), before);
    exec("DROP TRIGGER refuse;");
    const std::string s1Time = value(
        "SELECT completed_at FROM step_progress WHERE step_id = 's1' "
        "AND task_key = 'r-42::A'");
    EXPECT_EQ(imported(v2), StoreImportResult::updated(2, 1));
    EXPECT_EQ(rows("SELECT task_key, receipt_version, priority, receipt_summary, status, "
                   "snoozed_until FROM tasks"),
              (std::vector<std::string>{"r-42::A|2|high|第二版|pending|<null>",
                                        "r-42::C|2|medium|第二版|pending|<null>"}));
    EXPECT_EQ(rows("SELECT task_key, step_id, completed_at FROM step_progress"),
              std::vector<std::string>{"r-42::A|s1|" + s1Time});
    EXPECT_EQ(rows("SELECT version, summary, raw_json FROM receipts"),
              std::vector<std::string>{"2|第二版|" + rawJSON(v2)});
    // A version without items is stored and takes every task and tick along.
    EXPECT_EQ(imported(makeReceipt("r-42", 3, {})), StoreImportResult::noAction());
    EXPECT_EQ(value("SELECT version, requires_user_action, (SELECT count(*) FROM tasks) + "
                    "(SELECT count(*) FROM step_progress) FROM receipts"),
              "3|0|0");
    EXPECT_EQ(imported(makeReceipt("r-new", 1, {})), StoreImportResult::noAction());
}

TEST_F(SQLiteTaskStoreImport, WritersInSeveralProcessesLoseNothing) {
    constexpr int writers = 6, ownReceipts = 12, highestVersion = 8;
    const auto shared = directory / "shared.sqlite";
    const auto start = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch()) +
                       std::chrono::milliseconds(1500);
    std::vector<pid_t> pids;
    std::set<std::string> expected{"shared::common", "shared::only-v8"};
    for (int writer = 0; writer < writers; ++writer) {
        const std::string name = "w" + std::to_string(writer);
        for (int i = 0; i < ownReceipts; ++i)
            for (const char* item : {"::a", "::b"})
                expected.insert(name + "-r" + std::to_string(i) + item);
        std::vector<std::string> arguments{VELMORA_STORE_IMPORT_TOOL, shared.string(),
                                           std::to_string(start.count()), name,
                                           std::to_string(ownReceipts)};
        // Every third writer swaps each pair (2,1,4,3 ...), so versions also cross.
        for (int i = 0; i < highestVersion; ++i)
            arguments.push_back(std::to_string(writer % 3 == 2 ? (i ^ 1) + 1 : i + 1));
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << pid << " failed";
    }
    databasePath = shared;  // the fixture's raw connection now reads the shared file
    store = std::move(SQLiteTaskStore::open(shared)).value();
    EXPECT_EQ(store->receiptHistory(-1)->size(), 1u + writers * ownReceipts);
    EXPECT_EQ(store->listTasks(true, currentTimestamp())->size(), expected.size());
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    EXPECT_EQ(rows("SELECT task_key FROM tasks ORDER BY task_key"),
              std::vector<std::string>(expected.begin(), expected.end()));
    EXPECT_EQ(value("SELECT group_concat(DISTINCT receipt_version) FROM tasks "
                    "WHERE receipt_id = 'shared'"),
              std::to_string(highestVersion));
    EXPECT_EQ(value("SELECT raw_json FROM receipts WHERE receipt_id = 'shared'"),
              rawJSON(makeReceipt("shared", 8, {makeItem("common"), makeItem("only-v8")})));
    EXPECT_EQ(value("PRAGMA quick_check"), "ok");
}
