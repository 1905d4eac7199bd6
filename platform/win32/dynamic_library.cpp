#include <windows.h>
#include <shlwapi.h>

#include "platform/dynamic_library.h"
#include "platform/text_codec.h"
#include "platform/win32/unique_resource.h"

namespace platform {

void DynamicLibrary::close() {
    // The module's owner frees it.
    win32::unique_hmodule(static_cast<HMODULE>(std::exchange(handle_, nullptr)));
}

DynamicLibrary DynamicLibrary::open(const std::string& path, std::string* error) {
    const std::string native = native_path(path);
    HMODULE module = LoadLibraryW(wide_from_utf8(native).c_str());
    if (module == nullptr && error != nullptr) {
        *error = "cannot load " + native + " (Windows error " + std::to_string(GetLastError()) + ")";
    }
    return DynamicLibrary(module);
}

namespace {

// Whether the loader takes the LOAD_LIBRARY_SEARCH_* flags: they came with
// AddDllDirectory (Windows 8; Windows 7 with update KB2533623).
bool search_flags_supported() {
    static const bool supported =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
    return supported;
}

// A library by full path; its own imports are looked for in its folder and
// the trusted folders first.
HMODULE load_full_path(const std::wstring& path) {
    return LoadLibraryExW(path.c_str(), nullptr,
                          search_flags_supported()
                              ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                              : LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::wstring folder_of(const std::wstring& file) {
    const std::size_t slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash + 1);
}

std::wstring program_path() {
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &file[0], static_cast<DWORD>(file.size()));
        if (n == 0) return {};
        if (n < file.size()) return file.substr(0, n);
        file.resize(file.size() * 2);
    }
}

std::string load_error(const std::string& what) {
    return "cannot load " + what + " (Windows error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

DynamicLibrary DynamicLibrary::open_installed(const std::string& file_name, std::string* error) {
    const std::wstring name = wide_from_utf8(file_name);
    const std::string own = own_module_directory();
    HMODULE module = nullptr;
    if (!own.empty()) module = load_full_path(wide_from_utf8(native_path(join_path(own, file_name))));
    if (module == nullptr) {
        module = search_flags_supported()
                     ? LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)
                     : load_full_path(folder_of(program_path()) + name);
    }
    if (module == nullptr && error != nullptr)
        *error = load_error(file_name + " from " + (own.empty() ? "the program's folder" : own) +
                            " or the program's and system folders");
    return DynamicLibrary(module);
}

DynamicLibrary DynamicLibrary::open_system(const std::string& file_name, std::string* error) {
    const std::wstring name = wide_from_utf8(file_name);
    HMODULE module = nullptr;
    if (search_flags_supported()) {
        module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    } else {
        std::wstring system(MAX_PATH, L'\0');
        const UINT n = GetSystemDirectoryW(&system[0], static_cast<UINT>(system.size()));
        if (n > 0 && n < system.size()) module = LoadLibraryW((system.substr(0, n) + L"\\" + name).c_str());
    }
    if (module == nullptr && error != nullptr) *error = load_error(file_name + " from the system folder");
    return DynamicLibrary(module);
}

std::string library_file_name(const std::string& stem) { return stem + ".dll"; }

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string own_module_path() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&own_module_path), &self))
        return {};
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, &file[0], static_cast<DWORD>(file.size()));
        if (n == 0) return {};
        if (n < file.size()) {
            file.resize(n);
            break;
        }
        file.resize(file.size() * 2);  // the name was cut: long path
    }
    return utf8_from_wide(file);
}

bool DynamicLibrary::is_loaded(const std::string& path) {
    return GetModuleHandleW(wide_from_utf8(native_path(path)).c_str()) != nullptr;
}

DynamicLibrary DynamicLibrary::own_module() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&own_module_path), &self))
        return DynamicLibrary();
    return DynamicLibrary(self);
}

std::string own_module_directory() {
    const std::string file = own_module_path();
    const std::size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

bool is_regular_file(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide_from_utf8(native_path(path)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string file_url(const std::string& path) {
    const std::wstring native = wide_from_utf8(native_path(path));
    if (native.empty()) return {};
    std::wstring url(4096, L'\0');  // longer than any path Windows takes
    DWORD size = static_cast<DWORD>(url.size());
    if (FAILED(UrlCreateFromPathW(native.c_str(), &url[0], &size, 0))) return {};
    url.resize(size);
    return utf8_from_wide(url);
}

std::string folder_file_url(const std::string& folder) {
    std::string path = native_path(folder);
    if (path.empty()) return {};
    if (path.back() != '\\') path += '\\';
    std::string out = file_url(path);
    if (!out.empty() && out.back() != '/') out += '/';
    return out;
}

std::string path_from_file_url(const std::string& url) {
    std::wstring path(4096, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (FAILED(PathCreateFromUrlW(wide_from_utf8(url).c_str(), &path[0], &size, 0))) return {};
    path.resize(size);
    return utf8_from_wide(path);
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

std::string native_path(const std::string& path) {
    std::string out = path;
    if (!out.empty() && out[0] == '/') out = "Z:" + out;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

}  // namespace platform
