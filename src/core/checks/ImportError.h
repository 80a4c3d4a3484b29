#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/checks/SecretFinding.h"
#include "core/checks/ValidationIssue.h"

namespace kestrin {

// Why the importer refused a receipt. Only the payload of `kind` is set:
// `findings` for secret, `message` (the decoder's description) for malformed,
// `issues` (error severity only) for invalid, `receiptID` and `version` for
// versionConflict, nothing for notUTF8.
struct ImportError {
    enum class Kind { secret, malformed, invalid, versionConflict, notUTF8 };

    Kind kind = Kind::notUTF8;
    std::vector<SecretFinding> findings;
    std::string message;
    std::vector<ValidationIssue> issues;
    std::string receiptID;
    std::int64_t version = 0;

    static ImportError secret(std::vector<SecretFinding> findings);
    static ImportError malformed(std::string message);
    static ImportError invalid(std::vector<ValidationIssue> issues);
    static ImportError versionConflict(std::string receiptID, std::int64_t version);
    static ImportError notUTF8();

    // The fixed Chinese text shown wherever an import failure is reported. The
    // secret text names only lines and rules, never the matched text.
    std::string description() const;

    bool operator==(const ImportError&) const = default;
};

}  // namespace kestrin
