// The background of a bar: what came before it, as the rules read it.
// Volume spread analysis judges no bar alone: the same narrow up bar on low
// volume is weakness after a buying climax and mere quiet after a selling
// climax. Everything here is made from bars that have closed before the bar
// judged, so a code never reads its own background from the future, and
// both faces of the engine (the Analyzer, a bar at a time, and the batch
// kernel) step the same Background with the same bars, so they read the
// same background bar for bar.
//
// What it keeps (the trends of three degrees are the bar's context, with
// its averages: engine/rules.h):
//   the last climax                    the side and age of the latest
//                                      climactic bar: a selling climax or
//                                      stopping volume (strength), a buying
//                                      climax or upthrust (weakness)
//   the trading range                  set by a selling climax (its low) and
//                                      the automatic rally of the N bars
//                                      after it (their highest high), or a
//                                      buying climax (its high) and the
//                                      automatic reaction (the lowest low);
//                                      it ends after three closes in a row
//                                      outside it, or at the next climax
//   the breakout                       the last effort through the range's
//                                      top (out of accumulation) or bottom
//                                      (out of distribution)
//   levels                             the highs and lows of the last four
//                                      wide bars on high volume, where
//                                      supply and demand were met before
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/lanes.h"

namespace spreadcore {

// A running mean over the last `size` values. The sum is recomputed from the
// values each time the window wraps, so rounding never accumulates (and one
// huge value does not spoil the averages after it has left).
class Window {
public:
    explicit Window(int size) : values_(static_cast<std::size_t>(size), 0.0) {}
    void push(double v) {
        Pushing w = pushing();
        w.push(v);
        keep(w);
    }
    // Each of `count` values pushed in turn into each of three windows,
    // sums[w][k] the sum of windows[w] before values[k], or NaN while it
    // fills: sums[w][k] / size() is mean_when_full() before values[k], the
    // same sums as push a value at a time. The windows' states are held in
    // locals, and their sums' chains of additions run side by side (the
    // caller divides, several at a time).
    static void push_all(Window* const (&windows)[3], double* const (&sums)[3], const double* values,
                         std::size_t count);
    std::size_t size() const { return values_.size(); }
    bool full() const { return count_ >= values_.size(); }
    double mean() const { return sum_ / static_cast<double>(values_.size()); }
    // The mean, or NaN while the window is filling.
    double mean_when_full() const { return full() ? mean() : std::numeric_limits<double>::quiet_NaN(); }

private:
    // The window's state in locals while values are pushed.
    struct Pushing {
        double* ring;
        std::size_t size, next, filled;
        double sum;
        // NaN while the window fills, then 0: added to the sum (never -0,
        // so the sum is unchanged) it gives what the means read.
        double unknown;

        // Pushes `value` (replacing the oldest, 0 while the window fills);
        // answers the sum before it (NaN while the window fills). The sum
        // is made afresh from the values each time the window wraps.
        double push(double value) {
            const double before = sum + unknown;
            const double old = ring[next];
            ring[next] = value;
            sum += value - old;
            if (filled < size && ++filled == size) unknown = 0.0;
            if (++next == size) {
                next = 0;
                sum = 0;
                for (std::size_t i = 0; i < size; ++i) sum += ring[i];
            }
            return before;
        }
    };
    Pushing pushing() {
        const std::size_t size = values_.size();
        return {values_.data(), size, next_, count_, sum_,
                count_ >= size ? 0.0 : std::numeric_limits<double>::quiet_NaN()};
    }
    void keep(const Pushing& w) { next_ = w.next, count_ = w.filled, sum_ = w.sum; }

