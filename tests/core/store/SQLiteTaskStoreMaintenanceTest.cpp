#include <chrono>
#include <fstream>

#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;
using RestoreStage = SQLiteTaskStore::RestoreStage;

// Opens and tells its user_version, but fails the quick check.
static void makeDamagedDatabase(const fs::path& path) {
    sqliteExecute(path,
                  "PRAGMA page_size = 4096; CREATE TABLE t (x TEXT); WITH RECURSIVE n(i) AS "
                  "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                  "INSERT INTO t SELECT printf('%0200d', i) FROM n;");
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096 * 3);
    file << std::string(4096 * 3, '\x5a');
}

static std::vector<bool> companions(const fs::path& database) {
    std::vector<bool> present;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        present.push_back(fs::exists(database.string() + suffix));
    return present;
}

class SQLiteTaskStoreMaintenance : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        safety = directory / "backups" / "safety.sqlite";
        imported(makeReceipt("r-alpha", 1, {makeItem("item-1"), makeItem("item-2")}));
        imported(makeReceipt("r-beta", 2, {makeItem("item-1")}));
        ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "s1", true));
        ASSERT_TRUE(store->setStatus("r-alpha::item-2", TaskStatus::snoozed,
                                     parseKestrinISO8601("2030-01-01T00:00:00Z")));
    }
    // Holds r-source: a backup, or with `keepOpen` a file its writer keeps open.
    fs::path sourceDatabase(const fs::path& path, bool keepOpen = false) {
        fs::create_directories(path.parent_path());
        auto other = SQLiteTaskStore::open(keepOpen ? path : directory / "writer.sqlite").value();
        EXPECT_TRUE(import(makeReceipt("r-source", 7, {makeItem("only")}), other.get()));
        if (keepOpen)
            writers.push_back(std::move(other));
        else
            EXPECT_TRUE(other->backup(path));
        return path;
    }
    fs::path safety;
    std::vector<std::unique_ptr<SQLiteTaskStore>> writers;
};

// Refusals leave the live database, the source and any existing file alone.
TEST_F(SQLiteTaskStoreMaintenance, ABackupCopiesEverythingAndUnsafeOrUnusableOnesAreRefused) {
    const auto before = contents();
    const fs::path source = sourceDatabase(directory / "source" / "tasks.sqlite");
    const fs::path existing = directory / "existing.sqlite", newer = directory / "newer.sqlite",
                   damaged = directory / "damaged.sqlite";
    std::ofstream(existing) << "keep me";
    std::ofstream(directory / "plain-file") << "";
    sqliteExecute(newer, "PRAGMA user_version = 2;");
    makeDamagedDatabase(damaged);
    const std::string unsafe = "不能使用当前任务数据库作为备份或恢复来源：", live = databasePath,
                      name = "tasks.sqlite", exists = "目标文件已经存在，为避免覆盖已停止：";
    // Source (none: a backup), target, and the start of the refusal, which names an unsafe source.
    const std::tuple<fs::path, fs::path, std::string> cases[] = {
        {"", existing, exists + existing.string()},
        {"", directory / "sub" / ".." / name, unsafe + live},
        {"", directory / "plain-file" / "copy.sqlite",
         "无法创建目录 " + (directory / "plain-file").string()},
        {directory / "source" / ".." / name, safety, unsafe + live},
        {source, directory / "." / name, unsafe + source.string()},
        {source, directory / "source" / "." / name, unsafe + source.string()},
        {source, existing, exists + existing.string()},
        {directory / "missing", safety,
         "任务数据库备份或恢复失败：找不到恢复来源：" + directory.string() + "/missing"},
        {existing, safety, "任务数据库操作失败：file is not a database"},
        {newer, safety, StoreError::unsupportedSchema(2, 1).description()},
        {damaged, safety, "任务数据库完整性检查失败："},
    };
    for (const auto& [from, target, expected] : cases) {
        SCOPED_TRACE(from.string() + " -> " + target.string());
        auto done = from.empty() ? store->backup(target) : store->restoreDatabase(from, target);
        ASSERT_FALSE(done);
        EXPECT_TRUE(done.error().description().starts_with(expected)) << done.error().description();
        EXPECT_EQ(contents(), before);
        EXPECT_FALSE(fs::exists(safety));
    }
    EXPECT_EQ(fs::file_size(existing), 7u);  // "keep me"
    // A backup is the same database; a damaged one's is refused and its partial copy removed.
    const fs::path target = directory / "not" / "yet" / "there" / "copy.sqlite";
    ASSERT_TRUE(store->backup(target));
    auto copy = SQLiteTaskStore::open(target).value();
    EXPECT_EQ(copy->archivedReceipts().value(), store->archivedReceipts().value());
    EXPECT_EQ(copy->archivedTaskStates().value(), store->archivedTaskStates().value());
    auto damagedStore = SQLiteTaskStore::open(damaged).value();
    EXPECT_EQ(damagedStore->verifyIntegrity().error().kind, StoreError::Kind::integrity);
    auto copied = damagedStore->backup(directory / "backups" / "copy.sqlite");
    EXPECT_EQ(std::get<StoreError>(copied.error().error).kind, StoreError::Kind::integrity);
    EXPECT_TRUE(fs::is_empty(directory / "backups"));
}

