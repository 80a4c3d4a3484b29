#include "mcp/WireJSON.h"

#include <algorithm>

namespace kestrin {

namespace {

// Whether the arrays and objects in `text` nest deeper than `limit`, counting
// brackets outside strings only. Exact for well-formed JSON; for anything else
// the answer does not matter, as the parser refuses it anyway.
bool nestsDeeperThan(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

}  // namespace

std::optional<nlohmann::json> WireJSON::parse(std::string_view text) {
    if (nestsDeeperThan(text, maxNestingDepth)) return std::nullopt;
    nlohmann::json value = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded() || !(value.is_object() || value.is_array())) return std::nullopt;
    return value;
}

Result<std::string, JSONWriteError> WireJSON::serialize(const nlohmann::json& value) {
    std::string compact;
    try {
        // nlohmann::json keeps object members in a std::map, so keys come out
        // sorted by byte at every depth.
        compact = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception& error) {
        return fail(JSONWriteError{error.what()});
    }
    // Outside strings compact JSON holds no "/", and the library never escapes
    // one, so every slash in the text is a literal slash inside a string.
    const auto slashes = static_cast<std::size_t>(std::count(compact.begin(), compact.end(), '/'));
    if (slashes == 0) return compact;
    std::string escaped;
    escaped.reserve(compact.size() + slashes);
    for (const char c : compact) {
        if (c == '/') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace kestrin
