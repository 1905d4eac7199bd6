// The feed policy every host applies to the engine's codes (the warm-up,
// the volume floor, the last bar), stated here once: VSAInd, the engine's
// faces (engine/feed.h), the Python package and the benchmarks take it from
// this header, the MQL kit from the include made from the same figures.
// Header only: the plug-in, which binds the engine at run time, feeds it by
// this policy too.
#pragma once

#include <cstdint>

namespace spreadcore {

// The figures of the policy. generators/make_signals.py reads these lines to
// write the MQL kit's BarsightFeedPolicy.mqh: keep each one line, `inline
// constexpr TYPE NAME = VALUE;`.
// Bars numbered up to this (0 the chart's first bar) show no signal: the
// averages behind their codes are still filling.
inline constexpr int32_t kWarmUpLimit = 15;
// A volume below the floor is taken as kFlooredVolume (a bar of no volume
// would make every volume test meaningless).
inline constexpr double kVolumeFloor = 0.0001;
inline constexpr double kFlooredVolume = 1.0;
// "The next bar's close is not known".
inline constexpr double kNoNextClose = -1.0;
// The averaging length and the application text a chart opens its engine
// instance with (the engine reads neither text).
inline constexpr int32_t kChartPeriods = 9;
inline constexpr char kChartApplication[] = "metastock";

// How a chart feeds the engine.
struct FeedPolicy {
    int32_t warm_up_limit = kWarmUpLimit;
    double volume_floor = kVolumeFloor;
    double floored_volume = kFlooredVolume;
};
inline constexpr FeedPolicy kChartFeed{};

inline double fed_volume(double volume, const FeedPolicy& policy = kChartFeed) {
    return volume < policy.volume_floor ? policy.floored_volume : volume;
}
// Whether the bar numbered `number` shows its code.
inline bool shows_code(long number, const FeedPolicy& policy = kChartFeed) {
    return number > policy.warm_up_limit;
}

// A chart's bars f to l (of arrays indexed by bar number) as the policy
// feeds them: every bar but the last goes to the engine in order, the last
// one fed with its next close unknown; bar l is never fed (its next bar has
// not closed) and shows no signal. `analyse(i, counter, volume, next)` feeds
// bar i (counter 2.0 for the first bar fed, one more each bar; its volume
// after the floor; its next close or kNoNextClose) and answers its code;
// `show(i, code)` receives every bar's code as shown: 0 up to the warm-up
// and for the last bar.
template <class Price, class Analyse, class Show>
void feed_chart(const Price* close, const Price* volume, int32_t f, int32_t l, const FeedPolicy& policy,
                Analyse&& analyse, Show&& show) {
    double counter = 1.0;
    for (int32_t i = f; i < l; ++i) {
        counter = counter + 1.0;
        const double next = i == l - 1 ? kNoNextClose : static_cast<double>(close[i + 1]);
        const int32_t code = analyse(i, counter, fed_volume(static_cast<double>(volume[i]), policy), next);
        show(i, shows_code(i, policy) ? code : 0);
    }
    if (l >= 0) show(l, 0);
}

}  // namespace spreadcore
