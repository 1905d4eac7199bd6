// A stdcall call whose stack is checked: on 32-bit x86 the arguments go
// through a thunk that compares the stack pointer the callee leaves with the
// one a correct stdcall callee leaves, so a wrong declaration (the wrong
// byte count popped) is reported rather than fatal. Elsewhere there is no
// such call (every convention is the same on x86_64): callers make a typed
// call instead.
#pragma once

#include <cstdint>

namespace platform {

// Whether this build makes checked stdcall calls (32-bit x86).
#if defined(__i386__)
inline constexpr bool kCheckedStdcall = true;
#else
inline constexpr bool kCheckedStdcall = false;
#endif

// What the callee left: eax and edx, and st(0) when it answers a float.
struct StdcallResult {
    std::uint32_t eax = 0, edx = 0;
    double st0 = 0;
};

// Calls `address` with `count` 4-byte words; `stack_difference` is the stack
// pointer left minus the one a callee popping every word leaves (0 for a
// correct declaration). False, calling nothing, where kCheckedStdcall is
// false.
bool call_stdcall_checked(void* address, const std::uint32_t* words, int count, bool float_result,
                          StdcallResult* result, std::int32_t* stack_difference);

}  // namespace platform
