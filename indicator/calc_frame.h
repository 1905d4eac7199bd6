// The frame every calculation function of the indicator library runs in:
// empty the result, validate, compute, set the result range, and turn any
// exception into the function's error text instead of letting it reach the host.
#pragma once

#include <cstdint>
#include <cstdio>
#include <utility>
#include <exception>

#include "msx/msx_catalogue.h"
#include "msx/msx_text.h"

namespace barsight {

// What a calculation body reports: either a validation message, or success
// with the valid range of the result series.
struct CalcOutcome {
    const char* message = nullptr;
    int32_t first = 0;
    int32_t last = -1;

    static CalcOutcome fail(const char* text) { return {text, 0, -1}; }
    static CalcOutcome range(int32_t first, int32_t last) { return {nullptr, first, last}; }
};

// Runs `body(const msx::CalcArgs&) -> CalcOutcome` inside the common frame;
// the body may use args.data and args.series() without checking them. `name`
// is the function's export name, used in "Tapeline <name> Error: <what>".
template <class Body>
int32_t run_calculation(const char* name, const msx::CalcArgs& args, Body&& body) noexcept {
    MSXResultRec* const result = args.result;
    if (result == nullptr) return msx::kError;
    MSXDataInfoRec* series = result->psResultArray;
    if (series == nullptr) {
        msx::copy_text(result->szExtendedError, "No result series passed");
        return msx::kError;
    }
    series->iFirstValid = 0;
    series->iLastValid = -1;
    if (args.data == nullptr) {
        msx::copy_text(result->szExtendedError, "No chart data passed");
        return msx::kError;
    }

    // The one form of a calculation's failure message.
    static constexpr const char* kFailure = "Tapeline %s Error: %s";
    const char* what = "unknown exception";
    char text[256];
    try {
        const CalcOutcome outcome = body(args);
        if (outcome.message != nullptr) {
            msx::copy_text(result->szExtendedError, outcome.message);
            return msx::kError;
        }
        series->iFirstValid = outcome.first;
        series->iLastValid = outcome.last;
        return msx::kSuccess;
    } catch (const std::exception& e) {
        what = e.what();
        std::snprintf(text, sizeof text, kFailure, name, what);
    } catch (...) {
        std::snprintf(text, sizeof text, kFailure, name, what);
    }
    msx::copy_text(result->szExtendedError, text);
    series->iFirstValid = 0;
    series->iLastValid = -1;
    return msx::kError;
}

// The same, named by the export's catalogue row (args.name, which its shim
// passes): the name is written once, in the row.
template <class Body>
int32_t run_calculation(const msx::CalcArgs& args, Body&& body) noexcept {
    return run_calculation(args.name != nullptr ? args.name : "calculation", args, std::forward<Body>(body));
}

}  // namespace barsight
