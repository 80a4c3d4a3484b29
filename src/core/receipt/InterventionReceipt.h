#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/receipt/InterventionItem.h"
#include "core/receipt/ReceiptProject.h"
#include "core/receipt/ReceiptSource.h"
#include "core/receipt/ReceiptState.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// The whole receipt document an agent submits. Identified by `receiptId`.
struct InterventionReceipt {
    std::string schemaVersion;
    std::string receiptId;
    std::int64_t version = 0;
    Timestamp createdAt{};
    Timestamp updatedAt{};
    ReceiptSource source;
    ReceiptProject project;
    ReceiptState state = ReceiptState::completed;
    bool requiresUserAction = false;
    std::string summary;
    std::vector<InterventionItem> items;

    const std::string& id() const { return receiptId; }

    bool operator==(const InterventionReceipt&) const = default;
};

}  // namespace kestrin
