// The SVG chart: well-formed XML holding the series it claims, computed
// through the real plug-in and engine.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cmath>
#include <map>
#include <string>

#include "tools/msxhost/chart_svg.h"

namespace {

TEST(ChartSvg, WellFormedAndHoldsItsSeries) {
    host::Plugin plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(BARSIGHT_PLUGIN_PATH, &error)) << error;
    host::ChartData data;
    ASSERT_TRUE(host::load_chart_csv(SAMPLE_DATA_PATH, &data, &error)) << error;
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

// Markup, control bytes and invalid UTF-8 in the texts (the tools refuse
// such dates, but the chart does not rely on it).
TEST(ChartSvg, TextIsEscaped) {
    host::ChartData data;
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
