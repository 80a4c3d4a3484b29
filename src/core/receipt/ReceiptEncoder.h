#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/receipt/InterventionItem.h"
#include "core/receipt/InterventionReceipt.h"

namespace kestrin {

// Writes receipts and items under the wire rules (see JSONObjectWriter):
// snake-case keys sorted in byte order, absent optional fields left out,
// timestamps in the written form, integers in plain decimal, "/" unescaped,
// non-ASCII as UTF-8. Compact by default: no white space at all. Pretty: one
// member per line, nested levels indented by two spaces, ": " after each key,
// empty lists and objects as [] and {}. Never throws for lack of valid input:
// text that is not UTF-8 is written with U+FFFD in place of the bad bytes.
class ReceiptEncoder {
public:
    explicit ReceiptEncoder(bool pretty = false) : pretty_(pretty) {}

    std::string encode(const InterventionReceipt& receipt) const;
    std::string encode(const InterventionItem& item) const;

    // The JSON values behind encode(), for documents that embed receipts.
    nlohmann::json toJSON(const InterventionReceipt& receipt) const;
    nlohmann::json toJSON(const InterventionItem& item) const;

    // Serialises any value with this encoder's layout.
    std::string dump(const nlohmann::json& value) const;

private:
    bool pretty_;
};

}  // namespace kestrin
