// The CSV reader of orvane: rows of "date,value[,value]" as the host's
// original reads them, line by line in chunks of at most 79 characters
// (the 80-byte buffer it reads with), fast. csv_reader_ref.cpp holds the
// same reading written literally; the tests hold the two to the same rows.
//
// The routes: a date is read by short_date_field when it is the usual
// "m/d/yyyy," (most rows), else by parse_date from its text; a number by
// parse_plain_decimal when it is a plain decimal of at most 15 digits (most
// fields), else by parse_number_rest (from_chars); a one-value read's usual
// row goes by RowBuilder::usual_row straight to the sink as a date key.
//
// Where it reads past what counts, and why that is safe (each rule is
// checked by a static_assert or an assert where it is used):
//   1. A block is read into a buffer with one byte before it and, after the
//      text, max(kReadAhead, kScanAhead) bytes that are never text.
//   2. The byte before the block (data[-1]) is a line feed, so the byte
//      before any line is a line break: a CR before the first line feed of
//      a block is looked for at data[stop - 1] even when stop is 0.
//   3. short_date_field reads the 16 bytes at the start of a field, however
//      short the field is: kReadAhead >= 16.
//   4. line_feeds reads 64 bytes at a time, masking the bytes at and past
//      the end of the text: kScanAhead >= 64.
//   5. parse_plain_decimal<false> reads a number's digits without checking
//      the end: only where the text goes on past the number with a line
//      break (a chunk that ends the line), as rule 1 guarantees.
#include "loader/csv_reader.h"

#include "platform/regular_file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cassert>
#include <cstring>
#include <memory>

#include <emmintrin.h>  // SSE2, which every target the plug-ins ship for has

