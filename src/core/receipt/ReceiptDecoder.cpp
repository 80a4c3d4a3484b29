#include "core/receipt/ReceiptDecoder.h"

#include <nlohmann/json.hpp>

#include "core/receipt/JSONObjectReader.h"
#include "core/receipt/ParseJSON.h"
#include "core/receipt/ReceiptFields.h"

namespace kestrin {

namespace {

template <typename T, typename Fields>
Result<T, DecodingError> decodeValue(const nlohmann::json& value, const std::string& path,
                                     Fields fields) {
    JSONObjectReader reader(value, path);
    T record;
    fields(reader, record);
    return reader.finish(std::move(record));
}

template <typename T, typename Fields>
Result<T, DecodingError> decodeText(std::string_view text, Fields fields) {
    auto parsed = parseJSON(text);
    if (!parsed) return fail(parsed.error());
    return decodeValue<T>(*parsed, {}, fields);
}

void receiptFields(JSONObjectReader& reader, InterventionReceipt& receipt) {
    receiptfields::receipt(reader, receipt);
}

void itemFields(JSONObjectReader& reader, InterventionItem& item) {
    receiptfields::item(reader, item);
}

}  // namespace

Result<InterventionReceipt, DecodingError> ReceiptDecoder::decodeReceipt(
    std::string_view json) const {
    return decodeText<InterventionReceipt>(json, receiptFields);
}

Result<InterventionItem, DecodingError> ReceiptDecoder::decodeItem(std::string_view json) const {
    return decodeText<InterventionItem>(json, itemFields);
}

Result<InterventionReceipt, DecodingError> ReceiptDecoder::receiptFromJSON(
    const nlohmann::json& value, const std::string& path) const {
    return decodeValue<InterventionReceipt>(value, path, receiptFields);
}

Result<InterventionItem, DecodingError> ReceiptDecoder::itemFromJSON(
    const nlohmann::json& value, const std::string& path) const {
    return decodeValue<InterventionItem>(value, path, itemFields);
}

}  // namespace kestrin
