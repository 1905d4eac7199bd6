// VSAInd, the engine-backed indicator: feeds the chart's bars to the
// Spreadcore analysis engine and plots its filtered signal codes.
#pragma once

#include <cstdint>

#include "indicator/engine_binding.h"
#include "msx/msx_catalogue.h"

namespace barsight {

int32_t vsa_ind(const msx::CalcArgs& args) noexcept;

}  // namespace barsight
