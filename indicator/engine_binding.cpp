#include "indicator/engine_binding.h"

#include <mutex>

#include "platform/dynamic_library.h"

namespace barsight {

namespace {

std::mutex bind_mutex;
EngineApi bound_api;  // guarded by bind_mutex; set once
bool bound = false;   // guarded by bind_mutex

}  // namespace

std::string engine_library_name() { return platform::library_file_name("Spreadcore"); }

bool bind_engine(EngineApi* api, std::string* message) {
    std::lock_guard<std::mutex> lock(bind_mutex);
    if (bound) {
        *api = bound_api;
        return true;
    }
    const std::string name = engine_library_name();
    std::string error;
    // Beside the plug-in first (where every install puts it), then only where
    // an installer could have put it: never the current folder or PATH.
    platform::DynamicLibrary library = platform::DynamicLibrary::open_installed(name, &error);
    if (!library.loaded()) {
        *message = name + " not found: install it beside BarsightPlugin";
        return false;
    }
    EngineApi found;
    found.AddToChartEx = library.function<EngineApi::AddToChartExFn>("AddToChartEx");
    found.AnalysePosn = library.function<EngineApi::AnalysePosnFn>("AnalysePosn");
    found.RemoveFromChart = library.function<EngineApi::RemoveFromChartFn>("RemoveFromChart");
    const char* missing = !found.AddToChartEx  ? "AddToChartEx"
                          : !found.AnalysePosn ? "AnalysePosn"
                          : !found.RemoveFromChart ? "RemoveFromChart"
                                                   : nullptr;
    if (missing != nullptr) {
        *message = name + " lacks the entry point " + missing;
        return false;  // `library` is released here, before any later try
    }
    // Once bound, the engine stays loaded for the life of the process:
    // closing it at unload would run its teardown under the loader lock.
    library.keep_loaded();
    bound_api = found;
    bound = true;
    *api = found;
    return true;
}

}  // namespace barsight
