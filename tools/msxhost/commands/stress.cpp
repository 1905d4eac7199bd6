// msxhost stress: every function the plug-in offers called with hostile
// arguments under the host's guards.
#include "tools/msxhost/commands.h"

#include <iostream>
#include <vector>

#include "host/stress.h"
#include "tools/msxhost/inputs.h"

namespace msxhost {

int cmd_stress(const std::string& path) {
    host::Plugin plugin;
    if (!load_plugin(path, &plugin)) return 1;
    std::vector<host::StressReport> reports;
    return host::run_stress(plugin, std::cout, &reports) ? 0 : 3;
}

}  // namespace msxhost
