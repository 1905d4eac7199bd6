// The orvane loader's calculations: the bodies of the calc rows of
// loader/orvane.exports, the frame they run in, and DLLMAIN. Each body runs
// after its row's argument checks and takes the checked arguments.
#pragma once

#include <cstdint>
#include <cstdio>

#include "msx/calc_frame.h"
#include "msx/msx_text.h"

namespace orvane {

// The loader's texts in the MSX frame: a failed call leaves the result
// series as the host passed it.
inline void loader_failure(const char* /*name*/, const char* /*what*/, bool out_of_memory, char* text) {
    std::snprintf(text, msx::kTextField, "%s",
                  out_of_memory ? "file too large for the memory available" : "file could not be read");
}

inline constexpr msx::FrameTexts kLoaderFrame{"no chart or result series passed",
                                              "no chart or result series passed", false, &loader_failure};

// GetPriceData / GetVolumeData: the price (or volume) column of the CSV file
// `path` (at most 254 characters), selected by the dates `begin` and `end`,
// from bar 0 of the result.
msx::CalcOutcome get_price_data(const msx::CalcArgs& args, const char* path, const char* begin, const char* end);
msx::CalcOutcome get_volume_data(const msx::CalcArgs& args, const char* path, const char* begin,
                                 const char* end);
// GetYieldData: the fixed yield file over the fixed dates; its row's
// arguments are listed for the host, not read.
msx::CalcOutcome get_yield_data(const msx::CalcArgs& args);
// The web-service variants, the whole calculation: always "function not
// supported", whatever the records.
int32_t not_supported(const msx::CalcArgs& args) noexcept;

// DLLMAIN, an ordinary export and not the library's load entry: answers 1
// for process attach and detach (reasons 1 and 0), 0 otherwise, and does
// nothing.
int32_t dll_main(void* instance, uint32_t reason, void* reserved) noexcept;

}  // namespace orvane
