// The built plug-in loaded the way the charting host loads it: by file, its
// catalogue through the query exports, calls through the exported names.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "chart_fixture.h"
#include "harness/chart_data.h"
#include "plugin_fixture.h"
#include "harness/plugin.h"
#include "harness/stress.h"
#include "signals/signal_codes.h"

#ifndef BARSIGHT_PLUGIN_PATH
#error "BARSIGHT_PLUGIN_PATH must name the built plug-in"
#endif

namespace {

struct PluginHostPath {
    static const char* path() { return BARSIGHT_PLUGIN_PATH; }
};

class PluginHost : public testing_support::LoadedPlugin<PluginHostPath> {};

TEST_F(PluginHost, CatalogueNamesExportedFunctions) {
    ASSERT_EQ(plugin_->functions().size(), 5u);
    const char* names[] = {"VSAMakeConst", "VSATrend", "VSAVolStops", "VSAInd", "VSASpread"};
    for (std::size_t i = 0; i < 5; ++i) {
        const harness::FunctionInfo& fn = plugin_->functions()[i];
        EXPECT_EQ(fn.name, names[i]);
        EXPECT_NE(fn.calc, nullptr) << fn.name << " is not exported";
    }
    EXPECT_EQ(plugin_->version(), 1);
    EXPECT_EQ(plugin_->find("VSAVolStops")->array_count(), 1);
    EXPECT_EQ(plugin_->find("VSASpread")->numeric_count(), 2);
}

TEST_F(PluginHost, ExportsAnswerLikeTheCoreFunctions) {
    harness::CallSpec call = testing_support::random_chart(400, 3, 17);
    testing_support::set_numerics(&call, {25});
    const harness::CallResult r = harness::call_function(plugin_->find("VSATrend")->calc, call);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 27);
    EXPECT_EQ(r.last, 399);
    EXPECT_TRUE(r.violations.empty());
}

TEST_F(PluginHost, NullRecordsThroughTheExports) {
    EXPECT_EQ(plugin_->info()(nullptr), 1);
    EXPECT_EQ(plugin_->nth_function()(0, nullptr), 1);
    for (const harness::FunctionInfo& fn : plugin_->functions())
        EXPECT_EQ(fn.calc(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1) << fn.name;
}

// The shipped engine sits beside the plug-in, as users install it.
TEST_F(PluginHost, VSAIndWithTheShippedEngineOverTheSampleData) {
    harness::ChartData chart;
    std::string error;
    ASSERT_TRUE(harness::load_chart_csv(SAMPLE_DATA_PATH, &chart, &error)) << error;
    const harness::CallSpec call = harness::chart_spec(chart);
    const int32_t last = static_cast<int32_t>(chart.size()) - 1;
    const harness::CallResult r = harness::call_function(plugin_->find("VSAInd")->calc, call);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, last);
    EXPECT_TRUE(r.violations.empty());
    // Every code a rule of the engine gives, and nothing else.
    std::set<float> signals;
    for (const spreadcore::Signal rule : spreadcore::kRuleOrder) signals.insert(static_cast<float>(rule));
    std::map<float, int> counts;
    for (int32_t i = 0; i <= last; ++i) {
        const float v = r.values[static_cast<std::size_t>(i)];
        if (v == 0.0f) continue;
        EXPECT_TRUE(signals.count(v)) << "bar " << i << ": " << v;
        EXPECT_GT(i, 15) << "warm-up bars are plotted as 0";
        ++counts[v];
    }
    int marked = 0;
    for (const auto& c : counts) marked += c.second;
    // A plausible share: signals are neither absent nor on most bars.
    EXPECT_GT(marked, static_cast<int>(chart.size()) / 50);
    EXPECT_LT(marked, static_cast<int>(chart.size()) / 3);
    EXPECT_GE(counts.size(), 5u);
}

// Every function with argument counts and values past every bound, extreme
// prices and empty series: only 0/1, no write outside the host's arrays.
TEST_F(PluginHost, StressIsClean) {
    std::ostringstream out;
    std::vector<harness::StressReport> reports;
    EXPECT_TRUE(harness::run_stress(*plugin_, out, &reports)) << out.str();
    ASSERT_EQ(reports.size(), 6u);
    for (const harness::StressReport& r : reports) EXPECT_GT(r.calls, 100) << r.function;
}

}  // namespace
