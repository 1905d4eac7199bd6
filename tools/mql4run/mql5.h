// The MQL5 side of the runtime: the names MetaTrader 5's language has and
// MetaTrader 4's does not. A translated .mq5 program derives from Program5
// and sees mql and mql::mql5 only.
#pragma once

#include "tools/mql4run/builtins.h"
#include "tools/mql4run/program.h"

namespace mql::mql5 {

constexpr double EMPTY_VALUE = kEmptyValue5;
// MQL5's 21 timeframes: minutes up to 30, then 0x4000 | hours, 0x8000 | 1
// week, 0xC000 | 1 month. A built-in takes only these, never an int.
enum ENUM_TIMEFRAMES : int {
    PERIOD_CURRENT = 0, PERIOD_M1 = 1, PERIOD_M2 = 2, PERIOD_M3 = 3, PERIOD_M4 = 4, PERIOD_M5 = 5,
    PERIOD_M6 = 6, PERIOD_M10 = 10, PERIOD_M12 = 12, PERIOD_M15 = 15, PERIOD_M20 = 20, PERIOD_M30 = 30,
    PERIOD_H1 = 0x4001, PERIOD_H2 = 0x4002, PERIOD_H3 = 0x4003, PERIOD_H4 = 0x4004, PERIOD_H6 = 0x4006,
    PERIOD_H8 = 0x4008, PERIOD_H12 = 0x400C, PERIOD_D1 = 0x4018, PERIOD_W1 = 0x8001, PERIOD_MN1 = 0xC001
};
enum ENUM_PLOT_PROPERTY_INTEGER : int {
    PLOT_ARROW = 0, PLOT_ARROW_SHIFT = 1, PLOT_DRAW_BEGIN = 2, PLOT_DRAW_TYPE = 3, PLOT_SHOW_DATA = 4,
    PLOT_SHIFT = 5, PLOT_LINE_STYLE = 6, PLOT_LINE_WIDTH = 7, PLOT_COLOR_INDEXES = 8, PLOT_LINE_COLOR = 9
};
enum ENUM_PLOT_PROPERTY_DOUBLE : int { PLOT_EMPTY_VALUE = 0 };
enum ENUM_PLOT_PROPERTY_STRING : int { PLOT_LABEL = 0 };
enum ENUM_TRADE_REQUEST_ACTIONS : int { TRADE_ACTION_DEAL = 1 };
enum ENUM_ORDER_TYPE : int { ORDER_TYPE_BUY = 0, ORDER_TYPE_SELL = 1 };
enum ENUM_ORDER_TYPE_FILLING : int { ORDER_FILLING_FOK = 0, ORDER_FILLING_IOC = 1, ORDER_FILLING_RETURN = 2 };
constexpr uint TRADE_RETCODE_REQUOTE = 10004, TRADE_RETCODE_PLACED = 10008, TRADE_RETCODE_DONE = 10009,
               TRADE_RETCODE_DONE_PARTIAL = 10010, TRADE_RETCODE_INVALID = 10013, TRADE_RETCODE_INVALID_VOLUME = 10014,
               TRADE_RETCODE_PRICE_CHANGED = 10020, TRADE_RETCODE_PRICE_OFF = 10021,
               TRADE_RETCODE_INVALID_FILL = 10030, TRADE_RETCODE_POSITION_CLOSED = 10036,
               TRADE_RETCODE_FIFO_CLOSE = 10045, TRADE_RETCODE_HEDGE_PROHIBITED = 10046;
enum ENUM_ACCOUNT_INFO_INTEGER : int { ACCOUNT_MARGIN_MODE = 32, ACCOUNT_FIFO_CLOSE = 50 };
enum ENUM_ACCOUNT_MARGIN_MODE : int {
    ACCOUNT_MARGIN_MODE_RETAIL_NETTING = 0, ACCOUNT_MARGIN_MODE_EXCHANGE = 1, ACCOUNT_MARGIN_MODE_RETAIL_HEDGING = 2
};
enum ENUM_POSITION_PROPERTY_INTEGER : int { POSITION_TICKET = 0, POSITION_TIME = 1, POSITION_TYPE = 2, POSITION_MAGIC = 3 };
enum ENUM_POSITION_PROPERTY_DOUBLE : int { POSITION_VOLUME = 0, POSITION_PRICE_OPEN = 1 };
enum ENUM_POSITION_PROPERTY_STRING : int { POSITION_SYMBOL = 0, POSITION_COMMENT = 1 };
enum ENUM_POSITION_TYPE : int { POSITION_TYPE_BUY = 0, POSITION_TYPE_SELL = 1 };
constexpr int ERR_HISTORY_NOT_FOUND = 4401, ERR_INDICATOR_DATA_NOT_FOUND = 4806;

// MQL5's trims work in place; the number of characters removed.
int StringTrimLeft(string& text);
int StringTrimRight(string& text);

struct MqlTradeRequest {
    ENUM_TRADE_REQUEST_ACTIONS action{};
    mql_ulong magic = 0;
    string symbol;
    double volume = 0, price = 0, sl = 0, tp = 0;
    mql_ulong deviation = 0;
    mql_ulong position = 0;  // the position a deal closes (a hedging account)
    ENUM_ORDER_TYPE type{};
    ENUM_ORDER_TYPE_FILLING type_filling{};
    string comment;
};
struct MqlTradeResult {
    uint retcode = 0;
    mql_ulong deal = 0, order = 0;
    double volume = 0, price = 0;
    string comment;
};

class CTrade;

class Program5 : public MarketData<ENUM_TIMEFRAMES> {
    friend class CTrade;

protected:
    // Plots: a plot is its buffer here.
    bool PlotIndexSetInteger(int index, ENUM_PLOT_PROPERTY_INTEGER property, mql_long value);
    // With a modifier: PLOT_LINE_COLOR's colour of that index (a DRAW_COLOR_* plot).
    bool PlotIndexSetInteger(int index, ENUM_PLOT_PROPERTY_INTEGER property, int modifier, mql_long /*colour*/) {
        if (!plot_declared(index)) return false;
        if (property != PLOT_LINE_COLOR || modifier < 0 || modifier >= 64) {
            last_error_ = 4002;
            return false;
        }
        return true;
    }
    bool PlotIndexSetDouble(int index, ENUM_PLOT_PROPERTY_DOUBLE property, double value) {
        if (!plot_declared(index)) return false;
        if (property == PLOT_EMPTY_VALUE) set_empty_value(index, value);
        return true;
    }
    bool PlotIndexSetString(int index, ENUM_PLOT_PROPERTY_STRING property, const string& value) {
        if (!plot_declared(index)) return false;
        if (property == PLOT_LABEL) plot(index).label = value.str();
        return true;
    }

