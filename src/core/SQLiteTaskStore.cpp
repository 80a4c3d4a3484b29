#include "core/SQLiteTaskStore.h"

#include "core/SHA256Digest.h"

namespace kestrin {

SQLiteTaskStore::SQLiteTaskStore(std::filesystem::path path) : path_(std::move(path)) {}
SQLiteTaskStore::~SQLiteTaskStore() = default;

Result<std::unique_ptr<SQLiteTaskStore>, StoreError> SQLiteTaskStore::open(
    const std::filesystem::path& path) {
    return fail(StoreError::open("未实现 " + path.string()));
}

std::filesystem::path SQLiteTaskStore::standardizedPath(const std::filesystem::path& path) {
    return path.lexically_normal();
}

std::int64_t SQLiteTaskStore::schemaVersion() { return 0; }
std::int64_t SQLiteTaskStore::lastSkippedTaskRowCount() const { return 0; }
std::string SQLiteTaskStore::hash(std::string_view data) { return SHA256Digest::hex(data); }

Result<StoreImportResult, StoreError> SQLiteTaskStore::importReceipt(const InterventionReceipt&,
                                                                     std::string_view,
                                                                     const std::string&) {
    return fail(StoreError::sqlite("stub"));
}
Result<std::vector<TaskRecord>, StoreError> SQLiteTaskStore::listTasks(bool, Timestamp) {
    return fail(StoreError::sqlite("stub"));
}
Result<TaskRecord, StoreError> SQLiteTaskStore::task(const std::string&) {
    return fail(StoreError::sqlite("stub"));
}
Result<std::vector<ReceiptHistoryRecord>, StoreError> SQLiteTaskStore::receiptHistory(std::int64_t) {
    return fail(StoreError::sqlite("stub"));
}
Result<void, StoreError> SQLiteTaskStore::setStatus(const std::string&, TaskStatus,
                                                    std::optional<Timestamp>) {
    return fail(StoreError::sqlite("stub"));
}
Result<void, StoreError> SQLiteTaskStore::setStepCompleted(const std::string&, const std::string&,
                                                           bool) {
    return fail(StoreError::sqlite("stub"));
}
Result<void, StoreError> SQLiteTaskStore::deleteTasks(const std::set<std::string>&) {
    return fail(StoreError::sqlite("stub"));
}
Result<void, StoreError> SQLiteTaskStore::deleteTask(const std::string&) {
    return fail(StoreError::sqlite("stub"));
}
void SQLiteTaskStore::setImportFaultHook(ImportFaultHook hook) { importFaultHook_ = std::move(hook); }

}  // namespace kestrin
