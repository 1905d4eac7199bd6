// A self-contained SVG chart of the plug-in's indicators: price bars with the
// trend and stop lines, VSA signal markers, and volume bars coloured by
// volume class.
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "evaluation/codes.h"
#include "harness/chart_data.h"
#include "harness/plugin.h"

namespace msxhost {

using harness::ChartData;
using harness::Plugin;

struct ChartSeries {
    std::string title;
    // Indexed by bar number like the chart data; NaN where a line has no value.
    std::vector<float> trend, stops;
    std::string trend_label, stops_label;
    std::vector<int> signals;       // signal code per bar, 0 for none
    std::vector<int> volume_class;  // 1 to 4 per bar, 0 unknown
    int first = 0, last = -1;       // the bars drawn
    int mark = -1;                  // a bar shown highlighted, -1 for none
    double width = 1200;            // of the picture, in pixels
    // Levels drawn across the price pane as the engine read them for the
    // last bar drawn (chart_levels.h), NaN for none: the nearest support
    // and resistance, and the trading range in force.
    double support = std::numeric_limits<double>::quiet_NaN();
    double resistance = std::numeric_limits<double>::quiet_NaN();
    double range_low = std::numeric_limits<double>::quiet_NaN();
    double range_high = std::numeric_limits<double>::quiet_NaN();
};

// The name a trader knows a signal code by ("" if none).
using evaluation::signal_name;

std::string render_chart_svg(const ChartData& data, const ChartSeries& series);

struct ChartOptions {
    int bars = 160;           // the bars drawn, ending at `end`
    int end = -1;             // the last bar drawn; -1: the chart's last
    int mark = -1;            // a bar shown highlighted; -1: none
    int width = 1200;         // of the picture, in pixels (at least 400)
    int trend_periods = 20;   // VSATrend
    float multiplier = 2.5f;  // VSAVolStops, over Wilder's ATR(atr_periods)
    int atr_periods = 14;
    bool levels = true;       // the support, resistance and range lines (chart_levels.h)
};

// Computes every series through the plug-in as the host and the client
// would: VSATrend, VSAVolStops and VSAInd through the MSX exports over the
// whole chart, the volume classes through CalcVolumeColor. Returns false with
// a reason if a call fails.
bool chart_from_plugin(const Plugin& plugin, const ChartData& data, const ChartOptions& options,
                       ChartSeries* series, std::string* error);

}  // namespace msxhost
