#include "core/support/TextTrimming.h"

#include <gtest/gtest.h>

using namespace kestrin;

TEST(TextTrimming, TrimsUnicodeWhiteSpaceAndLineBreaksAtBothEndsOnly) {
    EXPECT_EQ(trimmedText(" \t\r\n\v\f a b \n"), "a b");
    EXPECT_EQ(trimmedText("\u00a0\u3000\u2028\u2029\u0085\u200a任务\u202f\u205f\u1680"), "任务");
    // Zero-width space and byte order mark are not white space.
    EXPECT_EQ(trimmedText("\u200b x \ufeff"), "\u200b x \ufeff");
    EXPECT_TRUE(isBlank(""));
    EXPECT_TRUE(isBlank(" \n\u3000"));
    EXPECT_FALSE(isBlank(" . "));
}

TEST(TextTrimming, StopsAtBytesThatAreNotUTF8) {
    EXPECT_EQ(trimmedText(" \xff "), "\xff");
    EXPECT_EQ(trimmedText("\x80 x \xe3\x80"), "\x80 x \xe3\x80");  // lone and cut-off sequences
    EXPECT_EQ(trimmedText(std::string_view(" \0 ", 3)), std::string_view("\0", 1));
    EXPECT_FALSE(isBlank("\xc0\xa0"));  // an overlong space is not one
}
