#include "engine/analyzer.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

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

Analyzer::Trend Analyzer::trend() const {
    if (!long_closes_.full()) return Trend::kUnknown;
    const double fast = recent_.mean_close();
    const double slow = long_closes_.mean();
    if (fast > slow) return Trend::kUp;
    if (fast < slow) return Trend::kDown;
    return Trend::kFlat;
}

int32_t Analyzer::analyse(const Bar& b, double next_close) {
    commit();
    if (!std::isfinite(b.high) || !std::isfinite(b.low) || !std::isfinite(b.close) ||
        !std::isfinite(b.volume) || b.high < b.low || b.volume < 0)
        return kNone;
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

namespace {

// The first rule in kRuleOrder that `holds`, unrolled while compiling: each
// rule's case is picked by the compiler, not looked up at every bar.
template <class Holds, std::size_t... k>
int32_t first_holding(const Holds& holds, std::index_sequence<k...>) {
    int32_t signal = kNone;
    static_cast<void>(((holds(kRuleOrder[k]) ? (signal = kRuleOrder[k], true) : false) || ...));
    return signal;
}

}  // namespace

int32_t Analyzer::judge(const Bar& b, double next_close) const {
    const double spread = b.high - b.low;
    int32_t signal = kNone;
    // The rules need the averages of `periods` earlier bars and two bars back.
    if (recent_.full() && bars_ >= 2) {
        const double avg_spread = recent_.mean_spread();
        const double avg_volume = recent_.mean_volume();
        const double highest = recent_.highest();
        const double lowest = recent_.lowest();
        const Trend t = trend();
        const double v = b.volume;
        const double cp =
            spread > 0 ? std::clamp((b.close - b.low) / spread, 0.0, 1.0) : 0.5;

        const bool up_bar = b.close > prev1_.close;
        const bool down_bar = b.close < prev1_.close;
        const bool wide = spread >= 1.5 * avg_spread && spread > 0;
        const bool narrow = spread < 0.8 * avg_spread;
        const bool at_least_average_spread = spread >= avg_spread && spread > 0;
        const bool low_volume = v < prev1_.volume && v < prev2_.volume;
        const bool volume_above = v > avg_volume;
        const bool high_volume = v >= 1.5 * avg_volume && v > 0;
        const bool ultra_volume = v >= 2.2 * avg_volume && v > 0;
        const bool known_next = next_close != kNoNextClose && std::isfinite(next_close);
        // The next bar confirms unless it clearly goes the other way; on the
        // last bar (next close unknown) a signal stands unconfirmed.
        const bool next_not_lower = !known_next || next_close >= b.close;
        const bool next_not_higher = !known_next || next_close <= b.close;

        // Each rule's conditions; the rules are tried in kRuleOrder.
        auto holds = [&](Signal rule) {
            switch (rule) {
                case kSellingClimax:
                    return t == Trend::kDown && ultra_volume && wide && b.low < lowest && cp >= 0.3 &&
                           next_not_lower;
                case kBuyingClimax:
                    return t == Trend::kUp && ultra_volume && wide && b.high > highest && cp <= 0.7 &&
                           next_not_higher;
                case kShakeout:
                    return t != Trend::kDown && wide && b.low < lowest && cp >= 2.0 / 3.0 && high_volume &&
                           next_not_lower;
                case kUpthrust:
                    return b.high > highest && cp <= 1.0 / 3.0 && at_least_average_spread && volume_above &&
                           next_not_higher;
                case kStoppingVolume:
                    return t == Trend::kDown && down_bar && high_volume && at_least_average_spread &&
                           cp >= 0.5;
                case kEffortToRise:
                    return up_bar && wide && cp >= 2.0 / 3.0 && high_volume;
                case kEffortToFall:
                    return down_bar && wide && cp <= 1.0 / 3.0 && high_volume;
                case kTest:
                    return t != Trend::kDown && b.low < prev1_.low && cp >= 0.5 && narrow && low_volume &&
                           next_not_lower;
                case kNoSupply:
                    return down_bar && narrow && low_volume;
                case kNoDemand:
                    return up_bar && narrow && low_volume;
                case kNone:
                    break;
            }
            return false;
        };
        signal = first_holding(holds, std::make_index_sequence<std::size(kRuleOrder)>());
    }
    return signal;
}

}  // namespace spreadcore
