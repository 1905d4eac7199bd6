// The MQL4 runtime of mql4run: the types, built-in functions and chart a
// translated program (tools/mql4run/translate.py) runs against, and the
// calls into the DLLs its #import blocks name.
//
// A program is a class derived from Program: its globals are members, its
// functions member functions, and the built-ins below are members too, so
// each instance (one chart) has its own buffers, objects and timer.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <limits>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mql {

using mql_long = std::int64_t;
using mql_ulong = std::uint64_t;
using datetime = std::int64_t;  // seconds since 1970
using uchar = unsigned char;
using ushort = unsigned short;
using uint = unsigned int;
using color = unsigned int;  // 0x00BBGGRR

// Ends the run with an exit code; the runner prints the message.
struct RunStop {
    int exit_code;
    std::string message;
};

// Exit codes of mql4run.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitRuntimeError = 1,  // the program stopped on a critical error (array out of range, ...)
    kExitUsage = 2,
    kExitImport = 3,
    kExitStack = 4,
    kExitNotRunnable = 5,
};

[[noreturn]] void critical_error(const std::string& what);

// MQL4's string: text as UTF-8 here (the kit's texts are ASCII; MQL4's own
// are UTF-16, which the conversions below honour).
class string {
public:
    string() = default;
    string(const char* text) : text_(text == nullptr ? "" : text) {}
    string(std::string text) : text_(std::move(text)) {}
    const std::string& str() const { return text_; }
    string& operator+=(const string& other) {
        text_ += other.text_;
        return *this;
    }
    friend string operator+(const string& a, const string& b) { return string(a.text_ + b.text_); }
    friend string operator+(const char* a, const string& b) { return string(std::string(a) + b.text_); }
    friend string operator+(const string& a, const char* b) { return string(a.text_ + b); }
    // MQL4 turns a number into text when it is added to a string.
    template <class N, class = std::enable_if_t<std::is_arithmetic_v<N>>>
    friend string operator+(const string& a, N b) {
        return a + text_of(b);
    }
    template <class N, class = std::enable_if_t<std::is_arithmetic_v<N>>>
    friend string operator+(N a, const string& b) {
        return text_of(a) + b;
    }
    friend bool operator==(const string& a, const string& b) { return a.text_ == b.text_; }
    friend bool operator!=(const string& a, const string& b) { return a.text_ != b.text_; }
    friend bool operator<(const string& a, const string& b) { return a.text_ < b.text_; }
    friend bool operator==(const string& a, const char* b) { return a.text_ == (b ? b : ""); }
    friend bool operator!=(const string& a, const char* b) { return !(a == b); }

private:
    template <class N>
    static string text_of(N value) {
        if constexpr (std::is_same_v<N, bool>)
            return string(value ? "true" : "false");
        else if constexpr (std::is_floating_point_v<N>)
            return string(shortest_text(static_cast<double>(value)));
        else
            return string(std::to_string(value));
    }
    static std::string shortest_text(double value);
    std::string text_;
};

// A dynamic MQL4 array. A series array counts from its newest element
// (index 0 is the last stored), as OnCalculate's arrays and indicator
// buffers do in MetaTrader 4; the storage is always oldest first, which is
// also what a DLL receives.
template <class T>
class array {
public:
    int size() const { return static_cast<int>(data_.size()); }
    T& operator[](int index) { return data_[checked(index)]; }
    const T& operator[](int index) const { return data_[checked(index)]; }
    bool series() const { return series_; }
    void set_series(bool series) const { series_ = series; }
    // Storage grows and shrinks at its end, whatever the direction.
    void resize(int size) { data_.resize(static_cast<std::size_t>(size < 0 ? 0 : size)); }
    void append(const T& value) { data_.push_back(value); }
    std::vector<T>& storage() { return data_; }
    const std::vector<T>& storage() const { return data_; }

private:
    std::size_t checked(int index) const {
        if (index < 0 || index >= size())
            critical_error("array out of range (index " + std::to_string(index) + ", size " +
                           std::to_string(size()) + ")");
        return static_cast<std::size_t>(series_ ? size() - 1 - index : index);
    }
    std::vector<T> data_;
    mutable bool series_ = false;
};

