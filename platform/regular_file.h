// Opening a file a user named for reading, refusing what is not a regular
// disk file: a FIFO or pipe would block the reader waiting for a writer, and
// a device (/dev/zero, CON, NUL, COM1) never ends or answers. Used by every
// reader of user-named files: the loader plug-in, the tools' chart reader
// and the posix settings file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace platform {

// The owner of a C stream: closed when the owner goes.
struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using unique_file = std::unique_ptr<std::FILE, FileCloser>;

// The file at `path` (narrow text, as the host passes it) open for binary
// reading, or null when it cannot be opened or is not a regular file, with
// the reason in `reason` when given ("No such file or directory",
// "Permission denied", "Is a directory", "not a regular file", ...). Never
// waits for a writer.
std::FILE* open_regular_file(const char* path, std::string* reason = nullptr);

// The size in bytes of an open file, or -1 when it cannot be told.
long long file_size(std::FILE* file);

// Null, with `why` in `reason` when given: how open_regular_file refuses.
inline std::FILE* refused(std::string* reason, const char* why) {
    if (reason != nullptr) *reason = why;
    return nullptr;
}

}  // namespace platform
