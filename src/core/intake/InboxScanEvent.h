#pragma once

#include <optional>
#include <string>
#include <utility>

#include "core/intake/ImportOutcome.h"

namespace kestrin {

// What one inbox pass did with one file. `filename` is the name the file had in
// the inbox, before any renaming. Compared by value.
struct InboxScanEvent {
    struct Result {
        enum class Kind {
            accepted,                    // imported and moved to processed
            acceptedButArchivingFailed,  // imported; still in the inbox
            rejected                     // refused or unreadable
        };

        Kind kind = Kind::rejected;
        // The import's outcome, for both accepted kinds.
        std::optional<ImportOutcome> outcome;
        // acceptedButArchivingFailed: the move error's description; rejected:
        // the reason shown to the user. Empty for accepted.
        std::string reason;

        static Result accepted(ImportOutcome outcome) {
            return {Kind::accepted, std::move(outcome), {}};
        }
        static Result acceptedButArchivingFailed(ImportOutcome outcome, std::string moveError) {
            return {Kind::acceptedButArchivingFailed, std::move(outcome), std::move(moveError)};
        }
        static Result rejected(std::string reason) {
            return {Kind::rejected, std::nullopt, std::move(reason)};
        }

        bool operator==(const Result&) const = default;
    };

    std::string filename;
    Result result;

    bool operator==(const InboxScanEvent&) const = default;
};

}  // namespace kestrin
