// Spreadcore's three entry points, as the indicator library calls them.
#pragma once

#include <cstdint>

#include "msx/msx_records.h"

extern "C" {

// Opens an analysis instance for one chart. `app` and `symbol` may be null;
// `periods` (1 to 10000) is the averaging length. Returns a positive handle,
// or 0 when refused: periods out of range, 4096 instances open already, or
// no memory for the instance.
MSX_API int32_t AddToChartEx(const char* app, const char* symbol, int32_t periods);

// Takes the next bar of the chart and returns its signal code (0 for none,
// and for an unknown handle). With `confirmanalysis` non-zero it takes no
// bar: it answers the last bar taken judged again with `close_next_bar`
// (its next close once that bar has closed), and the bar values are not read.
MSX_API int32_t AnalysePosn(int32_t handle, int32_t pos, double date, double open, double high,
                            double low, double close, double volume, double close_next_bar,
                            int32_t confirmanalysis);

// Closes the instance and frees all it kept: 1 when the handle was open, else 0.
MSX_API int32_t RemoveFromChart(int32_t handle);

}  // extern "C"

namespace spreadcore {

// Tests: while on, every instance's memory "cannot be allocated" (as in a
// 32-bit host whose address space is full).
void fail_allocations_for_testing(bool on) noexcept;

}  // namespace spreadcore
