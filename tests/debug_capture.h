// Runs a program and collects what it writes to the debugger output stream,
// one entry per string: on posix through BARSIGHT_DEBUG_OUTPUT, on Windows
// as the program's debugger (OUTPUT_DEBUG_STRING_EVENT).
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct CapturedRun {
    bool started = false;
    int exit_code = -1;
    std::vector<std::string> strings;
};

// `args[0]` is the program; the rest its arguments.
CapturedRun run_capturing_debug_output(const std::vector<std::string>& args);

}  // namespace testing_support
