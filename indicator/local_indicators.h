// The four indicators computed inside the library from the chart's prices:
// the bodies of the calc rows of the same export names in
// plugin/BarsightPlugin.exports. Each runs in the calculation frame after
// its row's argument checks, and takes the checked arguments: the chart
// data and the result series are there, and the numbers are within their
// rows' bounds.
#pragma once

#include <cstdint>

#include "indicator/window_sum.h"
#include "msx/calc_frame.h"

namespace barsight {

// VSAMakeConst: a horizontal line at the level `bars` (numeric argument 0
// as a whole number).
msx::CalcOutcome vsa_make_const(const msx::CalcArgs& args, int32_t bars);
// VSATrend: simple moving average of the typical price (low + high + close)
// / 3 over `periods` bars (1 <= periods < the close series' last valid index).
msx::CalcOutcome vsa_trend(const msx::CalcArgs& args, int32_t periods);
// VSAVolStops: a stop line that follows price from below while long and from
// above while short, at multiplier x ATR from the close (0 < multiplier <=
// 1000); `atr` is data-array 0, with its values.
msx::CalcOutcome vsa_vol_stops(const msx::CalcArgs& args, double multiplier, const MSXDataInfoRec& atr);
// VSASpread: class 0..6 of each bar's volume (mode 0) or range (mode 1)
// against its average over the last `periods` bars (as VSATrend's).
msx::CalcOutcome vsa_spread(const msx::CalcArgs& args, int32_t mode, int32_t periods);

// The class table of VSASpread: v against unit = average * 2 / 7. NaN in v or
// the average matches no row and gives class 0.
int spread_class(double v, double average) noexcept;

// spread_class of two bars at once (lane by lane, the same result).
void spread_class_pair(detail::Pair v, detail::Pair average, int classes[2]) noexcept;

}  // namespace barsight
