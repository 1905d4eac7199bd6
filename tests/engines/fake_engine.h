// A stand-in for the analysis engine, built only for the tests: it records
// every call with all its arguments and answers with programmed handles and
// codes. Tests reach the recording through the control exports below.
#pragma once

#include <cstdint>

#include "msx/calling_convention.h"

struct FakeEngineCall {
    int32_t kind;  // 0 AddToChartEx, 1 AnalysePosn, 2 RemoveFromChart
    int32_t handle, pos, confirm, periods;
    double date, open, high, low, close, volume, next;
    int32_t symbol_is_null;
    char app[32];
    char symbol[64];
};

// Control exports (cdecl, test-only).
using FakeEngineConfigureFn = void (*)(int32_t handle, const int32_t* codes, int32_t count);
using FakeEngineCallCountFn = int32_t (*)();
using FakeEngineGetCallFn = int32_t (*)(int32_t index, FakeEngineCall* out);
