// Loading a shared library and looking up its exports by name.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library at `path` (a file name alone goes through the
    // platform's ordinary search). On failure returns an unloaded object and
    // sets `error` to a readable reason.
    static DynamicLibrary open(const std::string& path, std::string* error);

    bool loaded() const { return handle_ != nullptr; }
    // Address of the export `name`, or null if the library lacks it.
    void* symbol(const char* name) const;

    template <class Fn>
    Fn function(const char* name) const {
        return reinterpret_cast<Fn>(symbol(name));
    }

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void close();
    void* handle_ = nullptr;
};

// Turns a path of the build tree into one the platform's loader accepts
// (under Windows a posix path names drive Z:, with backslashes).
std::string native_path(const std::string& path);

}  // namespace platform
