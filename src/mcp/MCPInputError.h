#pragma once

#include <string>

namespace kestrin {

// Why a tool's arguments were refused: the "receipt" argument of a submission
// is missing, or is neither a JSON object (or array) nor a string holding one;
// the result tool's "receipt_id" is missing, not a non-empty string, or names
// no stored receipt (`receiptID` carries it), or its "wait_seconds" is not an
// integer from 0 to 50.
struct MCPInputError {
    enum class Kind {
        missingReceipt,
        invalidReceipt,
        missingReceiptID,
        invalidReceiptID,
        unknownReceipt,
        invalidWaitSeconds
    };

    Kind kind = Kind::missingReceipt;
    std::string receiptID = {};

    // The fixed Chinese text returned to the agent.
    std::string description() const;

    bool operator==(const MCPInputError&) const = default;
};

}  // namespace kestrin
