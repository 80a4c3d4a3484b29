#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

// One secret found in a receipt text: the name of the rule that matched, the
// 1-based line on which the match starts, and the rule's guidance telling the
// agent how to rewrite the receipt.
struct SecretFinding {
    std::string rule;
    std::int64_t line = 0;
    std::string guidance;

    bool operator==(const SecretFinding&) const = default;
};

}  // namespace kestrin
