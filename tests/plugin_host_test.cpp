// The built plug-in loaded the way the charting host loads it: by file, its
// catalogue through the query exports, calls through the exported names.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "chart_fixture.h"
#include "tools/msxhost/plugin.h"
#include "tools/msxhost/stress.h"

#ifndef BARSIGHT_PLUGIN_PATH
#error "BARSIGHT_PLUGIN_PATH must name the built plug-in"
#endif

namespace {

class PluginHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plugin_ = new msxhost::Plugin;
        std::string error;
        loaded_ = plugin_->load(BARSIGHT_PLUGIN_PATH, &error);
        error_ = error;
    }
    static void TearDownTestSuite() {
        delete plugin_;
        plugin_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(loaded_) << error_; }

    static msxhost::Plugin* plugin_;
    static bool loaded_;
    static std::string error_;
};

msxhost::Plugin* PluginHost::plugin_ = nullptr;
bool PluginHost::loaded_ = false;
std::string PluginHost::error_;

TEST_F(PluginHost, CatalogueNamesExportedFunctions) {
    ASSERT_EQ(plugin_->functions().size(), 5u);
    const char* names[] = {"VSAMakeConst", "VSATrend", "VSAVolStops", "VSAInd", "VSASpread"};
    for (std::size_t i = 0; i < 5; ++i) {
        const msxhost::FunctionInfo& fn = plugin_->functions()[i];
        EXPECT_EQ(fn.name, names[i]);
        EXPECT_NE(fn.calc, nullptr) << fn.name << " is not exported";
    }
    EXPECT_EQ(plugin_->version(), 1);
    EXPECT_EQ(plugin_->find("VSAVolStops")->array_count(), 1);
    EXPECT_EQ(plugin_->find("VSASpread")->numeric_count(), 2);
}

TEST_F(PluginHost, ExportsAnswerLikeTheCoreFunctions) {
    msxhost::CallSpec spec = testing_support::random_chart(400, 3, 17);
    testing_support::set_numerics(&spec, {25});
    const msxhost::CallResult r = msxhost::call_function(plugin_->find("VSATrend")->calc, spec);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 27);
    EXPECT_EQ(r.last, 399);
    EXPECT_TRUE(r.violations.empty());
}

TEST_F(PluginHost, NullRecordsThroughTheExports) {
    EXPECT_EQ(plugin_->info()(nullptr), 1);
    EXPECT_EQ(plugin_->nth_function()(0, nullptr), 1);
    for (const msxhost::FunctionInfo& fn : plugin_->functions())
        EXPECT_EQ(fn.calc(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1) << fn.name;
}

TEST_F(PluginHost, VSAIndWithoutTheEngineFailsCleanly) {
    msxhost::CallSpec spec = testing_support::random_chart(50, 0, 4);
    const msxhost::CallResult r = msxhost::call_function(plugin_->find("VSAInd")->calc, spec);
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, -1);
}

// Every function with argument counts and values past every bound, extreme
// prices and empty series: only 0/1, no write outside the host's arrays.
TEST_F(PluginHost, StressIsClean) {
    std::ostringstream out;
    std::vector<msxhost::StressReport> reports;
    EXPECT_TRUE(msxhost::run_stress(*plugin_, out, &reports)) << out.str();
    ASSERT_EQ(reports.size(), 6u);
    for (const msxhost::StressReport& r : reports) EXPECT_GT(r.calls, 100) << r.function;
}

}  // namespace
