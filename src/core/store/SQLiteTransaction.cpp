#include "core/store/SQLiteTransaction.h"

#include <utility>

namespace kestrin {

Result<SQLiteTransaction, StoreError> SQLiteTransaction::begin(SQLiteConnection& connection) {
    if (auto begun = connection.execute("BEGIN IMMEDIATE TRANSACTION;"); !begun) {
        return fail(begun.error());
    }
    return SQLiteTransaction(connection);
}

SQLiteTransaction::~SQLiteTransaction() {
    // SQLite may already have rolled back on its own after some errors; the
    // rollback's failure then is expected and ignored.
    if (open_) (void)connection_->execute("ROLLBACK;");
}

SQLiteTransaction::SQLiteTransaction(SQLiteTransaction&& other) noexcept
    : connection_(other.connection_), open_(std::exchange(other.open_, false)) {}

Result<void, StoreError> SQLiteTransaction::commit() {
    auto committed = connection_->execute("COMMIT;");
    if (committed) open_ = false;
    return committed;
}

}  // namespace kestrin
