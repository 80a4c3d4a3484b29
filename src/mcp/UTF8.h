#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// `bytes` with every maximal ill-formed UTF-8 subsequence replaced by U+FFFD
// (the Unicode "best practice" for decoding); returned unchanged when it is
// valid already.
std::string replacingInvalidUTF8(std::string bytes);

// Whether `text` (valid UTF-8) holds nothing but characters with the Unicode
// White_Space property: spaces, tabs, line breaks and their Unicode kin.
bool isBlankText(std::string_view text);

}  // namespace kestrin
