// The store's quick check, backup, database restore with its safety copy and
// roll-back, and the archive's reads and writes of task state.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <variant>

#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;

namespace {

// Creates an SQLite file at `path` holding what `sql` makes.
void makeDatabase(const fs::path& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(result, SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

// An SQLite file whose header reads fine but whose table pages are garbage:
// opens, tells its user_version, and fails the quick check.
void makeDamagedDatabase(const fs::path& path) {
    makeDatabase(path,
                 "PRAGMA page_size = 4096; CREATE TABLE t (x TEXT); "
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                 "INSERT INTO t SELECT printf('%0200d', i) FROM n;");
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string garbage(4096 * 3, '\x5a');
    file.seekp(4096 * 3);
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

template <typename E>
const E* held(const ArchiveFailure& failure) {
    return std::get_if<E>(&failure.error);
}

class StoreMaintenanceTest : public StoreFixture {
protected:
    // Two receipts; one task in progress with a tick, one snoozed.
    void fillStore() {
        imported(makeReceipt("r-alpha", 1, {makeItem("item-1"), makeItem("item-2")}));
        imported(makeReceipt("r-beta", 2, {makeItem("item-1")}));
        ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "s1", true));
        ASSERT_TRUE(store->setStatus("r-alpha::item-2", TaskStatus::snoozed,
                                     parseKestrinISO8601("2030-01-01T00:00:00Z")));
    }

    // A second, independent database with one receipt, to restore from.
    fs::path makeSourceDatabase() {
        const fs::path source = directory / "source" / "tasks.sqlite";
        auto other = SQLiteTaskStore::open(source);
        EXPECT_TRUE(other);
        const auto receipt = makeReceipt("r-source", 7, {makeItem("only")});
        const auto raw = rawJSON(receipt);
        EXPECT_TRUE((*other)->importReceipt(receipt, raw, SQLiteTaskStore::hash(raw)));
        return source;
    }

    Result<void, ArchiveFailure> restore(const fs::path& source) {
        return store->restoreDatabase(source, safetyPath());
    }

    fs::path safetyPath() const { return directory / "backups" / "safety.sqlite"; }
};

}  // namespace

// MARK: - Quick check

TEST_F(StoreMaintenanceTest, AFreshDatabasePassesTheQuickCheck) {
    EXPECT_TRUE(store->verifyIntegrity());
}

TEST_F(StoreMaintenanceTest, ADamagedDatabaseFailsTheQuickCheckWithItsFindings) {
    const fs::path damaged = directory / "damaged.sqlite";
    makeDamagedDatabase(damaged);
    auto damagedStore = SQLiteTaskStore::open(damaged);
    ASSERT_TRUE(damagedStore) << damagedStore.error().description();
    auto checked = (*damagedStore)->verifyIntegrity();
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().kind, StoreError::Kind::integrity);
    EXPECT_TRUE(checked.error().description().starts_with("任务数据库完整性检查失败："))
        << checked.error().description();

    // The online backup copies the damage page by page; the check of the copy
    // finds it, and the partial copy is removed with its companion files.
    const fs::path target = directory / "backups" / "copy.sqlite";
    auto copied = (*damagedStore)->backup(target);
    ASSERT_FALSE(copied);
    EXPECT_EQ(held<StoreError>(copied.error())->kind, StoreError::Kind::integrity);
    EXPECT_TRUE(fs::is_empty(target.parent_path()));
}

// MARK: - Backup

TEST_F(StoreMaintenanceTest, ABackupOpensAsTheSameDatabaseAndCreatesItsDirectory) {
    fillStore();
    const fs::path target = directory / "not" / "yet" / "there" / "copy.sqlite";
    auto done = store->backup(target);
    ASSERT_TRUE(done) << done.error().description();

    auto copy = SQLiteTaskStore::open(target);
    ASSERT_TRUE(copy) << copy.error().description();
    EXPECT_EQ((*copy)->schemaVersion(), 1);
    const auto now = *parseKestrinISO8601("2026-07-28T00:00:00Z");
    EXPECT_EQ((*copy)->listTasks(true, now).value(), store->listTasks(true, now).value());
    EXPECT_EQ((*copy)->receiptHistory(-1).value(), store->receiptHistory(-1).value());
    EXPECT_EQ((*copy)->archivedTaskStates().value(), store->archivedTaskStates().value());
}

