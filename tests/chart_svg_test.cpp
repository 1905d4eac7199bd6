// The SVG chart: well-formed XML holding the series it claims, computed
// through the real plug-in and engine.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "engine/feed.h"
#include "tools/msxhost/chart_levels.h"
#include "tools/msxhost/chart_svg.h"

namespace {

TEST(ChartSvg, WellFormedAndHoldsItsSeries) {
    harness::Plugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(BARSIGHT_PLUGIN_PATH, &error)) << error;
    harness::ChartData data;
    ASSERT_TRUE(harness::load_chart_csv(SAMPLE_DATA_PATH, &data, &error)) << error;
    msxhost::ChartOptions options;
    options.bars = 400;
    msxhost::ChartSeries series;
    ASSERT_TRUE(msxhost::chart_from_plugin(plugin, data, options, &series, &error)) << error;
    const std::string svg = msxhost::render_chart_svg(data, series);

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_string(svg.c_str());
    ASSERT_TRUE(parsed) << parsed.description();
    const pugi::xml_node root = doc.child("svg");
    ASSERT_TRUE(root);
    EXPECT_STREQ(root.attribute("xmlns").value(), "http://www.w3.org/2000/svg");

    auto group = [&](const char* id) {
        return root.find_child_by_attribute("id", id);
    };
    // One price bar and one volume bar per bar drawn.
    int price = 0, volume = 0;
    for (pugi::xml_node n : group("price").children("path")) price += n ? 1 : 0;
    for (pugi::xml_node n : group("volume").children("rect")) {
        ++volume;
        const int cls = n.attribute("data-class").as_int();
        const int bar = n.attribute("data-bar").as_int();
        EXPECT_EQ(cls, series.volume_class[static_cast<std::size_t>(bar)]) << bar;
        EXPECT_GE(cls, 1);
        EXPECT_LE(cls, 4);
    }
    EXPECT_EQ(price, 400);
    EXPECT_EQ(volume, 400);
    // The lines have a point for every drawn bar where they have a value.
    EXPECT_EQ(root.find_child_by_attribute("path", "id", "trend").attribute("data-points").as_int(), 400);
    EXPECT_EQ(root.find_child_by_attribute("path", "id", "stops").attribute("data-points").as_int(), 400);
    // Every signal marker is a VSAInd code at its bar, named in the legend.
    std::map<int, int> markers;
    for (pugi::xml_node n : group("signals").children("path")) {
        const int bar = n.attribute("data-bar").as_int();
        const int code = n.attribute("data-code").as_int();
        EXPECT_EQ(code, series.signals[static_cast<std::size_t>(bar)]);
        EXPECT_STRNE(msxhost::signal_name(code), "");
        ++markers[code];
    }
    int expected_markers = 0;
    for (int i = series.first; i <= series.last; ++i) expected_markers += series.signals[i] != 0;
    int drawn = 0;
    for (const auto& m : markers) drawn += m.second;
    EXPECT_EQ(drawn, expected_markers);
    EXPECT_GT(drawn, 0);
    for (const auto& m : markers)
        EXPECT_NE(svg.find(std::string(msxhost::signal_name(m.first)) + " (" +
                           std::to_string(m.first) + ") x" + std::to_string(m.second)),
                  std::string::npos);
}

