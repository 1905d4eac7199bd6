// msxhost's own pieces: the CSV reader, Wilder's ATR, number formatting and
// the guard zones that the stress command relies on.
#include <gtest/gtest.h>

#include <filesystem>

#include <cfloat>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "host/chart_data.h"
#include "host/host_call.h"

namespace {

std::string write_temp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(ChartCsv, ReadsRowsWithOrWithoutHeaderAndCrlf) {
    struct Case {
        const char* name;
        const char* text;
        std::size_t rows;
        bool ok;
    } cases[] = {
        {"header", "date,open,high,low,close,volume\n2020-01-02,1,2,0.5,1.5,100\n", 1, true},
        {"no header", "2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,2,0.5,1.5,100", 2, true},
        {"crlf", "d,o,h,l,c,v\r\n2020-01-02,1,2,0.5,1.5,100\r\n\r\n", 1, true},
        {"short row", "2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,2,0.5,1.5\n", 0, false},
        {"bad number", "2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,x,0.5,1.5,100\n", 0, false},
        {"empty", "", 0, true},
    };
    for (const Case& c : cases) {
        host::ChartData chart;
        std::string error;
        const bool ok = host::load_chart_csv(write_temp("chart.csv", c.text), &chart, &error);
        EXPECT_EQ(ok, c.ok) << c.name << ": " << error;
        if (ok) {
            EXPECT_EQ(chart.size(), c.rows) << c.name;
        }
    }
}

// Prices and volumes are decimal numbers within a float's range: a row
// holding anything else is refused, never read as infinity, NaN or a
// hexadecimal value.
TEST(ChartCsv, OnlyDecimalNumbersInRange) {
    const struct {
        const char* field;
        bool ok;
        float value;
    } cases[] = {
        {"1.5", true, 1.5f},       {"-2", true, -2.0f},        {"+3.", true, 3.0f},
        {".25", true, 0.25f},      {"1e3", true, 1000.0f},     {" 7 ", true, 7.0f},
        {"3.4e38", true, 3.4e38f}, {"1e39", false, 0},         {"-1e39", false, 0},
        {"1e-50", false, 0},       {"0x1p3", false, 0},        {"nan", false, 0},
        {"inf", false, 0},         {"-Infinity", false, 0},    {"1e", false, 0},
        {".", false, 0},           {"1.5x", false, 0},         {"1,5", false, 0},
    };
    for (const auto& c : cases) {
        host::ChartData chart;
        std::string error;
        const std::string text = std::string("2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,2,0.5,") + c.field + ",100\n";
        const bool ok = host::load_chart_csv(write_temp("number.csv", text), &chart, &error);
        EXPECT_EQ(ok, c.ok) << "'" << c.field << "': " << error;
        if (ok && c.ok) {
            ASSERT_EQ(chart.size(), 2u) << c.field;
            EXPECT_EQ(chart.close[1], c.value) << c.field;
        }
        if (!c.ok) {
            EXPECT_NE(error.find(":2: "), std::string::npos) << c.field << ": " << error;
        }
    }
}

TEST(ChartCsv, MissingFileIsAnError) {
    host::ChartData chart;
    std::string error;
    EXPECT_FALSE(host::load_chart_csv("/nonexistent/x.csv", &chart, &error));
    EXPECT_NE(error.find("cannot read /nonexistent/x.csv: "), std::string::npos) << error;
}

// A line longer than the cap is refused with its line number, whatever
// follows; one at the cap is read. The file is never read whole first.
TEST(ChartCsv, LineLongerThanTheCapIsAnError) {
    const std::string row = "2020-01-02,1,2,0.5,1.5,100\n";
    const struct {
        const char* name;
        std::string text;
        bool ok;
        std::string message;
    } cases[] = {
        {"long last line", row + std::string(host::kMaxLine + 1, 'x'), false,
         ":2: line is longer than 1048576 bytes"},
        {"long first line", std::string(host::kMaxLine + 1, ' ') + "\n" + row, false,
         ":1: line is longer than 1048576 bytes"},
        // A header of exactly the cap (CR included) is still a line.
        {"at the cap", std::string(host::kMaxLine - 1, 'h') + "\r\n" + row, true, ""},
        {"no final line end", row + row.substr(0, row.size() - 1), true, ""},
    };
    for (const auto& c : cases) {
        host::ChartData chart;
        std::string error;
        EXPECT_EQ(host::load_chart_csv(write_temp("long.csv", c.text), &chart, &error), c.ok)
            << c.name << ": " << error;
        if (!c.ok) {
            EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
            EXPECT_EQ(chart.size(), 0u) << c.name;
        } else {
            EXPECT_EQ(chart.size(), c.name == std::string("at the cap") ? 1u : 2u) << c.name;
        }
    }
}

// A name that opens but cannot be read (a directory on Linux; Windows
// refuses to open it) is an error, never an empty chart.
TEST(ChartCsv, UnreadableStreamIsAnError) {
    host::ChartData chart;
    std::string error;
    const std::string dir = std::filesystem::temp_directory_path().string();
    EXPECT_FALSE(host::load_chart_csv(dir, &chart, &error));
    EXPECT_EQ(error.rfind("cannot ", 0), 0u) << error;
    EXPECT_NE(error.find(dir), std::string::npos) << error;
    EXPECT_EQ(chart.size(), 0u);
}

TEST(WilderAtr, HandChecked) {
    // True ranges: 2 (first bar: high - low), then max(h-l, |h-pc|, |l-pc|):
    // bar 1: h 13, l 11, prev close 10 -> 3; bar 2: h 12, l 8, pc 12 -> 4;
    // bar 3: h 9, l 8, pc 10 -> 2. ATR(2): bar 1 = (2+3)/2 = 2.5,
    // bar 2 = (2.5*1 + 4)/2 = 3.25, bar 3 = (3.25 + 2)/2 = 2.625.
    host::ChartData chart;
    chart.dates = {"a", "b", "c", "d"};
    chart.high = {11, 13, 12, 9};
    chart.low = {9, 11, 8, 8};
    chart.close = {10, 12, 10, 8.5f};
    chart.open = chart.close;
    chart.volume = {1, 1, 1, 1};
    int first = 0;
    const std::vector<float> atr = host::wilder_atr(chart, 2, &first);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(atr[1], 2.5f);
    EXPECT_EQ(atr[2], 3.25f);
    EXPECT_EQ(atr[3], 2.625f);
}

TEST(FormatFloat, SameTextInEveryBuild) {
    struct Case {
        float v;
        const char* text;
    } cases[] = {
        {0.0f, "0"},
        {1.5f, "1.5"},
        {-2.0f, "-2"},
        {0.1f, "0.1"},
        {FLT_MAX, "3.4028235e+38"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {-std::numeric_limits<float>::quiet_NaN(), "nan"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
    };
    for (const Case& c : cases) EXPECT_EQ(host::format_float(c.v), c.text);
}

int32_t MSX_STDCALL writes_into_close(const MSXDataRec* data, const MSXDataInfoRecArgsArray*,
                                      const MSXNumericArgsArray*, const MSXStringArgsArray*,
                                      const MSXCustomArgsArray*, MSXResultRec*) {
    data->sClose.pfValue[0] = 7.0f;
    return 2;
}

host::CallSpec small_chart() {
    host::CallSpec call;
    for (auto* s : {&call.high, &call.low, &call.close, &call.volume}) *s = {{1, 2, 3}, 0, 2};
    return call;
}

#if !defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the guard zones are poisoned and such a write stops
// the program instead, which is the stronger check.
// A function that writes one float past the end of the result array: the
// guard zone must catch it.
int32_t MSX_STDCALL writes_past_the_end(const MSXDataRec* data, const MSXDataInfoRecArgsArray*,
                                        const MSXNumericArgsArray*, const MSXStringArgsArray*,
                                        const MSXCustomArgsArray*, MSXResultRec* result) {
    result->psResultArray->pfValue[data->sClose.iLastValid + 1] = 1.0f;
    return 0;
}

TEST(GuardZones, WriteOutsideTheResultArrayIsReported) {
    const host::CallResult r = host::call_function(&writes_past_the_end, small_chart());
    ASSERT_FALSE(r.violations.empty());
    EXPECT_EQ(r.violations[0], "write outside the result array");
}
#endif

TEST(GuardZones, WriteIntoAnInputArrayIsReported) {
    const host::CallResult r = host::call_function(&writes_into_close, small_chart());
    EXPECT_EQ(r.code, 2);
    ASSERT_FALSE(r.violations.empty());
    EXPECT_EQ(r.violations[0], "write into the close array");
}

}  // namespace
