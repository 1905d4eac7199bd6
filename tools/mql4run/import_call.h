// The import call: how an MQL value travels to a DLL's stdcall export
// (the reference's "Calling imported functions") and the exports bound by
// name; on i686 each call's stack is checked (platform/stdcall_thunk.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/mql4run/types.h"

namespace mql {
// An export of a program's #import block, bound to its DLL.
struct BoundImport {
    const char* library = nullptr;
    const char* name = nullptr;
    void* address = nullptr;
    bool pointer_through_int = false;  // this build cannot pass its addresses
};

// ---- import arguments: how each MQL4 value travels to a stdcall export ------
struct ArgI32 {
    using c_type = std::int32_t;
    c_type value;
    std::string shown() const { return std::to_string(value); }
};
struct ArgI64 {
    using c_type = std::int64_t;
    c_type value;
    std::string shown() const { return std::to_string(value); }
};
struct ArgF32 {
    using c_type = float;
    c_type value;
    std::string shown() const;
};
struct ArgF64 {
    using c_type = double;
    c_type value;
    std::string shown() const;
};
struct ArgPtr {
    using c_type = void*;
    c_type value;
    std::string text;  // what the log shows
    const std::string& shown() const { return text; }
};
struct ArgWide {  // an MQL4 string passed by value: UTF-16, as MetaTrader passes it
    using c_type = const wchar_t*;
    std::shared_ptr<std::wstring> buffer;
    c_type value;
    std::string shown() const;
};

inline ArgI32 arg_i32(mql_long v) { return {static_cast<std::int32_t>(v)}; }
inline ArgI64 arg_i64(mql_long v) { return {v}; }
inline ArgF32 arg_f32(double v) { return {static_cast<float>(v)}; }
inline ArgF64 arg_f64(double v) { return {v}; }
ArgWide arg_wstr(const string& v);
std::string shown_bytes(const unsigned char* bytes, std::size_t size);
template <class T>
ArgPtr arg_array(array<T>& a) {
    ArgPtr arg{a.storage().empty() ? nullptr : a.storage().data(), {}};
    if constexpr (std::is_same_v<T, uchar>)
        arg.text = shown_bytes(a.storage().data(), a.storage().size());
    else
        arg.text = "array[" + std::to_string(a.size()) + "]";
    return arg;
}
// An array the export only reads (declared const in the #import).
template <class T>
ArgPtr arg_array(const array<T>& a) {
    return arg_array(const_cast<array<T>&>(a));
}
template <class T>
ArgPtr arg_ref(T& v) {
    return {static_cast<void*>(&v), "&"};
}

template <class A>
void push_words(std::vector<std::uint32_t>* words, const A& arg) {
    typename A::c_type value = arg.value;
    std::uint32_t parts[2] = {0, 0};
    static_assert(sizeof value <= sizeof parts, "argument wider than 8 bytes");
    std::memcpy(parts, &value, sizeof value);
    words->push_back(parts[0]);
    if (sizeof value > 4) words->push_back(parts[1]);
}

}  // namespace mql
