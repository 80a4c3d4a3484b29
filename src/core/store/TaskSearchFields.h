#pragma once

#include <functional>
#include <string_view>

#include "core/receipt/AgentKind.h"
#include "core/receipt/InterventionCategory.h"

namespace kestrin {

// The stored values a task is searched by, read without decoding its item:
// item title and reason, project name, agent task title, agent and category.
// The texts are valid only during the call they are passed to.
struct TaskSearchFields {
    std::string_view title;
    std::string_view reason;
    std::string_view projectName;
    std::string_view sourceTaskTitle;
    AgentKind agent = AgentKind::other;
    InterventionCategory category = InterventionCategory::terminal;
};

// Whether a task belongs in a filtered listing, judged from its fields.
using TaskSearchFilter = std::function<bool(const TaskSearchFields&)>;

}  // namespace kestrin