namespace orvane {

namespace {

constexpr std::size_t kChunkChars = 79;  // a line read with an 80-byte buffer
constexpr std::size_t kBlock = 1 << 20;
constexpr std::size_t kSmallBlock = 4096;  // the least block, for a file that grows as it is read
// Bytes after the end of any chunk that the row builder may read (and then
// ignore): the reader's buffer always holds them.
constexpr std::size_t kReadAhead = 16;
// Bytes after the end of the text that the line scan may read (and ignore).
constexpr std::size_t kScanAhead = 64;
// What the vector reads take at once: one 16-byte load (short_date_field)
// and kScanLoads of them (line_feeds, a 64-bit mask of line feeds).
constexpr std::size_t kLoad = sizeof(__m128i);
constexpr int kScanLoads = 4;
static_assert(kReadAhead >= kLoad, "rule 3: short_date_field reads one load at a field's start");
static_assert(kScanAhead >= kScanLoads * kLoad && kScanLoads * kLoad == 64,
              "rule 4: line_feeds reads 64 bytes at a time, one bit each");
constexpr char kCtrlZ = 0x1A;

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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

// A number's digits, for deciding which way an out-of-range value went.
bool mantissa_is_large(const char* p, const char* end) {
    for (; p < end && *p != 'e' && *p != 'E' && *p != 'p' && *p != 'P'; ++p) {
        if (*p == '.') return false;
        if (*p >= '1' && *p <= '9') return true;
    }
    return false;
}

// atof's slow path: everything but a plain decimal. `p` is past the blanks
// and the sign.
[[gnu::noinline]] double parse_number_rest(const char* p, const char* end, bool negative) {
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

// Bit k set when byte k of the 16 in `v` is `c`.
inline uint32_t byte_bits(__m128i v, char c) {
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

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

// The shapes of the short date "m/d/yyyy,": one or two digits for the
// month and the day, four for the year. For each set of slash positions
// (bit k for byte k) among the first six bytes, where that shape's comma
// is; 255 (never a position) for a set that is no such shape.
struct ShortDateShapes {
    uint8_t comma[64];
};
constexpr ShortDateShapes short_date_shapes() {
    ShortDateShapes shapes{};
    for (uint8_t& c : shapes.comma) c = 255;
    for (int s1 = 1; s1 <= 2; ++s1)
        for (int s2 = s1 + 2; s2 <= s1 + 3; ++s2)
            shapes.comma[(1 << s1) | (1 << s2)] = static_cast<uint8_t>(s2 + 5);
    return shapes;
}
constexpr ShortDateShapes kShortDates = short_date_shapes();

// Turns chunks into rows and hands each to the sink, which answers whether
// it wants more.
template <class Sink>
class RowBuilder {
public:
    // Rows carry value1 and value2 (price/volume files); a sink that needs
    // only one of them can spare the parse of the other (it stays 0).
    RowBuilder(bool with_volume, Sink* sink, bool want_value1 = true, bool want_value2 = true)
        : last_field_(with_volume && want_value2 ? 2 : want_value1 ? 1 : 0),
          want_value1_(want_value1),
          sink_(sink) {}

    bool wants_more() const { return more_; }

    // One line's text (`len` characters, the carriage return before its line
    // feed already dropped) and whether a line break ends it.
    [[gnu::always_inline]] void line(const char* p, std::size_t len, bool newline) {
        if (len + newline <= kChunkChars) {  // the usual line: one chunk
            if (more_ && len + newline > 0 && !(newline && usual_row(p, len))) chunk(p, len, newline);
            return;
        }
        while (more_ && len + newline > kChunkChars) {
            chunk(p, kChunkChars, false);
            p += kChunkChars;
            len -= kChunkChars;
        }
        if (more_ && len + newline > 0) chunk(p, len, newline);
    }

    // Whether the text being read may hold NUL bytes (checked per block).
    void may_hold_nul(bool value) {
        may_hold_nul_ = value;
        if constexpr (Sink::kTakesKeys) usual_rows_ = !value && last_field_ == 1 && sink_->takes_keys();
    }

    // A chunk: `n` characters, then a line break if `newline`.
    void chunk(const char* p, std::size_t n, bool newline) {
        if (!more_) return;
        if (may_hold_nul_) {
            if (const void* nul = std::memchr(p, '\0', n)) {  // the text ends at a NUL
                n = static_cast<std::size_t>(static_cast<const char*>(nul) - p);
                newline = false;
            }
        }
        Row row;
        std::size_t pos = 0;
        bool newline_used = false;
        int field = 0;
        // The usual row starts "m/d/yyyy,": its date is read here, once, and
        // handed to the sink with the row (the same numbers parse_date gives
        // for the row's date text, which is this text).
        DateState date;
        const bool plain = short_date_field(p, n, &date, &pos);
        if (plain) {
            // A sink that reads dates only through `date` needs no date text.
            if (Sink::kReadsDateText) std::memcpy(row.date_text, p, pos);
            field = 1;
        }
        if (plain && last_field_ == 1) {
            // The usual row of a one-value read: the date, commas, and the
            // value as the last field (read to the chunk's end, as below).
            std::size_t at = pos;
            while (at < n && p[at] == ',') ++at;
            if (at < n) {
                row.value1 = parse_number_inline(p + at, p + n);
                more_ = (*sink_)(row, &date);
                return;
            }
        }
        for (; field <= last_field_; ++field) {
            while (pos < n && p[pos] == ',') ++pos;
            std::size_t stop = pos;
            bool with_break = false;
            if (pos == n) {
                // Only the line break is left: it is a field of its own.
                if (!newline || newline_used) break;
                with_break = true;
            } else if (field > 0 && field == last_field_) {
                // The last field read is a number, and no number runs into
                // a comma: it can be read without first finding its end.
                stop = n;
            } else {
                stop = pos;  // fields are short: a plain loop beats a call
                while (stop < n && p[stop] != ',') ++stop;
                with_break = stop == n && newline;
            }
            if (field == 0) {
                const std::size_t chars = std::min<std::size_t>(stop - pos, 15);
                std::memcpy(row.date_text, p + pos, chars);
                if (with_break && chars < 15) row.date_text[chars] = '\n';
            } else if (field == 1) {
                if (last_field_ == 1 || want_value1_) row.value1 = parse_number_inline(p + pos, p + stop);
            } else {
                row.value2 = parse_number_inline(p + pos, p + stop);
            }
            newline_used = newline_used || with_break;
            pos = stop;
        }
        more_ = (*sink_)(row, plain ? &date : nullptr);
    }

private:
    // The row nearly every line of a one-value read is, handed to a sink
    // that selects by date key: "m/d/yyyy" in the short form with a year of
    // four digits from 1000 (so an 8-digit key), one comma, and the value as
    // the last field. The sink gets the key and the value, and no Row is
    // built. False, with nothing read, for any other chunk or sink; the
    // general path then reads it. `n` is the length of a line that a line
    // break ends: a one-value row's value is its last field, and the break
    // after it ends the value's text (the value is read up to it).
    [[gnu::always_inline]] bool usual_row(const char* p, std::size_t n) {
        if constexpr (Sink::kTakesKeys) {
            if (!usual_rows_) return false;
            DateState date;
            std::size_t at = 0;
            if (!short_date_field(p, n, &date, &at) || date.year < 1000) return false;
            ++at;  // past the date's comma
            if (at == n || p[at] == ',') return false;  // no value, or more commas: the general path
            const int64_t key = date.year * 10000 + date.month * 100 + date.day;  // below 10^8
            // A value that starts with its first digit is read up to the
            // line break after it without checking for the end; any other
            // as every field is.
            double value;
            assert(p[n] == '\n' || p[n] == '\r');  // rule 5: a line break ends the value
            if (!(static_cast<unsigned char>(p[at]) - 0x30u <= 9 &&
                  parse_plain_decimal<false>(p + at, nullptr, &value)))
                value = parse_number_inline(p + at, p + n);
            more_ = sink_->usual_row(key, value);
            return true;
        } else {
            return false;
        }
    }

    // The usual shape of a plain date, "m/d/yyyy," with one or two digits
    // for the month and the day and four for the year, read without a loop
    // or a branch on the digit counts: compares of the 16 bytes give the
    // commas, the slashes and the digits or slashes as bit masks, a table
    // gives the comma each shape of the slashes needs, and the numbers are
    // read from the positions they give. Reads the 16 bytes at `p` whatever `n` is
    // (within kReadAhead); only the first `n` count. The same numbers and
    // comma as the general loop, which takes every other shape.
    static bool short_date_field(const char* p, std::size_t n, DateState* date, std::size_t* comma) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const uint32_t c = static_cast<uint32_t>(__builtin_ctz(byte_bits(v, ',') | 0x10000u));
        const uint32_t before = (1u << c) - 1;  // the positions before the first comma
        const uint32_t slashes = byte_bits(v, '/') & before;
        // '/' is the byte just below '0': one range compare finds digits and slashes.
        const __m128i from_slash = _mm_cmpgt_epi8(v, _mm_set1_epi8('/' - 1));
        const __m128i to_nine = _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1));
        const uint32_t digit_or_slash =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(from_slash, to_nine)));
        // Only digits and slashes before the comma, the slashes where one of
        // the four shapes has them, and the comma where that shape ends.
        const bool ok = (slashes < 64) & (kShortDates.comma[slashes & 63] == c) & (c < n) &
                        ((digit_or_slash & before) == before);
        if (!ok) return false;
        const uint32_t s1 = static_cast<uint32_t>(__builtin_ctz(slashes));
        const uint32_t s2 = c - 5;  // four year digits between the second slash and the comma
        const auto digit = [p](int i) { return static_cast<int32_t>(p[i] - '0'); };
        const bool one_digit_month = s1 == 1;
        const int32_t day0 = one_digit_month ? digit(2) : digit(3);
        const int32_t day1 = one_digit_month ? digit(3) : digit(4);
        uint64_t year_bytes;
        std::memcpy(&year_bytes, p + 4, 8);  // bytes 4 to 11, the first the lowest (x86)
        // The four year digits, from byte s2 + 1 (5 to 7) on: digit values, no borrow.
        const uint32_t y = static_cast<uint32_t>(year_bytes >> (8 * (s2 - 3))) - 0x30303030u;
        date->month = one_digit_month ? digit(0) : digit(0) * 10 + digit(1);
        date->day = s2 - s1 == 2 ? day0 : day0 * 10 + day1;
        date->year = static_cast<int32_t>((y & 0xFF) * 1000 + ((y >> 8) & 0xFF) * 100 +
                                          ((y >> 16) & 0xFF) * 10 + (y >> 24));
        *comma = c;
        return true;
    }

    int last_field_;  // the last field the rows need: 0 date, 1 value1, 2 value2
    bool want_value1_ = true;
    bool may_hold_nul_ = true;
    bool usual_rows_ = false;  // whether usual_row may take a chunk
    bool more_ = true;
    Sink* sink_;
};

