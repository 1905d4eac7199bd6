#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "platform/posix/unique_resource.h"

namespace platform {

namespace detail {
extern std::atomic<DebugOutputHook> debug_hook;
}

namespace {

void emit(const char* bytes, std::size_t size) noexcept {
    try {
        if (DebugOutputHook hook = detail::debug_hook.load()) {
            hook(std::string(bytes, size));
            return;
        }
    } catch (...) {
        return;
    }
    const char* path = std::getenv("BARSIGHT_DEBUG_OUTPUT");
    if (path == nullptr || *path == '\0') return;
    const posix::unique_fd fd(::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd) return;
    // One write per string, so strings from several threads never interleave.
    char small[512];
    if (size + 1 <= sizeof small) {
        std::memcpy(small, bytes, size);
        small[size] = '\0';
        (void)!::write(fd.get(), small, size + 1);
    } else {
        std::string record(bytes, size);
        record.push_back('\0');
        (void)!::write(fd.get(), record.data(), record.size());
    }
}

}  // namespace

void debug_output(const char* text) noexcept {
    if (text == nullptr) text = "";
    emit(text, std::strlen(text));
}

void debug_output(const char16_t* text) noexcept {
    try {
        const std::string utf8 = utf8_from_utf16(text);
        emit(utf8.data(), utf8.size());
    } catch (...) {
    }
}

}  // namespace platform
