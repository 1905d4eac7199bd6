#include "engine/background.h"

#include <algorithm>

namespace spreadcore {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();


int8_t direction(double fast, double slow) { return fast > slow ? 1 : fast < slow ? -1 : 0; }

}  // namespace

void Window::push_all(Window* const (&windows)[3], double* const (&sums)[3], const double* values,
                      std::size_t count) {
    Pushing w[3] = {windows[0]->pushing(), windows[1]->pushing(), windows[2]->pushing()};
    double* const sums0 = sums[0];
    double* const sums1 = sums[1];
    double* const sums2 = sums[2];
    for (std::size_t k = 0; k < count; ++k) {
        const double value = values[k];  // read once: the stores could be to it, as far as the compiler knows
        sums0[k] = w[0].push(value);
        sums1[k] = w[1].push(value);
        sums2[k] = w[2].push(value);
    }
    for (int j = 0; j < 3; ++j) windows[j]->keep(w[j]);
}

Background::Background(int periods) : periods_(std::max(periods, 1)), memory_(3 * periods_) {
    std::fill(level_high_, level_high_ + kLevels, kInfinity);
    std::fill(level_low_, level_low_ + kLevels, -kInfinity);
    refresh();
}

void Background::refresh() {
    const bool climax = climax_side_ != 0 && bar_ - climax_at_ <= memory_;
    const bool set = range_set();
    const bool after_breakout = breakout_at_ >= 0 && bar_ - breakout_at_ <= periods_;
    const bool after_breakdown = breakdown_at_ >= 0 && bar_ - breakdown_at_ <= periods_;
    next_.flags = (climax && climax_side_ > 0 ? BackgroundState::kStrengthBehind : 0u) |
                  (climax && climax_side_ < 0 ? BackgroundState::kWeaknessBehind : 0u) |
                  (set && range_side_ > 0 ? BackgroundState::kAccumulation : 0u) |
                  (set && range_side_ < 0 ? BackgroundState::kDistribution : 0u) |
                  (after_breakout ? BackgroundState::kAfterBreakout : 0u) |
                  (after_breakdown ? BackgroundState::kAfterBreakdown : 0u);
    next_.range_low = set ? range_low_ : kNaN;
    next_.range_high = set ? range_high_ : kNaN;
    // The flags of an age hold to their last bar; the others until an event.
    flags_until_ = std::numeric_limits<long>::max();
    if (climax) flags_until_ = std::min(flags_until_, climax_at_ + memory_);
    if (after_breakout) flags_until_ = std::min(flags_until_, breakout_at_ + periods_);
    if (after_breakdown) flags_until_ = std::min(flags_until_, breakdown_at_ + periods_);
}

BackgroundView Background::view(double close, const TrendMeans& trends) const {
    BackgroundView v;
    v.trend_short = direction(trends.fast, trends.slow);
    v.trend_mid = direction(trends.slow, trends.mid);
    v.trend_long = direction(trends.mid, trends.long_);
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
            if (level < close && !(level <= v.support)) v.support = level;
            if (level > close && !(level >= v.resistance)) v.resistance = level;
        }
    }
    return v;
}

void Background::step_with_events(double high, double low, double close, uint32_t events) {
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
    ++bar_;
    refresh();
}

}  // namespace spreadcore