// ---- constants -------------------------------------------------------------
constexpr int INIT_SUCCEEDED = 0, INIT_FAILED = 1, INIT_PARAMETERS_INCORRECT = 2;
constexpr double EMPTY_VALUE = 2147483647.0;  // MQL4's; an MQL5 program's class holds DBL_MAX
constexpr int EMPTY = -1, WHOLE_ARRAY = 0;
constexpr int STYLE_SOLID = 0, STYLE_DASH = 1, STYLE_DOT = 2;
constexpr int OP_BUY = 0, OP_SELL = 1;
constexpr uint CP_ACP = 0, CP_UTF8 = 65001;
constexpr int DRAW_LINE = 0, DRAW_SECTION = 1, DRAW_HISTOGRAM = 2, DRAW_ARROW = 3,
              DRAW_ZIGZAG = 4, DRAW_NONE = 12;
constexpr int OBJ_VLINE = 0, OBJ_HLINE = 1, OBJ_TEXT = 21, OBJ_ARROW = 22, OBJ_LABEL = 23,
              OBJ_ARROW_THUMB_UP = 29, OBJ_ARROW_UP = 31, OBJ_ARROW_DOWN = 32;
constexpr int OBJPROP_TIME = 0, OBJPROP_PRICE = 1, OBJPROP_COLOR = 6, OBJPROP_STYLE = 7,
              OBJPROP_WIDTH = 8, OBJPROP_BACK = 9, OBJPROP_ARROWCODE = 14, OBJPROP_FONTSIZE = 100,
              OBJPROP_CORNER = 101, OBJPROP_XDISTANCE = 102, OBJPROP_YDISTANCE = 103,
              OBJPROP_SELECTABLE = 1000, OBJPROP_HIDDEN = 208, OBJPROP_ANCHOR = 1011,
              OBJPROP_TEXT = 999, OBJPROP_FONT = 1001, OBJPROP_TOOLTIP = 206;
// Arrows anchor by top or bottom; texts and labels by one of nine points.
constexpr int ANCHOR_TOP = 0, ANCHOR_BOTTOM = 1;
constexpr int ANCHOR_LEFT_UPPER = 0, ANCHOR_LEFT = 1, ANCHOR_LEFT_LOWER = 2, ANCHOR_LOWER = 3,
              ANCHOR_RIGHT_LOWER = 4, ANCHOR_RIGHT = 5, ANCHOR_RIGHT_UPPER = 6, ANCHOR_UPPER = 7,
              ANCHOR_CENTER = 8;
constexpr int CORNER_LEFT_UPPER = 0, CORNER_RIGHT_UPPER = 1, CORNER_LEFT_LOWER = 2,
              CORNER_RIGHT_LOWER = 3;
constexpr int CHARTEVENT_KEYDOWN = 0, CHARTEVENT_OBJECT_CLICK = 1, CHARTEVENT_CLICK = 4,
              CHARTEVENT_CHART_CHANGE = 9;
constexpr int CHART_VISIBLE_BARS = 100, CHART_WINDOW_HANDLE = 102, CHART_FIRST_VISIBLE_BAR = 104;
constexpr int TERMINAL_NOTIFICATIONS_ENABLED = 26;
constexpr int TIME_DATE = 1, TIME_MINUTES = 2, TIME_SECONDS = 4;
// MQL4's ten deinitialisation reasons.
constexpr int REASON_PROGRAM = 0, REASON_REMOVE = 1, REASON_RECOMPILE = 2, REASON_CHARTCHANGE = 3,
              REASON_CHARTCLOSE = 4, REASON_PARAMETERS = 5, REASON_ACCOUNT = 6, REASON_TEMPLATE = 7,
              REASON_INITFAILED = 8, REASON_CLOSE = 9;
