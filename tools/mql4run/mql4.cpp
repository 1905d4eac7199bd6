// The built-ins only MetaTrader 4's language has (mql4.h): its trims, the
// chart window, market information and the order functions.
#include "tools/mql4run/mql4.h"

#include <cmath>

#include "tools/mql4run/text.h"

namespace mql::mql4 {

string StringTrimLeft(const string& text) { return string(trimmed_left(text.str())); }
string StringTrimRight(const string& text) { return string(trimmed_right(text.str())); }

int Program4::WindowHandle(const string& symbol, int timeframe) {
    if (symbol.str() != chart().symbol || (timeframe != 0 && Program::minutes(timeframe) != chart().period)) return 0;
    return static_cast<int>(chart().window);
}

bool Program4::RefreshRates() {
    const bool changed = stale_;
    Ask = Bid = market_price_;
    stale_ = false;
    return changed;
}

double Program4::MarketInfo(const string&, int type) {
    const SymbolTerms& terms = terminal().terms;
    switch (type) {
    case MODE_MINLOT: return terms.volume_min;
    case MODE_MAXLOT: return terms.volume_max;
    case MODE_LOTSTEP: return terms.volume_step;
    default: return 0;
    }
}

int Program4::OrderSend(const string& symbol, int command, double volume, double price, int slippage,
                        double stoploss, double takeprofit, const string& comment, int magic, datetime, color) {
    if (stale_) {
        // The prices moved during the program's long call; the order asks
        // for an old one.
        last_error_ = ERR_REQUOTE;
        print_line("order refused: requote (Ask and Bid not refreshed since a long call: RefreshRates)");
        return -1;
    }
    if (!volume_allowed(volume)) {
        last_error_ = 131;  // ERR_INVALID_TRADE_VOLUME
        print_line("order refused: invalid trade volume");
        return -1;
    }
    if (requoted()) {
        last_error_ = ERR_REQUOTE;
        print_line("order refused: requote");
        return -1;
    }
    if (fifo_refuses_open(symbol.str(), command)) {
        last_error_ = ERR_TRADE_HEDGE_PROHIBITED;
        print_line("order refused: hedging prohibited (FIFO account, a position the other way is open)");
        return -1;
    }
    return place_order(symbol, command, volume, price, stoploss, takeprofit, comment, magic, slippage);
}

bool Program4::OrderClose(int ticket, double lots, double price, int, color) {
    Position* open = position(ticket);
    if (open == nullptr) {
        last_error_ = ERR_INVALID_TICKET;
        print_line("close refused: no open order #" + std::to_string(ticket));
        return false;
    }
    if (stale_ || requoted()) {
        last_error_ = ERR_REQUOTE;
        print_line("close refused: requote");
        return false;
    }
    if (!(lots > 0) || lots > open->volume + 1e-9 || !volume_allowed(lots)) {
        last_error_ = 131;  // ERR_INVALID_TRADE_VOLUME
        print_line("close refused: invalid trade volume");
        return false;
    }
    if (fifo_refuses_close(*open)) {
        last_error_ = ERR_TRADE_PROHIBITED_BY_FIFO;
        print_line("close refused: FIFO (an older position of " + open->symbol + " is open)");
        return false;
    }
    close_position(ticket, lots, price);
    return true;
}

bool Program4::OrderSelect(int index, int select, int pool) {
    if (pool != MODE_TRADES) return false;
    const auto& positions = terminal().positions;
    if (select == SELECT_BY_POS) {
        if (index < 0 || static_cast<std::size_t>(index) >= positions.size()) return false;
        selected_ = positions[static_cast<std::size_t>(index)];
        return true;
    }
    const Position* open = position(index);
    if (open == nullptr) return false;
    selected_ = *open;
    return true;
}

}  // namespace mql::mql4
