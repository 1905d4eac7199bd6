#include "engine/background.h"

#include <algorithm>

namespace spreadcore {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Three closes in a row outside a range end it.
constexpr int kClosesOutsideARange = 3;
// "Near" a range's low or high: within half an average spread.
constexpr double kNearRange = 0.5;

int8_t direction(double fast, double slow) { return fast > slow ? 1 : fast < slow ? -1 : 0; }

}  // namespace

void Window::push(double v) {
    const double old = values_[next_];  // 0 while the window fills
    values_[next_] = v;
    sum_ += v - old;
    if (count_ < values_.size()) ++count_;
    if (++next_ == values_.size()) {
        next_ = 0;
        sum_ = 0;
        for (double x : values_) sum_ += x;
    }
}

Background::Background(int periods)
    : periods_(std::max(periods, 1)),
      memory_(3 * periods_),
      mid_closes_(static_cast<int>(9 * periods_)),
      long_closes_(static_cast<int>(27 * periods_)) {}

Behind<bool> Background::behind(const BehindQuery& q) const {
    Behind<bool> b{};
    b.prev_effort_up = (prev_events_ & kEffortUpBar) != 0;
    b.prev_effort_down = (prev_events_ & kEffortDownBar) != 0;
    b.prev_wide_up_high_volume = (prev_events_ & kWideUpHighVolumeBar) != 0;
    b.prev_wide_up_closing_high = (prev_events_ & kWideUpClosingHighBar) != 0;
    b.prev_wide_down_closing_low = (prev_events_ & kWideDownClosingLowBar) != 0;
    const bool recent_climax = climax_side_ != 0 && bar_ - climax_at_ <= memory_;
    b.strength_behind = recent_climax && climax_side_ > 0;
    b.weakness_behind = recent_climax && climax_side_ < 0;
    const double mid = mid_closes_.mean_when_full(), slow_long = long_closes_.mean_when_full();
    b.trend_mid_up = q.slow_close > mid;
    b.trend_mid_down = q.slow_close < mid;
    b.trend_long_up = mid > slow_long;
    b.trend_long_down = mid < slow_long;
    if (range_set()) {
        b.accumulation = range_side_ > 0;
        b.distribution = range_side_ < 0;
        b.pierces_range_low = q.low < range_low_ && q.close > range_low_;
        b.pierces_range_high = q.high > range_high_ && q.close < range_high_;
        b.closes_above_range = q.close > range_high_;
        b.closes_below_range = q.close < range_low_;
        const double near = kNearRange * q.mean_spread;
        b.near_range_low = q.low >= range_low_ && q.low <= range_low_ + near;
        b.near_range_high = q.high <= range_high_ && q.high >= range_high_ - near;
    }
    b.after_breakout = breakout_at_ >= 0 && bar_ - breakout_at_ <= periods_;
    b.after_breakdown = breakdown_at_ >= 0 && bar_ - breakdown_at_ <= periods_;
    for (int i = 0; i < levels_; ++i) {
        b.crosses_level_high = b.crosses_level_high || (q.prev_close <= level_high_[i] && q.close > level_high_[i]);
        b.crosses_level_low = b.crosses_level_low || (q.prev_close >= level_low_[i] && q.close < level_low_[i]);
    }
    return b;
}

BackgroundView Background::view(const BehindQuery& q) const {
    BackgroundView v;
    const double mid = mid_closes_.mean_when_full(), slow_long = long_closes_.mean_when_full();
    v.trend_short = direction(q.fast_close, q.slow_close);
    v.trend_mid = direction(q.slow_close, mid);
    v.trend_long = direction(mid, slow_long);
    if (climax_side_ != 0 && bar_ - climax_at_ <= memory_) {
        v.climax_side = static_cast<int8_t>(climax_side_);
        v.climax_age = static_cast<int32_t>(bar_ - climax_at_);
    }
    v.range_side = static_cast<int8_t>(range_set() ? range_side_ : 0);
    v.range_low = range_set() ? range_low_ : kNaN;
    v.range_high = range_set() ? range_high_ : kNaN;
    v.support = v.resistance = kNaN;
    for (int i = 0; i < levels_; ++i) {
        for (const double level : {level_high_[i], level_low_[i]}) {
            if (level < q.close && !(level <= v.support)) v.support = level;
            if (level > q.close && !(level >= v.resistance)) v.resistance = level;
        }
    }
    return v;
}

void Background::step(double high, double low, double close, uint32_t events) {
    mid_closes_.push(close);
    long_closes_.push(close);
    // An effort out of a set range (before the bar can end the range).
    if (range_set()) {
        if (range_side_ > 0 && (events & kEffortUpBar) != 0 && close > range_high_) breakout_at_ = bar_;
        if (range_side_ < 0 && (events & kEffortDownBar) != 0 && close < range_low_) breakdown_at_ = bar_;
    }
    // The range: a climax starts one; the automatic move of the N bars after
    // it sets its other side; closes outside end it.
    if ((events & kSellingClimaxBar) != 0 && (events & kBuyingClimaxBar) == 0) {
        range_side_ = 1, range_forming_ = true, range_from_ = bar_, outside_run_ = 0;
        range_low_ = low, range_high_ = -std::numeric_limits<double>::infinity();
    } else if ((events & kBuyingClimaxBar) != 0 && (events & kSellingClimaxBar) == 0) {
        range_side_ = -1, range_forming_ = true, range_from_ = bar_, outside_run_ = 0;
        range_high_ = high, range_low_ = std::numeric_limits<double>::infinity();
    } else if (range_forming_) {
        if (range_side_ > 0) range_high_ = std::max(range_high_, high);
        if (range_side_ < 0) range_low_ = std::min(range_low_, low);
        if (bar_ - range_from_ >= periods_) range_forming_ = false;
    } else if (range_side_ != 0) {
        outside_run_ = close > range_high_ || close < range_low_ ? outside_run_ + 1 : 0;
        if (outside_run_ >= kClosesOutsideARange) range_side_ = 0;
    }
    // The latest climactic bar (a bar of both shapes leaves it as it was).
    const bool strength = (events & kStrengthClimaxBar) != 0, weakness = (events & kWeaknessClimaxBar) != 0;
    if (strength != weakness) climax_side_ = strength ? 1 : -1, climax_at_ = bar_;
    if ((events & kLevelBar) != 0) {
        level_high_[next_level_] = high, level_low_[next_level_] = low;
        next_level_ = (next_level_ + 1) % kLevels;
        levels_ = std::min(levels_ + 1, kLevels);
    }
    prev_events_ = events;
    ++bar_;
}

}  // namespace spreadcore
