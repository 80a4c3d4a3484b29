#include "core/receipt/ReceiptEncoder.h"

#include "core/receipt/JSONObjectWriter.h"
#include "core/receipt/ReceiptFields.h"

namespace kestrin {

std::string ReceiptEncoder::encode(const InterventionReceipt& receipt) const {
    return dump(toJSON(receipt));
}

std::string ReceiptEncoder::encode(const InterventionItem& item) const {
    return dump(toJSON(item));
}

nlohmann::json ReceiptEncoder::toJSON(const InterventionReceipt& receipt) const {
    JSONObjectWriter writer;
    receiptfields::receipt(writer, receipt);
    return writer.take();
}

nlohmann::json ReceiptEncoder::toJSON(const InterventionItem& item) const {
    JSONObjectWriter writer;
    receiptfields::item(writer, item);
    return writer.take();
}

std::string ReceiptEncoder::dump(const nlohmann::json& value) const {
    // nlohmann never escapes "/" and, without ensure_ascii, writes non-ASCII
    // as UTF-8. Text that is not UTF-8 can only come from a record built in
    // memory (decoded text always is); it is written with U+FFFD in place of
    // the bad bytes rather than failing.
    return value.dump(pretty_ ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace kestrin
