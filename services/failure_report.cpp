// The report policy's output (msx/boundary.h): a failure an export's guard
// caught, written on the debugger output in its row's words.
#include <string>

#include "msx/boundary.h"
#include "services/globals.h"

namespace msx {

void report_failure(const Report& report, const char* what) noexcept {
    try {
        barsight::Globals::DebugMessage(std::string(report.before) + what + report.after);
    } catch (...) {
        // The report is best effort: an export never fails for want of it.
    }
}

}  // namespace msx
