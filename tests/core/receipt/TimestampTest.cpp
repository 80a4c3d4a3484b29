#include <gtest/gtest.h>

#include "core/receipt/Timestamp.h"

using namespace kestrin;

TEST(Timestamp, ReadsZonedTextsAndWritesUtcMilliseconds) {
    const std::pair<const char*, const char*> cases[] = {
        {"2026-07-27T16:30:00.250+08:00", "2026-07-27T08:30:00.250Z"},
        {"2026-07-27T08:30:00Z", "2026-07-27T08:30:00.000Z"},
        {"1999-12-31T23:59:59.5-00:30", "2000-01-01T00:29:59.500Z"},
        {"2026-07-27T08:30:00.1234Z", "2026-07-27T08:30:00.123Z"},  // below a millisecond: dropped
        {"2026-07-27T08:30:00.999999999Z", "2026-07-27T08:30:00.999Z"},
        {"0000-01-01T00:01:00+00:01", "0000-01-01T00:00:00.000Z"},
        {"9999-12-31T23:59:59.999Z", "9999-12-31T23:59:59.999Z"},
    };
    for (const auto& [text, written] : cases) {
        const auto instant = parseKestrinISO8601(text);
        ASSERT_TRUE(instant) << text;
        EXPECT_EQ(kestrinISO8601(*instant), written);
    }
    EXPECT_EQ(parseKestrinISO8601("2026-07-27T08:30:00Z"),
              parseKestrinISO8601("2026-07-27T08:30:00.000Z"));
}

// Including instants whose written form would not read back (years 0 and 9999).
TEST(Timestamp, RefusesTextsWithoutZoneOrInOtherForms) {
    for (const char* text :
         {"2026-07-27T08:30:00", "2026-07-27", "", "yesterday", "2026-07-27t08:30:00Z",
          "2026-07-27T08:30:00z", "2026-07-27T08:30:00+0800", "2026-02-30T08:30:00Z",
          "2026-07-27T24:00:00Z", "2026-07-27T08:30:60Z", "2026-07-27T08:30:00.Z",
          "2026-07-27T08:30:00Z ", " 2026-07-27T08:30:00Z", "+2026-07-27T08:30:00Z",
          "0000-01-01T00:00:00+00:01", "9999-12-31T23:59:59.999-00:01"}) {
        EXPECT_FALSE(parseKestrinISO8601(text)) << text;
    }
}
