#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace kestrin {

// One case of a closed enumeration: its wire value, its Chinese display name
// and, where the enumeration has one, the symbol name of its icon.
template <typename E>
struct EnumCase {
    E value;
    std::string_view rawValue;
    std::string_view displayName;
    std::string_view systemImage{};
};

// Specialised by each closed enumeration with `static constexpr std::array
// cases` listing every case in declared order.
template <typename E>
struct EnumTraits;

template <typename E>
constexpr const auto& allCases() {
    return EnumTraits<E>::cases;
}

template <typename E>
constexpr const EnumCase<E>& enumCase(E value) {
    for (const auto& c : EnumTraits<E>::cases) {
        if (c.value == value) return c;
    }
    return EnumTraits<E>::cases.front();  // unreachable for valid enumerators
}

template <typename E>
constexpr std::string_view rawValue(E value) {
    return enumCase(value).rawValue;
}

template <typename E>
constexpr std::string_view displayName(E value) {
    return enumCase(value).displayName;
}

template <typename E>
constexpr std::string_view systemImage(E value) {
    return enumCase(value).systemImage;
}

// The case whose raw value equals `raw` exactly (case-sensitive), or nothing.
template <typename E>
constexpr std::optional<E> fromRawValue(std::string_view raw) {
    for (const auto& c : EnumTraits<E>::cases) {
        if (c.rawValue == raw) return c.value;
    }
    return std::nullopt;
}

}  // namespace kestrin
