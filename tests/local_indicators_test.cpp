// The four local indicators through host-owned, guarded records.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "chart_fixture.h"
#include "boundary/BarsightPlugin_catalogue.h"
#include "indicator/run_calculation.h"
#include "indicator/local_indicators.h"
#include "reference_indicators.h"

namespace {

using harness::ArrayArg;
using harness::CallResult;
using harness::CallSpec;
using testing_support::chart_of;
using testing_support::kUnwritten;
using testing_support::random_chart;
using testing_support::same_bits;
using testing_support::set_numerics;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

CallResult run(msx::Calc fn, const CallSpec& call) {
    CallResult r = harness::call_function(fn, call);
    EXPECT_TRUE(r.violations.empty()) << r.violations.front();
    return r;
}

void expect_failed(const CallResult& r, const std::string& message) {
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, -1);
    for (float v : r.values) EXPECT_TRUE(same_bits(v, kUnwritten));
}

ArrayArg series_arg(std::vector<float> values, int32_t first, int32_t last) {
    ArrayArg a;
    a.series = {std::move(values), first, last};
    return a;
}

// --- validation, in the order each function checks -------------------------

struct ValidationCase {
    const char* name;
    msx::Calc fn;
    std::vector<float> numerics;
    int arrays;  // data-array count (the chart's closes as the array)
    const char* message;
};

TEST(IndicatorValidation, MessagesInOrder) {
    // A chart with f = 0, l = 99.
    const ValidationCase cases[] = {
        {"const no args", &barsight::catalogue::VSAMakeConst, {}, 0, "Need Bar argument"},
        {"const two args", &barsight::catalogue::VSAMakeConst, {1, 2}, 0, "Need Bar argument"},
        {"trend no args", &barsight::catalogue::VSATrend, {}, 0, "Need Periods argument"},
        {"trend two args", &barsight::catalogue::VSATrend, {5, 5}, 0, "Need Periods argument"},
        {"trend periods 0", &barsight::catalogue::VSATrend, {0}, 0, "Periods argument out of range"},
        {"trend periods 0.9", &barsight::catalogue::VSATrend, {0.9f}, 0, "Periods argument out of range"},
        {"trend periods = l", &barsight::catalogue::VSATrend, {99}, 0, "Periods argument out of range"},
        {"trend periods NaN", &barsight::catalogue::VSATrend, {kNaN}, 0, "Periods argument out of range"},
        {"stops no array", &barsight::catalogue::VSAVolStops, {2}, 0,
         "Need Multiplier & ATR(Periods) arguments"},
        {"stops no numeric", &barsight::catalogue::VSAVolStops, {}, 1,
         "Need Multiplier & ATR(Periods) arguments"},
        {"stops two arrays", &barsight::catalogue::VSAVolStops, {2}, 2,
         "Need Multiplier & ATR(Periods) arguments"},
        {"stops multiplier 0", &barsight::catalogue::VSAVolStops, {0}, 1,
         "Multiplier argument out of range"},
        {"stops multiplier 1000.5", &barsight::catalogue::VSAVolStops, {1000.5f}, 1,
         "Multiplier argument out of range"},
        {"stops multiplier -1", &barsight::catalogue::VSAVolStops, {-1}, 1,
         "Multiplier argument out of range"},
        {"stops multiplier NaN", &barsight::catalogue::VSAVolStops, {kNaN}, 1,
         "Multiplier argument out of range"},
        {"spread one arg", &barsight::catalogue::VSASpread, {0}, 0, "Need Mode and Periods argument"},
        {"spread periods before mode", &barsight::catalogue::VSASpread, {5, 0}, 0,
         "Periods argument out of range"},
        {"spread periods = l", &barsight::catalogue::VSASpread, {0, 99}, 0, "Periods argument out of range"},
        {"spread mode -1", &barsight::catalogue::VSASpread, {-1, 10}, 0,
         "Mode must be 0 for volume or 1 for range"},
        {"spread mode 2", &barsight::catalogue::VSASpread, {2, 10}, 0,
         "Mode must be 0 for volume or 1 for range"},
        {"spread mode NaN", &barsight::catalogue::VSASpread, {kNaN, 10}, 0,
         "Mode must be 0 for volume or 1 for range"},
    };
    for (const ValidationCase& c : cases) {
        SCOPED_TRACE(c.name);
        CallSpec call = random_chart(100, 0, 7);
        set_numerics(&call, c.numerics);
        for (int k = 0; k < c.arrays; ++k)
            call.arrays.push_back(series_arg(call.close.values, 0, 99));
        call.array_count = c.arrays;
        expect_failed(run(c.fn, call), c.message);
    }
}

