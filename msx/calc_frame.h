// The frame every calculation a host calls runs in, for both plug-ins: check
// the records, run the body, set the result range, and turn anything thrown
// into the function's error text instead of letting it reach the host. Each
// plug-in states its own texts and whether it empties the result first
// (FrameTexts): what its host shows stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>

#include "msx/msx_catalogue.h"
#include "msx/msx_text.h"

namespace msx {

// What a calculation body reports: either a validation message, or success
// with the valid range of the result series.
struct CalcOutcome {
    const char* message = nullptr;
    int32_t first = 0;
    int32_t last = -1;

    static CalcOutcome fail(const char* text) { return {text, 0, -1}; }
    static CalcOutcome range(int32_t first, int32_t last) { return {nullptr, first, last}; }
};

// A plug-in's answers where the frame, not the body, answers.
struct FrameTexts {
    const char* no_result_series;  // the result record has no series
    const char* no_data;           // no chart data record
    // The series is emptied (0, -1) before the body runs and when it throws;
    // otherwise a failed call leaves it as the host passed it.
    bool empties_result;
    // The message for a body that threw, into `text` (kTextField bytes):
    // `what` is the exception's text (null for one that is no
    // std::exception), `out_of_memory` whether it was std::bad_alloc.
    void (*thrown)(const char* name, const char* what, bool out_of_memory, char* text);
};

// Runs `body(const CalcArgs&) -> CalcOutcome` inside the frame; the body may
// use args.data and args.series() without checking them. `name` is the
// function's export name.
template <class Body>
int32_t run_frame(const FrameTexts& texts, const char* name, const CalcArgs& args, Body&& body) noexcept {
    MSXResultRec* const result = args.result;
    if (result == nullptr) return kError;
    MSXDataInfoRec* series = result->psResultArray;
    if (series == nullptr) {
        copy_text(result->szExtendedError, texts.no_result_series);
        return kError;
    }
    if (texts.empties_result) {
        series->iFirstValid = 0;
        series->iLastValid = -1;
    }
    if (args.data == nullptr) {
        copy_text(result->szExtendedError, texts.no_data);
        return kError;
    }
    char text[kTextField];
    try {
        const CalcOutcome outcome = body(args);
        if (outcome.message != nullptr) {
            copy_text(result->szExtendedError, outcome.message);
            return kError;
        }
        series->iFirstValid = outcome.first;
        series->iLastValid = outcome.last;
        return kSuccess;
    } catch (const std::bad_alloc& e) {
        texts.thrown(name, e.what(), true, text);
    } catch (const std::exception& e) {
        texts.thrown(name, e.what(), false, text);
    } catch (...) {
        texts.thrown(name, nullptr, false, text);
    }
    copy_text(result->szExtendedError, text);
    if (texts.empties_result) {
        series->iFirstValid = 0;
        series->iLastValid = -1;
    }
    return kError;
}

}  // namespace msx
