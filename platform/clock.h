// The current UTC time, from one function that tests can replace.
#pragma once

#include <cstdint>

namespace platform {

// 100-nanosecond ticks since 1970-01-01 00:00:00 UTC.
int64_t utc_now_ticks() noexcept;

using ClockFunction = int64_t (*)();
// Replaces the system clock (null restores it).
void set_clock_for_testing(ClockFunction clock) noexcept;

}  // namespace platform
