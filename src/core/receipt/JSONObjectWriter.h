#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/support/ClosedEnum.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// Builds one JSON object under the wire rules that every document the system
// writes shares: each field under its snake-case wire key (toSnakeCase of the
// camel-case name), an absent optional field left out (never null), timestamps
// in the written form (kestrinISO8601), enumerations as their raw values.
// Keys come out sorted in byte order when the value is serialised, as
// nlohmann::json keeps object members in a sorted map. Has the operations of
// JSONObjectReader, so one field list serves both.
class JSONObjectWriter {
public:
    void field(std::string_view name, const std::string& value);
    void field(std::string_view name, const std::optional<std::string>& value);
    void field(std::string_view name, std::int64_t value);
    void field(std::string_view name, const std::optional<std::int64_t>& value);
    void field(std::string_view name, bool value);
    void field(std::string_view name, Timestamp value);
    void field(std::string_view name, const std::optional<Timestamp>& value);
    void field(std::string_view name, const std::vector<std::string>& values);
    template <typename E>
    requires requires { EnumTraits<E>::cases; }
    void field(std::string_view name, E value) { put(name, std::string(rawValue(value))); }
    // A literal would otherwise convert to bool.
    void field(std::string_view name, const char* value) = delete;

    // Writes a nested object built by fields(JSONObjectWriter&, const T&).
    template <typename T, typename Fields>
    void object(std::string_view name, const T& value, Fields fields) {
        JSONObjectWriter nested;
        fields(nested, value);
        put(name, nested.take());
    }
    // Writes a list of objects, each built by fields(JSONObjectWriter&, const T&).
    template <typename T, typename Fields>
    void objects(std::string_view name, const std::vector<T>& values, Fields fields) {
        auto list = nlohmann::json::array();
        list.get_ref<nlohmann::json::array_t&>().reserve(values.size());
        for (const auto& value : values) {
            JSONObjectWriter element;
            fields(element, value);
            list.push_back(element.take());
        }
        put(name, std::move(list));
    }

    // The object built so far; the writer is left empty.
    nlohmann::json take() { return std::exchange(object_, nlohmann::json::object()); }

private:
    void put(std::string_view name, nlohmann::json value);

    nlohmann::json object_ = nlohmann::json::object();
};

}  // namespace kestrin
