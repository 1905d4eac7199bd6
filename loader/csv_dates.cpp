// Date reading for the CSV reader: "%d/%d/%d" into the month, day and year
// a selection's parses share, and the "%d%02d%02d" key dates are ordered by.
#include "loader/csv_dates.h"

#include <algorithm>
#include <climits>
#include <initializer_list>

#include "loader/csv_numbers.h"

namespace orvane {

namespace detail {

namespace {

int32_t saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

char* put_int(char* out, int32_t v) {
    char digits[12];
    int n = 0;
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0) *out++ = '-';
    while (n > 0) *out++ = digits[--n];
    return out;
}

}  // namespace

bool scan_int(const char*& p, int32_t* out) {
    const char* q = p;
    while (is_space(*q)) ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (*q < '0' || *q > '9') return false;
    int64_t v = 0;
    for (; *q >= '0' && *q <= '9'; ++q)
        if (v <= INT64_C(1) << 40) v = v * 10 + (*q - '0');
    *out = saturate(negative ? -v : v);
    p = q;
    return true;
}

}  // namespace detail

void parse_date(const char* text, DateState* state) {
    const char* p = text;
    if (!detail::scan_int(p, &state->month) || *p++ != '/') return;
    if (!detail::scan_int(p, &state->day) || *p++ != '/') return;
    detail::scan_int(p, &state->year);
}

int format_key(const DateState& s, char* out) {
    char* p = detail::put_int(out, s.year);
    for (int32_t v : {s.month, s.day}) {
        if (v >= 0 && v < 10) *p++ = '0';
        p = detail::put_int(p, v);
    }
    *p = '\0';
    return static_cast<int>(p - out);
}

}  // namespace orvane