TEST_F(StoreMaintenanceTest, ABackupNeverOverwritesAFile) {
    const fs::path target = directory / "existing.sqlite";
    writeFile(target, "keep me");
    auto done = store->backup(target);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().description(), "目标文件已经存在，为避免覆盖已停止：" + target.string());
    EXPECT_EQ(readFile(target), "keep me");
}

TEST_F(StoreMaintenanceTest, ABackupOntoTheLiveFileIsRefusedInEverySpelling) {
    fillStore();
    const auto before = contents();
    const std::string name = databasePath.filename().string();
    for (const fs::path& spelling :
         {databasePath, directory / "." / name, directory / "sub" / ".." / name}) {
        auto done = store->backup(spelling);
        ASSERT_FALSE(done) << spelling;
        EXPECT_EQ(done.error().description(),
                  "不能使用当前任务数据库作为备份或恢复来源：" + databasePath.string());
    }
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(store->verifyIntegrity());
}

TEST_F(StoreMaintenanceTest, ABackupWhoseDirectoryCannotBeMadeFailsWithTheFileError) {
    writeFile(directory / "plain-file", "");
    auto done = store->backup(directory / "plain-file" / "copy.sqlite");
    ASSERT_FALSE(done);
    const auto* error = held<FileError>(done.error());
    ASSERT_NE(error, nullptr) << done.error().description();
    EXPECT_EQ(error->kind, FileError::Kind::createDirectory);
}

// MARK: - Restore: refusals before the live database is written

TEST_F(StoreMaintenanceTest, RestoreRefusesTheLiveFileAndASafetyCopyOnTheSource) {
    fillStore();
    const auto before = contents();
    const fs::path source = makeSourceDatabase();
    const std::string name = databasePath.filename().string();
    const std::string unsafe = "不能使用当前任务数据库作为备份或恢复来源：";

    for (const fs::path& live :
         {databasePath, directory / "." / name, directory / "source" / ".." / name}) {
        auto asSource = store->restoreDatabase(live, safetyPath());
        ASSERT_FALSE(asSource);
        EXPECT_EQ(asSource.error().description(), unsafe + databasePath.string());

        // The source is named even when the safety location is the bad one.
        auto asSafety = store->restoreDatabase(source, live);
        ASSERT_FALSE(asSafety);
        EXPECT_EQ(asSafety.error().description(), unsafe + source.string());
    }
    auto onSource = store->restoreDatabase(source, directory / "source" / "." / "tasks.sqlite");
    ASSERT_FALSE(onSource);
    EXPECT_EQ(onSource.error().description(), unsafe + source.string());

    EXPECT_EQ(contents(), before);
    EXPECT_FALSE(fs::exists(safetyPath()));
}

TEST_F(StoreMaintenanceTest, RestoreRefusesUnusableSourcesBeforeTouchingAnything) {
    fillStore();
    const auto before = contents();

    const fs::path missing = directory / "missing.sqlite";
    auto fromMissing = restore(missing);
    ASSERT_FALSE(fromMissing);
    EXPECT_EQ(fromMissing.error().description(),
              "任务数据库备份或恢复失败：找不到恢复来源：" + missing.string());

    const fs::path text = directory / "notes.txt";
    writeFile(text, std::string(8192, 'n'));
    auto fromText = restore(text);
    ASSERT_FALSE(fromText);
    EXPECT_EQ(fromText.error().description(), "任务数据库操作失败：file is not a database");

    const fs::path newer = directory / "newer.sqlite";
    makeDatabase(newer, "PRAGMA user_version = 2;");
    auto fromNewer = restore(newer);
    ASSERT_FALSE(fromNewer);
    EXPECT_EQ(fromNewer.error().description(),
              "任务数据库版本 2 高于当前支持的版本 1，请使用更新版本的 Velmora。");

    const fs::path damaged = directory / "damaged.sqlite";
    makeDamagedDatabase(damaged);
    auto fromDamaged = restore(damaged);
    ASSERT_FALSE(fromDamaged);
    const auto* error = held<StoreError>(fromDamaged.error());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->kind, StoreError::Kind::integrity) << error->description();

    EXPECT_EQ(contents(), before);
    EXPECT_FALSE(fs::exists(safetyPath()));
}

TEST_F(StoreMaintenanceTest, RestoreRefusesAnExistingSafetyLocation) {
    fillStore();
    const auto before = contents();
    fs::create_directories(safetyPath().parent_path());
    writeFile(safetyPath(), "older backup");
    auto done = restore(makeSourceDatabase());
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().description(),
              "目标文件已经存在，为避免覆盖已停止：" + safetyPath().string());
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(readFile(safetyPath()), "older backup");
}

