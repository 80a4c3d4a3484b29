#include "core/JSONObjectWriter.h"

#include "core/KeySpelling.h"

namespace kestrin {

void JSONObjectWriter::write(std::string_view name, const std::string& value) {
    writeJSON(name, value);
}

void JSONObjectWriter::write(std::string_view name, const std::optional<std::string>& value) {
    if (value) writeJSON(name, *value);
}

void JSONObjectWriter::write(std::string_view name, std::int64_t value) {
    writeJSON(name, value);
}

void JSONObjectWriter::write(std::string_view name, const std::optional<std::int64_t>& value) {
    if (value) writeJSON(name, *value);
}

void JSONObjectWriter::write(std::string_view name, bool value) {
    writeJSON(name, value);
}

void JSONObjectWriter::write(std::string_view name, Timestamp value) {
    writeJSON(name, kestrinISO8601(value));
}

void JSONObjectWriter::write(std::string_view name, const std::optional<Timestamp>& value) {
    if (value) write(name, *value);
}

void JSONObjectWriter::write(std::string_view name, const std::vector<std::string>& values) {
    writeJSON(name, values);
}

void JSONObjectWriter::writeJSON(std::string_view name, nlohmann::json value) {
    object_[toSnakeCase(name)] = std::move(value);
}

}  // namespace kestrin
