// Moving-window sums computed afresh for every bar, in a fixed order, fast.
//
// The indicators define each bar's window sum as
//     sum = 0; for j = i down to i - periods + 1: sum = sum + x(j)
// with no running total carried between bars. That order of additions is part
// of the result (floating-point addition is not associative), so it is kept
// exactly; the speed comes from working on a block of bars at once: the block's
// element values x(j) are computed once into a small stack buffer, and the
// independent sums of the block advance together in vector registers, each
// lane adding its own bar's terms in the defined order. Nothing is allocated.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace barsight {

namespace detail {

// Two doubles in one vector register (SSE2 on x86, the shipped targets).
typedef double Pair __attribute__((vector_size(16)));

inline Pair load_pair(const double* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);  // unaligned load
    return v;
}

}  // namespace detail

// For every block of up to 64 bars from `first` to `last` calls
// block(i0, sums, n): sums[b] is the sum of x(i), x(i-1), ..., x(i - periods + 1)
// for bar i = i0 + b, added in that order starting from 0.0, for b < n.
// Requires periods >= 1; x is called only for bars in
// [first - periods + 1, last].
template <class Element, class Block>
void descending_window_block_sums(int32_t first, int32_t last, int32_t periods, Element&& x,
                                  Block&& block) {
    using detail::load_pair;
    using detail::Pair;
    constexpr int kBars = 64;   // sums of one block
    constexpr int kTerms = 64;  // window terms taken per pass over the block
    constexpr int kGroup = 16;  // sums held in registers at once (8 pairs)
    static_assert(kBars % kGroup == 0);
    alignas(16) double acc[kBars];
    double terms[kBars + kTerms - 1];

    for (int64_t i0 = first; i0 <= last; i0 += kBars) {
        const int bars = static_cast<int>(std::min<int64_t>(kBars, int64_t{last} - i0 + 1));
        std::fill(acc, acc + kBars, 0.0);
        for (int64_t k0 = 0; k0 < periods; k0 += kTerms) {
            const int nk = static_cast<int>(std::min<int64_t>(kTerms, periods - k0));
            // terms[t] = x(lowest + t): every element the block needs for
            // window offsets k0 .. k0 + nk - 1. Slots of bars past `last`
            // are zero so the fixed-width loops below never read past it.
            const int64_t lowest = i0 - k0 - nk + 1;
            const int used = bars + nk - 1;
            for (int t = 0; t < used; ++t) terms[t] = x(static_cast<int32_t>(lowest + t));
            std::fill(terms + used, terms + kBars + kTerms - 1, 0.0);
            // The element for bar i0 + b at offset k0 + k is terms[b + nk - 1 - k].
            for (int g = 0; g < kBars; g += kGroup) {
                // Eight named pairs so that they stay in registers.
                double* out = acc + g;
                Pair a0 = load_pair(out), a1 = load_pair(out + 2), a2 = load_pair(out + 4),
                     a3 = load_pair(out + 6), a4 = load_pair(out + 8), a5 = load_pair(out + 10),
                     a6 = load_pair(out + 12), a7 = load_pair(out + 14);
                for (int k = 0; k < nk; ++k) {
                    const double* row = terms + (nk - 1 - k) + g;
                    a0 += load_pair(row);
                    a1 += load_pair(row + 2);
                    a2 += load_pair(row + 4);
                    a3 += load_pair(row + 6);
                    a4 += load_pair(row + 8);
                    a5 += load_pair(row + 10);
                    a6 += load_pair(row + 12);
                    a7 += load_pair(row + 14);
                }
                const Pair result[] = {a0, a1, a2, a3, a4, a5, a6, a7};
                std::memcpy(out, result, sizeof result);
            }
        }
        block(static_cast<int32_t>(i0), static_cast<const double*>(acc), bars);
    }
}

// The same sums bar by bar: sink(i, sum) for every bar i in [first, last].
template <class Element, class Sink>
void descending_window_sums(int32_t first, int32_t last, int32_t periods, Element&& x,
                            Sink&& sink) {
    descending_window_block_sums(first, last, periods, x,
                                 [&](int32_t i0, const double* sums, int n) {
                                     for (int b = 0; b < n; ++b) sink(i0 + b, sums[b]);
                                 });
}

}  // namespace barsight
