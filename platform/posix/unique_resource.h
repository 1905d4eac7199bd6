// Owners for the POSIX resources the platform layer holds, one line a kind.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/unique_any.h"

namespace platform::posix {

namespace detail {
inline bool close_fd(int fd) noexcept { return ::close(fd) == 0; }
inline void free_text(char* text) noexcept { std::free(text); }
inline void close_library(void* handle) noexcept { dlclose(handle); }
}  // namespace detail

// A file descriptor; close() answers whether close(2) succeeded (where a
// write's last error may show).
using unique_fd = unique_any<int, &detail::close_fd, -1>;
// A dlopen handle.
using unique_dl = unique_any<void*, &detail::close_library>;
// Text the C library allocated for the caller (realpath's answer).
using unique_malloc_text = unique_any<char*, &detail::free_text>;

}  // namespace platform::posix
