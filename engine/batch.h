// The engine over a whole series at once: the codes an Analyzer fed the
// bars one by one answers, bar for bar, in a few passes over blocks of bars
// rather than a round trip through the Analyzer per bar.
//
// Each block of bars is read in one pass (the usable bars kept, in order),
// then one pass carries the windows along the block, noting for each bar
// what the windows held before it (their sums, highest high and lowest
// low, the trends' means), and a last pass judges the block's bars with the
// rules of engine/rules.h, 64 bars (a word) at a time: each condition of a
// bar against its context worked out for two bars at once
// (platform/lanes.h) and kept as a word, one bit a bar; the bar before each
// read from the word of its events moved up one bar; the background
// (engine/background.h) stepped in order, a bar at a time or a run of bars
// that change nothing in it at once, its range noted for each bar, then
// each run of bars with the same levels placed against its ranges and
// those levels, several bars at once; each rule the words of its conditions
// joined, each bar given the first rule in kRuleOrder that holds for it.
// The windows' sums take exactly the Analyzer's steps (a
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
#include <limits>
#include <vector>

#include "engine/batch_words.h"
#include "engine/rules.h"

namespace spreadcore {

// The instruction sets the kernel's loops over a word of bars come in:
// SSE2's two bars a register (every processor the DLLs run on), AVX2's four.
enum class KernelLanes { sse2, avx2 };
// The widest this processor and its system run (and this build has).
KernelLanes widest_kernel_lanes();
// Each this build and processor can run, the narrowest first.
std::vector<KernelLanes> kernel_lanes_available();

// The largest value a host that holds float32 can hold, and whether it can
// hold x (a number within float32's range; a volume not negative either):
// what the checked reading checks.
inline constexpr double kMostFloat32 = std::numeric_limits<float>::max();
inline bool host_holds(double x, double least) { return x <= kMostFloat32 && x >= least; }
inline bool host_holds_price(double x) { return host_holds(x, -kMostFloat32); }
inline bool host_holds_volume(double x) { return host_holds(x, 0.0); }

class SeriesKernel {
public:
    SeriesKernel(const SeriesKernel&) = delete;
    SeriesKernel& operator=(const SeriesKernel&) = delete;
    // Bars taken a block at a time.
    static constexpr std::size_t kBlock = 256;

    // `periods` from 1 to kMaxPeriods; `lanes` one of
    // kernel_lanes_available() (the codes are the same with each).
    explicit SeriesKernel(int periods, KernelLanes lanes = widest_kernel_lanes());

    // codes[i] for bars 0 to count - 1 of the arrays, each bar's next close
    // the next bar's (the last bar's kNoNextClose), each volume taken as it
    // is (no `policy`) or after the policy's floor: what an Analyzer of
    // `periods` answers fed the same bars in order. Price: double or float.
    // With `views`, views[i] is the background bar i was judged against (a
    // bar the engine cannot use gets an empty view: NaN levels, no trend).
    template <class Price>
    void run(const Price* high, const Price* low, const Price* close, const Price* volume, std::size_t count,
             int32_t* codes, const FeedPolicy* policy, BackgroundView* views = nullptr);
    // run on doubles each rounded to float32 as it is read: the codes of
    // the values a host that holds float32 has, without a rounded copy.
    void run_float32(const double* high, const double* low, const double* close, const double* volume,
                     std::size_t count, int32_t* codes, const FeedPolicy* policy, BackgroundView* views = nullptr);

    // run_float32 (doubles) or run (floats) on a host's columns not yet
    // checked: false when a value read is NaN or beyond float32's range, or
    // a volume is negative (the codes are then of no use). The check is made
    // as the values are read, not in a pass of its own.
    bool run_checked(const double* high, const double* low, const double* close, const double* volume,
                     std::size_t count, int32_t* codes, const FeedPolicy* policy);
    bool run_checked(const float* high, const float* low, const float* close, const float* volume,
                     std::size_t count, int32_t* codes, const FeedPolicy* policy);

private:
    // run, each column read by `read` (engine/batch.cpp).
    template <class Read, class Price>
    void run_read(Read& read, const Price* high, const Price* low, const Price* close, const Price* volume,
                  std::size_t count, int32_t* codes, const FeedPolicy* policy, BackgroundView* views);
    // The two usable bars before a block are kept ahead of it.
    static constexpr std::size_t kHistory = 2;
    // Room past a block's last bar for the word loops' reads.
    static constexpr std::size_t kPad = BlockColumns::kBlockPad;
    // Takes the block's first `taken` bars into the windows, noting the
    // means and extremes each bar is measured against.
    void take(std::size_t taken);
    // The codes of the block's first `taken` bars (after take): kNone for
    // those before `from`, which come before the averages are known.
    // Each bar's background is made as the block's bars are judged, in
    // order (with `views`, written there too).
    void judge_block(std::size_t from, std::size_t taken, int32_t* out, BackgroundView* views);
    // The block's last two usable bars (of `taken`) go ahead of the next.
    void keep_history(std::size_t taken);

    std::size_t periods_;
    WordLoops loops_;
    BlockColumns columns_;  // the block's columns below, as the loops read them
    long pushed_ = 0;  // usable bars taken into the windows
    Background background_;
    // Everything below lives in these two (two allocations a series).
    std::vector<double> doubles_;
    std::vector<int32_t> ints_;

    // The block: its usable bars after the two before them; each bar's next
    // close, place in the block and code; what the windows held before it
    // (the sums of the last `periods` spreads, volumes and closes, of the
    // last 3 x `periods` closes, NaN while those are not all there, the
    // highest high and lowest low).
    double *high_, *low_, *close_, *volume_, *next_;
    int32_t *at_, *block_codes_;
    std::vector<BackgroundView> block_views_;  // with views asked for
    double *spread_sum_at_, *volume_sum_at_, *close_sum_at_, *long_sum_at_, *highest_at_, *lowest_at_;
    // The sums of the last 9N and 27N closes before each bar (NaN while
    // their windows fill); the windows of the last 3N, 9N and 27N closes.
    double *mid_sum_at_, *longest_sum_at_;
    // Each bar's background range.
    double *range_low_at_, *range_high_at_;
    Window long_closes_, mid_closes_, longest_closes_;
    // The events of the last bar judged (none before the averages are
    // known): the bar before the next block's first.
    uint32_t last_events_ = 0;

    // The last `periods` bars (spreads, volumes, closes, highs, lows) and
    // their sums; `place` is where the next bar goes.
    double *spreads_, *volumes_, *closes_, *highs_, *lows_;
    std::size_t place_ = 0;
    double spreads_sum_ = 0, volumes_sum_ = 0, closes_sum_ = 0;
    // The greatest high and least low from each place to the end of the
    // last full run of `periods` bars (one more place: none), and those from
    // the start of the run being filled.
    double *highs_to_end_, *lows_to_end_;
    double high_from_start_ = -std::numeric_limits<double>::infinity();
    double low_from_start_ = std::numeric_limits<double>::infinity();
    // The window's highest high and lowest low now.
    double highest_ = 0, lowest_ = 0;
};

extern template void SeriesKernel::run(const double*, const double*, const double*, const double*, std::size_t,
                                       int32_t*, const FeedPolicy*, BackgroundView*);
extern template void SeriesKernel::run(const float*, const float*, const float*, const float*, std::size_t,
                                       int32_t*, const FeedPolicy*, BackgroundView*);

}  // namespace spreadcore
