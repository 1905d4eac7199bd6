// Moving-window sums computed afresh for every bar, in a fixed order, fast.
//
// The indicators define each bar's window sum as
//     sum = 0; for j = i down to i - periods + 1: sum = sum + x(j)
// with no running total carried between bars. That order of additions is part
// of the result (floating-point addition is not associative), so it is kept
// exactly; the speed comes from working on a block of bars at once: the block's
// element values x(j) are computed once into a small stack buffer, and the
// independent sums of the block advance together, which the compiler turns
// into vector additions. Nothing is allocated.
#pragma once

#include <algorithm>
#include <cstdint>

namespace barsight {

// For every bar i in [first, last] calls sink(i, sum of x(i), x(i-1), ...,
// x(i - periods + 1) added in that order starting from 0.0). Requires
// periods >= 1; x is called only for bars in [first - periods + 1, last].
template <class Element, class Sink>
void descending_window_sums(int32_t first, int32_t last, int32_t periods, Element&& x,
                            Sink&& sink) {
    constexpr int kBars = 64;   // sums advanced together
    constexpr int kTerms = 64;  // window terms taken per pass over the block
    double acc[kBars];
    double terms[kBars + kTerms - 1];

    for (int64_t i0 = first; i0 <= last; i0 += kBars) {
        const int bars = static_cast<int>(std::min<int64_t>(kBars, int64_t{last} - i0 + 1));
        std::fill(acc, acc + kBars, 0.0);
        for (int64_t k0 = 0; k0 < periods; k0 += kTerms) {
            const int nk = static_cast<int>(std::min<int64_t>(kTerms, periods - k0));
            // terms[t] = x(lowest + t): every element the block needs for
            // window offsets k0 .. k0 + nk - 1. Slots of bars past `last`
            // are zero so the fixed-width loop below never reads past it.
            const int64_t lowest = i0 - k0 - nk + 1;
            const int used = bars + nk - 1;
            for (int t = 0; t < used; ++t) terms[t] = x(static_cast<int32_t>(lowest + t));
            std::fill(terms + used, terms + kBars + kTerms - 1, 0.0);
            for (int k = 0; k < nk; ++k) {
                // Element for bar i0 + b at offset k0 + k is terms[b + nk - 1 - k].
                const double* row = terms + (nk - 1 - k);
                for (int b = 0; b < kBars; ++b) acc[b] += row[b];
            }
        }
        for (int b = 0; b < bars; ++b) sink(static_cast<int32_t>(i0 + b), acc[b]);
    }
}

}  // namespace barsight