    std::vector<double> values_;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
    double sum_ = 0;
};

// What a judged bar showed, for the background of the bars after it: bit
// flags of its shape, read without its next close (so a revised code never
// changes a later bar's background). Bars before the averages are known
// show none.
enum BarEvent : uint32_t {
    kStrengthClimaxBar = 1u << 0,   // selling climax or stopping volume shape
    kWeaknessClimaxBar = 1u << 1,   // buying climax or upthrust shape
    kSellingClimaxBar = 1u << 2,    // ultra-high volume, wide, new low, closing off the low: starts a range
    kBuyingClimaxBar = 1u << 3,     // ultra-high volume, wide, new high, closing off the high: starts a range
    kLevelBar = 1u << 4,            // wide on high volume: its high and low become a level
    kEffortUpBar = 1u << 5,         // up bar, wide, high volume, closing high
    kEffortDownBar = 1u << 6,       // down bar, wide, high volume, closing low
    kWideUpHighVolumeBar = 1u << 7, // up bar, wide, high volume
    kWideUpClosingHighBar = 1u << 8,
    kWideDownClosingLowBar = 1u << 9,
};

// What the rules ask of a bar's background. `Truth` is bool for one bar, a
// word of bits (one bar a bit) in the batch kernel.
template <class Truth>
struct Behind {
    // The bar before this one (its events).
    Truth prev_effort_up, prev_effort_down, prev_wide_up_high_volume, prev_wide_up_closing_high,
        prev_wide_down_closing_low;
    // The latest climactic bar, within the memory (3N bars).
    Truth strength_behind, weakness_behind;
    // A set range: from a selling climax (accumulation) or a buying climax
    // (distribution).
    Truth accumulation, distribution;
    // The bar's low below the range and its close back inside; the mirror.
    Truth pierces_range_low, pierces_range_high;
    Truth closes_above_range, closes_below_range;
    // The bar's low within half an average spread above the range's low;
    // the mirror at its high.
    Truth near_range_low, near_range_high;
    // An effort out of the range within the last N bars.
    Truth after_breakout, after_breakdown;
    // The close crossing a level's high upwards, a level's low downwards,
    // from the previous close.
    Truth crosses_level_high, crosses_level_low;

