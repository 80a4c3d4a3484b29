#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "core/receipt/DecodingError.h"
#include "core/receipt/InterventionItem.h"
#include "core/receipt/InterventionReceipt.h"
#include "core/support/Result.h"

namespace kestrin {

// Reads receipts and items from JSON under the wire rules (see
// JSONObjectReader): keys converted from snake case before matching, unknown
// keys ignored, unknown enumeration values and type mismatches fatal,
// timestamps by the date rule. Either the whole record is produced or the first
// fault in field order; never a partial result, an exception or a crash,
// whatever the bytes (see parseJSON for what text is JSON). Stateless; cheap to
// create.
class ReceiptDecoder {
public:
    Result<InterventionReceipt, DecodingError> decodeReceipt(std::string_view json) const;
    Result<InterventionItem, DecodingError> decodeItem(std::string_view json) const;

    // The same on an already parsed value (such as a receipt embedded in
    // another document); `path` prefixes every error path. Named apart from
    // the text overloads because nlohmann::json converts implicitly from text
    // and from byte vectors.
    Result<InterventionReceipt, DecodingError> receiptFromJSON(const nlohmann::json& value,
                                                               const std::string& path = {}) const;
    Result<InterventionItem, DecodingError> itemFromJSON(const nlohmann::json& value,
                                                         const std::string& path = {}) const;
};

}  // namespace kestrin
