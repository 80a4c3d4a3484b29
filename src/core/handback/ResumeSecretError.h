#pragma once

#include <string>
#include <vector>

#include "core/checks/SecretFinding.h"

namespace kestrin {

// A resume message that looks like it holds a secret (usually pasted into the
// user's note). Carries where and which rule, never the matched text, so the
// error itself can be shown and logged safely.
struct ResumeSecretError {
    // In the scanner's order; empty when the scan could not finish.
    std::vector<SecretFinding> findings;

    // For the user, before anything is copied or printed, for example
    // "恢复消息中像是有密钥：第 18 行（github_token）。请先从备注中删掉密钥，不要把密钥交给 Agent。"
    std::string description() const;

    // For the agent, given in place of the message: a fixed text that says
    // the message is held back and names nothing of it.
    std::string heldBackDescription() const;

    bool operator==(const ResumeSecretError&) const = default;
};

}  // namespace kestrin
