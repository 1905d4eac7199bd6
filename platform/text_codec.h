// Narrow text in the system's code pages, decoded to UTF-16.
#pragma once

#include <string>

namespace platform {

enum class CodePage {
    kThreadAnsi,  // the calling thread's ANSI code page (CP_THREAD_ACP)
    kSystemAnsi,  // the system ANSI code page, precomposed (CP_ACP, MB_PRECOMPOSED)
};

// Decodes `size` bytes. On posix, which has no ANSI code page, the bytes are
// read as Latin-1: each byte becomes the UTF-16 unit of the same value.
std::u16string decode_narrow(const char* bytes, std::size_t size, CodePage page);

}  // namespace platform
