// The engine over a whole series at once: the codes an Analyzer fed the
// bars one by one answers, bar for bar, in a few passes over blocks of bars
// rather than a round trip through the Analyzer per bar.
//
// Each block of bars is read in one pass (the usable bars kept, in order),
// then one pass carries the windows along the block, noting for each bar
// what the windows held before it (their sums, highest high and lowest
// low), and a last pass judges the block's bars with the rules of
// engine/rules.h. The windows' sums take exactly the Analyzer's steps (a
// bar added and the bar leaving subtracted, the sum made afresh from the
// window's values each time it wraps), so every mean is the same double;
// the extremes are exact whatever the method: here each window is the end
// of one run of `periods` bars and the start of the next, whose running
// maxima (from the end of the earlier run, from the start of the later)
// give it in two steps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/rules.h"

namespace spreadcore {

class SeriesKernel {
public:
    // Bars taken a block at a time.
    static constexpr std::size_t kBlock = 256;

    // `periods` from 1 to kMaxPeriods.
    explicit SeriesKernel(int periods);

    // codes[i] for bars 0 to count - 1 of the arrays, each bar's volume
    // taken as `fed_volume(volume[i])`, its next close the next bar's (the
    // last bar's kNoNextClose): what an Analyzer of `periods` answers fed
    // the same bars in order.
    template <class Price, class FedVolume>
    void run(const Price* high, const Price* low, const Price* close, const Price* volume, std::size_t count,
             int32_t* codes, const FedVolume& fed_volume) {
        for (std::size_t first = 0; first < count; first += kBlock) {
            const std::size_t end = std::min(count, first + kBlock);
            // The block's usable bars, in order: each bar is written to the
            // next place and kept there only when it is usable.
            std::size_t taken = 0;
            for (std::size_t i = first; i < end; ++i) {
                const auto h = static_cast<double>(high[i]), l = static_cast<double>(low[i]);
                const auto c = static_cast<double>(close[i]);
                const double v = fed_volume(static_cast<double>(volume[i]));
                high_[kHistory + taken] = h;
                low_[kHistory + taken] = l;
                close_[kHistory + taken] = c;
                volume_[kHistory + taken] = v;
                next_[taken] = i + 1 < count ? static_cast<double>(close[i + 1]) : kNoNextClose;
                at_[taken] = static_cast<int32_t>(i - first);
                codes[i] = kNone;
                taken += usable(h, l, c, v);
            }
            analyse_block(taken);
            for (std::size_t k = 0; k < taken; ++k) codes[first + static_cast<std::size_t>(at_[k])] = block_codes_[k];
        }
    }

private:
    // The two usable bars before a block are kept ahead of it.
    static constexpr std::size_t kHistory = 2;
    // Judges the block's first `taken` bars and takes them into the windows.
    void analyse_block(std::size_t taken);
    // Takes one bar into the windows.
    void push(double high, double low, double close, double volume);

    std::size_t periods_;
    long pushed_ = 0;  // usable bars taken into the windows

    // The block: its usable bars after the two before them; each bar's next
    // close, place in the block and code; what the windows held before it.
    std::vector<double> high_, low_, close_, volume_, next_;
    std::vector<int32_t> at_, block_codes_;
    std::vector<double> spread_sum_at_, volume_sum_at_, close_sum_at_, long_sum_at_, highest_at_, lowest_at_;
    std::vector<double> position_;

    // The last `periods` bars (spreads, volumes, closes, highs, lows) and
    // their sums; `place` is where the next bar goes.
    std::vector<double> spreads_, volumes_, closes_, highs_, lows_;
    std::size_t place_ = 0;
    double spread_sum_ = 0, volume_sum_ = 0, close_sum_ = 0;
    // The greatest high and least low from each place to the end of the
    // last full run of `periods` bars (one more place: none), and those from
    // the start of the run being filled.
    std::vector<double> highs_to_end_, lows_to_end_;
    double high_from_start_ = 0, low_from_start_ = 0;
    // The window's highest high and lowest low now.
    double highest_ = 0, lowest_ = 0;
    // The last 3 x `periods` closes and their sum.
    std::vector<double> long_closes_;
    std::size_t long_place_ = 0;
    double long_sum_ = 0;
};

}  // namespace spreadcore
