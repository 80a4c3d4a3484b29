// The store's data-safety operations: quick check, online backup, database
// restore with its safety copy and roll-back, and the archive's reads and
// writes of receipts and task states.

#include <sqlite3.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <system_error>

#include "core/support/FileSystem.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/store/SQLiteTransaction.h"

namespace kestrin {

namespace fs = std::filesystem;

namespace {

constexpr const char* noConnectionMessage = "数据库连接不存在。";

// Every column this build reads or writes, per table, in schema order. A
// restored file must have all of them; the migration cannot add columns to a
// table that already exists.
struct ExpectedTable {
    const char* name;
    std::vector<const char*> columns;
};

const std::vector<ExpectedTable>& expectedTables() {
    static const std::vector<ExpectedTable> tables{
        {"receipts",
         {"receipt_id", "version", "schema_version", "project_name", "project_path", "agent",
          "state", "requires_user_action", "summary", "created_at", "updated_at", "imported_at",
          "raw_hash", "raw_json"}},
        {"tasks", {"task_key",          "receipt_id",     "item_id",        "receipt_version",
                   "project_name",      "project_path",   "agent",          "receipt_state",
                   "source_task_title", "source_task_id", "source_locator", "receipt_summary",
                   "category",          "priority",       "item_json",      "created_at",
                   "updated_at",        "imported_at",    "status",         "snoozed_until"}},
        {"step_progress", {"task_key", "step_id", "completed_at"}},
    };
    return tables;
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

// The live connection and any other one differ only in how a failure to
// compile the check is reported and in how NULL rows are read.
enum class CheckedDatabase { live, other };

Result<void, StoreError> quickCheck(SQLiteConnection& connection, CheckedDatabase which) {
    auto statement = connection.prepare("PRAGMA quick_check;");
    if (!statement) {
        if (which == CheckedDatabase::live) return fail(statement.error());
        return fail(StoreError::integrity(connection.errorMessage()));
    }
    std::vector<std::string> rows;
    while (statement->next()) {
        if (auto text = statement->optionalText(0)) {
            rows.push_back(std::move(*text));
        } else if (which == CheckedDatabase::live) {
            rows.emplace_back();
        }
    }
    // A check that stopped on an error (a malformed page) has not vouched for
    // the file.
    if (auto done = statement->finished(); !done) {
        return fail(StoreError::integrity(done.error().message));
    }
    if (rows.size() == 1 && rows.front() == "ok") return {};
    if (rows.empty()) return fail(StoreError::integrity("没有返回检查结果。"));
    return fail(StoreError::integrity(joined(rows, "；")));
}

// Copies the whole "main" database of `source` over that of `destination` in
// one step of SQLite's online backup.
Result<void, StoreError> copyDatabase(SQLiteConnection& source, SQLiteConnection& destination) {
    if (!source || !destination) return fail(StoreError::sqlite(noConnectionMessage));
    sqlite3_backup* backup =
        sqlite3_backup_init(destination.handle(), "main", source.handle(), "main");
    if (!backup) return fail(StoreError::backup(destination.errorMessage()));
    const int stepped = sqlite3_backup_step(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE || finished != SQLITE_OK) {
        return fail(StoreError::backup(destination.errorMessage()));
    }
    return {};
}

// Removes a backup file that could not be completed, with the companion files
// SQLite may have made beside it. Failures are ignored: the caller reports the
// failure that made the copy incomplete.
void removePartialBackup(const fs::path& file) {
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
        fs::remove(fs::path(file.string() + suffix), ignored);
    }
}

}  // namespace

Result<void, StoreError> SQLiteTaskStore::verifyIntegrity() {
    std::scoped_lock guard(lock_);
    return quickCheck(database_, CheckedDatabase::live);
}

Result<void, ArchiveFailure> SQLiteTaskStore::backup(const fs::path& destination) {
    std::scoped_lock guard(lock_);
    const auto target = standardizedPath(destination);
    if (target == path_) return fail(TaskArchiveError::unsafePath(target.string()));
    if (FileSystem::standard().exists(target)) {
        return fail(StoreError::destinationExists(target.string()));
    }
    if (auto created = FileSystem::standard().createDirectories(target.parent_path()); !created) {
        return fail(created.error());
    }

    // SQLiteConnection reports a failed open as `open`; here it is a backup
    // failure with the same message.
    auto opened = SQLiteConnection::open(target, SQLiteConnection::Mode::readWriteCreate);
    if (!opened) {
        removePartialBackup(target);
        return fail(StoreError::backup(opened.error().message));
    }
    SQLiteConnection copy = std::move(opened).value();
    auto copied = [&]() -> Result<void, StoreError> {
        if (!database_) return fail(StoreError::sqlite(noConnectionMessage));
        if (auto done = copyDatabase(database_, copy); !done) return done;
        return quickCheck(copy, CheckedDatabase::other);
    }();
    // Closed before any removal, so SQLite writes nothing more into the file.
    copy = SQLiteConnection();
    if (!copied) {
        removePartialBackup(target);
        return fail(copied.error());
    }
    return {};
}

Result<void, ArchiveFailure> SQLiteTaskStore::restoreDatabase(const fs::path& source,
                                                              const fs::path& safetyBackup) {
    std::scoped_lock guard(lock_);
    const auto from = standardizedPath(source);
    const auto safety = standardizedPath(safetyBackup);
    if (from == path_ || safety == path_ || from == safety) {
        return fail(TaskArchiveError::unsafePath(from.string()));
    }
    if (!FileSystem::standard().exists(from)) {
        return fail(StoreError::backup("找不到恢复来源：" + from.string()));
    }
    auto opened = SQLiteConnection::open(from, SQLiteConnection::Mode::readOnly);
    if (!opened) return fail(StoreError::backup(opened.error().message));
    SQLiteConnection sourceDatabase = std::move(opened).value();

    auto version = sourceDatabase.pragmaInteger("user_version");
    if (!version) return fail(version.error());
    if (*version > currentSchemaVersion) {
        return fail(StoreError::unsupportedSchema(*version, currentSchemaVersion));
    }
    if (auto checked = quickCheck(sourceDatabase, CheckedDatabase::other); !checked) {
        return fail(checked.error());
    }
    if (auto saved = backup(safety); !saved) return saved;

    // From here on the live database is written; whatever fails puts the
    // safety backup's content back.
    auto replaced = replaceContent(sourceDatabase);
    if (replaced) return {};
    const StoreError& firstFailure = replaced.error();
    if (auto rolledBack = restoreFromSafetyCopy(safety); !rolledBack) {
        return fail(
            StoreError::backup("恢复失败：" + firstFailure.description() +
                               "。此外，自动回滚安全副本也失败，当前数据库可能处于中间状态，"
                               "请人工检查安全副本：" +
                               safety.string()));
    }
    return fail(firstFailure);
}

Result<void, StoreError> SQLiteTaskStore::replaceContent(SQLiteConnection& source) {
    if (auto done = copyDatabase(source, database_); !done) return done;
    if (restoreFaultHook_) {
        if (auto injected = restoreFaultHook_(RestoreStage::copied); !injected) return injected;
    }
    if (auto migrated = migrate(); !migrated) {
        // A foreign table can make the migration itself fail (an index on a
        // column it lacks); the user should learn what is missing rather than
        // SQLite's complaint about it.
        if (auto tables = verifySchema(false); !tables) return tables;
        return migrated;
    }
    if (auto done = verifySchema(true); !done) return done;
    if (auto done = quickCheck(database_, CheckedDatabase::live); !done) return done;
    return execute("PRAGMA wal_checkpoint(TRUNCATE);");
}

Result<void, StoreError> SQLiteTaskStore::restoreFromSafetyCopy(const fs::path& safetyBackup) {
    if (restoreFaultHook_) {
        if (auto injected = restoreFaultHook_(RestoreStage::rollingBack); !injected) {
            return injected;
        }
    }
    auto opened = SQLiteConnection::open(safetyBackup, SQLiteConnection::Mode::readOnly);
    if (!opened) {
        return fail(StoreError::backup("恢复失败后也无法打开安全副本：" + safetyBackup.string()));
    }
    if (auto done = copyDatabase(*opened, database_); !done) return done;
    return quickCheck(database_, CheckedDatabase::live);
}

// A file of another program can carry its own table under one of our names;
// CREATE TABLE IF NOT EXISTS then keeps it, and neither the migration nor the
// quick check notices that this build cannot read it.
Result<void, StoreError> SQLiteTaskStore::verifySchema(bool requireAllTables) {
    std::vector<std::string> missing;
    for (const auto& table : expectedTables()) {
        auto statement = database_.prepare(std::string("PRAGMA table_info(") + table.name + ");");
        if (!statement) return fail(statement.error());
        std::set<std::string> present;
        while (statement->next()) present.insert(statement->text(1));
        if (auto done = statement->finished(); !done) return fail(done.error());

        if (present.empty()) {
            if (requireAllTables) missing.push_back(std::string("缺少数据表 ") + table.name);
            continue;
        }
        std::vector<std::string> absentColumns;
        for (const char* column : table.columns) {
            if (!present.contains(column)) absentColumns.emplace_back(column);
        }
        if (!absentColumns.empty()) {
            missing.push_back(std::string("数据表 ") + table.name + " 缺少列 " +
                              joined(absentColumns, "、"));
        }
    }
    if (missing.empty()) return {};
    return fail(StoreError::integrity(joined(missing, "；") + "。"));
}

Result<void, StoreError> SQLiteTaskStore::relaxDurability() {
    std::scoped_lock guard(lock_);
    return execute("PRAGMA synchronous = OFF;");
}

void SQLiteTaskStore::setRestoreFaultHook(RestoreFaultHook hook) {
    std::scoped_lock guard(lock_);
    restoreFaultHook_ = std::move(hook);
}

// MARK: - Archive reads and writes

Result<std::vector<ArchivedReceipt>, StoreError> SQLiteTaskStore::archivedReceipts() {
    std::scoped_lock guard(lock_);
    auto statement = database_.prepare(
        "SELECT receipt_id, version, raw_hash, raw_json FROM receipts ORDER BY receipt_id;");
    if (!statement) return fail(statement.error());
    std::vector<ArchivedReceipt> receipts;
    while (statement->next()) {
        receipts.push_back(
            {statement->text(0), statement->integer(1), statement->text(2), statement->text(3)});
    }
    // An export that silently lost rows would look complete.
    if (auto done = statement->finished(); !done) return fail(done.error());
    return receipts;
}

Result<std::vector<ArchivedTaskState>, StoreError> SQLiteTaskStore::archivedTaskStates() {
    std::scoped_lock guard(lock_);
    auto tasks =
        database_.prepare("SELECT task_key, status, snoozed_until FROM tasks ORDER BY task_key;");
    if (!tasks) return fail(tasks.error());
    // Prepared once and reset per task: the export reads every task's ticks.
    auto steps = database_.prepare(
        "SELECT step_id, completed_at FROM step_progress WHERE task_key = ? ORDER BY step_id;");
    if (!steps) return fail(steps.error());

    std::vector<ArchivedTaskState> states;
    while (tasks->next()) {
        ArchivedTaskState state;
        state.taskKey = tasks->text(0);
        const auto status = fromRawValue<TaskStatus>(tasks->text(1));
        if (!status) return fail(StoreError::decode("任务 " + state.taskKey + " 的状态无法解析。"));
        state.status = *status;
        if (auto snoozedUntil = tasks->optionalText(2)) {
            state.snoozedUntil = parseKestrinISO8601(*snoozedUntil);
        }

        steps->reset();
        if (auto bound = steps->bind(1, SQLValue::text(state.taskKey)); !bound) {
            return fail(bound.error());
        }
        while (steps->next()) {
            ArchivedStepProgress step;
            step.stepId = steps->text(0);
            const auto completedAt = parseKestrinISO8601(steps->text(1));
            if (!completedAt) {
                return fail(StoreError::decode("步骤 " + state.taskKey + " / " + step.stepId +
                                               " 的完成时间无法解析。"));
            }
            step.completedAt = *completedAt;
            state.completedSteps.push_back(std::move(step));
        }
        if (auto done = steps->finished(); !done) return fail(done.error());
        states.push_back(std::move(state));
    }
    if (auto done = tasks->finished(); !done) return fail(done.error());
    return states;
}

Result<void, StoreError> SQLiteTaskStore::readSnapshot(
    const std::function<Result<void, StoreError>()>& reads) {
    std::scoped_lock guard(lock_);
    // A deferred transaction: it takes no write lock, so the other program
    // goes on writing while the snapshot is read.
    if (auto begun = execute("BEGIN;"); !begun) return begun;
    auto read = reads();
    if (!read) {
        (void)execute("ROLLBACK;");
        return read;
    }
    if (auto committed = execute("COMMIT;"); !committed) {
        (void)execute("ROLLBACK;");
        return committed;
    }
    return {};
}

Result<void, ArchiveFailure> SQLiteTaskStore::applyArchivedTaskStates(
    const std::vector<ArchivedTaskState>& states) {
    std::scoped_lock guard(lock_);
    for (const auto& state : states) {
        auto stored = task(state.taskKey);
        if (!stored) return fail(StoreError::missingTask(state.taskKey));
        const auto& itemSteps = stored->item.steps;
        for (const auto& step : state.completedSteps) {
            const bool known =
                std::any_of(itemSteps.begin(), itemSteps.end(),
                            [&](const ActionStep& s) { return s.id == step.stepId; });
            if (!known) return fail(TaskArchiveError::invalidStep(state.taskKey, step.stepId));
        }
    }

    auto transaction = SQLiteTransaction::begin(database_);
    if (!transaction) return fail(transaction.error());
    for (const auto& state : states) {
        const auto key = SQLValue::text(state.taskKey);
        if (auto done = database_.run("DELETE FROM step_progress WHERE task_key = ?;", {key});
            !done) {
            return fail(done.error());
        }
        for (const auto& step : state.completedSteps) {
            if (auto done = database_.run(
                    "INSERT INTO step_progress (task_key, step_id, completed_at) VALUES (?, ?, ?);",
                    {key, SQLValue::text(step.stepId),
                     SQLValue::text(kestrinISO8601(step.completedAt))});
                !done) {
                return fail(done.error());
            }
        }
        const auto snoozedUntil = state.snoozedUntil
                                      ? SQLValue::text(kestrinISO8601(*state.snoozedUntil))
                                      : SQLValue::null();
        if (auto done = database_.run(
                "UPDATE tasks SET status = ?, snoozed_until = ? WHERE task_key = ?;",
                {SQLValue::text(std::string(rawValue(state.status))), snoozedUntil, key});
            !done) {
            return fail(done.error());
        }
    }
    if (auto done = transaction->commit(); !done) return fail(done.error());
    return {};
}

}  // namespace kestrin
