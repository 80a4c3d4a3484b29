#pragma once

// Receipts that pass the importer's checks, and their archive entries, for the
// archive and archive manager tests.

#include <string>
#include <vector>

#include "core/store/ArchivedReceipt.h"
#include "core/store/SQLiteTaskStore.h"
#include "tools/TestReceipts.h"

namespace kestrin::testing {

inline const std::vector<std::string> archiveStepIDs{"step-1", "step-2"};

// A receipt whose items each have the steps "step-1" and "step-2".
inline InterventionReceipt validReceipt(const std::string& receiptID, std::int64_t version,
                                        const std::vector<std::string>& itemIDs = {"item-1"}) {
    std::vector<InterventionItem> items;
    for (const auto& itemID : itemIDs) {
        items.push_back(makeItem(itemID, TaskPriority::medium, archiveStepIDs));
    }
    return makeReceipt(receiptID, version, std::move(items));
}

// The archive entry for `raw`, stored under `receiptID` and `version`, with
// the hash that matches it.
inline ArchivedReceipt archivedText(const std::string& receiptID, std::int64_t version,
                                    const std::string& raw) {
    return {receiptID, version, SQLiteTaskStore::hash(raw), raw};
}

inline ArchivedReceipt archived(const InterventionReceipt& receipt) {
    return archivedText(receipt.receiptId, receipt.version, rawJSON(receipt));
}

}  // namespace kestrin::testing
