#pragma once

#include <string>

namespace kestrin {

// A value the server's JSON writer could not write (a string that is not valid
// UTF-8); `reason` is the JSON library's own explanation.
struct JSONWriteError {
    std::string reason;

    // "JSON 无法写出：" followed by the reason.
    std::string description() const { return "JSON 无法写出：" + reason; }

    bool operator==(const JSONWriteError&) const = default;
};

}  // namespace kestrin
