// The orvane loader plug-in: its catalogue and its data functions, exported
// to the charting host.
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "loader/csv_reader.h"
#include "msx/msx_records.h"
#include "msx/msx_text.h"

#ifndef BARSIGHT_VERSION
#define BARSIGHT_VERSION "0.0.0"
#endif

namespace {

struct FunctionEntry {
    const char* name;
    const char* description;
    int32_t args;
};

const FunctionEntry kFunctions[] = {
    {"GetPriceData", "Retrieves price data from ORVANE CSV file", 3},
    {"GetVolumeData", "Retrieves volume data from ORVANE CSV file", 3},
    {"GetYieldData", "Retrieves yield data from ORVANE CSV file", 3},
    {"wsGetPriceData", "Retrieves price data from ORVANE Web Service", 2},
    {"wsGetVolumeData", "Retrieves volume data from ORVANE Web Service", 2},
    {"wsGetYieldData", "Retrieves yield data from ORVANE Web Service", 2},
};
const char* const kFileArgs[] = {"Filename and location", "Beginning Date", "Ending Date"};
const char* const kServiceArgs[] = {"Beginning Date", "Ending Date"};

constexpr std::size_t kMaxPath = 254;  // a longer file name is refused, not cut
const char kYieldPath[] = "c:\\temp\\orvaney.csv";

enum class Series { kPrice, kVolume, kYield };

// Reads, selects and copies one series into the host's result (from bar 0,
// at most the chart's last valid index values). The result series is left
// as the host passed it when the call fails.
int32_t load_series(Series series, const char* path, const char* begin, const char* end,
                    const MSXDataRec* data, MSXResultRec* result) {
    if (result == nullptr) return msx::kError;
    if (result->psResultArray == nullptr || data == nullptr) {
        msx::copy_text(result->szExtendedError, "no chart or result series passed");
        return msx::kError;
    }
    if (path == nullptr || begin == nullptr || end == nullptr) {
        msx::copy_text(result->szExtendedError,
                       "need the file name, the beginning date and the ending date");
        return msx::kError;
    }
    if (strnlen(path, kMaxPath + 1) > kMaxPath) {
        msx::copy_text(result->szExtendedError, "file name longer than 254 characters");
        return msx::kError;
    }
    try {
        const bool with_volume = series != Series::kYield;
        const bool stop_from_start = series == Series::kYield;
        // The chart's bars cap the count: the host's array ends there.
        const int32_t chart_last = data->sClose.iLastValid;
        float* out = result->psResultArray->pfValue;
        int64_t n = 0;
        // One pass straight into the host's array; the two-pass reading for
        // the cases it cannot serve (no array, no row reaching the start).
        orvane::ReadStatus status = orvane::ReadStatus::kNoStart;
        if (out != nullptr)
            status = orvane::read_selection(path, with_volume, begin, end, stop_from_start,
                                            series == Series::kVolume, chart_last, out, &n);
        if (status == orvane::ReadStatus::kNoStart) {
            std::vector<orvane::Row> rows;
            status = orvane::read_rows(path, with_volume, &rows);
            int64_t start = 0;
            n = orvane::select_rows(rows, begin, end, stop_from_start, &start);
            if (chart_last < n) n = chart_last;
            if (n < 0) n = 0;
            if (status == orvane::ReadStatus::kOk && n > 0 && out == nullptr) {
                msx::copy_text(result->szExtendedError, "no result values passed");
                return msx::kError;
            }
            for (int64_t i = 0; status == orvane::ReadStatus::kOk && i < n; ++i) {
                const orvane::Row& row = rows[static_cast<std::size_t>(start + i)];
                out[i] = static_cast<float>(series == Series::kVolume ? row.value2 : row.value1);
            }
        }
        if (status != orvane::ReadStatus::kOk) {
            msx::copy_text(result->szExtendedError, "file not found");
            return msx::kError;
        }
        result->psResultArray->iFirstValid = 0;
        result->psResultArray->iLastValid = static_cast<int32_t>(n - 1);
        return msx::kSuccess;
    } catch (const std::bad_alloc&) {
        msx::copy_text(result->szExtendedError, "file too large for the memory available");
    } catch (...) {
        msx::copy_text(result->szExtendedError, "file could not be read");
    }
    return msx::kError;
}

const char* string_arg(const MSXStringArgsArray* args, int k) {
    return args != nullptr ? args->pszStrings[k] : nullptr;
}

}  // namespace

