#include "indicator/local_indicators.h"

#include <algorithm>

#include "indicator/run_calculation.h"
#include "indicator/float_range.h"
#include "indicator/window_sum.h"

namespace barsight {

namespace {

const char kPricesMissing[] = "Chart price data missing";

// What VSATrend and VSASpread run over: the bars from the first with a full
// window of `periods` bars to the close series' last valid bar, and the
// chart's arrays (any may be missing; each calculation checks those it reads).
struct Window {
    int32_t periods;
    int32_t start;
    int32_t last;
    const float *high, *low, *close, *volume;
    float* out;
};

// The window of `periods` bars, which the row's check keeps below the close
// series' last valid index. The first full window is computed without int32
// overflow.
Window window_of(const msx::CalcArgs& args, int32_t periods) {
    const MSXDataRec& data = *args.data;
    Window window;
    window.periods = periods;
    window.last = data.sClose.iLastValid;
    const int64_t start = int64_t{data.sClose.iFirstValid} + periods - 1;
    window.start = static_cast<int32_t>(std::min<int64_t>(start, INT32_MAX));
    window.high = data.sHigh.pfValue;
    window.low = data.sLow.pfValue;
    window.close = data.sClose.pfValue;
    window.volume = data.sVol.pfValue;
    window.out = args.series()->pfValue;
    return window;
}

}  // namespace

int spread_class(double v, double average) noexcept {
    // The class table read top to bottom is "the first row that matches":
    // v < 0.000001 gives 0; v <= unit gives 1; v <= 3 units 2; v <= 4 units 3;
    // v <= 6 units 4; v <= 7 units 5; v > 7 units 6. For ordered values the
    // thresholds are monotone in the row number, so the class is 1 plus the
    // number of thresholds v exceeds; counting them instead of branching keeps
    // the loop free of unpredictable branches. NaN matches no row: class 0.
    const double unit = average * 2.0 / 7.0;
    if (v < 0.000001) return 0;
    const double top = unit * 7.0;
    if (!(v <= top) && !(v > top)) return 0;  // NaN in v or the average
    return 1 + (v > unit) + (v > unit * 3.0) + (v > unit * 4.0) + (v > unit * 6.0) + (v > top);
}

void spread_class_pair(detail::Pair v, detail::Pair average, int classes[2]) noexcept {
    // spread_class on both lanes: the same operations in the same order, so
    // each lane rounds and compares exactly as the scalar rule. A compare
    // gives -1 (all bits) where it holds, so the count is subtracted.
    typedef long long Mask __attribute__((vector_size(16)));
    const detail::Pair unit = average * 2.0 / 7.0;
    const detail::Pair top = unit * 7.0;
    const Mask above = (v > unit) + (v > unit * 3.0) + (v > unit * 4.0) + (v > unit * 6.0) +
                       (v > top);
    const Mask rated = ~(v < 0.000001) & ((v <= top) | (v > top));  // not small, not NaN
    const Mask cls = (1 - above) & rated;
    classes[0] = static_cast<int>(cls[0]);
    classes[1] = static_cast<int>(cls[1]);
}

CalcOutcome vsa_make_const(const msx::CalcArgs& args, int32_t bars) {
    const MSXDataInfoRec& close = args.data->sClose;
    const int32_t f = close.iFirstValid;
    const int32_t l = close.iLastValid;
    const float value = store(static_cast<double>(bars));
    float* out = args.series()->pfValue;
    if (f <= l && out == nullptr) return CalcOutcome::fail("No result values passed");
    for (int32_t i = f; i <= l; ++i) out[i] = value;
    return CalcOutcome::range(f, l);
}

CalcOutcome vsa_trend(const msx::CalcArgs& args, int32_t periods) {
    const Window w = window_of(args, periods);
    if (w.start <= w.last) {
        const float *high = w.high, *low = w.low, *close = w.close;
        float* out = w.out;
        if (!high || !low || !close || !out) return CalcOutcome::fail(kPricesMissing);
        const double divisor = w.periods;
        descending_window_sums(
            w.start, w.last, w.periods,
            [&](int32_t j) {
                return (static_cast<double>(low[j]) + static_cast<double>(high[j]) +
                        static_cast<double>(close[j])) /
                       3.0;
            },
            [&](int32_t i, double sum) { out[i] = store(sum / divisor); });
    }
    return CalcOutcome::range(w.start, w.last);
}

CalcOutcome vsa_vol_stops(const msx::CalcArgs& args, double multiplier, const MSXDataInfoRec& atr_series) {
    const double m = multiplier;
    // The stop line runs over the ATR series' bars, and reads the close
    // at the same bars. An ATR series that reaches outside the close
    // series' valid range is cut to the overlap: the host owns the close
    // and result arrays only over the chart's bars. No overlap (or an
    // empty ATR series) gives an empty result.
    const MSXDataInfoRec& close_series = args.data->sClose;
    const int32_t a = std::max(atr_series.iFirstValid, close_series.iFirstValid);
    const int32_t b = std::min(atr_series.iLastValid, close_series.iLastValid);
    if (a > b || a < 0) return CalcOutcome::range(0, -1);

    const float* atr = atr_series.pfValue;
    const float* close = close_series.pfValue;
    float* out = args.series()->pfValue;
    if (!close || !out) return CalcOutcome::fail(kPricesMissing);

    double d = atr[a] * m;
    double upper = close[a] + d;
    double lower = close[a] - d;
    bool is_long = true;
    bool is_short = true;
    for (int32_t i = a; i <= b; ++i) {
        d = atr[i] * m;
        const double c = close[i];
        const double candidate_upper = c + d;
        const double candidate_lower = c - d;
        if (candidate_upper < upper) upper = candidate_upper;
        if (candidate_lower > lower) lower = candidate_lower;
        if (c < lower && is_long) {
            is_long = false;
            is_short = true;
            upper = candidate_upper;
        }
        if (c > upper && is_short) {
            is_long = true;
            is_short = false;
            lower = candidate_lower;
        }
        out[i] = store(is_long ? lower : upper);
    }
    return CalcOutcome::range(a, b);
}

CalcOutcome vsa_spread(const msx::CalcArgs& args, int32_t mode, int32_t periods) {
    const Window w = window_of(args, periods);
    if (w.start <= w.last) {
        const float *high = w.high, *low = w.low, *volume = w.volume;
        float* out = w.out;
        if (!out || (mode == 0 && !volume) || (mode == 1 && (!high || !low)))
            return CalcOutcome::fail(kPricesMissing);
        const double divisor = w.periods;
        auto classify = [&](auto value) {
            descending_window_block_sums(
                w.start, w.last, w.periods, value, [&](int32_t i0, const double* sums, int n) {
                    // Two bars at a time, each lane exactly the scalar rule.
                    int b = 0;
                    for (; b + 2 <= n; b += 2) {
                        const int32_t i = i0 + b;
                        const detail::Pair v = {value(i), value(i + 1)};
                        int classes[2];
                        spread_class_pair(v, detail::load_pair(sums + b) / divisor, classes);
                        out[i] = store(classes[0]);
                        out[i + 1] = store(classes[1]);
                    }
                    for (; b < n; ++b)
                        out[i0 + b] = store(spread_class(value(i0 + b), sums[b] / divisor));
                });
        };
        if (mode == 0) {
            classify([&](int32_t j) { return static_cast<double>(volume[j]); });
        } else {
            classify([&](int32_t j) {
                return static_cast<double>(high[j]) - static_cast<double>(low[j]);
            });
        }
    }
    return CalcOutcome::range(w.start, w.last);
}

}  // namespace barsight
