// The run's timeline (timeline.h), one step per stretch of the terminal's
// day: each step is what the command line asked for, in the order a
// terminal brings it.
#include "tools/mql4run/timeline.h"

#include <algorithm>
#include <string>

#include "platform/plain_window.h"

namespace mql4run {

namespace {

// The bars of the --data symbol, or null when no --data names it.
const mql::Chart* chart_of(const Stage& stage, const std::string& symbol) {
    const mql::Chart* found = nullptr;
    for (const auto& chart : stage.charts)
        if (chart->symbol == symbol) found = chart.get();
    return found;
}

// A template from another chart: the program runs there on the same
// inputs, the template takes that chart's objects as they are, and they
// come onto this chart before its program starts.
bool apply_template(const Stage& stage, int* exit_code) {
    const Options& options = stage.options;
    if (options.template_symbol.empty()) return true;
    const mql::Chart* from = chart_of(stage, options.template_symbol);
    if (from == nullptr) {
        stage.err << "mql4run: --template " << options.template_symbol << " is no --data symbol\n";
        *exit_code = mql::kExitUsage;
        return false;
    }
    ChartSession origin(stage.entry, stage.imports, &stage.terminal, stage.window, from->symbol);
    origin.chart().id = stage.session.chart().id + 1;
    origin.chart().visible_bars = options.visible_bars;
    origin.chart().period = options.period;
    for (const auto& [name, value] : options.inputs) origin.set_input(name, value);
    if (origin.init() != mql::INIT_SUCCEEDED) {
        stage.err << "mql4run: OnInit of " << stage.entry.file << " failed on the template's chart\n";
        *exit_code = mql::kExitRuntimeError;
        return false;
    }
    origin.calculate(*from, 0, from->time.size());
    for (const mql::ChartObject& object : origin.chart().objects) stage.session.chart().add(object);
    origin.deinit(mql::REASON_TEMPLATE);  // on its own chart: what was saved stays in the template
    return true;
}

// A script: every bar at once, then OnStart.
void run_script(const Stage& stage) {
    const mql::Chart& all = *stage.charts.front();
    stage.session.calculate(all, 0, all.time.size());
    stage.session.start();
}

// OnInit of every copy; a copy that fails is removed and ends the run.
bool start_copies(const Stage& stage, int* exit_code) {
    for (ChartSession* copy : stage.copies) {
        const int init = copy->init();
        if (init != mql::INIT_SUCCEEDED) {
            stage.err << "mql4run: OnInit of " << stage.entry.file << " failed (" << init << ")\n";
            copy->deinit(mql::REASON_REMOVE);
            *exit_code = mql::kExitRuntimeError;
            return false;
        }
    }
    return true;
}

// The history, then the new bars as they arrive: after each calculation
// the ticks with no new bar, and one firing of each copy's timer.
void feed_bars(const Stage& stage) {
    const Options& options = stage.options;
    const mql::Chart& all = *stage.charts.front();
    const int initial = all.time.size() - options.new_bars;
    const auto ticks = [&] {
        for (int tick = 0; tick < options.ticks; ++tick)
            for (ChartSession* copy : stage.copies) copy->tick();
    };
    const auto timers = [&] {
        for (ChartSession* copy : stage.copies) copy->timer();
    };
    const auto calculate = [&](int first, int count) {
        stage.session.add_bars(all, first, count);
        for (ChartSession* copy : stage.copies) copy->tick();
    };
    calculate(0, initial);
    ticks();
    timers();
    for (int bar = initial; bar < all.time.size(); bar += options.arrive) {
        // The virtual clock moves on by the bars' time: K bars that
        // arrive at once (after a disconnection) come in one instant.
        const int arriving = std::min(options.arrive, all.time.size() - bar);
        stage.terminal.clock_ms += static_cast<std::int64_t>(arriving) * stage.session.chart().period * 60000;
        calculate(bar, arriving);
        ticks();
        timers();
    }
}

// The clock runs on: each copy's timer fires at its interval.
void run_clock(const Stage& stage) {
    mql::Terminal& terminal = stage.terminal;
    const std::int64_t until = terminal.clock_ms + static_cast<std::int64_t>(stage.options.seconds) * 1000;
    for (ChartSession* copy : stage.copies) copy->timer_at(terminal.clock_ms);
    while (terminal.clock_ms < until) {
        terminal.clock_ms += 50;
        for (ChartSession* copy : stage.copies) copy->timer_at(terminal.clock_ms);
    }
}

// Each reinit: OnDeinit, then a fresh instance (on the switched symbol or
// timeframe, with the reinits' inputs besides) with OnInit and a full
// OnCalculate.
bool reinit(const Stage& stage, int* exit_code) {
    const Options& options = stage.options;
    const mql::Chart* switched_to = chart_of(stage, options.reinit_symbol);
    if (!options.reinit_symbol.empty() && switched_to == nullptr) {
        stage.err << "mql4run: --reinit-symbol " << options.reinit_symbol << " is no --data symbol\n";
        *exit_code = mql::kExitUsage;
        return false;
    }
    auto fresh_inputs = options.inputs;
    fresh_inputs.insert(fresh_inputs.end(), options.reinit_inputs.begin(), options.reinit_inputs.end());
    for (const auto& [reason, new_first] : options.reinits) {
        const int again = stage.session.reinit(reason, fresh_inputs, new_first, switched_to, options.reinit_period);
        if (again != mql::INIT_SUCCEEDED) {
            stage.err << "mql4run: OnInit of " << stage.entry.file << " failed after a reinit (" << again << ")\n";
            stage.session.deinit(mql::REASON_INITFAILED);
            *exit_code = mql::kExitRuntimeError;
            return false;
        }
    }
    return true;
}

// The clicks, then the hovers. A click or a hover that cannot happen is the
// command line's fault (2), or this build's (5): the run still ends with
// OnDeinit, then says so in its exit code, which this returns.
int clicks_and_hovers(const Stage& stage) {
    int refused = mql::kExitSuccess;
    for (const std::string& name : stage.options.clicks) {
        if (stage.session.chart().find(name) == nullptr) {
            stage.err << "mql4run: no object " << name << " to click\n";
            refused = mql::kExitUsage;
        } else {
            for (ChartSession* copy : stage.copies) copy->click(name);  // every program on the chart hears it
        }
    }
    for (const std::string& text : stage.options.hovers) {
        if (!platform::show_tooltip_over(stage.window, text)) {
            stage.err << "mql4run: --hover needs a chart window (the Windows builds)\n";
            if (refused == mql::kExitSuccess) refused = mql::kExitNotRunnable;
            break;
        }
        stage.session.timer();
    }
    return refused;
}

}  // namespace

bool play_timeline(const Stage& stage, int* exit_code) {
    *exit_code = mql::kExitSuccess;
    if (!apply_template(stage, exit_code)) return false;
    if (stage.entry.kind == mql::ProgramKind::script) {
        run_script(stage);
        return true;
    }
    if (!start_copies(stage, exit_code)) return false;
    feed_bars(stage);
    run_clock(stage);
    if (stage.options.reload) stage.session.reload();
    if (!reinit(stage, exit_code)) return false;
    *exit_code = clicks_and_hovers(stage);
    return true;
}

}  // namespace mql4run
