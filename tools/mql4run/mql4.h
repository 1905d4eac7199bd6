// The MQL4 side of the runtime: the names MetaTrader 4's language has and
// MetaTrader 5's does not. A translated .mq4 program derives from Program4
// and sees mql and mql::mql4 only.
#pragma once

#include "tools/mql4run/builtins.h"
#include "tools/mql4run/program.h"

namespace mql::mql4 {

constexpr double EMPTY_VALUE = kEmptyValue4;
// MQL4's timeframes are minutes; a built-in takes them as an int. The
// reference lists the non-standard ones (M2 ... H12) too: offline charts use
// them.
enum ENUM_TIMEFRAMES : int {
    PERIOD_CURRENT = 0, PERIOD_M1 = 1, PERIOD_M2 = 2, PERIOD_M3 = 3, PERIOD_M4 = 4, PERIOD_M5 = 5, PERIOD_M6 = 6,
    PERIOD_M10 = 10, PERIOD_M12 = 12, PERIOD_M15 = 15, PERIOD_M20 = 20, PERIOD_M30 = 30, PERIOD_H1 = 60,
    PERIOD_H2 = 120, PERIOD_H3 = 180, PERIOD_H4 = 240, PERIOD_H6 = 360, PERIOD_H8 = 480, PERIOD_H12 = 720,
    PERIOD_D1 = 1440, PERIOD_W1 = 10080, PERIOD_MN1 = 43200
};
constexpr int OP_BUY = 0, OP_SELL = 1;
constexpr int MODE_LOTSTEP = 24, MODE_MINLOT = 23, MODE_MAXLOT = 25;
constexpr int ERR_NO_ERROR = 0, ERR_PRICE_CHANGED = 135, ERR_OFF_QUOTES = 136, ERR_REQUOTE = 138,
              ERR_TRADE_CONTEXT_BUSY = 146, ERR_TRADE_HEDGE_PROHIBITED = 149, ERR_TRADE_PROHIBITED_BY_FIFO = 150,
              ERR_INVALID_TICKET = 4108, ERR_HISTORY_WILL_UPDATED = 4066;
constexpr int SELECT_BY_POS = 0, SELECT_BY_TICKET = 1, MODE_TRADES = 0, MODE_HISTORY = 1;

inline string CharToStr(uchar code) { return CharToString(code); }
// MQL4's trims: a new string without the leading / trailing blanks.
string StringTrimLeft(const string& text);
string StringTrimRight(const string& text);

class Program4 : public MarketData<int> {
public:
    // MQL4's predefined prices: the forming bar's close, set before each
    // OnTick and again by RefreshRates.
    double Ask = 0, Bid = 0;
    void set_market_price(double price) override {
        market_price_ = price;
        Ask = Bid = price;
        stale_ = false;
    }

protected:
    // Indicator buffers and their looks.
    void SetIndexStyle(int, int, int = EMPTY, int = EMPTY, color = clrNONE) {}
    void SetIndexLabel(int, const string&) {}
    void SetIndexArrow(int, int) {}
    void SetIndexEmptyValue(int index, double value) { set_empty_value(index, value); }
    void IndicatorShortName(const string&) {}
    bool IndicatorBuffers(int count) { return set_buffer_count(count); }
    void IndicatorDigits(int digits) { IndicatorSetInteger(INDICATOR_DIGITS, digits); }

    // "Allow DLL imports" (the runner's --no-dlls switches it off).
    bool IsDllsAllowed() { return MQLInfoInteger(MQL_DLLS_ALLOWED) != 0; }

    // The chart, in minutes.
    int Period() { return period_code(); }
    int WindowHandle(const string& symbol, int timeframe);

    // Orders: an order is printed ("order: ...") and given the next ticket
    // number; the account holds it open until OrderClose ("close: ...").
    // An order at prices older than the newest (Ask and Bid not refreshed
    // after a long call) is refused with ERR_REQUOTE, as a dealer requotes
    // it, and so are the first orders and closes --requotes names; FIFO
    // rules (--fifo) refuse an order against an open one of its symbol
    // (ERR_TRADE_HEDGE_PROHIBITED) and a close with an older one of its
    // symbol open (ERR_TRADE_PROHIBITED_BY_FIFO).
    [[nodiscard]] int OrderSend(const string& symbol, int command, double volume, double price, int slippage,
                                double stoploss, double takeprofit, const string& comment = string(),
                                int magic = 0, datetime expiration = 0, color arrow = clrNONE);
    [[nodiscard]] bool OrderClose(int ticket, double lots, double price, int slippage, color arrow = clrNONE);
    int OrdersTotal() { return static_cast<int>(terminal().positions.size()); }
    // The open orders only (MODE_TRADES): by position, oldest first, or by
    // ticket. The selected order's values stay as they were when selected.
    bool OrderSelect(int index, int select, int pool = MODE_TRADES);
    int OrderTicket() { return selected_.ticket; }
    int OrderType() { return selected_.type; }
    string OrderSymbol() { return string(selected_.symbol); }
    int OrderMagicNumber() { return static_cast<int>(selected_.magic); }
    double OrderLots() { return selected_.volume; }
    double OrderOpenPrice() { return selected_.price; }
    datetime OrderOpenTime() { return selected_.time; }
    bool RefreshRates();
    double MarketInfo(const string& symbol, int type);

    // A custom indicator's buffer value: iCustom(symbol, timeframe, name,
    // inputs..., mode, shift), the inputs in the indicator's input order.
    // The call takes the terminal's time: the prices may move meanwhile.
    template <class... A>
    double iCustom(const string& symbol, int timeframe, const string& name, const A&... rest) {
        static_assert(sizeof...(A) >= 2, "iCustom needs a buffer index and a shift");
        std::vector<std::string> values{custom_text(rest)...};
        const int shift = std::stoi(values.back());
        values.pop_back();
        const int mode = std::stoi(values.back());
        values.pop_back();
        stale_ = true;
        double value = EMPTY_VALUE;
        if (!custom_value(symbol.str(), Program::minutes(timeframe), name.str(), values, mode, shift, &value))
            return EMPTY_VALUE;
        return value;
    }

private:
    double market_price_ = 0;
    Position selected_;
    bool stale_ = false;  // a long call came after the last price update
};

}  // namespace mql::mql4
