#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/regular_file.h"
#include "platform/win32/unique_resource.h"

namespace platform {

std::FILE* open_regular_file(const char* path, std::string* reason) {
    const auto refuse = [reason](const char* why) { return refused(reason, why); };
    if (path == nullptr) return refuse("no file named");
    // The device namespace (\\.\C:, \\.\PhysicalDrive0, ...) names no file a
    // user keeps data in; a raw volume would even pass as a disk file.
    if ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
        path[2] == '.' && (path[3] == '\\' || path[3] == '/'))
        return refuse("not a regular file");
    // CreateFile never waits: a pipe whose instances are busy fails at once,
    // and GetFileType tells a disk file from pipes, consoles and devices.
    win32::unique_file_handle handle(win32::null_if_invalid(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                // A pipe server we connect to may only identify us,
                                // never act as the host's user.
                                FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                nullptr)));
    if (!handle) {
        const DWORD code = GetLastError();
        // A folder cannot be opened this way (Windows answers "access
        // denied"): say what it is.
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return refuse("Is a directory");
        return refuse(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                          ? "No such file or directory"
                      : code == ERROR_ACCESS_DENIED ? "Permission denied"
                                                    : "cannot be opened");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return refuse(folder ? "Is a directory" : "not a regular file");
    }
    win32::unique_crt_fd fd(_open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_RDONLY | _O_BINARY));
    if (!fd) return refuse("cannot be opened");
    static_cast<void>(handle.release());  // the descriptor owns it now (and closes it with itself)
    std::FILE* file = _fdopen(fd.get(), "rb");
    if (file == nullptr) return refuse("cannot be opened");
    static_cast<void>(fd.release());  // the stream owns it now
    return file;
}

long long file_size(std::FILE* file) {
    if (file == nullptr) return -1;
    struct _stat64 info {};
    return _fstat64(_fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool file_identity(const char* path, FileIdentity* identity) {
    if (path == nullptr) return false;
    // The device namespace names devices and pipes: there, but no file.
    if ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') && path[2] == '.' &&
        (path[3] == '\\' || path[3] == '/')) {
        *identity = FileIdentity{};
        return true;
    }
    // No access asked: only the file's information is read. A folder opens
    // only with FILE_FLAG_BACKUP_SEMANTICS.
    win32::unique_file_handle handle(win32::null_if_invalid(
        CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr)));
    if (!handle) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle.get(), &info)) {
        *identity = FileIdentity{};  // a device (NUL, CON, COM1) or a pipe
        return true;
    }
    identity->device = info.dwVolumeSerialNumber;
    identity->file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity->regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return true;
}

std::string path_key(const std::string& path) {
    std::string key;
    key.reserve(path.size());
    std::size_t name_start = 0;  // where the name being copied begins in `key`
    const auto end_name = [&] {
        // "a.csv. " is "a.csv"; a name of dots alone ("." and "..") stays.
        std::size_t end = key.size();
        while (end > name_start && (key[end - 1] == '.' || key[end - 1] == ' ')) --end;
        if (end > name_start) key.resize(end);
    };
    for (const char c : path) {
        if (c == '\\' || c == '/') {
            end_name();
            key += '/';
            name_start = key.size();
        } else {
            key += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
    end_name();
    return key;
}

}  // namespace platform
