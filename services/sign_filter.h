// The signal filter and the volume colour rule offered to the trading client.
#pragma once

#include <cstdint>

namespace barsight {

// The sign codes the system shows: 161 codes between -199 and 199.
bool in_pass_set(int32_t sign) noexcept;

// `sign` when it is in the pass set, otherwise 0 (no sign).
int32_t sign_filter(int32_t sign) noexcept;

// Colour class 1 to 4 of a volume bar: 1 when vol0 is strictly below both
// comparison volumes, else 2 when close0 < close1, else 3 when
// close0 > close1, else 4 (equal closes, or a NaN close). NaN volumes never
// count as lower.
int32_t volume_color(double vol0, double vol1, double vol2, double close0,
                     double close1) noexcept;

}  // namespace barsight
