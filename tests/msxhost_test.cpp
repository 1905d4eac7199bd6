// msxhost's own pieces: the CSV reader, the date reader, Wilder's ATR, number
// formatting and the guard zones that the stress command relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <cfloat>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "harness/chart_data.h"
#include "harness/dates.h"
#include "harness/host_call.h"
#include "harness/output.h"
#include "platform/dynamic_library.h"

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
        // Old Mac line ends: every row read, not one long header line.
        {"cr only", "d,o,h,l,c,v\r2020-01-02,1,2,0.5,1.5,100\r2020-01-03,1,2,0.5,1.5,100\r", 2, true},
        {"cr, crlf and lf mixed", "d,o,h,l,c,v\r\n2020-01-02,1,2,0.5,1.5,100\r2020-01-03,1,2,0.5,1.5,100\n", 2, true},
        // A line of blanks is an empty line, wherever it is.
        {"trailing line of spaces", "d,o,h,l,c,v\n2020-01-02,1,2,0.5,1.5,100\n   \t \n", 1, true},
        {"line of spaces between rows", "2020-01-02,1,2,0.5,1.5,100\n  \r\n2020-01-03,1,2,0.5,1.5,100\n", 2, true},
        {"short row", "2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,2,0.5,1.5\n", 0, false},
        {"bad number", "2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,x,0.5,1.5,100\n", 0, false},
        {"empty", "", 0, true},
    };
    for (const Case& c : cases) {
        harness::ChartData chart;
        std::string error;
        const bool ok = harness::load_chart_csv(write_temp("chart.csv", c.text), &chart, &error);
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
        std::string field;
        bool ok;
        float value;
    } cases[] = {
        {"1.5", true, 1.5f},       {"-2", true, -2.0f},        {"+3.", true, 3.0f},
        {".25", true, 0.25f},      {"1e3", true, 1000.0f},     {" 7 ", true, 7.0f},
        {"3.4e38", true, 3.4e38f}, {"1e39", false, 0},         {"-1e39", false, 0},
        {"1e-50", false, 0},       {"0x1p3", false, 0},        {"nan", false, 0},
        {"inf", false, 0},         {"-Infinity", false, 0},    {"1e", false, 0},
        {".", false, 0},           {"1.5x", false, 0},         {"1,5", false, 0},
        // A NUL inside the field is a byte after the number, not its end.
        {std::string("44.92\0garbage", 13), false, 0}, {std::string("44.92\0", 6), false, 0},
    };
    for (const auto& c : cases) {
        harness::ChartData chart;
        std::string error;
        const std::string text = std::string("2020-01-02,1,2,0.5,1.5,100\n2020-01-03,1,2,0.5,") + c.field + ",100\n";
        const bool ok = harness::load_chart_csv(write_temp("number.csv", text), &chart, &error);
        EXPECT_EQ(ok, c.ok) << "'" << c.field << "': " << error;
        float parsed = -1;
        EXPECT_EQ(harness::parse_decimal_float(c.field, &parsed), c.ok) << "'" << c.field << "'";
        if (ok && c.ok) {
            ASSERT_EQ(chart.size(), 2u) << c.field;
            EXPECT_EQ(chart.close[1], c.value) << c.field;
        }
        if (!c.ok) {
            EXPECT_NE(error.find(":2: "), std::string::npos) << c.field << ": " << error;
        }
    }
}

// The tools' one date reader: the forms a data file uses; an impossible
// day or any other text is refused.
TEST(Dates, TheFormsADataFileUses) {
    int64_t day = 0;
    ASSERT_EQ(harness::parse_day("1970-01-01", &day), harness::DayStatus::ok);
    EXPECT_EQ(day, 0);
    ASSERT_EQ(harness::parse_day("2000.03.01", &day), harness::DayStatus::ok);
    EXPECT_EQ(day, 11017);  // 30 years of 365 days + 7 leap days + Jan + Feb (29)
    ASSERT_EQ(harness::parse_day("20240229", &day), harness::DayStatus::ok);
    for (const char* bad : {"2023-02-29", "2024-13-01", "24-01-01", "2024-01-01x", "2024/01-01", ""})
        EXPECT_NE(harness::parse_day(bad, &day), harness::DayStatus::ok) << bad;
}

