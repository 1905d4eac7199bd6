// A plug-in that misbehaves on purpose, built only for the tests: its one
// function, Overrun, writes one value past the end of the host's result
// array, which the host's guard zones report as a violation.
#include <cstring>

#include "msx/msx_records.h"

extern "C" {

MSX_API int32_t MSXInfo(MSXDLLDef* def) {
    std::strcpy(def->szCopyright, "test plug-in");
    def->iNFuncs = 1;
    def->iVersion = 1;
    return 0;
}

MSX_API int32_t MSXNthFunction(int32_t index, MSXFuncDef* def) {
    if (index != 0) return 1;
    std::strcpy(def->szFunctionName, "Overrun");
    std::strcpy(def->szFunctionDescription, "Overrun");
    def->iNArguments = 0;
    return 0;
}

MSX_API int32_t MSXNthArg(int32_t, int32_t, MSXFuncArgDef*) { return 1; }

MSX_API int32_t MSXNthCustomString(int32_t, int32_t, int32_t, MSXFuncCustomString*) { return 1; }

MSX_API int32_t Overrun(const MSXDataRec* data, const MSXDataInfoRecArgsArray*,
                        const MSXNumericArgsArray*, const MSXStringArgsArray*,
                        const MSXCustomArgsArray*, MSXResultRec* result) {
    const int32_t last = data->sClose.iLastValid;
    for (int32_t i = 0; i <= last + 1; ++i) result->psResultArray->pfValue[i] = 1.0f;
    result->psResultArray->iFirstValid = 0;
    result->psResultArray->iLastValid = last;
    return 0;
}

}  // extern "C"
