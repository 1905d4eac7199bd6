// BarsightVSA on several charts of one terminal, through the runner's
// library: the charts share the plug-in's help window and reference count,
// and only the last chart's OnDeinit ends the window.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/dynamic_library.h"
#include "scratch_path.h"
#include "tools/mql4run/runner.h"
#include "tools/mql4run/builtins.h"
#include "tools/mql4run/registry.h"
#include "tools/mql4run/text.h"

namespace {

// TimeToString counts the calendar out itself (no C library time
// functions): leap days, the century rules, times before 1970, and years
// too far out for a date are empty.
TEST(RunnerTime, CalendarDatesAndTimes) {
    const struct {
        long long seconds;
        const char* text;
    } cases[] = {
        {0, "1970.01.01 00:00:00"},
        {-1, "1969.12.31 23:59:59"},                // before 1970: the day before
        {951782400, "2000.02.29 00:00:00"},         // 2000 is a leap year (divisible by 400)
        {951868800, "2000.03.01 00:00:00"},
        {4107542400LL, "2100.03.01 00:00:00"},      // 2100 is not: 28 February, then 1 March
        {1709283900, "2024.03.01 09:05:00"},        // 19783 days + 9 h 5 min
        {253402300799LL, "9999.12.31 23:59:59"},
        {-62135596800LL, "0001.01.01 00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mql::TimeToString(c.seconds, mql::TIME_DATE | mql::TIME_SECONDS).str(), c.text) << c.seconds;
    EXPECT_EQ(mql::TimeToString(1709283900, mql::TIME_DATE).str(), "2024.03.01");
    EXPECT_EQ(mql::TimeToString(9000000000000000000LL).str(), "");  // beyond any year a date holds
}

// --input values are read strictly: decimal only, within the input's type;
// no octal, hex, nan, inf or impossible dates.
TEST(RunnerInputs, StrictForms) {
    const struct {
        const char* text;
        bool ok;
        long long value;
    } ints[] = {
        {"10", true, 10},          {"010", true, 10},  // decimal, never octal
        {"-5", true, -5},          {"+7", true, 7},
        {"2147483647", true, 2147483647LL},
        {"2147483648", false, 0},  {"4294967296", false, 0},
        {"0x10", false, 0},        {"1e3", false, 0},   {"", false, 0},
        {" 5", false, 0},          {"5 ", false, 0},    {"-", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const auto& c : ints) {
        int value = -1;
        EXPECT_EQ(mql::parse_integer(c.text, &value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    unsigned char small = 0;
    EXPECT_FALSE(mql::parse_integer("256", &small));
    EXPECT_FALSE(mql::parse_integer("-1", &small));
    const struct {
        const char* text;
        bool ok;
        double value;
    } doubles[] = {
        {"1.5", true, 1.5}, {"-.25", true, -0.25}, {"3.", true, 3.0}, {"2e3", true, 2000.0},
        {"1E-2", true, 0.01}, {"nan", false, 0}, {"inf", false, 0}, {"-infinity", false, 0},
        {"0x1p3", false, 0}, {".", false, 0}, {"1e", false, 0}, {"1e999", false, 0},
        {"1,5", false, 0}, {"", false, 0},
    };
    for (const auto& c : doubles) {
        double value = -1;
        EXPECT_EQ(mql::parse_double(c.text, &value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    const struct {
        const char* text;
        bool ok;
        long long value;
    } times[] = {
        // 2020-03-01 is day 18322 since 1970-01-01 (50 years with 12 leap
        // days: 18262, then 31 + 29 days of 2020).
        {"2020.03.01", true, 18322LL * 86400},
        {"2020.03.01 13:45", true, 18322LL * 86400 + 13 * 3600 + 45 * 60},
        {"1970.01.01", true, 0},
        {"2020.02.29", true, 18321LL * 86400},
        {"2019.02.29", false, 0}, {"2020.02.30", false, 0}, {"1969.12.31", false, 0},
        {"3001.01.01", false, 0}, {"2020.13.01", false, 0}, {"2020.01.01 24:00", false, 0},
        {"2020.1.1", false, 0},   {"-2020.01.01", false, 0},
    };
    for (const auto& c : times) {
        mql::datetime value = -1;
        EXPECT_EQ(mql::parse_datetime(c.text, &value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

// Print and the order log write a double in its shortest form that reads
// back the same, a whole number with all its digits as the terminal does.
TEST(RunnerText, NumbersInTheirShortestForm) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {100, "100"},     {0.12, "0.12"},   {-2500, "-2500"}, {87.23, "87.23"},
        {0.001, "0.001"}, {1e308, "1e+308"}, {1e15, "1e+15"}, {123456789012.0, "123456789012"},
        {0, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(mql::number_text(c.value), c.text) << c.value;
}

// A seventh column is the real volume, a long count: what a long cannot
// hold (or no count at all) is refused with the row, never cast. Each file
// has a header and two bars, the value on the second (line 3).
TEST(RunnerData, RealVolumeBeyondALongIsRefusedWithItsRow) {
    const struct {
        const char* value;
        const char* error;  // empty: read, as `real`
        long long real;
    } cases[] = {
        {"0", "", 0},
        {"12.4", "", 12},
        {"8388609", "", 8388609},  // odd above 2^23: rounded in double, not float
        {"9.2e18", "", 9200000267938955264LL},  // the float nearest 9.2e18, below 2^63
        {"1e30", "row 2: real volume 1e+30 is outside 0 to 9223372036854775807", 0},
        {"9.3e18", "row 2: real volume 9.3e+18 is outside", 0},   // just beyond 2^63
        {"3.4e38", "row 2: real volume 3.4e+38 is outside", 0},  // near the largest float
        {"1e39", ":3: expected date,open,high,low,close,volume[,real_volume]", 0},  // beyond a float
        {"nan", ":3: expected", 0},
        {"inf", ":3: expected", 0},
        {"-1", ":3: expected", 0},
    };
    const std::filesystem::path path = testing_support::scratch_path("mql4run-real-volume.csv");
    for (const auto& c : cases) {
        {
            std::ofstream file(path);
            file << "date,open,high,low,close,volume,real_volume\n"
                 << "2020-01-02,10,11,9,10.5,100,7\n"
                 << "2020-01-03,10,11,9,10.5,100," << c.value << "\n";
        }
        mql::Chart bars;
        std::string error;
        const bool read = mql4run::load_bars(path.string(), &bars, &error);
        if (*c.error == '\0') {
            ASSERT_TRUE(read) << c.value << ": " << error;
            ASSERT_EQ(bars.volume.size(), 2u) << c.value;
            EXPECT_EQ(bars.volume.storage()[0], 7) << c.value;
            EXPECT_EQ(bars.volume.storage()[1], c.real) << c.value;
        } else {
            EXPECT_FALSE(read) << c.value;
            EXPECT_NE(error.find(path.string()), std::string::npos) << c.value << ": " << error;
            EXPECT_NE(error.find(c.error), std::string::npos) << c.value << ": " << error;
        }
    }
    std::filesystem::remove(path);
}

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
        for (const auto& object : chart.chart().objects)
            if (object.name.rfind("Barsight;", 0) == 0) return object.name;
        return std::string();
    }

    const mql::ProgramEntry* entry_ = nullptr;
    mql::Chart bars_;
    mql4run::Imports imports_;
    mql::Terminal runner_;
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
    // The instance takes its own objects with it, whatever the reason: the
    // one that follows draws under its own copy number (MetaTrader 5 may
    // start it before this OnDeinit), so nothing of it is touched.
    chart->deinit(mql::REASON_CHARTCHANGE);
    EXPECT_TRUE(chart->chart().objects.empty());
    auto again = attach();
    std::vector<std::string> again_names;
    for (const auto& object : again->chart().objects) again_names.push_back(object.name);
    EXPECT_EQ(again_names, names);
    again->deinit(mql::REASON_REMOVE);  // removed: nothing stays
    EXPECT_TRUE(again->chart().objects.empty());
    EXPECT_EQ(get_ref_count_(), count_before);
}

}  // namespace
