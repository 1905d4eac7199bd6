// The run of rows a selection takes, shared by the loader's fast reading and
// its literal one (they differ in how a row's date is compared, not in
// which rows the comparisons select).
#pragma once

#include <cstdint>

namespace orvane {

// The first of `count` rows that reaches the beginning date (row 0 when
// none does), through the first row after it (at it, `stop_from_start`)
// that reaches the ending date (the last row when none does); the searches
// run in that order, the first to its end before the second starts.
// Returns the count (0 for no rows) and sets `*start` to the first row.
template <class ReachesBegin, class ReachesEnd>
int64_t select_run(int64_t count, bool stop_from_start, ReachesBegin&& reaches_begin,
                   ReachesEnd&& reaches_end, int64_t* start) {
    *start = 0;
    if (count <= 0) return 0;
    int64_t first = -1;
    for (int64_t r = 0; r < count && first < 0; ++r)
        if (reaches_begin(r)) first = r;
    if (first < 0) first = 0;
    int64_t last = -1;
    for (int64_t r = stop_from_start ? first : first + 1; r < count && last < 0; ++r)
        if (reaches_end(r)) last = r;
    if (last < 0) last = count - 1;
    *start = first;
    return last - first + 1;
}

}  // namespace orvane
