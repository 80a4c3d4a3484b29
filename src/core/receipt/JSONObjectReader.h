#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/ClosedEnum.h"
#include "core/receipt/DecodingError.h"
#include "core/support/Result.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// Reads the fields of one JSON object under the wire rules that every document
// the system reads shares (receipts, stored items, archives):
// - A field is found under any key that converts to its camel-case name
//   (fromSnakeCase), so "task_title" and "taskTitle" both fill `taskTitle`.
//   When several keys do, the one spelled as the wire key (toSnakeCase of the
//   name) wins; otherwise the first in byte order. Other keys are ignored.
// - Required reads fail on a missing key, a null or a wrong JSON type; optional
//   reads leave their target empty on a missing key or a null.
// - Integers must be JSON integers within signed 64 bits: 5.0 and 5e0 are
//   refused, as the wire format writes integers as plain decimal numbers.
// - Timestamps are texts in a form parseKestrinISO8601 accepts; enumerations
//   are texts equal to one of the raw values (case-sensitive).
// The first failure is kept and every later read does nothing, so a decoder
// reads its fields in order and asks for the outcome once, with finish().
// JSONObjectWriter has the same three operations (field, object, objects), so
// one list of a record's fields, written as a template over the two, serves
// both directions.
// Error paths use wire keys and zero-based list positions, such as
// items[0].steps[2].kind. A reader refers to its value and to its parent
// reader; it must not outlive them.
class JSONObjectReader {
public:
    // Reads `value`, which must be an object; otherwise the reader starts
    // failed with a type error at `path`. `path` prefixes every error path.
    explicit JSONObjectReader(const nlohmann::json& value, std::string path = {});
    JSONObjectReader(const JSONObjectReader&) = delete;
    JSONObjectReader& operator=(const JSONObjectReader&) = delete;

    // Each read fills `out` from the field named `name` (camel case); the type
    // of `out` says what the field must hold and whether it is required.
    void field(std::string_view name, std::string& out);
    void field(std::string_view name, std::optional<std::string>& out);
    void field(std::string_view name, std::int64_t& out);
    void field(std::string_view name, std::optional<std::int64_t>& out);
    void field(std::string_view name, bool& out);
    void field(std::string_view name, Timestamp& out);
    void field(std::string_view name, std::optional<Timestamp>& out);
    void field(std::string_view name, std::vector<std::string>& out);
    template <typename E>
    requires requires { EnumTraits<E>::cases; }
    void field(std::string_view name, E& out);

    // Reads a required nested object with fields(JSONObjectReader&, T&).
    template <typename T, typename Fields>
    void object(std::string_view name, T& out, Fields fields);
    // Reads a required list of objects, each with fields(JSONObjectReader&, T&).
    template <typename T, typename Fields>
    void objects(std::string_view name, std::vector<T>& out, Fields fields);

    bool failed() const { return error_->has_value(); }

    // `value` when every read succeeded, otherwise the first failure.
    template <typename T>
    Result<T, DecodingError> finish(T value) const {
        if (failed()) return fail(**error_);
        return value;
    }

private:
    static constexpr std::size_t noIndex = static_cast<std::size_t>(-1);

    // A nested object: the value of `field` in `parent`, at `index` if the
    // field is a list.
    JSONObjectReader(const nlohmann::json& value, const JSONObjectReader& parent,
                     std::string_view field, std::size_t index);

    void open(const nlohmann::json& value);
    // The value of a required field if it has JSON type `type`; otherwise
    // records the failure and returns nullptr.
    const nlohmann::json* require(std::string_view name, nlohmann::json::value_t type);
    // The value of an optional field if present, not null and of JSON type
    // `type`; nullptr if absent, or after recording a type failure.
    const nlohmann::json* findOptional(std::string_view name, nlohmann::json::value_t type);
    const nlohmann::json* find(std::string_view name) const;
    void failType(std::string_view name, nlohmann::json::value_t expected,
                  const nlohmann::json& value);
    void readInteger(std::string_view name, const nlohmann::json& value, std::int64_t& out);
    void readTimestamp(std::string_view name, const nlohmann::json& value, Timestamp& out);
    void failUnknownValue(std::string_view name, std::string_view allowed);

    // The path of this object, and of its field `name` (at `index` if a list).
    std::string path() const;
    std::string pathOf(std::string_view name, std::size_t index = noIndex) const;
    void recordFailure(DecodingError error);

    template <typename E>
    static std::string allowedValues() {
        std::string text;
        for (const auto& c : allCases<E>()) {
            if (!text.empty()) text += "、";
            text += c.rawValue;
        }
        return text;
    }

    const nlohmann::json::object_t* object_ = nullptr;
    const JSONObjectReader* parent_ = nullptr;
    std::string_view field_;
    std::size_t index_ = noIndex;
    std::string rootPath_;
    std::optional<DecodingError> rootError_;
    std::optional<DecodingError>* error_ = &rootError_;  // shared by a root and its nested readers
};

template <typename E>
requires requires {
    EnumTraits<E>::cases;
}
void JSONObjectReader::field(std::string_view name, E& out) {
    const auto* value = require(name, nlohmann::json::value_t::string);
    if (!value) return;
    if (const auto parsed = fromRawValue<E>(value->template get_ref<const std::string&>())) {
        out = *parsed;
    } else {
        failUnknownValue(name, allowedValues<E>());
    }
}

template <typename T, typename Fields>
void JSONObjectReader::object(std::string_view name, T& out, Fields fields) {
    const auto* value = require(name, nlohmann::json::value_t::object);
    if (!value) return;
    JSONObjectReader nested(*value, *this, name, noIndex);
    fields(nested, out);
}

template <typename T, typename Fields>
void JSONObjectReader::objects(std::string_view name, std::vector<T>& out, Fields fields) {
    const auto* list = require(name, nlohmann::json::value_t::array);
    if (!list) return;
    out.clear();
    out.reserve(list->size());
    for (std::size_t i = 0; i < list->size() && !failed(); ++i) {
        JSONObjectReader element((*list)[i], *this, name, i);
        if (element.failed()) return;
        fields(element, out.emplace_back());
    }
}

}  // namespace kestrin