struct VectorSink {
    static constexpr bool kReadsDateText = true;
    static constexpr bool kTakesKeys = false;
    std::vector<Row>* rows;
    bool operator()(const Row& row, const DateState*) {
        rows->push_back(row);
        return true;
    }
};

// The line feeds among the 64 bytes at `p` that lie before `avail`, as bits
// (the bytes past it are read, within kScanAhead, and not counted).
inline uint64_t line_feeds(const char* p, std::size_t avail) {
    uint64_t bits = 0;
    for (int k = 0; k < kScanLoads; ++k)
        bits |= uint64_t{byte_bits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + kLoad * k)), '\n')}
                << (kLoad * k);
    if (avail < 64) bits &= (uint64_t{1} << avail) - 1;
    return bits;
}

// Reads the open file block by block into the builder's rows, until the end
// (or a Ctrl-Z) or until the sink wants no more. A file of `size` bytes
// (negative: not known) smaller than a block is read in one block of its
// own size (at least kSmallBlock), so a small file costs no megabyte of buffer.
template <class Sink>
void read_chunks(std::FILE* file, long long size, RowBuilder<Sink>& builder) {
    const std::size_t block = size >= 0 && size < static_cast<long long>(kBlock)
                                  ? std::max<std::size_t>(static_cast<std::size_t>(size) + 1, kSmallBlock)
                                  : kBlock;
    // A line feed before the text (so that the byte before any line is a
    // line break), a carried-over line start, a block, and after the text
    // the bytes the row builder (kReadAhead) and the line scan (kScanAhead)
    // may read and ignore.
    std::vector<char> buffer(1 + block + 2 * kChunkChars + std::max(kReadAhead, kScanAhead));
    buffer[0] = '\n';  // rule 2
    char* const data = buffer.data() + 1;
    // Rule 1: the text ends at most kChunkChars + 1 carried bytes and a block
    // in; what follows holds both read-aheads.
    static_assert(2 * kChunkChars + std::max(kReadAhead, kScanAhead) - (kChunkChars + 1) >=
                      std::max(kReadAhead, kScanAhead),
                  "rule 1");
    std::size_t carried = 0;
    bool at_end = false;
    while (!at_end && builder.wants_more()) {
        const std::size_t got = std::fread(data + carried, 1, block, file);
        at_end = got < block;
        std::size_t end = carried + got;
        if (const void* z = std::memchr(data + carried, kCtrlZ, got)) {
            end = static_cast<std::size_t>(static_cast<const char*>(z) - data);
            at_end = true;  // text mode ends the file at Ctrl-Z
        }
        builder.may_hold_nul(std::memchr(data, '\0', end) != nullptr);
        std::size_t pos = 0;
        // Line feeds are found 64 bytes at a time: `feeds` holds those of
        // the 64 bytes at `base` not yet handed over (none at or past `end`).
        std::size_t base = 0;
        uint64_t feeds = line_feeds(data, end);
        while (true) {
            while (feeds == 0 && base + 64 < end) {
                base += 64;
                feeds = line_feeds(data + base, end - base);
            }
            if (feeds == 0) break;
            const std::size_t stop = base + static_cast<std::size_t>(__builtin_ctzll(feeds));
            feeds &= feeds - 1;
            // A carriage return before the line feed is dropped. (For an
            // empty line the byte before is the line break before it, at
            // the block's start the one before the text: index -1.)
            assert(data[-1] == '\n');  // rule 2: the byte before the block
            const std::size_t len = stop - pos - (data[static_cast<std::ptrdiff_t>(stop) - 1] == '\r');
            builder.line(data + pos, len, true);
            pos = stop + 1;
            if (!builder.wants_more()) return;
        }
        std::size_t rest = end - pos;
        if (at_end) {
            if (rest > 0) builder.line(data + pos, rest, false);
            break;
        }
        // Whole chunks of an unfinished line do not depend on what follows;
        // the last 80 characters wait (a carriage return may end them).
        while (rest > kChunkChars + 1) {
            builder.chunk(data + pos, kChunkChars, false);
            pos += kChunkChars;
            rest -= kChunkChars;
        }
        std::memmove(data, data + pos, rest);
        carried = rest;
    }
}

