#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace kestrin {

// What tells whether a listed task changed, read from indexes alone: its row,
// receipt version, status and wake-up time as stored, and its ticked steps.
// Every write to a task changes one of them: an import of a newer version,
// a status or wake-up change, a tick, a restore (new rows).
struct TaskRowState {
    std::string taskKey;
    std::int64_t rowID = 0;
    std::int64_t receiptVersion = 0;
    std::string status;
    std::optional<std::string> snoozedUntil;
    std::set<std::string> completedStepIDs;

    bool operator==(const TaskRowState&) const = default;
};

}  // namespace kestrin
