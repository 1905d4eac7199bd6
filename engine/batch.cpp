#include "engine/batch.h"

#include <limits>

namespace spreadcore {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A sum of values made afresh, in order, from 0: a window's wrap.
double sum_of(const std::vector<double>& values) {
    double sum = 0;
    for (const double x : values) sum += x;
    return sum;
}

}  // namespace

SeriesKernel::SeriesKernel(int periods)
    : periods_(static_cast<std::size_t>(std::max(periods, 1))),
      high_(kHistory + kBlock),
      low_(kHistory + kBlock),
      close_(kHistory + kBlock),
      volume_(kHistory + kBlock),
      next_(kBlock),
      at_(kBlock),
      block_codes_(kBlock),
      spread_sum_at_(kBlock),
      volume_sum_at_(kBlock),
      close_sum_at_(kBlock),
      long_sum_at_(kBlock),
      highest_at_(kBlock),
      lowest_at_(kBlock),
      position_(kBlock),
      spreads_(periods_),
      volumes_(periods_),
      closes_(periods_),
      highs_(periods_),
      lows_(periods_),
      highs_to_end_(periods_ + 1, -kInfinity),
      lows_to_end_(periods_ + 1, kInfinity),
      long_closes_(3 * periods_) {}

void SeriesKernel::push(double high, double low, double close, double volume) {
    // The window of the last `periods` bars, as the Analyzer's BarWindow:
    // each sum takes the new value less the one it replaces (0 while the
    // window fills) ...
    const std::size_t at = place_;
    const double spread = high - low;
    spread_sum_ += spread - spreads_[at];
    volume_sum_ += volume - volumes_[at];
    close_sum_ += close - closes_[at];
    spreads_[at] = spread;
    volumes_[at] = volume;
    closes_[at] = close;
    highs_[at] = high;
    lows_[at] = low;
    high_from_start_ = std::max(at == 0 ? -kInfinity : high_from_start_, high);
    low_from_start_ = std::min(at == 0 ? kInfinity : low_from_start_, low);
    highest_ = std::max(highs_to_end_[at + 1], high_from_start_);
    lowest_ = std::min(lows_to_end_[at + 1], low_from_start_);
    if (++place_ == periods_) {
        // ... and is made afresh from the values when the window wraps.
        place_ = 0;
        spread_sum_ = sum_of(spreads_);
        volume_sum_ = sum_of(volumes_);
        close_sum_ = sum_of(closes_);
        for (std::size_t k = periods_; k-- > 0;) {
            highs_to_end_[k] = std::max(highs_[k], highs_to_end_[k + 1]);
            lows_to_end_[k] = std::min(lows_[k], lows_to_end_[k + 1]);
        }
        highs_to_end_[periods_] = -kInfinity;
        lows_to_end_[periods_] = kInfinity;
    }
    // The last 3 x `periods` closes, as the Analyzer's Window.
    long_sum_ += close - long_closes_[long_place_];
    long_closes_[long_place_] = close;
    if (++long_place_ == long_closes_.size()) {
        long_place_ = 0;
        long_sum_ = sum_of(long_closes_);
    }
    ++pushed_;
}

void SeriesKernel::analyse_block(std::size_t taken) {
    // The rules need `periods` usable bars before a bar, and two; the trend
    // 3 x `periods`.
    const long judged_from = static_cast<long>(std::max<std::size_t>(periods_, 2));
    const auto trend_from = static_cast<long>(long_closes_.size());
    const std::size_t first = pushed_ >= judged_from ? 0 : std::min<std::size_t>(taken, static_cast<std::size_t>(judged_from - pushed_));
    for (std::size_t k = 0; k < taken; ++k) {
        spread_sum_at_[k] = spread_sum_;
        volume_sum_at_[k] = volume_sum_;
        close_sum_at_[k] = close_sum_;
        long_sum_at_[k] = pushed_ >= trend_from ? long_sum_ : kNaN;
        highest_at_[k] = highest_;
        lowest_at_[k] = lowest_;
        const std::size_t b = kHistory + k;
        push(high_[b], low_[b], close_[b], volume_[b]);
    }

    // The means and close positions, several bars at a time (divisions
    // are slow one at a time) ...
    const auto size = static_cast<double>(periods_);
    const auto long_size = static_cast<double>(long_closes_.size());
    for (std::size_t k = 0; k < taken; ++k) {
        spread_sum_at_[k] /= size;
        volume_sum_at_[k] /= size;
        close_sum_at_[k] /= size;
        long_sum_at_[k] /= long_size;
    }
    for (std::size_t k = 0; k < taken; ++k)
        position_[k] = close_position(high_[kHistory + k], low_[kHistory + k], close_[kHistory + k]);
    // ... then the rules.
    for (std::size_t k = 0; k < first; ++k) block_codes_[k] = kNone;
    for (std::size_t k = first; k < taken; ++k) {
        const std::size_t b = kHistory + k;
        block_codes_[k] = judge({high_[b], low_[b], close_[b], volume_[b], next_[k], position_[k], spread_sum_at_[k],
                                 volume_sum_at_[k], highest_at_[k], lowest_at_[k], close_sum_at_[k], long_sum_at_[k],
                                 close_[b - 1], low_[b - 1], volume_[b - 1], volume_[b - 2]});
    }

    // The block's last two usable bars go ahead of the next block.
    for (std::size_t k = 0; k < kHistory; ++k) {
        high_[k] = high_[taken + k];
        low_[k] = low_[taken + k];
        close_[k] = close_[taken + k];
        volume_[k] = volume_[taken + k];
    }
}

}  // namespace spreadcore
