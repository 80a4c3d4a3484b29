#pragma once

#include <cstdint>
#include <string_view>

#include "core/receipt/AgentKind.h"
#include "core/receipt/InterventionCategory.h"

namespace kestrin {

// The stored values a task is searched by, read without decoding its item:
// item title and reason, project name, agent task title, agent and category.
// The texts are valid only during the call they are passed to; `rowID`
// names the row for as long as the file does not change.
struct TaskSearchFields {
    std::int64_t rowID = 0;
    std::string_view title;
    std::string_view reason;
    std::string_view projectName;
    std::string_view sourceTaskTitle;
    AgentKind agent = AgentKind::other;
    InterventionCategory category = InterventionCategory::terminal;
};

}  // namespace kestrin