extern "C" {

// An ordinary export, not the library's load entry: answers 1 for process
// attach and detach, 0 otherwise, and does nothing.
MSX_API int32_t DLLMAIN(void* hInstance, uint32_t dwReason, void* lpReserved) {
    (void)hInstance;
    (void)lpReserved;
    return dwReason == 0 || dwReason == 1 ? 1 : 0;
}

MSX_API int32_t MSXInfo(MSXDLLDef* a_psDLLDef) {
    if (a_psDLLDef == nullptr) return msx::kError;
    msx::copy_text(a_psDLLDef->szCopyright,
                   "Barsight orvane CSV loader " BARSIGHT_VERSION " (c) 2026 Barsight");
    a_psDLLDef->iNFuncs = 6;
    a_psDLLDef->iVersion = 1;
    return msx::kSuccess;
}

MSX_API int32_t MSXNthFunction(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) {
    if (a_iNthFunc < 0 || a_iNthFunc > 5 || a_psFuncDef == nullptr) return msx::kError;
    const FunctionEntry& f = kFunctions[a_iNthFunc];
    msx::copy_text(a_psFuncDef->szFunctionName, f.name);
    msx::copy_text(a_psFuncDef->szFunctionDescription, f.description);
    a_psFuncDef->iNArguments = f.args;
    return msx::kSuccess;
}

MSX_API int32_t MSXNthArg(int32_t a_iNthFunc, int32_t a_iNthArg, MSXFuncArgDef* a_psFuncArgDef) {
    if (a_psFuncArgDef == nullptr) return msx::kSuccess;
    a_psFuncArgDef->iNCustomStrings = 0;
    const char* name = nullptr;
    if (a_iNthFunc >= 0 && a_iNthFunc <= 2 && a_iNthArg >= 0 && a_iNthArg <= 2)
        name = kFileArgs[a_iNthArg];
    else if (a_iNthFunc >= 3 && a_iNthFunc <= 5 && a_iNthArg >= 0 && a_iNthArg <= 1)
        name = kServiceArgs[a_iNthArg];
    if (name != nullptr) {
        a_psFuncArgDef->iArgType = msx::kArgString;
        msx::copy_text(a_psFuncArgDef->szArgName, name);
    }
    return msx::kSuccess;
}

MSX_API int32_t MSXNthCustomString(int32_t, int32_t, int32_t, MSXFuncCustomString*) {
    return msx::kSuccess;
}

#define ORVANE_CALC_PARAMS                                                                     \
    const MSXDataRec *a_psDataRec, const MSXDataInfoRecArgsArray *a_psDataInfoArgs,           \
        const MSXNumericArgsArray *a_psNumericArgs, const MSXStringArgsArray *a_psStringArgs, \
        const MSXCustomArgsArray *a_psCustomArgs, MSXResultRec *a_psResultRec

MSX_API int32_t GetPriceData(ORVANE_CALC_PARAMS) {
    (void)a_psDataInfoArgs, (void)a_psNumericArgs, (void)a_psCustomArgs;
    return load_series(Series::kPrice, string_arg(a_psStringArgs, 0),
                       string_arg(a_psStringArgs, 1), string_arg(a_psStringArgs, 2), a_psDataRec,
                       a_psResultRec);
}

MSX_API int32_t GetVolumeData(ORVANE_CALC_PARAMS) {
    (void)a_psDataInfoArgs, (void)a_psNumericArgs, (void)a_psCustomArgs;
    return load_series(Series::kVolume, string_arg(a_psStringArgs, 0),
                       string_arg(a_psStringArgs, 1), string_arg(a_psStringArgs, 2), a_psDataRec,
                       a_psResultRec);
}

// The yield file and its dates are fixed; the string arguments are not read.
MSX_API int32_t GetYieldData(ORVANE_CALC_PARAMS) {
    (void)a_psDataInfoArgs, (void)a_psNumericArgs, (void)a_psStringArgs, (void)a_psCustomArgs;
    return load_series(Series::kYield, kYieldPath, "1/1/2010", "12/31/2010", a_psDataRec,
                       a_psResultRec);
}

static int32_t not_supported(MSXResultRec* result) {
    if (result != nullptr) msx::copy_text(result->szExtendedError, "function not supported");
    return msx::kError;
}

MSX_API int32_t wsGetPriceData(ORVANE_CALC_PARAMS) {
    (void)a_psDataRec, (void)a_psDataInfoArgs, (void)a_psNumericArgs, (void)a_psStringArgs,
        (void)a_psCustomArgs;
    return not_supported(a_psResultRec);
}

MSX_API int32_t wsGetVolumeData(ORVANE_CALC_PARAMS) {
    (void)a_psDataRec, (void)a_psDataInfoArgs, (void)a_psNumericArgs, (void)a_psStringArgs,
        (void)a_psCustomArgs;
    return not_supported(a_psResultRec);
}

MSX_API int32_t wsGetYieldData(ORVANE_CALC_PARAMS) {
    (void)a_psDataRec, (void)a_psDataInfoArgs, (void)a_psNumericArgs, (void)a_psStringArgs,
        (void)a_psCustomArgs;
    return not_supported(a_psResultRec);
}

}  // extern "C"
