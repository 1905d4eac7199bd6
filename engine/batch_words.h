// The batch kernel's two loops over a word of bars that work several bars
// at once (engine/batch.h): the conditions of each bar against its context,
// and each bar placed against its background's range and levels, each kept
// as words, one bit a bar. Written once for any type of platform/lanes.h's
// shape (`Lanes`, with its `Mask`): engine/batch.cpp makes them with SSE2's
// two bars a register, engine/batch_avx2.cpp with AVX2's four, and the
// kernel takes the widest the processor runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/rules.h"

namespace spreadcore {

// A word of 64 bars' conditions: bit k for bar k.
using Word = uint64_t;
constexpr std::size_t kWord = 64;

// What the word loops read of a block, one value a bar (bar k of the
// block at [k]; the bar before it at [k - 1], before that at [k - 2]). The
// loops read up to kBlockPad values past a block's last bar (their bits
// are then never used), so each column has that many more.
struct BlockColumns {
    static constexpr std::size_t kBlockPad = 8;
    const double *high, *low, *close, *volume, *next;
    // The sums the windows held before each bar, and its extremes.
    const double *spread_sum, *volume_sum, *close_sum, *long_sum, *mid_sum, *longest_sum;
    const double *highest, *lowest;
    // Each bar's background range.
    const double *range_low, *range_high;
    // The windows' lengths: N, 3N, 9N and 27N.
    double size, long_size, mid_size, longest_size;
};

// The conditions of bars base to base + n - 1 (n at most kWord) as bits
// 0 to n - 1 of `words` (the background's words are not touched; bits from
// n up are left as they are).
template <class Lanes>
void word_conditions(const BlockColumns& c, std::size_t base, std::size_t n, Conditions<Word>& words) {
    // Bars k to k + width - 1 as the rules read them; the means made here,
    // where the divisions overlap the rest.
    const auto context = [&c](std::size_t k) {
        const Lanes high = Lanes::load(&c.high[k]), low = Lanes::load(&c.low[k]), close = Lanes::load(&c.close[k]);
        return Context<Lanes>{high,
                              low,
                              close,
                              Lanes::load(&c.volume[k]),
                              Lanes::load(&c.next[k]),
                              close_position(high, low, close),
                              Lanes::load(&c.spread_sum[k]) / c.size,
                              Lanes::load(&c.volume_sum[k]) / c.size,
                              Lanes::load(&c.highest[k]),
                              Lanes::load(&c.lowest[k]),
                              Lanes::load(&c.close_sum[k]) / c.size,
                              Lanes::load(&c.long_sum[k]) / c.long_size,
                              Lanes::load(&c.close[k - 1]),
                              Lanes::load(&c.low[k - 1]),
                              Lanes::load(&c.volume[k - 1]),
                              Lanes::load(&c.volume[k - 2]),
                              Lanes::load(&c.high[k - 1]),
                              Lanes::load(&c.mid_sum[k]) / c.mid_size,
                              Lanes::load(&c.longest_sum[k]) / c.longest_size};
    };
    constexpr std::size_t width = Lanes::kWidth;
    // Two registers' bars a step, their bits packed together.
    for (std::size_t p = 0; p < n; p += 2 * width) {
        const auto first = conditions(context(base + p));
        const auto second = conditions(context(base + p + width));
        words.with([p](Word& word, auto a, auto b) { word |= Word{bits(a, b)} << p; }, first, second);
    }
}

// Bars base + from to base + end - 1 (from < end <= kWord) against their
// ranges and the levels they all have (`level_highs`, `level_lows`: the
// levels change only at a level bar, so the kernel places a run of bars at
// a time), as bits from to end - 1 of the placement words of `behind`;
// without `any_range` (none of the bars has a range behind it) only
// against the levels, the range's truths left false, as NaN leaves them.
template <class Lanes>
void word_placement(const BlockColumns& c, std::size_t base, std::size_t from, std::size_t end,
                    const double* level_highs, const double* level_lows, bool any_range, Behind<Word>& behind) {
    using Truth = decltype(Lanes::load(c.high) < Lanes::load(c.low));
    Lanes level_high[kLevels], level_low[kLevels];
    for (int j = 0; j < kLevels; ++j) {
        level_high[j] = Lanes::all(level_highs[j]), level_low[j] = Lanes::all(level_lows[j]);
    }
    constexpr std::size_t width = Lanes::kWidth, step = 2 * width;
    const Word run = (end >= kWord ? ~Word{0} : (Word{1} << end) - 1) & ~((Word{1} << from) - 1);
    const auto loop = [&](auto with_range) {
        const auto place = [&](std::size_t k, Behind<Truth>& placed) {
            const Lanes close = Lanes::load(&c.close[k]);
            if constexpr (with_range) {
                place_in_range(Lanes::load(&c.high[k]), Lanes::load(&c.low[k]), close,
                               Lanes::load(&c.spread_sum[k]) / c.size, Lanes::load(&c.range_low[k]),
                               Lanes::load(&c.range_high[k]), placed);
            }
            cross_levels(close, Lanes::load(&c.close[k - 1]), level_high, level_low, placed);
        };
        for (std::size_t p = from / step * step; p < end; p += step) {
            Behind<Truth> first, second;
            place(base + p, first);
            place(base + p + width, second);
            const auto take_bits = [p, run](Word& word, Truth a, Truth b) { word |= Word{bits(a, b)} << p & run; };
            if constexpr (with_range) {
                take_bits(behind.pierces_range_low, first.pierces_range_low, second.pierces_range_low);
                take_bits(behind.pierces_range_high, first.pierces_range_high, second.pierces_range_high);
                take_bits(behind.closes_above_range, first.closes_above_range, second.closes_above_range);
                take_bits(behind.closes_below_range, first.closes_below_range, second.closes_below_range);
                take_bits(behind.near_range_low, first.near_range_low, second.near_range_low);
                take_bits(behind.near_range_high, first.near_range_high, second.near_range_high);
            }
            take_bits(behind.crosses_level_high, first.crosses_level_high, second.crosses_level_high);
            take_bits(behind.crosses_level_low, first.crosses_level_low, second.crosses_level_low);
        }
    };
    if (any_range) {
        loop(std::true_type{});
    } else {
        loop(std::false_type{});
    }
}

// The two loops made for one kind of lanes, as the kernel calls them.
struct WordLoops {
    void (*conditions)(const BlockColumns&, std::size_t base, std::size_t n, Conditions<Word>&);
    void (*placement)(const BlockColumns&, std::size_t base, std::size_t from, std::size_t end,
                      const double* level_highs, const double* level_lows, bool any_range, Behind<Word>&);
};

}  // namespace spreadcore
