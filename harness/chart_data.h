// Daily bars read from a CSV file of date,open,high,low,close,volume, and the
// series the host derives from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness/dates.h"

namespace harness {

struct ChartData {
    std::vector<std::string> dates;
    std::vector<float> open, high, low, close, volume;
    std::vector<float> real_volume;  // a seventh column, where the reader was asked to take one
    std::size_t size() const { return dates.size(); }
    // The named column (open, high, low, close, volume), or null.
    const std::vector<float>* column(const std::string& name) const;
};

// The fields of `line` between each `separator`: n separators give n + 1
// fields, empty ones included.
std::vector<std::string> split(const std::string& line, char separator);

// The longest line the chart reader takes (1 MB); a longer one is an error.
inline constexpr std::size_t kMaxLine = 1 << 20;

// Reads the file; a first line that does not parse as numbers is taken as a
// header. Lines end with a line feed, a carriage return and a line feed, or
// a carriage return alone (old Mac files); a line of nothing but blanks is
// an empty line. Returns false with a reason (file and line) on any
// malformed row, a line longer than kMaxLine, and a file that is not a
// regular file (a FIFO would block, a device never end): those are refused
// at once.
// With `real_volume`, a seventh column (on every row or none) is the real
// volume beside the tick volume (MetaTrader 5's exchange symbols).
bool load_chart_csv(const std::string& path, ChartData* chart, std::string* error, bool real_volume = false);

// Average true range with Wilder's smoothing, as the charting host computes
// it: the first value is the plain mean of the first `periods` true ranges
// (the first bar's true range is its high - low), after that
// atr = (previous * (periods - 1) + tr) / periods. Bars before periods - 1
// are 0 and `first_valid` is set to periods - 1.
// A price or volume as a file holds it, and as the tools take a number on
// their command line: a decimal number (sign, digits, a point, an exponent),
// blanks around it allowed, within a float's range. Hexadecimal ("0x1p4"),
// "nan", "inf", a number past a float's range and any other byte after the
// number (a NUL included) are refused: false, `value` left as it was.
bool parse_decimal_float(const std::string& text, float* value);

// The one check of a chart's bars before a tool uses them: at least one
// bar, every date a date (parse_day), or on every row a date with a time of
// day (parse_day_minute), and each later than the one before (a file
// newest first, or a date twice, would be read backwards). True with the
// days of the bars in `days` and, for intraday bars, their minutes of the
// day in `minutes` (left empty for daily bars), each when given; false
// with the reason, naming `path`, the row (the bars counted from 1) and its
// date.
bool chart_days(const ChartData& chart, const std::string& path, std::vector<int64_t>* days, std::string* error,
                std::vector<int32_t>* minutes = nullptr);

std::vector<float> wilder_atr(const ChartData& chart, int periods, int* first_valid);

// Numbers as msxhost prints them, identical in every build: "nan", "inf",
// "-inf", or the shortest text that reads back as the same float.
std::string format_float(float value);

}  // namespace harness
