// The MSX exports of the indicator library: the four catalogue queries, and
// one shim per catalogue row that calls the calculation of the row named as
// the shim (__func__, looked up at compile time: a shim without a row does
// not build).
#include "indicator/catalogue.h"

using barsight::catalogue::kCatalogue;

extern "C" {

MSX_API int32_t MSXInfo(MSXDLLDef* a_psDLLDef) {
    return kCatalogue.info(a_psDLLDef);
}

MSX_API int32_t MSXNthFunction(int32_t a_iNthFunc, MSXFuncDef* a_psFuncDef) {
    return kCatalogue.nth_function(a_iNthFunc, a_psFuncDef);
}

MSX_API int32_t MSXNthArg(int32_t a_iNthFunc, int32_t a_iNthArg, MSXFuncArgDef* a_psFuncArgDef) {
    return kCatalogue.nth_arg(a_iNthFunc, a_iNthArg, a_psFuncArgDef);
}

MSX_API int32_t MSXNthCustomString(int32_t a_iNthFunc, int32_t a_iNthArg, int32_t a_iNthString,
                                   MSXFuncCustomString* a_psCustomString) {
    return kCatalogue.nth_custom_string(a_iNthFunc, a_iNthArg, a_iNthString, a_psCustomString);
}

MSX_API int32_t VSAMakeConst(const MSXDataRec* a_psDataRec,
                             const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                             const MSXNumericArgsArray* a_psNumericArgs,
                             const MSXStringArgsArray* a_psStringArgs,
                             const MSXCustomArgsArray* a_psCustomArgs,
                             MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t VSATrend(const MSXDataRec* a_psDataRec,
                         const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                         const MSXNumericArgsArray* a_psNumericArgs,
                         const MSXStringArgsArray* a_psStringArgs,
                         const MSXCustomArgsArray* a_psCustomArgs,
                         MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t VSAVolStops(const MSXDataRec* a_psDataRec,
                            const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                            const MSXNumericArgsArray* a_psNumericArgs,
                            const MSXStringArgsArray* a_psStringArgs,
                            const MSXCustomArgsArray* a_psCustomArgs,
                            MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t VSAInd(const MSXDataRec* a_psDataRec,
                       const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                       const MSXNumericArgsArray* a_psNumericArgs,
                       const MSXStringArgsArray* a_psStringArgs,
                       const MSXCustomArgsArray* a_psCustomArgs,
                       MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t VSASpread(const MSXDataRec* a_psDataRec,
                          const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                          const MSXNumericArgsArray* a_psNumericArgs,
                          const MSXStringArgsArray* a_psStringArgs,
                          const MSXCustomArgsArray* a_psCustomArgs,
                          MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

}  // extern "C"
