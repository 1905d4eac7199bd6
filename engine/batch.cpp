#include "engine/batch.h"

#include <cmath>
#include <limits>

#include "platform/lanes.h"

namespace spreadcore {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The kinds of BarEvent.
constexpr int kEventKinds = 10;
static_assert(kWideDownClosingLowBar == 1u << (kEventKinds - 1), "one word for each kind of event");
// The kinds the background steps on come first (the rest are read only as
// the bar before the next).
constexpr int kSteppingKinds = 7;
static_assert(kEffortDownBar == 1u << (kSteppingKinds - 1), "the stepping kinds first");
// The kinds of BackgroundState::Flag.
constexpr int kFlags = 6;
static_assert(BackgroundState::kAfterBreakdown == 1u << (kFlags - 1), "one word for each flag");

// Bars first to end - 1 of a word, as its bits.
Word bars_between(std::size_t first, std::size_t end) {
    const Word below_end = end >= kWord ? ~Word{0} : (Word{1} << end) - 1;
    const Word below_first = first >= kWord ? ~Word{0} : (Word{1} << first) - 1;
    return below_end & ~below_first;
}

// Each bar of `open` takes the code of the first rule in kRuleOrder that
// holds for it (bars no rule holds for keep theirs).
template <std::size_t... k>
void write_codes(const Conditions<Word>& words, Word open, int32_t* out, std::index_sequence<k...>) {
    const auto one_rule = [&](Signal rule) {
        Word hit = holds(rule, words) & open;
        open &= ~hit;
        for (; hit != 0; hit &= hit - 1) out[__builtin_ctzll(hit)] = rule;
    };
    static_cast<void>((one_rule(kRuleOrder[k]), ...));
}

void sse2_conditions(const BlockColumns& c, std::size_t base, std::size_t n, Conditions<Word>& words) {
    word_conditions<Lanes>(c, base, n, words);
}
void sse2_placement(const BlockColumns& c, std::size_t base, std::size_t from, std::size_t end,
                    const double* level_highs, const double* level_lows, bool any_range, Behind<Word>& behind) {
    word_placement<Lanes>(c, base, from, end, level_highs, level_lows, any_range, behind);
}
constexpr WordLoops kSse2WordLoops = {sse2_conditions, sse2_placement};

// Whether the AVX2 loops are built and the processor runs them.
bool runs_avx2() {
#if defined(SPREADCORE_AVX2_KERNEL)
    return processor_runs_avx2();
#else
    return false;
#endif
}

}  // namespace

#if defined(SPREADCORE_AVX2_KERNEL)
// engine/batch_avx2.cpp
extern const WordLoops kAvx2WordLoops;
#endif

KernelLanes widest_kernel_lanes() { return runs_avx2() ? KernelLanes::avx2 : KernelLanes::sse2; }

std::vector<KernelLanes> kernel_lanes_available() {
    std::vector<KernelLanes> available{KernelLanes::sse2};
    if (runs_avx2()) available.push_back(KernelLanes::avx2);
    return available;
}

SeriesKernel::SeriesKernel(int periods, KernelLanes lanes)
    : periods_(static_cast<std::size_t>(std::max(periods, 1))),
#if defined(SPREADCORE_AVX2_KERNEL)
      loops_(lanes == KernelLanes::avx2 && runs_avx2() ? kAvx2WordLoops : kSse2WordLoops),
#else
      loops_((static_cast<void>(lanes), kSse2WordLoops)),
