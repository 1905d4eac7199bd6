// A translated program's base: the built-ins both dialects share (output,
// indicator buffers, chart objects, market data, timers, global
// variables) and the import call. mql4.h and mql5.h add each dialect's own.
#pragma once

#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/stdcall_thunk.h"
#include "tools/mql4run/import_call.h"
#include "tools/mql4run/terminal.h"
#include "tools/mql4run/types.h"

namespace mql {
// A bar as CopyRates gives it.
struct MqlRates {
    datetime time = 0;
    double open = 0, high = 0, low = 0, close = 0;
    mql_long tick_volume = 0;
    int spread = 0;
    mql_long real_volume = 0;
};

// What the runner gives a program: its chart, the imports bound for it and
// the terminal (the virtual clock, where its output goes).
struct ProgramContext {
    Chart* chart = nullptr;
    Dialect dialect = Dialect::mql4;
    std::vector<BoundImport> imports;
    Terminal* terminal = nullptr;
};


// ---- the program ------------------------------------------------------------
// What both dialects share. A translated program derives from mql4::Program4
// (mql4.h) or mql5::Program5 (mql5.h), which add the built-ins of their own
// dialect only: a built-in of the other is not declared at all.
class Program {
public:
    // The indicator buffers bound so far, by index: each one's values
    // (oldest bar first; null for an unbound index) and its empty value.
    std::vector<std::pair<const std::vector<double>*, double>> indicator_buffers() const;
    // The program being made answers constructing() while its members are
    // made: the standard library's objects (CTrade) find their program so.
    Program() { constructing_ = this; }
    virtual ~Program() = default;
    static Program* constructing() { return constructing_; }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    void attach(const ProgramContext& context) { context_ = context; }
    Dialect dialect() const { return context_.dialect; }
    Chart& chart() { return *context_.chart; }
    // Another symbol's bars as this program may read them (see symbol_chart).
    // (The runner's own reads: never answered "not ready".)
    const Chart* runner_chart(const std::string& symbol, int* bars) { return symbol_chart(symbol, 0, bars, false); }
    Terminal& terminal() { return *context_.terminal; }

    virtual int OnInit() { return INIT_SUCCEEDED; }
    virtual void OnDeinit(const int) {}
    virtual void OnStart() {}
    virtual int OnCalculate(const int, const int, const array<datetime>&, const array<double>&,
                            const array<double>&, const array<double>&, const array<double>&,
                            const array<mql_long>&, const array<mql_long>&, const array<int>&) {
        return 0;
    }
    virtual void OnTimer() {}
    virtual void OnTick() {}
    virtual void OnChartEvent(const int, const mql_long&, const double&, const string&) {}

    // The runner's side.
    // Before each OnTick: the forming bar's close is the market price
    // (MQL4's Ask and Bid hold it).
    virtual void set_market_price(double) {}
    void grow_buffers(int bars);  // indicator buffers follow the chart's bar count
    int timer_ms() const { return timer_ms_; }
    // The reason OnDeinit is called for, as UninitializeReason() answers
    // during it (the runner sets it before the call).
    void set_uninitialize_reason(int reason) { uninitialize_reason_ = reason; }
    int UninitializeReason() const { return uninitialize_reason_; }
    int indicator_digits() const { return indicator_digits_; }
    // The program's #property indicator_buffers and indicator_plots (0 when
    // not given), as the translator reads them.
    virtual int declared_buffers() const { return 0; }
    virtual int declared_plots() const { return 0; }

protected:
    template <class R, class... A>
    R import_call(int slot, A... args);

    // Output.
    template <class... A>
    void Print(const A&... args) {
        std::ostringstream out;
        (append(out, args), ...);
        print_line(out.str());
    }
    template <class... A>
    void Alert(const A&... args) {
        std::ostringstream out;
        (append(out, args), ...);
        alert_line(out.str());
    }
    // At most 2 a second and 10 a minute, as the terminal allows; more ends
    // the run (the terminal drops them and the trader never hears).
    bool SendNotification(const string& text);
    void Comment(const string&) {}
    int GetLastError() { return last_error_; }
    void ResetLastError() { last_error_ = 0; }

