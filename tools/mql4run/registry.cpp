// The program table's helpers (registry.h): a file's dialect, and the
// parsing of --input values by their MQL type.
#include "tools/mql4run/registry.h"

#include <cerrno>
#include <cstdlib>

namespace mql {

Dialect dialect_of(const std::string& file) {
    const std::size_t n = file.size();
    const bool mq5 = n >= 4 && file[n - 4] == '.' && (file[n - 3] | 0x20) == 'm' && (file[n - 2] | 0x20) == 'q' &&
                     file[n - 1] == '5';
    return mq5 ? Dialect::mql5 : Dialect::mql4;
}

// ---- inputs --------------------------------------------------------------------------
bool parse_string(const std::string& text, string* value) {
    *value = string(text);
    return true;
}

bool parse_bool(const std::string& text, bool* value) {
    if (text == "true" || text == "1") return *value = true, true;
    if (text == "false" || text == "0") return *value = false, true;
    return false;
}

namespace {

bool all_digits(const std::string& text, std::size_t from, std::size_t to) {
    if (from >= to || to > text.size()) return false;
    for (std::size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

}  // namespace

bool parse_whole(const std::string& text, long long* value) {
    const std::size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (!all_digits(text, digits, text.size()) || text.size() - digits > 18) return false;
    *value = std::stoll(text.substr(digits)) * (text[0] == '-' ? -1 : 1);
    return true;
}

// Decimal numbers only: [sign] digits [. digits] [e [sign] digits], or a
// fraction starting with "."; no nan, inf or hexadecimal forms.
bool parse_double(const std::string& text, double* value) {
    std::size_t i = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == start) return false;
    }
    if (i != text.size()) return false;
    const double parsed = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// yyyy.mm.dd or yyyy.mm.dd hh:mi, a real date from 1970.01.01 to
// 3000.12.31 (the range MetaTrader holds).
bool parse_datetime(const std::string& text, datetime* value) {
    if (text.size() != 10 && text.size() != 16) return false;
    if (!all_digits(text, 0, 4) || text[4] != '.' || !all_digits(text, 5, 7) || text[7] != '.' ||
        !all_digits(text, 8, 10))
        return false;
    int h = 0, mi = 0;
    if (text.size() == 16) {
        if (text[10] != ' ' || !all_digits(text, 11, 13) || text[13] != ':' || !all_digits(text, 14, 16))
            return false;
        h = std::stoi(text.substr(11, 2));
        mi = std::stoi(text.substr(14, 2));
        if (h > 23 || mi > 59) return false;
    }
    const int y = std::stoi(text.substr(0, 4)), mo = std::stoi(text.substr(5, 2)),
              d = std::stoi(text.substr(8, 2));
    long long days = 0;
    if (!civil_days(y, mo, d, &days)) return false;
    *value = days * 86400 + h * 3600 + mi * 60;
    return true;
}

bool civil_days(int y, int m, int d, long long* days) {
    static const int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1970 || y > 3000 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kLength[m - 1] + (m == 2 && leap ? 1 : 0)) return false;
    const int yy = y - (m <= 2);
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    *days = static_cast<long long>(era) * 146097 + doe - 719468;
    return true;
}

}  // namespace mql
