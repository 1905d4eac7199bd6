// The dates the tools read, in one place: a day (YYYY-MM-DD and its
// variants) and a day with a time of day, as days since 1970-01-01. The
// chart reader checks a file's dates with them, msxhost reads its --split
// date with them.
#pragma once

#include <cstdint>
#include <string>

namespace harness {

// The dates the tools take: YYYY-MM-DD (also with . or / between, or
// YYYYMMDD), from 1800-01-01 to 9999-12-31.
enum class DayStatus { ok, not_a_date, out_of_range };
inline constexpr const char* kDateRange = "1800-01-01 to 9999-12-31";
// Days since 1970-01-01 of `text`; not_a_date for any other text or an
// impossible day (2023-02-29), out_of_range for a real date outside
// kDateRange.
DayStatus parse_day(const std::string& text, int64_t* days);

// A date with a time of day, as intraday files give it: a date parse_day
// takes, a blank (or a T), then HH:MM from 00:00 to 23:59. `minute` is the
// minute of the day; a date alone is not_a_date here.
DayStatus parse_day_minute(const std::string& text, int64_t* days, int32_t* minute);

}  // namespace harness
