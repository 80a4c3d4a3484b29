#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/TaskRecord.h"

namespace kestrin {

// The rules every task list view shares: which tasks count as open work, how
// they group by project, and which task stays selected when the list changes.
// A project is identified by its exact name (byte for byte, case-sensitive);
// its path plays no part. Operations take the tasks in the caller's order.
class TaskListPolicy {
  public:
    TaskListPolicy() = delete;

    // True unless the task is completed or cancelled (snoozed tasks count).
    static bool isVisibleInProject(const TaskRecord& task);

    // True when some visible task belongs to project `name`.
    static bool hasVisibleTasks(std::string_view name, std::span<const TaskRecord> tasks);

    // The distinct names of the projects with visible tasks, ascending by
    // Unicode code point of their canonical composition (NFC): neither
    // locale-aware nor case-insensitive, so "B" comes before "a".
    static std::vector<std::string> projectNames(std::span<const TaskRecord> tasks);

    // The visible tasks of project `name`, in input order.
    static std::vector<TaskRecord> tasks(std::string_view name, std::span<const TaskRecord> tasks);

    // The task key to select once the shown list is `visibleTasks`: `selected`
    // while some task there has that key, else the first task's key, else
    // nothing. Looks only at task keys.
    static std::optional<std::string> reconciledSelectedTaskKey(
        const std::optional<std::string>& selected, std::span<const TaskRecord> visibleTasks);
};

}  // namespace kestrin