// The one check of a chart's dates that every command makes: a file newest
// first, a date twice, a text that is no date, a date outside the range and
// a file without bars are refused, naming the file, the row and the date.
TEST(ChartDays, DatesMustRise) {
    const auto bars = [](std::initializer_list<const char*> dates) {
        std::string text = "date,open,high,low,close,volume\n";
        for (const char* d : dates) text += std::string(d) + ",1,2,0.5,1.5,100\n";
        return text;
    };
    const struct {
        const char* name;
        std::string text;
        std::string message;  // empty: accepted
    } cases[] = {
        {"rising", bars({"1800-01-01", "2020-01-02", "2020.01.03", "20200106", "9999-12-31"}), ""},
        {"newest first", bars({"2024-01-12", "2024-01-11", "2013-01-02"}),
         "row 2: '2024-01-11' is not later than row 1's '2024-01-12': dates must rise"},
        {"a date twice", bars({"2024-01-11", "2024-01-12", "2024-01-12"}),
         "row 3: '2024-01-12' is not later than row 2's '2024-01-12': dates must rise"},
        {"one step back at the end", bars({"2024-01-10", "2024-01-11", "2024-01-12", "2024-01-05"}),
         "row 4: '2024-01-05' is not later than row 3's '2024-01-12'"},
        {"1799", bars({"1799-12-31", "2020-01-02"}),
         "row 1: '1799-12-31' is outside the dates taken, 1800-01-01 to 9999-12-31"},
        {"no date", bars({"2020-01-02", "2020-13-01"}), "row 2: '2020-13-01' is not a date (YYYY-MM-DD)"},
        {"not a day of 1799 either", bars({"1799-02-30"}), "row 1: '1799-02-30' is not a date (YYYY-MM-DD, or YYYY-MM-DD HH:MM)"},
        {"header only", bars({}), "no bars (an empty or header-only file)"},
        {"minutes rising", bars({"2024-01-11 09:30", "2024-01-11 09:31", "2024-01-11T16:00", "2024-01-12 09:30"}), ""},
        {"a minute twice", bars({"2024-01-11 09:30", "2024-01-11 09:31", "2024-01-11 09:31"}),
         "row 3: '2024-01-11 09:31' is not later than row 2's '2024-01-11 09:31': dates must rise"},
        {"a daily row among minutes", bars({"2024-01-11 09:30", "2024-01-12"}),
         "row 2: '2024-01-12' is not a date with a time of day (YYYY-MM-DD HH:MM), as row 1 is"},
        {"a time among daily rows", bars({"2024-01-11", "2024-01-12 09:30"}),
         "row 2: '2024-01-12 09:30' is not a date (YYYY-MM-DD), as row 1 is"},
        {"no such minute", bars({"2024-01-11 24:00"}), "row 1: '2024-01-11 24:00' is not a date (YYYY-MM-DD, or"},
    };
    for (const auto& c : cases) {
        const std::string path = write_temp("days.csv", c.text);
        harness::ChartData chart;
        std::string error;
        ASSERT_TRUE(harness::load_chart_csv(path, &chart, &error)) << c.name << ": " << error;
        std::vector<int64_t> days;
        const bool ok = harness::chart_days(chart, path, &days, &error);
        EXPECT_EQ(ok, c.message.empty()) << c.name << ": " << error;
        if (ok) {
            EXPECT_EQ(days.size(), chart.size()) << c.name;
            EXPECT_TRUE(std::is_sorted(days.begin(), days.end())) << c.name;
        } else {
            EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << c.name << ": the file named: " << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
        }
    }
}

TEST(ChartCsv, MissingFileIsAnError) {
    harness::ChartData chart;
    std::string error;
    EXPECT_FALSE(harness::load_chart_csv("/nonexistent/x.csv", &chart, &error));
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
        {"long last line", row + std::string(harness::kMaxLine + 1, 'x'), false,
         ":2: line is longer than 1048576 bytes"},
        {"long first line", std::string(harness::kMaxLine + 1, ' ') + "\n" + row, false,
         ":1: line is longer than 1048576 bytes"},
        // A header of exactly the cap (CR included) is still a line.
        {"at the cap", std::string(harness::kMaxLine - 1, 'h') + "\r\n" + row, true, ""},
        {"no final line end", row + row.substr(0, row.size() - 1), true, ""},
    };
    for (const auto& c : cases) {
        harness::ChartData chart;
        std::string error;
        EXPECT_EQ(harness::load_chart_csv(write_temp("long.csv", c.text), &chart, &error), c.ok)
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
    harness::ChartData chart;
    std::string error;
    const std::string dir = std::filesystem::temp_directory_path().string();
    EXPECT_FALSE(harness::load_chart_csv(dir, &chart, &error));
    EXPECT_EQ(error.rfind("cannot ", 0), 0u) << error;
    EXPECT_NE(error.find(dir), std::string::npos) << error;
    EXPECT_EQ(chart.size(), 0u);
}

