#pragma once

#include <string>

namespace kestrin {

// The project the agent worked in; `path` is meant to be absolute.
struct ReceiptProject {
    std::string name;
    std::string path;

    bool operator==(const ReceiptProject&) const = default;
};

}  // namespace kestrin
