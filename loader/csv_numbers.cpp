// Number reading for the CSV reader, the slow half: atof's answer for what
// is no plain decimal (from_chars, with atof's sign, hexadecimal and
// out-of-range rules), and parse_number for the callers outside the reader.
#include "loader/csv_numbers.h"

#include <charconv>
#include <cmath>

#include "loader/csv_reader.h"

namespace orvane {

namespace detail {

namespace {

// A number's digits, for deciding which way an out-of-range value went.
bool mantissa_is_large(const char* p, const char* end) {
    for (; p < end && *p != 'e' && *p != 'E' && *p != 'p' && *p != 'P'; ++p) {
        if (*p == '.') return false;
        if (*p >= '1' && *p <= '9') return true;
    }
    return false;
}

}  // namespace

double parse_number_rest(const char* p, const char* end, bool negative) {
    // from_chars takes no sign of its own here: a second sign is no number.
    if (p < end && (*p == '+' || *p == '-')) return 0.0;
    if (p == end) return 0.0;  // a sign alone converts nothing
    std::chars_format format = std::chars_format::general;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        const char c = p[2];
        const bool hex_digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                               (c >= 'A' && c <= 'F') || c == '.';
        if (hex_digit) {
            p += 2;
            format = std::chars_format::hex;
        }
    }
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(p, end, value, format);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large is infinity, too small is zero, as atof gives them.
        bool large = mantissa_is_large(p, r.ptr);
        const char* e = p;
        while (e < r.ptr && *e != 'e' && *e != 'E' && *e != 'p' && *e != 'P') ++e;
        if (e < r.ptr) large = e + 1 < r.ptr && e[1] != '-';
        value = large ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc()) {
        // No number converts: 0. After "0x" with no hexadecimal digit the
        // number is the 0 before the x, and keeps its sign.
        return format == std::chars_format::hex && negative ? -0.0 : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace detail

double parse_number(const char* begin, const char* end) { return detail::parse_number_inline(begin, end); }

}  // namespace orvane
