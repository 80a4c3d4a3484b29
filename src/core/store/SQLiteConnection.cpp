#include "core/store/SQLiteConnection.h"

#include <sqlite3.h>

#include <utility>

namespace kestrin {

namespace {

constexpr const char* noConnectionMessage = "数据库连接不存在。";
constexpr const char* unknownErrorMessage = "未知错误";

}  // namespace

Result<SQLiteConnection, StoreError> SQLiteConnection::open(const std::filesystem::path& path,
                                                            Mode mode) {
    const int flags = mode == Mode::readOnly
                          ? SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX
                          : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : unknownErrorMessage;
        sqlite3_close(db);
        return fail(StoreError::open(std::move(message)));
    }
    return SQLiteConnection(db);
}

SQLiteConnection::~SQLiteConnection() {
    // close_v2 defers the close until stray statements are finalized rather
    // than leaking the handle.
    sqlite3_close_v2(db_);
}

SQLiteConnection::SQLiteConnection(SQLiteConnection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

SQLiteConnection& SQLiteConnection::operator=(SQLiteConnection&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

Result<void, StoreError> SQLiteConnection::execute(const std::string& sql) {
    if (!db_) return fail(StoreError::sqlite(noConnectionMessage));
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        return fail(StoreError::sqlite(std::move(text)));
    }
    return {};
}

Result<SQLiteStatement, StoreError> SQLiteConnection::prepare(std::string_view sql) {
    if (!db_) return fail(StoreError::sqlite(noConnectionMessage));
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
            SQLITE_OK ||
        !statement) {
        sqlite3_finalize(statement);
        return fail(StoreError::sqlite(sqlite3_errmsg(db_)));
    }
    return SQLiteStatement(db_, statement);
}

Result<void, StoreError> SQLiteConnection::run(std::string_view sql,
                                               const std::vector<SQLValue>& values) {
    auto statement = prepare(sql);
    if (!statement) return fail(statement.error());
    if (auto bound = statement->bind(values); !bound) return bound;
    return statement->run();
}

Result<std::int64_t, StoreError> SQLiteConnection::pragmaInteger(std::string_view name) {
    auto statement = prepare("PRAGMA " + std::string(name) + ";");
    if (!statement) return fail(statement.error());
    if (!statement->next()) {
        // A failing step is SQLite's error, not a missing row.
        if (auto done = statement->finished(); !done) return fail(done.error());
        return fail(StoreError::sqlite("无法读取 PRAGMA " + std::string(name) + "。"));
    }
    return statement->integer(0);
}

std::int64_t SQLiteConnection::changes() const {
    return db_ ? sqlite3_changes64(db_) : 0;
}

std::string SQLiteConnection::errorMessage() const {
    return db_ ? sqlite3_errmsg(db_) : unknownErrorMessage;
}

void SQLiteConnection::setBusyTimeout(int milliseconds) {
    if (db_) sqlite3_busy_timeout(db_, milliseconds);
}

}  // namespace kestrin
