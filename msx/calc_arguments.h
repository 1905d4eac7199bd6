// What the generated argument checks of a calculation read the host's
// arguments with (generators/make_boundary.py writes them from each calc row of
// a table of exports): a number as a whole number, whether a data array came
// with its values, whether a text is too long. The checks run in the frame
// of msx/calc_frame.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "msx/calc_frame.h"
#include "msx/msx_records.h"

namespace msx {

// A host number as a whole number: truncated toward zero. NaN, infinities
// and values outside the int32 range give INT_MIN, which is what the x86
// conversion instruction yields; done explicitly because the C++ conversion
// is undefined for them.
inline int32_t whole_number(float value) noexcept {
    const double v = value;
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A data array the host passed with its values.
inline bool given(const MSXDataInfoRec* array) noexcept {
    return array != nullptr && array->pfValue != nullptr;
}

// Whether `text` has more than `limit` characters (read no further).
inline bool longer_than(const char* text, std::size_t limit) noexcept {
    return strnlen(text, limit + 1) > limit;
}

}  // namespace msx
