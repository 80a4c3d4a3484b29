#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string_view>

#include "core/receipt/DecodingError.h"
#include "core/support/Result.h"

namespace kestrin {

// How deep objects and arrays may nest in text the system reads. Documents are
// a few levels deep; the limit keeps hostile input from costing memory per
// level and keeps the recursive parts of nlohmann/json (copy, compare, dump)
// safe on every value this function returns.
inline constexpr std::size_t maxJSONDepth = 256;

// Parses one strict JSON text (RFC 8259; a UTF-8 byte-order mark is skipped):
// nothing but white space after the value, strings valid UTF-8, no NUL byte
// anywhere, numbers finite, at most maxJSONDepth levels of nesting. Duplicate
// keys in one object: the last one wins. Never throws; any fault gives
// DecodingError::invalidJSON or DecodingError::tooDeep.
Result<nlohmann::json, DecodingError> parseJSON(std::string_view text);

}  // namespace kestrin