    ENUM_TIMEFRAMES Period() { return static_cast<ENUM_TIMEFRAMES>(period_code()); }

    // A market order: checked as a trade server checks it (a filling mode
    // the symbol allows, a volume within its minimum, maximum and step),
    // then printed as MQL4's OrderSend prints it. False with the reason in
    // `result.retcode` otherwise.
    // The account (--netting, --fifo, --requotes): a hedging account holds
    // a position a deal, and a deal naming `request.position` closes (part
    // of) that one; a netting account one position a symbol, which an
    // opposite deal reduces, closes or reverses.
    [[nodiscard]] bool OrderSend(const MqlTradeRequest& request, MqlTradeResult& result);
    mql_long AccountInfoInteger(ENUM_ACCOUNT_INFO_INTEGER property);
    // The open positions, oldest first; PositionGetTicket selects one by
    // its index, PositionSelectByTicket by ticket; the PositionGet* read the
    // selected one as it was when selected.
    int PositionsTotal() { return static_cast<int>(terminal().positions.size()); }
    mql_ulong PositionGetTicket(int index);
    bool PositionSelectByTicket(mql_ulong ticket);
    mql_long PositionGetInteger(ENUM_POSITION_PROPERTY_INTEGER property);
    double PositionGetDouble(ENUM_POSITION_PROPERTY_DOUBLE property);
    string PositionGetString(ENUM_POSITION_PROPERTY_STRING property);

