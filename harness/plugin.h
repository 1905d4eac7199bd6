// An MSX plug-in loaded the way the charting host loads it: the library by
// file name, then its catalogue through the four query exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "msx/msx_records.h"
#include "platform/dynamic_library.h"

namespace harness {

struct ArgInfo {
    int32_t type = 0;
    std::string name;
};

struct FunctionInfo {
    std::string name;
    std::string description;
    std::vector<ArgInfo> args;
    MSXCalcFunc calc = nullptr;  // the export of the same name, if present

    int numeric_count() const;
    int array_count() const;
    int string_count() const;
};

class Plugin {
public:
    // Loads the library and reads its whole catalogue. Returns false with a
    // reason in `error` when the library or a catalogue export is missing or
    // a query fails.
    bool load(const std::string& path, std::string* error);

    const std::string& copyright() const { return copyright_; }
    int32_t version() const { return version_; }
    const std::vector<FunctionInfo>& functions() const { return functions_; }
    const FunctionInfo* find(const std::string& name) const;

    MSXNthFunctionFunc nth_function() const { return nth_function_; }
    MSXNthArgFunc nth_arg() const { return nth_arg_; }
    MSXNthCustomStringFunc nth_custom_string() const { return nth_custom_string_; }
    MSXInfoFunc info() const { return info_; }
    const platform::DynamicLibrary& library() const { return library_; }

private:
    platform::DynamicLibrary library_;
    MSXInfoFunc info_ = nullptr;
    MSXNthFunctionFunc nth_function_ = nullptr;
    MSXNthArgFunc nth_arg_ = nullptr;
    MSXNthCustomStringFunc nth_custom_string_ = nullptr;
    std::string copyright_;
    int32_t version_ = 0;
    std::vector<FunctionInfo> functions_;
};

const char* arg_type_name(int32_t type);

}  // namespace harness
