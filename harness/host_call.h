// One calculation call made the way the charting host makes it: host-owned
// records and arrays, every array surrounded by guard zones that are checked
// after the call, so a write outside what the host handed over is caught.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "msx/msx_catalogue.h"

namespace harness {

// A series as the host holds it: values indexed by bar number (the array
// covers bars 0 .. values.size() - 1) and its valid range.
struct HostSeries {
    std::vector<float> values;
    int32_t first = 0;
    int32_t last = -1;
};

// A data-array argument: a series, a record whose values pointer is null, or
// a null entry in the argument array.
struct ArrayArg {
    enum class Kind { kSeries, kNullValues, kNullRecord } kind = Kind::kSeries;
    HostSeries series;
};

struct CallSpec {
    HostSeries high, low, close, volume;  // close carries the chart's valid range
    std::vector<float> numerics;          // entries passed (at most 9)
    int32_t numeric_count = 0;            // the count the host reports
    std::vector<ArrayArg> arrays;         // entries passed (at most 9)
    int32_t array_count = 0;
    std::vector<std::string> strings;
    const char* symbol = "BARSIGHT";
    // Bars the result array covers; by default 0 .. close.last, as the host
    // guarantees.
    int32_t result_size = -1;
    // What the result array holds before the call, so that tests can tell
    // which bars a function wrote.
    float result_fill = 0.0f;
};

struct CallResult {
    int32_t code = -1;
    std::string message;
    int32_t first = 0;
    int32_t last = -1;
    std::vector<float> values;  // the whole result array after the call
    std::vector<std::string> violations;  // guard zones or inputs disturbed
};

// Calls an export as the host does, or a catalogue row's calculation with
// the same records.
CallResult call_function(MSXCalcFunc fn, const CallSpec& call);
CallResult call_function(msx::Calc calc, const CallSpec& call);

struct ChartData;
// A call on the chart's bars: high, low, close and volume valid over every bar.
CallSpec chart_spec(const ChartData& chart);

}  // namespace harness
