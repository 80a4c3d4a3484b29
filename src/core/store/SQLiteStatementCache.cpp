#include "core/store/SQLiteStatementCache.h"

#include <sqlite3.h>

#include <utility>

namespace kestrin {

SQLiteStatementCache::~SQLiteStatementCache() {
    for (auto& [sql, statement] : idle_) sqlite3_finalize(statement);
}

sqlite3_stmt* SQLiteStatementCache::take(std::string_view sql) {
    std::lock_guard guard(lock_);
    auto found = idle_.find(sql);
    if (found == idle_.end()) return nullptr;
    sqlite3_stmt* statement = found->second;
    idle_.erase(found);
    return statement;
}

void SQLiteStatementCache::give(std::string sql, sqlite3_stmt* statement) {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    std::lock_guard guard(lock_);
    if (idle_.size() >= capacity || !idle_.emplace(std::move(sql), statement).second) {
        sqlite3_finalize(statement);
    }
}

}  // namespace kestrin
