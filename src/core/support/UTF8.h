#pragma once

#include <string_view>

namespace kestrin {

// Whether `bytes` are well-formed UTF-8 in the strict sense: no overlong
// forms, no surrogates, nothing above U+10FFFF, no truncated sequence.
bool isValidUTF8(std::string_view bytes);

}  // namespace kestrin
