#include "core/handback/SourceLinkResolver.h"

#include <uriparser/Uri.h>
#include <uuid/uuid.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/support/TextTrimming.h"

namespace kestrin {

namespace {

constexpr std::string_view kThreadLinkPrefix = "codex://threads/";
constexpr std::size_t kCanonicalUUIDLength = 36;  // 8-4-4-4-12 hexadecimal digits

constexpr std::string_view kManualReturnHint = "恢复消息仍可复制；请手动在 Codex 中打开原任务。";

std::string onlyCodexReason() {
    return "当前仅支持自动返回 Codex；其他 Agent 请复制恢复消息后手动返回原任务。";
}

std::string untrustedLocatorReason() {
    return std::string("回执里的 Codex 定位链接不可信或格式不正确。").append(kManualReturnHint);
}

std::string missingThreadUUIDReason() {
    return std::string("回执没有提供真实的 Codex thread UUID。").append(kManualReturnHint);
}

// The thread link for `text` when it is a UUID in the canonical 36-character
// form (either letter case); the 32-digit and braced forms are refused.
std::optional<std::string> threadLinkForUUID(std::string_view text) {
    if (text.size() != kCanonicalUUIDLength) return std::nullopt;
    // uuid_parse reads a C string; an embedded NUL makes it shorter and fail.
    const std::string candidate(text);
    uuid_t uuid;
    if (uuid_parse(candidate.c_str(), uuid) != 0) return std::nullopt;
    char canonical[kCanonicalUUIDLength + 1];
    uuid_unparse_lower(uuid, canonical);
    return std::string(kThreadLinkPrefix).append(canonical, kCanonicalUUIDLength);
}

std::string_view textOf(const UriTextRangeA& range) {
    if (range.first == nullptr) return {};
    return {range.first, static_cast<std::size_t>(range.afterLast - range.first)};
}

bool isPresent(const UriTextRangeA& range) {
    return range.first != nullptr;
}

bool equalsIgnoringASCIICase(std::string_view text, std::string_view lowerCaseExpected) {
    if (text.size() != lowerCaseExpected.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerCaseExpected[i]) return false;
    }
    return true;
}

class ParsedURI {
  public:
    explicit ParsedURI(std::string_view text) {
        const char* errorPosition = nullptr;
        parsed_ = uriParseSingleUriExA(&uri_, text.data(), text.data() + text.size(),
                                       &errorPosition) == URI_SUCCESS;
    }
    ~ParsedURI() {
        if (parsed_) uriFreeUriMembersA(&uri_);
    }
    ParsedURI(const ParsedURI&) = delete;
    ParsedURI& operator=(const ParsedURI&) = delete;

    bool parsed() const { return parsed_; }
    const UriUriA& uri() const { return uri_; }

  private:
    UriUriA uri_{};
    bool parsed_ = false;
};

// The link for a locator that is exactly codex://threads/<UUID> under an
// RFC 3986 parse. Components are compared as written, before any percent
// decoding, so an escaped character anywhere (%2F in the path, an escaped
// letter of the host or UUID) fails the check. An empty user info, port,
// query or fragment (a bare "@", ":", "?" or "#") counts as present.
std::optional<std::string> trustedCodexThreadURL(std::string_view locator) {
    const ParsedURI parsed(locator);
    if (!parsed.parsed()) return std::nullopt;
    const UriUriA& uri = parsed.uri();

    if (!equalsIgnoringASCIICase(textOf(uri.scheme), "codex")) return std::nullopt;
    // IP literals are refused outright rather than through their host text.
    if (uri.hostData.ip4 != nullptr || uri.hostData.ip6 != nullptr ||
        isPresent(uri.hostData.ipFuture) ||
        !equalsIgnoringASCIICase(textOf(uri.hostText), "threads")) {
        return std::nullopt;
    }
    if (isPresent(uri.userInfo) || isPresent(uri.portText) || isPresent(uri.query) ||
        isPresent(uri.fragment)) {
        return std::nullopt;
    }
    // With a host the path is empty or starts with "/"; one segment means the
    // path is "/" and one piece without further slashes.
    if (uri.pathHead == nullptr || uri.pathHead != uri.pathTail) return std::nullopt;
    return threadLinkForUUID(textOf(uri.pathHead->text));
}

}  // namespace

SourceLinkResolution SourceLinkResolver::resolve(const ReceiptSource& source) const {
    if (source.agent != AgentKind::codex) return {.url = std::nullopt, .reason = onlyCodexReason()};

    const bool hasLocator = source.locator && !isBlank(*source.locator);
    if (hasLocator) {
        if (auto link = trustedCodexThreadURL(trimmedText(*source.locator))) {
            return {.url = std::move(link), .reason = std::nullopt};
        }
    }
    if (source.taskId) {
        if (auto link = threadLinkForUUID(trimmedText(*source.taskId))) {
            return {.url = std::move(link), .reason = std::nullopt};
        }
    }
    return {.url = std::nullopt,
            .reason = hasLocator ? untrustedLocatorReason() : missingThreadUUIDReason()};
}

}  // namespace kestrin
