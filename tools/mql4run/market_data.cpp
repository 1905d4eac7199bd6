// Market data: timeframes, the Market Watch, other symbols' bars.
#include "tools/mql4run/program.h"

#include <algorithm>
#include <limits>

namespace mql {

mql_long Program::open_chart(const string& symbol, int minutes) {
    int bars = 0;
    if (symbol_chart(symbol.str(), 0, &bars, false) == nullptr) return 0;
    // In minutes whatever the dialect, so both kits' runs read alike.
    print_line("chart opened: " + symbol.str() + " " + std::to_string(minutes == 0 ? chart().period : minutes));
    return 1;  // the runner has one chart window; the opened chart is only reported
}

int timeframe_minutes(Dialect dialect, int timeframe) {
    if (dialect == Dialect::mql4) return timeframe;
    // MQL5: minutes up to 30; 0x4000 | hours; 0x8000 | 1 a week; 0xC000 | 1 a month.
    switch (timeframe & 0xC000) {
    case 0x4000: return (timeframe & 0x3FFF) * 60;
    case 0x8000: return (timeframe & 0x3FFF) * 10080;
    case 0xC000: return (timeframe & 0x3FFF) * 43200;
    default: return timeframe;
    }
}

int Program::period_code() const {
    if (context_.dialect == Dialect::mql4) return context_.chart->period;
    const int period = context_.chart->period;
    if (period % 43200 == 0) return 0xC000 | period / 43200;
    if (period % 10080 == 0) return 0x8000 | period / 10080;
    if (period >= 60 && period % 60 == 0) return 0x4000 | period / 60;
    return period;
}

double Program::SymbolInfoDouble(const string& symbol, ENUM_SYMBOL_INFO_DOUBLE property) {
    const SymbolTerms& terms = terminal().terms;
    switch (property) {
    case SYMBOL_BID:
    case SYMBOL_ASK: return bar_value(symbol, 0, 0, 3);  // the forming bar's close, as Ask and Bid
    case SYMBOL_VOLUME_MIN: return terms.volume_min;
    case SYMBOL_VOLUME_MAX: return terms.volume_max;
    case SYMBOL_VOLUME_STEP: return terms.volume_step;
    }
    return 0;
}

mql_long Program::SymbolInfoInteger(const string&, ENUM_SYMBOL_INFO_INTEGER property) {
    if (property == SYMBOL_FILLING_MODE) return terminal().terms.filling;
    if (property == SYMBOL_DIGITS) return terminal().terms.digits;
    return 0;
}

bool Program::SymbolSelect(const string& symbol, bool select) {
    int bars = 0;
    if (symbol_chart(symbol.str(), 0, &bars, false) == nullptr) return false;  // no such symbol on the server
    terminal().selected[symbol.str()] = select;
    if (select) terminal().hidden.erase(symbol.str());
    return true;
}

// ---- other symbols ------------------------------------------------------------------
int Program::SymbolsTotal(bool) { return static_cast<int>(terminal().symbols.size()); }

string Program::SymbolName(int pos, bool) {
    const auto& symbols = terminal().symbols;
    if (pos < 0 || static_cast<std::size_t>(pos) >= symbols.size()) return string();
    return string(symbols[static_cast<std::size_t>(pos)].first);
}

const Chart* Program::symbol_chart(const std::string& symbol, int minutes, int* bars, bool program_call) {
    *bars = 0;
    if (minutes != 0 && minutes != chart().period) return nullptr;  // one timeframe per run
    if (symbol.empty() || symbol == chart().symbol) {
        *bars = chart().time.size();
        return &chart();
    }
    for (const auto& [name, other] : terminal().symbols) {
        if (name != symbol) continue;
        if (program_call && terminal().hidden.count(name) != 0) {
            last_error_ = 4106;  // ERR_UNKNOWN_SYMBOL: not in the Market Watch
            return nullptr;
        }
        if (program_call && terminal().not_ready > 0) {
            // The terminal loads another symbol's history on its first
            // requests: they find nothing until it is there.
            int& asked = terminal().loading[name + '\n' + std::to_string(minutes)];
            if (asked < terminal().not_ready) {
                ++asked;
                last_error_ = 4066;  // ERR_HISTORY_WILL_UPDATED
                return nullptr;
            }
        }
        const auto& times = other->time.storage();
        const auto& own = chart().time.storage();
        const datetime now = own.empty() ? std::numeric_limits<datetime>::min() : own.back();
        *bars = static_cast<int>(std::upper_bound(times.begin(), times.end(), now) - times.begin());
        return other;
    }
    return nullptr;
}

int Program::bars_of(const string& symbol, int minutes) {
    ++terminal().calls["iBars"];
    int bars = 0;
    symbol_chart(symbol.str(), minutes, &bars);
    return bars;
}

double Program::bar_value(const string& symbol, int minutes, int shift, int field) {
    static const char* const kNames[] = {"iOpen", "iHigh", "iLow", "iClose"};
    ++terminal().calls[kNames[field]];
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || shift < 0 || shift >= bars) return 0;  // MQL4 answers 0
    const auto at = static_cast<std::size_t>(bars - 1 - shift);
    const array<double>* series[] = {&source->open, &source->high, &source->low, &source->close};
    return series[field]->storage()[at];
}

mql_long Program::volume_of(const string& symbol, int minutes, int shift) {
    ++terminal().calls["iVolume"];
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || shift < 0 || shift >= bars) return 0;
    return source->tick_volume.storage()[static_cast<std::size_t>(bars - 1 - shift)];
}

datetime Program::time_of(const string& symbol, int minutes, int shift) {
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || shift < 0 || shift >= bars) return 0;
    return source->time.storage()[static_cast<std::size_t>(bars - 1 - shift)];
}

int Program::copy_rates(const string& symbol, int minutes, int start, int count, array<MqlRates>& rates) {
    ++terminal().calls["CopyRates"];
    int bars = 0;
    const Chart* source = symbol_chart(symbol.str(), minutes, &bars);
    if (source == nullptr || start < 0 || count <= 0 || start >= bars) return -1;
    const int copied = std::min(count, bars - start);
    rates.resize(copied);
    // Oldest first in storage; a series array reads it from the newest.
    auto& storage = rates.storage();
    const int oldest = bars - start - copied;
    for (int i = 0; i < copied; ++i) {
        const auto at = static_cast<std::size_t>(oldest + i);
        MqlRates& bar = storage[static_cast<std::size_t>(i)];
        bar.time = source->time.storage()[at];
        bar.open = source->open.storage()[at];
        bar.high = source->high.storage()[at];
        bar.low = source->low.storage()[at];
        bar.close = source->close.storage()[at];
        bar.tick_volume = source->tick_volume.storage()[at];
        bar.real_volume = source->volume.storage()[at];
        bar.spread = source->spread.storage()[at];
    }
    return copied;
}

int Program::bar_shift(datetime time, bool exact) {
    const auto& times = chart().time.storage();
    if (times.empty()) return -1;
    // The newest bar whose time is not after `time`.
    auto it = std::upper_bound(times.begin(), times.end(), time);
    if (it == times.begin()) return exact ? -1 : static_cast<int>(times.size()) - 1;
    --it;
    if (exact && *it != time) return -1;
    return static_cast<int>(times.end() - it) - 1;
}

}  // namespace mql
