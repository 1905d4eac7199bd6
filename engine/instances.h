// Spreadcore's three entry points, as the indicator library calls them.
#pragma once

#include <cstdint>

#include "msx/calling_convention.h"

// The exports themselves (AddToChartEx, AnalysePosn, RemoveFromChart) are
// made from engine/Spreadcore.exports; each answers 0 when its body throws.
#include "boundary/Spreadcore_exports.h"

namespace spreadcore {

// Tests: while on, every instance's memory "cannot be allocated" (as in a
// 32-bit host whose address space is full).
void fail_allocations_for_testing(bool on) noexcept;

// AddToChartEx: opens an analysis instance for one chart. `app` and
// `symbol` are not read; `periods` (1 to 10000) is the averaging length.
// Returns a positive handle, or 0 when refused: periods out of range, or
// 4096 instances open already. Throws when there is no memory for it.
int32_t add_to_chart(const char* app, const char* symbol, int32_t periods);

// AnalysePosn: takes the next bar of the chart and returns its signal code
// (0 for none, and for an unknown handle). With `confirmanalysis` non-zero
// it takes no bar: it answers the last bar taken judged again with
// `close_next_bar` (its next close once that bar has closed), and the bar
// values are not read. The position, date and open are never read.
int32_t analyse_position(int32_t handle, int32_t pos, double date, double open, double high, double low,
                         double close, double volume, double close_next_bar, int32_t confirmanalysis);

// RemoveFromChart: closes the instance and frees all it kept: 1 when the
// handle was open, else 0.
int32_t remove_from_chart(int32_t handle);

// AnalyseSeries: the engine's own codes of a whole series at once, no feed
// policy: codes[i] is what feeding bars 0 to i through AnalysePosn, each
// with its next close (the last with -1), answers for bar i. Returns
// `count`; 0 for a null pointer, `count` below 0 or `periods` outside 1 to
// 10000, and then `codes` is not touched. Needs no instance: the arrays are
// read while it runs, and `codes` holds `count` values.
int32_t analyse_whole_series(const double* high, const double* low, const double* close, const double* volume,
                             int32_t count, int32_t periods, int32_t* codes);

// BackgroundOf: the background the instance's last bar taken was judged
// against (BackgroundView), as up to `count` of these ten values in order:
// the short, intermediate and long trends (1 up, -1 down, 0 unknown or
// flat), the latest climax's side (1 strength, -1 weakness, 0 none within
// its memory) and age in bars (-1 for none), the range's side (1
// accumulation, -1 distribution, 0 none), its low and high, and the
// nearest level below and above the close (NaN where there is none).
// Returns the number written; 0 for an unknown handle, a null array or
// `count` below 1, and then `values` is not touched.
inline constexpr int32_t kBackgroundValues = 10;
int32_t background_of(int32_t handle, double* values, int32_t count);

}  // namespace spreadcore
