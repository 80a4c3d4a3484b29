#pragma once

#include <optional>
#include <string>

namespace kestrin {

// What SourceLinkResolver found: either the Codex thread link to open, or the
// user-facing reason why there is none. Exactly one of the two is present.
struct SourceLinkResolution {
    std::optional<std::string> url;     // "codex://threads/" + a lower-case canonical UUID
    std::optional<std::string> reason;  // Chinese text for the user

    bool operator==(const SourceLinkResolution&) const = default;
};

}  // namespace kestrin
