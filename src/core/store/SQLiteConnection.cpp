#include "core/store/SQLiteConnection.h"

#include <sqlite3.h>

#include <string_view>
#include <thread>
#include <utility>

namespace kestrin {

namespace {

constexpr const char* noConnectionMessage = "数据库连接不存在。";
constexpr const char* unknownErrorMessage = "未知错误";

// Whether all of the database at `path` is in that one file: no write-ahead
// log or rollback journal beside it, as after every writer closed cleanly.
bool isSelfContained(const std::filesystem::path& path) {
    std::error_code ignored;
    return !std::filesystem::exists(path.string() + "-wal", ignored) &&
           !std::filesystem::exists(path.string() + "-journal", ignored);
}

// The URI that opens `path` as immutable: SQLite then takes no locks and makes
// no companion files. Every byte outside the unreserved set is escaped, so that
// "?", "#" and "%" in a name stay part of the path.
std::string immutableURI(const std::filesystem::path& path) {
    constexpr std::string_view unreserved =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/-._~";
    constexpr char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    std::error_code ignored;
    for (const char c : std::filesystem::absolute(path, ignored).string()) {
        if (unreserved.find(c) != std::string_view::npos) {
            uri += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            uri += '%';
            uri += hex[byte >> 4];
            uri += hex[byte & 0xF];
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

Result<SQLiteConnection, StoreError> SQLiteConnection::open(const std::filesystem::path& path,
                                                            Mode mode) {
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (mode) {
        case Mode::readWriteCreate:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
        case Mode::readWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
        case Mode::readOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
    }
    std::string name = path.string();
    if (mode == Mode::readOnly && isSelfContained(path)) {
        name = immutableURI(path);
        flags |= SQLITE_OPEN_URI;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : unknownErrorMessage;
        sqlite3_close(db);
        return fail(StoreError::open(std::move(message)));
    }
    return SQLiteConnection(db);
}

SQLiteConnection::SQLiteConnection(sqlite3* db)
    : db_(db), statements_(std::make_shared<SQLiteStatementCache>()) {}

SQLiteConnection::~SQLiteConnection() {
    close();
}

SQLiteConnection::SQLiteConnection(SQLiteConnection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), statements_(std::move(other.statements_)) {}

SQLiteConnection& SQLiteConnection::operator=(SQLiteConnection&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
        statements_ = std::move(other.statements_);
    }
    return *this;
}

void SQLiteConnection::close() {
    // The kept statements go first; close_v2 then defers the close until
    // statements still in use are finalized rather than leaking the handle.
    statements_.reset();
    sqlite3_close_v2(std::exchange(db_, nullptr));
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
    sqlite3_stmt* statement = statements_->take(sql);
    if (!statement &&
        (sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                            SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK ||
         !statement)) {
        sqlite3_finalize(statement);
        return fail(StoreError::sqlite(sqlite3_errmsg(db_)));
    }
    return SQLiteStatement(db_, statement, statements_, std::string(sql));
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

Result<void, StoreError> SQLiteConnection::switchToWriteAheadLog(
    std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        {
            auto mode = prepare("PRAGMA journal_mode;");
            if (!mode) return fail(mode.error());
            if (mode->next() && mode->textView(0) == "wal") return {};
        }
        auto switched = execute("PRAGMA journal_mode = WAL;");
        if (switched || sqlite3_errcode(db_) != SQLITE_BUSY ||
            std::chrono::steady_clock::now() >= deadline) {
            return switched;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace kestrin
