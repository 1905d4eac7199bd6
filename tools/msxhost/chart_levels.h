// The levels a chart draws: the support, resistance and trading range the
// engine read for a bar, with the chart's bars fed as VSAInd feeds them.
// Apart from chart_svg.cpp, which draws them, so that only what computes
// them links the engine.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/feed.h"
#include "tools/msxhost/chart_svg.h"

namespace msxhost {

// Sets the series' levels to bar `bar`'s background (bars after it play no
// part; none for a bar outside the chart).
inline void chart_levels(const ChartData& data, int bar, ChartSeries* s) {
    if (bar < 0 || static_cast<std::size_t>(bar) >= data.size()) return;
    const auto count = static_cast<std::size_t>(bar) + 1;
    std::vector<int32_t> codes(count);
    std::vector<spreadcore::BackgroundView> views(count);
    spreadcore::feed_series_background(data.high.data(), data.low.data(), data.close.data(), data.volume.data(),
                                       count, spreadcore::kChartPeriods, codes.data(), views.data());
    const spreadcore::BackgroundView& v = views.back();
    s->support = v.support;
    s->resistance = v.resistance;
    s->range_low = v.range_low;
    s->range_high = v.range_high;
}

}  // namespace msxhost
