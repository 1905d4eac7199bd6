#include <windows.h>

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
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

DynamicLibrary DynamicLibrary::open(const std::string& path, std::string* error) {
    const std::string native = native_path(path);
    HMODULE module = LoadLibraryA(native.c_str());
    if (module == nullptr && error != nullptr) {
        *error = "cannot load " + native + " (Windows error " + std::to_string(GetLastError()) + ")";
    }
    return DynamicLibrary(module);
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string native_path(const std::string& path) {
    std::string out = path;
    if (!out.empty() && out[0] == '/') out = "Z:" + out;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

}  // namespace platform
