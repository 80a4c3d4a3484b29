#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3_stmt;

namespace kestrin {

// The compiled statements of one connection, kept for its life so that the
// hot paths (an import runs the same few statements for every receipt) are
// compiled once. A statement is taken out while in use, so a nested use of
// the same SQL compiles a second one instead of sharing a running statement;
// it comes back reset, holding no read transaction open. Holds at most
// `capacity` statements: past that, returned statements are finalized.
// Safe to use from several threads.
class SQLiteStatementCache {
public:
    static constexpr std::size_t capacity = 64;

    SQLiteStatementCache() = default;
    ~SQLiteStatementCache();
    SQLiteStatementCache(const SQLiteStatementCache&) = delete;
    SQLiteStatementCache& operator=(const SQLiteStatementCache&) = delete;

    // The idle statement compiled from `sql`, now owned by the caller, or
    // null when there is none.
    sqlite3_stmt* take(std::string_view sql);

    // Resets `statement`, clears its bindings and keeps it for the next take
    // of `sql`; finalizes it instead when one is already kept or the cache is
    // full.
    void give(std::string sql, sqlite3_stmt* statement);

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };

    std::mutex lock_;
    std::unordered_map<std::string, sqlite3_stmt*, Hash, std::equal_to<>> idle_;
};

}  // namespace kestrin