TEST(IndicatorValidation, NullAtrPointerOrValues) {
    for (auto kind : {ArrayArg::Kind::kNullRecord, ArrayArg::Kind::kNullValues}) {
        CallSpec call = random_chart(50, 0, 1);
        set_numerics(&call, {2});
        ArrayArg a;
        a.kind = kind;
        call.arrays = {a};
        call.array_count = 1;
        expect_failed(run(&barsight::catalogue::VSAVolStops, call), "Must pass ATR(Periods) as 2nd argument");
    }
}

TEST(IndicatorValidation, PeriodsBoundComparesWithLastValidIndex) {
    // f = 0, l = 99: 98 is the largest accepted periods, 99 is refused.
    for (msx::Calc fn : {&barsight::catalogue::VSATrend, &barsight::catalogue::VSASpread}) {
        const bool spread = fn == &barsight::catalogue::VSASpread;
        CallSpec call = random_chart(100, 0, 3);
        set_numerics(&call, spread ? std::vector<float>{0, 98} : std::vector<float>{98});
        const CallResult ok = run(fn, call);
        EXPECT_EQ(ok.code, 0);
        EXPECT_EQ(ok.first, 97);
        EXPECT_EQ(ok.last, 99);
        set_numerics(&call, spread ? std::vector<float>{0, 99} : std::vector<float>{99});
        expect_failed(run(fn, call), "Periods argument out of range");
    }
}

TEST(IndicatorValidation, NullRecordsNeverCrash) {
    MSXDataInfoRec series{nullptr, 3, 4};
    MSXResultRec result{&series, {}};
    EXPECT_EQ(barsight::catalogue::VSATrend({nullptr, nullptr, nullptr, nullptr, nullptr, &result}), 1);
    EXPECT_EQ(series.iFirstValid, 0);
    EXPECT_EQ(series.iLastValid, -1);
    EXPECT_STREQ(result.szExtendedError, "No chart data passed");
    EXPECT_EQ(barsight::catalogue::VSASpread({nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}), 1);
    MSXResultRec no_series{nullptr, {}};
    EXPECT_EQ(barsight::catalogue::VSAMakeConst({nullptr, nullptr, nullptr, nullptr, nullptr, &no_series}), 1);
    // Null argument arrays count as no arguments.
    CallSpec call = random_chart(20, 0, 1);
    MSXDataRec data{};
    data.sClose = {call.close.values.data(), 0, 19};
    MSXDataInfoRec out{nullptr, 0, 0};
    MSXResultRec res{&out, {}};
    EXPECT_EQ(barsight::catalogue::VSAMakeConst({&data, nullptr, nullptr, nullptr, nullptr, &res}), 1);
    EXPECT_STREQ(res.szExtendedError, "Need Bar argument");
}

// --- the calculation frame --------------------------------------------------

