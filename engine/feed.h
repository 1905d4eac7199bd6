// The engine as a library, with two faces over one Analyzer:
//   a whole series at once   analyse_series (the engine's own codes),
//                            feed_series (the codes as a chart shows them)
//                            and feed_series_background (those and each
//                            bar's background)
//   a live stream            Stream: push a closed bar, revise it with its
//                            next close once that bar closes
// both under the feed policy of engine/feed_policy.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/analyzer.h"
#include "engine/batch.h"
#include "engine/feed_policy.h"

namespace spreadcore {

// `periods` is 1 to kMaxPeriods everywhere below (callers check it: the
// entry points refuse others).

// The engine's own codes of a whole series, no policy: codes[i] is what
// taking bars 0 to i in order, each with the next bar's close (the last with
// kNoNextClose), answers for bar i. Linear in the bars.
template <class Price>
void analyse_series(const Price* high, const Price* low, const Price* close, const Price* volume, std::size_t count,
                    int periods, int32_t* codes) {
    SeriesKernel kernel(periods);
    kernel.run(high, low, close, volume, count, codes, nullptr);
}

// A chart shows no code in the warm-up and on the last bar (count > 0).
inline void hide_unshown(int32_t* codes, std::size_t count, const FeedPolicy& policy) {
    for (std::size_t i = 0; i < count && !shows_code(static_cast<long>(i), policy); ++i) codes[i] = 0;
    codes[count - 1] = 0;
}

// A whole series' codes as a chart shows them (bars 0 to count - 1 fed by
// feed_chart): the codes VSAInd plots, before its signal filter.
template <class Price>
void feed_series(const Price* high, const Price* low, const Price* close, const Price* volume, std::size_t count,
                 int periods, int32_t* codes, const FeedPolicy& policy = kChartFeed) {
    // As feed_chart feeds them: every bar but the last, the last of those
    // with its next close unknown, each volume after the floor.
    if (count == 0) return;
    SeriesKernel kernel(periods);
    kernel.run(high, low, close, volume, count - 1, codes, &policy);
    hide_unshown(codes, count, policy);
}

// feed_series on doubles each rounded to float32 as it is read (a value
// beyond float32's range reads as infinite): the codes of the float32
// values a host holds, with no rounded copy made first.
inline void feed_series_float32(const double* high, const double* low, const double* close, const double* volume,
                                std::size_t count, int periods, int32_t* codes,
                                const FeedPolicy& policy = kChartFeed) {
    if (count == 0) return;
    SeriesKernel kernel(periods);
    kernel.run_float32(high, low, close, volume, count - 1, codes, &policy);
    hide_unshown(codes, count, policy);
}

// feed_series_float32 (doubles) or feed_series (floats) on a host's columns
// not yet checked: false when a value is NaN or beyond float32's range, or a
// volume is negative (the codes are then of no use), the check made as the
// engine reads the values.
template <class Price>
bool feed_series_checked(const Price* high, const Price* low, const Price* close, const Price* volume,
                         std::size_t count, int periods, int32_t* codes, const FeedPolicy& policy = kChartFeed) {
    if (count == 0) return true;
    SeriesKernel kernel(periods);
    if (!kernel.run_checked(high, low, close, volume, count - 1, codes, &policy)) return false;
    // The last bar is not fed; its values are checked all the same.
    const std::size_t last = count - 1;
    if (!(host_holds_price(high[last]) && host_holds_price(low[last]) && host_holds_price(close[last]) &&
          host_holds_volume(volume[last])))
        return false;
    hide_unshown(codes, count, policy);
    return true;
}

// feed_series with each bar's background: codes as feed_series gives them,
// and views[i] the background the engine read for bar i (what the rules
// read, made from the bars before it), for every bar, the last included:
// its view is the one a stream reads when that bar closes, though the chart
// shows no code there. A bar the engine cannot use gets an empty view.
// Linear in the bars.
template <class Price>
void feed_series_background(const Price* high, const Price* low, const Price* close, const Price* volume,
                            std::size_t count, int periods, int32_t* codes, BackgroundView* views,
                            const FeedPolicy& policy = kChartFeed) {
    if (count == 0) return;
    SeriesKernel kernel(periods);
    kernel.run(high, low, close, volume, count - 1, codes, &policy, views);
    // The last bar goes on from where the others left the kernel (a bar's
    // background never reads its next close, so its view is the same as
    // if it had come in the same run); its code is not shown.
    kernel.run(high + count - 1, low + count - 1, close + count - 1, volume + count - 1, 1, codes + count - 1,
               &policy, views + count - 1);
    hide_unshown(codes, count, policy);
}

// The engine live: each bar taken as it closes, with its next close not
// yet known, and judged again once that close is known. Every bar's revised
// code equals feed_series' for the same bars, but the newest: the stream
// shows it (provisionally) where a chart shows 0.
class Stream {
public:
    explicit Stream(int periods, const FeedPolicy& policy = kChartFeed) : analyzer_(periods), policy_(policy) {}

    // The new bar's provisional code (its next close not yet known).
    int32_t push(double high, double low, double close, double volume) {
        const int32_t code = analyzer_.analyse({high, low, close, fed_volume(volume, policy_)}, kNoNextClose);
        ++bars_;
        return shown(code);
    }
    // The newest bar's code judged with its next close; 0 before any bar.
    int32_t revise(double next_close) const { return bars_ == 0 ? 0 : shown(analyzer_.revise(next_close)); }
    long bars() const { return bars_; }
    // The background the newest bar was judged against (an empty view
    // before any bar).
    BackgroundView background() const { return analyzer_.background(); }

private:
    int32_t shown(int32_t code) const { return shows_code(bars_ - 1, policy_) ? code : 0; }
    Analyzer analyzer_;
    FeedPolicy policy_;
    long bars_ = 0;
};

}  // namespace spreadcore
