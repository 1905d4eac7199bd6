// The orvane loader: catalogue, selection rules through the exported
// functions with host-owned records, bad input, and a differential test of
// the one-pass reader against the literal two-pass reading.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scratch_path.h"
#include "chart_fixture.h"
#include "loader/csv_reader.h"
#include "plugin_fixture.h"
#include "harness/plugin.h"
#include "harness/stress.h"

namespace fs = std::filesystem;

namespace {

using testing_support::scratch_path;

struct OrvanePath {
    static const char* path() { return ORVANE_PATH; }
};

class Orvane : public testing_support::LoadedPlugin<OrvanePath> {
public:  // also used by the helpers that several rows' suites share
    static std::string write_file(const std::string& name, const std::string& bytes) {
        const fs::path path = fs::temp_directory_path() / ("orvane-test-" + name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // Calls a data function with three string arguments on a chart whose
    // close series ends at `chart_last`.
    static harness::CallResult call(const char* function, std::vector<std::string> strings,
                                    int32_t chart_last = 1000) {
        harness::CallSpec call;
        call.close = {std::vector<float>(static_cast<std::size_t>(std::max(chart_last + 1, 0)), 1.0f),
                      0, chart_last};
        call.strings = std::move(strings);
        call.result_fill = testing_support::kUnwritten;
        const harness::CallResult r = harness::call_function(plugin_->find(function)->calc, call);
        EXPECT_TRUE(r.violations.empty()) << r.violations.front();
        return r;
    }

    static std::vector<float> values(const harness::CallResult& r) {
        std::vector<float> out;
        for (int32_t i = r.first; i <= r.last; ++i) out.push_back(r.values[static_cast<std::size_t>(i)]);
        return out;
    }
};

// Each catalogue row's own tests run in a suite named as its export.
using GetPriceData = Orvane;
using GetVolumeData = Orvane;
using GetYieldData = Orvane;
using wsGetPriceData = Orvane;
using wsGetVolumeData = Orvane;
using wsGetYieldData = Orvane;

// --- catalogue --------------------------------------------------------------------

TEST_F(Orvane, Catalogue) {
    EXPECT_EQ(plugin_->version(), 1);
    ASSERT_EQ(plugin_->functions().size(), 6u);
    const char* names[] = {"GetPriceData",   "GetVolumeData",   "GetYieldData",
                           "wsGetPriceData", "wsGetVolumeData", "wsGetYieldData"};
    for (std::size_t i = 0; i < 6; ++i) {
        const harness::FunctionInfo& f = plugin_->functions()[i];
        EXPECT_EQ(f.name, names[i]);
        EXPECT_NE(f.calc, nullptr);
        EXPECT_EQ(f.args.size(), i < 3 ? 3u : 2u);
        for (const harness::ArgInfo& a : f.args) EXPECT_EQ(a.type, msx::kArgString);
    }
    EXPECT_EQ(plugin_->functions()[3].description, "Retrieves price data from ORVANE Web Service");
    EXPECT_EQ(plugin_->functions()[3].args[0].name, "Beginning Date");
    EXPECT_EQ(plugin_->functions()[0].args[0].name, "Filename and location");
}

TEST_F(Orvane, CatalogueQuirks) {
    struct Row {
        int32_t func, arg;
        const char* name;  // null: nothing but the count written
    } rows[] = {{3, 0, "Beginning Date"}, {3, 2, nullptr}, {0, 2, "Ending Date"},
                {6, 0, nullptr},          {-1, 0, nullptr}, {2, 3, nullptr}};
    for (const Row& r : rows) {
        MSXFuncArgDef def;
        std::memset(&def, 0xCD, sizeof def);
        EXPECT_EQ(plugin_->nth_arg()(r.func, r.arg, &def), 0);  // never fails
        EXPECT_EQ(def.iNCustomStrings, 0);
        if (r.name != nullptr) {
            EXPECT_STREQ(def.szArgName, r.name);
        } else {
            EXPECT_EQ(def.iArgType, static_cast<int32_t>(0xCDCDCDCD));
        }
    }
    for (int32_t index : {6, -1}) {
        MSXFuncDef def;
        std::memset(&def, 0xCD, sizeof def);
        EXPECT_EQ(plugin_->nth_function()(index, &def), 1);
        EXPECT_EQ(static_cast<unsigned char>(def.szFunctionName[0]), 0xCD);
    }
    using DllMainFn = int32_t(MSX_STDCALL*)(void*, uint32_t, void*);
    const auto dll_main = plugin_->library().function<DllMainFn>("DLLMAIN");
    ASSERT_NE(dll_main, nullptr);
    const struct { uint32_t reason; int32_t result; } reasons[] = {{0, 1}, {1, 1}, {2, 0}, {3, 0}, {99, 0}};
    for (const auto& c : reasons) EXPECT_EQ(dll_main(nullptr, c.reason, nullptr), c.result);
}

// The web-service variants answer "function not supported" to any call,
// with or without records and arguments.
void expect_not_supported(const char* function) {
    for (const std::vector<std::string>& strings :
         {std::vector<std::string>{"1/1/2010", "1/2/2010"}, std::vector<std::string>{}}) {
        const harness::CallResult r = Orvane::call(function, strings);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.message, "function not supported");
    }
}

TEST_F(wsGetPriceData, NotSupported) { expect_not_supported("wsGetPriceData"); }
TEST_F(wsGetVolumeData, NotSupported) { expect_not_supported("wsGetVolumeData"); }
TEST_F(wsGetYieldData, NotSupported) { expect_not_supported("wsGetYieldData"); }

// --- selection --------------------------------------------------------------------

const char kFourRows[] =
    "1/4/2010,10,100\n1/5/2010,11,110\n1/6/2010,12,120\n1/7/2010,13,130\n";

struct SelectionCase {
    const char* name;
    const char* file;
    const char* function;
    const char* begin;
    const char* end;
    std::vector<float> expected;
};

const SelectionCase kSelectionCases[] = {
        {"range of two", kFourRows, "GetPriceData", "1/5/2010", "1/6/2010", {11, 12}},
        // The stop search starts after the start row.
        {"same day, price", kFourRows, "GetPriceData", "1/5/2010", "1/5/2010", {11, 12}},
        {"volumes", kFourRows, "GetVolumeData", "1/5/2010", "1/6/2010", {110, 120}},
        {"end between rows includes the next", kFourRows, "GetPriceData", "1/4/2010",
         "1/5/2010 ", {10, 11}},
        {"end after the last row", kFourRows, "GetPriceData", "1/6/2010", "12/31/2010", {12, 13}},
        {"begin after the last row starts at row 0", kFourRows, "GetPriceData", "2/1/2010",
         "1/5/2010", {10, 11}},
        {"leading zeros and blanks", kFourRows, "GetPriceData", "01/05/2010", " 1/ 6/2010",
         {11, 12}},
        {"heading line is not the start", "Date,Price,Volume\n1/4/2010,10,100\n1/5/2010,11,110\n",
         "GetPriceData", "1/4/2010", "1/5/2010", {10, 11}},
        // No row reaches the beginning date: start at row 0, the heading (price 0).
        {"heading line as the start", "Date,Price,Volume\n1/4/2010,10,100\n", "GetPriceData",
         "6/1/2010", "6/2/2010", {0, 10}},
        {"empty field moves the volume forward", "1/4/2010,,1500\n1/5/2010,2,3\n", "GetPriceData",
         "1/4/2010", "1/4/2010", {1500, 2}},
        {"no volume field gives 0", "1/4/2010,,1500\n1/5/2010,2,3\n", "GetVolumeData", "1/4/2010",
         "1/5/2010", {0, 3}},
        // A two-digit year keys as 100104, before every four-digit year.
        {"two-digit year sorts first", "1/4/10,5,5\n1/5/2010,6,6\n1/6/2010,7,7\n", "GetPriceData",
         "1/1/2010", "1/5/2010", {6, 7}},
        // An unparsable date in the start search takes the beginning date's
        // numbers and so counts as reaching it.
        {"unparsable date reaches the beginning", "1/4/2010,1,1\nxx,2,2\n1/9/2010,3,3\n",
         "GetPriceData", "1/6/2010", "1/9/2010", {2, 3}},
        {"atof numbers", "1/4/2010, 12.5e1abc,0x10\n", "GetPriceData", "1/4/2010", "1/4/2010",
         {125}},
        {"hex volume", "1/4/2010, 12.5e1abc,0x10\n", "GetVolumeData", "1/4/2010", "1/4/2010",
         {16}},
        {"crlf", "1/4/2010,1,1\r\n1/5/2010,2,2\r\n", "GetPriceData", "1/5/2010", "1/5/2010", {2}},
        {"no final line break", "1/4/2010,1,1\n1/5/2010,2,2", "GetPriceData", "1/5/2010",
         "1/5/2010", {2}},
        {"ctrl-z ends the file", "1/4/2010,1,1\n1/5/2010,2,2\n\x1a" "1/6/2010,3,3\n",
         "GetPriceData", "1/4/2010", "1/9/2010", {1, 2}},
        {"empty file", "", "GetPriceData", "1/4/2010", "1/9/2010", {}},
        {"commas only", ",,,\n", "GetPriceData", "1/4/2010", "1/9/2010", {0}},
};

// Runs the selection cases of `function`.
void expect_selection_rules(const std::string& function) {
    int k = 0;
    for (const SelectionCase& c : kSelectionCases) {
        if (c.function != function) continue;
        SCOPED_TRACE(c.name);
        // Named per function: the suites of the two functions may run at once.
        const std::string path =
            Orvane::write_file("sel-" + function + std::to_string(k++) + ".csv", c.file);
        const harness::CallResult r = Orvane::call(c.function, {path, c.begin, c.end});
        ASSERT_EQ(r.code, 0) << r.message;
        EXPECT_EQ(r.first, 0);
        EXPECT_EQ(Orvane::values(r), c.expected);
    }
    EXPECT_GT(k, 0) << "no selection case for " << function;
}

TEST_F(GetPriceData, SelectionRules) { expect_selection_rules("GetPriceData"); }
TEST_F(GetVolumeData, SelectionRules) { expect_selection_rules("GetVolumeData"); }

TEST_F(GetPriceData, NulBytesInTheMiddleOfAFile) {
    const std::string bytes("1/4/2010,7\0,9\n1/5/2010,8,8\n", 27);
    const std::string path = write_file("nul.csv", bytes);
    const harness::CallResult r = call("GetPriceData", {path, "1/4/2010", "1/5/2010"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(values(r), (std::vector<float>{7, 8}));
}

TEST_F(GetYieldData, StopSearchStartsAtTheStartRow) {
    // The yield reader's path and dates are fixed; the same rule is checked
    // on the reader directly.
    std::vector<orvane::Row> rows(4);
    const char* dates[] = {"1/4/2010", "1/5/2010", "1/6/2010", "1/7/2010"};
    for (std::size_t i = 0; i < 4; ++i) std::strcpy(rows[i].date_text, dates[i]);
    int64_t start = 0;
    EXPECT_EQ(orvane::select_rows(rows, "1/5/2010", "1/5/2010", true, &start), 1);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(orvane::select_rows(rows, "1/5/2010", "1/5/2010", false, &start), 2);
}

TEST_F(GetPriceData, ChartLengthCapsTheCount) {
    std::string file;
    for (int d = 1; d <= 80; ++d) file += "1/" + std::to_string(d % 28 + 1) + "/" + std::to_string(2000 + d) + "," + std::to_string(d) + ",1\n";
    const std::string path = write_file("cap.csv", file);
    harness::CallResult r = call("GetPriceData", {path, "1/1/1990", "1/1/2200"}, 50);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 49);
    EXPECT_EQ(r.values[49], 50.0f);
    EXPECT_TRUE(testing_support::same_bits(r.values[50], testing_support::kUnwritten));
    // A chart with no bars gives an empty result, never a last index below -1.
    r = call("GetPriceData", {path, "1/1/1990", "1/1/2200"}, -1);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, -1);
}

TEST_F(Orvane, LongLinesBecomeSeveralRows) {
    // 79 characters per chunk: the continuation's first field is the text
    // after the 79th character.
    const std::string line = "1/4/2010,5," + std::string(68, '7') + "8,1/5/2010,9\n";
    const std::string path = write_file("long.csv", line);
    std::vector<orvane::Row> rows;
    ASSERT_EQ(orvane::read_rows(path.c_str(), true, &rows), orvane::ReadStatus::kOk);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_STREQ(rows[1].date_text, "8");
    EXPECT_EQ(rows[1].value1, 1.0);  // atof("1/5/2010") stops at the '/'
}

// --- bad input --------------------------------------------------------------------

// Names that are no regular file: the host gets "file not found" at once,
// never a calculation blocked on a FIFO or pipe without a writer or one that
// reads a device forever.
TEST_F(GetPriceData, NamesThatAreNoFileAreNotFound) {
    std::vector<std::string> names;
#if defined(_WIN32)
    const char* pipe_name = "\\\\.\\pipe\\orvane-test-no-writer";
    HANDLE server = CreateNamedPipeA(pipe_name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                     4, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    names = {pipe_name, "CON", "NUL", "COM1", "\\\\.\\NUL"};
#else
    const std::string fifo = (scratch_path("orvane-test-fifo")).string();
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    names = {fifo, "/dev/zero", "/dev/null", "/dev/stdin"};
#endif
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        auto pending = std::async(std::launch::async, [&] {
            return call("GetPriceData", {name, "1/1/2010", "1/2/2010"});
        });
        ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        const harness::CallResult r = pending.get();
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.message, "file not found");
    }
#if defined(_WIN32)
    CloseHandle(server);
#else
    std::remove(fifo.c_str());
#endif
}

TEST_F(GetPriceData, BadInputGivesDefinedAnswers) {
    const std::string dir = (scratch_path("orvane-test-dir")).string();
    fs::create_directories(dir);
    const std::string garbage = write_file("garbage.bin", std::string("\x00\xff\x01,\x80\n\x00\x00", 9));
    const std::string single = write_file("single.csv", std::string(10 * 1024 * 1024, '1'));
    struct Case {
        const char* name;
        std::vector<std::string> strings;
        int32_t code;
        const char* message;
    } cases[] = {
        {"missing file", {"/no/such/orvane.csv", "1/1/2010", "1/2/2010"}, 1, "file not found"},
        {"directory", {dir, "1/1/2010", "1/2/2010"}, 1, "file not found"},
        {"path too long", {std::string(300, 'a'), "1/1/2010", "1/2/2010"}, 1,
         "file name longer than 254 characters"},
        {"no strings", {}, 1, "need the file name, the beginning date and the ending date"},
        {"garbage", {garbage, "1/1/2010", "1/2/2010"}, 0, ""},
        {"10 MB single line", {single, "1/1/2010", "1/2/2010"}, 0, ""},
        {"odd dates", {garbage, "13/45/2010", ""}, 0, ""},
        {"odd dates 2", {garbage, " 1/ 4/2010", "1/4/10"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const harness::CallResult r = call("GetPriceData", c.strings);
        EXPECT_EQ(r.code, c.code);
        if (c.code == 1) {
            EXPECT_EQ(r.message, c.message);
            // A failed call leaves the host's result series alone.
            EXPECT_EQ(r.first, 1234);
        }
    }
    std::vector<orvane::Row> rows;
    ASSERT_EQ(orvane::read_rows(single.c_str(), true, &rows), orvane::ReadStatus::kOk);
    EXPECT_EQ(rows.size(), (10u * 1024 * 1024 + 78) / 79);
}

TEST_F(GetYieldData, FileAndDatesAreFixed) {
    // Whatever the arguments, the fixed path is read; here it does not exist.
    const harness::CallResult r = call("GetYieldData", {"/tmp/x.csv", "1/1/2000", "1/1/2001"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.message, "file not found");
#if defined(_WIN32)
    // Under Windows (Wine in the win64 lane) the fixed file is
    // c:\temp\orvaney.csv, read for 2010 whatever the arguments: from the
    // first row on or after 1/1/2010 to the first on or after 12/31/2010.
    CreateDirectoryA("c:\\temp", nullptr);
    const char* yield_path = "c:\\temp\\orvaney.csv";
    std::ofstream(yield_path, std::ios::binary | std::ios::trunc)
        << "Date,Yield\n12/31/2009,1.5\n1/4/2010,2.25\n6/1/2010,2.5\n12/31/2010,2.75\n"
           "1/3/2011,3\n";
    const harness::CallResult y = call("GetYieldData", {"/tmp/x.csv", "1/1/2000", "1/1/2001"});
    std::remove(yield_path);
    ASSERT_EQ(y.code, 0) << y.message;
    EXPECT_EQ(values(y), (std::vector<float>{2.25f, 2.5f, 2.75f}));
#endif
}

TEST_F(Orvane, StressIsClean) {
    std::ostringstream out;
    std::vector<harness::StressReport> reports;
    EXPECT_TRUE(harness::run_stress(*plugin_, out, &reports)) << out.str();
}

// --- one read against the literal two-pass reading ---------------------------------

std::string random_file(std::mt19937& gen) {
    std::uniform_int_distribution<int> pick(0, 99);
    const char* fragments[] = {"Date,Price,Volume", "abc", "", " 1/ 4/2010", "1/4/10", "13/45/2010",
                               "2/30/2011", "1/5", "/", "-1/-2/-3", "+3/4/2011"};
    const char* numbers[] = {"12.5", " 7", "", "0x1f", "1e400", "-1e-400", "1e-310", "inf", "-nan",
                             "abc", "3.", ".5e2", "+4", "--4", "12,34", "0x", "1.5e", "007"};
    std::string out;
    const int lines = 1 + pick(gen) % 60;
    int year = 2008;
    for (int l = 0; l < lines; ++l) {
        const int kind = pick(gen);
        std::string line;
        if (kind < 60) {
            year += pick(gen) % 2;
            line = std::to_string(1 + pick(gen) % 12) + "/" + std::to_string(1 + pick(gen) % 28) +
                   "/" + std::to_string(year) + "," + numbers[pick(gen) % 18] + "," +
                   numbers[pick(gen) % 18];
        } else if (kind < 75) {
            line = std::string(fragments[pick(gen) % 11]) + ",,," + numbers[pick(gen) % 18];
        } else if (kind < 85) {
            line = std::string(static_cast<std::size_t>(70 + pick(gen) % 100), 'x');
            line[static_cast<std::size_t>(pick(gen) % 60)] = ',';
        } else if (kind < 90) {
            line = std::string(static_cast<std::size_t>(76 + pick(gen) % 6), '5');  // 76..81
        } else if (kind < 95) {
            line = ",,,";
        } else {
            line = std::string("1/1/2010,\r1,") + "\x01";
        }
        out += line;
        if (l + 1 < lines || pick(gen) % 2) out += pick(gen) % 3 == 0 ? "\r\n" : "\n";
    }
    if (pick(gen) % 10 == 0) out += "\x1a" "1/1/2030,9,9\n";
    return out;
}

bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b) &&
                                                  std::signbit(a) == std::signbit(b));
}

// read_rows against the literal read_rows_ref on the file at `path`: the
// same rows, bit for bit. `fast` gets read_rows' rows.
::testing::AssertionResult reads_as_literal(const fs::path& path, bool with_volume,
                                            std::vector<orvane::Row>* fast) {
    std::vector<orvane::Row> slow;
    if (orvane::read_rows(path.string().c_str(), with_volume, fast) != orvane::ReadStatus::kOk ||
        orvane::read_rows_ref(path.string().c_str(), with_volume, &slow) != orvane::ReadStatus::kOk)
        return ::testing::AssertionFailure() << "not read";
    if (fast->size() != slow.size())
        return ::testing::AssertionFailure() << fast->size() << " rows, literally " << slow.size();
    for (std::size_t i = 0; i < slow.size(); ++i) {
        const orvane::Row &a = (*fast)[i], &b = slow[i];
        if (std::strcmp(a.date_text, b.date_text) != 0 || !same(a.value1, b.value1) ||
            !same(a.value2, b.value2))
            return ::testing::AssertionFailure()
                   << "row " << i << ": \"" << a.date_text << "\" " << a.value1 << " " << a.value2
                   << ", literally \"" << b.date_text << "\" " << b.value1 << " " << b.value2;
    }
    return ::testing::AssertionSuccess();
}

TEST(OrvaneReader, OneReadMatchesTheLiteralTwoPassReading) {
    std::mt19937 gen(2010);
    const char* bounds[] = {"1/1/2008", "6/15/2009", "12/31/2010", "1/1/2030", "", "x", "2/3",
                            "1/4/10", "13/45/2010", " 1/ 4/2010"};
    const fs::path raw = scratch_path("orvane-diff-raw.csv");
    for (int iteration = 0; iteration < 400; ++iteration) {
        std::ofstream(raw, std::ios::binary) << random_file(gen);
        for (bool with_volume : {true, false}) {
            std::vector<orvane::Row> fast;
            ASSERT_TRUE(reads_as_literal(raw, with_volume, &fast)) << iteration;
            for (const char* b : bounds) {
                for (const char* e : bounds) {
                    int64_t start = 0;
                    const int64_t n = orvane::select_rows(fast, b, e, !with_volume, &start);
                    int64_t literal_start = 0;
                    const int64_t literal = orvane::select_rows_ref(fast, b, e, !with_volume, &literal_start);
                    ASSERT_EQ(n, literal) << iteration << " " << b << " " << e;
                    ASSERT_EQ(start, literal_start) << iteration << " " << b << " " << e;
                }
            }
        }
    }
}

// Numbers and dates at the edges of the reader's fast paths: digit runs of
// 0 to 17 characters before and after a dot (the plain decimal stops at 15
// digits), what may follow a number, dates of every digit count around the
// short m/d/yyyy form, and fields cut by the end of a 79-character chunk.
// Expected values: the literal reading of the same text.
TEST(OrvaneReader, FastPathEdgesMatchTheLiteralReading) {
    std::vector<std::string> numbers;
    for (int whole = 0; whole <= 17; ++whole) {
        for (int decimals = -1; decimals <= 17; ++decimals) {  // -1: no dot
            std::string n;
            for (int k = 0; k < whole; ++k) n += static_cast<char>('1' + (k * 7 + decimals + 9) % 9);
            if (decimals >= 0) n += '.';
            for (int k = 0; k < decimals; ++k) n += static_cast<char>('0' + (k * 3 + whole) % 10);
            numbers.push_back(n);
        }
    }
    const char* forms[] = {"99999999", "99999999.99999999", "0.30000000000000004", "-12.5", " +7.25",
                           "12.5e3", "12.5x", "12.5n", "3.", ".", "-.", "1.5e", "0x1.8p1",
                           "00000000000000001", "1234567890123456.5"};
    numbers.insert(numbers.end(), std::begin(forms), std::end(forms));
    const char* dates[] = {"1/4/2010", "12/31/2010", "1/31/2010", "12/4/2010", "123/4/2010",
                           "1/234/2010", "1/4/20100", "1/4/201", "01/04/2010", "1/4/2010 ",
                           "1//2010", "/4/2010", "1/4/", "a/4/2010", "1/4/2010x", "1/1/1000"};
    std::string file;
    // Every number again as the value of the usual row (short date, one
    // comma, the value last), which the one pass reads by its own route.
    std::string usual;
    std::size_t d = 0;
    for (const std::string& n : numbers) {
        // The same number as price and volume, then pushed toward the end of
        // the line's first chunk by padding in the volume field.
        file += std::string(dates[d++ % std::size(dates)]) + "," + n + "," + n + "\n";
        const std::size_t pad = (79 - std::min<std::size_t>(79, n.size() + 12)) % 79;
        file += "1/4/2010," + std::string(pad, ' ') + n + "," + n + "\r\n";
        usual += "1/4/2010," + n + (d % 2 != 0 ? "\n" : "\r\n");
    }
    {
        // Each usual row's value, through the one pass (no row reaches the
        // end bound, so every row is selected), bit for bit as read_rows
        // reads it.
        const fs::path path = scratch_path("orvane-window-usual.csv");
        std::ofstream(path, std::ios::binary) << usual;
        std::vector<orvane::Row> rows;
        ASSERT_EQ(orvane::read_rows(path.string().c_str(), false, &rows), orvane::ReadStatus::kOk);
        std::vector<float> one(rows.size() + 1, -7.0f);
        int64_t count = 0;
        ASSERT_EQ(orvane::read_selection(path.string().c_str(), true, "1/1/2010", "1/1/9999", false, false,
                                         static_cast<int64_t>(one.size()), one.data(), &count),
                  orvane::ReadStatus::kOk);
        ASSERT_EQ(count, static_cast<int64_t>(rows.size()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            ASSERT_TRUE(same(one[i], static_cast<float>(rows[i].value1))) << "usual row " << i;
    }
    const fs::path raw = scratch_path("orvane-window-raw.csv");
    std::ofstream(raw, std::ios::binary) << file;
    for (bool with_volume : {true, false}) {
        std::vector<orvane::Row> fast;
        ASSERT_TRUE(reads_as_literal(raw, with_volume, &fast));
        // The one pass reads the same dates (bounds next to the short-form
        // dates above) and values.
        const char* bounds[] = {"1/1/1990", "1/4/2010", "1/5/2010", "12/4/2010", "12/31/2010",
                                "1/31/2010", "1/1/2011", "1/1/1000"};
        for (const char* b : bounds) {
            for (const char* e : bounds) {
                std::vector<float> one(fast.size() + 1, 0.0f);
                int64_t count = 0;
                const orvane::ReadStatus status = orvane::read_selection(
                    raw.string().c_str(), with_volume, b, e, !with_volume, false,
                    static_cast<int64_t>(fast.size()), one.data(), &count);
                int64_t start = 0;
                const int64_t expected = orvane::select_rows(fast, b, e, !with_volume, &start);
                if (status == orvane::ReadStatus::kNoStart) {
                    EXPECT_EQ(start, 0) << b << " " << e;  // no row reaches the beginning
                    continue;
                }
                ASSERT_EQ(status, orvane::ReadStatus::kOk);
                ASSERT_EQ(count, expected) << b << " " << e;
                for (int64_t i = 0; i < count; ++i)
                    ASSERT_TRUE(same(one[static_cast<std::size_t>(i)],
                                     static_cast<float>(fast[static_cast<std::size_t>(start + i)].value1)))
                        << b << " " << e << " row " << start + i;
            }
        }
    }
}

// Every date the one pass reads by its own route (the short shape, its key
// as a number) selects as the literal reading of its text does: each date
// as a row, against bounds next to it. Row 0 is no date, so its key ("00000",
// the numbers left at 0) reaches none of these bounds (an empty bound would
// leave them so too, and be reached): the literal selection starts at row 1
// when the date reaches the bound, and has no start otherwise (the one pass
// then answers kNoStart).
TEST(OrvaneReader, ShortDatesSelectAsTheirText) {
    const char* dates[] = {
        // The four short shapes: month and day of one or two digits.
        "1/4/2010", "1/14/2010", "12/4/2010", "12/14/2010",
        // Years at the ends of the 8-digit keys, and just below them (a
        // 7-digit key that compares as text: "9991231" after "19900101").
        "1/1/1000", "12/31/9999", "12/31/0999", "1/1/0000",
        // Near misses that the general reading takes: digit counts around
        // the short shape, zeros, a blank, a sign.
        "1/4/201", "1/4/20100", "123/4/2010", "1/234/2010", "01/04/2010", "1/04/2010",
        "001/4/2010", " 1/4/2010", "1/ 4/2010", "+1/4/2010", "1/4/+010", "1/4/2010 ",
        // A third slash where the short shape has a year digit.
        "1/4/20/0", "1/14/201/", "12/4/2/10"};
    const char* bounds[] = {"1/3/2010",  "1/4/2010",   "1/5/2010", "1/13/2010", "12/15/2010", "1/1/1990",
                            "1/1/1000",  "12/31/9999", "1/1/999",  "12/31/999", "1/4/201",    "1/4/20100",
                            "1/1/0",     "13/4/2010",  "1/4/2009", "1/4/2011",  "1/4",        "6/1/2010",
                            "12/13/2010"};
    const fs::path raw = scratch_path("orvane-short-dates.csv");
    for (const char* date : dates) {
        std::ofstream(raw, std::ios::binary) << "zzz,0\n" << date << ",1\n" << date << ",2\n";
        std::vector<orvane::Row> rows;
        ASSERT_EQ(orvane::read_rows(raw.string().c_str(), true, &rows), orvane::ReadStatus::kOk);
        for (const char* bound : bounds) {
            for (bool from_start : {false, true}) {  // where the end search starts
                int64_t start = 0;
                const int64_t selected = orvane::select_rows(rows, bound, bound, from_start, &start);
                int64_t literal_start = 0;
                ASSERT_EQ(orvane::select_rows_ref(rows, bound, bound, from_start, &literal_start), selected)
                    << date << " against " << bound;
                ASSERT_EQ(literal_start, start) << date << " against " << bound;
                float out[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
                int64_t count = 0;
                const orvane::ReadStatus status = orvane::read_selection(
                    raw.string().c_str(), true, bound, bound, from_start, false, 4, out, &count);
                if (start == 0) {
                    EXPECT_EQ(status, orvane::ReadStatus::kNoStart) << date << " against " << bound;
                    continue;
                }
                ASSERT_EQ(start, 1) << date << " against " << bound;
                EXPECT_EQ(status, orvane::ReadStatus::kOk) << date << " against " << bound;
                EXPECT_EQ(count, selected) << date << " against " << bound << " " << from_start;
                EXPECT_EQ(out[0], 1.0f) << date << " against " << bound;
            }
        }
    }
}

// A row whose date text sets only some of the numbers takes the others from
// the shared state, which the last bound compared has left in it, also when
// the rows before were read by their keys alone. Each case's literal
// reading is worked out below; the one pass must give it.
TEST(OrvaneReader, OnePassKeepsTheSharedDateState) {
    const std::string rows_2010 = "1/4/2010,1\n7/1,2\n1/5/2010,3\n";
    struct Case {
        std::string text;
        const char* begin;
        const char* end;
        bool from_start;
        int64_t count;
        float first;
    } cases[] = {
        // Row 0 starts (20100104 >= 20090101), leaving begin's numbers. Row 1
        // "7/1" takes begin's year: 20090701 >= 20090601 ends it. (Year 0
        // instead would reach no bound, and row 2 would end it: count 3.)
        {rows_2010, "1/1/2009", "6/1/2009", false, 2, 1.0f},
        // The end search starts at row 0 (20100104 < 20100601), leaving end's
        // numbers: row 1 is 20100701 and ends it.
        {rows_2010, "1/1/2009", "6/1/2010", true, 2, 1.0f},
        // Row 0 does not start (20080104 < 20080601); row 1 takes begin's
        // year, 20080701, and starts; row 2 (20100105 < 20110101) does not
        // end it: rows 1 and 2.
        {"1/4/2008,1\n7/1,2\n1/5/2010,3\n", "6/1/2008", "1/1/2011", false, 2, 2.0f},
    };
    const fs::path raw = scratch_path("orvane-shared-state.csv");
    for (const Case& c : cases) {
        std::ofstream(raw, std::ios::binary) << c.text;
        std::vector<orvane::Row> rows;
        ASSERT_EQ(orvane::read_rows(raw.string().c_str(), true, &rows), orvane::ReadStatus::kOk);
        int64_t start = 0;
        EXPECT_EQ(orvane::select_rows(rows, c.begin, c.end, c.from_start, &start), c.count) << c.begin;
        EXPECT_EQ(orvane::select_rows_ref(rows, c.begin, c.end, c.from_start, &start), c.count) << c.begin;
        float out[4] = {};
        int64_t count = 0;
        ASSERT_EQ(orvane::read_selection(raw.string().c_str(), true, c.begin, c.end, c.from_start, false, 4,
                                         out, &count),
                  orvane::ReadStatus::kOk);
        EXPECT_EQ(count, c.count) << c.begin << " " << c.end;
        EXPECT_EQ(out[0], c.first) << c.begin << " " << c.end;
    }
}

// Both readings across the reader's 1 MB blocks: usual rows of 17 bytes
// after a first line of 10 to 26 bytes, so that the first block ends at
// every place in a row once (between the carriage return and the line feed,
// inside the date, inside the value, ...); where it ends just before a row,
// an empty line starts the second block. Expected: the literal reading.
TEST(OrvaneReader, OnePassAcrossBlocks) {
    constexpr std::size_t kBlock = 1 << 20;
    const fs::path raw = scratch_path("orvane-blocks-raw.csv");
    for (std::size_t first = 10; first <= 26; ++first) {
        std::string text = std::string(first - 1, 'x') + "\n";
        for (int i = 0; text.size() < kBlock + 4096; ++i) {
            if (text.size() == kBlock) text += "\n";
            text += "1/4/2010," + std::to_string(100 + i % 900) + ".25\r\n";  // 9 + 6 + 2 bytes
        }
        std::ofstream(raw, std::ios::binary) << text;
        std::vector<orvane::Row> rows;
        ASSERT_TRUE(reads_as_literal(raw, true, &rows)) << "first line of " << first << " bytes";
        int64_t start = 0;
        const int64_t selected = orvane::select_rows(rows, "1/1/2000", "1/1/9999", false, &start);
        ASSERT_EQ(start, 1);
        std::vector<float> out(rows.size(), -7.0f);
        int64_t count = 0;
        ASSERT_EQ(orvane::read_selection(raw.string().c_str(), true, "1/1/2000", "1/1/9999", false, false,
                                         static_cast<int64_t>(out.size()), out.data(), &count),
                  orvane::ReadStatus::kOk);
        ASSERT_EQ(count, selected) << "first line of " << first << " bytes";
        for (int64_t i = 0; i < count; ++i)
            ASSERT_TRUE(same(out[static_cast<std::size_t>(i)],
                             static_cast<float>(rows[static_cast<std::size_t>(start + i)].value1)))
                << "first line of " << first << " bytes, row " << start + i;
    }
}

// The one-pass loader against the two passes it replaces, on the same
// random files and bounds, for caps below, at and above the selection.
TEST(OrvaneReader, OnePassSelectionMatchesReadAndSelect) {
    std::mt19937 gen(2027);
    const char* bounds[] = {"1/1/2008", "6/15/2009", "12/31/2010", "1/1/2030", "", "x", "2/3",
                            "1/4/10", "13/45/2010", " 1/ 4/2010"};
    const fs::path raw = scratch_path("orvane-one-pass.csv");
    int no_start = 0, compared = 0;
    // Each comparison opens the file again, which is slow under Wine: 40
    // files keep the test short there and still cover every path.
    constexpr int kFiles = 40;
    for (int iteration = 0; iteration < kFiles; ++iteration) {
        std::ofstream(raw, std::ios::binary) << random_file(gen);
        for (bool with_volume : {true, false}) {
            std::vector<orvane::Row> rows;
            ASSERT_EQ(orvane::read_rows(raw.string().c_str(), with_volume, &rows), orvane::ReadStatus::kOk);
            for (const char* b : bounds) {
                for (const char* e : bounds) {
                    int64_t start = 0;
                    const int64_t selected = orvane::select_rows(rows, b, e, !with_volume, &start);
                    for (int64_t cap : {int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{3}, int64_t{1000}}) {
                        std::vector<float> out(1000, -7.0f);
                        int64_t count = -1;
                        const bool second = with_volume && cap % 2 != 0;
                        const orvane::ReadStatus status = orvane::read_selection(
                            raw.string().c_str(), with_volume, b, e, !with_volume, second, cap, out.data(), &count);
                        if (status == orvane::ReadStatus::kNoStart) {
                            ++no_start;
                            for (float v : out) ASSERT_EQ(v, -7.0f) << "nothing is written";
                            continue;
                        }
                        ASSERT_EQ(status, orvane::ReadStatus::kOk);
                        const int64_t expected = std::max<int64_t>(0, std::min(selected, cap));
                        ASSERT_EQ(count, expected) << iteration << " " << b << " " << e << " cap " << cap;
                        for (int64_t i = 0; i < count; ++i) {
                            const orvane::Row& row = rows[static_cast<std::size_t>(start + i)];
                            const float want = static_cast<float>(second ? row.value2 : row.value1);
                            ASSERT_EQ(std::memcmp(&out[static_cast<std::size_t>(i)], &want, sizeof want), 0)
                                << iteration << " row " << start + i;
                        }
                        ASSERT_EQ(out[static_cast<std::size_t>(count)], -7.0f) << "nothing past the count";
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 250 * kFiles);
    EXPECT_GT(no_start, 20) << "the files should also exercise the two-pass fallback";
    int64_t count = 0;
    float out[1];
    EXPECT_EQ(orvane::read_selection((scratch_path("no-such-orvane.csv")).string().c_str(),
                                     true, "1/1/2000", "1/1/2001", false, false, 1, out, &count),
              orvane::ReadStatus::kNotFound);
}

// What the loader takes: the selected values in every case, by the one pass
// where it serves and by the two passes where no row reaches the beginning
// or no array is passed (then only the count). Expected: read_rows and
// select_rows.
TEST(OrvaneReader, SelectedValuesMatchReadAndSelect) {
    const std::string rows_2010 = "1/4/2010,1,10\n1/5/2010,2,20\n1/6/2010,3,30\n1/7/2010,4,40\n";
    struct Case {
        const char* what;
        std::string text;
        const char* begin;
        const char* end;
        bool with_volume;
    } cases[] = {
        {"start found", rows_2010, "1/5/2010", "1/6/2010", true},
        {"start found, yield", rows_2010, "1/5/2010", "1/6/2010", false},
        {"no row reaches the start", rows_2010, "1/1/2030", "1/6/2010", true},
        {"no row reaches the start, yield", rows_2010, "1/1/2030", "1/5/2010", false},
        {"no date at all", "x,5,50\ny,6,60\n", "1/1/2010", "1/1/2011", true},
        {"empty file", "", "1/1/2010", "1/1/2011", true},
    };
    const fs::path raw = scratch_path("orvane-selected-values.csv");
    for (const Case& c : cases) {
        std::ofstream(raw, std::ios::binary) << c.text;
        std::vector<orvane::Row> rows;
        ASSERT_EQ(orvane::read_rows(raw.string().c_str(), c.with_volume, &rows), orvane::ReadStatus::kOk);
        int64_t start = 0;
        const int64_t selected = orvane::select_rows(rows, c.begin, c.end, !c.with_volume, &start);
        for (bool second : {false, true}) {
            for (int64_t cap : {int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{1000}}) {
                const std::string where = std::string(c.what) + (second ? ", second" : ", first") +
                                          ", cap " + std::to_string(cap);
                const int64_t expected = std::max<int64_t>(0, std::min(selected, cap));
                std::vector<float> out(8, -7.0f);
                int64_t count = -1;
                ASSERT_EQ(orvane::read_selected_values(raw.string().c_str(), c.with_volume, c.begin, c.end,
                                                       !c.with_volume, second, cap, out.data(), &count),
                          orvane::ReadStatus::kOk)
                    << where;
                ASSERT_EQ(count, expected) << where;
                for (int64_t i = 0; i < 8; ++i) {
                    const float want = i >= count ? -7.0f
                                       : static_cast<float>(second ? rows[static_cast<std::size_t>(start + i)].value2
                                                                   : rows[static_cast<std::size_t>(start + i)].value1);
                    EXPECT_EQ(out[static_cast<std::size_t>(i)], want) << where << ", value " << i;
                }
                count = -1;
                ASSERT_EQ(orvane::read_selected_values(raw.string().c_str(), c.with_volume, c.begin, c.end,
                                                       !c.with_volume, second, cap, nullptr, &count),
                          orvane::ReadStatus::kOk)
                    << where << ", no array";
                EXPECT_EQ(count, expected) << where << ", no array";
            }
        }
    }
    float one[1] = {};
    for (float* out : {static_cast<float*>(nullptr), one}) {
        int64_t count = -1;
        EXPECT_EQ(orvane::read_selected_values(scratch_path("no-such-orvane.csv").string().c_str(), true,
                                               "1/1/2000", "1/1/2001", false, false, 1, out, &count),
                  orvane::ReadStatus::kNotFound);
        EXPECT_EQ(count, 0);
    }
}

TEST(OrvaneReader, CrlfAndLfGiveTheSameRows) {
    const std::string lf = "1/4/2010,1,2\n1/5/2010,3,4\n" + std::string(100, 'z') + "\n";
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const fs::path a = scratch_path("orvane-lf.csv");
    const fs::path b = scratch_path("orvane-crlf.csv");
    std::ofstream(a, std::ios::binary) << lf;
    std::ofstream(b, std::ios::binary) << crlf;
    std::vector<orvane::Row> ra, rb;
    ASSERT_EQ(orvane::read_rows(a.string().c_str(), true, &ra), orvane::ReadStatus::kOk);
    ASSERT_EQ(orvane::read_rows(b.string().c_str(), true, &rb), orvane::ReadStatus::kOk);
    ASSERT_EQ(ra.size(), rb.size());
    for (std::size_t i = 0; i < ra.size(); ++i) {
        EXPECT_STREQ(ra[i].date_text, rb[i].date_text);
        EXPECT_EQ(ra[i].value1, rb[i].value1);
        EXPECT_EQ(ra[i].value2, rb[i].value2);
    }
}

TEST(OrvaneReader, DatePartsAndKeys) {
    struct Case {
        const char* text;
        const char* key;  // from the state 0/0/0
    // The key is "%d%02d%02d" of year, month, day: "1/5" leaves the year 0
    // ("0" + "01" + "05"); a negative number prints its sign within its
    // width ("-3" + "-1" + "-2"); 99999999999 saturates to INT32_MAX.
    } cases[] = {{"1/4/2010", "20100104"}, {"12/31/2010", "20101231"}, {"1/4/10", "100104"},
                 {" 1/ 4/2010", "20100104"}, {"13/45/2010", "20101345"}, {"1/5", "00105"},
                 {"", "00000"}, {"x", "00000"}, {"-1/-2/-3", "-3-1-2"},
                 {"1/4/99999999999", "21474836470104"}};
    for (const Case& c : cases) {
        orvane::DateState s;
        orvane::parse_date(c.text, &s);
        char key[40];
        orvane::format_key(s, key);
        EXPECT_STREQ(key, c.key) << c.text;
    }
}

}  // namespace
