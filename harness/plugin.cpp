#include "harness/plugin.h"

#include <cstring>

namespace harness {

namespace {

// Reads a host text field that the plug-in should have terminated; a missing
// NUL is cut at the field's end rather than read past it.
std::string field_text(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace

int FunctionInfo::numeric_count() const {
    int n = 0;
    for (const ArgInfo& a : args) n += a.type == msx::kArgNumeric;
    return n;
}

int FunctionInfo::array_count() const {
    int n = 0;
    for (const ArgInfo& a : args) n += a.type == msx::kArgDataArray;
    return n;
}

int FunctionInfo::string_count() const {
    int n = 0;
    for (const ArgInfo& a : args) n += a.type == msx::kArgString;
    return n;
}

const char* arg_type_name(int32_t type) {
    switch (type) {
        case msx::kArgDataArray: return "data array";
        case msx::kArgNumeric: return "numeric";
        case msx::kArgString: return "string";
        default: return "unknown";
    }
}

bool Plugin::load(const std::string& path, std::string* error) {
    std::string reason;
    library_ = platform::DynamicLibrary::open(path, &reason);
    if (!library_.loaded()) {
        *error = reason;
        return false;
    }
    info_ = library_.function<MSXInfoFunc>("MSXInfo");
    nth_function_ = library_.function<MSXNthFunctionFunc>("MSXNthFunction");
    nth_arg_ = library_.function<MSXNthArgFunc>("MSXNthArg");
    nth_custom_string_ = library_.function<MSXNthCustomStringFunc>("MSXNthCustomString");
    if (!info_ || !nth_function_ || !nth_arg_ || !nth_custom_string_) {
        *error = path + " lacks one of MSXInfo, MSXNthFunction, MSXNthArg, MSXNthCustomString";
        return false;
    }

    MSXDLLDef def{};
    if (info_(&def) != msx::kSuccess) {
        *error = "MSXInfo failed";
        return false;
    }
    copyright_ = field_text(def.szCopyright, sizeof def.szCopyright);
    version_ = def.iVersion;
    if (def.iNFuncs < 0 || def.iNFuncs > 1000) {
        *error = "MSXInfo reports " + std::to_string(def.iNFuncs) + " functions";
        return false;
    }
    functions_.clear();
    for (int32_t i = 0; i < def.iNFuncs; ++i) {
        MSXFuncDef fn{};
        if (nth_function_(i, &fn) != msx::kSuccess) {
            *error = "MSXNthFunction(" + std::to_string(i) + ") failed";
            return false;
        }
        FunctionInfo info;
        info.name = field_text(fn.szFunctionName, sizeof fn.szFunctionName);
        info.description = field_text(fn.szFunctionDescription, sizeof fn.szFunctionDescription);
        if (fn.iNArguments < 0 || fn.iNArguments > static_cast<int32_t>(msx::kMaxArgs)) {
            *error = info.name + " declares " + std::to_string(fn.iNArguments) + " arguments";
            return false;
        }
        for (int32_t a = 0; a < fn.iNArguments; ++a) {
            MSXFuncArgDef arg{};
            if (nth_arg_(i, a, &arg) != msx::kSuccess) {
                *error = "MSXNthArg(" + std::to_string(i) + ", " + std::to_string(a) + ") failed";
                return false;
            }
            info.args.push_back({arg.iArgType, field_text(arg.szArgName, sizeof arg.szArgName)});
        }
        info.calc = library_.function<MSXCalcFunc>(info.name.c_str());
        functions_.push_back(std::move(info));
    }
    return true;
}

const FunctionInfo* Plugin::find(const std::string& name) const {
    for (const FunctionInfo& f : functions_)
        if (f.name == name) return &f;
    return nullptr;
}

}  // namespace harness