// MetaTrader 5's program dialect differs from MetaTrader 4's where the
// kit meets it: series indexing is off by default, EMPTY_VALUE is DBL_MAX,
// timeframes are codes (PERIOD_H1 is 16385), iCustom answers a handle.
enum class Dialect { mql4, mql5 };
using ENUM_TIMEFRAMES = int;  // MQL4: minutes; MQL5: the codes below (the class shadows these)
constexpr int PERIOD_CURRENT = 0, PERIOD_M1 = 1, PERIOD_M5 = 5, PERIOD_M15 = 15, PERIOD_M30 = 30,
              PERIOD_H1 = 60, PERIOD_H4 = 240, PERIOD_D1 = 1440, PERIOD_W1 = 10080, PERIOD_MN1 = 43200;
// MQL5's indicator properties and trade requests.
constexpr int INDICATOR_DATA = 0, INDICATOR_COLOR_INDEX = 1, INDICATOR_CALCULATIONS = 2;
constexpr int PLOT_DRAW_TYPE = 0, PLOT_LINE_STYLE = 1, PLOT_LINE_WIDTH = 2, PLOT_LINE_COLOR = 3,
              PLOT_EMPTY_VALUE = 4, PLOT_LABEL = 5, PLOT_ARROW = 6, PLOT_DRAW_BEGIN = 7;
constexpr int INDICATOR_DIGITS = 0, INDICATOR_SHORTNAME = 1, INDICATOR_MINIMUM = 2;
constexpr int INVALID_HANDLE = -1;
constexpr int TRADE_ACTION_DEAL = 1, ORDER_TYPE_BUY = 0, ORDER_TYPE_SELL = 1, ORDER_FILLING_FOK = 0,
              ORDER_FILLING_IOC = 1, ORDER_FILLING_RETURN = 2, TRADE_RETCODE_DONE = 10009;
constexpr int SYMBOL_BID = 1, SYMBOL_ASK = 4;
// A timeframe of either dialect in minutes (0 stays 0: the chart's).
int timeframe_minutes(Dialect dialect, int timeframe);
// Web colours as MQL4 names them (0x00BBGGRR).
constexpr color clrNONE = 0xFFFFFFFFu, CLR_NONE = 0xFFFFFFFFu, clrRed = 0x0000FF,
                clrLimeGreen = 0x32CD32, clrSilver = 0xC0C0C0, clrGreen = 0x008000,
                clrBlue = 0xFF0000, clrGold = 0x00D7FF, clrWhite = 0xFFFFFF, clrBlack = 0,
                clrGray = 0x808080, clrDimGray = 0x696969, clrOrange = 0x00A5FF,
                clrDodgerBlue = 0xFF901E, clrDeepSkyBlue = 0xFFBF00, clrAqua = 0xFFFF00,
                clrSpringGreen = 0x7FFF00, clrSeaGreen = 0x578B2E, clrOrangeRed = 0x0045FF,
                clrCrimson = 0x3C14DC, clrMagenta = 0xFF00FF, clrYellow = 0x00FFFF,
                clrDarkOrange = 0x008CFF, clrSteelBlue = 0xB48246, clrSlateGray = 0x908070;

// ---- the chart a program runs on -------------------------------------------
struct ChartObject {
    std::string name;
    int type = 0;
    int window = 0;
    std::map<int, mql_long> integers;
    std::map<int, double> doubles;
    std::map<int, std::string> strings;
};

