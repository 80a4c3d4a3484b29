#include "core/checks/SecretScanner.h"

#include <unicode/regex.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace kestrin {

namespace {

// True when `text` at `pos` may begin with `word` (lower-case ASCII letters)
// under ICU's case-insensitive matching. ASCII letters compare without regard to
// case; a non-ASCII byte, or the end of the text, answers "may", since full case
// folding lets characters such as U+017F or U+00DF stand for ASCII letters.
bool mayBeginWithFolded(std::string_view text, std::size_t pos, std::string_view word) {
    for (std::size_t i = 0; i < word.size() && pos + i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[pos + i]);
        if (c >= 0x80) return true;
        if ((c | 0x20) != word[i]) return false;
    }
    return true;
}

bool beginsWith(std::string_view text, std::size_t pos, std::string_view prefix) {
    return text.substr(pos).starts_with(prefix);
}

// One secret rule. `firstBytes` are the only bytes a match can start with, and
// `mayStartAt` a cheap test of the bytes from there on that every match passes;
// the compiled pattern is tried only where both allow it.
//
// Under case-insensitive matching, a match of "Bearer" starts with B or b, and
// the character after the opening quote of a credential key is an ASCII a, c,
// p or t: the only other characters whose case folding starts with one of these
// letters, U+1E97 and U+1E9A, fold to it followed by a mark no key continues with.
struct Rule {
    std::string_view name;
    std::string_view pattern;  // ICU regular expression, exactly as stored
    std::string_view guidance;
    std::string_view firstBytes;
    bool (*mayStartAt)(std::string_view text, std::size_t pos);
};

constexpr std::array<Rule, 6> kRules{{
    {"private_key", R"re(-----BEGIN (?:RSA |EC |OPENSSH )?PRIVATE KEY-----)re",
     "删除私钥正文，只保留“请在系统原生位置输入”的说明。", "-",
     [](std::string_view text, std::size_t pos) { return beginsWith(text, pos, "-----BEGIN "); }},
    {"bearer_token", R"re((?i)Bearer\s+[A-Za-z0-9._~+/=-]{16,})re",
     "删除 Bearer Token，只描述获取或输入位置。", "Bb",
     [](std::string_view text, std::size_t pos) {
         return mayBeginWithFolded(text, pos, "bearer");
     }},
    {"github_token", R"re(\bgh[opsu]_[A-Za-z0-9]{20,}\b)re",
     "删除 GitHub Token，只保留权限范围提示。", "g",
     [](std::string_view text, std::size_t pos) {
         return beginsWith(text, pos, "gh") && pos + 3 < text.size() &&
                std::string_view("opsu").find(text[pos + 2]) != std::string_view::npos &&
                text[pos + 3] == '_';
     }},
    {"openai_key", R"re(\bsk-[A-Za-z0-9_-]{20,}\b)re",
     "删除 API Key，只说明应从环境变量或钥匙串读取。", "s",
     [](std::string_view text, std::size_t pos) { return beginsWith(text, pos, "sk-"); }},
    {"aws_key", R"re(\bAKIA[0-9A-Z]{16}\b)re", "删除 AWS Access Key，只保留凭据配置位置。", "A",
     [](std::string_view text, std::size_t pos) { return beginsWith(text, pos, "AKIA"); }},
    {"credential_field",
     R"re((?i)\"(?:password|passwd|token|api[_-]?key|client[_-]?secret|private[_-]?key)\"\s*:\s*\"[^\"]{4,}\")re",
     "敏感字段不得包含实际值；改为空值或删除该字段。", "\"",
     [](std::string_view text, std::size_t pos) {
         if (pos + 1 < text.size() && static_cast<unsigned char>(text[pos + 1]) >= 0x80) {
             return false;
         }
         constexpr std::array<std::string_view, 5> keyStarts{"pas", "tok", "api", "cli", "pri"};
         for (const std::string_view key : keyStarts) {
             if (mayBeginWithFolded(text, pos + 1, key)) return true;
         }
         return false;
     }},
}};

// For each byte, 1 + the index of the rule whose matches may start with it, 0
// for none.
constexpr std::array<std::uint8_t, 256> kRuleStartingWith = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t i = 0; i < kRules.size(); ++i) {
        for (const char c : kRules[i].firstBytes) {
            table[static_cast<unsigned char>(c)] = static_cast<std::uint8_t>(i + 1);
        }
    }
    return table;
}();

// The table holds one rule per byte, so no two rules may share a first byte.
static_assert([] {
    std::size_t total = 0;
    for (const Rule& rule : kRules) total += rule.firstBytes.size();
    std::size_t used = 0;
    for (const std::uint8_t entry : kRuleStartingWith) used += entry != 0;
    return total == used && kRuleStartingWith['\n'] == 0;
}());

