// What msxhost's commands read: the plug-in, the files beside it that no
// output may be written over, a chart with its dates checked, and a
// function of the plug-in's catalogue.
#pragma once

#include <string>
#include <vector>

#include "harness/chart_data.h"
#include "harness/plugin.h"

namespace msxhost {

// Loads the plug-in; false, the reason printed, when it cannot be.
bool load_plugin(const std::string& path, harness::Plugin* plugin);

// What a run reads of the plug-in, never to be written over: the library,
// and what Barsight's reads beside it (its settings file, the engine).
std::vector<std::string> plugin_files(const std::string& plugin);

// A chart as run, scan and chart use it: the file read, and its bars checked
// as evaluate checks them (dates that rise: a file newest first, or a date
// twice, is refused, never read backwards).
bool load_chart(const std::string& path, harness::ChartData* chart, std::string* error);

// The function of the plug-in's catalogue named `function`, or null (said).
const harness::FunctionInfo* catalogue_function(const harness::Plugin& plugin, const std::string& function);

}  // namespace msxhost