struct Chart {
    std::string symbol = "SAMPLE";
    int period = PERIOD_D1;
    intptr_t window = 0;  // the chart window (a real window in the Windows build)
    int visible_bars = 120;  // how many of the newest bars the window shows
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

// What the runner gives a program: its chart, the imports bound for it, the
// virtual clock and where its output goes.
struct BoundImport {
    const char* library = nullptr;
    const char* name = nullptr;
    void* address = nullptr;
    bool pointer_through_int = false;  // this build cannot pass its addresses
};

struct Runner;
struct ProgramContext {
    Chart* chart = nullptr;
    Dialect dialect = Dialect::mql4;
    std::vector<BoundImport> imports;
    Runner* runner = nullptr;
};

// Shared by every program of one process (the terminal): the virtual clock,
// global variables, options, the symbols of the Market Watch and the
// indicators Expert Advisors read through iCustom.
class Program;
struct Runner {
    std::int64_t clock_ms = 0;  // virtual milliseconds since the run began
    datetime start_time = 0;
    bool log_imports = false;
    bool notifications = true;
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

// ---- import arguments: how each MQL4 value travels to a stdcall export ------
struct ArgI32 {
    using c_type = std::int32_t;
    c_type value;
    std::string shown() const { return std::to_string(value); }
};
struct ArgI64 {
    using c_type = std::int64_t;
    c_type value;
    std::string shown() const { return std::to_string(value); }
};
struct ArgF32 {
    using c_type = float;
    c_type value;
    std::string shown() const;
};
struct ArgF64 {
    using c_type = double;
    c_type value;
    std::string shown() const;
};
struct ArgPtr {
    using c_type = void*;
    c_type value;
    std::string text;  // what the log shows
    const std::string& shown() const { return text; }
};
struct ArgWide {  // an MQL4 string passed by value: UTF-16, as MetaTrader passes it
    using c_type = const wchar_t*;
    std::shared_ptr<std::wstring> buffer;
    c_type value;
    std::string shown() const;
};

inline ArgI32 arg_i32(mql_long v) { return {static_cast<std::int32_t>(v)}; }
inline ArgI64 arg_i64(mql_long v) { return {v}; }
inline ArgF32 arg_f32(double v) { return {static_cast<float>(v)}; }
inline ArgF64 arg_f64(double v) { return {v}; }
ArgWide arg_wstr(const string& v);
std::string shown_bytes(const unsigned char* bytes, std::size_t size);
template <class T>
ArgPtr arg_array(array<T>& a) {
    ArgPtr arg{a.storage().empty() ? nullptr : a.storage().data(), {}};
    if constexpr (std::is_same_v<T, uchar>)
        arg.text = shown_bytes(a.storage().data(), a.storage().size());
    else
        arg.text = "array[" + std::to_string(a.size()) + "]";
    return arg;
}
template <class T>
ArgPtr arg_ref(T& v) {
    return {static_cast<void*>(&v), "&"};
}

// Calls an export with the stdcall convention. On i686 the call goes through
// a thunk that compares the stack pointer before and after (a wrong
// declaration pops the wrong byte count); elsewhere it is a typed call.
struct CallResult {
    std::uint32_t eax = 0, edx = 0;
    double st0 = 0;
};
bool call_export_words(void* address, const std::uint32_t* words, int count, bool float_result,
                       CallResult* result, std::int32_t* stack_difference);

template <class A>
void push_words(std::vector<std::uint32_t>* words, const A& arg) {
    typename A::c_type value = arg.value;
    std::uint32_t parts[2] = {0, 0};
    static_assert(sizeof value <= sizeof parts, "argument wider than 8 bytes");
    std::memcpy(parts, &value, sizeof value);
    words->push_back(parts[0]);
    if (sizeof value > 4) words->push_back(parts[1]);
}

// ---- the program ------------------------------------------------------------
class Program {
public:
    // The indicator buffers bound so far, by index: each one's values
    // (oldest bar first; null for an unbound index) and its empty value.
    std::vector<std::pair<const std::vector<double>*, double>> indicator_buffers() const;
    Program() = default;
    virtual ~Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    void attach(const ProgramContext& context) { context_ = context; }
    Dialect dialect() const { return context_.dialect; }
    Chart& chart() { return *context_.chart; }
    // Another symbol's bars as this program may read them (see symbol_chart).
    const Chart* runner_chart(const std::string& symbol, int* bars) { return symbol_chart(string(symbol), 0, bars); }
    Runner& runner() { return *context_.runner; }

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
    double Ask = 0, Bid = 0;  // MQL4's predefined prices: the forming bar's close, set before each OnTick
    void grow_buffers(int bars);  // indicator buffers follow the chart's bar count
    int timer_ms() const { return timer_ms_; }
    // The reason OnDeinit is called for, as UninitializeReason() answers
    // during it (the runner sets it before the call).
    void set_uninitialize_reason(int reason) { uninitialize_reason_ = reason; }
    int UninitializeReason() const { return uninitialize_reason_; }
    // The Data Window's digits of the indicator's values (nothing is drawn).
    void IndicatorDigits(int digits) { indicator_digits_ = digits; }

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
    bool SendNotification(const string& text);
    void Comment(const string&) {}

