// Feeds arbitrary bytes through everything that reads receipt text: the secret
// scan, which must always finish, the decoder and, for every receipt that
// decoded, the validator and an encode/decode round trip in both layouts, which
// must give an equal receipt.
//
// An input of the form "#repeat\n<head>\n<unit>\n<tail>" stands for head, then
// unit repeated, then tail, about 1 MiB in all: short seeds and their mutations
// so reach the lengths where a backtracking pattern runs out of stack or time.

#include <cstdint>
#include <cstdlib>
#include <string>
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

// The text an input stands for: itself, or its expansion as described above.
std::string expanded(std::string_view input) {
    constexpr std::string_view marker = "#repeat\n";
    constexpr std::size_t size = 1 << 20;
    if (!input.starts_with(marker)) return std::string(input);
    const std::string_view parts = input.substr(marker.size());
    const std::size_t headEnd = parts.find('\n');
    const std::size_t unitEnd =
        headEnd == std::string_view::npos ? headEnd : parts.find('\n', headEnd + 1);
    if (unitEnd == std::string_view::npos || unitEnd == headEnd + 1) return std::string(input);
    const std::string_view head = parts.substr(0, headEnd);
    const std::string_view unit = parts.substr(headEnd + 1, unitEnd - headEnd - 1);
    const std::string_view tail = parts.substr(unitEnd + 1);
    std::string text(head);
    while (text.size() + unit.size() + tail.size() <= size) text += unit;
    return text += tail;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const SecretScanner scanner;
    static const ReceiptValidator validator;
    const auto decoder = ReceiptJSON::makeDecoder();
    const std::string text = expanded(std::string_view(reinterpret_cast<const char*>(data), size));

    if (!scanner.scanReceiptText(text)) std::abort();
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