// ICU's UTF-8 text wrapper indexes with 32-bit offsets, so longer texts are
// scanned in pieces of at most this many bytes, each cut just after a line
// feed where the piece has one. Only a match that spans such a cut is lost.
constexpr std::size_t kMaxPieceBytes = INT32_MAX;

// Appends `codePoint`, a Unicode scalar value, to `out` as UTF-8.
void appendUtf8(std::string& out, UChar32 codePoint) {
    char buffer[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, codePoint);
    out.append(buffer, static_cast<std::size_t>(length));
}

// Reads four hexadecimal digits at `text[pos]`; -1 when there are not four.
std::int32_t readHex4(std::string_view text, std::size_t pos) {
    if (pos + 4 > text.size()) return -1;
    std::int32_t value = 0;
    for (std::size_t i = pos; i < pos + 4; ++i) {
        const char c = text[i];
        value <<= 4;
        if (c >= '0' && c <= '9') {
            value |= c - '0';
        } else if (c >= 'a' && c <= 'f') {
            value |= c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            value |= c - 'A' + 10;
        } else {
            return -1;
        }
    }
    return value;
}

// The text with its JSON string escapes resolved and every line feed of
// `raw` kept, and no other line feed added: an escaped line break (\n, \r,
// \u000a, \u000d) becomes a space, which keeps words on either side apart as
// the line break did. An unpaired surrogate becomes U+FFFD; a backslash that
// starts no valid escape is kept as it is. Escapes are resolved wherever they
// appear: in well-formed JSON a backslash occurs only inside strings.
std::string resolveJsonEscapes(std::string_view raw) {
    std::string view;
    view.reserve(raw.size());
    std::size_t pos = 0;
    while (pos < raw.size()) {
        const char* backslash =
            static_cast<const char*>(std::memchr(raw.data() + pos, '\\', raw.size() - pos));
        if (backslash == nullptr) {
            view.append(raw.substr(pos));
            break;
        }
        const std::size_t at = static_cast<std::size_t>(backslash - raw.data());
        view.append(raw.substr(pos, at - pos));
        pos = at + 1;
        if (pos == raw.size()) {
            view.push_back('\\');
            break;
        }
        switch (const char c = raw[pos]) {
            case '"':
            case '\\':
            case '/':
                view.push_back(c);
                ++pos;
                break;
            case 'b':
                view.push_back('\b');
                ++pos;
                break;
            case 'f':
                view.push_back('\f');
                ++pos;
                break;
            case 't':
                view.push_back('\t');
                ++pos;
                break;
            case 'n':
            case 'r':
                view.push_back(' ');
                ++pos;
                break;
            case 'u': {
                std::int32_t unit = readHex4(raw, pos + 1);
                if (unit < 0) {
                    view.push_back('\\');  // not an escape; 'u' is copied next
                    break;
                }
                pos += 5;
                UChar32 codePoint = unit;
                if (U16_IS_SURROGATE(unit)) {
                    codePoint = 0xFFFD;
                    const bool lowFollows = U16_IS_LEAD(unit) && pos + 1 < raw.size() &&
                                            raw[pos] == '\\' && raw[pos + 1] == 'u';
                    const std::int32_t trail = lowFollows ? readHex4(raw, pos + 2) : -1;
                    if (trail >= 0 && U16_IS_TRAIL(trail)) {
                        codePoint = U16_GET_SUPPLEMENTARY(unit, trail);
                        pos += 6;
                    }
                }
                if (codePoint == '\n' || codePoint == '\r') codePoint = ' ';
                appendUtf8(view, codePoint);
                break;
            }
            default:
                view.push_back('\\');
                break;  // the next character is copied as it is
        }
    }
    return view;
}

}  // namespace

struct SecretScanner::CompiledRules {
    // One compiled pattern per rule of kRules, null where compiling failed (that
    // rule is then skipped). RegexPattern is immutable and safe to share between
    // threads; each scan makes its own matchers.
    std::array<std::unique_ptr<icu::RegexPattern>, kRules.size()> patterns;

    CompiledRules() {
        for (std::size_t i = 0; i < kRules.size(); ++i) {
            UErrorCode status = U_ZERO_ERROR;
            UParseError parseError;
            const auto pattern = icu::UnicodeString::fromUTF8(
                icu::StringPiece(kRules[i].pattern.data(), int32_t(kRules[i].pattern.size())));
            std::unique_ptr<icu::RegexPattern> compiled(
                icu::RegexPattern::compile(pattern, 0, parseError, status));
            if (U_SUCCESS(status)) patterns[i] = std::move(compiled);
        }
    }
};

