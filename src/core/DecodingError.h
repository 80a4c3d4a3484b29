#pragma once

#include <string>

namespace kestrin {

// Why a JSON document could not be decoded: the coding path of the offending
// value (wire keys and zero-based list positions, such as items[0].steps[2].kind;
// empty for the root) and a description of the fault.
struct DecodingError {
    std::string path;
    std::string description;

    bool operator==(const DecodingError&) const = default;
};

}  // namespace kestrin
