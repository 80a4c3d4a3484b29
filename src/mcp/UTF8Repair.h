#pragma once

#include <string>

namespace kestrin {

// `bytes` with every maximal ill-formed UTF-8 subsequence replaced by U+FFFD
// (the Unicode "best practice" for decoding), so that the result is valid
// UTF-8; returned unchanged when it is valid already.
std::string replacingInvalidUTF8(std::string bytes);

}  // namespace kestrin
