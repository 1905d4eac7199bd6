// The built-ins of a program's base (program.h) that need the terminal:
// output and notifications, the chart's properties, timers and the virtual
// clock, the terminal's global variables.
#include "tools/mql4run/program.h"

#include <algorithm>
#include <iostream>

#include "tools/mql4run/builtins.h"
#include "tools/mql4run/text.h"

namespace mql {

thread_local Program* Program::constructing_ = nullptr;

// ---- output ---------------------------------------------------------------------
void Program::append(std::ostringstream& out, double v) { out << number_text(v); }

void Program::print_line(const std::string& line) { std::cerr << line << '\n'; }

void Program::alert_line(const std::string& line) {
    terminal().alerts.push_back(line);
    std::cerr << "alert: " << line << '\n';
}

bool Program::SendNotification(const string& text) {
    if (!terminal().notifications) {
        last_error_ = 4250;  // ERR_NOTIFICATION_SEND_FAILED: switched off in the terminal
        return false;
    }
    // The terminal's limits: 2 a second and 10 a minute. Past them it drops
    // the notification; here the run ends, naming the call, so a program
    // that bursts (one per bar after a reconnection, several charts) shows.
    auto& sent = terminal().notified_ms;
    const std::int64_t now = terminal().clock_ms;
    const auto within = [&](std::int64_t span) {
        return std::count_if(sent.begin(), sent.end(), [&](std::int64_t at) { return now - at < span; });
    };
    if (StringLen(text) > 255)
        throw RunStop{kExitRuntimeError, "SendNotification(\"" + text.str() + "\"): " +
                                             std::to_string(StringLen(text)) +
                                             " characters; the terminal sends at most 255 and refuses the rest"};
    if (within(1000) >= 2 || within(60000) >= 10)
        throw RunStop{kExitRuntimeError, "SendNotification(\"" + text.str() +
                                             "\"): over the terminal's limit of 2 notifications a second and 10 a "
                                             "minute (" + std::to_string(within(1000)) + " in the last second, " +
                                             std::to_string(within(60000)) + " in the last minute)"};
    sent.push_back(now);
    std::cerr << "notification: " << text.str() << '\n';
    return true;
}

// ---- the chart -----------------------------------------------------------------
mql_long Program::ChartGetInteger(mql_long, ENUM_CHART_PROPERTY_INTEGER property, int) {
    if (property == CHART_WINDOW_HANDLE) return static_cast<mql_long>(chart().window);
    if (property == CHART_COLOR_BACKGROUND) return chart().background;
    if (property == CHART_COLOR_FOREGROUND) return chart().foreground;
    // The window shows the newest bars, scrolled to the end.
    const int shown = std::min(chart().visible_bars, chart().time.size());
    if (property == CHART_VISIBLE_BARS) return shown;
    if (property == CHART_FIRST_VISIBLE_BAR) return shown > 0 ? shown - 1 : 0;
    return 0;
}

mql_long Program::TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER property) {
    if (property == TERMINAL_SCREEN_DPI) return terminal().dpi;
    return property == TERMINAL_NOTIFICATIONS_ENABLED ? terminal().notifications : 0;
}

// ---- timers and the virtual clock ------------------------------------------------
bool Program::EventSetMillisecondTimer(int milliseconds) {
    if (milliseconds <= 0) return false;
    timer_ms_ = milliseconds;
    return true;
}

void Program::Sleep(int milliseconds) {
    ++terminal().calls["Sleep"];  // the pause is the virtual clock's: --count-calls shows the calls
    if (milliseconds > 0) terminal().clock_ms += milliseconds;
    if (terminal().pump) terminal().pump();
}

// ---- global variables of the terminal -------------------------------------------
datetime Program::GlobalVariableSet(const string& name, double value) {
    terminal().globals[name.str()] = value;
    return TimeCurrent();
}
double Program::GlobalVariableGet(const string& name) {
    auto it = terminal().globals.find(name.str());
    return it == terminal().globals.end() ? 0 : it->second;
}
bool Program::GlobalVariableCheck(const string& name) { return terminal().globals.count(name.str()) != 0; }
bool Program::GlobalVariableDel(const string& name) { return terminal().globals.erase(name.str()) != 0; }
bool Program::GlobalVariableSetOnCondition(const string& name, double value, double check) {
    auto it = terminal().globals.find(name.str());
    if (it == terminal().globals.end() || it->second != check) return false;
    it->second = value;
    return true;
}

}  // namespace mql