    // Indicator buffers. MQL4 makes a bound buffer a series; MQL5 leaves
    // it as it is (not a series unless the program says so).
    bool SetIndexBuffer(int index, array<double>& buffer, ENUM_INDEXBUFFER_TYPE kind = INDICATOR_DATA);
    bool IndicatorSetInteger(ENUM_CUSTOMIND_PROPERTY_INTEGER property, mql_long value) {
        if (property == INDICATOR_DIGITS) indicator_digits_ = static_cast<int>(value);
        return true;
    }
    bool IndicatorSetDouble(ENUM_CUSTOMIND_PROPERTY_DOUBLE, double) { return true; }
    bool IndicatorSetString(ENUM_CUSTOMIND_PROPERTY_STRING, const string&) { return true; }
    void set_empty_value(int index, double value);
    // MQL4's IndicatorBuffers: the buffers for calculations, never fewer
    // than indicator_buffers, at most 512.
    bool set_buffer_count(int count);

    // The chart.
    string Symbol() { return string(chart().symbol); }
    mql_long ChartID() { return chart().id; }
    mql_long ChartGetInteger(mql_long chart_id, ENUM_CHART_PROPERTY_INTEGER property, int sub_window = 0);
    bool ChartRedraw(mql_long = 0) { return true; }
    mql_long TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER property);
    mql_long MQLInfoInteger(ENUM_MQL_INFO_INTEGER property) {
        return property == MQL_DLLS_ALLOWED ? terminal().dlls_allowed : 0;
    }

    // The Market Watch holds every symbol of the run.
    int SymbolsTotal(bool selected);
    string SymbolName(int pos, bool selected);
    bool SymbolSelect(const string& symbol, bool select);
    double SymbolInfoDouble(const string& symbol, ENUM_SYMBOL_INFO_DOUBLE property);
    mql_long SymbolInfoInteger(const string& symbol, ENUM_SYMBOL_INFO_INTEGER property);
    template <class S>
    void ZeroMemory(S& value) {
        value = S{};
    }

    // Objects.
    bool ObjectCreate(mql_long chart_id, const string& name, ENUM_OBJECT type, int sub_window, datetime time1,
                      double price1);
    // An object of two points (a trend line); the second is point 1.
    bool ObjectCreate(mql_long chart_id, const string& name, ENUM_OBJECT type, int sub_window, datetime time1,
                      double price1, datetime time2, double price2);
    // Moves point `point` (0 or 1) of the object.
    bool ObjectMove(mql_long chart_id, const string& name, int point, datetime time, double price);
    bool ObjectDelete(mql_long chart_id, const string& name);
    int ObjectFind(mql_long chart_id, const string& name);
    int ObjectsTotal(mql_long chart_id = 0, int sub_window = -1, int type = -1);
    string ObjectName(mql_long chart_id, int pos, int sub_window = -1, int type = -1);
    int ObjectsDeleteAll(mql_long chart_id, const string& prefix, int sub_window = -1, int type = -1);
    int ObjectsDeleteAll(mql_long chart_id = 0, int sub_window = -1, int type = -1);
    bool ObjectSetInteger(mql_long chart_id, const string& name, ENUM_OBJECT_PROPERTY_INTEGER property,
                          mql_long value);
    bool ObjectSetDouble(mql_long chart_id, const string& name, ENUM_OBJECT_PROPERTY_DOUBLE property, double value);
    bool ObjectSetString(mql_long chart_id, const string& name, ENUM_OBJECT_PROPERTY_STRING property,
                         const string& value);
    mql_long ObjectGetInteger(mql_long chart_id, const string& name, ENUM_OBJECT_PROPERTY_INTEGER property,
                              int modifier = 0);
    double ObjectGetDouble(mql_long chart_id, const string& name, ENUM_OBJECT_PROPERTY_DOUBLE property,
                           int modifier = 0);
    string ObjectGetString(mql_long chart_id, const string& name, ENUM_OBJECT_PROPERTY_STRING property,
                           int modifier = 0);

    // Timers and time, on the virtual clock.
    bool EventSetTimer(int seconds) { return EventSetMillisecondTimer(seconds * 1000); }
    bool EventSetMillisecondTimer(int milliseconds);
    void EventKillTimer() { timer_ms_ = 0; }
    void Sleep(int milliseconds);
    bool IsStopped() { return false; }
    uint GetTickCount() { return static_cast<uint>(terminal().clock_ms); }
    datetime TimeCurrent() { return terminal().start_time + terminal().clock_ms / 1000; }
    datetime TimeLocal() { return TimeCurrent(); }

