// The MQL4 runtime of mql4run: the types, built-in functions and chart a
// translated program (tools/mql4run/translate.py) runs against, and the
// calls into the DLLs its #import blocks name.
//
// A program is a class derived from Program: its globals are members, its
// functions member functions, and the built-ins below are members too, so
// each instance (one chart) has its own buffers, objects and timer.
#pragma once

#include <cfloat>
#include <cmath>
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
    // A number becomes text only when the program says so: (string)n,
    // IntegerToString, DoubleToString. MetaEditor warns of "text" + n (an
    // implicit conversion), so the runner refuses it.
    template <class N, class = std::enable_if_t<std::is_arithmetic_v<N>>>
    explicit string(N value) : text_(text_of(value).text_) {}
    template <class N, class = std::enable_if_t<std::is_arithmetic_v<N> || std::is_enum_v<N>>>
    friend string operator+(const string&, N) {
        static_assert(sizeof(N) == 0, "a number joined to a string: convert it first ((string), IntegerToString, "
                                      "DoubleToString), as MetaEditor warns of the implicit conversion");
        return string();
    }
    template <class N, class = std::enable_if_t<std::is_arithmetic_v<N> || std::is_enum_v<N>>>
    friend string operator+(N, const string&) {
        static_assert(sizeof(N) == 0, "a number joined to a string: convert it first ((string), IntegerToString, "
                                      "DoubleToString), as MetaEditor warns of the implicit conversion");
        return string();
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
//
// A bool element is a byte of its own (as in MQL), not std::vector<bool>'s
// bit, so an element is a bool& like any other.
struct bool_cell {
    bool value = false;
    bool_cell() = default;
    bool_cell(bool v) : value(v) {}
    operator bool() const { return value; }
};
template <class T>
class array {
    using Cell = std::conditional_t<std::is_same_v<T, bool>, bool_cell, T>;

public:
    int size() const { return static_cast<int>(data_.size()); }
    T& operator[](int index) { return element(data_[checked(index)]); }
    const T& operator[](int index) const { return element(data_[checked(index)]); }
    bool series() const { return series_; }
    void set_series(bool series) const { series_ = series; }
    // Storage grows and shrinks at its end, whatever the direction.
    void resize(int size) { data_.resize(static_cast<std::size_t>(size < 0 ? 0 : size)); }
    void append(const T& value) { data_.push_back(value); }
    std::vector<Cell>& storage() { return data_; }
    const std::vector<Cell>& storage() const { return data_; }

private:
    static T& element(Cell& cell) {
        if constexpr (std::is_same_v<T, bool>)
            return cell.value;
        else
            return cell;
    }
    static const T& element(const Cell& cell) {
        if constexpr (std::is_same_v<T, bool>)
            return cell.value;
        else
            return cell;
    }
    std::size_t checked(int index) const {
        if (index < 0 || index >= size())
            critical_error("array out of range (index " + std::to_string(index) + ", size " +
                           std::to_string(size()) + ")");
        return static_cast<std::size_t>(series_ ? size() - 1 - index : index);
    }
    std::vector<Cell> data_;
    mutable bool series_ = false;
};

// ---- constants and enumerations both dialects have ----------------------
// The enumerations are distinct types, as in MQL: a property of one family
// (OBJPROP_TEXT, a string) passed where another is wanted (ObjectSetInteger)
// does not compile. Each converts to a whole number where one is wanted.
constexpr int INIT_SUCCEEDED = 0, INIT_FAILED = 1, INIT_PARAMETERS_INCORRECT = 2;
constexpr int EMPTY = -1, WHOLE_ARRAY = 0, INVALID_HANDLE = -1;
constexpr uint CP_ACP = 0, CP_UTF8 = 65001;
enum ENUM_LINE_STYLE : int { STYLE_SOLID = 0, STYLE_DASH = 1, STYLE_DOT = 2 };
enum ENUM_DRAW_TYPE : int { DRAW_LINE = 0, DRAW_SECTION = 1, DRAW_HISTOGRAM = 2, DRAW_ARROW = 3, DRAW_ZIGZAG = 4,
                            DRAW_COLOR_HISTOGRAM = 10, DRAW_COLOR_ARROW = 11, DRAW_NONE = 12 };
enum ENUM_OBJECT : int { OBJ_VLINE = 0, OBJ_HLINE = 1, OBJ_TREND = 2, OBJ_TEXT = 21, OBJ_ARROW = 22, OBJ_LABEL = 23,
                         OBJ_ARROW_THUMB_UP = 29, OBJ_ARROW_UP = 31, OBJ_ARROW_DOWN = 32 };
enum ENUM_OBJECT_PROPERTY_INTEGER : int {
    OBJPROP_TIME = 0, OBJPROP_COLOR = 6, OBJPROP_STYLE = 7, OBJPROP_WIDTH = 8, OBJPROP_BACK = 9,
    OBJPROP_ARROWCODE = 14, OBJPROP_FONTSIZE = 100, OBJPROP_CORNER = 101, OBJPROP_XDISTANCE = 102,
    OBJPROP_YDISTANCE = 103, OBJPROP_HIDDEN = 208, OBJPROP_SELECTABLE = 1000, OBJPROP_RAY_RIGHT = 1004,
    OBJPROP_ANCHOR = 1011
};
enum ENUM_OBJECT_PROPERTY_DOUBLE : int { OBJPROP_PRICE = 1 };
enum ENUM_OBJECT_PROPERTY_STRING : int { OBJPROP_TOOLTIP = 206, OBJPROP_TEXT = 999, OBJPROP_FONT = 1001 };
// Arrows anchor by top or bottom; texts and labels by one of nine points.
enum ENUM_ARROW_ANCHOR : int { ANCHOR_TOP = 0, ANCHOR_BOTTOM = 1 };
enum ENUM_ANCHOR_POINT : int { ANCHOR_LEFT_UPPER = 0, ANCHOR_LEFT = 1, ANCHOR_LEFT_LOWER = 2, ANCHOR_LOWER = 3,
                               ANCHOR_RIGHT_LOWER = 4, ANCHOR_RIGHT = 5, ANCHOR_RIGHT_UPPER = 6, ANCHOR_UPPER = 7,
                               ANCHOR_CENTER = 8 };
enum ENUM_BASE_CORNER : int { CORNER_LEFT_UPPER = 0, CORNER_RIGHT_UPPER = 1, CORNER_LEFT_LOWER = 2,
                              CORNER_RIGHT_LOWER = 3 };
enum ENUM_CHART_EVENT : int { CHARTEVENT_KEYDOWN = 0, CHARTEVENT_OBJECT_CLICK = 1, CHARTEVENT_CLICK = 4,
                              CHARTEVENT_CHART_CHANGE = 9 };
enum ENUM_CHART_PROPERTY_INTEGER : int {
    CHART_COLOR_BACKGROUND = 21, CHART_COLOR_FOREGROUND = 22, CHART_VISIBLE_BARS = 100,
    CHART_WINDOW_HANDLE = 102, CHART_FIRST_VISIBLE_BAR = 104
};
enum ENUM_TERMINAL_INFO_INTEGER : int { TERMINAL_SCREEN_DPI = 12, TERMINAL_NOTIFICATIONS_ENABLED = 26 };
enum ENUM_SYMBOL_INFO_DOUBLE : int { SYMBOL_BID = 1, SYMBOL_ASK = 4, SYMBOL_VOLUME_MIN = 34, SYMBOL_VOLUME_MAX = 35,
                                     SYMBOL_VOLUME_STEP = 36 };
enum ENUM_SYMBOL_INFO_INTEGER : int { SYMBOL_DIGITS = 17, SYMBOL_FILLING_MODE = 18 };
constexpr int SYMBOL_FILLING_FOK = 1, SYMBOL_FILLING_IOC = 2;
enum ENUM_INDEXBUFFER_TYPE : int { INDICATOR_DATA = 0, INDICATOR_COLOR_INDEX = 1, INDICATOR_CALCULATIONS = 2 };
enum ENUM_CUSTOMIND_PROPERTY_INTEGER : int { INDICATOR_DIGITS = 0 };
enum ENUM_CUSTOMIND_PROPERTY_DOUBLE : int { INDICATOR_MINIMUM = 2, INDICATOR_MAXIMUM = 3 };
enum ENUM_CUSTOMIND_PROPERTY_STRING : int { INDICATOR_SHORTNAME = 1 };
constexpr int TIME_DATE = 1, TIME_MINUTES = 2, TIME_SECONDS = 4;
// MQL4's ten deinitialisation reasons (MQL5 has the same).
constexpr int REASON_PROGRAM = 0, REASON_REMOVE = 1, REASON_RECOMPILE = 2, REASON_CHARTCHANGE = 3,
              REASON_CHARTCLOSE = 4, REASON_PARAMETERS = 5, REASON_ACCOUNT = 6, REASON_TEMPLATE = 7,
              REASON_INITFAILED = 8, REASON_CLOSE = 9;
// MetaTrader 5's program dialect differs from MetaTrader 4's where the
// kit meets it: series indexing is off by default, EMPTY_VALUE is DBL_MAX,
// timeframes are codes (PERIOD_H1 is 16385), iCustom answers a handle. Each
// dialect's own names are in mql4.h and mql5.h.
enum class Dialect { mql4, mql5 };
// A timeframe of either dialect in minutes (0 stays 0: the chart's).
int timeframe_minutes(Dialect dialect, int timeframe);
// The buffers' empty value of each dialect.
constexpr double kEmptyValue4 = 2147483647.0, kEmptyValue5 = DBL_MAX;
// Web colours as MQL4 names them (0x00BBGGRR).
constexpr color clrNONE = 0xFFFFFFFFu, CLR_NONE = 0xFFFFFFFFu, clrRed = 0x0000FF,
                clrLimeGreen = 0x32CD32, clrSilver = 0xC0C0C0, clrGreen = 0x008000,
                clrBlue = 0xFF0000, clrGold = 0x00D7FF, clrWhite = 0xFFFFFF, clrBlack = 0,
                clrGray = 0x808080, clrDimGray = 0x696969, clrOrange = 0x00A5FF,
                clrDodgerBlue = 0xFF901E, clrDeepSkyBlue = 0xFFBF00, clrAqua = 0xFFFF00,
                clrSpringGreen = 0x7FFF00, clrSeaGreen = 0x578B2E, clrOrangeRed = 0x0045FF,
                clrCrimson = 0x3C14DC, clrMagenta = 0xFF00FF, clrYellow = 0x00FFFF,
                clrDarkOrange = 0x008CFF, clrSteelBlue = 0xB48246, clrSlateGray = 0x908070,
                clrDarkGreen = 0x006400, clrMaroon = 0x000080, clrNavy = 0x800000, clrTeal = 0x808000,
                clrPurple = 0x800080, clrOlive = 0x008080, clrFireBrick = 0x2222B2;

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

// What the runner gives a program: its chart, the imports bound for it, the
// virtual clock and where its output goes.
struct BoundImport {
    const char* library = nullptr;
    const char* name = nullptr;
    void* address = nullptr;
    bool pointer_through_int = false;  // this build cannot pass its addresses
};

// What the trade server allows for the symbols (one set for all here).
struct SymbolTerms {
    double volume_min = 0.01, volume_max = 100, volume_step = 0.01;
    int filling = 2;  // SYMBOL_FILLING_IOC only: a FOK order is refused
    int digits = 5;
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
    std::vector<std::int64_t> notified_ms;  // when each notification was sent
    // --not-ready N: the first N reads of each other symbol or timeframe
    // find nothing (the terminal is loading it), and an indicator handle's
    // BarsCalculated answers -1 its first N times.
    int not_ready = 0;
    std::map<std::string, int> loading;  // reads answered "not ready" so far, by symbol and minutes
    std::map<std::string, bool> selected;  // the Market Watch's symbols that SymbolSelect changed
    SymbolTerms terms;
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

// A bar as CopyRates gives it.
struct MqlRates {
    datetime time = 0;
    double open = 0, high = 0, low = 0, close = 0;
    mql_long tick_volume = 0;
    int spread = 0;
    mql_long real_volume = 0;
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
    Program() = default;
    virtual ~Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    void attach(const ProgramContext& context) { context_ = context; }
    Dialect dialect() const { return context_.dialect; }
    Chart& chart() { return *context_.chart; }
    // Another symbol's bars as this program may read them (see symbol_chart).
    // (The runner's own reads: never answered "not ready".)
    const Chart* runner_chart(const std::string& symbol, int* bars) { return symbol_chart(symbol, 0, bars, false); }
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

    // The chart.
    string Symbol() { return string(chart().symbol); }
    mql_long ChartGetInteger(mql_long chart_id, ENUM_CHART_PROPERTY_INTEGER property, int sub_window = 0);
    bool ChartRedraw(mql_long = 0) { return true; }
    mql_long TerminalInfoInteger(ENUM_TERMINAL_INFO_INTEGER property);

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
    uint GetTickCount() { return static_cast<uint>(runner().clock_ms); }
    datetime TimeCurrent() { return runner().start_time + runner().clock_ms / 1000; }
    datetime TimeLocal() { return TimeCurrent(); }

    // Terminal global variables.
    datetime GlobalVariableSet(const string& name, double value);
    double GlobalVariableGet(const string& name);
    bool GlobalVariableCheck(const string& name);
    bool GlobalVariableDel(const string& name);

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
    // Prints an order as MQL4's OrderSend makes it; its ticket.
    int place_order(const string& symbol, int command, double volume, double price, double stoploss,
                    double takeprofit, const string& comment, mql_long magic);
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

    struct Buffer {
        array<double>* values = nullptr;
        double empty = kEmptyValue4;
    };
    ProgramContext context_;
    std::vector<Buffer> buffers_;
    int uninitialize_reason_ = 0;
    int indicator_digits_ = 0;
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
// The UTF-16 code unit at `pos` (here: the byte), or 0 past the end.
ushort StringGetCharacter(const string& text, int pos);
// In place, as MQL4 does it.
bool StringToUpper(string& text);
// Splits at each `separator` into `parts`; the number of parts.
int StringSplit(const string& text, ushort separator, array<string>& parts);
inline double MathAbs(double v) { return v < 0 ? -v : v; }
// MQL's MathMax and MathMin answer the type of their arguments (an int of
// two ints, a double when either is one).
template <class A, class B>
std::common_type_t<A, B> MathMax(A a, B b) {
    return a > b ? a : b;
}
template <class A, class B>
std::common_type_t<A, B> MathMin(A a, B b) {
    return a < b ? a : b;
}
inline double MathFloor(double v) { return std::floor(v); }
inline double MathRound(double v) { return std::round(v); }
inline double MathPow(double base, double exponent) { return std::pow(base, exponent); }
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
