// Chunked line reading for the CSV reader: the file read block by block,
// split into the chunks a line read with an 80-byte buffer gives, and each
// chunk turned into a row for a sink (csv_reader.cpp collects the rows,
// csv_selection.cpp selects while reading). The line feeds and the usual
// short date "m/d/yyyy," are found with SSE2 compares.
//
// A sink has `static constexpr bool kReadsDateText` (whether it reads
// Row::date_text when the date also comes parsed), `kTakesKeys` (whether it
// may take the usual row of a one-value read as a date key, through
// `takes_keys()` and `usual_row(key, value)`), and
// `bool operator()(const Row&, const DateState* date)`, which answers
// whether it wants more rows.
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
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <emmintrin.h>  // SSE2, which every target the plug-ins ship for has

#include "loader/csv_numbers.h"
#include "loader/csv_reader.h"

namespace orvane::detail {

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

// Bit k set when byte k of the 16 in `v` is `c`.
inline uint32_t byte_bits(__m128i v, char c) {
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
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

}  // namespace orvane::detail
