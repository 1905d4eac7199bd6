// The boundary between our libraries and the programs that load them (the
// charting host, the trading client), stated once:
//
//   Nothing thrown ever crosses an export. Each export is an extern "C"
//   shim made from its row of its library's table (plugin/
//   BarsightPlugin.exports, loader/orvane.exports, engine/
//   Spreadcore.exports) by scripts/make_boundary.py, and the row's failure
//   policy is the shim's form, one guard each:
//     noexcept  the body cannot throw, which the shim checks when it
//               compiles (static_assert on noexcept);
//     value V   msx::value_or: a throw answers V;
//     frame     a calculation the host calls: the catalogue row of the
//               export's name runs in its calculation frame, which answers
//               kError with the message (msx/calc_frame.h).
//   A null pointer from the caller is no exception: each body checks the
//   pointers it is handed.
#pragma once

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

// The catalogue of the plug-in being built, which the four catalogue
// queries answer from (defined in the plug-in's generated exports).
const Catalogue& plugin_catalogue() noexcept;

}  // namespace msx
