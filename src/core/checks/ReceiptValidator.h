#pragma once

#include <vector>

#include "core/receipt/InterventionReceipt.h"
#include "core/checks/ValidationIssue.h"

namespace kestrin {

// Judges a decoded receipt against the content rules of the receipt protocol.
// Holds no state; create one freely and share it between threads. It never
// changes the receipt, never fails, and does not look for secrets (that is
// SecretScanner's job).
//
// "Blank" below means empty after trimming characters with the Unicode
// White_Space property (spaces, tabs, line breaks, U+00A0, U+3000 ...) at both
// ends; an absent optional text is blank. Invalid UTF-8 is not white space.
class ReceiptValidator {
  public:
    // Every issue, errors and warnings, in a fixed evaluation order: the
    // receipt-level checks, then each item in list order with its steps. All
    // checks run; the same receipt always yields the same list. Empty means the
    // receipt is acceptable without remarks.
    std::vector<ValidationIssue> validate(const InterventionReceipt& receipt) const;

    // The issues of validate() whose severity is error, in the same order.
    // Empty means the receipt may be accepted.
    std::vector<ValidationIssue> errors(const InterventionReceipt& receipt) const;
};

}  // namespace kestrin
