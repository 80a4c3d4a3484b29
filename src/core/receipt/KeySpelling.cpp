#include "core/receipt/KeySpelling.h"

namespace kestrin {

namespace {

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
char toLower(char c) {
    return isUpper(c) ? char(c - 'A' + 'a') : c;
}
char toUpper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Calls emit(c) for each character of fromSnakeCase(key), stopping early when
// emit returns false; returns false in that case.
template <typename Emit>
bool convertFromSnakeCase(std::string_view key, Emit emit) {
    const auto first = key.find_first_not_of('_');
    if (first == std::string_view::npos) {
        for (char c : key) {
            if (!emit(c)) return false;
        }
        return true;
    }
    const auto last = key.find_last_not_of('_');
    for (std::size_t i = 0; i < first; ++i) {
        if (!emit('_')) return false;
    }
    bool upperNext = false;
    for (std::size_t i = first; i <= last; ++i) {
        if (key[i] == '_') {
            upperNext = true;
            continue;
        }
        if (!emit(upperNext ? toUpper(key[i]) : key[i])) return false;
        upperNext = false;
    }
    for (std::size_t i = last + 1; i < key.size(); ++i) {
        if (!emit('_')) return false;
    }
    return true;
}

// Calls emit(c) for each character of toSnakeCase(name), as above.
template <typename Emit>
bool convertToSnakeCase(std::string_view name, Emit emit) {
    for (char c : name) {
        if (isUpper(c) && !emit('_')) return false;
        if (!emit(toLower(c))) return false;
    }
    return true;
}

// Whether the characters emitted by `convert` spell exactly `expected`.
template <typename Convert>
bool spells(Convert convert, std::string_view expected) {
    std::size_t pos = 0;
    const bool complete = convert([&](char c) {
        if (pos >= expected.size() || expected[pos] != c) return false;
        ++pos;
        return true;
    });
    return complete && pos == expected.size();
}

}  // namespace

std::string toSnakeCase(std::string_view fieldName) {
    std::string out;
    out.reserve(fieldName.size() + 4);
    convertToSnakeCase(fieldName, [&](char c) {
        out += c;
        return true;
    });
    return out;
}

std::string fromSnakeCase(std::string_view wireKey) {
    std::string out;
    out.reserve(wireKey.size());
    convertFromSnakeCase(wireKey, [&](char c) {
        out += c;
        return true;
    });
    return out;
}

bool convertsToField(std::string_view wireKey, std::string_view fieldName) {
    return spells([&](auto emit) { return convertFromSnakeCase(wireKey, emit); }, fieldName);
}

bool isWireKeyOf(std::string_view wireKey, std::string_view fieldName) {
    return spells([&](auto emit) { return convertToSnakeCase(fieldName, emit); }, wireKey);
}

}  // namespace kestrin
