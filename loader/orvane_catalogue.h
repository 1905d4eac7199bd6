// The orvane loader's function catalogue: one row per calculation export,
// read by the host through the MSX catalogue queries.
#pragma once

#include <cstdint>

#include "msx/msx_catalogue.h"

namespace orvane {

// GetPriceData / GetVolumeData: the price (or volume) column of the CSV file
// named by string argument 0, selected by the dates of string arguments 1
// and 2, from bar 0 of the result.
int32_t get_price_data(const msx::CalcArgs& args) noexcept;
int32_t get_volume_data(const msx::CalcArgs& args) noexcept;
// GetYieldData: the fixed yield file over the fixed dates; the string
// arguments are not read.
int32_t get_yield_data(const msx::CalcArgs& args) noexcept;
// The web-service variants: always "function not supported".
int32_t not_supported(const msx::CalcArgs& args) noexcept;

// DLLMAIN, an ordinary export and not the library's load entry: answers 1
// for process attach and detach (reasons 1 and 0), 0 otherwise, and does
// nothing.
int32_t dll_main(void* instance, uint32_t reason, void* reserved) noexcept;

// The copyright text MSXInfo reports (at most 99 characters).
extern const char kCopyright[];

inline constexpr msx::ArgRow kFileArgs[] = {{"Filename and location", msx::kArgString},
                                            {"Beginning Date", msx::kArgString},
                                            {"Ending Date", msx::kArgString}};

inline constexpr msx::FunctionRow kFunctions[] = {
    {"GetPriceData", "Retrieves price data from ORVANE CSV file", 3, msx::ArgIndexRule::kChecked,
     {kFileArgs[0], kFileArgs[1], kFileArgs[2]}, &get_price_data},
    {"GetVolumeData", "Retrieves volume data from ORVANE CSV file", 3,
     msx::ArgIndexRule::kChecked, {kFileArgs[0], kFileArgs[1], kFileArgs[2]}, &get_volume_data},
    {"GetYieldData", "Retrieves yield data from ORVANE CSV file", 3, msx::ArgIndexRule::kChecked,
     {kFileArgs[0], kFileArgs[1], kFileArgs[2]}, &get_yield_data},
    {"wsGetPriceData", "Retrieves price data from ORVANE Web Service", 2,
     msx::ArgIndexRule::kChecked, {kFileArgs[1], kFileArgs[2]}, &not_supported},
    {"wsGetVolumeData", "Retrieves volume data from ORVANE Web Service", 2,
     msx::ArgIndexRule::kChecked, {kFileArgs[1], kFileArgs[2]}, &not_supported},
    {"wsGetYieldData", "Retrieves yield data from ORVANE Web Service", 2,
     msx::ArgIndexRule::kChecked, {kFileArgs[1], kFileArgs[2]}, &not_supported},
};

// Questions outside the rows are answered with success and nothing written,
// and no custom string is ever written.
inline constexpr msx::Catalogue kCatalogue{kCopyright, kFunctions, {msx::kSuccess, nullptr}};

}  // namespace orvane
