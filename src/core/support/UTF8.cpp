#include "core/support/UTF8.h"

#include <unicode/utf8.h>

#include <cstdint>

namespace kestrin {

bool isValidUTF8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const auto length = static_cast<std::int64_t>(bytes.size());
    std::int64_t index = 0;
    while (index < length) {
        UChar32 codePoint;
        U8_NEXT(data, index, length, codePoint);
        if (codePoint < 0) return false;
    }
    return true;
}

}  // namespace kestrin
