#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin {

// An instant in UTC with millisecond precision: the precision of every
// timestamp the system writes, so a written timestamp reads back equal.
using Timestamp = std::chrono::sys_time<std::chrono::milliseconds>;

// The written timestamp text: 2026-07-27T08:30:00.000Z (UTC, three
// fractional digits). Callers that need only the date take the first 10
// characters.
std::string kestrinISO8601(Timestamp instant);

// Reads an internet date-time with or without fractional seconds; a zone ("Z"
// or a signed hh:mm offset) is required. Nothing for any other text, nor for
// an instant outside the years 0000 to 9999 in UTC, so every instant it gives
// has a written form that reads back equal.
std::optional<Timestamp> parseKestrinISO8601(std::string_view text);

// The current instant, truncated to milliseconds.
Timestamp currentTimestamp();

}  // namespace kestrin
