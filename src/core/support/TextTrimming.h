#pragma once

#include <string_view>

namespace kestrin {

// `text` without the white space and line breaks at either end: every code
// point with the Unicode White_Space property (space, tab, line feed, carriage
// return, no-break space, ideographic space, U+2028 ...). Bytes that are not
// well-formed UTF-8 count as text, so trimming stops at them. The result views
// `text`.
std::string_view trimmedText(std::string_view text);

// True when `text` is empty after trimming.
bool isBlank(std::string_view text);

}  // namespace kestrin
