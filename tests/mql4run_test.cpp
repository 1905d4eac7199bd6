// BarsightVSA on several charts of one terminal, through the runner's
// library: the charts share the plug-in's help window and reference count,
// and only the last chart's OnDeinit ends the window.
#include <gtest/gtest.h>

#include <string>

#include "platform/dynamic_library.h"
#include "tools/mql4run/runner.h"

namespace {

using IntCall = int (*)();

class TwoCharts : public ::testing::Test {
protected:
    void SetUp() override {
        entry_ = mql4run::find_program("BarsightVSA.mq4");
        ASSERT_NE(entry_, nullptr);
        std::string error;
        ASSERT_TRUE(mql4run::load_bars(SAMPLE_DATA_PATH, &bars_, &error)) << error;
        ASSERT_TRUE(imports_.bind(*entry_, MQL4RUN_LIBRARIES, &error)) << error;
        plugin_ = platform::DynamicLibrary::open(BARSIGHT_PLUGIN_PATH, &error);
        ASSERT_TRUE(plugin_.loaded()) << error;
        is_dialog_running_ = reinterpret_cast<IntCall>(plugin_.symbol("IsDialogRunning"));
        get_ref_count_ = reinterpret_cast<IntCall>(plugin_.symbol("GetRefCount"));
        ASSERT_NE(is_dialog_running_, nullptr);
        ASSERT_NE(get_ref_count_, nullptr);
    }

    // A chart with the indicator attached and calculated on every bar.
    std::unique_ptr<mql4run::ChartSession> attach() {
        auto chart = std::make_unique<mql4run::ChartSession>(*entry_, imports_, &runner_, 0);
        EXPECT_EQ(chart->init(), mql::INIT_SUCCEEDED);
        chart->calculate(bars_, 0, bars_.time.size());
        return chart;
    }

    static std::string first_arrow(mql4run::ChartSession& chart) {
        return chart.chart().objects.empty() ? std::string() : chart.chart().objects.front().name;
    }

    const mql::ProgramEntry* entry_ = nullptr;
    mql::Chart bars_;
    mql4run::Imports imports_;
    mql::Runner runner_;
    platform::DynamicLibrary plugin_;
    IntCall is_dialog_running_ = nullptr;
    IntCall get_ref_count_ = nullptr;
};

TEST_F(TwoCharts, RemovingOneChartLeavesTheHelpWindowTheLastEndsIt) {
    const int count_before = get_ref_count_();
    auto first = attach();
    auto second = attach();
    EXPECT_EQ(get_ref_count_(), count_before + 2);
    // Both charts show the same bars, so the same arrows.
    ASSERT_FALSE(first->chart().objects.empty());
    EXPECT_EQ(first->chart().objects.size(), second->chart().objects.size());

    const std::size_t second_arrows = second->chart().objects.size();
    first->click(first_arrow(*first));
    EXPECT_EQ(is_dialog_running_(), 1);

    first->deinit(mql::REASON_REMOVE);
    EXPECT_TRUE(first->chart().objects.empty());
    EXPECT_EQ(is_dialog_running_(), 1) << "the other chart still uses the help window";
    EXPECT_EQ(second->chart().objects.size(), second_arrows) << "each chart has its own objects";

    second->click(first_arrow(*second));  // still answers clicks
    EXPECT_EQ(is_dialog_running_(), 1);
    second->deinit(mql::REASON_REMOVE);
    EXPECT_TRUE(second->chart().objects.empty());
    EXPECT_NE(is_dialog_running_(), 1) << "the last chart ends the help window";
    EXPECT_EQ(get_ref_count_(), count_before);
}

// A timeframe switch is an OnDeinit and a fresh OnInit on the same chart:
// the arrows come back the same, and the count does not drift.
TEST_F(TwoCharts, ReattachingOnTheSameChartRestoresTheSameArrows) {
    const int count_before = get_ref_count_();
    auto chart = attach();
    std::vector<std::string> names;
    for (const auto& object : chart->chart().objects) names.push_back(object.name);
    chart->deinit(mql::REASON_CHARTCHANGE);
    EXPECT_TRUE(chart->chart().objects.empty());
    auto again = attach();
    std::vector<std::string> again_names;
    for (const auto& object : again->chart().objects) again_names.push_back(object.name);
    EXPECT_EQ(again_names, names);
    again->deinit(mql::REASON_REMOVE);
    EXPECT_EQ(get_ref_count_(), count_before);
}

}  // namespace
