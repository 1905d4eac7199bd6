// The binding to the Spreadcore analysis engine: its library found by name,
// loaded at the first use and kept for the life of the process, and its
// three stdcall entry points.
#pragma once

#include <cstdint>
#include <string>

#include "msx/calling_convention.h"

namespace barsight {

struct EngineApi {
    using AddToChartExFn = int32_t(MSX_STDCALL*)(const char* app, const char* symbol,
                                                 int32_t periods);
    using AnalysePosnFn = int32_t(MSX_STDCALL*)(int32_t handle, int32_t pos, double date,
                                                double open, double high, double low,
                                                double close, double volume,
                                                double close_next_bar, int32_t confirmanalysis);
    using RemoveFromChartFn = int32_t(MSX_STDCALL*)(int32_t handle);

    AddToChartExFn AddToChartEx = nullptr;
    AnalysePosnFn AnalysePosn = nullptr;
    RemoveFromChartFn RemoveFromChart = nullptr;
};

// The engine library's file name on this platform.
std::string engine_library_name();

// The bound engine. The library is looked for beside this plug-in (where
// every install puts it), then in the host program's and the system folders
// only: never the current folder or PATH (platform::DynamicLibrary::
// open_installed). While
// it is not bound every call tries again, so an engine installed while the
// host runs is found at the next recalculation; a library that loads but
// lacks an entry point is released before the next try. Thread-safe.
// Returns false with a message for the host (at most 99 characters) when the
// engine cannot be bound.
bool bind_engine(EngineApi* api, std::string* message);

}  // namespace barsight
