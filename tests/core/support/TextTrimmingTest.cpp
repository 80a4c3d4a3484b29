#include <gtest/gtest.h>

#include "core/support/TextTrimming.h"

using namespace kestrin;

// Only White_Space counts: zero-width space, BOM, NUL and non-UTF-8 bytes are text.
TEST(TextTrimming, TrimsUnicodeWhiteSpaceAtBothEndsOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {" \t\r\n\v\f a b \n", "a b"},
        {"\u00a0\u3000\u2028\u2029\u0085\u200a任务\u202f\u205f\u1680", "任务"},
        {"\u200b x \ufeff", "\u200b x \ufeff"},
        {" \xff ", "\xff"},
        {"\x80 x \xe3\x80", "\x80 x \xe3\x80"},
        {std::string(" \0 ", 3), std::string("\0", 1)},
        {"\xc0\xa0", "\xc0\xa0"},
        {" \xc2", "\xc2"},
        {"", ""},
        {" \n\u3000\u2003", ""},
    };
    for (const auto& [text, trimmed] : cases) {
        EXPECT_EQ(trimmedText(text), trimmed) << text;
        EXPECT_EQ(isBlank(text), trimmed.empty()) << text;
    }
}
