// Opening the file a user named for reading, refusing what is not a regular
// disk file: a FIFO or pipe would block the host's calculation waiting for a
// writer, and a device (/dev/zero, CON, NUL, COM1) never ends or answers.
#pragma once

#include <cstdio>

namespace orvane {

// The file at `path` (narrow text, as the host passes it) open for binary
// reading, or null when it cannot be opened or is not a regular file. Never
// waits for a writer.
std::FILE* open_regular_file(const char* path);

}  // namespace orvane
