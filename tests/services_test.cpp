// The trading-client services: signal filter, volume colour, counters, time,
// text conversion, debugger output and the per-handle value table.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "msx/boundary.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "msx/boundary.h"
#include "services/globals.h"
#include "services/mql_str.h"
#include "services/sign_filter.h"
#include "services/value_table.h"
#include "signals/signal_codes.h"

namespace {

using barsight::Globals;
namespace services = barsight::services;

// --- signal filter ----------------------------------------------------------

// The pass set as published for the client, typed in independently of the
// library's table.
const std::set<int32_t> kPublishedPassSet = {
    -199, -198, -194, -193, -192, -159, -148, -146, -145, -143, -142, -134, -130, -129, -128,
    -127, -126, -123, -122, -121, -119, -115, -108, -107, -106, -104, -103, -102, -101, -100,
    -97,  -96,  -94,  -92,  -90,  -89,  -86,  -84,  -78,  -76,  -71,  -68,  -67,  -63,  -59,
    -58,  -57,  -55,  -54,  -53,  -52,  -51,  -50,  -49,  -48,  -40,  -38,  -37,  -36,  -34,
    -33,  -32,  -30,  -29,  -28,  -27,  -26,  -25,  -24,  -23,  -22,  -21,  -15,  -14,  -11,
    -10,  -9,   -8,   -7,   -6,   -5,   -2,   -1,   1,    3,    4,    6,    7,    8,    9,
    11,   12,   13,   16,   19,   21,   22,   23,   28,   29,   30,   32,   33,   34,   36,
    43,   44,   45,   49,   51,   52,   53,   54,   56,   57,   63,   70,   74,   76,   77,
    78,   79,   81,   82,   83,   84,   85,   86,   87,   89,   91,   94,   96,   97,   99,
    101,  102,  106,  107,  112,  113,  115,  116,  119,  122,  123,  124,  127,  129,  131,
    132,  133,  134,  135,  137,  143,  144,  146,  147,  198,  199};

// The filter itself, not only the table above: 161 codes pass, 78 positive
// and 83 negative, 46 of them in both signs, all within -1000..1000.
TEST(SignFilter, PublishedSetHasTheStatedShape) {
    ASSERT_EQ(kPublishedPassSet.size(), 161u);
    int passed = 0, positive = 0, negative = 0, both = 0;
    for (int32_t c = -1000; c <= 1000; ++c) {
        if (barsight::sign_filter(c) != c || c == 0) continue;
        ++passed;
        positive += c > 0;
        negative += c < 0;
        both += c > 0 && barsight::sign_filter(-c) == -c;
    }
    EXPECT_EQ(passed, 161);
    EXPECT_EQ(positive, 78);
    EXPECT_EQ(negative, 83);
    EXPECT_EQ(both, 46);
}

TEST(SignFilter, EveryCodeFromMinus300To300AndTheExtremes) {
    std::vector<int32_t> codes = {INT32_MIN, INT32_MIN + 1, -65536, -1000, 1000, 65536,
                                  INT32_MAX - 1, INT32_MAX};
    for (int32_t c = -300; c <= 300; ++c) codes.push_back(c);
    for (int32_t c : codes) {
        const int32_t expected = kPublishedPassSet.count(c) ? c : 0;
        EXPECT_EQ(Globals::SignFilter(c), expected) << c;
        EXPECT_EQ(barsight::sign_filter(c), expected) << c;
    }
}

TEST(SignFilter, AsymmetricCodes) {
    const struct {
        int32_t in, out;
    } cases[] = {{0, 0}, {-2, -2}, {2, 0}, {3, 3}, {-3, 0}, {199, 199}, {-199, -199},
                 {200, 0}, {-200, 0}, {100, 0}, {-99, 0}, {-100, -100}, {198, 198}};
    for (const auto& c : cases) EXPECT_EQ(barsight::sign_filter(c.in), c.out) << c.in;
}

// Every code the engine gives passes the filter unchanged: VSAInd and the
// client show each signal of the table, none silently dropped.
TEST(SignFilter, PassesEveryCodeOfTheEngine) {
    for (const spreadcore::Signal rule : spreadcore::kRuleOrder) EXPECT_EQ(barsight::sign_filter(rule), rule) << rule;
}

// --- volume colour ----------------------------------------------------------

TEST(CalcVolumeColor, RulesInOrderWithNaNInEachPosition) {
    const double n = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double v0, v1, v2, c0, c1;
        int32_t cls;
    } cases[] = {
        {1, 2, 3, 10, 5, 1},   // low volume wins over the falling close
        {2, 2, 3, 5, 6, 2},    // equal to a comparison volume is not lower
        {3, 2, 1, 6, 5, 3},    // volume not the lowest, close up: 3
        {3, 2, 1, 5, 5, 4},    // close unchanged: 4
        {3, 2, 1, 4, 5, 2},    // close down: 2
        {n, 2, 3, 4, 5, 2},    // NaN volume: the closes decide
        {1, n, 3, 6, 5, 3},
        {1, 2, n, 5, 5, 4},
        {3, 2, 1, n, 5, 4},    // NaN close: class 4
        {3, 2, 1, 5, n, 4},
        {1, 2, 3, n, n, 1},    // the volume rule never looks at the closes
        {-0.0, 0.0, 1, 1, 1, 4},
        {-1e308, 1e308, std::numeric_limits<double>::infinity(), 0, 0, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(barsight::volume_color(c.v0, c.v1, c.v2, c.c0, c.c1), c.cls)
            << c.v0 << " " << c.v1 << " " << c.v2 << " " << c.c0 << " " << c.c1;
}

// --- counters -----------------------------------------------------------------

// The counters as the library holds them before any test runs (the
// libraries' own fresh-process values are checked by ClientProcess tests).
const int32_t ref_count_at_start = Globals::refCount.load();
const int32_t id_at_start = Globals::ID.load();

TEST(RefCount, StartsAtZero) { EXPECT_EQ(ref_count_at_start, 0); }

TEST(RefCount, NeverBelowZeroAndWrapsLikeInt32) {
    Globals::refCount.store(0);
    EXPECT_EQ(services::dec_ref_count(), 0);
    EXPECT_EQ(services::get_ref_count(), 0);
    EXPECT_EQ(services::inc_ref_count(), 1);
    EXPECT_EQ(services::inc_ref_count(), 2);
    EXPECT_EQ(services::dec_ref_count(), 1);
    EXPECT_EQ(services::get_ref_count(), 1);
    Globals::refCount.store(INT32_MAX);
    EXPECT_EQ(services::inc_ref_count(), INT32_MIN);
    EXPECT_EQ(services::dec_ref_count(), INT32_MAX);  // INT_MIN - 1 wraps, not below 0
    Globals::refCount.store(0);
}

TEST(UniqueId, StartsAtTenAndWraps) {
    EXPECT_EQ(id_at_start, 10);
    Globals::ID.store(id_at_start);
    EXPECT_EQ(services::get_unique_id(), 10);
    EXPECT_EQ(services::get_unique_id(), 11);
    Globals::ID.store(INT32_MAX);
    EXPECT_EQ(services::get_unique_id(), INT32_MAX);
    EXPECT_EQ(services::get_unique_id(), INT32_MIN);
    Globals::ID.store(10);
}

TEST(Counters, ConcurrentUpdatesAllTakeEffect) {
    Globals::refCount.store(0);
    Globals::ID.store(10);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int k = 0; k < 5000; ++k) {
                services::inc_ref_count();
                services::get_unique_id();
            }
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(services::get_ref_count(), 20000);
    EXPECT_EQ(services::get_unique_id(), 20010);
    Globals::refCount.store(0);
}

// --- time -----------------------------------------------------------------------

int64_t g_fixed_ticks = 0;
int64_t fixed_clock() { return g_fixed_ticks; }

struct FixedClock {
    explicit FixedClock(int64_t ticks) {
        g_fixed_ticks = ticks;
        platform::set_clock_for_testing(&fixed_clock);
    }
    ~FixedClock() { platform::set_clock_for_testing(nullptr); }
};

constexpr int64_t kTicksPerMs = 10000;

TEST(UtcTime, FixedInstants) {
    const struct {
        int64_t ticks;
        const char* text;
        int32_t seconds;
    } cases[] = {
        {1330837567089 * kTicksPerMs, "2012-03-04 05:06:07:089 Z", 1330837567},
        {19000000, "1970-01-01 00:00:01:900 Z", 1},  // 1.9 s: truncated toward zero
        {0, "1970-01-01 00:00:00:000 Z", 0},
        {-19000000, "1969-12-31 23:59:58:100 Z", -1},  // before the epoch, toward zero
        {951782400000 * kTicksPerMs, "2000-02-29 00:00:00:000 Z", 951782400},  // leap day
        {4107542399999 * kTicksPerMs, "2100-02-28 23:59:59:999 Z", INT32_MAX},  // saturates
        {2147483647 * 10000000LL, "2038-01-19 03:14:07:000 Z", INT32_MAX},
        {2147483648 * 10000000LL, "2038-01-19 03:14:08:000 Z", INT32_MAX},
        {-2147483649 * 10000000LL, "1901-12-13 20:45:51:000 Z", INT32_MIN},
    };
    for (const auto& c : cases) {
        FixedClock clock(c.ticks);
        const char* text = services::current_utc_text();
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(std::strlen(text), 25u);
        EXPECT_EQ(text, Globals::ch);
        EXPECT_EQ(services::current_time_utc(), c.seconds) << c.text;
    }
}

TEST(UtcTime, TextPointerSharesTheConversionBuffer) {
    FixedClock clock(1330837567089 * kTicksPerMs);
    const char* text = services::current_utc_text();
    const std::string before = text;
    Globals::convertString(u"something else");
    EXPECT_NE(std::string(text), before);
    EXPECT_STREQ(text, "something else");
}

// --- text conversion ------------------------------------------------------------

TEST(ConvertString, OneBytePerCharacterBelow256) {
    EXPECT_STREQ(Globals::convertString(u"abc"), "abc");
    EXPECT_STREQ(Globals::convertString(u"caf\u00e9"), "caf\xe9");
    EXPECT_STREQ(Globals::convertString(u"\u00ff\u0001"), "\xff\x01");
    EXPECT_STREQ(Globals::convertString(u"price \u20ac"), "");  // U+20AC: whole text empty
    EXPECT_STREQ(Globals::convertString(u"\u0100"), "");
    EXPECT_STREQ(Globals::convertString(u"\U0001F600"), "");    // surrogate pair
    EXPECT_STREQ(Globals::convertString(nullptr), "");
    EXPECT_STREQ(Globals::convertString(u""), "");
}

TEST(ConvertString, LongTextIsCutAt511AndNeverOverflows) {
    std::u16string long_text(600, u'x');
    long_text[510] = u'y';
    long_text[511] = u'z';
    const char* out = Globals::convertString(long_text.c_str());
    EXPECT_EQ(std::strlen(out), 511u);
    EXPECT_EQ(out[510], 'y');
    // A character of 256 or more past the cut does not matter.
    long_text[550] = u'\u20ac';
    EXPECT_EQ(std::strlen(Globals::convertString(long_text.c_str())), 511u);
}

TEST(ConvertChar, NullGivesNoTextAndAsciiRoundTrips) {
    EXPECT_FALSE(Globals::convertChar(static_cast<char*>(nullptr)).has_value());
    EXPECT_FALSE(Globals::convertChar(static_cast<const char*>(nullptr)).has_value());
    EXPECT_FALSE(Globals::convertChar(static_cast<const char16_t*>(nullptr)).has_value());
    char symbol[] = "EURUSD";
    EXPECT_EQ(*Globals::convertChar(symbol), u"EURUSD");
    EXPECT_EQ(*Globals::convertChar(u"\u20ac1"), u"\u20ac1");
    EXPECT_EQ(*Globals::convertChar(""), u"");
    // 0xE9 is U+00E9 in Latin-1 and in the Western ANSI code page alike.
    EXPECT_EQ(*Globals::convertChar("caf\xe9"), u"caf\u00e9");
}

// --- debugger output --------------------------------------------------------------

std::vector<std::string> g_captured;
void capture(const std::string& text) { g_captured.push_back(text); }

struct Capture {
    Capture() {
        g_captured.clear();
        platform::set_debug_output_hook(&capture);
    }
    ~Capture() { platform::set_debug_output_hook(nullptr); }
};

TEST(DebugPrint, TextThenALineBreak) {
    const struct {
        const char* in;
        std::string first;
    } cases[] = {{"abc", "abc"}, {nullptr, ""}, {"", ""}, {"line\n", "line\n"}};
    for (const auto& c : cases) {
        Capture cap;
        services::debug_print(c.in);
        ASSERT_EQ(g_captured.size(), 2u);
        EXPECT_EQ(g_captured[0], c.first);
        EXPECT_EQ(g_captured[1], "\n");
    }
}

TEST(DebugPrint, LongTextIsCutAt511Characters) {
    Capture cap;
    const std::string text(2000, 'q');
    services::debug_print(text.c_str());
    ASSERT_EQ(g_captured.size(), 2u);
    EXPECT_EQ(g_captured[0], std::string(511, 'q'));
}

TEST(DebugOutput, WideTextArrivesAsUtf8) {
    EXPECT_EQ(platform::utf8_from_utf16(u"a\u00e9\u20ac\U0001F600"), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(platform::utf8_from_utf16(u"\xd800x"), "\xef\xbf\xbdx");  // unpaired surrogate
    EXPECT_EQ(platform::utf8_from_utf16(nullptr), "");
}

// --- value table ----------------------------------------------------------------

const char kAddVsa[] = "AddVSAValue: VSA Handle Does Not Exist: Adding It";
const char kAddConf[] = "AddConfValue: VSA Handle Does Not Exist: Adding It";

TEST(ValueTable, StoresReadsAndReportsNewHandlesOnce) {
    Capture cap;
    barsight::tsDataTable table;
    ASSERT_EQ(g_captured, std::vector<std::string>{"Global Data Table Created\n"});
    g_captured.clear();

    EXPECT_EQ(table.GetVSAValue(1, 5), 0);  // never inserts
    EXPECT_EQ(table.AddConfValue(1, 5, 7), 0);
    EXPECT_EQ(table.GetConfValue(1, 5), 7);
    EXPECT_EQ(table.GetVSAValue(1, 5), 0);  // the other value of a new cell is 0
    EXPECT_EQ(table.AddVSAValue(1, 5, 3), 0);
    EXPECT_EQ(table.AddVSAValue(1, 5, 4), 0);  // second set replaces
    EXPECT_EQ(table.GetVSAValue(1, 5), 4);
    EXPECT_EQ(table.GetConfValue(1, 5), 7);
    EXPECT_EQ(g_captured, std::vector<std::string>{kAddConf});

    g_captured.clear();
    table.AddVSAValue(2, INT32_MIN, -1);  // bar numbers at the extremes
    table.AddVSAValue(2, INT32_MAX, 1);
    table.AddVSAValue(2, -3, 9);
    EXPECT_EQ(table.GetVSAValue(2, INT32_MIN), -1);
    EXPECT_EQ(table.GetVSAValue(2, INT32_MAX), 1);
    EXPECT_EQ(table.GetVSAValue(2, -3), 9);
    EXPECT_EQ(table.GetVSAValue(2, 0), 0);
    EXPECT_EQ(g_captured, std::vector<std::string>{kAddVsa});
}

TEST(ValueTable, HandlesOfZeroOrBelowStoreNothing) {
    Capture cap;
    barsight::tsDataTable table;
    g_captured.clear();
    for (int32_t handle : {0, -1, INT32_MIN}) {
        EXPECT_EQ(table.AddVSAValue(handle, 1, 5), 0);
        EXPECT_EQ(table.AddConfValue(handle, 1, 5), 0);
        EXPECT_EQ(table.GetVSAValue(handle, 1), 0);
        EXPECT_EQ(table.GetConfValue(handle, 1), 0);
    }
    EXPECT_EQ(table.handle_count(), 0u);
    EXPECT_TRUE(g_captured.empty());
    // CreateTable accepts them: a table no getter or setter can reach.
    EXPECT_EQ(table.CreateTable(0), 0);
    table.AddVSAValue(0, 1, 5);
    EXPECT_EQ(table.GetVSAValue(0, 1), 0);
    EXPECT_EQ(table.handle_count(), 1u);
}

TEST(ValueTable, CreateTableKeepsValuesAndSilencesTheFirstSet) {
    Capture cap;
    barsight::tsDataTable table;
    g_captured.clear();
    EXPECT_EQ(table.CreateTable(INT32_MAX), 0);
    table.AddVSAValue(INT32_MAX, 1, 11);
    EXPECT_EQ(table.CreateTable(INT32_MAX), 0);
    EXPECT_EQ(table.GetVSAValue(INT32_MAX, 1), 11);
    EXPECT_TRUE(g_captured.empty());
}

TEST(ValueTable, DestructorSequence) {
    const struct {
        std::vector<int32_t> handles;
        std::vector<std::string> expected;
    } cases[] = {
        {{},
         {"Global Data Table Start Destructor\n", "Handle Map Tables Deleted",
          "Global Data Table Destroyed\n"}},
        {{3, 0, 1},
         {"Global Data Table Start Destructor\n", "Delete Table", "Delete Table", "Delete Table",
          "Handle Map Tables Deleted", "Global Data Table Destroyed\n"}},
    };
    for (const auto& c : cases) {
        Capture cap;
        {
            barsight::tsDataTable table;
            for (int32_t h : c.handles) table.CreateTable(h);
            g_captured.clear();
        }
        EXPECT_EQ(g_captured, c.expected);
    }
}

// No other test of this program takes a table identifier.
TEST(TableId, CountsFromOne) {
    EXPECT_EQ(services::next_table_id(), 1);
    EXPECT_EQ(services::next_table_id(), 2);
}

// --- message box --------------------------------------------------------------

std::u16string g_box_text, g_box_caption;
void fake_box(const std::u16string& text, const char16_t* caption) {
    g_box_text = text;
    g_box_caption = caption;
}

TEST(MessageBox, TextAndCaption) {
    platform::set_message_box_hook(&fake_box);
    services::message_box("Stop loss hit");
    EXPECT_EQ(g_box_text, u"Stop loss hit");
    EXPECT_EQ(g_box_caption, u"Barsight VSA Message");
    services::message_box(nullptr);
    EXPECT_EQ(g_box_text, u"");
    platform::set_message_box_hook(nullptr);
}

}  // namespace

// The report policy: what each kind of failure becomes, and the report's text.
namespace report_policy_test {
std::vector<std::string> traced;
void watch(const std::string& text) { traced.push_back(text); }
}  // namespace report_policy_test

TEST(ExportGuard, FailuresBecomeReportsAndFallbacks) {
    struct Case {
        const char* name;
        int thrown;  // 0 none, 1 std::runtime_error("boom"), 2 an int
        msx::Report report;
        bool returned;
        const char* text;  // the report, or null for none
    };
    const Case cases[] = {
        {"no failure", 0, {"ShowDialog: ", ", ShowDialog, BarsightPlugin"}, true, nullptr},
        {"standard, with component", 1, {"ShowDialog: ", ", ShowDialog, BarsightPlugin"}, false,
         "ShowDialog: boom, ShowDialog, BarsightPlugin"},
        {"standard, without", 1, {"SubClassWindow: ", ", SubclassWindow"}, false,
         "SubClassWindow: boom, SubclassWindow"},
        {"other", 2, {"GetFromQueue: ", ", GetFromQueue"}, false,
         "GetFromQueue: unknown failure, GetFromQueue"},
    };
    barsight::set_trace_hook_for_testing(&report_policy_test::watch);
    for (const Case& c : cases) {
        report_policy_test::traced.clear();
        bool returned = false;
        msx::report_or(c.report, [&] {
            if (c.thrown == 1) throw std::runtime_error("boom");
            if (c.thrown == 2) throw 7;
            returned = true;
        });
        EXPECT_EQ(returned, c.returned) << c.name;
        if (c.text == nullptr)
            EXPECT_TRUE(report_policy_test::traced.empty()) << c.name;
        else
            EXPECT_EQ(report_policy_test::traced, std::vector<std::string>{c.text}) << c.name;
        // The form that answers the body's result, or a fallback computed
        // where the failure is known; reported the same way.
        report_policy_test::traced.clear();
        int fallbacks = 0;
        const int32_t answered = msx::report_or<int32_t>(
            c.report,
            [&] {
                ++fallbacks;
                return -9;
            },
            [&]() -> int32_t {
                if (c.thrown == 1) throw std::runtime_error("boom");
                if (c.thrown == 2) throw 7;
                return 4;
            });
        EXPECT_EQ(answered, c.thrown == 0 ? 4 : -9) << c.name;
        EXPECT_EQ(fallbacks, c.thrown == 0 ? 0 : 1) << c.name;
        EXPECT_EQ(report_policy_test::traced.size(), c.text == nullptr ? 0u : 1u) << c.name;
        EXPECT_EQ(msx::report_or<int32_t>(c.report, -2, [&] { return c.thrown == 0 ? 5 : throw 7; }),
                  c.thrown == 0 ? 5 : -2)
            << c.name;
        const int32_t value = msx::value_or<int32_t>(-9, [&] {
            if (c.thrown == 1) throw std::runtime_error("boom");
            if (c.thrown == 2) throw 7;
            return 4;
        });
        EXPECT_EQ(value, c.thrown == 0 ? 4 : -9) << c.name;
    }
    barsight::set_trace_hook_for_testing(nullptr);
}
