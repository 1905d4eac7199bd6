// The arrays a function is called with, as the command line names them: a
// column of the chart (open, high, low, close, volume), atr:N (Wilder's
// average true range) or another function of the plug-in with numbers; and
// the host call of a function on a chart with its arguments.
#pragma once

#include <string>
#include <vector>

#include "harness/chart_data.h"
#include "harness/host_call.h"
#include "harness/plugin.h"
#include "tools/msxhost/options.h"

namespace msxhost {

// An array source as the command line names it: a column (open, high,
// low, close, volume), atr:N or a function of the plug-in with numbers.
struct ArraySource {
    enum class Kind { kColumn, kAtr, kFunction } kind = Kind::kColumn;
    std::string text;            // as given
    std::string name;            // the column or the function
    int periods = 0;             // atr:N
    std::vector<float> numbers;  // the function's numeric arguments
};

// The one reading of an array source; false, with the reason printed (a
// usage error), for a source msxhost does not know.
bool parse_array_source(const harness::Plugin& plugin, const std::string& text, ArraySource* source);

// Builds a data-array argument from a source on `chart`; a failure is
// reported with `where` (the file, in a scan) before it.
bool array_source(const harness::Plugin& plugin, const harness::ChartData& chart, const std::string& text,
                  harness::ArrayArg* arg, const std::string& where = "");

// The host call of a function on `chart` with the given arguments.
bool chart_call(const harness::Plugin& plugin, const harness::ChartData& chart, const FunctionArgs& args,
                harness::CallSpec* call, const std::string& where = "");

}  // namespace msxhost
