#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/Result.h"
#include "core/store/SQLValue.h"
#include "core/store/SQLiteStatement.h"
#include "core/store/StoreError.h"

struct sqlite3;

namespace kestrin {

// Owns one SQLite connection and closes it on destruction. Movable, not
// copyable. Compiled statements are kept for the connection's life (see
// SQLiteStatementCache), so preparing the same SQL again costs a lookup.
// A default-constructed connection is null: every operation on it fails with
// `sqlite` "数据库连接不存在。".
class SQLiteConnection {
public:
    enum class Mode {
        readWriteCreate,  // SQLITE_OPEN_READWRITE | CREATE | FULLMUTEX
        readWrite,        // SQLITE_OPEN_READWRITE | FULLMUTEX: the file must exist
        readOnly          // SQLITE_OPEN_READONLY | FULLMUTEX, immutable where it can be
    };

    // Opens `path`. On failure the handle is closed and the error is `open`
    // with SQLite's message, or "未知错误" when SQLite returned no handle.
    // A read-only open of a file that has no "-wal" or "-journal" file beside
    // it (all its content is in the one file, and no program is writing it)
    // treats it as immutable, so that reading it creates no "-wal" or "-shm"
    // beside it: a reader cannot remove those when it closes. Otherwise it
    // reads through the files already there.
    static Result<SQLiteConnection, StoreError> open(const std::filesystem::path& path, Mode mode);

    SQLiteConnection() = default;
    ~SQLiteConnection();
    SQLiteConnection(SQLiteConnection&& other) noexcept;
    SQLiteConnection& operator=(SQLiteConnection&& other) noexcept;
    SQLiteConnection(const SQLiteConnection&) = delete;
    SQLiteConnection& operator=(const SQLiteConnection&) = delete;

    sqlite3* handle() const { return db_; }
    explicit operator bool() const { return db_ != nullptr; }

    // Runs one or more statements without parameters or result rows.
    // Failure: `sqlite` with SQLite's message.
    Result<void, StoreError> execute(const std::string& sql);

    // Compiles one statement. Failure, or no statement in `sql`: `sqlite` with
    // the connection's message.
    Result<SQLiteStatement, StoreError> prepare(std::string_view sql);

    // Prepares one write statement, binds `values` at 1, 2, 3 ... and steps it
    // to SQLITE_DONE; the first failure of the three is returned.
    Result<void, StoreError> run(std::string_view sql, const std::vector<SQLValue>& values = {});

    // Column 0 of the first row of "PRAGMA <name>;". No row: `sqlite`
    // "无法读取 PRAGMA <name>。".
    Result<std::int64_t, StoreError> pragmaInteger(std::string_view name);

    // Rows changed by the most recent write statement.
    std::int64_t changes() const;

    // The connection's latest error message, or "未知错误" for a null one.
    std::string errorMessage() const;

    void setBusyTimeout(int milliseconds);

    // Puts the file in write-ahead-log mode. The switch needs the file to
    // itself and SQLite does not wait for that lock, so connections opening a
    // new file together would fail as locked: a busy switch is tried again
    // until `patience` has passed. The mode sticks to the file, so a file
    // already in it is left alone and no lock is taken. Failure: `sqlite`.
    Result<void, StoreError> switchToWriteAheadLog(std::chrono::milliseconds patience);

private:
    explicit SQLiteConnection(sqlite3* db);
    void close();

    sqlite3* db_ = nullptr;
    std::shared_ptr<SQLiteStatementCache> statements_;
};

}  // namespace kestrin
