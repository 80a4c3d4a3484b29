#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/store/ArchivedStepProgress.h"
#include "core/store/TaskStatus.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// The user's working state of one stored task, as the archive carries it.
struct ArchivedTaskState {
    std::string taskKey;  // "task_key": receipt identifier + "::" + item identifier
    TaskStatus status = TaskStatus::pending;           // "status"
    std::optional<Timestamp> snoozedUntil;             // "snoozed_until", left out when absent
    std::vector<ArchivedStepProgress> completedSteps;  // "completed_steps"

    bool operator==(const ArchivedTaskState&) const = default;
};

}  // namespace kestrin
