// The boundary between our libraries and the programs that load them (the
// charting host, the trading client), stated once:
//
//   Nothing thrown ever crosses an export. Each export is an extern "C"
//   shim made from its row of its library's table (plugin/
//   BarsightPlugin.exports, loader/orvane.exports, engine/
//   Spreadcore.exports) by generators/make_boundary.py, and the row's failure
//   policy is the shim's form, one guard each:
//     noexcept  the body cannot throw, which the shim checks when it
//               compiles (static_assert on noexcept);
//     value V   msx::value_or: a throw answers V;
//     report    msx::report_or: a throw is written on the debugger output
//               in the row's words (the exception's text and the export's
//               name in it) and answers the row's value, or the value of
//               the function the row names, called with the export's
//               arguments (nothing for a void export);
//     frame     a calculation the host calls: the catalogue row of the
//               export's name runs its argument checks and then its body in
//               the table's calculation frame, which answers kError with
//               the message (msx/calc_frame.h).
//   A null pointer from the caller is no exception: each body checks the
//   pointers it is handed.
#pragma once

#include <exception>
#include <type_traits>

#include "msx/msx_catalogue.h"

namespace msx {

// body()'s result, or `fallback` when it throws.
template <class R, class Body>
R value_or(R fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

// A report policy's words: what the debugger output shows before and after
// the exception's text.
struct Report {
    const char* before;
    const char* after;
};

// Writes "<before><what><after>" on the debugger output (never throws).
// Defined by the library whose table has report rows.
void report_failure(const Report& report, const char* what) noexcept;

// body()'s result; when it throws, the report of the exception's text (or
// "unknown failure") and then `fallback`: a value, or a callable that
// computes it.
template <class R, class Fallback, class Body>
R report_or(const Report& report, Fallback&& fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        report_failure(report, e.what());
    } catch (...) {
        report_failure(report, "unknown failure");
    }
    if constexpr (std::is_invocable_v<Fallback>)
        return fallback();
    else
        return fallback;
}

// The same for a body that answers nothing.
template <class Body>
void report_or(const Report& report, Body&& body) noexcept {
    report_or<bool>(report, false, [&] {
        body();
        return true;
    });
}

// The catalogue of the plug-in being built, which the four catalogue
// queries answer from (defined in the plug-in's generated exports).
const Catalogue& plugin_catalogue() noexcept;

}  // namespace msx
