// The orvane loader plug-in's exports: the four catalogue queries, one shim
// per catalogue row that calls the calculation of the row named as the shim
// (__func__, looked up at compile time: a shim without a row does not
// build), and DLLMAIN.
#include <cstdint>

#include "loader/orvane_catalogue.h"

using orvane::kCatalogue;

extern "C" {

// An ordinary export, not the library's load entry: answers 1 for process
// attach and detach, 0 otherwise, and does nothing.
MSX_API int32_t DLLMAIN(void* /*hInstance*/, uint32_t dwReason, void* /*lpReserved*/) {
    return dwReason == 0 || dwReason == 1 ? 1 : 0;
}

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

MSX_API int32_t GetPriceData(const MSXDataRec* a_psDataRec,
                             const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                             const MSXNumericArgsArray* a_psNumericArgs,
                             const MSXStringArgsArray* a_psStringArgs,
                             const MSXCustomArgsArray* a_psCustomArgs,
                             MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t GetVolumeData(const MSXDataRec* a_psDataRec,
                              const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                              const MSXNumericArgsArray* a_psNumericArgs,
                              const MSXStringArgsArray* a_psStringArgs,
                              const MSXCustomArgsArray* a_psCustomArgs,
                              MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t GetYieldData(const MSXDataRec* a_psDataRec,
                             const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                             const MSXNumericArgsArray* a_psNumericArgs,
                             const MSXStringArgsArray* a_psStringArgs,
                             const MSXCustomArgsArray* a_psCustomArgs,
                             MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t wsGetPriceData(const MSXDataRec* a_psDataRec,
                               const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                               const MSXNumericArgsArray* a_psNumericArgs,
                               const MSXStringArgsArray* a_psStringArgs,
                               const MSXCustomArgsArray* a_psCustomArgs,
                               MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t wsGetVolumeData(const MSXDataRec* a_psDataRec,
                                const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                                const MSXNumericArgsArray* a_psNumericArgs,
                                const MSXStringArgsArray* a_psStringArgs,
                                const MSXCustomArgsArray* a_psCustomArgs,
                                MSXResultRec* a_psResultRec) {
    constexpr msx::Calc calc = kCatalogue.row(__func__).calc;
    return calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                 a_psResultRec});
}

MSX_API int32_t wsGetYieldData(const MSXDataRec* a_psDataRec,
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
