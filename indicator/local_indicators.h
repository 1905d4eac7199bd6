// The four indicators computed inside the library from the chart's prices.
// Each has the host's calculation signature; the exports forward to these.
#pragma once

#include <cstdint>

#include "msx/msx_records.h"

namespace barsight {

#define BARSIGHT_CALC_PARAMS                                                                  \
    const MSXDataRec *a_psDataRec, const MSXDataInfoRecArgsArray *a_psDataInfoArgs,           \
        const MSXNumericArgsArray *a_psNumericArgs, const MSXStringArgsArray *a_psStringArgs, \
        const MSXCustomArgsArray *a_psCustomArgs, MSXResultRec *a_psResultRec

// A horizontal line at the whole-number level of numeric argument 0.
int32_t vsa_make_const(BARSIGHT_CALC_PARAMS) noexcept;
// Simple moving average of the typical price (low + high + close) / 3.
int32_t vsa_trend(BARSIGHT_CALC_PARAMS) noexcept;
// A stop line that follows price from below while long and from above while
// short, at multiplier x ATR from the close; the ATR series is data-array 0.
int32_t vsa_vol_stops(BARSIGHT_CALC_PARAMS) noexcept;
// Class 0..6 of each bar's volume (mode 0) or range (mode 1) against its
// average over the last `periods` bars.
int32_t vsa_spread(BARSIGHT_CALC_PARAMS) noexcept;

// The class table of VSASpread: v against unit = average * 2 / 7. NaN in v or
// the average matches no row and gives class 0.
int spread_class(double v, double average) noexcept;

}  // namespace barsight