TEST(CalcFrame, ExceptionsBecomeTheFunctionsErrorText) {
    struct Case {
        std::string what;
        std::string expected;
    } cases[] = {
        {"boom", "Tapeline VSATrend Error: boom"},
        {std::string(200, 'w'), ("Tapeline VSATrend Error: " + std::string(200, 'w')).substr(0, 99)},
    };
    for (const Case& c : cases) {
        float values[4] = {kUnwritten, kUnwritten, kUnwritten, kUnwritten};
        MSXDataInfoRec series{values, 9, 9};
        MSXResultRec result{&series, {}};
        MSXDataRec data{};
        const int32_t code = barsight::run_calculation(
            "VSATrend", {&data, nullptr, nullptr, nullptr, nullptr, &result},
            [&](const msx::CalcArgs& args) -> barsight::CalcOutcome {
                args.series()->pfValue[1] = 5.0f;  // a value already written stays
                throw std::runtime_error(c.what);
            });
        EXPECT_EQ(code, 1);
        EXPECT_EQ(std::string(result.szExtendedError), c.expected);
        EXPECT_EQ(series.iFirstValid, 0);
        EXPECT_EQ(series.iLastValid, -1);
        EXPECT_EQ(values[1], 5.0f);
    }
}

// A calculation takes its name from the row its shim passes (args.name):
// written once, in the catalogue; called without one, it says "calculation".
TEST(CalcFrame, TheNameComesFromTheRow) {
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {{"VSATrend", "Tapeline VSATrend Error: boom"}, {nullptr, "Tapeline calculation Error: boom"}};
    for (const auto& c : cases) {
        MSXDataInfoRec series{nullptr, 9, 9};
        MSXResultRec result{&series, {}};
        MSXDataRec data{};
        const int32_t code = barsight::run_calculation(
            {&data, nullptr, nullptr, nullptr, nullptr, &result, c.name},
            [](const msx::CalcArgs&) -> barsight::CalcOutcome { throw std::runtime_error("boom"); });
        EXPECT_EQ(code, 1);
        EXPECT_STREQ(result.szExtendedError, c.expected);
    }
}

TEST(CalcFrame, NonStandardExceptionsAreCaughtToo) {
    MSXDataInfoRec series{nullptr, 9, 9};
    MSXResultRec result{&series, {}};
    MSXDataRec data{};
    const int32_t code = barsight::run_calculation(
        "VSASpread", {&data, nullptr, nullptr, nullptr, nullptr, &result},
        [](const msx::CalcArgs&) -> barsight::CalcOutcome { throw 42; });
    EXPECT_EQ(code, 1);
    EXPECT_STREQ(result.szExtendedError, "Tapeline VSASpread Error: unknown exception");
}

// --- VSAMakeConst -------------------------------------------------------------

TEST(VSAMakeConst, FillsTheCloseRangeWithTheTruncatedLevel) {
    struct Case {
        float arg;
        float level;
    // Truncation toward zero; NaN has no integer value, and the truncation
    // gives INT32_MIN for it as the x86 conversion (cvttss2si) does.
    } cases[] = {{7.9f, 7.0f}, {-2.5f, -2.0f}, {0.4f, 0.0f}, {kNaN, -2147483648.0f}};
    for (const Case& c : cases) {
        CallSpec call = random_chart(30, 4, 2);
        set_numerics(&call, {c.arg});
        const CallResult r = run(&barsight::catalogue::VSAMakeConst, call);
        ASSERT_EQ(r.code, 0);
        EXPECT_EQ(r.first, 4);
        EXPECT_EQ(r.last, 29);
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(same_bits(r.values[i], kUnwritten));
        for (int i = 4; i < 30; ++i) EXPECT_EQ(r.values[i], c.level) << c.arg;
    }
}

// --- VSATrend -----------------------------------------------------------------

TEST(VSATrend, PeriodOneIsTheTypicalPrice) {
    CallSpec call = random_chart(40, 2, 11);
    set_numerics(&call, {1});
    const CallResult r = run(&barsight::catalogue::VSATrend, call);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 2);
    for (int i = 2; i < 40; ++i) {
        const double tp = (static_cast<double>(call.low.values[i]) + call.high.values[i] +
                           call.close.values[i]) / 3.0;
        EXPECT_TRUE(same_bits(r.values[i], static_cast<float>(tp / 1)));
    }
}

