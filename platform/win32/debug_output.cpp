#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/debug_output.h"

namespace platform {

namespace detail {
extern std::atomic<DebugOutputHook> debug_hook;
}

void debug_output(const char* text) noexcept {
    if (text == nullptr) text = "";
    try {
        if (DebugOutputHook hook = detail::debug_hook.load()) {
            hook(std::string(text));
            return;
        }
    } catch (...) {
        return;
    }
    OutputDebugStringA(text);
}

void debug_output(const char16_t* text) noexcept {
    if (text == nullptr) text = u"";
    try {
        if (DebugOutputHook hook = detail::debug_hook.load()) {
            hook(utf8_from_utf16(text));
            return;
        }
    } catch (...) {
        return;
    }
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(text));
}

}  // namespace platform
