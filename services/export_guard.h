// The export guard: how an export of ours runs its work so that nothing
// thrown reaches the host or the client. Each helper's name says what a
// failure becomes.
#pragma once

#include <exception>
#include <type_traits>

namespace barsight {

// A failure's report on the debugger output:
// "<prefix><what>, <where>" and, with `component`, ", BarsightPlugin".
struct FailureReport {
    const char* prefix;  // e.g. "ShowDialog: "
    const char* where;   // the export's name
    bool component;
};

// Writes the report for `what` (never throws).
void report_failure(const FailureReport& report, const char* what) noexcept;

// Runs body() and answers its result; when it throws, reports the
// exception's text (or "unknown failure") and answers the fallback: a
// value, or a callable that computes it where the failure is known.
template <class Body, class Fallback>
auto run_or_report(const FailureReport& report, Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::exception& e) {
        report_failure(report, e.what());
    } catch (...) {
        report_failure(report, "unknown failure");
    }
    if constexpr (std::is_invocable_v<Fallback>)
        return fallback();
    else
        return fallback;
}

// The same for a body that answers nothing: true when it returned, false
// when it threw (reported).
template <class Body>
bool run_or_report(const FailureReport& report, Body&& body) noexcept {
    return run_or_report(
        report,
        [&] {
            body();
            return true;
        },
        false);
}

}  // namespace barsight
