#include "mcp/UTF8Repair.h"

#include <unicode/utf8.h>

#include <cstdint>

#include "core/support/UTF8.h"

namespace kestrin {

std::string replacingInvalidUTF8(std::string bytes) {
    if (isValidUTF8(bytes)) return bytes;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const auto length = static_cast<std::int64_t>(bytes.size());
    std::string repaired;
    repaired.reserve(bytes.size() + 2);
    for (std::int64_t index = 0; index < length;) {
        const std::int64_t start = index;
        UChar32 codePoint;
        // Steps over one code point, or over the whole maximal ill-formed
        // subsequence, which then reads as negative.
        U8_NEXT(data, index, length, codePoint);
        if (codePoint < 0) {
            repaired += "\xEF\xBF\xBD";
        } else {
            repaired.append(bytes, static_cast<std::size_t>(start),
                            static_cast<std::size_t>(index - start));
        }
    }
    return repaired;
}

}  // namespace kestrin
