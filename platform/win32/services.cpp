#include <windows.h>

#include <string>

#include "platform/debug_output.h"
#include "platform/text_codec.h"

namespace platform {

bool trace_switch_on() noexcept {
    char value[8] = {};
    const DWORD n = GetEnvironmentVariableA("BARSIGHT_TRACE", value, sizeof value);
    if (n == 1 && value[0] == '1') return true;
    DWORD data = 0;
    DWORD size = sizeof data;
    return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Barsight", L"Trace", RRF_RT_REG_DWORD,
                        nullptr, &data, &size) == ERROR_SUCCESS &&
           data == 1;
}

namespace detail {

int64_t system_utc_ticks() noexcept {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const int64_t since_1601 =
        static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return since_1601 - 116444736000000000LL;  // 1601-01-01 to 1970-01-01
}

void system_message_box(const std::u16string& text, const char16_t* caption) noexcept {
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                reinterpret_cast<const wchar_t*>(caption), MB_OK | MB_ICONERROR);
}

}  // namespace detail

std::u16string decode_narrow(const char* bytes, std::size_t size, CodePage page) {
    if (size == 0) return {};
    const UINT cp = page == CodePage::kThreadAnsi ? CP_THREAD_ACP : CP_ACP;
    const DWORD flags = page == CodePage::kThreadAnsi ? 0 : MB_PRECOMPOSED;
    const int n = static_cast<int>(size);
    const int wide = MultiByteToWideChar(cp, flags, bytes, n, nullptr, 0);
    if (wide <= 0) return {};
    std::u16string out(static_cast<std::size_t>(wide), u'\0');
    MultiByteToWideChar(cp, flags, bytes, n, reinterpret_cast<wchar_t*>(&out[0]), wide);
    return out;
}

}  // namespace platform
