#include "core/store/SQLiteStatement.h"

#include <sqlite3.h>

#include <utility>

namespace kestrin {

SQLiteStatement::~SQLiteStatement() {
    release();
}

SQLiteStatement::SQLiteStatement(SQLiteStatement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      statement_(std::exchange(other.statement_, nullptr)),
      cache_(std::move(other.cache_)),
      sql_(std::move(other.sql_)),
      lastStep_(other.lastStep_) {}

SQLiteStatement& SQLiteStatement::operator=(SQLiteStatement&& other) noexcept {
    if (this != &other) {
        release();
        db_ = std::exchange(other.db_, nullptr);
        statement_ = std::exchange(other.statement_, nullptr);
        cache_ = std::move(other.cache_);
        sql_ = std::move(other.sql_);
        lastStep_ = other.lastStep_;
    }
    return *this;
}

void SQLiteStatement::release() {
    if (!statement_) return;
    if (auto cache = cache_.lock()) {
        cache->give(std::move(sql_), std::exchange(statement_, nullptr));
    } else {
        sqlite3_finalize(std::exchange(statement_, nullptr));
    }
}

Result<void, StoreError> SQLiteStatement::bind(int index, const SQLValue& value) {
    int status = SQLITE_MISUSE;
    if (value.isText()) {
        const std::string& text = value.textValue();
        status = sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
    } else if (value.isInteger()) {
        status = sqlite3_bind_int64(statement_, index, value.integerValue());
    } else {
        status = sqlite3_bind_null(statement_, index);
    }
    if (status != SQLITE_OK) {
        return fail(StoreError::sqlite("无法绑定 SQL 参数 " + std::to_string(index) + "。"));
    }
    return {};
}

Result<void, StoreError> SQLiteStatement::bind(const std::vector<SQLValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (auto bound = bind(static_cast<int>(i) + 1, values[i]); !bound) return bound;
    }
    return {};
}

Result<void, StoreError> SQLiteStatement::run() {
    lastStep_ = sqlite3_step(statement_);
    if (lastStep_ != SQLITE_DONE) return fail(stepError());
    return {};
}

bool SQLiteStatement::next() {
    lastStep_ = sqlite3_step(statement_);
    return lastStep_ == SQLITE_ROW;
}

Result<void, StoreError> SQLiteStatement::finished() const {
    if (lastStep_ != SQLITE_DONE) return fail(stepError());
    return {};
}

void SQLiteStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    lastStep_ = 0;
}

std::string SQLiteStatement::text(int column) const {
    return std::string(textView(column));
}

std::string_view SQLiteStatement::textView(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    if (!bytes) return {};
    return {reinterpret_cast<const char*>(bytes),
            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

std::optional<std::string> SQLiteStatement::optionalText(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) return std::nullopt;
    return text(column);
}

std::int64_t SQLiteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

StoreError SQLiteStatement::stepError() const {
    return StoreError::sqlite(db_ ? sqlite3_errmsg(db_) : "未知错误");
}

}  // namespace kestrin