    // f(each truth of this, the same of `other`).
    template <class Other, class F>
    void with(const Behind<Other>& o, F&& f) {
        f(prev_effort_up, o.prev_effort_up), f(prev_effort_down, o.prev_effort_down);
        f(prev_wide_up_high_volume, o.prev_wide_up_high_volume);
        f(prev_wide_up_closing_high, o.prev_wide_up_closing_high);
        f(prev_wide_down_closing_low, o.prev_wide_down_closing_low);
        f(strength_behind, o.strength_behind), f(weakness_behind, o.weakness_behind);
        f(accumulation, o.accumulation), f(distribution, o.distribution);
        f(pierces_range_low, o.pierces_range_low), f(pierces_range_high, o.pierces_range_high);
        f(closes_above_range, o.closes_above_range), f(closes_below_range, o.closes_below_range);
        f(near_range_low, o.near_range_low), f(near_range_high, o.near_range_high);
        f(after_breakout, o.after_breakout), f(after_breakdown, o.after_breakdown);
        f(crosses_level_high, o.crosses_level_high), f(crosses_level_low, o.crosses_level_low);
    }
};

// The background as a reader sees it beside a bar's code (the Python
// package's columns, the charts' legends and levels): what the rules read
// for that bar, made from the bars before it.
struct BackgroundView {
    int8_t trend_short = 0, trend_mid = 0, trend_long = 0;  // 1 up, -1 down, 0 unknown or flat
    int8_t climax_side = 0;  // the latest climactic bar: 1 strength, -1 weakness, 0 none within the memory
    int8_t range_side = 0;   // 1 accumulation, -1 distribution, 0 none set
    int32_t climax_age = -1; // bars since that climactic bar (-1: none)
    double range_low = 0, range_high = 0;      // NaN without a range
    double support = 0, resistance = 0;        // the nearest level below / above the close, NaN for none
    // The bar's own terms as the rules measured it: the mean spread and
    // volume of the N bars before it (S and V), and its close position.
    double mean_spread = 0, mean_volume = 0, close_position = 0;
};

// What a bar's background truths are made of, as the bars before it left
// the background: the flags below, the range (NaN for none), and the levels
// nearest the previous close.
// The levels kept: those of the last four high-volume wide bars.
inline constexpr int kLevels = 4;

struct BackgroundState {
    enum Flag : uint32_t {
        kStrengthBehind = 1u << 0,
        kWeaknessBehind = 1u << 1,
        kAccumulation = 1u << 2,
        kDistribution = 1u << 3,
        kAfterBreakout = 1u << 4,
        kAfterBreakdown = 1u << 5,
    };
    uint32_t flags = 0;
    double range_low = 0, range_high = 0;
    // The levels' highs and lows (slots not yet filled hold +inf highs and
    // -inf lows: never crossed).
    double level_high[kLevels] = {}, level_low[kLevels] = {};
};

// "Near" a range's low or high: within half an average spread.
inline constexpr double kNearRange = 0.5;

// The truths of a bar's background that read the bar itself against its
// state's range (NaN for none: every truth false). `Number` as for the
// rules' Context (double, or several bars' values); `Truth` what its
// comparisons give.
template <class Number, class Truth>
void place_in_range(const Number& high, const Number& low, const Number& close, const Number& mean_spread,
                    const Number& range_low, const Number& range_high, Behind<Truth>& b) {
    b.pierces_range_low = (low < range_low) & (close > range_low);
    b.pierces_range_high = (high > range_high) & (close < range_high);
    b.closes_above_range = close > range_high;
    b.closes_below_range = close < range_low;
    const Number near = kNearRange * mean_spread;
    b.near_range_low = (low >= range_low) & (low <= range_low + near);
    b.near_range_high = (high <= range_high) & (high >= range_high - near);
}

// The close crossing a level's high upwards (the high at or above the
// previous close, the close above it; for one of the levels: the close is
// above the nearest such high), or a level's low downwards.
template <class Number, class Truth>
void cross_levels(const Number& close, const Number& prev_close, const Number (&level_high)[kLevels],
                  const Number (&level_low)[kLevels], Behind<Truth>& b) {
    Truth up = (level_high[0] >= prev_close) & (close > level_high[0]);
    Truth down = (level_low[0] <= prev_close) & (close < level_low[0]);
    for (int j = 1; j < kLevels; ++j) {
        up = up | ((level_high[j] >= prev_close) & (close > level_high[j]));
        down = down | ((level_low[j] <= prev_close) & (close < level_low[j]));
    }
    b.crosses_level_high = up;
    b.crosses_level_low = down;
}

// The truths of a bar's background that read the bar itself: against the
// range and the levels of its state.
template <class Number, class Truth>
void place_in_background(const Number& high, const Number& low, const Number& close, const Number& prev_close,
                         const Number& mean_spread, const Number& range_low, const Number& range_high,
                         const Number (&level_high)[kLevels], const Number (&level_low)[kLevels], Behind<Truth>& b) {
    place_in_range(high, low, close, mean_spread, range_low, range_high, b);
    cross_levels(close, prev_close, level_high, level_low, b);
}

// The flags of a state as truths.
inline void flags_in_background(uint32_t flags, Behind<bool>& b) {
    b.strength_behind = (flags & BackgroundState::kStrengthBehind) != 0;
    b.weakness_behind = (flags & BackgroundState::kWeaknessBehind) != 0;
    b.accumulation = (flags & BackgroundState::kAccumulation) != 0;
    b.distribution = (flags & BackgroundState::kDistribution) != 0;
    b.after_breakout = (flags & BackgroundState::kAfterBreakout) != 0;
    b.after_breakdown = (flags & BackgroundState::kAfterBreakdown) != 0;
}

// The means of the last N, 3N, 9N and 27N closes before a bar (NaN while
// a window fills, but the first): its trends of three degrees.
struct TrendMeans {
    double fast, slow, mid, long_;
};

// The previous bar's events as the rules read them.
inline void prev_bar(uint32_t events, Behind<bool>& b) {
    b.prev_effort_up = (events & kEffortUpBar) != 0;
    b.prev_effort_down = (events & kEffortDownBar) != 0;
    b.prev_wide_up_high_volume = (events & kWideUpHighVolumeBar) != 0;
    b.prev_wide_up_closing_high = (events & kWideUpClosingHighBar) != 0;
    b.prev_wide_down_closing_low = (events & kWideDownClosingLowBar) != 0;
}

class Background {
public:
    static constexpr int kLevels = spreadcore::kLevels;

