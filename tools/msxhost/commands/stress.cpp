// msxhost stress: every function the plug-in offers called with hostile
// arguments under the host's guards.
#include "tools/msxhost/commands.h"

#include <iostream>
#include <vector>

#include "harness/stress.h"
#include "tools/msxhost/inputs.h"

namespace msxhost {

int cmd_stress(const std::string& path) {
    harness::Plugin plugin;
    if (!load_plugin(path, &plugin)) return 1;
    std::vector<harness::StressReport> reports;
    return harness::run_stress(plugin, std::cout, &reports) ? 0 : 3;
}

}  // namespace msxhost
