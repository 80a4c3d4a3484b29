#include <gtest/gtest.h>

#include "core/receipt/Timestamp.h"

using namespace kestrin;

TEST(Timestamp, WritesUtcWithMilliseconds) {
    const auto instant = parseKestrinISO8601("2026-07-27T16:30:00.250+08:00");
    ASSERT_TRUE(instant);
    EXPECT_EQ(kestrinISO8601(*instant), "2026-07-27T08:30:00.250Z");
    EXPECT_EQ(kestrinISO8601(*parseKestrinISO8601("2026-07-27T08:30:00Z")),
              "2026-07-27T08:30:00.000Z");
    EXPECT_EQ(kestrinISO8601(*parseKestrinISO8601("1999-12-31T23:59:59.5-00:30")),
              "2000-01-01T00:29:59.500Z");
}

TEST(Timestamp, WithAndWithoutFractionAreTheSameInstant) {
    EXPECT_EQ(parseKestrinISO8601("2026-07-27T08:30:00Z"),
              parseKestrinISO8601("2026-07-27T08:30:00.000Z"));
}

TEST(Timestamp, DropsPrecisionBelowAMillisecond) {
    EXPECT_EQ(kestrinISO8601(*parseKestrinISO8601("2026-07-27T08:30:00.1234Z")),
              "2026-07-27T08:30:00.123Z");
    EXPECT_EQ(kestrinISO8601(*parseKestrinISO8601("2026-07-27T08:30:00.999999999Z")),
              "2026-07-27T08:30:00.999Z");
}

TEST(Timestamp, RefusesTextsWithoutZoneOrInOtherForms) {
    for (const char* text :
         {"2026-07-27T08:30:00", "2026-07-27", "", "yesterday", "2026-07-27t08:30:00Z",
          "2026-07-27T08:30:00z", "2026-07-27T08:30:00+0800", "2026-02-30T08:30:00Z",
          "2026-07-27T24:00:00Z", "2026-07-27T08:30:60Z", "2026-07-27T08:30:00.Z",
          "2026-07-27T08:30:00Z ", " 2026-07-27T08:30:00Z", "+2026-07-27T08:30:00Z"}) {
        EXPECT_FALSE(parseKestrinISO8601(text)) << text;
    }
}

TEST(Timestamp, RefusesInstantsWhoseWrittenFormWouldNotReadBack) {
    EXPECT_FALSE(parseKestrinISO8601("0000-01-01T00:00:00+00:01"));
    EXPECT_FALSE(parseKestrinISO8601("9999-12-31T23:59:59.999-00:01"));
    EXPECT_EQ(kestrinISO8601(*parseKestrinISO8601("0000-01-01T00:01:00+00:01")),
              "0000-01-01T00:00:00.000Z");
    EXPECT_EQ(kestrinISO8601(*parseKestrinISO8601("9999-12-31T23:59:59.999Z")),
              "9999-12-31T23:59:59.999Z");
}
