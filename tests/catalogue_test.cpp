// The catalogue as the host reads it, quirks included.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "boundary/BarsightPlugin_catalogue.h"

namespace {

using namespace barsight::catalogue;

template <class Record>
Record filled() {
    Record r;
    std::memset(&r, 0xCD, sizeof r);
    return r;
}

template <class Record>
bool untouched(const Record& r) {
    const Record pattern = filled<Record>();
    return std::memcmp(&r, &pattern, sizeof r) == 0;
}

TEST(Catalogue, InfoReportsFiveFunctionsVersionOneAndATerminatedCopyright) {
    MSXDLLDef def = filled<MSXDLLDef>();
    EXPECT_EQ(kCatalogue.info(&def), 0);
    EXPECT_EQ(def.iNFuncs, 5);
    EXPECT_EQ(def.iVersion, 1);
    EXPECT_LE(strnlen(def.szCopyright, 100), 99u);
    EXPECT_NE(std::string(def.szCopyright).find("Barsight"), std::string::npos);
}

TEST(Catalogue, NthFunctionDescribesEachFunction) {
    struct Row {
        const char* name;
        const char* description;
        int32_t args;
    } rows[] = {{"VSAMakeConst", "VSA Make Constant", 1},
                {"VSATrend", "VSA Trend", 1},
                {"VSAVolStops", "VSA Vol Stops", 2},
                {"VSAInd", "VSA Indicators", 0},
                {"VSASpread", "VSA Spread", 2}};
    for (int32_t i = 0; i < 5; ++i) {
        MSXFuncDef def = filled<MSXFuncDef>();
        ASSERT_EQ(kCatalogue.nth_function(i, &def), 0);
        EXPECT_STREQ(def.szFunctionName, rows[i].name);
        EXPECT_STREQ(def.szFunctionDescription, rows[i].description);
        EXPECT_EQ(def.iNArguments, rows[i].args);
        // Only the name and its NUL are written: the rest stays the host's.
        EXPECT_EQ(static_cast<unsigned char>(def.szFunctionName[std::strlen(rows[i].name) + 1]),
                  0xCD);
    }
}

TEST(Catalogue, NthFunctionOutsideTheTableWritesNothing) {
    for (int32_t index : {5, 6, -1, 100, INT32_MAX, INT32_MIN}) {
        MSXFuncDef def = filled<MSXFuncDef>();
        EXPECT_EQ(kCatalogue.nth_function(index, &def), 1) << index;
        EXPECT_TRUE(untouched(def)) << index;
    }
}

TEST(Catalogue, NthArgAnswersEveryFunctionAndIndex) {
    struct Row {
        int32_t func, arg, code;
        bool writes;
        int32_t type;
        const char* name;
    } rows[] = {
        {0, 0, 0, true, msx::kArgNumeric, "Bars"},
        {0, 5, 0, true, msx::kArgNumeric, "Bars"},  // one-argument functions ignore the index
        {0, -1, 0, true, msx::kArgNumeric, "Bars"},
        {1, 0, 0, true, msx::kArgNumeric, "Periods"},
        {1, 3, 0, true, msx::kArgNumeric, "Periods"},
        {2, 0, 0, true, msx::kArgNumeric, "Multiplier"},
        {2, 1, 0, true, msx::kArgDataArray, "ATR(Periods) Array"},
        {2, 2, 1, false, 0, nullptr},
        {2, -1, 1, false, 0, nullptr},
        {3, 0, 0, false, 0, nullptr},  // no arguments: success, nothing written
        {3, 7, 0, false, 0, nullptr},
        {4, 0, 0, true, msx::kArgNumeric, "Mode"},
        {4, 1, 0, true, msx::kArgNumeric, "Periods"},
        {4, 2, 1, false, 0, nullptr},
        {5, 0, 1, false, 0, nullptr},
        {9, 0, 1, false, 0, nullptr},
        {-1, 0, 1, false, 0, nullptr},
    };
    for (const Row& r : rows) {
        MSXFuncArgDef def = filled<MSXFuncArgDef>();
        EXPECT_EQ(kCatalogue.nth_arg(r.func, r.arg, &def), r.code) << r.func << "," << r.arg;
        // The custom-string count is cleared whatever the indices.
        EXPECT_EQ(def.iNCustomStrings, 0) << r.func << "," << r.arg;
        if (r.writes) {
            EXPECT_EQ(def.iArgType, r.type);
            EXPECT_STREQ(def.szArgName, r.name);
        } else {
            EXPECT_EQ(def.iArgType, static_cast<int32_t>(0xCDCDCDCD)) << r.func << "," << r.arg;
            EXPECT_EQ(static_cast<unsigned char>(def.szArgName[0]), 0xCD);
        }
    }
}

TEST(Catalogue, CustomStringIsAlwaysMonkey) {
    for (int32_t i : {0, 3, -7, 1000}) {
        MSXFuncCustomString s = filled<MSXFuncCustomString>();
        EXPECT_EQ(kCatalogue.nth_custom_string(i, i, i, &s), 0);
        EXPECT_STREQ(s.szString, "Monkey");
        EXPECT_EQ(s.iID, 0);
    }
}

TEST(Catalogue, NullRecordsAreRefused) {
    EXPECT_EQ(kCatalogue.info(nullptr), 1);
    EXPECT_EQ(kCatalogue.nth_function(0, nullptr), 1);
    EXPECT_EQ(kCatalogue.nth_arg(0, 0, nullptr), 1);
    EXPECT_EQ(kCatalogue.nth_custom_string(0, 0, 0, nullptr), 1);
}

}  // namespace