    // Terminal global variables.
    datetime GlobalVariableSet(const string& name, double value);
    double GlobalVariableGet(const string& name);
    bool GlobalVariableCheck(const string& name);
    bool GlobalVariableDel(const string& name);
    // Sets the variable only while it holds `check`: one program of the
    // terminal wins when several would set it at once. False otherwise (or
    // when there is no such variable).
    bool GlobalVariableSetOnCondition(const string& name, double value, double check);

    // What the dialects' market data and trading are made of, timeframes in
    // minutes (0: the chart's).
    // The bars a program may read of a symbol (empty or the chart's own:
    // its chart; another: that symbol's bars up to the chart's newest time),
    // or null for an unknown symbol, another timeframe, or while the
    // terminal is still loading it (--not-ready: nothing, error 4066).
    const Chart* symbol_chart(const std::string& symbol, int minutes, int* bars, bool program_call = true);
    int bars_of(const string& symbol, int minutes);
    double bar_value(const string& symbol, int minutes, int shift, int field);
    mql_long volume_of(const string& symbol, int minutes, int shift);
    datetime time_of(const string& symbol, int minutes, int shift);
    int bar_shift(datetime time, bool exact);
    mql_long open_chart(const string& symbol, int minutes);
    // The chart's timeframe as a dialect's Period() answers it.
    int period_code() const;
    int minutes(int timeframe) const { return timeframe_minutes(context_.dialect, timeframe); }
    // Whether the trade server takes an order of that many lots.
    bool volume_allowed(double volume);
    // Prints an order as MQL4's OrderSend makes it; its ticket. With
    // `open`, the account holds it as a new position. `slippage`: the
    // points the order allows (-1: none given).
    int place_order(const string& symbol, int command, double volume, double price, double stoploss,
                    double takeprofit, const string& comment, mql_long magic, mql_long slippage = -1,
                    bool open = true);
    // The server's trade rules: whether it requotes this request (--requotes),
    // the open position with this ticket (null: none), whether FIFO rules
    // refuse closing it (an older position of its symbol is open) or opening
    // an order of `type` on `symbol` (a position the other way is open).
    bool requoted();
    Position* position(int ticket);
    bool fifo_refuses_close(const Position& position);
    bool fifo_refuses_open(const std::string& symbol, int type);
    // Closes `volume` of the position (all of it: it is gone), printed.
    void close_position(int ticket, double volume, double price);
    int copy_rates(const string& symbol, int minutes, int start, int count, array<MqlRates>& rates);
    // The value of buffer `mode` at `shift` of the named indicator (iCustom).
    bool custom_value(const std::string& symbol, int minutes, const std::string& name,
                      const std::vector<std::string>& inputs, int mode, int shift, double* value);

    static std::string custom_text(const string& v) { return v.str(); }
    static std::string custom_text(const char* v) { return v == nullptr ? "" : v; }
    static std::string custom_text(bool v) { return v ? "true" : "false"; }
    template <class T, class = std::enable_if_t<std::is_arithmetic_v<T> || std::is_enum_v<T>>>
    static std::string custom_text(T v) {
        if constexpr (std::is_floating_point_v<T>) {
            std::ostringstream out;
            out.precision(17);
            out << v;
            return out.str();
        } else {
            return std::to_string(static_cast<mql_long>(v));
        }
    }
    int last_error_ = 0;
    void print_line(const std::string& line);

private:
    static void append(std::ostringstream& out, const string& v) { out << v.str(); }
    static void append(std::ostringstream& out, const char* v) { out << v; }
    static void append(std::ostringstream& out, bool v) { out << (v ? "true" : "false"); }
    static void append(std::ostringstream& out, double v);
    template <class T, class = std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>>>
    static void append(std::ostringstream& out, T v) {
        out << static_cast<mql_long>(v);
    }
    void alert_line(const std::string& line);
    void log_import(const BoundImport& import, const std::vector<std::string>& args,
                    const std::string& result);
    [[noreturn]] void stack_mismatch(const BoundImport& import, std::int32_t difference);
    [[noreturn]] void pointer_refused(const BoundImport& import);
    [[noreturn]] void dll_calls_refused(const BoundImport& import);

