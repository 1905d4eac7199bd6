// msxhost catalogue: the plug-in's copyright, version and functions with
// their arguments, as the charting host lists them.
#include "tools/msxhost/commands.h"

#include <iostream>

#include "tools/msxhost/inputs.h"

namespace msxhost {

int cmd_catalogue(const std::string& path) {
    harness::Plugin plugin;
    if (!load_plugin(path, &plugin)) return 1;
    std::cout << "copyright: " << plugin.copyright() << "\n"
              << "version: " << plugin.version() << "\n"
              << "functions: " << plugin.functions().size() << "\n";
    int index = 0;
    for (const harness::FunctionInfo& fn : plugin.functions()) {
        std::cout << index++ << " " << fn.name << " \"" << fn.description << "\" "
                  << fn.args.size() << " argument(s)" << (fn.calc ? "" : " [not exported]")
                  << "\n";
        for (std::size_t a = 0; a < fn.args.size(); ++a)
            std::cout << "    " << a << ": " << fn.args[a].name << " ("
                      << harness::arg_type_name(fn.args[a].type) << ")\n";
    }
    return 0;
}

}  // namespace msxhost
