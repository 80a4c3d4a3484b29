#include "core/support/TextTrimming.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace kestrin {

namespace {

bool isASCIIWhiteSpace(std::uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Decodes the code point at `pos` (moving `pos` past it) and says whether it
// is white space. Ill-formed UTF-8 reads as a negative value and so counts as
// text. 64-bit offsets: receipt texts may be larger than ICU's int32 indexes.
bool nextIsWhiteSpace(const std::uint8_t* bytes, std::int64_t& pos, std::int64_t length) {
    if (bytes[pos] < 0x80) return isASCIIWhiteSpace(bytes[pos++]);
    UChar32 c;
    U8_NEXT(bytes, pos, length, c);
    return c >= 0 && u_isUWhiteSpace(c);
}

}  // namespace

std::string_view trimmedText(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int64_t>(text.size());

    std::int64_t begin = 0;
    while (begin < length) {
        std::int64_t next = begin;
        if (!nextIsWhiteSpace(bytes, next, length)) break;
        begin = next;
    }
    std::int64_t end = length;
    while (end > begin) {
        // The last code point starts at most three continuation bytes back.
        std::int64_t start = end - 1;
        while (start > begin && end - start < 4 && U8_IS_TRAIL(bytes[start])) --start;
        std::int64_t next = start;
        if (!nextIsWhiteSpace(bytes, next, end) || next != end) break;
        end = start;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool isBlank(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int64_t>(text.size());
    for (std::int64_t pos = 0; pos < length;) {
        if (!nextIsWhiteSpace(bytes, pos, length)) return false;
    }
    return true;
}

}  // namespace kestrin
