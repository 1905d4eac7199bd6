// The run's timeline: the events the terminal brings the program, in their
// order, from a template's objects and OnInit through the bars, ticks and
// timers, the clock running on, reloads and reinits, to the clicks and
// hovers that come last.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "tools/mql4run/runner.h"

namespace mql4run {

// What the timeline plays on.
struct Stage {
    const Options& options;
    const mql::ProgramEntry& entry;
    const Imports& imports;
    // Every --data symbol's bars, oldest first; the chart's are the first.
    const std::vector<std::unique_ptr<mql::Chart>>& charts;
    mql::Terminal& terminal;
    intptr_t window;  // the chart window
    ChartSession& session;  // the first copy: it adds the bars
    const std::vector<ChartSession*>& copies;  // every copy of the program on the chart, the first first
    std::ostream& err;
};

// Plays the timeline. True when the run goes on to its report, with
// `exit_code` the code it then ends with (a click or hover the command line
// asked for that could not happen); false when a step ended the run there
// (a failed OnInit, a symbol that no --data names), with its exit code.
bool play_timeline(const Stage& stage, int* exit_code);

}  // namespace mql4run
