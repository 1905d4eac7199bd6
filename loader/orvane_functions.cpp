#include "loader/orvane_catalogue.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "loader/csv_reader.h"
#include "msx/calc_frame.h"
#include "msx/msx_text.h"

#ifndef BARSIGHT_VERSION
#define BARSIGHT_VERSION "0.0.0"
#endif

namespace orvane {

const char kCopyright[] = "Barsight orvane CSV loader " BARSIGHT_VERSION " (c) 2026 Barsight";

namespace {

constexpr std::size_t kMaxPath = 254;  // a longer file name is refused, not cut
const char kYieldPath[] = "c:\\temp\\orvaney.csv";

enum class Series { kPrice, kVolume, kYield };

// The loader's texts in the MSX frame: a failed call leaves the result
// series as the host passed it.
void loader_failure(const char* /*name*/, const char* /*what*/, bool out_of_memory, char* text) {
    std::snprintf(text, msx::kTextField, "%s",
                  out_of_memory ? "file too large for the memory available" : "file could not be read");
}

constexpr msx::FrameTexts kLoaderFrame{"no chart or result series passed", "no chart or result series passed",
                                       false, &loader_failure};

// Reads, selects and copies one series into the host's result (from bar 0,
// at most the chart's last valid index values).
int32_t load_series(Series series, const char* path, const char* begin, const char* end,
                    const msx::CalcArgs& call) noexcept {
    return msx::run_frame(kLoaderFrame, call.name, call, [&](const msx::CalcArgs& args) {
        if (path == nullptr || begin == nullptr || end == nullptr)
            return msx::CalcOutcome::fail("need the file name, the beginning date and the ending date");
        if (strnlen(path, kMaxPath + 1) > kMaxPath)
            return msx::CalcOutcome::fail("file name longer than 254 characters");
        const bool with_volume = series != Series::kYield;
        const bool stop_from_start = series == Series::kYield;
        // The chart's bars cap the count: the host's array ends there.
        const int32_t chart_last = args.data->sClose.iLastValid;
        float* out = args.series()->pfValue;
        int64_t n = 0;
        const ReadStatus status = read_selected_values(path, with_volume, begin, end, stop_from_start,
                                                       series == Series::kVolume, chart_last, out, &n);
        if (status != ReadStatus::kOk) return msx::CalcOutcome::fail("file not found");
        if (n > 0 && out == nullptr) return msx::CalcOutcome::fail("no result values passed");
        return msx::CalcOutcome::range(0, static_cast<int32_t>(n - 1));
    });
}

}  // namespace

int32_t dll_main(void* /*instance*/, uint32_t reason, void* /*reserved*/) noexcept {
    return reason == 0 || reason == 1 ? 1 : 0;
}

int32_t get_price_data(const msx::CalcArgs& args) noexcept {
    return load_series(Series::kPrice, args.string(0), args.string(1), args.string(2), args);
}

int32_t get_volume_data(const msx::CalcArgs& args) noexcept {
    return load_series(Series::kVolume, args.string(0), args.string(1), args.string(2), args);
}

int32_t get_yield_data(const msx::CalcArgs& args) noexcept {
    return load_series(Series::kYield, kYieldPath, "1/1/2010", "12/31/2010", args);
}

int32_t not_supported(const msx::CalcArgs& args) noexcept {
    if (args.result != nullptr)
        msx::copy_text(args.result->szExtendedError, "function not supported");
    return msx::kError;
}

}  // namespace orvane
