#pragma once

#include <string>

#include "core/receipt/Timestamp.h"

namespace kestrin {

// One ticked step of an archived task.
struct ArchivedStepProgress {
    std::string stepId;       // "step_id": the step identifier within the item
    Timestamp completedAt{};  // "completed_at"

    std::string& stepID() { return stepId; }
    const std::string& stepID() const { return stepId; }

    bool operator==(const ArchivedStepProgress&) const = default;
};

}  // namespace kestrin