TEST(VSATrend, HandCheckedAverage) {
    // closes 3, 6, 9, 12 with high = close + 1, low = close - 1: the typical
    // price is the close; periods 2.9 truncates to 2, so bar 1 is
    // (6+3)/2 = 4.5 and bar 3 is (12+9)/2 = 10.5.
    CallSpec call = chart_of({3, 6, 9, 12});
    set_numerics(&call, {2.9f});  // truncates to 2
    CallResult r = run(&barsight::catalogue::VSATrend, call);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(r.values[1], 4.5f);
    EXPECT_EQ(r.values[3], 10.5f);
    EXPECT_TRUE(same_bits(r.values[0], kUnwritten));
}

TEST(VSATrend, TooFewBarsAfterFirstGivesAnEmptyResultAndWritesNothing) {
    CallSpec call = random_chart(61, 50, 5);  // f = 50, l = 60
    set_numerics(&call, {20});
    const CallResult r = run(&barsight::catalogue::VSATrend, call);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.first, 69);
    EXPECT_EQ(r.last, 60);
    for (float v : r.values) EXPECT_TRUE(same_bits(v, kUnwritten));
}

// The fast window sums must equal the literal per-window loop bit for bit,
// across block edges (64 bars, 64 terms) and chart offsets.
TEST(VSATrend, BitIdenticalToThePerWindowReference) {
    for (int32_t periods : {1, 2, 3, 63, 64, 65, 127, 128, 129, 200, 997}) {
        for (int32_t first : {0, 1, 70}) {
            CallSpec call = random_chart(1500, first, static_cast<uint32_t>(periods * 31 + first));
            set_numerics(&call, {static_cast<float>(periods)});
            const CallResult r = run(&barsight::catalogue::VSATrend, call);
            ASSERT_EQ(r.code, 0);
            std::vector<float> expected(1500, kUnwritten);
            reference::trend(call.high.values.data(), call.low.values.data(),
                             call.close.values.data(), first, 1499, periods, expected.data());
            for (int i = 0; i < 1500; ++i)
                ASSERT_TRUE(same_bits(r.values[i], expected[i]))
                    << "periods " << periods << " first " << first << " bar " << i;
        }
    }
}

TEST(VSATrend, ExtremePricesAreClampedNotInfinite) {
    CallSpec call = chart_of({FLT_MAX, FLT_MAX, FLT_MAX, 1e-45f, 1e-45f});
    call.high.values = call.close.values;
    call.low.values = call.close.values;
    set_numerics(&call, {2});
    const CallResult r = run(&barsight::catalogue::VSATrend, call);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.values[1], FLT_MAX);
    EXPECT_EQ(r.values[2], FLT_MAX);
    EXPECT_EQ(r.values[4], FLT_MIN);  // subnormal average lifted to FLT_MIN
}

// --- VSAVolStops --------------------------------------------------------------

struct StopsCase {
    const char* name;
    std::vector<float> closes;
    float atr;
    float multiplier;
    std::vector<float> expected;
};