    // `periods` is N, at least 1.
    explicit Background(int periods);

    // The next bar's background state.
    BackgroundState state() const;
    // Its flags and range alone (its levels unset), and the levels.
    const BackgroundState& flags_and_range() const { return next_; }
    const double* level_highs() const { return level_high_; }
    const double* level_lows() const { return level_low_; }
    // Three closes in a row outside a range end it.
    static constexpr int kClosesOutsideARange = 3;
    // The next bar's background as a reader sees it, its close and trend
    // means given.
    BackgroundView view(double close, const TrendMeans& trends) const;
    // Takes the next usable bar (after it is judged) with its events.
    void step(double high, double low, double close, uint32_t events) {
        if (events != 0 || range_forming_) return step_with_events(high, low, close, events);
        // Most bars: no event, only the closes outside a range counted.
        if (range_side_ != 0) {
            outside_run_ = ((close > range_high_) | (close < range_low_)) ? outside_run_ + 1 : 0;
            if (outside_run_ >= kClosesOutsideARange) range_side_ = 0, flags_until_ = bar_;
        }
        if (++bar_ > flags_until_) refresh();
    }

    // How many of the next `count` bars, none of them with events, step
    // with nothing but their count changing: those up to the bar at which a
    // flag of an age ends; none while a range is set or forming (its closes
    // outside are counted bar by bar).
    long quiet_bars(long count) const {
        if (range_side_ != 0 || range_forming_) return 0;
        const long left = flags_until_ - bar_;  // never below 0; the longest when no flag ends
        return left < count ? left + 1 : count;
    }
    // Takes `count` such bars (at most quiet_bars(count)) at once: the same
    // as stepping each with no events.
    void step_quiet(long count) {
        bar_ += count;
        if (bar_ > flags_until_) refresh();
    }

private:
    void step_with_events(double high, double low, double close, uint32_t events);
    bool range_set() const { return range_side_ != 0 && !range_forming_; }
    // The next bar's flags and range, made again when they can change: at
    // a bar with events, at the end of a range, and after the last bar a
    // flag of an age holds for.
    void refresh();

    long periods_;
    long memory_;  // how long a climax stays behind the bars: 3N
    long bar_ = 0;  // the number of the next bar
    int climax_side_ = 0;
    long climax_at_ = 0;
    int range_side_ = 0;
    bool range_forming_ = false;
    long range_from_ = 0;
    int outside_run_ = 0;
    double range_low_ = 0, range_high_ = 0;
    long breakout_at_ = -1, breakdown_at_ = -1;
    // Slots not yet filled hold +inf highs and -inf lows: never crossed.
    double level_high_[kLevels], level_low_[kLevels];
    int levels_ = 0, next_level_ = 0;
    BackgroundState next_;  // flags and range (state() adds the levels)
    long flags_until_ = 0;  // the last bar next_ holds for
};

inline BackgroundState Background::state() const {
    BackgroundState s = next_;
    std::copy(level_high_, level_high_ + kLevels, s.level_high);
    std::copy(level_low_, level_low_ + kLevels, s.level_low);
    return s;
}

}  // namespace spreadcore