    struct Buffer {
        array<double>* values = nullptr;
        double empty = kEmptyValue4;
    };
    static thread_local Program* constructing_;
    ProgramContext context_;
    std::vector<Buffer> buffers_;
    int uninitialize_reason_ = 0;
    int indicator_digits_ = 0;
    int extra_buffers_ = 0;  // MQL4's IndicatorBuffers(n): more buffers than the property's
    int timer_ms_ = 0;
};

// The market data both dialects read, with each dialect's timeframe type:
// minutes as an int in MQL4, ENUM_TIMEFRAMES codes in MQL5 (an int there is
// refused, as MetaEditor refuses it).
template <class Timeframe>
class MarketData : public Program {
protected:
    int iBars(const string& symbol, Timeframe timeframe) { return bars_of(symbol, minutes(timeframe)); }
    int Bars(const string& symbol, Timeframe timeframe) { return bars_of(symbol, minutes(timeframe)); }
    double iOpen(const string& symbol, Timeframe timeframe, int shift) { return bar_value(symbol, minutes(timeframe), shift, 0); }
    double iHigh(const string& symbol, Timeframe timeframe, int shift) { return bar_value(symbol, minutes(timeframe), shift, 1); }
    double iLow(const string& symbol, Timeframe timeframe, int shift) { return bar_value(symbol, minutes(timeframe), shift, 2); }
    double iClose(const string& symbol, Timeframe timeframe, int shift) { return bar_value(symbol, minutes(timeframe), shift, 3); }
    mql_long iVolume(const string& symbol, Timeframe timeframe, int shift) { return volume_of(symbol, minutes(timeframe), shift); }
    datetime iTime(const string& symbol, Timeframe timeframe, int shift) { return time_of(symbol, minutes(timeframe), shift); }
    int iBarShift(const string&, Timeframe, datetime time, bool exact = false) { return bar_shift(time, exact); }
    mql_long ChartOpen(const string& symbol, Timeframe timeframe) { return open_chart(symbol, minutes(timeframe)); }
    // `count` bars from `start` (a shift) backwards in time, into `rates` by
    // its direction; the number copied, or -1 (error 4066 while the
    // terminal loads the symbol).
    int CopyRates(const string& symbol, Timeframe timeframe, int start, int count, array<MqlRates>& rates) {
        return copy_rates(symbol, minutes(timeframe), start, count, rates);
    }

private:
    int minutes(Timeframe timeframe) const { return Program::minutes(static_cast<int>(timeframe)); }
};

template <class R, class... A>
R Program::import_call(int slot, A... args) {
    const BoundImport& import = context_.imports.at(static_cast<std::size_t>(slot));
    if (!terminal().dlls_allowed) dll_calls_refused(import);
    if (import.pointer_through_int) pointer_refused(import);
    // R is void, std::int32_t, std::int64_t or double.
    using Value = std::conditional_t<std::is_void_v<R>, int, R>;
    Value result{};
    if constexpr (platform::kCheckedStdcall) {
        std::vector<std::uint32_t> words;
        (push_words(&words, args), ...);
        platform::StdcallResult raw;
        std::int32_t difference = 0;
        platform::call_stdcall_checked(import.address, words.data(), static_cast<int>(words.size()),
                                       std::is_floating_point_v<R>, &raw, &difference);
        if (difference != 0) stack_mismatch(import, difference);
        if constexpr (std::is_floating_point_v<R>) {
            result = raw.st0;
        } else if constexpr (sizeof(Value) == 8) {
            result = static_cast<Value>(static_cast<std::uint64_t>(raw.edx) << 32 | raw.eax);
        } else {
            result = static_cast<Value>(raw.eax);
        }
    } else {
        using Function = R (*)(typename A::c_type...);
        if constexpr (std::is_void_v<R>)
            reinterpret_cast<Function>(import.address)(args.value...);
        else
            result = reinterpret_cast<Function>(import.address)(args.value...);
    }
    if (terminal().log_imports) {
        std::ostringstream shown;
        if constexpr (!std::is_void_v<R>) append(shown, result);
        log_import(import, {args.shown()...}, shown.str());
    }
    if constexpr (!std::is_void_v<R>) return result;
}

}  // namespace mql
