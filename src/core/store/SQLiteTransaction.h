#pragma once

#include "core/support/Result.h"
#include "core/store/SQLiteConnection.h"
#include "core/store/StoreError.h"

namespace kestrin {

// One "BEGIN IMMEDIATE TRANSACTION;" on a connection: the write lock is taken
// at the start. Unless commit() succeeded, destruction rolls back, ignoring a
// failure of the rollback itself, so the caller reports its first failure.
// Movable, not copyable.
class SQLiteTransaction {
public:
    // Fails with `sqlite` (for example when another connection keeps the
    // write lock beyond the busy timeout).
    static Result<SQLiteTransaction, StoreError> begin(SQLiteConnection& connection);

    ~SQLiteTransaction();
    SQLiteTransaction(SQLiteTransaction&& other) noexcept;
    SQLiteTransaction& operator=(SQLiteTransaction&&) = delete;
    SQLiteTransaction(const SQLiteTransaction&) = delete;
    SQLiteTransaction& operator=(const SQLiteTransaction&) = delete;

    // "COMMIT;". After a failure the destructor still rolls back.
    Result<void, StoreError> commit();

private:
    explicit SQLiteTransaction(SQLiteConnection& connection) : connection_(&connection) {}
    SQLiteConnection* connection_;
    bool open_ = true;
};

}  // namespace kestrin
