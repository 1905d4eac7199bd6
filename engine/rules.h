// The signal rules: what each rule asks of one bar, written once, read by
// both faces of the engine (Analyzer, a bar at a time, and the batch kernel
// of engine/batch.h, a whole series at once).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>

#include "engine/background.h"
#include "engine/feed_policy.h"

// The signal codes (enum Signal) and the order the rules are tried in
// (kRuleOrder), made from the signal table by generators/make_signals.py.
#include "signals/signal_codes.h"

namespace spreadcore {

// One bar and what the rules measure it against: the `periods` usable bars
// before it (their mean spread and volume, highest high, lowest low), the
// two usable bars before it, and the background trend. `Number` is double
// for one bar, or a type holding the same value of several bars
// (platform/lanes.h) with the same arithmetic and comparisons.
template <class Number>
struct Context {
    Number high, low, close, volume;
    Number next_close;      // or kNoNextClose
    Number close_position;  // close_position(high, low, close)
    Number mean_spread, mean_volume, highest, lowest;
    // The trend: the mean of the last `periods` closes against the mean of
    // the last 3 x `periods`. `slow_close` is NaN until 3 x `periods` bars
    // have passed: the trend is then unknown, neither up nor down.
    Number fast_close, slow_close;
    Number prev1_close, prev1_low, prev1_volume, prev2_volume;
    Number prev1_high;
    // The intermediate and long trends: the means of the last 9N and 27N
    // closes, each NaN until that many bars have passed.
    Number mid_close, long_close;
};
using BarContext = Context<double>;

// What the rules ask of a bar. `Truth` is bool for one bar; the batch
// kernel holds each as a word of bits, one bar a bit, and joins the words.
// `behind` is the bar's background (engine/background.h), made a bar at a
// time; everything else is the bar against its context.
template <class Truth>
struct Conditions {
    Truth trend_up, trend_down, trend_not_down;
    // The mean of the last 3N closes against 9N; of 9N against 27N.
    Truth trend_mid_up, trend_mid_down, trend_long_up, trend_long_down;
    Truth up_bar, down_bar;
    Truth wide, narrow, at_least_average_spread;
    Truth low_volume, volume_above_average, high_volume, ultra_volume;
    Truth new_high, new_low, below_previous_low;
    // The next close is unknown, or does not go the other way.
    Truth next_not_higher, next_not_lower;
    // The close position at least / at most a fraction of the range.
    Truth position_from_0_3, position_to_0_7, position_from_2_3, position_to_1_3, position_from_0_5;
    Truth position_to_0_5, middle_third;  // cp <= 0.5; 1/3 < cp < 2/3
    Truth below_average_spread, volume_below_average, not_ultra_volume;
    Truth gap_up;  // the low above the previous bar's high
    // The next close is known and below this bar's low.
    Truth next_below_low;
    Behind<Truth> behind;

