// The terminal a translated program runs in (mql4run's MetaTrader): the
// chart and its objects, the Market Watch, the trade server's terms, the
// virtual clock, global variables and the limits a terminal puts on
// notifications and data that is still loading. One per process, shared
// by every chart.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tools/mql4run/types.h"

namespace mql {
// ---- the chart a program runs on -------------------------------------------
struct ChartObject {
    std::string name;
    int type = 0;
    int window = 0;
    std::map<int, mql_long> integers;
    std::map<int, double> doubles;
    std::map<int, std::string> strings;
    // A second point (a trend line's end).
    bool two_points = false;
    datetime time2 = 0;
    double price2 = 0;
};

struct Chart {
    std::string symbol = "SAMPLE";
    int period = 1440;  // minutes (D1)
    mql_long id = 133000000000000001;  // ChartID(): a number of the size MetaTrader gives
    intptr_t window = 0;  // the chart window (a real window in the Windows build)
    int visible_bars = 120;  // how many of the newest bars the window shows
    // The chart's colours: MetaTrader's default black chart (--white-chart:
    // a white one, as many traders set it).
    color background = clrBlack, foreground = clrWhite;
    // Bars, oldest first.
    array<datetime> time;
    array<double> open, high, low, close;
    array<mql_long> tick_volume, volume;
    array<int> spread;
    std::list<ChartObject> objects;  // in creation order
    ChartObject* find(const std::string& name);
    // Creation, look-up and deletion by name in constant time, as a chart
    // with tens of thousands of arrows needs.
    ChartObject* add(ChartObject object);
    bool remove(const std::string& name);
    template <class Predicate>
    int remove_if(Predicate wanted) {
        int removed = 0;
        for (auto it = objects.begin(); it != objects.end();) {
            if (wanted(*it)) {
                by_name_.erase(it->name);
                it = objects.erase(it);
                ++removed;
            } else {
                ++it;
            }
        }
        return removed;
    }

private:
    std::unordered_map<std::string, std::list<ChartObject>::iterator> by_name_;
};

// What the trade server allows for the symbols (one set for all here).
struct SymbolTerms {
    double volume_min = 0.01, volume_max = 100, volume_step = 0.01;
    int filling = 2;  // SYMBOL_FILLING_IOC only: a FOK order is refused
    int digits = 5;
};

// A position the trade server holds open (in MetaTrader 4 a market order).
struct Position {
    int ticket = 0;
    std::string symbol;
    int type = 0;  // 0 buy, 1 sell
    double volume = 0, price = 0;
    mql_long magic = 0;
    datetime time = 0;  // when it opened
    std::string comment;
};

// Shared by every program of one process: the virtual clock,
// global variables, options, the symbols of the Market Watch and the
// indicators Expert Advisors read through iCustom.
class Program;
struct Terminal {
    std::int64_t clock_ms = 0;  // virtual milliseconds since the run began
    datetime start_time = 0;
    bool log_imports = false;
    // "Allow DLL imports" (--no-dlls: off). Off, MetaTrader 4 stops a
    // program at its first import call; MetaTrader 5 does not load one that
    // has imports.
    bool dlls_allowed = true;
    bool notifications = true;
    std::vector<std::int64_t> notified_ms;  // when each notification was sent
    // --not-ready N: the first N reads of each other symbol or timeframe
    // find nothing (the terminal is loading it), and an indicator handle's
    // BarsCalculated answers -1 its first N times.
    int not_ready = 0;
    std::map<std::string, int> loading;  // reads answered "not ready" so far, by symbol and minutes
    std::map<std::string, bool> selected;  // the Market Watch's symbols that SymbolSelect changed
    SymbolTerms terms;
    // Symbols the server has but the Market Watch does not show yet: their
    // bars come only once SymbolSelect(symbol, true) has added them.
    std::map<std::string, bool> hidden;
    // --trade-reply: the retcode the trade server answers an MQL5 market
    // order with (0: done); DONE_PARTIAL fills half.
    unsigned trade_reply = 0;
    // The account: its open positions, oldest first; a netting account
    // (--netting: MetaTrader 5 holds one position a symbol, an opposite deal
    // reduces, closes or reverses it) or a hedging one (one a deal); FIFO
    // rules (--fifo: a position closes only when no older one of its symbol
    // is open, and no order opens against an open position of its symbol).
    std::vector<Position> positions;
    bool netting = false;
    bool fifo = false;
    // --requotes N: the server requotes the next N market orders and closes.
    int requotes = 0;
    // --count-calls: how often the program called each counted built-in.
    std::map<std::string, long> calls;
    int dpi = 96;  // the screen's (TERMINAL_SCREEN_DPI): 144 at 150% scaling
    std::map<std::string, double> globals;
    std::function<void()> pump;  // dispatches the chart window's messages
    std::vector<std::string> alerts;
    int orders = 0;  // tickets given so far
    // Every symbol's whole history (oldest first), the chart's first; a
    // program sees another symbol's bars up to the chart's newest bar.
    std::vector<std::pair<std::string, const Chart*>> symbols;
    // iCustom: the value of buffer `mode` at `shift` of the named indicator
    // with `inputs` (in its input order) on `symbol`'s chart; false when
    // there is none (no such indicator, buffer or bar).
    std::function<bool(Program& caller, const std::string& symbol, int timeframe, const std::string& name,
                       const std::vector<std::string>& inputs, int mode, int shift, double* value)>
        custom;
};

}  // namespace mql
