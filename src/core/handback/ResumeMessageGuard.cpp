#include "core/handback/ResumeMessageGuard.h"

#include "core/checks/SecretScanner.h"

namespace kestrin {

std::optional<ResumeSecretError> ResumeMessageGuard::check(std::string_view message) const {
    auto findings = SecretScanner().scanReceiptText(message);
    // A scan that could not finish cannot vouch for the message.
    if (!findings) return ResumeSecretError{};
    if (findings->empty()) return std::nullopt;
    return ResumeSecretError{std::move(*findings)};
}

}  // namespace kestrin
