#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrin {

// Builds the data directory of a long-used Velmora: `taskCount` tasks of
// which one in 200 is open (pending, in progress, snoozed until next year,
// ready to resume or waiting on someone else, in turn) and the rest completed
// or cancelled. Half of the completed tasks have two ticked steps, the tasks
// in progress or ready to resume one. 50 projects, the four agents, 2 or 3
// items of 2 to 4 steps per receipt, one receipt row per receipt, receipts
// imported a minute apart.
//
// A thousand seed receipts go through the real importer, so the rows are what
// this build writes; they are then copied with SQL in one transaction, which
// makes a million tasks in about a minute instead of hours.
class ScaleStoreBuilder {
public:
    // Directories are made under `cacheDirectory`, one per size.
    explicit ScaleStoreBuilder(std::filesystem::path cacheDirectory);

    // The data directory (its database is tasks.sqlite, as KESTRIN_HOME
    // expects) holding exactly `taskCount` tasks: reused when an earlier
    // build of the same layout and schema version finished there (unless
    // `rebuild`), else built afresh. Either way the store has been opened once afterwards, so a
    // schema upgrade of this build is not charged to the first program
    // measured. Throws std::runtime_error
    // when SQLite or the importer fails.
    std::filesystem::path dataDirectory(std::int64_t taskCount, bool rebuild) const;

    // The number of open tasks a store of `taskCount` tasks holds.
    static std::int64_t openTaskCount(std::int64_t taskCount);
    // A task that is pending in every store built here.
    static std::string pendingTaskKey() { return "rc-0-0::item-1"; }

private:
    void build(const std::filesystem::path& directory, std::int64_t taskCount) const;

    std::filesystem::path cacheDirectory_;
};

}  // namespace kestrin
