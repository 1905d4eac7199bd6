// Conversions every indicator uses before a value reaches the host.
#pragma once

#include <cfloat>
#include <climits>
#include <cstdint>

#include "msx/calc_arguments.h"

namespace barsight {

// Clamps a double into the finite, normal single-precision range so that the
// float the host receives is never infinite and never subnormal. Zeros of
// either sign and NaN pass unchanged.
inline double ForceFloatRange(double a_lfDbl) noexcept {
    constexpr double kMax = FLT_MAX;
    constexpr double kMin = FLT_MIN;
    if (a_lfDbl > 0.0) {
        if (a_lfDbl >= kMax) return kMax;
        if (a_lfDbl <= kMin) return kMin;
        return a_lfDbl;
    }
    if (a_lfDbl < 0.0) {
        if (a_lfDbl <= -kMax) return -kMax;
        if (a_lfDbl >= -kMin) return -kMin;
        return a_lfDbl;
    }
    return a_lfDbl;
}

// The one way a computed value is written into a result series.
inline float store(double value) noexcept {
    return static_cast<float>(ForceFloatRange(value));
}

// A host numeric argument as a whole number: truncated toward zero, INT_MIN
// for NaN, infinities and values outside the int32 range (msx::whole_number,
// which the calculations' argument checks use).
inline int32_t truncate_to_int32(float value) noexcept { return msx::whole_number(value); }

}  // namespace barsight
