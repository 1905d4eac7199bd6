#include "loader/orvane_functions.h"

#include <cstdint>

#include "loader/csv_reader.h"
#include "msx/msx_text.h"

namespace orvane {

namespace {

const char kYieldPath[] = "c:\\temp\\orvaney.csv";

enum class Series { kPrice, kVolume, kYield };

// Reads, selects and copies one series into the host's result (from bar 0,
// at most the chart's last valid index values).
msx::CalcOutcome load_series(Series series, const char* path, const char* begin, const char* end,
                             const msx::CalcArgs& args) {
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
}

}  // namespace

int32_t dll_main(void* /*instance*/, uint32_t reason, void* /*reserved*/) noexcept {
    return reason == 0 || reason == 1 ? 1 : 0;
}

msx::CalcOutcome get_price_data(const msx::CalcArgs& args, const char* path, const char* begin, const char* end) {
    return load_series(Series::kPrice, path, begin, end, args);
}

msx::CalcOutcome get_volume_data(const msx::CalcArgs& args, const char* path, const char* begin,
                                 const char* end) {
    return load_series(Series::kVolume, path, begin, end, args);
}

msx::CalcOutcome get_yield_data(const msx::CalcArgs& args) {
    return load_series(Series::kYield, kYieldPath, "1/1/2010", "12/31/2010", args);
}

int32_t not_supported(const msx::CalcArgs& args) noexcept {
    if (args.result != nullptr)
        msx::copy_text(args.result->szExtendedError, "function not supported");
    return msx::kError;
}

}  // namespace orvane
