// A plug-in for the tests of msxhost evaluate: Codes answers each bar's
// volume as its signal code, so a test file's volume column holds the codes
// it wants; Fraction answers 0.5 on every bar, which is no signal code.
#include <cstring>

#include "msx/msx_records.h"

namespace {

int32_t copy_volume(const MSXDataRec* data, MSXResultRec* result, float (*value)(float)) {
    const int32_t first = data->sClose.iFirstValid, last = data->sClose.iLastValid;
    for (int32_t i = first; i <= last; ++i) result->psResultArray->pfValue[i] = value(data->sVol.pfValue[i]);
    result->psResultArray->iFirstValid = first;
    result->psResultArray->iLastValid = last;
    return 0;
}

}  // namespace

extern "C" {

MSX_API int32_t MSXInfo(MSXDLLDef* def) {
    std::strcpy(def->szCopyright, "test plug-in");
    def->iNFuncs = 2;
    def->iVersion = 1;
    return 0;
}

MSX_API int32_t MSXNthFunction(int32_t index, MSXFuncDef* def) {
    if (index < 0 || index > 1) return 1;
    std::strcpy(def->szFunctionName, index == 0 ? "Codes" : "Fraction");
    std::strcpy(def->szFunctionDescription, index == 0 ? "Volume as code" : "Half");
    def->iNArguments = 0;
    return 0;
}

MSX_API int32_t MSXNthArg(int32_t, int32_t, MSXFuncArgDef*) { return 1; }

MSX_API int32_t MSXNthCustomString(int32_t, int32_t, int32_t, MSXFuncCustomString*) { return 1; }

MSX_API int32_t Codes(const MSXDataRec* data, const MSXDataInfoRecArgsArray*, const MSXNumericArgsArray*,
                      const MSXStringArgsArray*, const MSXCustomArgsArray*, MSXResultRec* result) {
    return copy_volume(data, result, [](float v) { return v; });
}

MSX_API int32_t Fraction(const MSXDataRec* data, const MSXDataInfoRecArgsArray*, const MSXNumericArgsArray*,
                         const MSXStringArgsArray*, const MSXCustomArgsArray*, MSXResultRec* result) {
    return copy_volume(data, result, [](float) { return 0.5f; });
}

}  // extern "C"
