#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/regular_file.h"

namespace platform {

std::FILE* open_regular_file(const char* path, std::string* reason) {
    const auto refuse = [reason](const char* why) { return refused(reason, why); };
    if (path == nullptr) return refuse("no file named");
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of
    // waiting; it is then refused as not a regular file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return refuse(std::strerror(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(fd);
        return refuse(folder ? std::strerror(EISDIR) : "not a regular file");
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return refuse(std::strerror(errno));
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        ::close(fd);
        return refuse(std::strerror(errno));
    }
    return file;
}

long long file_size(std::FILE* file) {
    if (file == nullptr) return -1;
    struct stat info {};
    return fstat(fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

}  // namespace platform
