#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/Result.h"
#include "core/store/SQLValue.h"
#include "core/store/SQLiteStatementCache.h"
#include "core/store/StoreError.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kestrin {

// One compiled statement, given back to its connection's cache (reset) or
// finalized on destruction, whatever path the caller takes. Movable, not
// copyable. Made by SQLiteConnection::prepare.
class SQLiteStatement {
public:
    // Goes back to `cache` under `sql` when destroyed, unless the cache (its
    // connection) is gone by then.
    SQLiteStatement(sqlite3* db, sqlite3_stmt* statement, std::weak_ptr<SQLiteStatementCache> cache,
                    std::string sql)
        : db_(db), statement_(statement), cache_(std::move(cache)), sql_(std::move(sql)) {}
    ~SQLiteStatement();
    SQLiteStatement(SQLiteStatement&& other) noexcept;
    SQLiteStatement& operator=(SQLiteStatement&& other) noexcept;
    SQLiteStatement(const SQLiteStatement&) = delete;
    SQLiteStatement& operator=(const SQLiteStatement&) = delete;

    // Binds at a 1-based index; `values` go to 1, 2, 3 ... in order.
    // Failure: `sqlite` "无法绑定 SQL 参数 <index>。".
    Result<void, StoreError> bind(int index, const SQLValue& value);
    Result<void, StoreError> bind(const std::vector<SQLValue>& values);

    // Steps a write statement, which must finish with SQLITE_DONE; anything
    // else fails with `sqlite` and the connection's message.
    Result<void, StoreError> run();

    // Steps a reading statement: true while a row is available. After it
    // answered false, finished() tells whether the rows ran out (SQLITE_DONE)
    // or stepping failed; reading loops check it so a failure is never taken
    // for the end of the rows.
    bool next();
    Result<void, StoreError> finished() const;

    // Resets the statement and clears its bindings, for the next execution.
    void reset();

    // Column access on the current row (0-based). text() gives "" for NULL;
    // optionalText() gives nothing for NULL (tested by column type).
    std::string text(int column) const;
    std::optional<std::string> optionalText(int column) const;
    // The text without a copy, valid until the statement steps again.
    std::string_view textView(int column) const;
    std::int64_t integer(int column) const;

private:
    StoreError stepError() const;

    void release();

    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
    std::weak_ptr<SQLiteStatementCache> cache_;
    std::string sql_;
    int lastStep_ = 0;
};

}  // namespace kestrin
