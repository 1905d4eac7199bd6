// The background of a bar: what came before it, as the rules read it.
// Volume spread analysis judges no bar alone: the same narrow up bar on low
// volume is weakness after a buying climax and mere quiet after a selling
// climax. Everything here is made from bars that have closed before the bar
// judged, so a code never reads its own background from the future, and
// both faces of the engine (the Analyzer, a bar at a time, and the batch
// kernel) step the same Background with the same bars, so they read the
// same background bar for bar.
//
// What it keeps:
//   the intermediate and long trends   the mean of the last 3N closes against
//                                      the last 9N, and of 9N against 27N
//                                      (the short trend, N against 3N, is
//                                      the bar's context: engine/rules.h)
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

namespace spreadcore {

// A running mean over the last `size` values. The sum is recomputed from the
// values each time the window wraps, so rounding never accumulates (and one
// huge value does not spoil the averages after it has left).
class Window {
public:
    explicit Window(int size) : values_(static_cast<std::size_t>(size), 0.0) {}
    void push(double v);
    bool full() const { return count_ >= values_.size(); }
    double mean() const { return sum_ / static_cast<double>(values_.size()); }
    // The mean, or NaN while the window is filling.
    double mean_when_full() const { return full() ? mean() : std::numeric_limits<double>::quiet_NaN(); }

private:
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
    // The bar before this one.
    Truth prev_effort_up, prev_effort_down, prev_wide_up_high_volume, prev_wide_up_closing_high,
        prev_wide_down_closing_low;
    // The latest climactic bar, within the memory (3N bars).
    Truth strength_behind, weakness_behind;
    Truth trend_mid_up, trend_mid_down, trend_long_up, trend_long_down;
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
        f(trend_mid_up, o.trend_mid_up), f(trend_mid_down, o.trend_mid_down);
        f(trend_long_up, o.trend_long_up), f(trend_long_down, o.trend_long_down);
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
};

// The bar a background is asked about.
struct BehindQuery {
    double high, low, close;
    double prev_close;
    double mean_spread;  // of the N bars before it
    double fast_close;   // mean of the last N closes (before it)
    double slow_close;   // mean of the last 3N closes, NaN while unknown
};

class Background {
public:
    static constexpr int kLevels = 4;

    // `periods` is N, at least 1.
    explicit Background(int periods);

    // The background of the next bar.
    Behind<bool> behind(const BehindQuery& q) const;
    // The same, as a reader sees it.
    BackgroundView view(const BehindQuery& q) const;
    // Takes the next usable bar (after it is judged) with its events.
    void step(double high, double low, double close, uint32_t events);

private:
    bool range_set() const { return range_side_ != 0 && !range_forming_; }

    long periods_;
    long memory_;  // how long a climax stays behind the bars: 3N
    long bar_ = 0;  // the number of the next bar
    Window mid_closes_, long_closes_;  // the last 9N and 27N closes
    uint32_t prev_events_ = 0;
    int climax_side_ = 0;
    long climax_at_ = 0;
    int range_side_ = 0;
    bool range_forming_ = false;
    long range_from_ = 0;
    int outside_run_ = 0;
    double range_low_ = 0, range_high_ = 0;
    long breakout_at_ = -1, breakdown_at_ = -1;
    double level_high_[kLevels] = {}, level_low_[kLevels] = {};
    int levels_ = 0, next_level_ = 0;
};

}  // namespace spreadcore
