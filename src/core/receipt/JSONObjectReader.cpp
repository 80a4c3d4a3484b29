#include "core/receipt/JSONObjectReader.h"

#include <cmath>
#include <limits>

#include "core/receipt/KeySpelling.h"

namespace kestrin {

namespace {

using json = nlohmann::json;

std::string_view typeName(json::value_t type) {
    switch (type) {
        case json::value_t::object:
            return "对象";
        case json::value_t::array:
            return "数组";
        case json::value_t::string:
            return "文本";
        case json::value_t::boolean:
            return "布尔值";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
            return "整数";
        case json::value_t::number_float:
            return "小数";
        case json::value_t::null:
            return "null";
        case json::value_t::binary:
        case json::value_t::discarded:
            break;
    }
    return "其他值";
}

bool hasType(const json& value, json::value_t type) {
    if (type == json::value_t::number_integer) return value.is_number_integer();
    return value.type() == type;
}

}  // namespace

JSONObjectReader::JSONObjectReader(const json& value, std::string path)
    : rootPath_(std::move(path)) {
    open(value);
}

JSONObjectReader::JSONObjectReader(const json& value, const JSONObjectReader& parent,
                                   std::string_view field, std::size_t index)
    : parent_(&parent), field_(field), index_(index), error_(parent.error_) {
    open(value);
}

void JSONObjectReader::open(const json& value) {
    if (value.is_object()) {
        object_ = value.get_ptr<const json::object_t*>();
    } else {
        recordFailure(DecodingError::typeMismatch(path(), typeName(json::value_t::object),
                                                  typeName(value.type())));
    }
}

void JSONObjectReader::field(std::string_view name, std::string& out) {
    if (const auto* value = require(name, json::value_t::string))
        out = value->get_ref<const std::string&>();
}

void JSONObjectReader::field(std::string_view name, std::optional<std::string>& out) {
    if (const auto* value = findOptional(name, json::value_t::string)) {
        out = value->get_ref<const std::string&>();
    }
}

void JSONObjectReader::field(std::string_view name, std::int64_t& out) {
    if (const auto* value = require(name, json::value_t::number_integer))
        readInteger(name, *value, out);
}

void JSONObjectReader::field(std::string_view name, std::optional<std::int64_t>& out) {
    if (const auto* value = findOptional(name, json::value_t::number_integer)) {
        readInteger(name, *value, out.emplace());
    }
}

void JSONObjectReader::field(std::string_view name, bool& out) {
    if (const auto* value = require(name, json::value_t::boolean)) out = value->get<bool>();
}

void JSONObjectReader::field(std::string_view name, Timestamp& out) {
    if (const auto* value = require(name, json::value_t::string)) readTimestamp(name, *value, out);
}

void JSONObjectReader::field(std::string_view name, std::optional<Timestamp>& out) {
    if (const auto* value = findOptional(name, json::value_t::string)) {
        readTimestamp(name, *value, out.emplace());
    }
}

void JSONObjectReader::field(std::string_view name, std::vector<std::string>& out) {
    const auto* list = require(name, json::value_t::array);
    if (!list) return;
    out.clear();
    out.reserve(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
        const json& element = (*list)[i];
        if (!element.is_string()) {
            recordFailure(DecodingError::typeMismatch(
                pathOf(name, i), typeName(json::value_t::string), typeName(element.type())));
            return;
        }
        out.push_back(element.get_ref<const std::string&>());
    }
}

const json* JSONObjectReader::require(std::string_view name, json::value_t type) {
    if (failed()) return nullptr;
    const json* value = find(name);
    if (!value) {
        recordFailure(DecodingError::missingKey(pathOf(name)));
    } else if (value->is_null()) {
        recordFailure(DecodingError::nullValue(pathOf(name)));
    } else if (!hasType(*value, type)) {
        failType(name, type, *value);
    } else {
        return value;
    }
    return nullptr;
}

const json* JSONObjectReader::findOptional(std::string_view name, json::value_t type) {
    if (failed()) return nullptr;
    const json* value = find(name);
    if (!value || value->is_null()) return nullptr;
    if (!hasType(*value, type)) {
        failType(name, type, *value);
        return nullptr;
    }
    return value;
}

void JSONObjectReader::failType(std::string_view name, json::value_t type, const json& value) {
    // nlohmann reads an integer beyond 64 bits as a floating-point number;
    // say what is wrong with it rather than call it a fraction.
    if (type == json::value_t::number_integer && value.is_number_float()) {
        const double number = value.get<double>();
        if (std::trunc(number) == number && std::fabs(number) >= 0x1p63) {
            recordFailure(DecodingError::integerOutOfRange(pathOf(name)));
            return;
        }
    }
    recordFailure(
        DecodingError::typeMismatch(pathOf(name), typeName(type), typeName(value.type())));
}

const json* JSONObjectReader::find(std::string_view name) const {
    const json* converted = nullptr;
    for (const auto& [key, value] : *object_) {
        if (isWireKeyOf(key, name)) return &value;
        if (!converted && convertsToField(key, name)) converted = &value;
    }
    return converted;
}

void JSONObjectReader::readInteger(std::string_view name, const json& value, std::int64_t& out) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<json::number_unsigned_t>();
        if (number >
            static_cast<json::number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) {
            recordFailure(DecodingError::integerOutOfRange(pathOf(name)));
            return;
        }
        out = static_cast<std::int64_t>(number);
    } else {
        out = value.get<json::number_integer_t>();
    }
}

void JSONObjectReader::readTimestamp(std::string_view name, const json& value, Timestamp& out) {
    if (const auto instant = parseKestrinISO8601(value.get_ref<const std::string&>())) {
        out = *instant;
    } else {
        recordFailure(DecodingError::invalidDate(pathOf(name)));
    }
}

void JSONObjectReader::failUnknownValue(std::string_view name, std::string_view allowed) {
    recordFailure(DecodingError::unknownValue(pathOf(name), allowed));
}

std::string JSONObjectReader::path() const {
    return parent_ ? parent_->pathOf(field_, index_) : rootPath_;
}

std::string JSONObjectReader::pathOf(std::string_view name, std::size_t index) const {
    std::string text = path();
    if (!text.empty()) text += '.';
    text += toSnakeCase(name);
    if (index != noIndex) text += '[' + std::to_string(index) + ']';
    return text;
}

void JSONObjectReader::recordFailure(DecodingError error) {
    if (!failed()) *error_ = std::move(error);
}

}  // namespace kestrin