    // MQL5's iCustom: a handle to the indicator with these inputs, read
    // with CopyBuffer.
    template <class... A>
    int iCustom(const string& symbol, ENUM_TIMEFRAMES timeframe, const string& name, const A&... inputs) {
        handles_.push_back({symbol.str(), Program::minutes(timeframe), name.str(), {custom_text(inputs)...}, true, 0, 0});
        return static_cast<int>(handles_.size()) + 9;  // MetaTrader's first handle is 10
    }
    // `count` values of buffer `buffer` from `start` (a shift) backwards in
    // time, into `out` by its direction; the number copied, or -1.
    int CopyBuffer(int handle, int buffer, int start, int count, array<double>& out);
    // How many bars the indicator behind `handle` has calculated (it is
    // brought up to date first), or -1 (not calculated yet: --not-ready).
    int BarsCalculated(int handle);
    bool IndicatorRelease(int handle);

public:
    // A plot as the Data Window sees it: a row for each plot it shows,
    // named by its label (a DRAW_NONE plot shown is a blank-looking row).
    struct Plot {
        int draw_type = DRAW_LINE;
        bool shown = true;
        std::string label;
    };
    const std::vector<Plot>& plots() const { return plots_; }

private:
    struct CustomHandle {
        std::string symbol;
        int minutes;
        std::string name;
        std::vector<std::string> inputs;
        bool live;
        int calculated_calls;  // BarsCalculated calls so far
        int seen_bars;         // the chart's bars at the last BarsCalculated
    };
    std::vector<CustomHandle> handles_;
    std::vector<Plot> plots_;
    Position selected_;
    // A deal the server has taken, on the account's positions.
    void book_deal(const MqlTradeRequest& request, double filled, MqlTradeResult& result);
    Plot& plot(int index);
    // Whether the indicator declares plot `index`; error 4002 otherwise.
    bool plot_declared(int index);
    // The handle's entry (live or released), or null for a handle never given.
    CustomHandle* handle_entry(int handle);
};

// The standard library's CTrade (#include <Trade\Trade.mqh>), as far as
// the runner models it: market deals (Buy, Sell) through OrderSend at the
// symbol's price with the magic number, deviation and filling set on it;
// PositionClose of a symbol closes the symbol's first open position (as
// PositionSelect finds it) by its ticket with the opposite deal; the last
// request's result (ResultRetcode, ResultDeal, ResultOrder, ResultVolume,
// ResultPrice).
class CTrade {
public:
    CTrade() : program_(dynamic_cast<Program5*>(Program::constructing())) {}
    void SetExpertMagicNumber(mql_ulong magic) { magic_ = magic; }
    void SetDeviationInPoints(mql_ulong deviation) { deviation_ = deviation; }
    void SetTypeFilling(ENUM_ORDER_TYPE_FILLING filling) { filling_ = filling; }
    bool Buy(double volume, const string& symbol = string(), double price = 0.0, double sl = 0.0, double tp = 0.0,
             const string& comment = string()) {
        return deal(ORDER_TYPE_BUY, volume, symbol, price, sl, tp, comment);
    }
    bool Sell(double volume, const string& symbol = string(), double price = 0.0, double sl = 0.0,
              double tp = 0.0, const string& comment = string()) {
        return deal(ORDER_TYPE_SELL, volume, symbol, price, sl, tp, comment);
    }
    bool PositionClose(const string& symbol, mql_ulong deviation = ~mql_ulong{0});
    uint ResultRetcode() const { return result_.retcode; }
    mql_ulong ResultDeal() const { return result_.deal; }
    mql_ulong ResultOrder() const { return result_.order; }
    double ResultVolume() const { return result_.volume; }
    double ResultPrice() const { return result_.price; }
    string ResultComment() const { return result_.comment; }

private:
    bool deal(ENUM_ORDER_TYPE type, double volume, const string& symbol, double price, double sl, double tp,
              const string& comment, mql_ulong position = 0);
    Program5* program_;
    mql_ulong magic_ = 0, deviation_ = 10;
    ENUM_ORDER_TYPE_FILLING filling_ = ORDER_FILLING_FOK;
    MqlTradeResult result_;
};

}  // namespace mql::mql5
