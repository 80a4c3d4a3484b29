#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/support/Result.h"
#include "mcp/JSONWriteError.h"

namespace kestrin {

// The JSON rules of the server's channel, used for every message it reads and
// writes and for the receipts it hands to the importer.
class WireJSON {
public:
    // Parses one whole document whose top level is an object or an array, by
    // the system's strict rules (parseJSON): nothing for malformed text, a
    // top-level scalar, or nesting deeper than maxJSONDepth, which keeps the
    // recursive copying and writing of the value within the stack whatever a
    // client sends. Never throws.
    static std::optional<nlohmann::json> parse(std::string_view text);

    // Writes `value` compactly (no white space between tokens), with the keys of
    // every object in ascending byte order, non-ASCII characters as UTF-8 and
    // every "/" inside a string as "\/". Fails when a string is not valid UTF-8.
    // `value` must be no deeper than maxJSONDepth plus the few levels of a
    // reply, which holds for everything built from parse().
    static Result<std::string, JSONWriteError> serialize(const nlohmann::json& value);
};

}  // namespace kestrin
