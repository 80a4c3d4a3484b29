#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// Text measured and shaped for a terminal, in display columns rather than
// bytes: East Asian wide and fullwidth characters take two columns, combining
// marks and format characters none, everything else one. All operations take
// UTF-8 and treat ill-formed bytes as U+FFFD. Stateless.
class TerminalText {
public:
    TerminalText() = delete;

    // What a receipt's text may safely show on a terminal: every control
    // character (C0, DEL, C1), which could otherwise steer the terminal, becomes
    // U+FFFD, except that a tab becomes a space and, with `keepLineBreaks`, line
    // feeds (and CR LF pairs, as one line feed) stay; without it they become
    // spaces. Ill-formed UTF-8 becomes U+FFFD.
    static std::string printable(std::string_view text, bool keepLineBreaks);

    // The display width of `text` in columns.
    static int columns(std::string_view text);

    // `text` cut to at most `width` columns, ending in "…" when anything was
    // cut; a character is never split from the marks that follow it. Nothing
    // for a width below 1.
    static std::string fitted(std::string_view text, int width);

    // `text` fitted to `width` and padded with spaces to exactly `width`
    // columns.
    static std::string padded(std::string_view text, int width);

    // `text` broken into lines of at most `width` columns at the line-break
    // opportunities of the Unicode line-breaking rules (between words, between
    // CJK characters), a word wider than a line being split at a character
    // boundary. Line feeds in `text` always end a line; blank lines stay.
    // Spaces at the end of a broken line are dropped. Without a width, the
    // lines of `text` as they are.
    static std::vector<std::string> wrapped(std::string_view text, std::optional<int> width);
};

}  // namespace kestrin
