// The four indicators computed inside the library from the chart's prices.
// Each is the calculation of the catalogue row of the same export name.
#pragma once

#include <cstdint>

#include "indicator/window_sum.h"
#include "msx/msx_catalogue.h"

namespace barsight {

// VSAMakeConst: a horizontal line at the whole-number level of numeric argument 0.
int32_t vsa_make_const(const msx::CalcArgs& args) noexcept;
// VSATrend: simple moving average of the typical price (low + high + close) / 3.
int32_t vsa_trend(const msx::CalcArgs& args) noexcept;
// VSAVolStops: a stop line that follows price from below while long and from
// above while short, at multiplier x ATR from the close; the ATR series is
// data-array 0.
int32_t vsa_vol_stops(const msx::CalcArgs& args) noexcept;
// VSASpread: class 0..6 of each bar's volume (mode 0) or range (mode 1)
// against its average over the last `periods` bars.
int32_t vsa_spread(const msx::CalcArgs& args) noexcept;

// The class table of VSASpread: v against unit = average * 2 / 7. NaN in v or
// the average matches no row and gives class 0.
int spread_class(double v, double average) noexcept;

// spread_class of two bars at once (lane by lane, the same result).
void spread_class_pair(detail::Pair v, detail::Pair average, int classes[2]) noexcept;

}  // namespace barsight
