// The MSX exports of the indicator library: thin forwarders to the catalogue
// and the indicator functions.
#include "indicator/catalogue.h"
#include "indicator/local_indicators.h"
#include "indicator/vsa_ind.h"

extern "C" {

MSX_API int32_t MSXInfo(MSXDLLDef* a_psDLLDef) {
    return barsight::catalogue::info(a_psDLLDef);
}

MSX_API int32_t MSXNthFunction(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) {
    return barsight::catalogue::nth_function(a_iNthFunc, a_psFuncDef);
}

MSX_API int32_t MSXNthArg(int32_t a_iNthFunc, int32_t a_iNthArg, MSXFuncArgDef* a_psFuncArgDef) {
    return barsight::catalogue::nth_arg(a_iNthFunc, a_iNthArg, a_psFuncArgDef);
}

MSX_API int32_t MSXNthCustomString(int32_t a_iNthFunc, int32_t a_iNthArg, int32_t a_iNthString,
                                   MSXFuncCustomString* a_psCustomString) {
    return barsight::catalogue::nth_custom_string(a_iNthFunc, a_iNthArg, a_iNthString,
                                                  a_psCustomString);
}

#define BARSIGHT_FORWARD_CALC(Export, impl)                                                      \
    MSX_API int32_t Export(BARSIGHT_CALC_PARAMS) {                                               \
        return barsight::impl(a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs,   \
                              a_psCustomArgs, a_psResultRec);                                   \
    }

BARSIGHT_FORWARD_CALC(VSAMakeConst, vsa_make_const)
BARSIGHT_FORWARD_CALC(VSATrend, vsa_trend)
BARSIGHT_FORWARD_CALC(VSAVolStops, vsa_vol_stops)
BARSIGHT_FORWARD_CALC(VSAInd, vsa_ind)
BARSIGHT_FORWARD_CALC(VSASpread, vsa_spread)

}  // extern "C"
