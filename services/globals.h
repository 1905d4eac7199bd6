// The indicator library's process-wide state and the routines its parts share.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace barsight {

// Tests may watch the trace texts that DebugMessage otherwise discards. The
// library itself never sets this: in a shipped plug-in trace output is off.
using TraceHook = void (*)(const std::string& text);
void set_trace_hook_for_testing(TraceHook hook) noexcept;

class Globals {
public:
    Globals() = delete;

    // The client's reference count: bookkeeping only, never below 0.
    static std::atomic<int32_t> refCount;
    // The next unique identifier; starts at 10.
    static std::atomic<int32_t> ID;

    // The narrow-text buffer that convertString fills, one per calling
    // thread: at most 511 characters and a terminator. A text handed out
    // (GetCurrentUTCStr, GetFromQueue's message) stays valid until the same
    // thread calls again; another thread's calls never touch it (MetaTrader
    // calls from the threads of several charts and Expert Advisors at once).
    static constexpr std::size_t kTextBufferSize = 512;
    static thread_local char ch[kTextBufferSize];

    // UTF-16 text to one byte per character in `ch`: characters below 256
    // become the byte of the same value; if any is 256 or above, `ch` holds
    // the empty text. Text past 511 characters is cut. Returns `ch`, whose
    // earlier content is gone. A null text gives the empty text.
    static const char* convertString(const char16_t* text) noexcept;

    // Narrow text in the calling thread's ANSI code page to a new wide text;
    // no text for a null pointer.
    static std::optional<std::u16string> convertChar(char* text);
    static std::optional<std::u16string> convertChar(const char* text);
    static std::optional<std::u16string> convertChar(const char16_t* text);

    // The trace hook: trace output is off and the text is discarded, unless
    // support turned it on (BARSIGHT_TRACE=1, or the registry value
    // HKCU\Software\Barsight\Trace = 1): then each text goes to the
    // debugger output as one narrow string, exactly as given. A test may
    // watch the texts instead (set_trace_hook_for_testing).
    static void DebugMessage(const char* text) noexcept;
    static void DebugMessage(const std::string& text) noexcept;

    static int32_t SignFilter(int32_t sign) noexcept;
};

// The client exports' logic, kept apart from the stdcall shims.
namespace services {

int32_t inc_ref_count() noexcept;
int32_t dec_ref_count() noexcept;
int32_t get_ref_count() noexcept;
int32_t get_unique_id() noexcept;
// Whole seconds since 1970-01-01 UTC, truncated toward zero; times that do
// not fit an int32 (after 2038-01-19 03:14:07) saturate at its limits.
int32_t current_time_utc() noexcept;
// "yyyy-MM-dd HH:mm:ss:fff Z" in `ch`.
const char* current_utc_text() noexcept;
// Formats 100-ns ticks since the epoch as the 25-character text into `out`
// (at least 26 bytes).
void format_utc(int64_t ticks, char* out) noexcept;
// Two debugger messages: the text (system ANSI code page, at most 511
// characters), then a line break. A null text sends the empty text.
void debug_print(const char* text) noexcept;

}  // namespace services

}  // namespace barsight
