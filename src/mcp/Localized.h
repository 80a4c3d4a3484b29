#pragma once

#include <string>
#include <variant>

namespace kestrin {

// The user-facing text of an error: its own description(). Every error type of
// the system has one, so a type without it does not compile here rather than
// falling back to a generic text.
template <typename Error>
std::string localized(const Error& error) {
    return error.description();
}

// The text of whichever error the variant holds.
template <typename... Errors>
std::string localized(const std::variant<Errors...>& error) {
    return std::visit([](const auto& held) { return localized(held); }, error);
}

}  // namespace kestrin