#endif
      background_(periods),
      doubles_(5 * (kHistory + kBlock + kPad) + 10 * (kBlock + kPad) + 5 * periods_ + 2 * (periods_ + 1)),
      ints_(2 * kBlock),
      long_closes_(3 * std::max(periods, 1)),
      mid_closes_(9 * std::max(periods, 1)),
      longest_closes_(27 * std::max(periods, 1)) {
    double* free = doubles_.data();
    const auto take_doubles = [&free](std::size_t n) {
        double* const p = free;
        free += n;
        return p;
    };
    // The block's columns, each with room for the word loops' reads past
    // its last bar.
    const std::size_t with_history = kHistory + kBlock + kPad, column = kBlock + kPad;
    high_ = take_doubles(with_history), low_ = take_doubles(with_history);
    close_ = take_doubles(with_history), volume_ = take_doubles(with_history);
    next_ = take_doubles(with_history);
    spread_sum_at_ = take_doubles(column), volume_sum_at_ = take_doubles(column);
    close_sum_at_ = take_doubles(column), long_sum_at_ = take_doubles(column);
    highest_at_ = take_doubles(column), lowest_at_ = take_doubles(column);
    mid_sum_at_ = take_doubles(column), longest_sum_at_ = take_doubles(column);
    range_low_at_ = take_doubles(column), range_high_at_ = take_doubles(column);
    spreads_ = take_doubles(periods_), volumes_ = take_doubles(periods_), closes_ = take_doubles(periods_);
    highs_ = take_doubles(periods_), lows_ = take_doubles(periods_);
    highs_to_end_ = take_doubles(periods_ + 1), lows_to_end_ = take_doubles(periods_ + 1);
    std::fill(highs_to_end_, highs_to_end_ + periods_ + 1, -kInfinity);
    std::fill(lows_to_end_, lows_to_end_ + periods_ + 1, kInfinity);
    at_ = ints_.data(), block_codes_ = ints_.data() + kBlock;
    columns_ = {high_ + kHistory, low_ + kHistory, close_ + kHistory, volume_ + kHistory, next_,
                spread_sum_at_, volume_sum_at_, close_sum_at_, long_sum_at_, mid_sum_at_, longest_sum_at_,
                highest_at_, lowest_at_, range_low_at_, range_high_at_,
                static_cast<double>(periods_), static_cast<double>(long_closes_.size()),
                static_cast<double>(mid_closes_.size()), static_cast<double>(longest_closes_.size())};
}

namespace {

// How the kernel reads a column of prices: each value as it is, or rounded
// to float32 (`kFloat32`); two at once or one. With `kCheck`, it notes
// whether every value read is a number within float32's range (a volume
// not negative either): a host's columns checked as they are read, not in
// a pass of their own.
template <class Price, bool kFloat32, bool kCheck = false>
class Reading {
public:
    Lanes two(const Price* p) { return rounded(checked(Lanes::load(p), -kMostFloat32)); }
    Lanes two_volumes(const Price* p) { return rounded(checked(Lanes::load(p), 0.0)); }
    double one(Price x) { return rounded(checked(static_cast<double>(x), -kMostFloat32)); }
    double one_volume(Price x) { return rounded(checked(static_cast<double>(x), 0.0)); }
    // Whether every value read so far passed (always, without kCheck).
    bool all_within() const { return bits(within_) == 3 && within_one_; }

private:
    // NaN fails both comparisons.
    Lanes checked(Lanes x, double least) {
        if constexpr (kCheck) within_ = within_ & ((x <= Lanes::all(kMostFloat32)) & (x >= Lanes::all(least)));
        return x;
    }
    double checked(double x, double least) {
        if constexpr (kCheck) within_one_ &= host_holds(x, least);
        return x;
    }
    static Lanes rounded(Lanes x) {
        if constexpr (kFloat32) return to_float32(x);
        return x;
    }
    static double rounded(double x) {
        if constexpr (kFloat32) return static_cast<double>(static_cast<float>(x));
        return x;
    }
    Mask within_ = Lanes::all(0.0) <= Lanes::all(0.0);
    bool within_one_ = true;
};

}  // namespace

template <class Price>
void SeriesKernel::run(const Price* high, const Price* low, const Price* close, const Price* volume,
                       std::size_t count, int32_t* codes, const FeedPolicy* policy, BackgroundView* views) {
    Reading<Price, false> read;
    run_read(read, high, low, close, volume, count, codes, policy, views);
}

void SeriesKernel::run_float32(const double* high, const double* low, const double* close, const double* volume,
                               std::size_t count, int32_t* codes, const FeedPolicy* policy, BackgroundView* views) {
    Reading<double, true> read;
    run_read(read, high, low, close, volume, count, codes, policy, views);
}

bool SeriesKernel::run_checked(const double* high, const double* low, const double* close, const double* volume,
                               std::size_t count, int32_t* codes, const FeedPolicy* policy) {
    Reading<double, true, true> read;
    run_read(read, high, low, close, volume, count, codes, policy, nullptr);
    return read.all_within();
}

bool SeriesKernel::run_checked(const float* high, const float* low, const float* close, const float* volume,
                               std::size_t count, int32_t* codes, const FeedPolicy* policy) {
    Reading<float, false, true> read;
    run_read(read, high, low, close, volume, count, codes, policy, nullptr);
    return read.all_within();
}

