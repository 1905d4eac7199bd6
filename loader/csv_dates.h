// Date reading for the CSV reader, the parts the selection shares with
// parse_date and format_key (csv_reader.h): the "%d" scan and the 8-digit
// key of a date as a number.
#pragma once

#include <cstdint>

#include "loader/csv_reader.h"

namespace orvane::detail {

// "%d": blanks, an optional sign, at least one digit; numbers past the
// int32 range saturate. Returns false (and leaves `out` and `p`) when there
// is no number; else moves `p` past it.
bool scan_int(const char*& p, int32_t* out);

// Keys of dates with a four-digit year and one- or two-digit month and day
// are 8 digits long; two of them compare as text exactly as their numbers
// compare. Returns that number, or -1 for any other date.
inline int64_t numeric_key(const DateState& s) {
    if (s.year < 1000 || s.year > 9999 || s.month < 0 || s.month > 99 || s.day < 0 || s.day > 99)
        return -1;
    return int64_t{s.year} * 10000 + s.month * 100 + s.day;
}

}  // namespace orvane::detail