// MARK: - Restore: success

TEST_F(StoreMaintenanceTest, RestoreReplacesTheContentAndKeepsTheOldInTheSafetyCopy) {
    fillStore();
    const auto receiptsBefore = store->archivedReceipts().value();
    const auto statesBefore = store->archivedTaskStates().value();
    auto done = restore(makeSourceDatabase());
    ASSERT_TRUE(done) << done.error().description();

    EXPECT_EQ(rows("SELECT receipt_id, version FROM receipts"),
              std::vector<std::string>{"r-source|7"});
    EXPECT_EQ(fs::file_size(directory / "tasks.sqlite-wal"), 0u);  // checkpointed, truncated
    EXPECT_EQ(store->schemaVersion(), 1);
    // The same store and connection go on working.
    imported(makeReceipt("r-after", 1, {makeItem("item-1")}));
    EXPECT_EQ(store->listTasks(true, currentTimestamp())->size(), 2u);

    auto safety = SQLiteTaskStore::open(safetyPath());
    ASSERT_TRUE(safety);
    EXPECT_EQ((*safety)->archivedReceipts().value(), receiptsBefore);
    EXPECT_EQ((*safety)->archivedTaskStates().value(), statesBefore);
}

TEST_F(StoreMaintenanceTest, RestoreFromAnEmptyFileGivesTheEmptySchema) {
    fillStore();
    const fs::path empty = directory / "empty.sqlite";
    makeDatabase(empty, "");
    auto done = restore(empty);
    ASSERT_TRUE(done) << done.error().description();
    EXPECT_TRUE(contents().empty());
    EXPECT_EQ(store->schemaVersion(), 1);
    EXPECT_EQ(
        rows("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name"),
        (std::vector<std::string>{"idx_tasks_project", "idx_tasks_receipt", "idx_tasks_status",
                                  "sqlite_autoindex_receipts_1", "sqlite_autoindex_step_progress_1",
                                  "sqlite_autoindex_tasks_1"}));
}

// MARK: - Restore: failures after the live database was written are rolled back

// Files of other programs with tables under our names: CREATE TABLE IF NOT
// EXISTS keeps such a table, the quick check is content with it, and without a
// look at the columns the restore would report success over a database this
// build cannot read.
TEST_F(StoreMaintenanceTest, AForeignFileIsRefusedByWhatItLacksAndTheUsersDataRolledBack) {
    fillStore();
    const auto before = contents();
    const std::string allTaskColumns =
        "task_key、receipt_id、item_id、receipt_version、project_name、project_path、agent、"
        "receipt_state、source_task_title、source_task_id、source_locator、receipt_summary、"
        "category、priority、item_json、created_at、updated_at、imported_at、status、"
        "snoozed_until";
    const struct {
        const char* name;
        const char* sql;
        std::string missing;
    } cases[] = {
        // The migration runs through; the check after it finds the gaps.
        {"todo-app.sqlite",
         "CREATE TABLE tasks (task_key TEXT PRIMARY KEY, receipt_id TEXT, status TEXT, "
         "project_name TEXT, title TEXT); INSERT INTO tasks VALUES ('a', 'b', 'c', 'd', 'e');",
         "数据表 tasks 缺少列 item_id、receipt_version、project_path、agent、receipt_state、"
         "source_task_title、source_task_id、source_locator、receipt_summary、category、"
         "priority、item_json、created_at、updated_at、imported_at、snoozed_until。"},
        // The migration trips over the table (an index on a column it lacks).
        {"notes.sqlite", "CREATE TABLE tasks (id INTEGER, title TEXT);",
         "数据表 tasks 缺少列 " + allTaskColumns + "。"},
        // At our version nothing is migrated, so missing tables count too.
        {"other.sqlite", "PRAGMA user_version = 1; CREATE TABLE tasks (id INTEGER, title TEXT);",
         "缺少数据表 receipts；数据表 tasks 缺少列 " + allTaskColumns +
             "；缺少数据表 step_progress。"},
    };
    for (const auto& foreign : cases) {
        SCOPED_TRACE(foreign.name);
        makeDatabase(directory / foreign.name, foreign.sql);
        auto done =
            store->restoreDatabase(directory / foreign.name, directory / "backups" / foreign.name);
        ASSERT_FALSE(done);
        EXPECT_EQ(done.error().description(), "任务数据库完整性检查失败：" + foreign.missing);
        EXPECT_EQ(contents(), before);
        EXPECT_TRUE(fs::exists(directory / "backups" / foreign.name));
    }
    EXPECT_EQ(store->listTasks(true, currentTimestamp())->size(), 3u);
}