template <class Read, class Price>
void SeriesKernel::run_read(Read& read, const Price* high, const Price* low, const Price* close, const Price* volume,
                            std::size_t count, int32_t* codes, const FeedPolicy* policy, BackgroundView* views) {
    if (views != nullptr) block_views_.resize(kBlock);
    // Without a policy, no volume is below the floor.
    const double floor = policy != nullptr ? policy->volume_floor : -kInfinity;
    const double floored = policy != nullptr ? policy->floored_volume : 0.0;
    const long judged_from = static_cast<long>(std::max<std::size_t>(periods_, 2));
    double* const h = high_ + kHistory;
    double* const l = low_ + kHistory;
    double* const c = close_ + kHistory;
    double* const v = volume_ + kHistory;
    double* const next = next_;
    for (std::size_t first = 0; first < count; first += kBlock) {
        const std::size_t length = std::min(kBlock, count - first);
        // The block's bars as doubles, each volume after the floor, and how
        // many are usable.
        std::size_t usable_bars = 0, paired = 0;
        for (std::size_t j = 0; j + 2 <= length; j += 2, paired = j) {
            const std::size_t i = first + j;
            const Lanes hj = read.two(high + i), lj = read.two(low + i), cj = read.two(close + i);
            const Lanes traded = read.two_volumes(volume + i);
            const Lanes vj = select(traded < floor, floored, traded);
            hj.store(h + j), lj.store(l + j), cj.store(c + j), vj.store(v + j);
            const unsigned both = bits(usable(hj, lj, cj, vj));
            usable_bars += (both & 1) + (both >> 1);
        }
        if (paired < length) {  // the last of an odd number
            const std::size_t j = paired;
            h[j] = read.one(high[first + j]);
            l[j] = read.one(low[first + j]);
            c[j] = read.one(close[first + j]);
            const double traded = read.one_volume(volume[first + j]);
            v[j] = traded < floor ? floored : traded;
            usable_bars += usable(h[j], l[j], c[j], v[j]);
        }
        for (std::size_t j = 0; j + 1 < length; ++j) next[j] = c[j + 1];
        next[length - 1] = first + length < count ? read.one(close[first + length]) : kNoNextClose;

        // The bars before the averages are known answer kNone.
        const std::size_t from = pushed_ >= judged_from ? 0 : static_cast<std::size_t>(judged_from - pushed_);
        if (usable_bars == length) {
            take(length);
            judge_block(from, length, codes + first, views != nullptr ? views + first : nullptr);
            keep_history(length);
            continue;
        }
        // The usable bars moved up over the others, in order.
        std::size_t taken = 0;
        for (std::size_t j = 0; j < length; ++j) {
            h[taken] = h[j], l[taken] = l[j], c[taken] = c[j], v[taken] = v[j], next[taken] = next[j];
            at_[taken] = static_cast<int32_t>(j);
            taken += usable(h[j], l[j], c[j], v[j]);
        }
        take(taken);
        judge_block(from, taken, block_codes_, views != nullptr ? block_views_.data() : nullptr);
        keep_history(taken);
        for (std::size_t j = 0; j < length; ++j) codes[first + j] = kNone;
        for (std::size_t k = 0; k < taken; ++k) codes[first + static_cast<std::size_t>(at_[k])] = block_codes_[k];
        if (views == nullptr) continue;
        BackgroundView none;
        none.range_low = none.range_high = none.support = none.resistance = kNaN;
        none.mean_spread = none.mean_volume = none.close_position = kNaN;
        for (std::size_t j = 0; j < length; ++j) views[first + j] = none;
        for (std::size_t k = 0; k < taken; ++k) views[first + static_cast<std::size_t>(at_[k])] = block_views_[k];
    }
}

template void SeriesKernel::run(const double*, const double*, const double*, const double*, std::size_t, int32_t*,
                                const FeedPolicy*, BackgroundView*);
template void SeriesKernel::run(const float*, const float*, const float*, const float*, std::size_t, int32_t*,
                                const FeedPolicy*, BackgroundView*);