// The old content goes to the safety copy, and comes back when a step after the copy fails.
TEST_F(SQLiteTaskStoreMaintenance, ARestoreReplacesTheContentOrSaysWhetherItIsAsItWas) {
    enum Fault { none, blocked, afterTheCopy, safetyLost };
    const std::string failed = "任务数据库备份或恢复失败：恢复失败：";
    // The error is followed by the safety copy's path when that is lost.
    const struct {
        const char* source;
        bool keptOpen;
        Fault fault;
        std::string error;
    } cases[] = {
        {"a?b#c%d 备份.sqlite", false, none, ""},  // would read as a URI
        {"other-program.sqlite", true, none, ""},
        {"rolled-back.sqlite", false, afterTheCopy, "任务数据库操作失败：disk I/O error"},
        {"blocked.sqlite", false, blocked,
         failed + "任务数据库备份或恢复失败：database is "
                  "locked。当前数据库没有改动，仍是恢复前的内容。"},
        {"lost.sqlite", false, safetyLost,
         failed + "任务数据库操作失败：disk I/O error。此外，自动回滚安全副本也失败，"
                  "当前数据库可能处于中间状态，请人工检查安全副本："},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.source);
        const fs::path folder = directory / test.source, safetyCopy = folder / "safety.sqlite";
        const auto source = sourceDatabase(folder / "source" / test.source, test.keptOpen);
        const auto sourceCompanions = companions(source);
        const auto before = contents();
        const auto receipts = store->archivedReceipts().value();
        bool hookCalled = false;
        store->setRestoreFaultHook([&](RestoreStage stage) -> Result<void, StoreError> {
            hookCalled = true;
            if (stage == RestoreStage::rollingBack && test.fault == safetyLost)
                fs::remove(safetyCopy);
            if (stage != RestoreStage::copied || test.fault < afterTheCopy) return {};
            return fail(StoreError::sqlite("disk I/O error"));
        });
        if (test.fault == blocked) exec("BEGIN IMMEDIATE;");
        auto done = store->restoreDatabase(source, safetyCopy);
        if (test.fault == blocked) exec("ROLLBACK;");
        store->setRestoreFaultHook(nullptr);
        EXPECT_EQ(hookCalled, test.fault != blocked);
        if (test.fault != none) {
            EXPECT_EQ(done.error().description(),
                      test.error + (test.fault == safetyLost ? safetyCopy.string() : ""));
            EXPECT_TRUE(test.fault == safetyLost || contents() == before);
        } else {
            ASSERT_TRUE(done) << done.error().description();
            EXPECT_EQ(rows("SELECT receipt_id, version FROM receipts"),
                      std::vector<std::string>{"r-source|7"});
            EXPECT_EQ(fs::file_size(directory / "tasks.sqlite-wal"), 0u);  // checkpointed
            EXPECT_EQ(SQLiteTaskStore::open(safetyCopy).value()->archivedReceipts().value(),
                      receipts);
        }
        EXPECT_EQ(companions(source), sourceCompanions);
        EXPECT_EQ(companions(safetyCopy), std::vector<bool>(3, false));
    }
    imported(makeReceipt("r-after", 1, {makeItem("item-1")}));  // the connection goes on working
    EXPECT_EQ(store->listTasks(true, currentTimestamp())->size(), 2u);
    sqliteExecute(directory / "empty.sqlite", "");  // gives the empty schema
    ASSERT_TRUE(store->restoreDatabase(directory / "empty.sqlite", safety));
    EXPECT_TRUE(contents().empty());
    EXPECT_EQ(value("SELECT count(*) FROM sqlite_master"), "17");  // 4 tables, 13 indexes
}

