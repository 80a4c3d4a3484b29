#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace kestrin {

// One value bound to an SQL statement parameter: text (copied by SQLite at
// bind time), a 64-bit integer, or NULL. Booleans are stored as integer 1 or
// 0, timestamps as their written text.
class SQLValue {
public:
    static SQLValue text(std::string value) { return SQLValue{std::move(value)}; }
    static SQLValue integer(std::int64_t value) { return SQLValue{value}; }
    static SQLValue null() { return SQLValue{nullptr}; }

    bool isText() const { return std::holds_alternative<std::string>(value_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(value_); }
    bool isNull() const { return std::holds_alternative<std::nullptr_t>(value_); }
    // Only on the matching case.
    const std::string& textValue() const { return std::get<std::string>(value_); }
    std::int64_t integerValue() const { return std::get<std::int64_t>(value_); }

    bool operator==(const SQLValue&) const = default;

private:
    using Storage = std::variant<std::string, std::int64_t, std::nullptr_t>;
    explicit SQLValue(Storage value) : value_(std::move(value)) {}
    Storage value_;
};

}  // namespace kestrin
