#pragma once

#include <optional>
#include <string_view>

#include "core/handback/ResumeSecretError.h"

namespace kestrin {

// Keeps secrets off the road back to an agent: the resume message carries the
// user's own note, and a token pasted there would end up in the agent's
// context and logs. Every place that hands a resume message on (clipboard,
// standard output, a tool result) checks it here first and lets it through
// only by the user's explicit choice. Stateless.
class ResumeMessageGuard {
  public:
    // Nothing when `message` looks clean; otherwise the error naming the line
    // and rule of each finding of the secret scanner, escapes included, as
    // receipt text is scanned.
    std::optional<ResumeSecretError> check(std::string_view message) const;
};

}  // namespace kestrin