TEST_F(StoreMaintenanceTest, ACopyBlockedByAnotherWriterIsRolledBackFromTheSafetyCopy) {
    fillStore();
    const auto before = contents();
    const fs::path source = makeSourceDatabase();
    std::vector<SQLiteTaskStore::RestoreStage> stages;
    store->setRestoreFaultHook(
        [&](SQLiteTaskStore::RestoreStage stage) -> Result<void, StoreError> {
            stages.push_back(stage);
            exec("ROLLBACK;");  // the other writer finishes before the copy back
            return {};
        });

    exec("BEGIN IMMEDIATE;");  // held past the store's 2000 ms busy timeout
    auto done = restore(source);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().description(), "任务数据库备份或恢复失败：database is locked");
    EXPECT_EQ(stages, std::vector{SQLiteTaskStore::RestoreStage::rollingBack});
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(store->verifyIntegrity());
}

TEST_F(StoreMaintenanceTest, AFailureAfterTheCopyPutsTheSafetyCopyBack) {
    fillStore();
    const auto before = contents();
    store->setRestoreFaultHook([](SQLiteTaskStore::RestoreStage stage) -> Result<void, StoreError> {
        if (stage == SQLiteTaskStore::RestoreStage::copied) {
            return fail(StoreError::sqlite("disk I/O error"));
        }
        return {};
    });
    auto done = restore(makeSourceDatabase());
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().description(), "任务数据库操作失败：disk I/O error");
    EXPECT_EQ(contents(), before);
}

TEST_F(StoreMaintenanceTest, WhenTheCopyBackFailsTooTheMessageNamesTheSafetyCopy) {
    fillStore();
    const auto before = contents();
    exec("BEGIN IMMEDIATE;");  // never released while the restore runs
    auto done = restore(makeSourceDatabase());
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().description(),
              "任务数据库备份或恢复失败：恢复失败：任务数据库备份或恢复失败：database is "
              "locked。此外，自动回滚安全副本也失败，当前数据库可能处于中间状态，"
              "请人工检查安全副本：" +
                  safetyPath().string());
    exec("ROLLBACK;");
    EXPECT_EQ(contents(), before);  // the blocked copy never wrote anything
}

TEST_F(StoreMaintenanceTest, AnUnreadableSafetyCopyIsNamedInTheMessage) {
    fillStore();
    store->setRestoreFaultHook(
        [&](SQLiteTaskStore::RestoreStage stage) -> Result<void, StoreError> {
            if (stage == SQLiteTaskStore::RestoreStage::copied) {
                return fail(StoreError::sqlite("disk I/O error"));
            }
            fs::remove(safetyPath());
            return {};
        });
    auto done = restore(makeSourceDatabase());
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().description(),
              "任务数据库备份或恢复失败：恢复失败：任务数据库操作失败：disk I/O "
              "error。此外，自动回滚安全副本也失败，当前数据库可能处于中间状态，"
              "请人工检查安全副本：" +
                  safetyPath().string());
}

// MARK: - Archive reads and writes

TEST_F(StoreMaintenanceTest, ArchivedReceiptsAreTheStoredTextsInIdentifierOrder) {
    const auto receipt = makeReceipt("r-zulu", 3, {makeItem("item-1")});
    const std::string spaced = "  " + rawJSON(receipt) + "\n";
    ASSERT_TRUE(store->importReceipt(receipt, spaced, SQLiteTaskStore::hash(spaced)));
    imported(makeReceipt("r-alpha", 1, {}));

    auto receipts = store->archivedReceipts();
    ASSERT_TRUE(receipts);
    ASSERT_EQ(receipts->size(), 2u);
    EXPECT_EQ((*receipts)[0].receiptId, "r-alpha");
    EXPECT_EQ((*receipts)[1],
              (ArchivedReceipt{"r-zulu", 3, SQLiteTaskStore::hash(spaced), spaced}));
}

