// The indicator library's function catalogue: one row per calculation
// export, read by the host through the MSX catalogue queries.
#pragma once

#include "indicator/local_indicators.h"
#include "indicator/vsa_ind.h"
#include "msx/msx_catalogue.h"

namespace barsight::catalogue {

// The copyright text MSXInfo reports (at most 99 characters).
extern const char kCopyright[];

inline constexpr msx::FunctionRow kFunctions[] = {
    {"VSAMakeConst", "VSA Make Constant", 1, msx::ArgIndexRule::kIgnored,
     {{"Bars", msx::kArgNumeric}}, &vsa_make_const},
    {"VSATrend", "VSA Trend", 1, msx::ArgIndexRule::kIgnored,
     {{"Periods", msx::kArgNumeric}}, &vsa_trend},
    {"VSAVolStops", "VSA Vol Stops", 2, msx::ArgIndexRule::kChecked,
     {{"Multiplier", msx::kArgNumeric}, {"ATR(Periods) Array", msx::kArgDataArray}},
     &vsa_vol_stops},
    {"VSAInd", "VSA Indicators", 0, msx::ArgIndexRule::kNoneKept, {}, &vsa_ind},
    {"VSASpread", "VSA Spread", 2, msx::ArgIndexRule::kChecked,
     {{"Mode", msx::kArgNumeric}, {"Periods", msx::kArgNumeric}}, &vsa_spread},
};

// Unknown indices are refused; every custom-string question gets one fixed
// entry, though no argument declares custom strings.
inline constexpr msx::Catalogue kCatalogue{kCopyright, kFunctions, {msx::kError, "Monkey"}};

}  // namespace barsight::catalogue
