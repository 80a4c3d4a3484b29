#pragma once

#include <cstdint>
#include <string>

#include "core/receipt/AgentKind.h"
#include "core/receipt/ReceiptState.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// One imported receipt as shown in the history list. Built only by the store.
struct ReceiptHistoryRecord {
    std::string receiptID;
    std::int64_t version = 0;
    std::string projectName;
    AgentKind agent = AgentKind::other;
    ReceiptState state = ReceiptState::completed;
    bool requiresUserAction = false;
    std::string summary;
    Timestamp importedAt{};

    const std::string& id() const { return receiptID; }

    bool operator==(const ReceiptHistoryRecord&) const = default;
};

}  // namespace kestrin