namespace {

using Matchers = std::array<std::unique_ptr<icu::RegexMatcher>, kRules.size()>;

Matchers makeMatchers(
    const std::array<std::unique_ptr<icu::RegexPattern>, kRules.size()>& patterns) {
    Matchers matchers;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (!patterns[i]) continue;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(patterns[i]->matcher(status));
        if (U_SUCCESS(status)) matchers[i] = std::move(matcher);
    }
    return matchers;
}

struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};

// Appends a finding for every match of every rule in `piece`, whose first line
// is line `firstLine` of the whole text. One pass over the bytes counts line
// feeds and tries each rule only where a match may start; the results are those
// of searching the whole piece with each pattern, match after non-overlapping
// match.
void scanPiece(std::string_view piece, std::int64_t firstLine, Matchers& matchers,
               std::vector<SecretFinding>& findings) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> text(
        utext_openUTF8(nullptr, piece.data(), static_cast<std::int64_t>(piece.size()), &status));
    if (U_FAILURE(status)) return;
    for (auto& matcher : matchers) {
        if (!matcher) continue;
        matcher->reset(text.get());
        // Lets word boundaries see the character before the start of a try.
        matcher->useTransparentBounds(true);
    }
    const auto size = static_cast<std::int64_t>(piece.size());
    std::array<std::int64_t, kRules.size()> nextStart{};  // each rule's end of last match
    std::int64_t line = firstLine;
    for (std::int64_t pos = 0; pos < size; ++pos) {
        const auto byte = static_cast<unsigned char>(piece[pos]);
        if (byte == '\n') {
            ++line;
            continue;
        }
        if (kRuleStartingWith[byte] == 0) continue;
        const std::size_t rule = kRuleStartingWith[byte] - 1u;
        icu::RegexMatcher* matcher = matchers[rule].get();
        if (matcher == nullptr || pos < nextStart[rule] ||
            !kRules[rule].mayStartAt(piece, static_cast<std::size_t>(pos))) {
            continue;
        }
        // A byte below 0x80 always starts a character, and native indexes of a
        // UTF-8 text are byte offsets.
        status = U_ZERO_ERROR;
        matcher->region(pos, size, status);
        if (U_FAILURE(status) || !matcher->lookingAt(status) || U_FAILURE(status)) continue;
        nextStart[rule] = matcher->end64(status);
        findings.push_back(
            {std::string(kRules[rule].name), line, std::string(kRules[rule].guidance)});
    }
}

// Line feeds count lines; a CR before a LF adds nothing, and a lone CR is no
// line break (old Mac line ends do not occur in receipts, which are JSON).
void scanText(std::string_view text, Matchers& matchers, std::vector<SecretFinding>& findings) {
    std::int64_t firstLine = 1;
    while (!text.empty()) {
        std::size_t length = std::min(text.size(), kMaxPieceBytes);
        if (length < text.size()) {
            const std::size_t lastLineFeed = text.substr(0, length).rfind('\n');
            if (lastLineFeed != std::string_view::npos) length = lastLineFeed + 1;
        }
        const std::string_view piece = text.substr(0, length);
        scanPiece(piece, firstLine, matchers, findings);
        firstLine += std::count(piece.begin(), piece.end(), '\n');
        text.remove_prefix(length);
    }
}

void sortFindings(std::vector<SecretFinding>& findings) {
    std::stable_sort(findings.begin(), findings.end(),
                     [](const SecretFinding& a, const SecretFinding& b) {
                         return a.line != b.line ? a.line < b.line : a.rule < b.rule;
                     });
}

}  // namespace

SecretScanner::SecretScanner() {
    // Compiled on first use and kept for the life of the process.
    static const auto shared = std::make_shared<const CompiledRules>();
    rules_ = shared;
}

std::vector<SecretFinding> SecretScanner::scan(std::string_view text) const {
    Matchers matchers = makeMatchers(rules_->patterns);
    std::vector<SecretFinding> findings;
    scanText(text, matchers, findings);
    sortFindings(findings);
    return findings;
}

std::vector<SecretFinding> SecretScanner::scanReceiptText(std::string_view rawText) const {
    Matchers matchers = makeMatchers(rules_->patterns);
    std::vector<SecretFinding> findings;
    scanText(rawText, matchers, findings);
    sortFindings(findings);
    // Without a backslash the resolved view is the raw text itself.
    if (rawText.find('\\') == std::string_view::npos) return findings;

    const std::string view = resolveJsonEscapes(rawText);
    std::vector<SecretFinding> hidden;
    scanText(view, matchers, hidden);
    std::set<std::pair<std::int64_t, std::string>> reported;
    for (const auto& finding : findings) reported.emplace(finding.line, finding.rule);
    for (auto& finding : hidden) {
        if (reported.emplace(finding.line, finding.rule).second) {
            findings.push_back(std::move(finding));
        }
    }
    sortFindings(findings);
    return findings;
}

}  // namespace kestrin
