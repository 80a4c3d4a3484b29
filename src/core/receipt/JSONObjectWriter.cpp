#include "core/receipt/JSONObjectWriter.h"

#include "core/receipt/KeySpelling.h"

namespace kestrin {

void JSONObjectWriter::field(std::string_view name, const std::string& value) {
    put(name, value);
}

void JSONObjectWriter::field(std::string_view name, const std::optional<std::string>& value) {
    if (value) put(name, *value);
}

void JSONObjectWriter::field(std::string_view name, std::int64_t value) {
    put(name, value);
}

void JSONObjectWriter::field(std::string_view name, const std::optional<std::int64_t>& value) {
    if (value) put(name, *value);
}

void JSONObjectWriter::field(std::string_view name, bool value) {
    put(name, value);
}

void JSONObjectWriter::field(std::string_view name, Timestamp value) {
    put(name, kestrinISO8601(value));
}

void JSONObjectWriter::field(std::string_view name, const std::optional<Timestamp>& value) {
    if (value) field(name, *value);
}

void JSONObjectWriter::field(std::string_view name, const std::vector<std::string>& values) {
    put(name, values);
}

void JSONObjectWriter::put(std::string_view name, nlohmann::json value) {
    object_[toSnakeCase(name)] = std::move(value);
}

}  // namespace kestrin