int32_t saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// "%d": blanks, an optional sign, at least one digit. Returns false (and
// leaves `out`) when there is no number.
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

// Keys of dates with a four-digit year and one- or two-digit month and day
// are 8 digits long; two of them compare as text exactly as their numbers
// compare. Returns that number, or -1 for any other date.
int64_t numeric_key(const DateState& s) {
    if (s.year < 1000 || s.year > 9999 || s.month < 0 || s.month > 99 || s.day < 0 || s.day > 99)
        return -1;
    return int64_t{s.year} * 10000 + s.month * 100 + s.day;
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

// A bound of the selection. A bound that parses to all three numbers gives
// the same numbers and key whatever the shared state held before, so they
// are worked out once.
class Bound {
public:
    explicit Bound(const char* text) : text_(text) {
        DateState probe;
        const char* p = text;
        full_ = scan_int(p, &probe.month) && *p == '/' && scan_int(++p, &probe.day) &&
                *p == '/' && scan_int(++p, &probe.year);
        if (full_) {
            parsed_ = probe;
            format_key(parsed_, key_);
            number_ = numeric_key(parsed_);
        }
    }
    // The key as a number when it is 8 digits (see numeric_key), else -1.
    int64_t number() const { return full_ ? number_ : -1; }
    // number() for a bound known to have an 8-digit key.
    int64_t key_number() const { return number_; }
    // What apply leaves in the shared state when number() is not -1.
    const DateState& parsed() const { return parsed_; }
    // Parses the bound into the shared state and returns its key.
    const char* apply(DateState* state) {
        if (full_) {
            *state = parsed_;
            return key_;
        }
        parse_date(text_, state);
        format_key(*state, key_);
        return key_;
    }

private:
    const char* text_;
    bool full_ = false;
    int64_t number_ = -1;
    DateState parsed_;
    char key_[40];
};

}  // namespace

