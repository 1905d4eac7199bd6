// Opening a file a user named for reading, refusing what is not a regular
// disk file: a FIFO or pipe would block the reader waiting for a writer, and
// a device (/dev/zero, CON, NUL, COM1) never ends or answers. Used by every
// reader of user-named files: the loader plug-in, the tools' chart reader
// and the posix settings file.
#pragma once

#include <cstdint>
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

// What tells one file from another whatever name leads to it (a link, a
// second path, a hard link): the device and the file's number on it (st_dev
// and st_ino; the volume serial number and the file index on Windows), and
// whether it is a regular file.
struct FileIdentity {
    uint64_t device = 0, file = 0;
    bool regular = false;  // false: a folder, a FIFO, a device, ...
};

// The identity of what `path` names, links followed; false when nothing is
// there (or it cannot be told). Never opens a FIFO or a device for reading
// or writing, so never waits.
bool file_identity(const char* path, FileIdentity* identity);

// A path of a file not yet made, as this system's file names compare:
// unchanged on posix; on Windows, whose names ignore case and drop the dots
// and spaces that end a name, in upper case (ASCII letters) with each name's
// trailing dots and spaces removed and '\\' as '/'. Two paths that give one
// key name one file.
std::string path_key(const std::string& path);

// Null, with `why` in `reason` when given: how open_regular_file refuses.
inline std::FILE* refused(std::string* reason, const char* why) {
    if (reason != nullptr) *reason = why;
    return nullptr;
}

}  // namespace platform
