#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrin {

// Why a JSON document could not be decoded: the coding path of the offending
// value (wire keys and zero-based list positions, such as items[0].steps[2].kind;
// empty for the root or for text that is not JSON at all) and a description of
// the fault. Descriptions are fixed Chinese texts, made only by the named
// constructors below; they never quote the input, so they are always valid
// UTF-8 and carry nothing the document held.
struct DecodingError {
    std::string path;
    std::string description;

    // The text shown to users: the path, "：" and the description, or the
    // description alone when the path is empty.
    std::string message() const;

    // The text is not JSON (syntax, invalid UTF-8, a NUL byte, a number too
    // large for any JSON number); `byteOffset` is where the parser stopped.
    static DecodingError invalidJSON(std::size_t byteOffset);
    // The text is too large to hold in memory.
    static DecodingError tooLarge();
    // Objects and arrays nest deeper than `limit` levels.
    static DecodingError tooDeep(std::size_t limit);
    // The value has another JSON type than `expected` (both Chinese type
    // names, such as 文本 or 整数).
    static DecodingError typeMismatch(std::string path, std::string_view expected,
                                      std::string_view actual);
    static DecodingError missingKey(std::string path);
    static DecodingError nullValue(std::string path);
    // A text that is none of `allowed` (raw values joined by "、").
    static DecodingError unknownValue(std::string path, std::string_view allowed);
    // An integer that does not fit in a signed 64-bit integer.
    static DecodingError integerOutOfRange(std::string path);
    // A timestamp text in no accepted form.
    static DecodingError invalidDate(std::string path);

    bool operator==(const DecodingError&) const = default;
};

}  // namespace kestrin
