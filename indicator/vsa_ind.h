// The engine-backed indicator: feeds the chart's bars to the Spreadcore
// analysis engine and plots its filtered signal codes.
#pragma once

#include "indicator/local_indicators.h"

namespace barsight {

int32_t vsa_ind(BARSIGHT_CALC_PARAMS) noexcept;

}  // namespace barsight
