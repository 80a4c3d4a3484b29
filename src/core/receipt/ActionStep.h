#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/receipt/ActionKind.h"

namespace kestrin {

// One numbered step of an intervention item. `id` is unique within the item
// and `order` runs 1, 2, 3 ... (the validator checks both).
struct ActionStep {
    std::string id;
    std::int64_t order = 0;
    std::string title;
    std::string instruction;
    ActionKind kind = ActionKind::verify;
    std::optional<std::string> workingDirectory;
    std::optional<std::string> command;
    bool requiresPassword = false;
    std::optional<std::string> passwordPrompt;  // where to type it; never the password
    std::string successSignal;
    std::string failureAction;

    bool operator==(const ActionStep&) const = default;
};

}  // namespace kestrin
