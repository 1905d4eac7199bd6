#include "indicator/catalogue.h"

#include "msx/msx_text.h"

#ifndef BARSIGHT_VERSION
#define BARSIGHT_VERSION "0.0.0"
#endif

namespace barsight::catalogue {

const char* const kCopyright =
    "Barsight VSA indicators " BARSIGHT_VERSION " (c) 2026 Barsight";

int32_t info(MSXDLLDef* a_psDLLDef) noexcept {
    if (a_psDLLDef == nullptr) return msx::kError;
    msx::copy_text(a_psDLLDef->szCopyright, kCopyright);
    a_psDLLDef->iNFuncs = kFunctionCount;
    a_psDLLDef->iVersion = 1;
    return msx::kSuccess;
}

int32_t nth_function(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) noexcept {
    if (a_iNthFunc < 0 || a_iNthFunc >= kFunctionCount || a_psFuncDef == nullptr)
        return msx::kError;
    const FunctionEntry& entry = kFunctions[a_iNthFunc];
    msx::copy_text(a_psFuncDef->szFunctionName, entry.name);
    msx::copy_text(a_psFuncDef->szFunctionDescription, entry.description);
    a_psFuncDef->iNArguments = entry.arg_count;
    return msx::kSuccess;
}

int32_t nth_arg(int32_t a_iNthFunc, int32_t a_iNthArg, MSXFuncArgDef* a_psFuncArgDef) noexcept {
    if (a_psFuncArgDef == nullptr) return msx::kError;
    // The custom-string count is cleared for every call, known indices or not.
    a_psFuncArgDef->iNCustomStrings = 0;
    if (a_iNthFunc < 0 || a_iNthFunc >= kFunctionCount) return msx::kError;
    const FunctionEntry& entry = kFunctions[a_iNthFunc];
    const ArgEntry* arg = nullptr;
    switch (entry.rule) {
        case ArgIndexRule::kNoneKept:
            return msx::kSuccess;
        case ArgIndexRule::kIgnored:
            arg = &entry.args[0];
            break;
        case ArgIndexRule::kChecked:
            if (a_iNthArg < 0 || a_iNthArg >= entry.arg_count) return msx::kError;
            arg = &entry.args[a_iNthArg];
            break;
    }
    a_psFuncArgDef->iArgType = arg->type;
    msx::copy_text(a_psFuncArgDef->szArgName, arg->name);
    return msx::kSuccess;
}

int32_t nth_custom_string(int32_t a_iNthFunc, int32_t a_iNthArg, int32_t a_iNthString,
                          MSXFuncCustomString* a_psCustomString) noexcept {
    (void)a_iNthFunc;
    (void)a_iNthArg;
    (void)a_iNthString;
    if (a_psCustomString == nullptr) return msx::kError;
    // No argument declares custom strings; the host still gets one fixed entry.
    msx::copy_text(a_psCustomString->szString, "Monkey");
    a_psCustomString->iID = 0;
    return msx::kSuccess;
}

}  // namespace barsight::catalogue
