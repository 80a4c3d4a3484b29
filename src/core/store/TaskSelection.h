#pragma once

#include <optional>
#include <string>

#include "core/store/TaskStatus.h"

namespace kestrin {

// Which tasks a listing or a count covers. By default the open ones:
// completed and cancelled tasks are left out unless `includeCompleted` is set
// or `status` asks for one of them. `status` and `project` narrow the
// selection to tasks with exactly that status or project name.
struct TaskSelection {
    bool includeCompleted = false;
    std::optional<TaskStatus> status;
    std::optional<std::string> project;

    bool operator==(const TaskSelection&) const = default;
};

}  // namespace kestrin
