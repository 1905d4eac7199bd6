// Number reading for the CSV reader: atof's answer for a field, with the
// plain decimal (nearly every field) read in line and everything else
// (exponents, hexadecimal, inf and nan, out-of-range values) by from_chars
// in csv_numbers.cpp.
#pragma once

#include <cstdint>

namespace orvane::detail {

inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Plain decimals ("123.45"), the common case, read without from_chars:
// with at most 15 significant digits and at most 22 decimals the value is
// digits / 10^decimals, one correctly rounded division of exact operands,
// which is exactly what atof gives. Returns false for anything else.
// kChecksEnd false: the text is known to go on past the number with a
// character that is neither a digit, a dot nor a letter (a line break), so
// the end need not be checked at each character; `end` is not used.
template <bool kChecksEnd = true>
[[gnu::always_inline]] inline bool parse_plain_decimal(const char* p, const char* end, double* value) {
    static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const auto more = [end](const char* q) { return !kChecksEnd || q < end; };
    uint64_t digits = 0;
    const char* q = p;
    // One unsigned compare a character: anything below '0' wraps past 9.
    for (unsigned d; more(q) && (d = static_cast<unsigned char>(*q) - 0x30u) <= 9; ++q)
        digits = digits * 10 + d;
    const int whole = static_cast<int>(q - p);
    int decimals = 0;
    if (more(q) && *q == '.') {
        const char* first = ++q;
        for (unsigned d; more(q) && (d = static_cast<unsigned char>(*q) - 0x30u) <= 9; ++q)
            digits = digits * 10 + d;
        decimals = static_cast<int>(q - first);
    }
    const int count = whole + decimals;
    if (count == 0 || count > 15) return false;  // (so decimals <= 15 < 23)
    // What follows must end the number for atof too: an exponent, a
    // hexadecimal x, or the n, i and p of nan, inf and a binary exponent.
    if (more(q)) {
        const unsigned letter = (static_cast<unsigned char>(*q) | 0x20u) - 'a';
        constexpr uint32_t kContinues = (1u << ('e' - 'a')) | (1u << ('x' - 'a')) |
                                        (1u << ('n' - 'a')) | (1u << ('i' - 'a')) |
                                        (1u << ('p' - 'a'));
        if (letter < 26 && ((kContinues >> letter) & 1u)) return false;
    }
    // A whole number is exact as it is: no division needed.
    *value = decimals == 0 ? static_cast<double>(digits) : static_cast<double>(digits) / kPow10[decimals];
    return true;
}

// atof's slow path: everything but a plain decimal. `p` is past the blanks
// and the sign.
[[gnu::noinline]] double parse_number_rest(const char* p, const char* end, bool negative);

// atof, with the plain decimal (nearly every field) read in line.
[[gnu::always_inline]] inline double parse_number_inline(const char* begin, const char* end) {
    const char* p = begin;
    bool negative = false;
    // Nearly every field starts with its first digit, so with no blanks and
    // no sign to pass over.
    if (!(p < end && static_cast<unsigned char>(*p) - 0x30u <= 9)) {
        while (p < end && is_space(*p)) ++p;
        if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    }
    double plain = 0.0;
    if (parse_plain_decimal(p, end, &plain)) return negative ? -plain : plain;
    return parse_number_rest(p, end, negative);
}

}  // namespace orvane::detail
