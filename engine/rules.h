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

#include "engine/feed_policy.h"

// The signal codes (enum Signal) and the order the rules are tried in
// (kRuleOrder), made from the signal table by scripts/make_signals.py.
#include "signals/signal_codes.h"

namespace spreadcore {

// One bar and what the rules measure it against: the `periods` usable bars
// before it (their mean spread and volume, highest high, lowest low), the
// two usable bars before it, and the background trend.
struct BarContext {
    double high, low, close, volume;
    double next_close;  // or kNoNextClose
    double close_position;  // close_position(high, low, close)
    double mean_spread, mean_volume, highest, lowest;
    // The trend: the mean of the last `periods` closes against the mean of
    // the last 3 x `periods`. `slow_close` is NaN until 3 x `periods` bars
    // have passed: the trend is then unknown, neither up nor down.
    double fast_close, slow_close;
    double prev1_close, prev1_low, prev1_volume, prev2_volume;
};

// Whether the engine can use a bar: every value finite, the high not below
// the low, the volume not negative. A bar it cannot use answers kNone and
// joins no average.
inline bool usable(double high, double low, double close, double volume) {
    const bool high_finite = std::isfinite(high), low_finite = std::isfinite(low);
    const bool close_finite = std::isfinite(close), volume_finite = std::isfinite(volume);
    return high_finite & low_finite & close_finite & volume_finite & (high >= low) & (volume >= 0);
}

// Where the close is in the bar's range, 0 (the low) to 1 (the high); 0.5
// when the bar has no spread. No branch: a loop over many bars makes it for
// several at once.
inline double close_position(double high, double low, double close) {
    const double spread = high - low;
    const bool has_spread = spread > 0;
    const double position = (has_spread ? close - low : 0.5) / (has_spread ? spread : 1.0);
    return position < 0.0 ? 0.0 : (1.0 < position ? 1.0 : position);  // std::clamp to 0..1
}

namespace rules_detail {

// The code of the first rule in kRuleOrder that `holds`. Every rule is
// asked (no branch): the rules are tried from the last to the first, each
// that holds taking the place of the one found before.
template <class Holds, std::size_t... k>
inline int32_t first_holding(const Holds& holds, std::index_sequence<k...>) {
    constexpr std::size_t n = sizeof...(k);
    int32_t signal = kNone;
    // signal = holds ? rule : signal, in arithmetic.
    static_cast<void>(((signal ^= (signal ^ kRuleOrder[n - 1 - k]) & -static_cast<int32_t>(holds(kRuleOrder[n - 1 - k]))), ...));
    return signal;
}

}  // namespace rules_detail

// The bar's code, the averages known (at least `periods` and 2 usable bars
// before it). The conditions are plain booleans joined with `&`, so that a
// loop over many bars runs without a branch.
inline int32_t judge(const BarContext& b) {
    const double spread = b.high - b.low;
    const double avg_spread = b.mean_spread;
    const double avg_volume = b.mean_volume;
    const double v = b.volume;
    const double cp = b.close_position;
    const bool has_spread = spread > 0;

    const bool trend_up = b.fast_close > b.slow_close;
    const bool trend_down = b.fast_close < b.slow_close;
    const bool up_bar = b.close > b.prev1_close;
    const bool down_bar = b.close < b.prev1_close;
    const bool wide = (spread >= 1.5 * avg_spread) & has_spread;
    const bool narrow = spread < 0.8 * avg_spread;
    const bool at_least_average_spread = (spread >= avg_spread) & has_spread;
    const bool low_volume = (v < b.prev1_volume) & (v < b.prev2_volume);
    const bool volume_above = v > avg_volume;
    const bool high_volume = (v >= 1.5 * avg_volume) & (v > 0);
    const bool ultra_volume = (v >= 2.2 * avg_volume) & (v > 0);
    const bool finite_next = std::isfinite(b.next_close);
    const bool known_next = (b.next_close != kNoNextClose) & finite_next;
    // The next bar confirms unless it clearly goes the other way; on the
    // last bar (next close unknown) a signal stands unconfirmed.
    const bool next_not_lower = !known_next | (b.next_close >= b.close);
    const bool next_not_higher = !known_next | (b.next_close <= b.close);
    const bool new_low = b.low < b.lowest;
    const bool new_high = b.high > b.highest;

    // Each rule's conditions; the rules are tried in kRuleOrder.
    auto holds = [&](Signal rule) -> bool {
        switch (rule) {
            case kSellingClimax:
                return trend_down & ultra_volume & wide & new_low & (cp >= 0.3) & next_not_lower;
            case kBuyingClimax:
                return trend_up & ultra_volume & wide & new_high & (cp <= 0.7) & next_not_higher;
            case kShakeout:
                return !trend_down & wide & new_low & (cp >= 2.0 / 3.0) & high_volume & next_not_lower;
            case kUpthrust:
                return new_high & (cp <= 1.0 / 3.0) & at_least_average_spread & volume_above & next_not_higher;
            case kStoppingVolume:
                return trend_down & down_bar & high_volume & at_least_average_spread & (cp >= 0.5);
            case kEffortToRise:
                return up_bar & wide & (cp >= 2.0 / 3.0) & high_volume;
            case kEffortToFall:
                return down_bar & wide & (cp <= 1.0 / 3.0) & high_volume;
            case kTest:
                return !trend_down & (b.low < b.prev1_low) & (cp >= 0.5) & narrow & low_volume & next_not_lower;
            case kNoSupply:
                return down_bar & narrow & low_volume;
            case kNoDemand:
                return up_bar & narrow & low_volume;
            case kNone:
                break;
        }
        return false;
    };
    return rules_detail::first_holding(holds, std::make_index_sequence<std::size(kRuleOrder)>());
}

}  // namespace spreadcore