TEST(VSAVolStops, StopLineFlipsInTheDefinedOrder) {
    const StopsCase cases[] = {
        // Rising closes: the lower stop rises (close - 2) until the drop to 9
        // breaks it; the line restarts at 9 + 2 = 11, moves down with the
        // upper stop (10), holds, and the close of 12 above it flips back to
        // the lower stop restarted from that bar (12 - 2 = 10), then rises.
        {"break down then up", {10, 11, 12, 9, 8, 9.5f, 12, 13}, 1, 2,
         {8, 9, 10, 11, 10, 10, 10, 11}},
        // From the start both flags are set and the line shows the lower stop;
        // a close above the upper stop restarts the lower stop at that bar.
        {"first break upward", {10, 13}, 1, 1, {9, 12}},
        // A close below the lower stop switches to the upper stop at once.
        {"first break downward", {10, 7}, 1, 1, {9, 8}},
        // Multiplier 1000 is accepted.
        {"multiplier 1000", {10, 10}, 0.001f, 1000, {9, 9}},
    };
    for (const StopsCase& c : cases) {
        SCOPED_TRACE(c.name);
        CallSpec call = chart_of(c.closes);
        set_numerics(&call, {c.multiplier});
        const int32_t last = static_cast<int32_t>(c.closes.size()) - 1;
        call.arrays = {series_arg(std::vector<float>(c.closes.size(), c.atr), 0, last)};
        call.array_count = 1;
        const CallResult r = run(&barsight::catalogue::VSAVolStops, call);
        ASSERT_EQ(r.code, 0) << r.message;
        EXPECT_EQ(r.first, 0);
        EXPECT_EQ(r.last, last);
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_NEAR(r.values[i], c.expected[i], 1e-3) << "bar " << i;
    }
}

TEST(VSAVolStops, AtrRangeOutsideTheChartIsCutToTheOverlap) {
    struct Case {
        const char* name;
        int32_t atr_first, atr_last;
        int32_t first, last;  // expected result range
    } cases[] = {
        {"inside", 3, 7, 3, 7},
        {"past the end", 5, 25, 5, 9},
        {"before the start", 0, 6, 2, 6},
        {"wholly past", 12, 25, 0, -1},
        {"empty", 0, -1, 0, -1},
        {"reversed", 8, 4, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallSpec call = chart_of({10, 11, 12, 13, 14, 15, 16, 17, 18, 19}, 2);
        set_numerics(&call, {2});
        call.arrays = {series_arg(std::vector<float>(30, 1.0f), c.atr_first, c.atr_last)};
        call.array_count = 1;
        const CallResult r = run(&barsight::catalogue::VSAVolStops, call);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.first, c.first);
        EXPECT_EQ(r.last, c.last);
        for (int32_t i = 0; i < 10; ++i) {
            const bool inside = i >= c.first && i <= c.last;
            EXPECT_EQ(same_bits(r.values[i], kUnwritten), !inside) << i;
        }
    }
}

// --- VSASpread ----------------------------------------------------------------

TEST(VSASpread, ClassBoundaries) {
    // average 7 gives unit 2: boundaries at 2, 6, 8, 12 and 14.
    struct Case {
        double v, average;
        int cls;
    } cases[] = {
        {0, 7, 0},         {-3, 7, 0},          {0.0000009, 7, 0}, {0.000001, 7, 1},
        {2, 7, 1},         {2.0000001, 7, 2},   {6, 7, 2},         {6.0000001, 7, 3},
        {8, 7, 3},         {8.0000001, 7, 4},   {12, 7, 4},        {12.0000001, 7, 5},
        {14, 7, 5},        {14.0000001, 7, 6},  {1e30, 7, 6},      {5, 0, 6},
        {std::nan(""), 7, 0}, {5, std::nan(""), 0}, {1, -7, 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(barsight::spread_class(c.v, c.average), c.cls) << c.v << " / " << c.average;
}

TEST(VSASpread, ClassAgreesWithTheRowChainForEveryKindOfValue) {
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0,  -0.0,  1e-7,    0.000001, 1.0,    2.0,      7.0,
                             14.0, -7.0,  1e-300,  1e300,    DBL_MAX, -DBL_MAX, inf,
                             -inf, std::nan(""), 3.5, 4.0, 6.0, FLT_MAX, 1e-45};
    for (double v : values)
        for (double average : values)
            EXPECT_EQ(barsight::spread_class(v, average), reference::spread_class(v, average))
                << v << " / " << average;
}

// The two-bar form used inside VSASpread: each lane must give the scalar
// class, whatever the other lane holds (NaN, infinities, the boundaries).
TEST(VSASpread, PairedClassesAreTheScalarClassesLaneByLane) {
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1e-7, 0.000001, 2.0, 2.0000001, 6.0, 8.0, 12.0, 14.0,
                             14.0000001, 7.0, -7.0, 1e300, inf, -inf, std::nan(""), FLT_MAX};
    for (double v0 : values)
        for (double a0 : values)
            for (double v1 : {v0, 3.0, std::nan("")}) {
                const double a1 = v1 == 3.0 ? a0 : 7.0;
                int classes[2] = {-1, -1};
                const barsight::detail::Pair v = {v0, v1}, average = {a0, a1};
                barsight::spread_class_pair(v, average, classes);
                EXPECT_EQ(classes[0], barsight::spread_class(v0, a0)) << v0 << " / " << a0;
                EXPECT_EQ(classes[1], barsight::spread_class(v1, a1)) << v1 << " / " << a1;
            }
}

