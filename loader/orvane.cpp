// The orvane loader plug-in's exports: its catalogue for the four catalogue
// queries (msx/catalogue_exports.cpp), one shim per catalogue row that calls
// the calculation of the row named as the shim (__func__, looked up at
// compile time: a shim without a row does not build), and DLLMAIN.
#include <cstdint>

#include "loader/orvane_catalogue.h"
#include "msx/catalogue_exports.h"

using orvane::kCatalogue;

const msx::Catalogue& msx::plugin_catalogue() noexcept { return kCatalogue; }

extern "C" {

// An ordinary export, not the library's load entry: answers 1 for process
// attach and detach, 0 otherwise, and does nothing.
MSX_API int32_t DLLMAIN(void* /*hInstance*/, uint32_t dwReason, void* /*lpReserved*/) {
    return dwReason == 0 || dwReason == 1 ? 1 : 0;
}

MSX_API int32_t GetPriceData(const MSXDataRec* a_psDataRec,
                             const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                             const MSXNumericArgsArray* a_psNumericArgs,
                             const MSXStringArgsArray* a_psStringArgs,
                             const MSXCustomArgsArray* a_psCustomArgs,
                             MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t GetVolumeData(const MSXDataRec* a_psDataRec,
                              const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                              const MSXNumericArgsArray* a_psNumericArgs,
                              const MSXStringArgsArray* a_psStringArgs,
                              const MSXCustomArgsArray* a_psCustomArgs,
                              MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t GetYieldData(const MSXDataRec* a_psDataRec,
                             const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                             const MSXNumericArgsArray* a_psNumericArgs,
                             const MSXStringArgsArray* a_psStringArgs,
                             const MSXCustomArgsArray* a_psCustomArgs,
                             MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t wsGetPriceData(const MSXDataRec* a_psDataRec,
                               const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                               const MSXNumericArgsArray* a_psNumericArgs,
                               const MSXStringArgsArray* a_psStringArgs,
                               const MSXCustomArgsArray* a_psCustomArgs,
                               MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t wsGetVolumeData(const MSXDataRec* a_psDataRec,
                                const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                                const MSXNumericArgsArray* a_psNumericArgs,
                                const MSXStringArgsArray* a_psStringArgs,
                                const MSXCustomArgsArray* a_psCustomArgs,
                                MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t wsGetYieldData(const MSXDataRec* a_psDataRec,
                               const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                               const MSXNumericArgsArray* a_psNumericArgs,
                               const MSXStringArgsArray* a_psStringArgs,
                               const MSXCustomArgsArray* a_psCustomArgs,
                               MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

}  // extern "C"
