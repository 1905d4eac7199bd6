// Calls every function of a plug-in's catalogue with argument counts and
// values at and past every bound, extreme prices, empty and one-bar series
// and null argument pointers, checking guard zones after every call.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "harness/plugin.h"

namespace harness {

struct StressReport {
    std::string function;
    long calls = 0;
    long succeeded = 0;
    long failed = 0;
    std::vector<std::string> problems;  // guard violations, bad result codes
};

// Runs the catalogue queries and every function; writes one line per
// function and the first problems found. Returns true when nothing was wrong.
bool run_stress(const Plugin& plugin, std::ostream& out, std::vector<StressReport>* reports);

}  // namespace harness