double parse_number(const char* begin, const char* end) { return parse_number_inline(begin, end); }

void parse_date(const char* text, DateState* state) {
    const char* p = text;
    if (!scan_int(p, &state->month) || *p++ != '/') return;
    if (!scan_int(p, &state->day) || *p++ != '/') return;
    scan_int(p, &state->year);
}

int format_key(const DateState& s, char* out) {
    char* p = put_int(out, s.year);
    for (int32_t v : {s.month, s.day}) {
        if (v >= 0 && v < 10) *p++ = '0';
        p = put_int(p, v);
    }
    *p = '\0';
    return static_cast<int>(p - out);
}

ReadStatus read_rows(const char* path, bool with_volume, std::vector<Row>* rows) {
    rows->clear();
    // Only a regular file is read: a directory, a FIFO or a device is "not
    // found" (a FIFO would block the host, /dev/zero never ends).
    platform::unique_file file(platform::open_regular_file(path));
    if (!file) return ReadStatus::kNotFound;
    const long long size = platform::file_size(file.get());
    if (size < 0) return ReadStatus::kNotFound;

    // Rows are at least a few bytes each in real files; reserving from the
    // size spares most regrowth (capped, a file may be mostly long lines).
    if (size > 0) rows->reserve(static_cast<std::size_t>(std::min<long long>(size / 16, 1 << 24)));
    VectorSink sink{rows};
    RowBuilder<VectorSink> builder(with_volume, &sink);
    read_chunks(file.get(), size, builder);
    return ReadStatus::kOk;
}

namespace {

// Whether a row's date reaches a bound. The row's date is parsed first,
// then the bound, into the state all the parses of one selection share, as
// the selection is defined; the begin search runs to its end before the end
// search starts.
class Reach {
public:
    Reach(const char* begin, const char* end) : begin_(begin), end_(end) {}
    // `date`, when given, is what parse_date reads from the row's date text.
    bool begin(const Row& row, const DateState* date = nullptr) { return reaches(row, date, begin_); }
    bool end(const Row& row, const DateState* date = nullptr) { return reaches(row, date, end_); }

    // Whether both bounds have 8-digit keys, so that a row with one reaches
    // them by its key alone (begin_key, end_key).
    bool by_keys() const { return begin_.number() >= 0 && end_.number() >= 0; }
    // begin and end for a row whose date has the 8-digit key `key`, with
    // bounds that have them too: what reaches does, with the state left as
    // it leaves it (the bound's numbers).
    bool begin_key(int64_t key) { return key_reaches(key, begin_); }
    bool end_key(int64_t key) { return key_reaches(key, end_); }

private:
    bool key_reaches(int64_t key, const Bound& bound) {
        applied_ = &bound;  // the state holds its numbers from here on
        return key >= bound.key_number();
    }

