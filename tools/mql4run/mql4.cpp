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

int Program4::OrderSend(const string& symbol, int command, double volume, double price, int, double stoploss,
                        double takeprofit, const string& comment, int magic, datetime, color) {
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
    return place_order(symbol, command, volume, price, stoploss, takeprofit, comment, magic);
}

}  // namespace mql::mql4
