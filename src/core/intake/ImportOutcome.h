#pragma once

#include <string>
#include <vector>

#include "core/receipt/InterventionReceipt.h"
#include "core/store/StoreImportResult.h"
#include "core/checks/ValidationIssue.h"

namespace kestrin {

// What a successful import did: the decoded receipt, the store's answer and the
// validator's warnings in validator order. Compared field by field.
struct ImportOutcome {
    InterventionReceipt receipt;
    StoreImportResult result;
    std::vector<ValidationIssue> warnings;

    // The fixed Chinese sentence for the user or the agent, for example
    // "已导入 3 个人工介入事项。".
    std::string userMessage() const;

    // True exactly when the store inserted or updated at least one task; the
    // desktop program notifies the user only then.
    bool createsNotification() const;

    bool operator==(const ImportOutcome&) const = default;
};

}  // namespace kestrin