    // Indicator buffers. MQL4 makes a bound buffer a series; MQL5 leaves
    // it as it is (not a series unless the program says so).
    bool SetIndexBuffer(int index, array<double>& buffer, int kind = INDICATOR_DATA);
    // MQL5's plot and indicator properties: a plot is its buffer here.
    bool PlotIndexSetInteger(int, int, mql_long) { return true; }
    bool PlotIndexSetDouble(int index, int property, double value) {
        if (property == PLOT_EMPTY_VALUE) SetIndexEmptyValue(index, value);
        return true;
    }
    bool PlotIndexSetString(int, int, const string&) { return true; }
    bool IndicatorSetInteger(int property, mql_long value) {
        if (property == INDICATOR_DIGITS) IndicatorDigits(static_cast<int>(value));
        return true;
    }
    bool IndicatorSetDouble(int, double) { return true; }
    bool IndicatorSetString(int, const string&) { return true; }
    void SetIndexStyle(int, int, int = EMPTY, int = EMPTY, color = clrNONE) {}
    void SetIndexLabel(int, const string&) {}
    void SetIndexArrow(int, int) {}
    void SetIndexEmptyValue(int index, double value);
    void IndicatorShortName(const string&) {}
    bool IndicatorBuffers(int) { return true; }

    // The chart.
    string Symbol() { return string(chart().symbol); }
    int Period();  // in the program's dialect
    mql_long ChartGetInteger(mql_long chart_id, int property, int sub_window = 0);
    int WindowHandle(const string& symbol, int timeframe);
    bool ChartRedraw(mql_long = 0) { return true; }
    int iBarShift(const string& symbol, int timeframe, datetime time, bool exact = false);
    mql_long TerminalInfoInteger(int property);
    mql_long ChartOpen(const string& symbol, int timeframe);

    // Other symbols' bars: the Market Watch holds every symbol of the run.
    int SymbolsTotal(bool selected);
    string SymbolName(int pos, bool selected);
    int iBars(const string& symbol, int timeframe);
    double iOpen(const string& symbol, int timeframe, int shift) { return bar_value(symbol, timeframe, shift, 0); }
    double iHigh(const string& symbol, int timeframe, int shift) { return bar_value(symbol, timeframe, shift, 1); }
    double iLow(const string& symbol, int timeframe, int shift) { return bar_value(symbol, timeframe, shift, 2); }
    double iClose(const string& symbol, int timeframe, int shift) { return bar_value(symbol, timeframe, shift, 3); }
    mql_long iVolume(const string& symbol, int timeframe, int shift);
    datetime iTime(const string& symbol, int timeframe, int shift);

    // Orders: the runner trades nothing; an order is printed ("order: ...")
    // and given the next ticket number.
    int OrderSend(const string& symbol, int command, double volume, double price, int slippage, double stoploss,
                  double takeprofit, const string& comment = string(), int magic = 0, datetime expiration = 0,
                  color arrow = clrNONE);
    int GetLastError() { return 0; }
    // MQL5's order: the request's fields printed as MQL4's OrderSend prints them.
    struct MqlTradeRequest {
        int action = 0;
        mql_ulong magic = 0;
        string symbol;
        double volume = 0, price = 0, sl = 0, tp = 0;
        mql_ulong deviation = 0;
        int type = 0, type_filling = 0;
        string comment;
    };
    struct MqlTradeResult {
        uint retcode = 0;
        mql_ulong deal = 0, order = 0;
        double volume = 0, price = 0;
        string comment;
    };
    bool OrderSend(const MqlTradeRequest& request, MqlTradeResult& result);
    template <class S>
    void ZeroMemory(S& value) {
        value = S{};
    }
    double SymbolInfoDouble(const string& symbol, int property);

