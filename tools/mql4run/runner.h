// Runs a translated MQL4 program the way MetaTrader 4 runs it: binds its
// #import blocks to DLLs, puts it on a chart of CSV bars, calls its event
// handlers, and reports the chart objects it leaves. runner.cpp strings
// the run together; each part below says the file that holds it.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dynamic_library.h"
#include "tools/mql4run/registry.h"

namespace mql4run {

struct Options {
    std::string program;    // file name of a kit program, e.g. BarsightVSA.mq4
    // Each symbol's CSV of date,open,high,low,close,volume (the last row is
    // the forming bar); the first is the chart's. `--data FILE` names its
    // symbol SAMPLE.
    std::vector<std::pair<std::string, std::string>> data;
    std::string libraries;  // folder of the DLLs; empty: the runner's own folder
    std::vector<std::pair<std::string, std::string>> inputs;
    int new_bars = 0;
    int arrive = 1;  // new bars reach the program this many at a time (after a disconnection)
    std::vector<std::string> clicks;
    std::vector<std::string> hovers;  // tooltip texts the chart window shows after the clicks
    int ticks = 0;        // OnCalculate (an Expert Advisor: OnTick) calls after each calculation with no new bar
    int visible_bars = 120;  // the newest bars the chart window shows
    bool reload = false;  // a last OnCalculate with prev_calculated 0 (history reloaded)
    bool log_imports = false;
    bool no_dlls = false;  // "Allow DLL imports" switched off
    bool dump_buffers = false;  // print the indicator buffers after the last calculation
    // After the calculations, each: OnDeinit(reason), then a fresh instance
    // (globals reset, the same inputs) with OnInit and a full OnCalculate.
    // (reason, whether the old instance's OnDeinit comes after the fresh one's start)
    std::vector<std::pair<int, bool>> reinits;
    // The terminal around the program.
    int copies = 1;  // instances of the program on the one chart (the same inputs)
    std::vector<std::pair<std::string, std::string>> copy_inputs;  // what the second and later copies take besides
    int remove_copy = 0;  // after the run, this copy (1-based) is removed first; the others then
    int not_ready = 0;    // the first N reads of another symbol find nothing; BarsCalculated lags N calls
    int seconds = 0;      // after the bars: the virtual clock runs on this long, firing the timers
    bool white_chart = false;
    int dpi = 96;
    bool notifications = true;
    bool data_window = false;  // print each MQL5 plot the Data Window shows
    bool count_calls = false;  // print how often the program called the counted built-ins
    std::vector<std::string> hidden_symbols;  // --data symbols not in the Market Watch until SymbolSelect
    unsigned trade_reply = 0;  // the retcode MQL5 market orders get (0: done)
    // The trade server: a netting account (MetaTrader 5), FIFO rules, the
    // next N orders and closes requoted, the symbol's digits, and positions
    // open before the program starts (type 0 buy, 1 sell; lots; magic).
    bool netting = false;
    bool fifo = false;
    int requotes = 0;
    int digits = 5;
    struct Held {
        int type;
        double lots;
        long long magic;
    };
    std::vector<Held> positions;
    int period = 1440;          // the chart's timeframe in minutes (D1)
    int reinit_period = 0;      // the reinits switch the chart to this timeframe (minutes; 0: none)
    // --template: the objects of a run on this symbol's chart (another
    // chart) are on the chart when the program starts, as a template saved
    // there and applied here brings them.
    std::string template_symbol;
    std::string reinit_symbol;  // the reinits switch the chart to this symbol (a --data symbol)
    std::vector<std::pair<std::string, std::string>> reinit_inputs;  // the fresh instances take these besides
};

// Reading the command line: the program (runner.cpp) and its bars (bars.cpp).

// The reason of an MQL4 REASON_ name in lower case without "REASON_"
// ("chartchange"), or -1.
int reason_by_name(const std::string& name);

// `--data`'s value: SYMBOL=FILE (a symbol of letters, digits and . _ # -)
// or FILE alone, whose symbol is SAMPLE.
std::pair<std::string, std::string> data_argument(const std::string& text);

// The kit program of that file name (case-insensitive, folder ignored), or null.
const mql::ProgramEntry* find_program(const std::string& file);

// Bars of the CSV file, oldest first. False with a reason on a bad file
// (bars.cpp).
bool load_bars(const std::string& path, mql::Chart* bars, std::string* error);

// Imports (imports.cpp).

// Natively, the first import a script's OnStart can reach that carries an
// address through an MQL4 int ("Name of Library"), or "" when none does.
std::string address_import_reached(const mql::ProgramEntry& program);

// The DLLs of a program's #import blocks, loaded and bound by export name.
class Imports {
public:
    // False with a reason when a library or an export is missing.
    bool bind(const mql::ProgramEntry& program, const std::string& folder, std::string* error);
    // With "Allow DLL imports" off (MetaTrader 4): the imports by name, no
    // library loaded; a call stops the program.
    void declare(const mql::ProgramEntry& program);
    const std::vector<mql::BoundImport>& bound() const { return bound_; }

private:
    std::vector<std::pair<std::string, platform::DynamicLibrary>> libraries_;
    std::vector<mql::BoundImport> bound_;
};

// A program's imports as the terminal binds them: loaded from `folder`;
// with DLL imports not allowed, declared only in MetaTrader 4 (the first
// call stops the program) and refused in MetaTrader 5 for a program that
// has any. False with a reason when it cannot load.
bool bind_imports(const mql::ProgramEntry& program, const std::string& folder, bool dlls_allowed,
                  Imports* imports, std::string* error);

// One chart running one program (chart_session.cpp).
class ChartSession {
public:
    // With `shared`, the session runs on that chart (another copy's) and
    // adds no bars of its own.
    ChartSession(const mql::ProgramEntry& entry, const Imports& imports, mql::Terminal* terminal,
                 intptr_t window, const std::string& symbol = "SAMPLE", mql::Chart* shared = nullptr);
    mql::Chart& chart() { return *chart_; }
    mql::Program& program() { return *program_; }
    bool set_input(const std::string& name, const std::string& value);
    int init();
    // Adds bars (oldest first) and calls OnCalculate once.
    void calculate(const mql::Chart& all, int first, int count);
    // Adds bars without a calculation (the terminal loading history).
    void add_bars(const mql::Chart& all, int first, int count);
    // OnCalculate again on the same bars: a tick of the forming bar (an
    // Expert Advisor's OnTick).
    void tick();
    // OnCalculate with prev_calculated 0, as after a reload of history.
    void reload();
    void click(const std::string& object);
    void timer();
    // The timer, if set, when the clock reaches its next firing.
    void timer_at(std::int64_t now_ms);
    void start() { program_->OnStart(); }
    void deinit(int reason);
    // OnDeinit(reason), then a fresh instance of the program with `inputs`,
    // OnInit and a full OnCalculate on the same chart, as a terminal does
    // on a timeframe switch or a change of inputs; with `new_first` the old
    // instance's OnDeinit comes last, after the fresh one's OnInit and
    // OnCalculate. The OnInit result.
    // With `switched_to`, the chart shows that symbol's bars from the
    // reinit on (a symbol switch: MetaTrader's REASON_CHARTCHANGE).
    int reinit(int reason, const std::vector<std::pair<std::string, std::string>>& inputs, bool new_first = false,
               const mql::Chart* switched_to = nullptr, int period = 0);

private:
    mql::ProgramContext context_;
    const mql::ProgramEntry& entry_;
    mql::Terminal* terminal_;
    mql::Chart own_chart_;
    mql::Chart* chart_;
    std::unique_ptr<mql::Program> program_;
    int prev_calculated_ = 0;
    std::int64_t timer_due_ms_ = -1;
};

// The whole run of the command line; returns the exit code (runner.cpp:
// the timeline in timeline.cpp, the report in report.cpp).
int run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace mql4run
