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

    // Loads the library at `path`, UTF-8 (a file name alone goes through the
    // platform's ordinary search). On failure returns an unloaded object and
    // sets `error` to a readable reason.
    static DynamicLibrary open(const std::string& path, std::string* error);

    // Loads a library we ship beside our own: first by full path from the
    // folder of the library that contains this code, then only from places
    // an installer controls. On Windows those are the host program's folder
    // and the system folders (LOAD_LIBRARY_SEARCH_DEFAULT_DIRS), never the
    // current folder or PATH, where anyone may drop a file of that name;
    // without that search (Windows 7 lacking KB2533623) the host program's
    // folder by full path. On posix, dlopen's own search.
    static DynamicLibrary open_installed(const std::string& file_name, std::string* error);

    // Loads a library of the operating system from the system folder only
    // (on posix, dlopen's own search).
    static DynamicLibrary open_system(const std::string& file_name, std::string* error);

    // A counted reference on the library (or program) that contains this
    // code: while it is held, the library stays loaded even if its host
    // unloads it. Code of ours that runs on its own (a thread of ours, a
    // window hook) holds one. Unloaded object when it cannot be taken.
    static DynamicLibrary own_module();

    // Whether the library at `path` is loaded in this process (takes no
    // reference).
    static bool is_loaded(const std::string& path);

    bool loaded() const { return handle_ != nullptr; }
    // Address of the export `name`, or null if the library lacks it.
    void* symbol(const char* name) const;

    // Gives up ownership: the library stays loaded for the life of the
    // process (the returned handle is only for the record).
    void* keep_loaded() {
        void* handle = handle_;
        handle_ = nullptr;
        return handle;
    }

    template <class Fn>
    Fn function(const char* name) const {
        return reinterpret_cast<Fn>(symbol(name));
    }

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void close();
    void* handle_ = nullptr;
};

// The full path (UTF-8) of the library or program that contains this code,
// and its folder (no trailing separator); empty if it cannot be told.
std::string own_module_path();
std::string own_module_directory();

// The file name of the library `stem` on this platform: Spreadcore.dll on
// Windows, libSpreadcore.so on posix.
std::string library_file_name(const std::string& stem);

// Whether `path` (UTF-8) names an existing regular file.
bool is_regular_file(const std::string& path);

// The file: address of a folder (UTF-8 path), ending in "/": on Windows what
// UrlCreateFromPathW makes of it (file:///C:/Program%20Files/..., other
// characters left as they are, UNC folders as file://server/share/...); on
// posix "file://" and the absolute path with every byte but A-Z a-z 0-9 - .
// _ ~ / percent-encoded, upper-case hex. Empty when it cannot be made.
std::string folder_file_url(const std::string& folder);

// The file: address of a file (UTF-8 path), made as folder_file_url makes a
// folder's, without the final "/". Empty when it cannot be made.
std::string file_url(const std::string& path);

// The local path (UTF-8) a file: address names: on Windows what
// PathCreateFromUrlW makes of it, on posix the address after "file://"
// percent-decoded. Empty when it names no local path.
std::string path_from_file_url(const std::string& url);

// Joins a folder and a file name with the platform's separator.
std::string join_path(const std::string& folder, const std::string& name);

// Turns a path of the build tree into one the platform's loader accepts
// (under Windows a posix path names drive Z:, with backslashes).
std::string native_path(const std::string& path);

}  // namespace platform
