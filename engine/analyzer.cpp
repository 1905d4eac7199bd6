#include "engine/analyzer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace spreadcore {

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
    : periods_(std::max(periods, 1)), recent_(periods_), long_closes_(3 * periods_) {}

int32_t Analyzer::analyse(const Bar& b, double next_close) {
    commit();
    if (!usable(b.high, b.low, b.close, b.volume)) return kNone;
    pending_ = b;
    has_pending_ = true;
    return judge(b, next_close);
}

int32_t Analyzer::revise(double next_close) const {
    return has_pending_ ? judge(pending_, next_close) : kNone;
}

void Analyzer::commit() {
    if (!has_pending_) return;
    has_pending_ = false;
    recent_.push(pending_);
    long_closes_.push(pending_.close);
    prev2_ = prev1_;
    prev1_ = pending_;
    ++bars_;
}

int32_t Analyzer::judge(const Bar& b, double next_close) const {
    // The rules need the averages of `periods` earlier bars and two bars back.
    if (!recent_.full() || bars_ < 2) return kNone;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return spreadcore::judge({b.high, b.low, b.close, b.volume, next_close, close_position(b.high, b.low, b.close),
                              recent_.mean_spread(), recent_.mean_volume(), recent_.highest(), recent_.lowest(),
                              recent_.mean_close(), long_closes_.full() ? long_closes_.mean() : nan, prev1_.close,
                              prev1_.low, prev1_.volume, prev2_.volume});
}

}  // namespace spreadcore
