// The records the MSX charting host passes to a plug-in, byte for byte.
//
// The host is a 32-bit program: every integer is a little-endian int32, every
// pointer 32 bits, every value a single-precision float, and fields follow one
// another without padding. On 32-bit targets the sizes and the offsets the
// plug-ins read are checked at compile time below; on 64-bit builds (native
// and win64 test lanes) the pointer fields widen and only the field order holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "msx/calling_convention.h"

namespace msx {

// Result codes of every MSX export.
constexpr int32_t kSuccess = 0;
constexpr int32_t kError = 1;

// Argument type codes of MSXFuncArgDef.
constexpr int32_t kArgDataArray = 0;
constexpr int32_t kArgNumeric = 1;
constexpr int32_t kArgString = 2;

// Every fixed text field of the host is 100 bytes; a bounded copy writes at
// most 99 characters and always ends the field with a NUL.
constexpr std::size_t kTextField = 100;
constexpr std::size_t kMaxArgs = 9;

}  // namespace msx

extern "C" {

// Filled by MSXInfo.
struct MSXDLLDef {
    char szCopyright[100];
    int32_t iNFuncs;
    int32_t iVersion;
};

// Filled by MSXNthFunction.
struct MSXFuncDef {
    char szFunctionName[100];
    char szFunctionDescription[100];
    int32_t iNArguments;
};

// Filled by MSXNthArg.
struct MSXFuncArgDef {
    int32_t iArgType;
    char szArgName[100];
    int32_t iNCustomStrings;
};

// Filled by MSXNthCustomString.
struct MSXFuncCustomString {
    char szString[100];
    int32_t iID;
};

// One series: floats indexed by bar number, valid from iFirstValid to
// iLastValid inclusive. First 0 and last -1 is the empty series.
struct MSXDataInfoRec {
    float* pfValue;
    int32_t iFirstValid;
    int32_t iLastValid;
};

// The chart's security and prices. The reserved spans are the host's.
struct MSXDataRec {
    unsigned char reserved0[16];
    MSXDataInfoRec sHigh;
    MSXDataInfoRec sLow;
    MSXDataInfoRec sClose;
    MSXDataInfoRec sVol;
    unsigned char reserved1[28];
    char* pszSymbol;
    unsigned char reserved2[28];
};

// Data-array arguments in the order of their argument indices.
struct MSXDataInfoRecArgsArray {
    MSXDataInfoRec* psDataInfoRecs[9];
    int32_t iNRecs;
};

// Numeric arguments in the order of their argument indices.
struct MSXNumericArgsArray {
    float fNumerics[9];
    int32_t iNRecs;
};

// String arguments in the order of their argument indices.
struct MSXStringArgsArray {
    char* pszStrings[9];
    int32_t reserved;
};

// Custom arguments; passed on every call, read by neither plug-in.
struct MSXCustomArgsArray {
    int32_t iCustomIDs[9];
    int32_t iNRecs;
};

// The output of a calculation call.
struct MSXResultRec {
    MSXDataInfoRec* psResultArray;
    char szExtendedError[100];
};

}  // extern "C"

// The calculation signature shared by every indicator and loader function.
using MSXCalcFunc = int32_t(MSX_STDCALL*)(const MSXDataRec*, const MSXDataInfoRecArgsArray*,
                                          const MSXNumericArgsArray*, const MSXStringArgsArray*,
                                          const MSXCustomArgsArray*, MSXResultRec*);
using MSXInfoFunc = int32_t(MSX_STDCALL*)(MSXDLLDef*);
using MSXNthFunctionFunc = int32_t(MSX_STDCALL*)(int32_t, MSXFuncDef*);
using MSXNthArgFunc = int32_t(MSX_STDCALL*)(int32_t, int32_t, MSXFuncArgDef*);
using MSXNthCustomStringFunc = int32_t(MSX_STDCALL*)(int32_t, int32_t, int32_t,
                                                      MSXFuncCustomString*);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(MSXDLLDef) == 108);
static_assert(sizeof(MSXFuncDef) == 204);
static_assert(sizeof(MSXFuncArgDef) == 108);
static_assert(sizeof(MSXFuncCustomString) == 104);
static_assert(sizeof(MSXDataRec) == 124);
static_assert(sizeof(MSXDataInfoRec) == 12);
static_assert(sizeof(MSXDataInfoRecArgsArray) == 40);
static_assert(sizeof(MSXNumericArgsArray) == 40);
static_assert(sizeof(MSXStringArgsArray) == 40);
static_assert(sizeof(MSXCustomArgsArray) == 40);
static_assert(sizeof(MSXResultRec) == 104);

static_assert(offsetof(MSXDLLDef, iNFuncs) == 100);
static_assert(offsetof(MSXDLLDef, iVersion) == 104);
static_assert(offsetof(MSXFuncDef, szFunctionDescription) == 100);
static_assert(offsetof(MSXFuncDef, iNArguments) == 200);
static_assert(offsetof(MSXFuncArgDef, szArgName) == 4);
static_assert(offsetof(MSXFuncArgDef, iNCustomStrings) == 104);
static_assert(offsetof(MSXFuncCustomString, iID) == 100);
static_assert(offsetof(MSXDataInfoRec, iFirstValid) == 4);
static_assert(offsetof(MSXDataInfoRec, iLastValid) == 8);
static_assert(offsetof(MSXDataRec, sHigh) == 16);
static_assert(offsetof(MSXDataRec, sLow) == 28);
static_assert(offsetof(MSXDataRec, sClose) == 40);
static_assert(offsetof(MSXDataRec, sClose) + offsetof(MSXDataInfoRec, iFirstValid) == 44);
static_assert(offsetof(MSXDataRec, sClose) + offsetof(MSXDataInfoRec, iLastValid) == 48);
static_assert(offsetof(MSXDataRec, sVol) == 52);
static_assert(offsetof(MSXDataRec, pszSymbol) == 92);
static_assert(offsetof(MSXDataInfoRecArgsArray, iNRecs) == 36);
static_assert(offsetof(MSXNumericArgsArray, iNRecs) == 36);
static_assert(offsetof(MSXResultRec, szExtendedError) == 4);
#endif
