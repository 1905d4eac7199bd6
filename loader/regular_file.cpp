#include "loader/regular_file.h"

#if defined(_WIN32)
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {

#if defined(_WIN32)

std::FILE* open_regular_file(const char* path) {
    if (path == nullptr) return nullptr;
    // The device namespace (\\.\C:, \\.\PhysicalDrive0, ...) names no file a
    // user keeps data in; a raw volume would even pass as a disk file.
    if ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
        path[2] == '.' && (path[3] == '\\' || path[3] == '/'))
        return nullptr;
    // CreateFile never waits: a pipe whose instances are busy fails at once,
    // and GetFileType tells a disk file from pipes, consoles and devices.
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                // A pipe server we connect to may only identify us,
                                // never act as the host's user.
                                FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) _close(fd);  // closes the handle too
    return file;
}

#else

std::FILE* open_regular_file(const char* path) {
    if (path == nullptr) return nullptr;
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of
    // waiting; it is then refused as not a regular file.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
}

#endif

}  // namespace orvane
