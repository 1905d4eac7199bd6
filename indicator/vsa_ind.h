// VSAInd, the engine-backed indicator: feeds the chart's bars to the
// Spreadcore analysis engine and plots its filtered signal codes.
#pragma once

#include <cstdint>

#include "indicator/engine_binding.h"
#include "msx/msx_catalogue.h"

namespace barsight {

int32_t vsa_ind(const msx::CalcArgs& args) noexcept;

// The same calculation on an engine the caller binds (the Python package
// links the engine in) with averaging length `periods` (VSAInd's is 9).
int32_t vsa_ind_on(const msx::CalcArgs& args, const EngineApi& engine, int32_t periods) noexcept;

}  // namespace barsight
