#include "mcp/UTF8.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace kestrin {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Decodes the code point at `position` and advances past it, or past the
// maximal ill-formed subsequence there (then the result is negative). ICU's
// macro takes 32-bit lengths, so it sees at most the four bytes a code point
// can span, which keeps texts beyond 2 GiB correct.
UChar32 nextCodePoint(std::string_view text, std::size_t& position) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data() + position);
    const auto window = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - position));
    std::int32_t offset = 0;
    UChar32 codePoint = 0;
    U8_NEXT(bytes, offset, window, codePoint);
    position += static_cast<std::size_t>(offset);
    return codePoint;
}

// The offset of the first ill-formed subsequence, or the size when there is none.
std::size_t firstInvalidOffset(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size()) {
        if (static_cast<unsigned char>(text[position]) < 0x80) {
            ++position;
            continue;
        }
        const std::size_t start = position;
        if (nextCodePoint(text, position) < 0) return start;
    }
    return text.size();
}

}  // namespace

std::string replacingInvalidUTF8(std::string bytes) {
    std::size_t position = firstInvalidOffset(bytes);
    if (position == bytes.size()) return bytes;
    std::string repaired(bytes, 0, position);
    repaired.reserve(bytes.size() + 2);
    while (position < bytes.size()) {
        const std::size_t start = position;
        if (nextCodePoint(bytes, position) < 0) {
            repaired += replacementCharacter;
        } else {
            repaired.append(bytes, start, position - start);
        }
    }
    return repaired;
}

bool isBlankText(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size()) {
        const UChar32 codePoint = nextCodePoint(text, position);
        if (codePoint < 0 || !u_isUWhiteSpace(codePoint)) return false;
    }
    return true;
}

}  // namespace kestrin
