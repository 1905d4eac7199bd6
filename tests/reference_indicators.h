// Plain per-window implementations of the windowed indicators, written as
// literally as the indicator definitions read: each bar's window summed afresh
// from its newest bar back to its oldest, every element computed inside the
// loop. The fast indicators must match these bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "indicator/float_range.h"
#include "indicator/local_indicators.h"

namespace reference {

// result[i] for i in [first + periods - 1, last]; other entries untouched.
inline void trend(const float* high, const float* low, const float* close, int32_t first,
                  int32_t last, int32_t periods, float* result) {
    for (int32_t i = first; i <= last; ++i) {
        if (i < first + periods - 1) continue;
        double sum = 0;
        for (int32_t j = i; j >= i - periods + 1; --j)
            sum = sum + (static_cast<double>(low[j]) + high[j] + close[j]) / 3.0;
        result[i] = barsight::store(sum / periods);
    }
}

// The class table as a chain of rows, the first match deciding.
inline int spread_class(double v, double average) {
    const double unit = average * 2.0 / 7.0;
    if (v < 0.000001) return 0;
    if (v <= unit) return 1;
    if (v <= unit * 3.0) return 2;
    if (v <= unit * 4.0) return 3;
    if (v <= unit * 6.0) return 4;
    if (v <= unit * 7.0) return 5;
    if (v > unit * 7.0) return 6;
    return 0;
}

inline void spread(const float* high, const float* low, const float* volume, int32_t first,
                   int32_t last, int32_t periods, int32_t mode, float* result) {
    for (int32_t i = first + periods - 1; i <= last; ++i) {
        double sum = 0;
        for (int32_t j = i; j >= i - periods + 1; --j)
            sum = sum + (mode == 0 ? static_cast<double>(volume[j])
                                   : static_cast<double>(high[j]) - low[j]);
        const double v =
            mode == 0 ? static_cast<double>(volume[i]) : static_cast<double>(high[i]) - low[i];
        result[i] = barsight::store(spread_class(v, sum / periods));
    }
}

}  // namespace reference