// The levels as a live chart's engine read them for a bar: the chart's
// bars 0 to `bar` pushed one at a time, as VSAInd feeds them.
spreadcore::BackgroundView streamed(const harness::ChartData& data, int bar) {
    spreadcore::Stream stream(spreadcore::kChartPeriods);
    for (int i = 0; i <= bar; ++i) stream.push(data.high[i], data.low[i], data.close[i], data.volume[i]);
    return stream.background();
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// The levels drawn are those the engine read for the last bar drawn,
// whichever bar ends the chart.
TEST(ChartSvg, LevelsAreTheLastDrawnBarsBackground) {
    harness::ChartData data;
    std::string error;
    ASSERT_TRUE(harness::load_chart_csv(SAMPLE_DATA_PATH, &data, &error)) << error;
    const int last = static_cast<int>(data.size()) - 1;
    int seen_support = 0;
    for (const int end : {last, last - 1, 600, 250, 40, 0}) {
        msxhost::ChartSeries series;
        series.first = std::max(0, end - 159);
        series.last = end;
        msxhost::chart_levels(data, end, &series);
        const spreadcore::BackgroundView view = streamed(data, end);
        EXPECT_TRUE(same(series.support, view.support)) << end;
        EXPECT_TRUE(same(series.resistance, view.resistance)) << end;
        EXPECT_TRUE(same(series.range_low, view.range_low)) << end;
        EXPECT_TRUE(same(series.range_high, view.range_high)) << end;
        seen_support += std::isfinite(series.support);
    }
    EXPECT_GT(seen_support, 0);
    // A bar outside the chart has none.
    msxhost::ChartSeries outside;
    msxhost::chart_levels(data, last + 1, &outside);
    EXPECT_TRUE(std::isnan(outside.support) && std::isnan(outside.range_low));
}

// Each level is a thin line across the price pane at its price, labelled,
// and named in the legend; one beyond the prices drawn is left out of the
// pane and the legend says where it is; none is drawn when none is set.
TEST(ChartSvg, LevelsDrawnAtTheirPrices) {
    harness::ChartData data;
    for (int i = 0; i < 20; ++i) {
        const auto step = static_cast<float>(i);
        data.dates.push_back("2020-01-" + std::to_string(10 + i));
        data.open.push_back(100.0f + step);
        data.high.push_back(102.0f + step);
        data.low.push_back(99.0f + step);
        data.close.push_back(101.0f + step);
        data.volume.push_back(1000.0f);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double support, resistance, range_low, range_high;
        std::vector<std::string> drawn;    // data-level of each line, in order
        std::vector<std::string> legend;   // texts the legend holds
    };
    const Case cases[] = {
        {"none", nan, nan, nan, nan, {}, {}},
        {"support and resistance", 104.5, 115.25, nan, nan, {"support", "resistance"},
         {"Support 104.50", "Resistance 115.25"}},
        {"a range", nan, nan, 101, 110, {"range-low", "range-high"}, {"Range low 101.00", "Range high 110.00"}},
        {"off the chart", 50, 500, nan, 110, {"range-high"},
         {"Support 50.00 (below the chart)", "Resistance 500.00 (above the chart)", "Range high 110.00"}},
    };
    for (const Case& c : cases) {
        msxhost::ChartSeries series;
        series.first = 0;
        series.last = 19;
        series.support = c.support, series.resistance = c.resistance;
        series.range_low = c.range_low, series.range_high = c.range_high;
        const std::string svg = msxhost::render_chart_svg(data, series);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(svg.c_str())) << c.name;
        const pugi::xml_node root = doc.child("svg");
        const pugi::xml_node levels = root.find_child_by_attribute("g", "id", "levels");
        ASSERT_TRUE(levels) << c.name;
        // The price scale, read from the price bars: bar 0's high and low.
        const pugi::xml_node bar0 = root.find_child_by_attribute("g", "id", "price").first_child();
        double x = 0, y_high = 0, y_low = 0;
        ASSERT_EQ(std::sscanf(bar0.attribute("d").value(), "M%lf %lfV%lf", &x, &y_high, &y_low), 3) << c.name;
        const auto y_of = [&](double price) { return y_high + (102.0 - price) * (y_low - y_high) / 3.0; };
        std::vector<std::string> drawn;
        for (pugi::xml_node line : levels.children("line")) {
            drawn.push_back(line.attribute("data-level").value());
            const double value = line.attribute("data-value").as_double();
            EXPECT_NEAR(line.attribute("y1").as_double(), y_of(value), 0.02) << c.name << " " << drawn.back();
            EXPECT_STREQ(line.attribute("y1").value(), line.attribute("y2").value());
            EXPECT_LE(line.attribute("stroke-width").as_double(), 1.0);
            // Labelled beside it.
            const pugi::xml_node label = line.next_sibling("text");
            ASSERT_TRUE(label) << c.name;
            EXPECT_NEAR(label.attribute("y").as_double(), line.attribute("y1").as_double() - 3, 0.02);
        }
        EXPECT_EQ(drawn, c.drawn) << c.name;
        std::string legend_text;
        for (pugi::xml_node t : root.find_child_by_attribute("g", "id", "legend").children("text"))
            legend_text += std::string(t.child_value()) + "\n";
        for (const std::string& text : c.legend)
            EXPECT_NE(legend_text.find(text + "\n"), std::string::npos) << c.name << ": " << text;
        const bool any = std::isfinite(c.support) || std::isfinite(c.resistance) || std::isfinite(c.range_low) ||
                         std::isfinite(c.range_high);
        EXPECT_EQ(legend_text.find("Support") != std::string::npos || legend_text.find("Range") != std::string::npos ||
                      legend_text.find("Resistance") != std::string::npos,
                  any)
            << c.name;
    }
}

// Markup, control bytes and invalid UTF-8 in the texts (the tools refuse
// such dates, but the chart does not rely on it).
TEST(ChartSvg, TextIsEscaped) {
    harness::ChartData data;
    data.dates = {"a<b", "c&d", "e\"f", "\x01\x1f\x0b\xff\xfe<&", "\xc3\x28\xed\xa0\x80"};
    data.open = data.high = data.low = data.close = {1, 2, 3, 4, 5};
    data.volume = {1, 1, 1, 1, 1};
    msxhost::ChartSeries series;
    series.title = "<script>&\x02";
    series.first = 0;
    series.last = 4;
    const std::string svg = msxhost::render_chart_svg(data, series);
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(svg.c_str()));
    for (char c : svg) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << static_cast<int>(c);
    EXPECT_EQ(svg.find("\xff"), std::string::npos);
}

}  // namespace
