// The indicator library's calculations in the MSX frame (msx/calc_frame.h),
// with its texts: a thrown failure reads "Tapeline <name> Error: <what>",
// and the result series is emptied before the body runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <utility>

#include "msx/calc_frame.h"

namespace barsight {

using msx::CalcOutcome;

inline void indicator_failure(const char* name, const char* what, bool /*out_of_memory*/, char* text) {
    std::snprintf(text, msx::kTextField, "Tapeline %s Error: %s", name, what != nullptr ? what : "unknown exception");
}

inline constexpr msx::FrameTexts kIndicatorFrame{"No result series passed", "No chart data passed", true,
                                                 &indicator_failure};

// Runs `body(const msx::CalcArgs&) -> CalcOutcome` in the frame; `name` is
// the function's export name.
template <class Body>
int32_t run_calculation(const char* name, const msx::CalcArgs& args, Body&& body) noexcept {
    return msx::run_frame(kIndicatorFrame, name, args, std::forward<Body>(body));
}

// The same, named by the export's catalogue row (args.name, which its shim
// passes): the name is written once, in the row.
template <class Body>
int32_t run_calculation(const msx::CalcArgs& args, Body&& body) noexcept {
    return run_calculation(args.name != nullptr ? args.name : "calculation", args, std::forward<Body>(body));
}

}  // namespace barsight
