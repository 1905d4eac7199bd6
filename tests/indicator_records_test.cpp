// Host records, bounded text copies and the value conversions every indicator
// relies on.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "indicator/float_range.h"
#include "msx/msx_records.h"
#include "msx/msx_text.h"

namespace {

TEST(MsxText, CopiesAtMost99CharactersAndAlwaysTerminates) {
    struct Case {
        std::size_t length;
        std::size_t expected;
    } cases[] = {{0, 0}, {1, 1}, {98, 98}, {99, 99}, {100, 99}, {150, 99}, {1000, 99}};
    for (const Case& c : cases) {
        char field[100];
        std::memset(field, 'x', sizeof field);
        const std::string text(c.length, 'a');
        msx::copy_text(field, text.c_str());
        EXPECT_EQ(std::strlen(field), c.expected) << c.length;
        EXPECT_EQ(std::string(field), text.substr(0, c.expected));
        // The bytes after the NUL stay as the host passed them.
        for (std::size_t i = c.expected + 1; i < sizeof field; ++i) EXPECT_EQ(field[i], 'x');
    }
}

TEST(MsxText, NullTextBecomesEmpty) {
    char field[100];
    std::memset(field, 'x', sizeof field);
    msx::copy_text(field, nullptr);
    EXPECT_EQ(field[0], '\0');
    EXPECT_EQ(field[1], 'x');
}

TEST(MsxRecords, FieldsFollowTheHostOrder) {
    // Sizes are checked at compile time on 32-bit builds; here the order.
    EXPECT_LT(offsetof(MSXDataRec, sHigh), offsetof(MSXDataRec, sLow));
    EXPECT_LT(offsetof(MSXDataRec, sLow), offsetof(MSXDataRec, sClose));
    EXPECT_LT(offsetof(MSXDataRec, sClose), offsetof(MSXDataRec, sVol));
    EXPECT_LT(offsetof(MSXDataRec, sVol), offsetof(MSXDataRec, pszSymbol));
    EXPECT_EQ(offsetof(MSXDataRec, sHigh), 16u);
    // Text fields are 100 bytes, integers and pointers 4 (32-bit layout):
    // DLLDef 100 + 4 + 4; FuncDef 100 + 100 + 4; FuncArgDef 4 + 100 + 4;
    // CustomString 100 + 4; numeric and custom arrays 9 * 4 + 4.
    EXPECT_EQ(sizeof(MSXDLLDef), 108u);
    EXPECT_EQ(sizeof(MSXFuncDef), 204u);
    EXPECT_EQ(sizeof(MSXFuncArgDef), 108u);
    EXPECT_EQ(sizeof(MSXFuncCustomString), 104u);
    EXPECT_EQ(sizeof(MSXNumericArgsArray), 40u);
    EXPECT_EQ(sizeof(MSXCustomArgsArray), 40u);
}

TEST(ForceFloatRange, ClampsIntoTheFiniteNormalFloatRange) {
    const double kMax = FLT_MAX, kMin = FLT_MIN;
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double in, out;
    } cases[] = {
        {1e40, kMax},      {kMax, kMax},         {inf, kMax},
        {-1e40, -kMax},    {-kMax, -kMax},       {-inf, -kMax},
        {1e-45, kMin},     {kMin, kMin},         {-1e-45, -kMin},
        {-kMin, -kMin},    {1.5, 1.5},           {-1.5, -1.5},
        {3.4028234e38, 3.4028234e38},  // just below FLT_MAX: unchanged
        {1.2e-38, 1.2e-38},            // just above FLT_MIN: unchanged
        {std::nextafter(kMin, 1.0), std::nextafter(kMin, 1.0)},
        {std::nextafter(kMax, 0.0), std::nextafter(kMax, 0.0)},
    };
    for (const Case& c : cases) EXPECT_EQ(barsight::ForceFloatRange(c.in), c.out) << c.in;
}

TEST(ForceFloatRange, ZerosAndNaNPassUnchanged) {
    EXPECT_EQ(barsight::ForceFloatRange(0.0), 0.0);
    EXPECT_FALSE(std::signbit(barsight::ForceFloatRange(0.0)));
    EXPECT_TRUE(std::signbit(barsight::ForceFloatRange(-0.0)));
    EXPECT_TRUE(std::isnan(barsight::ForceFloatRange(std::nan(""))));
}

TEST(ForceFloatRange, StoredValueIsNeverInfiniteOrSubnormal) {
    const double inputs[] = {1e39, -1e39, 3.40282356e38, 1e-40, -1e-40, 1.17549e-38};
    for (double x : inputs) {
        const float f = barsight::store(x);
        EXPECT_TRUE(std::isfinite(f)) << x;
        EXPECT_EQ(std::fpclassify(f), FP_NORMAL) << x;
    }
}

TEST(TruncateToInt32, TruncatesTowardZeroAndGivesIntMinWhenUnrepresentable) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float in;
        int32_t out;
    } cases[] = {
        {7.9f, 7},
        {-2.5f, -2},
        {0.99f, 0},
        {-0.99f, 0},
        {1.7f, 1},
        {2147483520.0f, 2147483520},  // largest float below 2^31
        {-2147483648.0f, INT32_MIN},  // exactly INT_MIN: representable
        {2147483648.0f, INT32_MIN},
        {-2147483904.0f, INT32_MIN},
        {inf, INT32_MIN},
        {-inf, INT32_MIN},
        {std::numeric_limits<float>::quiet_NaN(), INT32_MIN},
        {FLT_MAX, INT32_MIN},
        {1e-45f, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(barsight::truncate_to_int32(c.in), c.out) << c.in;
}

}  // namespace