void SeriesKernel::take(std::size_t taken) {
    // The closes' windows of the trends (3N, 9N and 27N), a block at a time.
    Window::push_all({&long_closes_, &mid_closes_, &longest_closes_}, {long_sum_at_, mid_sum_at_, longest_sum_at_},
                     close_ + kHistory, taken);
    // The windows' state in locals (the compiler keeps them in registers).
    const std::size_t size = periods_;
    double* const spreads = spreads_;
    double* const volumes = volumes_;
    double* const closes = closes_;
    double* const highs = highs_;
    double* const lows = lows_;
    double* const highs_to_end = highs_to_end_;
    double* const lows_to_end = lows_to_end_;
    std::size_t at = place_;
    long pushed = pushed_;
    double spread_sum = spreads_sum_, volume_sum = volumes_sum_, close_sum = closes_sum_;
    double high_from_start = high_from_start_, low_from_start = low_from_start_;
    double highest = highest_, lowest = lowest_;
    const double* const h = high_ + kHistory;
    const double* const l = low_ + kHistory;
    const double* const c = close_ + kHistory;
    const double* const v = volume_ + kHistory;
    for (std::size_t k = 0; k < taken; ++k) {
        // The bar's values read once (the stores below could be to them as
        // far as the compiler knows).
        const double high = h[k], low = l[k], close = c[k], volume = v[k];
        // What the windows hold before bar k.
        spread_sum_at_[k] = spread_sum;
        volume_sum_at_[k] = volume_sum;
        close_sum_at_[k] = close_sum;
        highest_at_[k] = highest;
        lowest_at_[k] = lowest;

        // Bar k joins the window of the last `periods` bars as it joins the
        // Analyzer's BarWindow: each sum takes the new value less the one it
        // replaces (0 while the window fills) ...
        const double spread = high - low;
        spread_sum += spread - spreads[at];
        volume_sum += volume - volumes[at];
        close_sum += close - closes[at];
        spreads[at] = spread;
        volumes[at] = volume;
        closes[at] = close;
        highs[at] = high;
        lows[at] = low;
        high_from_start = std::max(high_from_start, high);
        low_from_start = std::min(low_from_start, low);
        highest = std::max(highs_to_end[at + 1], high_from_start);
        lowest = std::min(lows_to_end[at + 1], low_from_start);
        if (++at == size) {
            // ... and is made afresh from the values when the window wraps.
            at = 0;
            spread_sum = volume_sum = close_sum = 0;
            for (std::size_t i = 0; i < size; ++i) {
                spread_sum += spreads[i];
                volume_sum += volumes[i];
                close_sum += closes[i];
            }
            double high_to_end = -kInfinity, low_to_end = kInfinity;
            for (std::size_t i = size; i-- > 0;) {
                high_to_end = highs_to_end[i] = std::max(highs[i], high_to_end);
                low_to_end = lows_to_end[i] = std::min(lows[i], low_to_end);
            }
            high_from_start = -kInfinity, low_from_start = kInfinity;  // the next run's
        }
        ++pushed;
    }
    place_ = at, pushed_ = pushed;
    spreads_sum_ = spread_sum, volumes_sum_ = volume_sum, closes_sum_ = close_sum;
    high_from_start_ = high_from_start, low_from_start_ = low_from_start;
    highest_ = highest, lowest_ = lowest;
}

void SeriesKernel::keep_history(std::size_t taken) {
    for (std::size_t k = 0; k < kHistory; ++k) {
        high_[k] = high_[taken + k];
        low_[k] = low_[taken + k];
        close_[k] = close_[taken + k];
        volume_[k] = volume_[taken + k];
    }
}

