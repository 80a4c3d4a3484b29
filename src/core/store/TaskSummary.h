#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/receipt/AgentKind.h"
#include "core/receipt/InterventionCategory.h"
#include "core/receipt/Timestamp.h"
#include "core/store/TaskSearchFields.h"
#include "core/store/TaskStatus.h"

namespace kestrin {

// What a one-line listing shows of a task, and what a search looks at, read
// without decoding its item.
struct TaskSummary {
    std::string taskKey;
    TaskStatus status = TaskStatus::pending;
    std::string projectName;
    AgentKind agent = AgentKind::other;
    std::string sourceTaskTitle;
    std::string title;
    std::string reason;
    InterventionCategory category = InterventionCategory::terminal;
    Timestamp importedAt;
    std::optional<Timestamp> snoozedUntil;
    std::size_t stepCount = 0;
    // Ticks stored for the task, as TaskRecord::completedStepCount counts them.
    std::size_t completedStepCount = 0;

    TaskSearchFields searchFields() const {
        return {0, title, reason, projectName, sourceTaskTitle, agent, category};
    }
    bool operator==(const TaskSummary&) const = default;
};

}  // namespace kestrin
