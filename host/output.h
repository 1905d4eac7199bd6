// The end of a command-line tool's run: its standard output must have been
// written whole.
#pragma once

namespace host {

// Flushes standard output and checks that everything written to it arrived.
// 0 when it did; otherwise writes "TOOL: cannot write output: <reason>" to
// standard error and returns 1 (a full disk or a closed stream is a failure,
// whatever the command found).
int finish_output(const char* tool);

}  // namespace host