// What a command may write: every final name against every input and every
// other output, by the file a name leads to (links and spellings resolved),
// existing or not; the clash names both files. Links and FIFOs are the
// scripts' cases (tools_hostile.sh, check_evaluate.py); these hold in every
// build.
TEST(FileClash, OutputsNeverOverInputsOrEachOther) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "clash";
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    const auto at = [&](const char* name) { return (dir / name).string(); };
    for (const char* name : {"a.csv", "b.csv", "plugin.so"}) std::ofstream(at(name)) << name;
    std::error_code ec;
    fs::create_hard_link(at("a.csv"), at("a-hard.csv"), ec);
    const bool hard_links = !ec;
    const std::string spelled = (dir / "sub" / ".." / "o1.x").string();
    const struct {
        const char* name;
        harness::CommandFiles files;
        std::string message;  // empty: no clash
    } cases[] = {
        {"distinct", {{at("a.csv"), at("b.csv")}, {at("plugin.so")}, {at("o.svg"), at("o.csv")}}, ""},
        {"an output is an input", {{at("a.csv")}, {}, {at("a.csv")}}, "the output " + at("a.csv") + " is the input"},
        {"the plug-in as an output", {{at("a.csv")}, {at("plugin.so")}, {at("plugin.so")}}, "is the input"},
        {"two outputs, neither made yet, spelled apart", {{at("a.csv")}, {}, {at("o1.x"), spelled}},
         "the outputs " + at("o1.x") + " and " + spelled + " are one file"},
        {"an output spelled as a suffixed one", {{at("a.csv")}, {}, {at("o3-before.svg"), at("o3-before.svg")}},
         "are one file"},
        {"a data file twice", {{at("a.csv"), at("b.csv"), (dir / "sub" / ".." / "a.csv").string()}, {}, {}},
         "is given twice (as " + at("a.csv") + " too)"},
        {"a folder as an output", {{at("a.csv")}, {}, {at("sub")}}, "is not a regular file"},
    };
    for (const auto& c : cases) {
        const std::string clash = harness::file_clash(c.files);
        if (c.message.empty()) {
            EXPECT_EQ(clash, "") << c.name;
        } else {
            EXPECT_NE(clash.find(c.message), std::string::npos) << c.name << ": '" << clash << "'";
        }
    }
    if (hard_links) {  // one file by two names: an input twice, or written over
        EXPECT_NE(harness::file_clash({{at("a.csv"), at("a-hard.csv")}, {}, {}}).find("given twice"), std::string::npos);
        EXPECT_NE(harness::file_clash({{at("a.csv")}, {}, {at("a-hard.csv")}}).find("is the input"), std::string::npos);
    }
    // Names of files not yet made compare as the file system compares them:
    // on Windows without case and without a name's trailing dots and spaces.
    const bool windows_names = platform::library_file_name("x") == "x.dll";
    const std::string other_case = harness::file_clash({{at("a.csv")}, {}, {at("Out.csv"), at("out.CSV. ")}});
    EXPECT_EQ(other_case.find("are one file") != std::string::npos, windows_names) << other_case;
    EXPECT_EQ(harness::file_clash({{at("a.csv")}, {}, {at("Out.csv"), at("Out2.csv")}}), "");
    // Nothing was written or made by the checks.
    EXPECT_FALSE(fs::exists(at("o1.x")));
    EXPECT_FALSE(fs::exists(at("o.svg")));
    fs::remove_all(dir);
}

TEST(WilderAtr, HandChecked) {
    // True ranges: 2 (first bar: high - low), then max(h-l, |h-pc|, |l-pc|):
    // bar 1: h 13, l 11, prev close 10 -> 3; bar 2: h 12, l 8, pc 12 -> 4;
    // bar 3: h 9, l 8, pc 10 -> 2. ATR(2): bar 1 = (2+3)/2 = 2.5,
    // bar 2 = (2.5*1 + 4)/2 = 3.25, bar 3 = (3.25 + 2)/2 = 2.625.
    harness::ChartData chart;
    chart.dates = {"a", "b", "c", "d"};
    chart.high = {11, 13, 12, 9};
    chart.low = {9, 11, 8, 8};
    chart.close = {10, 12, 10, 8.5f};
    chart.open = chart.close;
    chart.volume = {1, 1, 1, 1};
    int first = 0;
    const std::vector<float> atr = harness::wilder_atr(chart, 2, &first);
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
    for (const Case& c : cases) EXPECT_EQ(harness::format_float(c.v), c.text);
}

int32_t MSX_STDCALL writes_into_close(const MSXDataRec* data, const MSXDataInfoRecArgsArray*,
                                      const MSXNumericArgsArray*, const MSXStringArgsArray*,
                                      const MSXCustomArgsArray*, MSXResultRec*) {
    data->sClose.pfValue[0] = 7.0f;
    return 2;
}

harness::CallSpec small_chart() {
    harness::CallSpec call;
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
    const harness::CallResult r = harness::call_function(&writes_past_the_end, small_chart());
    ASSERT_FALSE(r.violations.empty());
    EXPECT_EQ(r.violations[0], "write outside the result array");
}
#endif

TEST(GuardZones, WriteIntoAnInputArrayIsReported) {
    const harness::CallResult r = harness::call_function(&writes_into_close, small_chart());
    EXPECT_EQ(r.code, 2);
    ASSERT_FALSE(r.violations.empty());
    EXPECT_EQ(r.violations[0], "write into the close array");
}

}  // namespace
