#include "mcp/WireJSON.h"

#include <algorithm>

#include "core/receipt/ParseJSON.h"

namespace kestrin {

std::optional<nlohmann::json> WireJSON::parse(std::string_view text) {
    auto value = parseJSON(text);
    if (!value || !(value->is_object() || value->is_array())) return std::nullopt;
    return std::move(value).value();
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
