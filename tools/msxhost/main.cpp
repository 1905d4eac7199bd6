// msxhost: loads an MSX plug-in as the charting host does, lists its
// catalogue, runs its functions on daily bars from a CSV file, and
// stress-tests every function it offers. Here: the table of its commands,
// each in a file of its own under commands/.
#include <string>

#include "harness/output.h"
#include "tools/msxhost/commands.h"
#include "tools/msxhost/options.h"

namespace msxhost {
namespace {

// The subcommands: each takes the whole command line (its plug-in is
// argv[2]).
struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"catalogue", [](int, char** argv) { return cmd_catalogue(argv[2]); }},
    {"run", &cmd_run},
    {"stress", [](int, char** argv) { return cmd_stress(argv[2]); }},
    {"client", &cmd_client},
    {"scan", &cmd_scan},
    {"chart", &cmd_chart},
    {"evaluate", &cmd_evaluate},
};

int dispatch(int argc, char** argv) {
    if (argc < 3) return usage();
    for (const Command& command : kCommands)
        if (argv[1] == std::string(command.name)) return command.run(argc, argv);
    return usage();
}

}  // namespace
}  // namespace msxhost

int main(int argc, char** argv) {
    const int status = msxhost::dispatch(argc, argv);
    // Output that could not be written (a full disk, a closed pipe) is a
    // failure, whatever the command found.
    const int code = harness::finish_output("msxhost");
    return code != 0 ? code : status;
}
