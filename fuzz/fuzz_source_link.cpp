// Feeds arbitrary bytes to SourceLinkResolver as locator and task identifier
// and checks that any link it forms is exactly "codex://threads/" + a
// lower-case canonical UUID taken from what the source held.
//
// Input: the first byte chooses the agent (low two bits) and whether the
// locator (bit 2) and the task identifier (bit 3) are present; the rest is the
// locator, then a NUL byte, then the task identifier (without a NUL byte all
// of it goes to whichever field comes first).

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/handback/SourceLinkResolver.h"
#include "core/support/TextTrimming.h"

using namespace kestrin;

namespace {

constexpr std::string_view kPrefix = "codex://threads/";

void require(bool condition) {
    if (!condition) std::abort();
}

bool isCanonicalLowerCaseUUID(std::string_view text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::string lowerCased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    ReceiptSource source;
    source.agent = allCases<AgentKind>()[control & 0x3].value;
    const bool hasLocator = (control & 0x4) != 0;
    const bool hasTaskId = (control & 0x8) != 0;
    const std::size_t split = rest.find('\0');
    const std::string_view first = rest.substr(0, split);
    const std::string_view second =
        split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);
    if (hasLocator) source.locator = std::string(first);
    if (hasTaskId) source.taskId = std::string(hasLocator ? second : first);

    const SourceLinkResolution resolution = SourceLinkResolver().resolve(source);
    require(resolution.url.has_value() != resolution.reason.has_value());

    if (source.agent != AgentKind::codex) {
        require(!resolution.url);
        return 0;
    }
    const bool locatorGiven = source.locator && !isBlank(*source.locator);
    if (!resolution.url) {
        // The "untrusted locator" reason exactly when a non-blank locator was given.
        require((resolution.reason->find("定位链接") != std::string::npos) == locatorGiven);
        return 0;
    }

    const std::string& url = *resolution.url;
    require(url.size() == kPrefix.size() + 36 && url.starts_with(kPrefix));
    require(isCanonicalLowerCaseUUID(std::string_view(url).substr(kPrefix.size())));
    // The link is either the locator itself up to letter case, or the prefix
    // and the task identifier up to letter case; nothing else can get in.
    const bool fromLocator = locatorGiven && lowerCased(trimmedText(*source.locator)) == url;
    const bool fromTaskId =
        source.taskId && std::string(kPrefix) + lowerCased(trimmedText(*source.taskId)) == url;
    require(fromLocator || fromTaskId);
    return 0;
}
