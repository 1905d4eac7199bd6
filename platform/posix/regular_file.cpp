#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/unique_resource.h"
#include "platform/regular_file.h"

namespace platform {

std::FILE* open_regular_file(const char* path, std::string* reason) {
    const auto refuse = [reason](const char* why) { return refused(reason, why); };
    if (path == nullptr) return refuse("no file named");
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of
    // waiting; it is then refused as not a regular file.
    posix::unique_fd fd(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return refuse(std::strerror(errno));
    struct stat info {};
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return refuse(S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return refuse(std::strerror(errno));
    std::FILE* file = fdopen(fd.get(), "rb");
    if (file == nullptr) return refuse(std::strerror(errno));
    static_cast<void>(fd.release());  // the stream owns it now
    return file;
}

long long file_size(std::FILE* file) {
    if (file == nullptr) return -1;
    struct stat info {};
    return fstat(fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool file_identity(const char* path, FileIdentity* identity) {
    struct stat info {};
    if (path == nullptr || ::stat(path, &info) != 0) return false;
    identity->device = static_cast<uint64_t>(info.st_dev);
    identity->file = static_cast<uint64_t>(info.st_ino);
    identity->regular = S_ISREG(info.st_mode);
    return true;
}

std::string path_key(const std::string& path) { return path; }

}  // namespace platform