    // f(a condition, the same condition of each of `others`), for each
    // condition.
    template <class F, class... Others>
    [[gnu::always_inline]] void with(F&& f, const Conditions<Others>&... others) {
        f(trend_up, others.trend_up...), f(trend_down, others.trend_down...);
        f(trend_not_down, others.trend_not_down...), f(trend_mid_up, others.trend_mid_up...);
        f(trend_mid_down, others.trend_mid_down...), f(trend_long_up, others.trend_long_up...);
        f(trend_long_down, others.trend_long_down...), f(up_bar, others.up_bar...), f(down_bar, others.down_bar...);
        f(wide, others.wide...), f(narrow, others.narrow...);
        f(at_least_average_spread, others.at_least_average_spread...), f(low_volume, others.low_volume...);
        f(volume_above_average, others.volume_above_average...), f(high_volume, others.high_volume...);
        f(ultra_volume, others.ultra_volume...), f(new_high, others.new_high...), f(new_low, others.new_low...);
        f(below_previous_low, others.below_previous_low...), f(next_not_higher, others.next_not_higher...);
        f(next_not_lower, others.next_not_lower...), f(position_from_0_3, others.position_from_0_3...);
        f(position_to_0_7, others.position_to_0_7...), f(position_from_2_3, others.position_from_2_3...);
        f(position_to_1_3, others.position_to_1_3...), f(position_from_0_5, others.position_from_0_5...);
        f(position_to_0_5, others.position_to_0_5...), f(middle_third, others.middle_third...);
        f(below_average_spread, others.below_average_spread...);
        f(volume_below_average, others.volume_below_average...), f(not_ultra_volume, others.not_ultra_volume...);
        f(gap_up, others.gap_up...), f(next_below_low, others.next_below_low...);
    }
};

inline bool inverse(bool b) { return !b; }
inline uint64_t inverse(uint64_t word) { return ~word; }
inline bool finite(double x) { return std::isfinite(x); }

// The conditions of a bar (or of several, `Number` holding several).
template <class Number>
[[gnu::always_inline]] inline auto conditions(const Context<Number>& b) {
    using Truth = decltype(b.high > b.low);
    const Number spread = b.high - b.low;
    const Number& v = b.volume;
    const Number& cp = b.close_position;
    const Truth has_spread = spread > 0.0;
    const Truth has_volume = v > 0.0;
    const Truth next_finite = finite(b.next_close);
    const Truth known_next = (b.next_close != kNoNextClose) & next_finite;
    const Truth trend_down = b.fast_close < b.slow_close;
    Conditions<Truth> c;
    c.trend_up = b.fast_close > b.slow_close;
    c.trend_down = trend_down;
    c.trend_not_down = inverse(trend_down);
    c.trend_mid_up = b.slow_close > b.mid_close;
    c.trend_mid_down = b.slow_close < b.mid_close;
    c.trend_long_up = b.mid_close > b.long_close;
    c.trend_long_down = b.mid_close < b.long_close;
    c.up_bar = b.close > b.prev1_close;
    c.down_bar = b.close < b.prev1_close;
    c.wide = (spread >= 1.5 * b.mean_spread) & has_spread;
    c.narrow = spread < 0.8 * b.mean_spread;
    c.at_least_average_spread = (spread >= b.mean_spread) & has_spread;
    c.low_volume = (v < b.prev1_volume) & (v < b.prev2_volume);
    c.volume_above_average = v > b.mean_volume;
    c.high_volume = (v >= 1.5 * b.mean_volume) & has_volume;
    c.ultra_volume = (v >= 2.2 * b.mean_volume) & has_volume;
    c.new_high = b.high > b.highest;
    c.new_low = b.low < b.lowest;
    c.below_previous_low = b.low < b.prev1_low;
    // The next bar confirms unless it clearly goes the other way; on the
    // last bar (next close unknown) a signal stands unconfirmed.
    c.next_not_higher = inverse(known_next) | (b.next_close <= b.close);
    c.next_not_lower = inverse(known_next) | (b.next_close >= b.close);
    c.position_from_0_3 = cp >= 0.3;
    c.position_to_0_7 = cp <= 0.7;
    c.position_from_2_3 = cp >= 2.0 / 3.0;
    c.position_to_1_3 = cp <= 1.0 / 3.0;
    c.position_from_0_5 = cp >= 0.5;
    c.position_to_0_5 = cp <= 0.5;
    c.middle_third = (cp > 1.0 / 3.0) & (cp < 2.0 / 3.0);
    c.below_average_spread = spread < b.mean_spread;
    c.volume_below_average = v < b.mean_volume;
    c.not_ultra_volume = inverse(c.ultra_volume);
    c.gap_up = b.low > b.prev1_high;
    c.next_below_low = known_next & (b.next_close < b.low);
    return c;
}

// Whether `rule` holds: each rule's conditions, the one place they are
// written (engine/README.md gives them in words). The rules are tried in
// kRuleOrder, each with its rule known when compiled: inlined there, the
// switch leaves only that rule's conditions.
template <class Truth>
[[gnu::always_inline]] inline Truth holds(Signal rule, const Conditions<Truth>& c) {
    const Behind<Truth>& bg = c.behind;
    switch (rule) {
        case kSellingClimax:
            return c.trend_down & c.ultra_volume & c.wide & c.new_low & c.position_from_0_3 & c.next_not_lower;
        case kBuyingClimax:
            return c.trend_up & c.ultra_volume & c.wide & c.new_high & c.position_to_0_7 & c.next_not_higher;
        case kEndOfARisingMarket:
            return c.trend_mid_up & c.trend_long_up & c.ultra_volume & c.new_high & (c.narrow | c.gap_up) &
                   c.position_to_0_7;
        case kSpring:
            return bg.accumulation & bg.pierces_range_low & c.position_from_0_5 & c.next_not_lower;
        case kUpthrustAfterDistribution:
            return bg.distribution & bg.pierces_range_high & c.position_to_0_5 & c.next_not_higher;
        case kShakeout:
            return c.trend_not_down & c.wide & c.new_low & c.position_from_2_3 & c.high_volume & c.next_not_lower;
        case kUpthrust:
            return c.new_high & c.position_to_1_3 & c.at_least_average_spread & c.volume_above_average &
                   (c.trend_up | bg.weakness_behind) & c.next_not_higher;
        case kPseudoUpthrust:
            return c.new_high & c.position_to_1_3 & c.at_least_average_spread & c.low_volume &
                   (c.trend_up | bg.weakness_behind) & c.next_not_higher;
        case kReverseUpthrust:
            return c.new_low & c.position_from_2_3 & c.at_least_average_spread & c.volume_above_average &
                   (c.trend_down | bg.strength_behind) & c.next_not_lower;
        case kSignOfWeakness:
            return bg.distribution & bg.closes_below_range & c.down_bar & c.wide & c.high_volume & c.position_to_1_3;
        case kSignOfStrength:
            return bg.accumulation & bg.closes_above_range & c.up_bar & c.wide & c.high_volume & c.position_from_2_3;
        case kPushThroughSupply:
            return bg.crosses_level_high & c.up_bar & c.wide & c.high_volume & c.position_from_2_3;
        case kBreakOfSupport:
            return c.trend_mid_up & (c.new_low | bg.crosses_level_low) & c.down_bar & c.wide &
                   c.volume_above_average & c.not_ultra_volume & c.position_to_1_3;
        case kFailedEffortToRise:
            return bg.prev_effort_up & c.high_volume & c.position_to_1_3;
        case kFailedEffortToFall:
            return bg.prev_effort_down & c.high_volume & c.position_from_2_3;
        case kNoResultFromEffort:
            return bg.prev_wide_up_high_volume & c.down_bar & c.at_least_average_spread & c.position_to_1_3;
        case kTopReversal:
            return c.trend_up & bg.prev_wide_up_closing_high & c.down_bar & c.at_least_average_spread &
                   c.position_to_1_3;
        case kBottomReversal:
            return c.trend_down & bg.prev_wide_down_closing_low & c.up_bar & c.at_least_average_spread &
                   c.position_from_2_3;
        case kStoppingVolume:
            return c.trend_down & c.down_bar & c.high_volume & c.at_least_average_spread & c.position_from_0_5;
        case kEffortToRise:
            return c.up_bar & c.wide & c.position_from_2_3 & c.high_volume;
        case kEffortToFall:
            return c.down_bar & c.wide & c.position_to_1_3 & c.high_volume;
        case kSupplySwampingDemand:
            return c.trend_up & c.up_bar & c.narrow & c.high_volume & c.middle_third;
        case kPreliminarySupport:
            return c.trend_down & c.trend_mid_down & c.down_bar & c.high_volume & c.below_average_spread &
                   c.position_from_0_5;
        case kPreliminarySupply:
            return c.trend_up & c.trend_mid_up & c.up_bar & c.high_volume & c.below_average_spread &
                   c.position_to_0_5;
        case kLastPointOfSupply:
            return bg.after_breakdown & c.up_bar & c.narrow & c.volume_below_average;
        case kLastPointOfSupport:
            return bg.after_breakout & c.down_bar & c.narrow & c.volume_below_average;
        case kHighVolumeTest:
            return bg.strength_behind & c.below_previous_low & c.position_from_0_5 & c.narrow & c.high_volume &
                   c.next_not_lower;
        case kFailedTest:
            return c.trend_not_down & c.below_previous_low & c.position_from_0_5 & c.narrow & c.low_volume &
                   c.next_below_low;
        case kSecondaryTest:
            return bg.accumulation & bg.near_range_low & c.below_average_spread & c.volume_below_average;
        case kSecondaryTestOfSupply:
            return bg.distribution & bg.near_range_high & c.below_average_spread & c.volume_below_average;
        case kTest:
            return c.trend_not_down & inverse(bg.weakness_behind) & c.below_previous_low & c.position_from_0_5 &
                   c.narrow & c.low_volume & c.next_not_lower;
        case kFallingPressure:
            return c.down_bar & c.wide & c.position_to_1_3 & c.low_volume;
        case kNoSupply:
            return inverse(bg.weakness_behind) & c.down_bar & c.narrow & c.low_volume;
        case kNoDemand:
            return inverse(bg.strength_behind) & c.up_bar & c.narrow & c.low_volume;
        case kNone:
            break;
    }
    return Truth{};
}

// A judged bar's events (engine/background.h), read from its shape alone:
// f(the BarEvent, whether the bar shows it).
template <class Truth, class F>
void bar_events(const Conditions<Truth>& c, F&& f) {
    const Truth selling_climax = c.ultra_volume & c.wide & c.new_low & c.position_from_0_3;
    const Truth buying_climax = c.ultra_volume & c.wide & c.new_high & c.position_to_0_7;
    f(kStrengthClimaxBar, selling_climax | (c.trend_down & c.down_bar & c.high_volume & c.at_least_average_spread &
                                            c.position_from_0_5));
    f(kWeaknessClimaxBar, buying_climax | (c.new_high & c.position_to_1_3 & c.at_least_average_spread &
                                           c.volume_above_average));
    f(kSellingClimaxBar, selling_climax);
    f(kBuyingClimaxBar, buying_climax);
    f(kLevelBar, c.wide & c.high_volume);
    f(kEffortUpBar, c.up_bar & c.wide & c.position_from_2_3 & c.high_volume);
    f(kEffortDownBar, c.down_bar & c.wide & c.position_to_1_3 & c.high_volume);
    f(kWideUpHighVolumeBar, c.up_bar & c.wide & c.high_volume);
    f(kWideUpClosingHighBar, c.up_bar & c.wide & c.position_from_2_3);
    f(kWideDownClosingLowBar, c.down_bar & c.wide & c.position_to_1_3);
}

// The events of one bar as flags.
inline uint32_t bar_events(const Conditions<bool>& c) {
    uint32_t events = 0;
    bar_events(c, [&events](BarEvent e, bool shows) { events |= shows ? static_cast<uint32_t>(e) : 0u; });
    return events;
}

// Whether the engine can use a bar: every value finite, the high not below
// the low, the volume not negative. A bar it cannot use answers kNone and
// joins no average. (`Number` as for Context.)
template <class Number>
auto usable(const Number& high, const Number& low, const Number& close, const Number& volume) {
    using Truth = decltype(high > low);
    const Truth high_finite = finite(high), low_finite = finite(low);
    const Truth close_finite = finite(close), volume_finite = finite(volume);
    return static_cast<Truth>(high_finite & low_finite & close_finite & volume_finite & (high >= low) &
                              (volume >= 0.0));
}

inline double select(bool m, double a, double b) { return m ? a : b; }

// Where the close is in the bar's range, 0 (the low) to 1 (the high); 0.5
// when the bar has no spread (0.5 / 1 then). No branch, so that it is made
// for several bars at once (`Number` holding several).
template <class Number>
Number close_position(const Number& high, const Number& low, const Number& close) {
    const Number spread = high - low;
    const auto has_spread = spread > 0.0;
    const Number position = select(has_spread, close - low, 0.5) / select(has_spread, spread, 1.0);
    return select(position < 0.0, 0.0, select(1.0 < position, 1.0, position));  // std::clamp to 0..1
}

namespace rules_detail {

// The code of the first rule in kRuleOrder that holds.
template <std::size_t... k>
inline int32_t first_holding(const Conditions<bool>& c, std::index_sequence<k...>) {
    int32_t signal = kNone;
    static_cast<void>(((holds(kRuleOrder[k], c) ? (signal = kRuleOrder[k], true) : false) || ...));
    return signal;
}

}  // namespace rules_detail

// The code of a bar's conditions (its background among them).
inline int32_t judge(const Conditions<bool>& c) {
    return rules_detail::first_holding(c, std::make_index_sequence<std::size(kRuleOrder)>());
}

}  // namespace spreadcore
