// The runtime's types (types.h): how a critical error stops the run, and
// a number written into a string.
#include "tools/mql4run/types.h"

#include "tools/mql4run/text.h"

namespace mql {

void critical_error(const std::string& what) {
    throw RunStop{kExitRuntimeError, "critical error: " + what};
}

std::string string::shortest_text(double value) { return number_text(value); }

}  // namespace mql
