// VSAInd, the engine-backed indicator: feeds the chart's bars to the
// Spreadcore analysis engine and plots its filtered signal codes.
#pragma once

#include <cstdint>

#include "indicator/engine_binding.h"
#include "msx/msx_catalogue.h"

namespace barsight {

// VSAInd's feed, shared with everything that feeds the engine as it does:
// bar numbers up to kVsaWarmUpLimit are plotted as 0; a volume below
// kVsaVolumeFloor is taken as 1; kVsaNoNextClose is the engine's "next
// close not known".
inline constexpr int32_t kVsaWarmUpLimit = 15;
inline constexpr double kVsaVolumeFloor = 0.0001;
inline constexpr double kVsaNoNextClose = -1.0;

int32_t vsa_ind(const msx::CalcArgs& args) noexcept;

// The same calculation on an engine the caller binds (the Python package
// links the engine in) with averaging length `periods` (VSAInd's is 9).
int32_t vsa_ind_on(const msx::CalcArgs& args, const EngineApi& engine, int32_t periods) noexcept;

}  // namespace barsight
