#include "core/store/SQLiteTaskStore.h"
#include "core/support/UTF8.h"

namespace kestrin {

Result<std::string, StoreError> SQLiteTaskStore::note(const std::string& taskKey) {
    std::scoped_lock guard(lock_);
    auto statement = database_.prepare("SELECT text FROM task_notes WHERE task_key = ?;");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(1, SQLValue::text(taskKey)); !bound)
        return fail(bound.error());
    if (statement->next()) return statement->text(0);
    if (auto done = statement->finished(); !done) return fail(done.error());
    return std::string();
}

Result<std::map<std::string, std::string>, StoreError> SQLiteTaskStore::notes() {
    std::scoped_lock guard(lock_);
    auto statement = database_.prepare("SELECT task_key, text FROM task_notes;");
    if (!statement) return fail(statement.error());
    std::map<std::string, std::string> notes;
    while (statement->next()) notes.emplace(statement->text(0), statement->text(1));
    if (auto done = statement->finished(); !done) return fail(done.error());
    return notes;
}

Result<void, StoreError> SQLiteTaskStore::setNote(const std::string& taskKey,
                                                  const std::string& text) {
    std::scoped_lock guard(lock_);
    // Read back as UTF-8 by every program; anything else would come back mangled.
    if (!isValidUTF8(text)) return fail(StoreError::encode("备注不是 UTF-8 文本。"));
    auto exists = database_.prepare("SELECT 1 FROM tasks WHERE task_key = ?;");
    if (!exists) return fail(exists.error());
    if (auto bound = exists->bind(1, SQLValue::text(taskKey)); !bound) return bound;
    if (!exists->next()) {
        if (auto done = exists->finished(); !done) return done;
        return fail(StoreError::missingTask(taskKey));
    }

    if (text.empty()) {
        return database_.run("DELETE FROM task_notes WHERE task_key = ?;",
                             {SQLValue::text(taskKey)});
    }
    return database_.run(
        "INSERT INTO task_notes (task_key, text, updated_at) VALUES (?, ?, ?) "
        "ON CONFLICT(task_key) DO UPDATE SET text = excluded.text, updated_at = "
        "excluded.updated_at;",
        {SQLValue::text(taskKey), SQLValue::text(text),
         SQLValue::text(kestrinISO8601(currentTimestamp()))});
}

Result<std::optional<ArchivedReceipt>, StoreError> SQLiteTaskStore::storedReceipt(
    const std::string& receiptID) {
    std::scoped_lock guard(lock_);
    auto statement = database_.prepare(
        "SELECT receipt_id, version, raw_hash, raw_json FROM receipts WHERE receipt_id = ?;");
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(1, SQLValue::text(receiptID)); !bound) {
        return fail(bound.error());
    }
    if (statement->next()) {
        return std::optional<ArchivedReceipt>{ArchivedReceipt{
            statement->text(0), statement->integer(1), statement->text(2), statement->text(3)}};
    }
    if (auto done = statement->finished(); !done) return fail(done.error());
    return std::optional<ArchivedReceipt>{};
}

}  // namespace kestrin