    bool reaches(const Row& row, const DateState* date, Bound& bound) {
        if (date != nullptr) {
            state_ = *date;
        } else {
            // A date text may set only some of the numbers: the others are
            // those the last bound left.
            if (applied_ != nullptr) state_ = applied_->parsed();
            parse_date(row.date_text, &state_);
        }
        applied_ = nullptr;
        const int64_t row_number = numeric_key(state_);
        if (row_number >= 0 && bound.number() >= 0) {
            bound.apply(&state_);
            return row_number >= bound.number();
        }
        format_key(state_, key_);
        return std::strcmp(key_, bound.apply(&state_)) >= 0;
    }

    DateState state_;
    // The bound whose numbers the state holds but which key_reaches has not
    // written there (they are written when a parse needs them).
    const Bound* applied_ = nullptr;
    Bound begin_, end_;
    char key_[40];
};

// Selects while reading: the rows before the start need only their dates,
// the values of the selected rows go straight to the output, and reading
// stops as soon as the count is known.
struct SelectionSink {
    static constexpr bool kReadsDateText = false;  // a plain date comes parsed
    static constexpr bool kTakesKeys = true;
    Reach reach;
    bool stop_from_start;
    bool second;
    int64_t cap;
    float* out;
    int64_t written = 0;
    bool any_row = false, started = false;  // a row read; the start found
    bool keys = reach.by_keys();

    bool takes_keys() const { return keys; }

    // The usual row, by its 8-digit date key (takes_keys() is true): the same
    // selection as operator() makes for a row of that date and value1 `value`.
    bool usual_row(int64_t key, double value) {
        return select([&] { return reach.begin_key(key); }, [&] { return reach.end_key(key); }, value);
    }

    bool operator()(const Row& row, const DateState* date) {
        return select([&] { return reach.begin(row, date); }, [&] { return reach.end(row, date); },
                      second ? row.value2 : row.value1);
    }

private:
    // One row: whether it reaches the beginning (until one has) and the
    // end, and its value written when selected. Answers whether to go on.
    template <class Begins, class Ends>
    bool select(Begins&& begins, Ends&& ends, double value) {
        any_row = true;
        bool last = false;
        if (started) {
            last = ends();
        } else {
            if (!begins()) return true;
            started = true;
            last = stop_from_start && ends();
        }
        if (written < cap) out[written++] = static_cast<float>(value);
        return !last && written < cap;
    }
};

}  // namespace

int64_t select_rows(const std::vector<Row>& rows, const char* begin, const char* end,
                    bool stop_from_start, int64_t* start) {
    *start = 0;
    if (rows.empty()) return 0;
    const int64_t count = static_cast<int64_t>(rows.size());
    Reach reach(begin, end);
    // The begin search runs to its end before the end search starts: both
    // parse into the state they share.
    int64_t first = -1;
    for (int64_t r = 0; r < count && first < 0; ++r)
        if (reach.begin(rows[static_cast<std::size_t>(r)])) first = r;
    if (first < 0) first = 0;
    int64_t last = -1;
    for (int64_t r = stop_from_start ? first : first + 1; r < count && last < 0; ++r)
        if (reach.end(rows[static_cast<std::size_t>(r)])) last = r;
    if (last < 0) last = count - 1;
    *start = first;
    return last - first + 1;
}

ReadStatus read_selection(const char* path, bool with_volume, const char* begin, const char* end,
                          bool stop_from_start, bool second, int64_t cap, float* out, int64_t* count) {
    *count = 0;
    platform::unique_file file(platform::open_regular_file(path));
    if (!file) return ReadStatus::kNotFound;
    SelectionSink sink{Reach(begin, end), stop_from_start, second, cap < 0 ? 0 : cap, out};
    RowBuilder<SelectionSink> builder(with_volume, &sink, !second, second);
    if (sink.cap > 0) read_chunks(file.get(), platform::file_size(file.get()), builder);
    // No row reaches the beginning: the selection starts at row 0 after all,
    // and its end search would go over the rows again.
    if (sink.cap > 0 && sink.any_row && !sink.started) return ReadStatus::kNoStart;
    *count = sink.written;
    return ReadStatus::kOk;
}

}  // namespace orvane