void SeriesKernel::judge_block(std::size_t from, std::size_t taken, int32_t* out, BackgroundView* views) {
    // The windows' lengths, as the word loops read them.
    const double size = columns_.size, long_size = columns_.long_size;
    const double mid_size = columns_.mid_size, longest_size = columns_.longest_size;
    for (std::size_t base = 0; base < taken; base += kWord) {
        const std::size_t n = std::min(kWord, taken - base);
        Conditions<Word> words{};
        loops_.conditions(columns_, base, n, words);
        // The bar before each: the events of the word's bars (none before
        // the averages are known) moved up one bar, the last bar judged's
        // before the first.
        const Word open = bars_between(from > base ? from - base : 0, n);
        Word event_words[kEventKinds] = {};
        bar_events(words, [&](BarEvent e, Word w) { event_words[__builtin_ctz(e)] = w & open; });
        const auto before = [&](BarEvent e) {
            return event_words[__builtin_ctz(e)] << 1 | Word{(last_events_ & e) != 0};
        };
        words.behind.prev_effort_up = before(kEffortUpBar);
        words.behind.prev_effort_down = before(kEffortDownBar);
        words.behind.prev_wide_up_high_volume = before(kWideUpHighVolumeBar);
        words.behind.prev_wide_up_closing_high = before(kWideUpClosingHighBar);
        words.behind.prev_wide_down_closing_low = before(kWideDownClosingLowBar);
        last_events_ = 0;
        for (int e = 0; e < kEventKinds; ++e) last_events_ |= static_cast<uint32_t>(event_words[e] >> (n - 1) & 1) << e;
        // The events the background steps on; most bars have none.
        Word stepping = 0;
        for (int e = 0; e < kSteppingKinds; ++e) stepping |= event_words[e];
        // The rest of the background, a bar at a time: each bar's state as
        // the bars before it left it, then the bar's events taken into it.
        // Its flags change seldom: each run of bars with the same flags is
        // written to their words at once.
        Word flag_words[kFlags] = {};
        uint32_t run_flags = 0;
        std::size_t run_from = 0;
        // The levels change only at a level bar: each run of bars with the
        // same levels is placed against its ranges and those levels at once
        // (once the run's ranges are written), against the levels alone
        // when none of its bars has a range behind it (`ranged`).
        std::size_t levels_from = 0;
        Word ranged = 0;
        const auto place_run = [&](std::size_t end) {
            if (end > levels_from) {
                loops_.placement(columns_, base, levels_from, end, background_.level_highs(),
                                 background_.level_lows(), (ranged & bars_between(levels_from, end)) != 0,
                                 words.behind);
            }
            levels_from = end;
        };
        const auto end_run = [&](std::size_t end) {
            for (uint32_t f = run_flags; f != 0; f &= f - 1) flag_words[__builtin_ctz(f)] |= bars_between(run_from, end);
        };
        // Most bars have no range behind them (NaN), written for the word at
        // once.
        std::fill(range_low_at_ + base, range_low_at_ + base + n, kNaN);
        std::fill(range_high_at_ + base, range_high_at_ + base + n, kNaN);
        for (std::size_t p = 0; p < n; ++p) {
            const std::size_t k = base + p, b = kHistory + k;
            const BackgroundState& state = background_.flags_and_range();
            if (state.flags != run_flags) end_run(p), run_flags = state.flags, run_from = p;
            // The bars up to the next with events, in a background that
            // only counts them, taken at once (their views bar by bar).
            // Such a background has no range: they keep the NaN written for
            // them above.
            if (views == nullptr) {
                const Word later = stepping >> p;
                const long to_event = later == 0 ? static_cast<long>(n - p) : __builtin_ctzll(later);
                const long quiet = background_.quiet_bars(to_event);
                if (quiet > 0) {
                    background_.step_quiet(quiet);
                    p += static_cast<std::size_t>(quiet) - 1;
                    continue;
                }
            }
            range_low_at_[k] = state.range_low, range_high_at_[k] = state.range_high;
            ranged |= Word{!std::isnan(state.range_low)} << p;
            if (views != nullptr) {
                BackgroundView& view = views[k];
                view = background_.view(close_[b], {close_sum_at_[k] / size, long_sum_at_[k] / long_size,
                                                    mid_sum_at_[k] / mid_size, longest_sum_at_[k] / longest_size});
                view.mean_spread = spread_sum_at_[k] / size, view.mean_volume = volume_sum_at_[k] / size;
                view.close_position = close_position(high_[b], low_[b], close_[b]);
            }
            uint32_t events = 0;
            if ((stepping >> p & 1) != 0) {
                for (int e = 0; e < kSteppingKinds; ++e) events |= static_cast<uint32_t>(event_words[e] >> p & 1) << e;
                // A level bar brings a level in for the bars after it.
                if ((events & kLevelBar) != 0) place_run(p + 1);
            }
            background_.step(high_[b], low_[b], close_[b], events);
        }
        end_run(n);
        place_run(n);
        Behind<Word>& behind = words.behind;
        const auto flag_word = [&flag_words](BackgroundState::Flag f) { return flag_words[__builtin_ctz(f)]; };
        behind.strength_behind = flag_word(BackgroundState::kStrengthBehind);
        behind.weakness_behind = flag_word(BackgroundState::kWeaknessBehind);
        behind.accumulation = flag_word(BackgroundState::kAccumulation);
        behind.distribution = flag_word(BackgroundState::kDistribution);
        behind.after_breakout = flag_word(BackgroundState::kAfterBreakout);
        behind.after_breakdown = flag_word(BackgroundState::kAfterBreakdown);
        for (std::size_t k = 0; k < n; ++k) out[base + k] = kNone;
        write_codes(words, open, out + base, std::make_index_sequence<std::size(kRuleOrder)>());
    }
}

}  // namespace spreadcore
