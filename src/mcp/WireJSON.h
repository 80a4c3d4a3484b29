#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"
#include "mcp/JSONWriteError.h"

namespace kestrin {

// The JSON rules of the server's channel, used for every message it reads and
// writes and for the receipts it hands to the importer.
class WireJSON {
  public:
    // The deepest nesting of arrays and objects parse() accepts. Deeper text is
    // refused like malformed text, so that copying and writing a parsed value
    // (both recursive) stay within the stack whatever a client sends.
    static constexpr std::size_t maxNestingDepth = 512;

    // Parses one whole document whose top level is an object or an array.
    // Nothing for malformed text, a top-level scalar, anything but white space
    // after the value, or nesting deeper than maxNestingDepth. Never throws.
    static std::optional<nlohmann::json> parse(std::string_view text);

    // Writes `value` compactly (no white space between tokens), with the keys of
    // every object in ascending byte order, non-ASCII characters as UTF-8 and
    // every "/" inside a string as "\/". Fails when a string is not valid UTF-8.
    // `value` must be no deeper than maxNestingDepth plus the few levels of a
    // reply, which holds for everything built from parse().
    static Result<std::string, JSONWriteError> serialize(const nlohmann::json& value);
};

}  // namespace kestrin
