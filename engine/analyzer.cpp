#include "engine/analyzer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace spreadcore {

void BarWindow::push(const Bar& bar) {
    const Bar old = bars_[next_];  // zeros while the window fills
    bars_[next_] = bar;
    spread_sum_ += (bar.high - bar.low) - (old.high - old.low);
    volume_sum_ += bar.volume - old.volume;
    close_sum_ += bar.close - old.close;
    if (count_ < bars_.size()) ++count_;
    highest_.push(pushed_, bar.high);
    lowest_.push(pushed_, bar.low);
    ++pushed_;
    if (++next_ == bars_.size()) {
        next_ = 0;
        recompute();
    }
}

void BarWindow::recompute() {
    spread_sum_ = volume_sum_ = close_sum_ = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        const Bar& b = bars_[i];
        spread_sum_ += b.high - b.low;
        volume_sum_ += b.volume;
        close_sum_ += b.close;
    }
}

Analyzer::Analyzer(int periods)
    : periods_(std::max(periods, 1)), recent_(periods_), long_closes_(3 * periods_),
      mid_closes_(9 * periods_),
      longest_closes_(27 * periods_),
      background_(periods_) {}

int32_t Analyzer::analyse(const Bar& b, double next_close) {
    commit();
    if (!usable(b.high, b.low, b.close, b.volume)) return kNone;
    pending_ = b;
    has_pending_ = true;
    pending_events_ = 0;
    if (!judging()) return kNone;
    const Conditions<bool> c = conditions_of(b, next_close);
    pending_events_ = bar_events(c);
    return judge(c);
}

int32_t Analyzer::revise(double next_close) const {
    return has_pending_ && judging() ? judge(conditions_of(pending_, next_close)) : kNone;
}

BackgroundView Analyzer::background() const {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!has_pending_) {
        BackgroundView none = Background(periods_).view(0, {nan, nan, nan, nan});
        none.mean_spread = none.mean_volume = none.close_position = nan;
        return none;
    }
    BackgroundView v = background_.view(pending_.close, {recent_.mean_close(), long_closes_.mean_when_full(),
                                                         mid_closes_.mean_when_full(), longest_closes_.mean_when_full()});
    v.mean_spread = recent_.mean_spread(), v.mean_volume = recent_.mean_volume();
    v.close_position = close_position(pending_.high, pending_.low, pending_.close);
    return v;
}

void Analyzer::commit() {
    if (!has_pending_) return;
    has_pending_ = false;
    background_.step(pending_.high, pending_.low, pending_.close, pending_events_);
    recent_.push(pending_);
    long_closes_.push(pending_.close);
    mid_closes_.push(pending_.close);
    longest_closes_.push(pending_.close);
    prev_events_ = pending_events_;
    prev2_ = prev1_;
    prev1_ = pending_;
    ++bars_;
}

BarContext Analyzer::context(const Bar& b, double next_close) const {
    return {b.high,
            b.low,
            b.close,
            b.volume,
            next_close,
            close_position(b.high, b.low, b.close),
            recent_.mean_spread(),
            recent_.mean_volume(),
            recent_.highest(),
            recent_.lowest(),
            recent_.mean_close(),
            long_closes_.mean_when_full(),
            prev1_.close,
            prev1_.low,
            prev1_.volume,
            prev2_.volume,
            prev1_.high,
            mid_closes_.mean_when_full(),
            longest_closes_.mean_when_full()};
}

Conditions<bool> Analyzer::conditions_of(const Bar& b, double next_close) const {
    Conditions<bool> c = conditions(context(b, next_close));
    c.behind = {};
    const BackgroundState s = background_.state();
    flags_in_background(s.flags, c.behind);
    place_in_background(b.high, b.low, b.close, prev1_.close, recent_.mean_spread(), s.range_low, s.range_high,
                        s.level_high, s.level_low, c.behind);
    prev_bar(prev_events_, c.behind);
    return c;
}

}  // namespace spreadcore
