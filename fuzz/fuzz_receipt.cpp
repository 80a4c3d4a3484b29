// Feeds arbitrary bytes through everything that reads receipt text: the secret
// scan, the decoder and, for every receipt that decoded, the validator and an
// encode/decode round trip in both layouts, which must give an equal receipt.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/receipt/ReceiptJSON.h"
#include "core/checks/ReceiptValidator.h"
#include "core/checks/SecretScanner.h"

using namespace kestrin;

namespace {

// Error texts reach agents inside JSON replies, so they must be valid UTF-8:
// a strict dump throws on anything else.
void requireUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
    } catch (const nlohmann::json::exception&) {
        std::abort();
    }
}

template <typename T, typename Decode>
void requireRoundTrip(const T& value, Decode decode) {
    for (bool pretty : {false, true}) {
        const auto again = decode(ReceiptJSON::makeEncoder(pretty).encode(value));
        if (!again || !(*again == value)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const SecretScanner scanner;
    static const ReceiptValidator validator;
    const auto decoder = ReceiptJSON::makeDecoder();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    (void)scanner.scanReceiptText(text);
    const auto receipt = decoder.decodeReceipt(text);
    if (!receipt) {
        requireUtf8(receipt.error().message());
        return 0;
    }
    for (const auto& issue : validator.validate(*receipt)) requireUtf8(issue.path + issue.message);

    requireRoundTrip(*receipt,
                     [&](const std::string& json) { return decoder.decodeReceipt(json); });
    for (const auto& item : receipt->items) {
        requireRoundTrip(item, [&](const std::string& json) { return decoder.decodeItem(json); });
    }
    return 0;
}
