#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/dynamic_library.h"
#include "platform/posix/unique_resource.h"

namespace platform {

using posix::unique_dl;

void DynamicLibrary::close() { unique_dl(std::exchange(handle_, nullptr)); }

DynamicLibrary DynamicLibrary::open(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && error != nullptr) {
        const char* reason = dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
    }
    return DynamicLibrary(handle);
}

DynamicLibrary DynamicLibrary::open_installed(const std::string& file_name, std::string* error) {
    const std::string own = own_module_directory();
    if (!own.empty()) {
        DynamicLibrary beside = open(join_path(own, file_name), nullptr);
        if (beside.loaded()) return beside;
    }
    return open(file_name, error);
}

DynamicLibrary DynamicLibrary::open_system(const std::string& file_name, std::string* error) {
    return open(file_name, error);
}

std::string library_file_name(const std::string& stem) { return "lib" + stem + ".so"; }

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

std::string native_path(const std::string& path) { return path; }

std::string own_module_path() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_module_path), &info) == 0 || info.dli_fname == nullptr)
        return {};
    // A program started by a relative path reports it relative: make it
    // absolute, so it stays right whatever the working folder becomes.
    if (const posix::unique_malloc_text absolute{realpath(info.dli_fname, nullptr)}) return absolute.get();
    return info.dli_fname;
}

bool DynamicLibrary::is_loaded(const std::string& path) {
    // The probe's reference goes with its owner.
    return static_cast<bool>(unique_dl(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)));
}

DynamicLibrary DynamicLibrary::own_module() {
    // The object is loaded already: RTLD_NOLOAD only counts one more
    // reference on it (a program's own path gives the main program).
    const std::string path = own_module_path();
    if (path.empty()) return DynamicLibrary();
    return DynamicLibrary(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD));
}

std::string own_module_directory() {
    const std::string file = own_module_path();
    if (file.empty()) return {};
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

bool is_regular_file(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string file_url(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        const posix::unique_malloc_text resolved(realpath(path.c_str(), nullptr));
        if (!resolved) return {};
        absolute = resolved.get();
    }
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char ch : absolute) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            url += ch;
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

std::string folder_file_url(const std::string& folder) {
    std::string url = file_url(folder);
    if (!url.empty() && url.back() != '/') url += '/';
    return url;
}

std::string path_from_file_url(const std::string& url) {
    static const char kPrefix[] = "file://";
    if (url.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return {};
    std::string path;
    for (std::size_t i = sizeof kPrefix - 1; i < url.size(); ++i) {
        const auto hex = [](char c) {
            return c >= '0' && c <= '9' ? c - '0'
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : -1;
        };
        if (url[i] == '%' && i + 2 < url.size() && hex(url[i + 1]) >= 0 && hex(url[i + 2]) >= 0) {
            path += static_cast<char>(hex(url[i + 1]) * 16 + hex(url[i + 2]));
            i += 2;
        } else {
            path += url[i];
        }
    }
    return !path.empty() && path[0] == '/' ? path : std::string();
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace platform
