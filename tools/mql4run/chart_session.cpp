// The chart session: one program on one chart, and each event the terminal
// brings it (bars, ticks, timers, clicks, its end and a fresh start), each
// followed by the chart window's pending messages.
#include "tools/mql4run/runner.h"

#include <utility>

#include "platform/plain_window.h"

namespace mql4run {

namespace {

void copy_bar(const mql::Chart& from, int index, mql::Chart* to) {
    // The source is read in storage order (oldest first) whatever its direction.
    const auto at = [index](const auto& a) { return a.storage()[static_cast<std::size_t>(index)]; };
    to->time.append(at(from.time));
    to->open.append(at(from.open));
    to->high.append(at(from.high));
    to->low.append(at(from.low));
    to->close.append(at(from.close));
    to->tick_volume.append(at(from.tick_volume));
    to->volume.append(at(from.volume));
    to->spread.append(at(from.spread));
}

}  // namespace

ChartSession::ChartSession(const mql::ProgramEntry& entry, const Imports& imports, mql::Terminal* terminal,
                           intptr_t window, const std::string& symbol, mql::Chart* shared)
    : entry_(entry), terminal_(terminal), chart_(shared != nullptr ? shared : &own_chart_) {
    if (shared == nullptr) {
        own_chart_.window = window;
        own_chart_.symbol = symbol;
    }
    context_.chart = chart_;
    context_.dialect = entry.dialect;
    context_.imports = imports.bound();
    context_.terminal = terminal;
    program_ = entry.create(context_);
}

bool ChartSession::set_input(const std::string& name, const std::string& value) {
    for (const mql::InputDecl* input = entry_.inputs; input->name != nullptr; ++input)
        if (name == input->name) return input->set(*program_, value);
    return false;
}

int ChartSession::init() { return program_->OnInit(); }

void ChartSession::calculate(const mql::Chart& all, int first, int count) {
    add_bars(all, first, count);
    tick();
}

void ChartSession::add_bars(const mql::Chart& all, int first, int count) {
    for (int i = first; i < first + count; ++i) copy_bar(all, i, chart_);
    // OnCalculate's arrays count from the newest bar in MetaTrader 4 and
    // from the oldest in MetaTrader 5, until the program says otherwise.
    const bool series = entry_.dialect == mql::Dialect::mql4;
    for (auto* prices : {&chart_->open, &chart_->high, &chart_->low, &chart_->close})
        prices->set_series(series);
    chart_->time.set_series(series);
    chart_->tick_volume.set_series(series);
    chart_->volume.set_series(series);
    chart_->spread.set_series(series);
}

void ChartSession::tick() {
    if (entry_.kind == mql::ProgramKind::expert) {
        const auto& closes = chart_->close.storage();
        program_->set_market_price(closes.empty() ? 0.0 : closes.back());
        program_->OnTick();
        platform::dispatch_pending_messages();
        return;
    }
    program_->grow_buffers(chart_->time.size());
    prev_calculated_ = program_->OnCalculate(chart_->time.size(), prev_calculated_, chart_->time, chart_->open,
                                             chart_->high, chart_->low, chart_->close, chart_->tick_volume,
                                             chart_->volume, chart_->spread);
    platform::dispatch_pending_messages();
}

void ChartSession::reload() {
    prev_calculated_ = 0;
    tick();
}

void ChartSession::timer() {
    if (program_->timer_ms() <= 0) return;
    terminal_->clock_ms += program_->timer_ms();
    program_->OnTimer();
    platform::dispatch_pending_messages();
}

void ChartSession::timer_at(std::int64_t now_ms) {
    if (program_->timer_ms() <= 0) {
        timer_due_ms_ = -1;
        return;
    }
    if (timer_due_ms_ < 0) timer_due_ms_ = now_ms;  // set since the last look: counts from now
    if (now_ms < timer_due_ms_ + program_->timer_ms()) return;
    timer_due_ms_ = now_ms;
    program_->OnTimer();
    platform::dispatch_pending_messages();
}

void ChartSession::click(const std::string& object) {
    program_->OnChartEvent(mql::CHARTEVENT_OBJECT_CLICK, 0, 0.0, mql::string(object));
    platform::dispatch_pending_messages();
}

void ChartSession::deinit(int reason) {
    program_->set_uninitialize_reason(reason);
    program_->OnDeinit(reason);
    platform::dispatch_pending_messages();
}

int ChartSession::reinit(int reason, const std::vector<std::pair<std::string, std::string>>& inputs,
                         bool new_first, const mql::Chart* switched_to, int period) {
    if (!new_first) deinit(reason);
    if (period > 0) chart_->period = period;  // a timeframe switch
    if (switched_to != nullptr) {
        // The same chart window, objects and all, now on the other symbol's bars.
        mql::Chart& chart = *chart_;
        chart.symbol = switched_to->symbol;
        for (auto* series : {&chart.open, &chart.high, &chart.low, &chart.close}) series->resize(0);
        chart.time.resize(0);
        chart.tick_volume.resize(0);
        chart.volume.resize(0);
        chart.spread.resize(0);
        add_bars(*switched_to, 0, switched_to->time.size());
    }
    std::unique_ptr<mql::Program> fresh = entry_.create(context_);
    std::swap(program_, fresh);  // the inputs go to the fresh instance
    for (const auto& [name, value] : inputs) set_input(name, value);
    const int result = init();
    prev_calculated_ = 0;
    tick();
    if (new_first) {
        // The old instance goes last, after the new one has drawn.
        std::swap(program_, fresh);
        deinit(reason);
        std::swap(program_, fresh);
    }
    return result;
}

}  // namespace mql4run
