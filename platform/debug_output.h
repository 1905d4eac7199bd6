// The debugger output stream: OutputDebugStringA / OutputDebugStringW on
// Windows. On posix, where no such stream exists, each string is appended to
// the file named by the environment variable BARSIGHT_DEBUG_OUTPUT as its raw
// bytes (UTF-8 for wide strings) followed by one NUL byte, so that strings
// with and without line ends are told apart; without the variable nothing is
// written.
#pragma once

#include <string>

#include "platform/text_codec.h"

namespace platform {

void debug_output(const char* text) noexcept;
void debug_output(const char16_t* text) noexcept;

// The support switch for trace output: the environment variable
// BARSIGHT_TRACE set to 1, or on Windows the registry value
// HKEY_CURRENT_USER\Software\Barsight\Trace (a DWORD) set to 1. Reads
// them on every call: callers read it once.
bool trace_switch_on() noexcept;

// Tests replace the stream in-process: every string goes to `hook` (wide
// strings as UTF-8) instead of the platform's stream while it is set.
using DebugOutputHook = void (*)(const std::string& text);
void set_debug_output_hook(DebugOutputHook hook) noexcept;

}  // namespace platform
