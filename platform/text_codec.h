// The one text codec: UTF-8 and UTF-16 conversions for every component
// (dialog, settings, library paths, debugger output), Windows' wide strings,
// and narrow text in the system's code pages decoded to UTF-16.
#pragma once

#include <string>

namespace platform {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD. Null gives "".
std::string utf8_from_utf16(const char16_t* text);
// UTF-8 to UTF-16; bytes that are no UTF-8 become U+FFFD.
std::u16string utf16_from_utf8(const std::string& text);

#if defined(_WIN32)
// Windows' wide strings are UTF-16.
inline std::wstring wide_from_utf8(const std::string& text) {
    const std::u16string wide = utf16_from_utf8(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string utf8_from_wide(const wchar_t* text) {
    return utf8_from_utf16(reinterpret_cast<const char16_t*>(text));
}
inline std::string utf8_from_wide(const std::wstring& text) { return utf8_from_wide(text.c_str()); }
#endif

enum class CodePage {
    kThreadAnsi,  // the calling thread's ANSI code page (CP_THREAD_ACP)
    kSystemAnsi,  // the system ANSI code page, precomposed (CP_ACP, MB_PRECOMPOSED)
};

// Decodes `size` bytes. On posix, which has no ANSI code page, the bytes are
// read as Latin-1: each byte becomes the UTF-16 unit of the same value.
std::u16string decode_narrow(const char* bytes, std::size_t size, CodePage page);

}  // namespace platform
