// Spreadcore's analysis of one chart: volume spread analysis (VSA) signals
// from each bar's spread, volume and close position against the bars before
// it and the background trend. The rules are written out in README.md.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/background.h"
#include "engine/feed_policy.h"
#include "engine/rules.h"

namespace spreadcore {

struct Bar {
    double high = 0, low = 0, close = 0, volume = 0;
};

// The longest averaging length an instance takes.
inline constexpr int32_t kMaxPeriods = 10000;

// kNoNextClose, "the next bar's close is not known", is the feed policy's.

// The index of the greatest value (by `Greater`) among the last `size`
// values pushed, kept as a monotonic queue: each value enters once and
// leaves once, so a push costs O(1) amortised whatever the size.
template <class Greater>
class WindowExtreme {
public:
    explicit WindowExtreme(int size) : entries_(static_cast<std::size_t>(size)) {}
    // Takes the value of position `at` (positions rise by one a push).
    void push(long at, double value) {
        while (count_ > 0 && !Greater()(back().value, value)) --count_;  // never the extreme again
        if (count_ > 0 && front().at <= at - static_cast<long>(entries_.size())) pop_front();
        entries_[wrap(first_ + count_)] = {at, value};
        ++count_;
    }
    double value() const { return front().value; }

private:
    struct Entry {
        long at = 0;
        double value = 0;
    };
    const Entry& front() const { return entries_[first_]; }
    const Entry& back() const { return entries_[wrap(first_ + count_ - 1)]; }
    void pop_front() {
        first_ = wrap(first_ + 1);
        --count_;
    }
    // A position of the ring (below twice its size) as an index.
    std::size_t wrap(std::size_t i) const { return i >= entries_.size() ? i - entries_.size() : i; }
    std::vector<Entry> entries_;  // a ring of at most `size` entries, values falling by Greater
    std::size_t first_ = 0, count_ = 0;
};

struct Above {
    bool operator()(double a, double b) const { return a > b; }
};
struct Below {
    bool operator()(double a, double b) const { return a < b; }
};

// The last `size` bars: mean spread, mean volume, mean close, highest high
// and lowest low, each kept up to date as bars arrive in O(1) amortised.
// The sums are added to as bars come and go and recomputed from the bars
// each time the window wraps, so rounding never accumulates.
class BarWindow {
public:
    explicit BarWindow(int size) : bars_(static_cast<std::size_t>(size)), highest_(size), lowest_(size) {}
    void push(const Bar& bar);
    bool full() const { return count_ >= bars_.size(); }
    double mean_spread() const { return spread_sum_ / size(); }
    double mean_volume() const { return volume_sum_ / size(); }
    double mean_close() const { return close_sum_ / size(); }
    double highest() const { return highest_.value(); }
    double lowest() const { return lowest_.value(); }

private:
    double size() const { return static_cast<double>(bars_.size()); }
    void recompute();
    std::vector<Bar> bars_;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
    long pushed_ = 0;
    double spread_sum_ = 0, volume_sum_ = 0, close_sum_ = 0;
    // Highs that may still be the highest (strictly falling), lows that may
    // still be the lowest (strictly rising).
    WindowExtreme<Above> highest_;
    WindowExtreme<Below> lowest_;
};

class Analyzer {
public:
    // `periods` (at least 1) is the averaging length; the background trend
    // compares averages of `periods` and 3 x `periods` closes.
    explicit Analyzer(int periods);

    // Takes the next bar (ascending order) and returns its signal code.
    // `next_close` is the following bar's close, or kNoNextClose. A bar with
    // a non-finite value, high below low or negative volume is not used and
    // answers kNone.
    int32_t analyse(const Bar& bar, double next_close);

    // The code of the last bar taken, judged again with `next_close` (its
    // next close, once known), without taking a bar: what `analyse` would
    // have answered for it with that next close. kNone when no bar was
    // taken or the last one was not usable.
    int32_t revise(double next_close) const;
    // The background the last bar taken was judged against (a reader's
    // view of it); a view of nothing before any bar.
    BackgroundView background() const;

private:
    // Whether the bars committed so far let a bar be judged.
    bool judging() const { return recent_.full() && bars_ >= 2; }
    // What the bar is judged against, with the bars committed so far.
    BarContext context(const Bar& bar, double next_close) const;
    // The bar's conditions and code against the bars committed so far.
    Conditions<bool> conditions_of(const Bar& bar, double next_close) const;
    // Moves the pending bar into the averages and the previous bars.
    void commit();

    int periods_;
    BarWindow recent_;     // the last `periods` bars
    Window long_closes_;   // the last 3 x `periods` closes
    Window mid_closes_;    // the last 9 x `periods` closes
    Window longest_closes_;  // the last 27 x `periods` closes
    Background background_;
    uint32_t prev_events_ = 0;  // the events of the last bar committed
    Bar prev1_, prev2_;
    long bars_ = 0;
    // The last usable bar taken: it joins the averages only when the next
    // bar arrives, so that it can still be judged again with its next close.
    Bar pending_;
    bool has_pending_ = false;
    uint32_t pending_events_ = 0;  // its events (engine/background.h)
};

}  // namespace spreadcore
