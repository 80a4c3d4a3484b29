#pragma once

// The receipts of the multi-process store test, the same in every process so
// that one version always has the same bytes.

#include <string>

#include "TestReceipts.h"

namespace kestrin::testing {

inline const std::string sharedReceiptID = "shared";

// Version v of the shared receipt: the item "common" and one item of its own.
inline InterventionReceipt sharedReceipt(std::int64_t version) {
    return makeReceipt(sharedReceiptID, version,
                       {makeItem("common"), makeItem("only-v" + std::to_string(version))});
}

// Receipt `index` of one writer, with two items.
inline InterventionReceipt writerReceipt(const std::string& writer, int index) {
    return makeReceipt(writer + "-r" + std::to_string(index), 1,
                       {makeItem("a", TaskPriority::high), makeItem("b", TaskPriority::low)});
}

}  // namespace kestrin::testing