    // A custom indicator's buffer value: iCustom(symbol, timeframe, name,
    // inputs..., mode, shift), the inputs in the indicator's input order.
    template <class... A>
    double iCustom(const string& symbol, int timeframe, const string& name, const A&... rest) {
        static_assert(sizeof...(A) >= 2, "iCustom needs a buffer index and a shift");
        std::vector<std::string> values{custom_text(rest)...};
        const int shift = std::stoi(values.back());
        values.pop_back();
        const int mode = std::stoi(values.back());
        values.pop_back();
        double value = EMPTY_VALUE;
        if (!runner().custom ||
            !runner().custom(*this, symbol.str(), minutes(timeframe), name.str(), values, mode, shift, &value))
            return EMPTY_VALUE;
        return value;
    }
    // MQL5's iCustom (the translator renames it): a handle to the indicator
    // with these inputs, read with CopyBuffer.
    template <class... A>
    int iCustomHandle(const string& symbol, int timeframe, const string& name, const A&... inputs) {
        handles_.push_back({symbol.str(), minutes(timeframe), name.str(), {custom_text(inputs)...}, true});
        return static_cast<int>(handles_.size()) + 9;  // MetaTrader's first handle is 10
    }
    // `count` values of buffer `buffer` from `start` (a shift) backwards in
    // time, into `out` by its direction; the number copied, or -1.
    int CopyBuffer(int handle, int buffer, int start, int count, array<double>& out);
    // How many bars the indicator behind `handle` has calculated (it is
    // brought up to date first), or -1.
    int BarsCalculated(int handle);
    int Bars(const string& symbol, int timeframe) { return iBars(symbol, timeframe); }
    bool IndicatorRelease(int handle);

    // Objects.
    bool ObjectCreate(mql_long chart_id, const string& name, int type, int sub_window, datetime time1,
                      double price1);
    bool ObjectDelete(mql_long chart_id, const string& name);
    int ObjectFind(mql_long chart_id, const string& name);
    int ObjectsTotal(mql_long chart_id = 0, int sub_window = -1, int type = -1);
    string ObjectName(mql_long chart_id, int pos, int sub_window = -1, int type = -1);
    int ObjectsDeleteAll(mql_long chart_id, const string& prefix, int sub_window = -1, int type = -1);
    int ObjectsDeleteAll(mql_long chart_id = 0, int sub_window = -1, int type = -1);
    bool ObjectSetInteger(mql_long chart_id, const string& name, int property, mql_long value);
    bool ObjectSetDouble(mql_long chart_id, const string& name, int property, double value);
    bool ObjectSetString(mql_long chart_id, const string& name, int property, const string& value);
    mql_long ObjectGetInteger(mql_long chart_id, const string& name, int property, int modifier = 0);
    double ObjectGetDouble(mql_long chart_id, const string& name, int property, int modifier = 0);
    string ObjectGetString(mql_long chart_id, const string& name, int property, int modifier = 0);

    // Timers and time, on the virtual clock.
    bool EventSetTimer(int seconds) { return EventSetMillisecondTimer(seconds * 1000); }
    bool EventSetMillisecondTimer(int milliseconds);
    void EventKillTimer() { timer_ms_ = 0; }
    void Sleep(int milliseconds);
    bool IsStopped() { return false; }
    uint GetTickCount() { return static_cast<uint>(runner().clock_ms); }
    datetime TimeCurrent() { return runner().start_time + runner().clock_ms / 1000; }
    datetime TimeLocal() { return TimeCurrent(); }

