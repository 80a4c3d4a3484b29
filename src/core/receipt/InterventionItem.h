#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/receipt/ActionStep.h"
#include "core/receipt/InterventionCategory.h"
#include "core/receipt/TaskPriority.h"
#include "core/receipt/VerificationPlan.h"

namespace kestrin {

// One thing the user has to do. `id` is unique within its receipt.
struct InterventionItem {
    // The item layout this build writes; the store stamps it on every item it
    // keeps.
    static constexpr std::int64_t currentPayloadVersion = 1;

    std::string id;
    std::string title;
    std::string reason;
    std::string expectedOutcome;
    InterventionCategory category = InterventionCategory::terminal;
    TaskPriority priority = TaskPriority::medium;
    std::int64_t estimatedMinutes = 0;
    std::vector<std::string> prerequisites;
    std::vector<ActionStep> steps;
    VerificationPlan verification;
    std::optional<std::string> risk;
    std::optional<std::string> rollback;
    std::optional<std::string> resumeContext;  // the agent's note to itself, carried into the resume message
    std::optional<std::int64_t> payloadVersion;

    bool operator==(const InterventionItem&) const = default;
};

}  // namespace kestrin
