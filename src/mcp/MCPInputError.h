#pragma once

#include <string>

namespace kestrin {

// Why the "receipt" argument of a submission could not be turned into receipt
// bytes: it is missing, or it is neither a JSON object (or array) nor a string
// holding one.
struct MCPInputError {
    enum class Kind { missingReceipt, invalidReceipt };

    Kind kind = Kind::missingReceipt;

    // The fixed Chinese text returned to the agent.
    std::string description() const;

    bool operator==(const MCPInputError&) const = default;
};

}  // namespace kestrin