    // Terminal global variables.
    datetime GlobalVariableSet(const string& name, double value);
    double GlobalVariableGet(const string& name);
    bool GlobalVariableCheck(const string& name);
    bool GlobalVariableDel(const string& name);

private:
    // The bars a program may read of a symbol (null or the chart's own: its
    // chart; another: that symbol's bars up to the chart's newest time), or
    // null for an unknown symbol or another timeframe.
    const Chart* symbol_chart(const string& symbol, int timeframe, int* bars);
    double bar_value(const string& symbol, int timeframe, int shift, int field);
    int minutes(int timeframe) const { return timeframe_minutes(context_.dialect, timeframe); }
    struct CustomHandle {
        std::string symbol;
        int timeframe;
        std::string name;
        std::vector<std::string> inputs;
        bool live;
    };
    std::vector<CustomHandle> handles_;
    // The handle's entry (live or released), or null for a handle never given.
    CustomHandle* handle_entry(int handle);
    static std::string custom_text(const string& v) { return v.str(); }
    static std::string custom_text(const char* v) { return v == nullptr ? "" : v; }
    static std::string custom_text(bool v) { return v ? "true" : "false"; }
    template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>>
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
    static void append(std::ostringstream& out, const string& v) { out << v.str(); }
    static void append(std::ostringstream& out, const char* v) { out << v; }
    static void append(std::ostringstream& out, bool v) { out << (v ? "true" : "false"); }
    static void append(std::ostringstream& out, double v);
    template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
    static void append(std::ostringstream& out, T v) {
        out << static_cast<mql_long>(v);
    }
    void print_line(const std::string& line);
    void alert_line(const std::string& line);
    void log_import(const BoundImport& import, const std::vector<std::string>& args,
                    const std::string& result);
    [[noreturn]] void stack_mismatch(const BoundImport& import, std::int32_t difference);
    [[noreturn]] void pointer_refused(const BoundImport& import);

