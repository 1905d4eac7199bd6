// Daily bars read from a CSV file of date,open,high,low,close,volume, and the
// series the host derives from them.
#pragma once

#include <string>
#include <vector>

namespace host {

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
// header. Returns false with a reason (file and line) on any malformed row,
// a line longer than kMaxLine, and a file that is not a regular file (a
// FIFO would block, a device never end): those are refused at once.
// With `real_volume`, a seventh column (on every row or none) is the real
// volume beside the tick volume (MetaTrader 5's exchange symbols).
bool load_chart_csv(const std::string& path, ChartData* chart, std::string* error, bool real_volume = false);

// Average true range with Wilder's smoothing, as the charting host computes
// it: the first value is the plain mean of the first `periods` true ranges
// (the first bar's true range is its high - low), after that
// atr = (previous * (periods - 1) + tr) / periods. Bars before periods - 1
// are 0 and `first_valid` is set to periods - 1.
std::vector<float> wilder_atr(const ChartData& chart, int periods, int* first_valid);

// Numbers as msxhost prints them, identical in every build: "nan", "inf",
// "-inf", or the shortest text that reads back as the same float.
std::string format_float(float value);

}  // namespace host