TEST_F(StoreMaintenanceTest, ArchivedTaskStatesCarryStatusSnoozeAndTicksInOrder) {
    fillStore();
    ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "s2", true));
    exec("UPDATE tasks SET snoozed_until = 'soon' WHERE task_key = 'r-beta::item-1';");

    auto states = store->archivedTaskStates();
    ASSERT_TRUE(states) << states.error().description();
    ASSERT_EQ(states->size(), 3u);
    EXPECT_EQ((*states)[0].taskKey, "r-alpha::item-1");
    EXPECT_EQ((*states)[0].status, TaskStatus::inProgress);
    ASSERT_EQ((*states)[0].completedSteps.size(), 2u);
    EXPECT_EQ((*states)[0].completedSteps[0].stepId, "s1");
    EXPECT_EQ((*states)[0].completedSteps[1].stepId, "s2");
    EXPECT_EQ((*states)[1].status, TaskStatus::snoozed);
    EXPECT_EQ((*states)[1].snoozedUntil, parseKestrinISO8601("2030-01-01T00:00:00Z"));
    EXPECT_EQ((*states)[2].snoozedUntil, std::nullopt);  // unreadable text reads as none
}

TEST_F(StoreMaintenanceTest, UnreadableStatusesAndTickTimesFailTheRead) {
    fillStore();
    exec("UPDATE step_progress SET completed_at = 'yesterday';");
    auto badTick = store->archivedTaskStates();
    ASSERT_FALSE(badTick);
    EXPECT_EQ(badTick.error().description(),
              "无法读取任务数据：步骤 r-alpha::item-1 / s1 的完成时间无法解析。");

    exec("UPDATE tasks SET status = 'someday' WHERE task_key = 'r-alpha::item-1';");
    auto badStatus = store->archivedTaskStates();
    ASSERT_FALSE(badStatus);
    EXPECT_EQ(badStatus.error().description(),
              "无法读取任务数据：任务 r-alpha::item-1 的状态无法解析。");
}

TEST_F(StoreMaintenanceTest, ApplyingTaskStatesOverwritesStatusSnoozeAndTicks) {
    fillStore();
    const auto at = *parseKestrinISO8601("2026-07-27T10:00:00.125Z");
    auto done = store->applyArchivedTaskStates({
        {"r-alpha::item-1", TaskStatus::readyToResume, std::nullopt, {{"s2", at}}},
        {"r-alpha::item-2", TaskStatus::pending, std::nullopt, {}},
        {"r-beta::item-1", TaskStatus::snoozed, at, {{"s1", at}, {"s2", at}}},
    });
    ASSERT_TRUE(done) << done.error().description();
    EXPECT_EQ(rows("SELECT task_key, status, snoozed_until FROM tasks ORDER BY task_key"),
              (std::vector<std::string>{"r-alpha::item-1|ready_to_resume|<null>",
                                        "r-alpha::item-2|pending|<null>",
                                        "r-beta::item-1|snoozed|2026-07-27T10:00:00.125Z"}));
    EXPECT_EQ(rows("SELECT task_key, step_id, completed_at FROM step_progress ORDER BY 1, 2"),
              (std::vector<std::string>{"r-alpha::item-1|s2|2026-07-27T10:00:00.125Z",
                                        "r-beta::item-1|s1|2026-07-27T10:00:00.125Z",
                                        "r-beta::item-1|s2|2026-07-27T10:00:00.125Z"}));
    EXPECT_TRUE(store->applyArchivedTaskStates({}));
}

TEST_F(StoreMaintenanceTest, ApplyingTaskStatesIsAllOrNothing) {
    fillStore();
    const auto before = contents();
    const auto at = *parseKestrinISO8601("2026-07-27T10:00:00Z");
    const ArchivedTaskState good{"r-alpha::item-2", TaskStatus::completed, std::nullopt, {}};

    auto missing = store->applyArchivedTaskStates(
        {good, {"r-alpha::item-9", TaskStatus::completed, std::nullopt, {}}});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description(), "找不到任务：r-alpha::item-9");

    auto unknownStep = store->applyArchivedTaskStates(
        {good, {"r-beta::item-1", TaskStatus::completed, std::nullopt, {{"s3", at}}}});
    ASSERT_FALSE(unknownStep);
    EXPECT_EQ(unknownStep.error().description(), "归档状态引用了未知步骤：r-beta::item-1 / s3。");

    // Passes the checks, fails on the primary key while writing.
    auto twice = store->applyArchivedTaskStates(
        {good, {"r-beta::item-1", TaskStatus::completed, std::nullopt, {{"s1", at}, {"s1", at}}}});
    ASSERT_FALSE(twice);
    EXPECT_EQ(held<StoreError>(twice.error())->kind, StoreError::Kind::sqlite);

    EXPECT_EQ(contents(), before);
}