TEST(VSASpread, ConstantVolumeIsClassThreeAndZeroVolumeIsZero) {
    CallSpec call = chart_of(std::vector<float>(20, 50.0f));
    call.volume.values[12] = 0.0f;
    // Periods 1: each bar is its own average, so v = average = 50 and the
    // unit 50 * 2 / 7 = 14.29; 50 lies above 3 units (42.9) and not above 4
    // units (57.1): class 3. Volume 0 is below 0.000001: class 0.
    set_numerics(&call, {0, 1});    CallResult r = run(&barsight::catalogue::VSASpread, call);
    ASSERT_EQ(r.code, 0);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(r.values[i], i == 12 ? 0.0f : 3.0f) << i;
}

TEST(VSASpread, FractionalModeTruncatesToRangeMode) {
    // Ranges 2, 2, 2, 8 with periods 2: the last bar's window is 8 + 2, the
    // average 5, unit 10 / 7; 8 lies between 4 and 6 units: class 4. Volume
    // mode (constant volume) says class 3.
    CallSpec call = chart_of({10, 10, 10, 10});
    call.high.values[3] = 14.0f;
    call.low.values[3] = 6.0f;
    set_numerics(&call, {1.7f, 2});
    CallResult r = run(&barsight::catalogue::VSASpread, call);
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.values[3], 4.0f);
    set_numerics(&call, {0, 2});
    r = run(&barsight::catalogue::VSASpread, call);
    EXPECT_EQ(r.values[3], 3.0f);
}

TEST(VSASpread, BitIdenticalToThePerWindowReference) {
    for (int32_t mode : {0, 1}) {
        for (int32_t periods : {1, 2, 30, 64, 65, 200}) {
            CallSpec call = random_chart(900, 5, static_cast<uint32_t>(periods + mode));
            call.volume.values[300] = kNaN;
            call.high.values[301] = std::numeric_limits<float>::infinity();
            set_numerics(&call, {static_cast<float>(mode), static_cast<float>(periods)});
            const CallResult r = run(&barsight::catalogue::VSASpread, call);
            ASSERT_EQ(r.code, 0);
            std::vector<float> expected(900, kUnwritten);
            reference::spread(call.high.values.data(), call.low.values.data(),
                              call.volume.values.data(), 5, 899, periods, mode, expected.data());
            for (int i = 0; i < 900; ++i)
                ASSERT_TRUE(same_bits(r.values[i], expected[i]))
                    << "mode " << mode << " periods " << periods << " bar " << i;
        }
    }
}

// --- concurrency --------------------------------------------------------------

TEST(LocalIndicators, ConcurrentCallsGiveTheSameResults) {
    CallSpec call = random_chart(3000, 0, 99);
    set_numerics(&call, {0, 50});
    const CallResult expected = run(&barsight::catalogue::VSASpread, call);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 10; ++k) {
                const CallResult r = harness::call_function(&barsight::catalogue::VSASpread, call);
                if (r.values != expected.values || r.code != 0) ++mismatches[t];
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
