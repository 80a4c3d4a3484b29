#include "cli/TerminalText.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>

namespace kestrin {

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view ellipsis = "…";

bool isControl(UChar32 c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

int codePointColumns(UChar32 c) {
    if (c < 0) return 1;  // ill-formed byte, shown as U+FFFD
    if (isControl(c)) return 0;
    const auto category = u_charType(c);
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK ||
        category == U_FORMAT_CHAR) {
        return 0;
    }
    // Hangul medial vowels and final consonants join the preceding syllable.
    if (c >= 0x1160 && c <= 0x11FF) return 0;
    const auto width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

// Walks `text` code point by code point; `visit(c, begin, end)` gets each code
// point (negative for an ill-formed byte) with its byte range and returns
// false to stop.
template <typename Visit>
void forEachCodePoint(std::string_view text, Visit visit) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int64_t>(text.size());
    for (std::int64_t pos = 0; pos < length;) {
        const std::int64_t begin = pos;
        UChar32 c;
        U8_NEXT(bytes, pos, length, c);
        if (!visit(c, static_cast<std::size_t>(begin), static_cast<std::size_t>(pos))) return;
    }
}

// The length in bytes of the longest start of `text` that fits in `width`
// columns, marks kept with their base character.
std::size_t fittingPrefix(std::string_view text, int width) {
    int used = 0;
    std::size_t cut = 0;
    forEachCodePoint(text, [&](UChar32 c, std::size_t, std::size_t end) {
        const int columns = codePointColumns(c);
        if (used + columns > width) return false;
        used += columns;
        cut = end;
        return true;
    });
    return cut;
}

std::string_view withoutTrailingSpaces(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> paragraphs(std::string_view text) {
    std::vector<std::string_view> result;
    while (true) {
        const auto end = text.find('\n');
        result.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return result;
        text.remove_prefix(end + 1);
    }
}

// Greedy filling of one paragraph at the given break opportunities.
class LineFiller {
public:
    LineFiller(int width, std::vector<std::string>& lines) : width_(width), lines_(lines) {}

    void add(std::string segment) {
        const int full = TerminalText::columns(segment);
        const int visible = TerminalText::columns(withoutTrailingSpaces(segment));
        if (used_ + visible <= width_) {
            current_ += segment;
            used_ += full;
            return;
        }
        if (!current_.empty()) endLine();
        std::string_view rest = segment;
        while (TerminalText::columns(withoutTrailingSpaces(rest)) > width_) {
            std::size_t cut = fittingPrefix(rest, width_);
            if (cut == 0) cut = 1;  // a character wider than the whole line
            lines_.emplace_back(rest.substr(0, cut));
            rest.remove_prefix(cut);
        }
        current_ = rest;
        used_ = TerminalText::columns(rest);
    }

    void finish() {
        if (!current_.empty() || lines_.size() == before_) endLine();
    }

private:
    void endLine() {
        lines_.emplace_back(withoutTrailingSpaces(current_));
        current_.clear();
        used_ = 0;
    }

    int width_;
    std::vector<std::string>& lines_;
    std::size_t before_ = lines_.size();
    std::string current_;
    int used_ = 0;
};

}  // namespace

std::string TerminalText::printable(std::string_view text, bool keepLineBreaks) {
    std::string result;
    result.reserve(text.size());
    forEachCodePoint(text, [&](UChar32 c, std::size_t begin, std::size_t end) {
        if (c < 0) {
            result += replacementCharacter;
        } else if (c == '\r' && end < text.size() && text[end] == '\n') {
            // The line feed that follows stands for the pair.
        } else if (c == '\n') {
            result += keepLineBreaks ? '\n' : ' ';
        } else if (c == '\t') {
            result += ' ';
        } else if (isControl(c)) {
            result += replacementCharacter;
        } else {
            result += text.substr(begin, end - begin);
        }
        return true;
    });
    return result;
}

int TerminalText::columns(std::string_view text) {
    int total = 0;
    forEachCodePoint(text, [&total](UChar32 c, std::size_t, std::size_t) {
        total += codePointColumns(c);
        return true;
    });
    return total;
}

std::string TerminalText::fitted(std::string_view text, int width) {
    if (width < 1) return {};
    if (columns(text) <= width) return std::string(text);
    return std::string(text.substr(0, fittingPrefix(text, width - 1))) + std::string(ellipsis);
}

std::string TerminalText::padded(std::string_view text, int width) {
    std::string result = fitted(text, width);
    const int used = columns(result);
    if (used < width) result.append(static_cast<std::size_t>(width - used), ' ');
    return result;
}

std::vector<std::string> TerminalText::wrapped(std::string_view text, std::optional<int> width) {
    std::vector<std::string> lines;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks;
    for (std::string_view paragraph : paragraphs(text)) {
        if (!width || columns(paragraph) <= *width) {
            lines.emplace_back(paragraph);
            continue;
        }
        if (!breaks) {
            breaks.reset(icu::BreakIterator::createLineInstance(icu::Locale::getRoot(), status));
        }
        const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
            icu::StringPiece(paragraph.data(), static_cast<std::int32_t>(paragraph.size())));
        LineFiller filler(*width < 1 ? 1 : *width, lines);
        if (U_FAILURE(status) || !breaks) {
            filler.add(std::string(paragraph));  // no break data: split by width alone
        } else {
            breaks->setText(unicode);
            for (std::int32_t start = breaks->first(), end = breaks->next();
                 end != icu::BreakIterator::DONE; start = end, end = breaks->next()) {
                std::string segment;
                unicode.tempSubStringBetween(start, end).toUTF8String(segment);
                filler.add(std::move(segment));
            }
        }
        filler.finish();
    }
    return lines;
}

}  // namespace kestrin
