#include "core/receipt/Timestamp.h"

#include <cstdio>

namespace kestrin {

using namespace std::chrono;

std::string kestrinISO8601(Timestamp instant) {
    const auto day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss time{instant - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02lld.%03lldZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), static_cast<long long>(time.seconds().count()),
                  static_cast<long long>(time.subseconds().count()));
    return text;
}

namespace {

// Reads exactly `count` ASCII digits at `pos`, advancing it.
bool readDigits(std::string_view text, std::size_t& pos, int count, int& out) {
    if (pos + count > text.size()) return false;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    out = value;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

// Accepted: upper-case "T" and "Z" only, any number of fractional digits (below
// a millisecond they are dropped, rounding towards the past), offsets only with
// a colon (+08:00), no leap second, and only instants that fall within the
// years 0000 to 9999 in UTC. Everything else is refused, as the written form is
// the only one the system itself produces.
std::optional<Timestamp> parseKestrinISO8601(std::string_view text) {
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
        !expect(text, pos, '-') || !readDigits(text, pos, 2, d) || !expect(text, pos, 'T') ||
        !readDigits(text, pos, 2, h) || !expect(text, pos, ':') || !readDigits(text, pos, 2, mi) ||
        !expect(text, pos, ':') || !readDigits(text, pos, 2, s)) {
        return std::nullopt;
    }
    const year_month_day date{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;

    long long millis = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        int digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (digits < 3) millis = millis * 10 + (text[pos] - '0');
            ++digits;
            ++pos;
        }
        if (digits == 0) return std::nullopt;
        for (int i = digits; i < 3; ++i) millis *= 10;
    }

    int offsetMinutes = 0;
    if (pos < text.size() && text[pos] == 'Z') {
        ++pos;
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readDigits(text, pos, 2, oh) || !expect(text, pos, ':') ||
            !readDigits(text, pos, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetMinutes = sign * (oh * 60 + om);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;

    const Timestamp instant = Timestamp{sys_days{date}} + hours{h} + minutes{mi} + seconds{s} +
                              milliseconds{millis} - minutes{offsetMinutes};
    // An offset can move the instant out of the four-digit years in UTC
    // (0000-01-01T00:00:00+01:00); its written form would not read back.
    const year utcYear = year_month_day{floor<days>(instant)}.year();
    if (utcYear < year{0} || utcYear > year{9999}) return std::nullopt;
    return instant;
}

Timestamp currentTimestamp() {
    return floor<milliseconds>(system_clock::now());
}

}  // namespace kestrin
