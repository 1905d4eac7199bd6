#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/debug_output.h"
#include "platform/text_codec.h"

namespace platform {

bool trace_switch_on() noexcept {
    const char* value = std::getenv("BARSIGHT_TRACE");
    return value != nullptr && std::string(value) == "1";
}

namespace detail {

int64_t system_utc_ticks() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

void system_message_box(const std::u16string& text, const char16_t* caption) noexcept {
    try {
        const std::string line =
            utf8_from_utf16(caption) + ": " + utf8_from_utf16(text.c_str()) + "\n";
        (void)!::write(2, line.data(), line.size());
    } catch (...) {
    }
}

}  // namespace detail

std::u16string decode_narrow(const char* bytes, std::size_t size, CodePage) {
    std::u16string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i])));
    return out;
}

}  // namespace platform
