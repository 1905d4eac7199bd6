#include "services/export_guard.h"

#include <string>

#include "services/globals.h"

namespace barsight {

void report_failure(const FailureReport& report, const char* what) noexcept {
    try {
        std::string text = std::string(report.prefix) + what + ", " + report.where;
        if (report.component) text += ", BarsightPlugin";
        Globals::DebugMessage(text);
    } catch (...) {
        // The report is best effort: an export never fails for want of it.
    }
}

}  // namespace barsight