// Other programs' files with tables under our names are refused by the columns they lack.
TEST_F(SQLiteTaskStoreMaintenance, AForeignFileIsRefusedByWhatItLacksAndTheUsersDataRolledBack) {
    const auto before = contents();
    const auto columns = rows("SELECT name FROM pragma_table_info('tasks')");
    std::string all;
    for (const auto& column : columns) all += (all.empty() ? "" : "、") + column;
    std::vector<std::tuple<std::string, std::string, std::string>> cases{
        // The migration trips over the table (an index on a column it lacks).
        {"notes", "CREATE TABLE tasks (id INTEGER);", "数据表 tasks 缺少列 " + all + "。"},
        // At our version nothing is migrated, so missing tables count too.
        {"other", "PRAGMA user_version = 1; CREATE TABLE tasks (id INTEGER);",
         "缺少数据表 receipts；数据表 tasks 缺少列 " + all + "；缺少数据表 step_progress。"}};
    // One column short: the check after the migration finds the gap.
    for (const auto& gap : columns) {
        std::string table = "CREATE TABLE tasks (title TEXT";
        for (const auto& column : columns) table += column == gap ? "" : ", " + column;
        cases.emplace_back(gap, table + "); INSERT INTO tasks (title) VALUES ('x');",
                           "数据表 tasks 缺少列 " + gap + "。");
    }
    for (const auto& [name, sql, missing] : cases) {
        SCOPED_TRACE(name);
        sqliteExecute(directory / name, sql);
        auto done = store->restoreDatabase(directory / name, directory / name += "-safety");
        EXPECT_EQ(std::get<StoreError>(done.error().error), StoreError::integrity(missing));
        EXPECT_EQ(contents(), before);
        EXPECT_TRUE(fs::exists(directory / name += "-safety"));
    }
}

TEST_F(SQLiteTaskStoreMaintenance, ArchivedTaskStatesReadInOrderAndApplyAllOrNothing) {
    const auto receipt = makeReceipt("r-0", 3, {});
    const std::string spaced = "  " + rawJSON(receipt) + "\n";
    ASSERT_TRUE(store->importReceipt(receipt, spaced, SQLiteTaskStore::hash(spaced)));
    auto receipts = store->archivedReceipts().value();
    ASSERT_EQ(receipts.size(), 3u);
    EXPECT_EQ(receipts[0], (ArchivedReceipt{"r-0", 3, SQLiteTaskStore::hash(spaced), spaced}));
    EXPECT_EQ(receipts[2].receiptId, "r-beta");
    ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "s2", true));
    exec(
        "UPDATE tasks SET snoozed_until = 'soon' WHERE task_key = 'r-beta::item-1';"
        "UPDATE step_progress SET completed_at = '2026-07-27T10:00:00.000Z';");
    auto at = parseKestrinISO8601("2026-07-27T10:00:00Z").value();
    const auto wake = parseKestrinISO8601("2030-01-01T00:00:00Z");
    EXPECT_EQ(
        store->archivedTaskStates().value(),
        (std::vector<ArchivedTaskState>{
            {"r-alpha::item-1", TaskStatus::inProgress, std::nullopt, {{"s1", at}, {"s2", at}}},
            {"r-alpha::item-2", TaskStatus::snoozed, wake, {}},
            {"r-beta::item-1", TaskStatus::pending, std::nullopt, {}}}));  // "soon" reads as none
    const auto before = contents();
    at += std::chrono::milliseconds(125);
    const ArchivedTaskState good{"r-alpha::item-2", TaskStatus::completed, std::nullopt, {}};
    const std::pair<ArchivedTaskState, std::string> refused[] = {
        {{"r-alpha::item-9", TaskStatus::completed, std::nullopt, {}},
         "找不到任务：r-alpha::item-9"},
        {{"r-beta::item-1", TaskStatus::completed, std::nullopt, {{"s3", at}}},
         "归档状态引用了未知步骤：r-beta::item-1 / s3。"},
        // Passes the checks, fails on the primary key while writing.
        {{"r-beta::item-1", TaskStatus::completed, std::nullopt, {{"s1", at}, {"s1", at}}},
         "任务数据库操作失败：UNIQUE constraint failed"},
    };
    for (const auto& [bad, expected] : refused) {
        SCOPED_TRACE(expected);
        auto done = store->applyArchivedTaskStates({good, bad});
        ASSERT_FALSE(done);
        EXPECT_TRUE(done.error().description().starts_with(expected)) << done.error().description();
        EXPECT_EQ(contents(), before);
    }
    // The reads are held to stored rows above, so a round trip checks the writes.
    const std::vector<ArchivedTaskState> states{
        {"r-alpha::item-1", TaskStatus::readyToResume, std::nullopt, {{"s2", at}}},
        {"r-alpha::item-2", TaskStatus::pending, std::nullopt, {}},
        {"r-beta::item-1", TaskStatus::snoozed, at, {{"s1", at}, {"s2", at}}}};
    ASSERT_TRUE(store->applyArchivedTaskStates(states));
    EXPECT_EQ(store->archivedTaskStates().value(), states);
    EXPECT_EQ(value("SELECT snoozed_until FROM tasks WHERE status = 'snoozed'"),
              "2026-07-27T10:00:00.125Z");
    exec("UPDATE step_progress SET completed_at = 'yesterday';");
    EXPECT_EQ(store->archivedTaskStates().error(),
              StoreError::decode("步骤 r-alpha::item-1 / s2 的完成时间无法解析。"));
    exec("UPDATE tasks SET status = 'someday' WHERE task_key = 'r-alpha::item-1';");
    EXPECT_EQ(store->archivedTaskStates().error(),
              StoreError::decode("任务 r-alpha::item-1 的状态无法解析。"));
}
