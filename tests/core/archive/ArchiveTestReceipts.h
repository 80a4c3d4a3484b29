#pragma once

// Receipts that pass the importer's checks, and their archive entries.

#include <string>
#include <vector>

#include "core/store/ArchivedReceipt.h"
#include "core/store/SQLiteTaskStore.h"
#include "tools/TestReceipts.h"

namespace kestrin::testing {

// A receipt whose items each have the steps "step-1" and "step-2".
inline InterventionReceipt validReceipt(const std::string& receiptID, std::int64_t version,
                                        const std::vector<std::string>& itemIDs = {"item-1"}) {
    std::vector<InterventionItem> items;
    for (const auto& itemID : itemIDs) items.push_back(makeItem(itemID, TaskPriority::medium, {"step-1", "step-2"}));
    return makeReceipt(receiptID, version, std::move(items));
}

// The archive entry for `raw` under `receiptID` and `version`, with its true hash.
inline ArchivedReceipt archivedText(const std::string& receiptID, std::int64_t version, const std::string& raw) {
    return {receiptID, version, SQLiteTaskStore::hash(raw), raw};
}

inline ArchivedReceipt archived(const InterventionReceipt& receipt) {
    return archivedText(receipt.receiptId, receipt.version, rawJSON(receipt));
}

}  // namespace kestrin::testing
