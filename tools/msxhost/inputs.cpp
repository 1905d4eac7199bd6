// What the commands read (inputs.h): the plug-in and the files beside it,
// a chart with its dates checked, a function of the catalogue.
#include "tools/msxhost/inputs.h"

#include <filesystem>
#include <iostream>

#include "platform/dynamic_library.h"

namespace msxhost {

bool load_plugin(const std::string& path, harness::Plugin* plugin) {
    std::string error;
    if (!plugin->load(path, &error)) {
        std::cerr << "msxhost: " << error << "\n";
        return false;
    }
    return true;
}

std::vector<std::string> plugin_files(const std::string& plugin) {
    const std::filesystem::path folder = std::filesystem::path(plugin).parent_path();
    return {plugin, plugin + ".config", (folder / platform::library_file_name("Spreadcore")).string()};
}

bool load_chart(const std::string& path, harness::ChartData* chart, std::string* error) {
    return harness::load_chart_csv(path, chart, error) && harness::chart_days(*chart, path, nullptr, error);
}

const harness::FunctionInfo* catalogue_function(const harness::Plugin& plugin, const std::string& function) {
    const harness::FunctionInfo* fn = plugin.find(function);
    if (fn != nullptr && fn->calc != nullptr) return fn;
    std::cerr << "msxhost: " << function << " is not in the plug-in's catalogue\n";
    return nullptr;
}

}  // namespace msxhost
