// Reading the tools' dates: a day, and a day with a time of day (dates.h).
#include "harness/dates.h"

#include <cstddef>

namespace harness {

DayStatus parse_day(const std::string& text, int64_t* days) {
    const auto digits = [&](std::size_t from, std::size_t n) {
        if (from + n > text.size()) return false;
        for (std::size_t k = from; k < from + n; ++k)
            if (text[k] < '0' || text[k] > '9') return false;
        return true;
    };
    const auto number = [&](std::size_t from, std::size_t n) {
        int v = 0;
        for (std::size_t k = from; k < from + n; ++k) v = v * 10 + (text[k] - '0');
        return v;
    };
    int y = 0, m = 0, d = 0;
    if (text.size() == 10 && digits(0, 4) && digits(5, 2) && digits(8, 2) && text[4] == text[7] &&
        (text[4] == '-' || text[4] == '.' || text[4] == '/')) {
        y = number(0, 4), m = number(5, 2), d = number(8, 2);
    } else if (text.size() == 8 && digits(0, 8)) {
        y = number(0, 4), m = number(4, 2), d = number(6, 2);
    } else {
        return DayStatus::not_a_date;
    }
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m < 1 || m > 12 || d < 1 || d > kMonthDays[m - 1] + (m == 2 && leap)) return DayStatus::not_a_date;
    if (y < 1800) return DayStatus::out_of_range;  // (four digits: never past 9999)
    // Days from civil (proleptic Gregorian), counted from 1970-01-01.
    const int yy = m <= 2 ? y - 1 : y;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    *days = static_cast<int64_t>(era) * 146097 + doe - 719468;
    return DayStatus::ok;
}

DayStatus parse_day_minute(const std::string& text, int64_t* days, int32_t* minute) {
    const std::size_t gap = text.find_first_of(" T");
    if (gap == std::string::npos) return DayStatus::not_a_date;
    std::size_t at = gap;
    while (at < text.size() && (text[at] == ' ' || (at == gap && text[at] == 'T'))) ++at;
    const std::string time = text.substr(at);
    const auto digit = [&](std::size_t k) { return time[k] >= '0' && time[k] <= '9'; };
    if (time.size() != 5 || !digit(0) || !digit(1) || time[2] != ':' || !digit(3) || !digit(4))
        return DayStatus::not_a_date;
    const int hours = (time[0] - '0') * 10 + (time[1] - '0');
    const int minutes = (time[3] - '0') * 10 + (time[4] - '0');
    if (hours > 23 || minutes > 59) return DayStatus::not_a_date;
    int64_t day = 0;
    const DayStatus status = parse_day(text.substr(0, gap), &day);
    if (status != DayStatus::ok) return status;
    *days = day;
    *minute = hours * 60 + minutes;
    return DayStatus::ok;
}

}  // namespace harness
