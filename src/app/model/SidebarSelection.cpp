#include "app/model/SidebarSelection.h"

#include <functional>

#include "core/handback/TaskListPolicy.h"

namespace kestrin {

bool isAttentionStatus(TaskStatus status) {
    return status == TaskStatus::pending || status == TaskStatus::inProgress ||
           status == TaskStatus::readyToResume;
}

const std::string* SidebarSelection::projectName() const {
    const auto* project = std::get_if<Project>(&case_);
    return project == nullptr ? nullptr : &project->name;
}

bool SidebarSelection::includesClosedTasks() const {
    if (const auto* status = std::get_if<TaskStatus>(&case_)) {
        return *status == TaskStatus::completed || *status == TaskStatus::cancelled;
    }
    return std::holds_alternative<All>(case_);
}

bool SidebarSelection::includes(const TaskRecord& task) const {
    if (const auto* status = std::get_if<TaskStatus>(&case_)) return task.status == *status;
    if (const auto* project = std::get_if<Project>(&case_)) {
        return task.project.name == project->name && TaskListPolicy::isVisibleInProject(task);
    }
    if (std::holds_alternative<Attention>(case_)) return isAttentionStatus(task.status);
    return std::holds_alternative<All>(case_);
}

std::size_t SidebarSelection::hash() const {
    std::size_t payload = 0;
    if (const auto* status = std::get_if<TaskStatus>(&case_)) {
        payload = std::hash<int>()(static_cast<int>(*status));
    } else if (const auto* project = std::get_if<Project>(&case_)) {
        payload = std::hash<std::string>()(project->name);
    }
    return case_.index() * 1000003u ^ payload;
}

}  // namespace kestrin
