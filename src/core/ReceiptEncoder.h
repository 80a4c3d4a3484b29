#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/InterventionItem.h"
#include "core/InterventionReceipt.h"

namespace kestrin {

// Writes receipts and items under the wire rules: snake-case keys sorted in
// byte order, absent optional fields left out, timestamps in the written form,
// "/" unescaped, non-ASCII as UTF-8. Compact by default; pretty adds line
// breaks and indentation.
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
