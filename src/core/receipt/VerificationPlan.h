#pragma once

#include <string>

namespace kestrin {

// How the user checks an intervention item at the end.
struct VerificationPlan {
    std::string instruction;
    std::string successEvidence;

    bool operator==(const VerificationPlan&) const = default;
};

}  // namespace kestrin
