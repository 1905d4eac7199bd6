// The indicator library's function catalogue, as the charting host reads it.
#pragma once

#include <cstdint>

#include "msx/msx_records.h"

namespace barsight::catalogue {

// How MSXNthArg treats the argument index of a function.
enum class ArgIndexRule {
    kIgnored,   // one-argument functions: every index describes argument 0
    kChecked,   // only the declared indices are known
    kNoneKept,  // no arguments: answers success and writes nothing more
};

struct ArgEntry {
    const char* name;
    int32_t type;
};

struct FunctionEntry {
    const char* name;  // equal to the export name the host calls
    const char* description;
    int32_t arg_count;
    ArgIndexRule rule;
    ArgEntry args[2];
};

inline constexpr FunctionEntry kFunctions[] = {
    {"VSAMakeConst", "VSA Make Constant", 1, ArgIndexRule::kIgnored, {{"Bars", msx::kArgNumeric}}},
    {"VSATrend", "VSA Trend", 1, ArgIndexRule::kIgnored, {{"Periods", msx::kArgNumeric}}},
    {"VSAVolStops",
     "VSA Vol Stops",
     2,
     ArgIndexRule::kChecked,
     {{"Multiplier", msx::kArgNumeric}, {"ATR(Periods) Array", msx::kArgDataArray}}},
    {"VSAInd", "VSA Indicators", 0, ArgIndexRule::kNoneKept, {}},
    {"VSASpread",
     "VSA Spread",
     2,
     ArgIndexRule::kChecked,
     {{"Mode", msx::kArgNumeric}, {"Periods", msx::kArgNumeric}}},
};

inline constexpr int32_t kFunctionCount =
    static_cast<int32_t>(sizeof(kFunctions) / sizeof(kFunctions[0]));

// The copyright text MSXInfo reports (at most 99 characters).
extern const char* const kCopyright;

int32_t info(MSXDLLDef* a_psDLLDef) noexcept;
int32_t nth_function(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) noexcept;
int32_t nth_arg(int32_t a_iNthFunc, int32_t a_iNthArg, MSXFuncArgDef* a_psFuncArgDef) noexcept;
int32_t nth_custom_string(int32_t a_iNthFunc, int32_t a_iNthArg, int32_t a_iNthString,
                          MSXFuncCustomString* a_psCustomString) noexcept;

}  // namespace barsight::catalogue
