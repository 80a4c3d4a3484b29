#pragma once

#include <optional>
#include <string>

#include "core/receipt/AgentKind.h"

namespace kestrin {

// The agent task a receipt comes from.
struct ReceiptSource {
    AgentKind agent = AgentKind::other;
    std::string taskTitle;
    std::optional<std::string> taskId;   // the agent's own task or thread identifier
    std::optional<std::string> locator;  // any other text that finds the task again

    bool operator==(const ReceiptSource&) const = default;
};

}  // namespace kestrin
