#include "harness/chart_data.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <memory>

#include "platform/regular_file.h"

namespace harness {

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = line.find(separator, start);
        fields.push_back(line.substr(start, at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return fields;
}

namespace {

// A price or volume as a file holds it: a decimal number (sign, digits,
// a point, an exponent), blanks around it allowed, within a float's range.
// strtof alone would also take hexadecimal ("0x1p3"), "nan" and "inf", and
// turn 1e39 into infinity: none of them is a price.
bool decimal_number(const char* p, const char** end) {
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    bool any = p > digits;
    if (*p == '.') {
        const char* fraction = ++p;
        while (*p >= '0' && *p <= '9') ++p;
        any = any || p > fraction;
    }
    if (!any) return false;
    if (*p == 'e' || *p == 'E') {
        const char* exponent = p + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        const char* exponent_digits = exponent;
        while (*exponent >= '0' && *exponent <= '9') ++exponent;
        if (exponent == exponent_digits) return false;
        p = exponent;
    }
    *end = p;
    return true;
}

}  // namespace

bool parse_decimal_float(const std::string& text, float* value) {
    const char* begin = text.c_str();
    // The text's own end: a NUL inside it ("44.92\0garbage") is a byte
    // after the number like any other, not the end of the field.
    const char* const stop = begin + text.size();
    while (begin < stop && (*begin == ' ' || *begin == '\t')) ++begin;
    const char* number_end = nullptr;
    if (!decimal_number(begin, &number_end)) return false;
    const char* rest = number_end;
    while (rest < stop && (*rest == ' ' || *rest == '\t')) ++rest;
    if (rest != stop) return false;
    char* end = nullptr;
    errno = 0;
    const float parsed = std::strtof(begin, &end);
    // Beyond a float's range either way (strtof says ERANGE): refused, not
    // taken as infinity or as a zero that was never written.
    if (end != number_end || errno == ERANGE || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

bool chart_days(const ChartData& chart, const std::string& path, std::vector<int64_t>* days, std::string* error,
                std::vector<int32_t>* minutes) {
    if (chart.size() == 0) {
        *error = path + ": no bars (an empty or header-only file)";
        return false;
    }
    std::vector<int64_t> read;
    std::vector<int32_t> read_minutes;
    read.reserve(chart.size());
    // The first row says whether the file is daily or intraday; every row
    // must then say the same.
    int64_t first_day = 0;
    int32_t first_minute = 0;
    const bool intraday = parse_day(chart.dates[0], &first_day) != DayStatus::ok &&
                          parse_day_minute(chart.dates[0], &first_day, &first_minute) == DayStatus::ok;
    for (std::size_t i = 0; i < chart.size(); ++i) {
        const auto row = [&](std::size_t k) { return "row " + std::to_string(k + 1); };
        int64_t day = 0;
        int32_t minute = 0;
        const DayStatus status =
            intraday ? parse_day_minute(chart.dates[i], &day, &minute) : parse_day(chart.dates[i], &day);
        if (status != DayStatus::ok) {
            *error = path + ": " + row(i) + ": '" + chart.dates[i] + "' " +
                     (status == DayStatus::out_of_range
                          ? std::string("is outside the dates taken, ") + kDateRange
                      : intraday ? std::string("is not a date with a time of day (YYYY-MM-DD HH:MM), as row 1 is")
                      : i > 0    ? std::string("is not a date (YYYY-MM-DD), as row 1 is")
                                 : std::string("is not a date (YYYY-MM-DD, or YYYY-MM-DD HH:MM)"));
            return false;
        }
        if (!read.empty() && (day < read.back() || (day == read.back() && (!intraday || minute <= read_minutes.back())))) {
            *error = path + ": " + row(i) + ": '" + chart.dates[i] + "' is not later than " + row(i - 1) + "'s '" +
                     chart.dates[i - 1] + "': dates must rise (a file newest first, or a date twice, is refused)";
            return false;
        }
        read.push_back(day);
        read_minutes.push_back(minute);
    }
    if (days != nullptr) *days = std::move(read);
    if (minutes != nullptr) {
        minutes->clear();
        if (intraday) *minutes = std::move(read_minutes);
    }
    return true;
}

const std::vector<float>* ChartData::column(const std::string& name) const {
    if (name == "open") return &open;
    if (name == "high") return &high;
    if (name == "low") return &low;
    if (name == "close") return &close;
    if (name == "volume") return &volume;
    return nullptr;
}

namespace {

// Lines of a file read a block at a time; a line longer than kMaxLine is an
// error rather than a reason to grow without bound.
class LineReader {
public:
    explicit LineReader(std::FILE* file) : file_(file) {}

    // 1 with the next line (its line end removed: a line feed, a carriage
    // return and a line feed, or a carriage return alone), 0 at the end of
    // the file, -1 on a read error, -2 when the line is longer than kMaxLine.
    int next(std::string* line) {
        line->clear();
        for (;;) {
            if (at_ == size_) {
                size_ = std::fread(block_, 1, sizeof block_, file_);
                at_ = 0;
                if (size_ == 0) {
                    if (std::ferror(file_)) return -1;
                    return line->empty() && !pending_ ? 0 : (pending_ = false, 1);
                }
            }
            if (after_cr_) {  // the line feed of a CR LF pair ends no line of its own
                after_cr_ = false;
                if (block_[at_] == '\n') {
                    ++at_;
                    continue;
                }
            }
            const char* begin = block_ + at_;
            const std::size_t avail = size_ - at_;
            const void* feed = std::memchr(begin, '\n', avail);
            const std::size_t to_feed =
                feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - begin) : avail;
            const void* ret = std::memchr(begin, '\r', to_feed);
            const void* found = ret != nullptr ? ret : feed;
            const std::size_t take =
                found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - begin) : avail;
            if (line->size() + take > kMaxLine) return -2;
            line->append(begin, take);
            at_ += take;
            pending_ = true;
            if (found != nullptr) {
                ++at_;
                pending_ = false;
                after_cr_ = found == ret;
                return 1;
            }
        }
    }

private:
    std::FILE* file_;
    char block_[1 << 16];
    std::size_t at_ = 0, size_ = 0;
    bool pending_ = false;  // a line without its line end has begun
    bool after_cr_ = false;  // the last line ended with a carriage return
};

}  // namespace

bool load_chart_csv(const std::string& path, ChartData* chart, std::string* error, bool real_volume) {
    *chart = ChartData{};
    std::string reason;
    const platform::unique_file file(platform::open_regular_file(path.c_str(), &reason));
    if (!file) {
        *error = "cannot read " + path + ": " + reason;
        return false;
    }
    LineReader reader(file.get());
    std::string line;
    int line_no = 0;
    for (;;) {
        const int got = reader.next(&line);
        if (got == 0) break;
        if (got < 0) {
            *error = got == -2 ? path + ":" + std::to_string(line_no + 1) + ": line is longer than " +
                                     std::to_string(kMaxLine) + " bytes"
                               : "cannot read " + path + ": read error";
            *chart = ChartData{};
            return false;
        }
        ++line_no;
        // A UTF-8 byte-order mark before the first line is no part of it.
        if (line_no == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        // An empty line, or one of blanks only (a trailing line of spaces),
        // holds no row.
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::vector<std::string> fields = split(line, ',');
        // Blanks around a field are no part of it, the date's included.
        const std::size_t begin = fields[0].find_first_not_of(" \t");
        fields[0] = begin == std::string::npos
                        ? std::string()
                        : fields[0].substr(begin, fields[0].find_last_not_of(" \t") - begin + 1);
        float v[5];
        // A seventh column, where the caller takes one, is the real
        // (exchange) volume beside the tick volume; every row has it or none.
        const bool seventh = real_volume && fields.size() == 7 && (chart->size() == 0 || !chart->real_volume.empty());
        bool ok = fields.size() == 6 ? chart->real_volume.empty() : seventh;
        float real = 0;
        if (seventh) ok = ok && parse_decimal_float(fields[6], &real) && real >= 0;
        bool any_number = false;
        for (int k = 0; k < 5 && k + 1 < static_cast<int>(fields.size()); ++k) {
            const bool number = parse_decimal_float(fields[k + 1], &v[k]);
            any_number = any_number || number;
            ok = ok && number;
        }
        if (!ok) {
            // A header is a first line without a number in its price fields;
            // a first row with numbers and a fault is data, and its fault is
            // reported.
            if (chart->size() == 0 && line_no == 1 && !any_number) continue;
            *error = path + ":" + std::to_string(line_no) +
                     (real_volume ? ": expected date,open,high,low,close,volume[,real_volume] (on every row or none)"
                                  : ": expected date,open,high,low,close,volume");
            *chart = ChartData{};
            return false;
        }
        chart->dates.push_back(fields[0]);
        chart->open.push_back(v[0]);
        chart->high.push_back(v[1]);
        chart->low.push_back(v[2]);
        chart->close.push_back(v[3]);
        chart->volume.push_back(v[4]);
        if (seventh) chart->real_volume.push_back(real);
    }
    return true;
}

std::vector<float> wilder_atr(const ChartData& chart, int periods, int* first_valid) {
    const std::size_t n = chart.size();
    std::vector<float> atr(n, 0.0f);
    *first_valid = periods - 1;
    if (periods < 1 || n < static_cast<std::size_t>(periods)) return atr;
    double value = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double tr = static_cast<double>(chart.high[i]) - chart.low[i];
        if (i > 0) {
            const double prev = chart.close[i - 1];
            tr = std::max({tr, std::fabs(chart.high[i] - prev), std::fabs(chart.low[i] - prev)});
        }
        if (i < static_cast<std::size_t>(periods)) {
            value += tr;
            if (i + 1 == static_cast<std::size_t>(periods)) value /= periods;
        } else {
            value = (value * (periods - 1) + tr) / periods;
        }
        if (i + 1 >= static_cast<std::size_t>(periods)) atr[i] = static_cast<float>(value);
    }
    return atr;
}

std::string format_float(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

}  // namespace harness
