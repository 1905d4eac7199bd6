#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace platform {

DynamicLibrary::~DynamicLibrary() { close(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

void DynamicLibrary::close() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

DynamicLibrary DynamicLibrary::open(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && error != nullptr) {
        const char* reason = dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
    }
    return DynamicLibrary(handle);
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

std::string native_path(const std::string& path) { return path; }

std::string own_module_path() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_module_path), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

bool DynamicLibrary::is_loaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
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

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace platform