    struct Buffer {
        array<double>* values = nullptr;
        double empty = EMPTY_VALUE;
    };
    ProgramContext context_;
    std::vector<Buffer> buffers_;
    int uninitialize_reason_ = 0;
    int indicator_digits_ = 0;
    int timer_ms_ = 0;
};

template <class R, class... A>
R Program::import_call(int slot, A... args) {
    const BoundImport& import = context_.imports.at(static_cast<std::size_t>(slot));
    if (import.pointer_through_int) pointer_refused(import);
    // R is void, std::int32_t, std::int64_t or double.
    using Value = std::conditional_t<std::is_void_v<R>, int, R>;
    Value result{};
#if defined(__i386__)
    std::vector<std::uint32_t> words;
    (push_words(&words, args), ...);
    CallResult raw;
    std::int32_t difference = 0;
    call_export_words(import.address, words.data(), static_cast<int>(words.size()),
                      std::is_floating_point_v<R>, &raw, &difference);
    if (difference != 0) stack_mismatch(import, difference);
    if constexpr (std::is_floating_point_v<R>) {
        result = raw.st0;
    } else if constexpr (sizeof(Value) == 8) {
        result = static_cast<Value>(static_cast<std::uint64_t>(raw.edx) << 32 | raw.eax);
    } else {
        result = static_cast<Value>(raw.eax);
    }
#else
    using Function = R (*)(typename A::c_type...);
    if constexpr (std::is_void_v<R>)
        reinterpret_cast<Function>(import.address)(args.value...);
    else
        result = reinterpret_cast<Function>(import.address)(args.value...);
#endif
    if (runner().log_imports) {
        std::ostringstream shown;
        if constexpr (!std::is_void_v<R>) append(shown, result);
        log_import(import, {args.shown()...}, shown.str());
    }
    if constexpr (!std::is_void_v<R>) return result;
}

// ---- free built-ins -----------------------------------------------------------
string IntegerToString(mql_long value, int length = 0, ushort fill = ' ');
string DoubleToString(double value, int digits = 8);
string TimeToString(datetime value, int mode = TIME_DATE | TIME_MINUTES);
int StringFind(const string& text, const string& match, int start = 0);
int StringLen(const string& text);
string StringSubstr(const string& text, int start, int length = -1);
int StringToCharArray(const string& text, array<uchar>& bytes, int start = 0, int count = -1,
                      uint codepage = CP_ACP);
string CharArrayToString(const array<uchar>& bytes, int start = 0, int count = -1,
                         uint codepage = CP_ACP);
// The whole number at the start of the text (0 when there is none).
mql_long StringToInteger(const string& text);
// The character of a code point (MQL4's strings are UTF-16; UTF-8 here).
string CharToString(uchar code);
inline string CharToStr(uchar code) { return CharToString(code); }
// The UTF-16 code unit at `pos` (here: the byte), or 0 past the end.
ushort StringGetCharacter(const string& text, int pos);
// MQL4's forms: a new string without the leading / trailing blanks.
string StringTrimLeft(const string& text);
string StringTrimRight(const string& text);
// MQL5's forms (its StringTrimLeft and StringTrimRight): in place; the
// number of characters removed.
int StringTrimLeftInPlace(string& text);
int StringTrimRightInPlace(string& text);
// In place, as MQL4 does it.
bool StringToUpper(string& text);
// Splits at each `separator` into `parts`; the number of parts.
int StringSplit(const string& text, ushort separator, array<string>& parts);
inline double MathAbs(double v) { return v < 0 ? -v : v; }
inline double MathMax(double a, double b) { return a > b ? a : b; }
inline double MathMin(double a, double b) { return a < b ? a : b; }
double NormalizeDouble(double value, int digits);

template <class T>
int ArraySize(const array<T>& a) {
    return a.size();
}
template <class T>
int ArrayResize(array<T>& a, int size, int = 0) {
    try {
        a.resize(size);
    } catch (const std::exception&) {  // no memory for it: MQL4 answers -1
        return -1;
    }
    return a.size();
}
template <class T, class V>
int ArrayInitialize(array<T>& a, V value) {
    for (T& element : a.storage()) element = static_cast<T>(value);
    return a.size();
}
template <class T, std::size_t N, class V>
int ArrayInitialize(T (&a)[N], V value) {  // a fixed-size array
    for (T& element : a) element = static_cast<T>(value);
    return static_cast<int>(N);
}
template <class T, std::size_t N>
int ArraySize(const T (&)[N]) {
    return static_cast<int>(N);
}
template <class T>
bool ArraySetAsSeries(const array<T>& a, bool series) {
    a.set_series(series);
    return true;
}
template <class T>
bool ArrayGetAsSeries(const array<T>& a) {
    return a.series();
}

// ---- the runner's table of translated programs -----------------------------
struct ImportDecl {
    const char* library;
    const char* name;
};
struct InputDecl {
    const char* name;
    const char* type;
    bool (*set)(Program& program, const std::string& value);
};
enum class ProgramKind { script, indicator, expert };
struct ProgramEntry {
    const char* file;  // e.g. "BarsightVSA.mq4"
    ProgramKind kind;
    Dialect dialect;
    const ImportDecl* imports;
    const InputDecl* inputs;
    const char* const* reached;  // a script's imports its OnStart can reach, null-terminated
    std::unique_ptr<Program> (*create)(const ProgramContext& context);
};
extern const ProgramEntry programs[];

// The dialect of a program file: .mq5 is MetaTrader 5's.
Dialect dialect_of(const std::string& file);

// Value-initialised, so the program's globals start at zero as in MQL4.
template <class P>
std::unique_ptr<Program> make_program(const ProgramContext& context) {
    std::unique_ptr<Program> program(new P());
    program->attach(context);
    return program;
}

bool parse_string(const std::string& text, string* value);
bool parse_bool(const std::string& text, bool* value);
bool parse_double(const std::string& text, double* value);
bool parse_datetime(const std::string& text, datetime* value);
// Days since 1970-01-01 of a real civil date from 1970-01-01 to 3000-12-31
// (what MetaTrader holds); false for any other (1960, 2020-02-30).
bool civil_days(int y, int m, int d, long long* days);
// Whole numbers in decimal only ("010" is ten, never octal; no "0x"),
// within the input's type.
bool parse_whole(const std::string& text, long long* value);
template <class T>
bool parse_integer(const std::string& text, T* value) {
    long long parsed = 0;
    if (!parse_whole(text, &parsed)) return false;
    if (parsed < static_cast<long long>(std::numeric_limits<T>::min()) ||
        (parsed > 0 && static_cast<unsigned long long>(parsed) >
                           static_cast<unsigned long long>(std::numeric_limits<T>::max())))
        return false;
    *value = static_cast<T>(parsed);
    return true;
}

}  // namespace mql
