#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin {

// Splits the server's input into lines. A line ends at a line feed (a carriage
// return right before it is dropped too) or at the end of the input, so a last
// line without a line feed still counts. Bytes that are not valid UTF-8 are
// replaced by U+FFFD (replacingInvalidUTF8), so every line handed out is valid
// UTF-8. Lines may be of any length; the memory held for a line longer than
// `retainedCapacity` is given back before the next line is read.
class LineReader {
public:
    static constexpr std::size_t retainedCapacity = 1 << 20;

    explicit LineReader(std::istream& input) : input_(input) {}

    // The next line, or nothing at the end of the input (or when the input
    // fails). The view stays valid until the next call.
    std::optional<std::string_view> next();

private:
    void releaseLargeBuffer();

    std::istream& input_;
    std::string line_;
};

}  // namespace kestrin
