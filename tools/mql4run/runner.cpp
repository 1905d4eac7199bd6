// The run of the command line, as its outline: find the program, load the
// bars, bind the imports, set up the terminal and the chart with its
// copies of the program, play the timeline, report. Each step's own work
// is in its file: imports.cpp, bars.cpp, chart_session.cpp,
// custom_indicators.cpp, timeline.cpp, report.cpp.
#include "tools/mql4run/runner.h"

#include <memory>
#include <ostream>
#include <utility>

#include "platform/plain_window.h"
#include "tools/mql4run/custom_indicators.h"
#include "tools/mql4run/report.h"
#include "tools/mql4run/text.h"
#include "tools/mql4run/timeline.h"

namespace mql4run {

namespace {

using Charts = std::vector<std::unique_ptr<mql::Chart>>;

std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int unknown_program(const std::string& program, std::ostream& err) {
    err << "mql4run: " << program << " is not a program of this runner; it holds:";
    for (const mql::ProgramEntry* e = mql::programs; e->file != nullptr; ++e) err << ' ' << e->file;
    err << '\n';
    return mql::kExitUsage;
}

// Each --data symbol's bars, the chart's first.
int load_charts(const Options& options, Charts* charts, std::ostream& err) {
    std::string error;
    for (const auto& [symbol, path] : options.data) {
        for (const auto& other : *charts)
            if (other->symbol == symbol) {
                err << "mql4run: --data names symbol " << symbol << " twice\n";
                return mql::kExitUsage;
            }
        charts->push_back(std::make_unique<mql::Chart>());
        charts->back()->symbol = symbol;
        if (!load_bars(path, charts->back().get(), &error)) {
            err << "mql4run: " << error << '\n';
            return mql::kExitUsage;
        }
    }
    if (charts->empty()) {
        err << "mql4run: --data is needed\n";
        return mql::kExitUsage;
    }
    return mql::kExitSuccess;
}

// What this build cannot run before anything starts: no bar to start with,
// or an import that passes an address through an MQL4 int.
int check_runnable(const Options& options, const mql::ProgramEntry& entry, const mql::Chart& all,
                   std::ostream& err) {
    if (options.new_bars < 0 || options.new_bars >= all.time.size()) {
        err << "mql4run: --new-bars must leave at least one bar to start with (the file has "
            << all.time.size() << ")\n";
        return mql::kExitUsage;
    }
    // With DLL calls not allowed no import is ever made: what one would pass
    // does not matter.
    const std::string reached = options.no_dlls ? std::string() : address_import_reached(entry);
    if (!reached.empty()) {
        err << "mql4run: " << entry.file << " calls " << reached
            << ", which passes a memory address through an MQL4 int (32 bits here): run it with the "
               "32-bit mql4run.exe\n";
        return mql::kExitNotRunnable;
    }
    return mql::kExitSuccess;
}

int bind_program(const Options& options, const mql::ProgramEntry& entry, const std::string& folder,
                 Imports* imports, std::ostream& err) {
    std::string error;
    if (!bind_imports(entry, folder, !options.no_dlls, imports, &error)) {
        err << "mql4run: " << error;
        if (!options.no_dlls) err << "; MetaTrader refuses to load the program the same way";
        err << '\n';
        return mql::kExitImport;
    }
    return mql::kExitSuccess;
}

// The terminal's settings, the Market Watch's symbols and the positions
// held before the program starts.
void set_up_terminal(const Options& options, const Charts& charts, mql::Terminal* terminal) {
    const mql::Chart& all = *charts.front();
    terminal->log_imports = options.log_imports;
    terminal->dlls_allowed = !options.no_dlls;
    terminal->not_ready = options.not_ready;
    terminal->dpi = options.dpi;
    terminal->notifications = options.notifications;
    terminal->trade_reply = options.trade_reply;
    terminal->netting = options.netting;
    terminal->fifo = options.fifo;
    terminal->requotes = options.requotes;
    terminal->terms.digits = options.digits;
    for (const std::string& symbol : options.hidden_symbols) terminal->hidden[symbol] = true;
    terminal->start_time = all.time.storage().back();
    terminal->pump = platform::dispatch_pending_messages;
    for (const auto& chart : charts) terminal->symbols.emplace_back(chart->symbol, chart.get());
    for (const auto& held : options.positions)
        terminal->positions.push_back(mql::Position{++terminal->orders, all.symbol, held.type, held.lots,
                                                    all.close.storage().back(), held.magic,
                                                    terminal->start_time - 86400, "held before the start"});
}

void set_up_chart(const Options& options, mql::Chart* chart) {
    chart->visible_bars = options.visible_bars;
    chart->period = options.period;
    if (options.white_chart) {
        chart->background = mql::clrWhite;
        chart->foreground = mql::clrBlack;
    }
}

// The inputs of each copy: the second and later take the copies' inputs besides.
int give_inputs(const Options& options, const mql::ProgramEntry& entry, const std::vector<ChartSession*>& copies,
                std::ostream& err) {
    for (ChartSession* copy : copies) {
        auto inputs = options.inputs;
        if (copy != copies.front()) inputs.insert(inputs.end(), options.copy_inputs.begin(), options.copy_inputs.end());
        for (const auto& [name, value] : inputs) {
            if (!copy->set_input(name, value)) {
                err << "mql4run: " << entry.file << " has no input " << name << " that takes '" << value << "'\n";
                return mql::kExitUsage;
            }
        }
    }
    return mql::kExitSuccess;
}

// The report, and the end of every copy: a copy removed first leaves the
// objects the others keep, which are printed before they end too.
void report_and_end(const Options& options, ChartSession& session, const std::vector<ChartSession*>& copies,
                    const mql::Terminal& terminal, std::ostream& out, std::ostream& err) {
    if (options.dump_buffers) print_buffers(session.program(), session.chart(), out);
    if (options.data_window) print_data_window(session.program(), out);
    if (options.remove_copy > 0) copies[static_cast<std::size_t>(options.remove_copy - 1)]->deinit(mql::REASON_REMOVE);
    print_objects(session.chart(), out);
    for (std::size_t copy = 0; copy < copies.size(); ++copy)
        if (static_cast<int>(copy) + 1 != options.remove_copy) copies[copy]->deinit(mql::REASON_REMOVE);
    if (options.count_calls) print_calls(terminal, err);
    print_positions(terminal, err);
    out << "deinit\t" << session.chart().objects.size() << '\n';
}

}  // namespace

const mql::ProgramEntry* find_program(const std::string& file) {
    const std::string wanted = mql::ascii_lower(base_name(file));
    for (const mql::ProgramEntry* entry = mql::programs; entry->file != nullptr; ++entry)
        if (mql::ascii_lower(entry->file) == wanted) return entry;
    return nullptr;
}

int reason_by_name(const std::string& name) {
    static const char* const kNames[] = {"program", "remove", "recompile", "chartchange", "chartclose",
                                         "parameters", "account", "template", "initfailed", "close"};
    for (int reason = 0; reason < 10; ++reason)
        if (name == kNames[reason]) return reason;
    return -1;
}

int run(const Options& options, std::ostream& out, std::ostream& err) {
    const mql::ProgramEntry* entry = find_program(options.program);
    if (entry == nullptr) return unknown_program(options.program, err);
    Charts charts;
    if (const int code = load_charts(options, &charts, err); code != mql::kExitSuccess) return code;
    const mql::Chart& all = *charts.front();
    if (const int code = check_runnable(options, *entry, all, err); code != mql::kExitSuccess) return code;
    Imports imports;
    const std::string folder = options.libraries.empty() ? platform::own_module_directory() : options.libraries;
    if (const int code = bind_program(options, *entry, folder, &imports, err); code != mql::kExitSuccess)
        return code;

    mql::Terminal terminal;
    set_up_terminal(options, charts, &terminal);
    CustomIndicators hidden_indicators(folder, &terminal, err);
    terminal.custom = [&hidden_indicators](mql::Program& caller, const std::string& symbol, int timeframe,
                                           const std::string& name, const std::vector<std::string>& inputs,
                                           int mode, int shift, double* value) {
        return hidden_indicators.buffer_value(caller, symbol, timeframe, name, inputs, mode, shift, value);
    };

    // The chart window (a real one in the Windows builds), destroyed by
    // this thread when the run ends.
    const platform::PlainWindow chart_window("mql4run chart");
    const intptr_t window = chart_window.handle();
    ChartSession session(*entry, imports, &terminal, window, all.symbol);
    set_up_chart(options, &session.chart());
    // Further copies of the program on the same chart; the first session
    // adds the bars, every copy calculates on them.
    std::vector<std::unique_ptr<ChartSession>> others;
    for (int copy = 2; copy <= options.copies; ++copy)
        others.push_back(std::make_unique<ChartSession>(*entry, imports, &terminal, window, all.symbol, &session.chart()));
    std::vector<ChartSession*> copies{&session};
    for (const auto& other : others) copies.push_back(other.get());
    if (const int code = give_inputs(options, *entry, copies, err); code != mql::kExitSuccess) return code;

    try {
        const Stage stage{options, *entry, imports, charts, terminal, window, session, copies, err};
        int code = mql::kExitSuccess;
        if (!play_timeline(stage, &code)) return code;
        report_and_end(options, session, copies, terminal, out, err);
        return code;
    } catch (const mql::RunStop& stop) {
        err << "mql4run: " << entry->file << ": " << stop.message << '\n';
        return stop.exit_code;
    } catch (const std::exception& failure) {  // out of memory and the like: the program stops
        err << "mql4run: " << entry->file << ": critical error: " << failure.what() << '\n';
        return mql::kExitRuntimeError;
    }
}

}  // namespace mql4run
