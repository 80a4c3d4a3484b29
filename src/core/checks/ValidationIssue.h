#pragma once

#include <string>

#include "core/support/ClosedEnum.h"

namespace kestrin {

// One problem the validator found in a receipt: how serious it is, a stable
// machine code (lower case with underscores), the JSON path of the value
// concerned (wire keys, zero-based list positions such as items[0].steps[2])
// and a Chinese message addressed to the agent that wrote the receipt.
struct ValidationIssue {
    // An error makes the receipt unacceptable; a warning is advice only.
    enum class Severity { error, warning };

    Severity severity = Severity::error;
    std::string code;
    std::string path;
    std::string message;

    // The message, for callers that pass an issue on as an error value.
    std::string description() const { return message; }

    bool operator==(const ValidationIssue&) const = default;
};

// Severities have no display name of their own: an issue is shown by its
// message.
template <>
struct EnumTraits<ValidationIssue::Severity> {
    static constexpr std::array<EnumCase<ValidationIssue::Severity>, 2> cases{{
        {ValidationIssue::Severity::error, "error", ""},
        {ValidationIssue::Severity::warning, "warning", ""},
    }};
};

}  // namespace kestrin
