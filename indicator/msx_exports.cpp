// The MSX exports of the indicator library: its catalogue for the four
// catalogue queries (msx/catalogue_exports.cpp), and one shim per catalogue
// row that calls the calculation of the row named as the shim (__func__,
// looked up at compile time: a shim without a row does not build).
#include "indicator/catalogue.h"
#include "msx/catalogue_exports.h"

using barsight::catalogue::kCatalogue;

const msx::Catalogue& msx::plugin_catalogue() noexcept { return kCatalogue; }

extern "C" {

MSX_API int32_t VSAMakeConst(const MSXDataRec* a_psDataRec,
                             const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                             const MSXNumericArgsArray* a_psNumericArgs,
                             const MSXStringArgsArray* a_psStringArgs,
                             const MSXCustomArgsArray* a_psCustomArgs,
                             MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t VSATrend(const MSXDataRec* a_psDataRec,
                         const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                         const MSXNumericArgsArray* a_psNumericArgs,
                         const MSXStringArgsArray* a_psStringArgs,
                         const MSXCustomArgsArray* a_psCustomArgs,
                         MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t VSAVolStops(const MSXDataRec* a_psDataRec,
                            const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                            const MSXNumericArgsArray* a_psNumericArgs,
                            const MSXStringArgsArray* a_psStringArgs,
                            const MSXCustomArgsArray* a_psCustomArgs,
                            MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t VSAInd(const MSXDataRec* a_psDataRec,
                       const MSXDataInfoRecArgsArray* a_psDataInfoArgs,
                       const MSXNumericArgsArray* a_psNumericArgs,
                       const MSXStringArgsArray* a_psStringArgs,
                       const MSXCustomArgsArray* a_psCustomArgs,
                       MSXResultRec* a_psResultRec) {
    constexpr const msx::FunctionRow& row = kCatalogue.row(__func__);
    return row.calc({a_psDataRec, a_psDataInfoArgs, a_psNumericArgs, a_psStringArgs, a_psCustomArgs,
                     a_psResultRec, row.name});
}

MSX_API int32_t VSASpread(const MSXDataRec* a_psDataRec,
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
