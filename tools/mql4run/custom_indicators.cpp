// The indicators Expert Advisors read through iCustom (custom_indicators.h):
// finding the indicator of the caller's kit, starting it hidden, feeding it
// its symbol's bars, reading its buffers.
#include "tools/mql4run/custom_indicators.h"

#include <utility>

#include "tools/mql4run/text.h"

namespace mql4run {

struct CustomIndicators::Hidden {
    Imports bound;
    std::unique_ptr<ChartSession> instance;
    std::string source_symbol;  // empty: the caller's own chart
    const mql::Chart* feed_chart(mql::Program& caller, int* bars) const {
        if (source_symbol.empty() || source_symbol == caller.chart().symbol) {
            *bars = caller.chart().time.size();
            return &caller.chart();
        }
        return caller.runner_chart(source_symbol, bars);
    }
};

CustomIndicators::CustomIndicators(std::string folder, mql::Terminal* terminal, std::ostream& err)
    : folder_(std::move(folder)), terminal_(terminal), err_(err) {}

CustomIndicators::~CustomIndicators() {
    for (auto& [key, hidden] : hidden_) {
        // An indicator whose start stopped the run (a critical error in its
        // OnInit) has no entry.
        if (hidden == nullptr || hidden->instance == nullptr) continue;
        try {
            hidden->instance->deinit(mql::REASON_REMOVE);
        } catch (...) {  // the run has ended; nothing to report to
        }
    }
}

bool CustomIndicators::buffer_value(mql::Program& caller, const std::string& symbol, int timeframe,
                                    const std::string& name, const std::vector<std::string>& inputs, int mode,
                                    int shift, double* value) {
    std::string key = symbol + '\n' + std::to_string(timeframe) + '\n' + name;
    for (const std::string& input : inputs) key += '\n' + input;
    auto& hidden = hidden_[key];
    if (hidden == nullptr) hidden = start_hidden(caller, symbol, name, inputs);
    if (hidden->instance == nullptr) return false;
    int bars = 0;
    const mql::Chart* source = hidden->feed_chart(caller, &bars);
    mql::Chart& chart = hidden->instance->chart();
    if (source != nullptr && bars > chart.time.size())
        hidden->instance->calculate(*source, chart.time.size(), bars - chart.time.size());
    const auto buffers = hidden->instance->program().indicator_buffers();
    if (mode < 0 || static_cast<std::size_t>(mode) >= buffers.size() || buffers[static_cast<std::size_t>(mode)].first == nullptr)
        return false;
    const std::vector<double>& values = *buffers[static_cast<std::size_t>(mode)].first;
    if (shift < 0 || static_cast<std::size_t>(shift) >= values.size()) return false;
    *value = values[values.size() - 1 - static_cast<std::size_t>(shift)];
    return true;
}

std::unique_ptr<CustomIndicators::Hidden> CustomIndicators::start_hidden(mql::Program& caller,
                                                                         const std::string& symbol,
                                                                         const std::string& name,
                                                                         const std::vector<std::string>& inputs) {
    auto hidden = std::make_unique<Hidden>();
    hidden->source_symbol = symbol;
    // An indicator of the caller's own kit: BarsightVSA is .mq4 for an
    // MQL4 program and .mq5 for an MQL5 one.
    const std::string extension = caller.dialect() == mql::Dialect::mql5 ? ".mq5" : ".mq4";
    std::string file = name;
    if (mql::ascii_lower(file).size() < 4 || mql::ascii_lower(file).compare(file.size() - 4, 4, extension) != 0)
        file += extension;
    const mql::ProgramEntry* entry = find_program(file);
    std::string error;
    if (entry == nullptr || entry->kind != mql::ProgramKind::indicator) {
        err_ << "mql4run: iCustom: no indicator " << name << '\n';
        return hidden;
    }
    if (!bind_imports(*entry, folder_, terminal_->dlls_allowed, &hidden->bound, &error)) {
        err_ << "mql4run: iCustom: " << error << '\n';
        return hidden;
    }
    const std::string own = symbol.empty() ? caller.chart().symbol : symbol;
    auto session = std::make_unique<ChartSession>(*entry, hidden->bound, terminal_, caller.chart().window, own);
    for (std::size_t i = 0; i < inputs.size() && entry->inputs[i].name != nullptr; ++i) {
        if (!session->set_input(entry->inputs[i].name, inputs[i]))
            err_ << "mql4run: iCustom: " << name << " input " << entry->inputs[i].name << " does not take '"
                 << inputs[i] << "'\n";
    }
    if (session->init() != mql::INIT_SUCCEEDED) {
        err_ << "mql4run: iCustom: OnInit of " << name << " failed\n";
        session->deinit(mql::REASON_INITFAILED);
        return hidden;
    }
    hidden->instance = std::move(session);
    return hidden;
}

}  // namespace mql4run
