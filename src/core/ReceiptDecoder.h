#pragma once

#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "core/DecodingError.h"
#include "core/InterventionItem.h"
#include "core/InterventionReceipt.h"
#include "core/Result.h"

namespace kestrin {

// Reads receipts and items from JSON under the wire rules: keys converted from
// snake case before matching, unknown keys ignored, unknown enumeration values
// and type mismatches fatal, timestamps by the two-step date rule. Either the
// whole record is produced or an error; never a partial result, never a crash,
// whatever the bytes. Stateless; cheap to create.
class ReceiptDecoder {
public:
    Result<InterventionReceipt, DecodingError> decodeReceipt(std::string_view json) const;
    Result<InterventionItem, DecodingError> decodeItem(std::string_view json) const;

    // The same on an already parsed value; `path` prefixes every error path.
    Result<InterventionReceipt, DecodingError> decodeReceipt(const nlohmann::json& value,
                                                             const std::string& path = {}) const;
    Result<InterventionItem, DecodingError> decodeItem(const nlohmann::json& value,
                                                       const std::string& path = {}) const;
};

}  // namespace kestrin
