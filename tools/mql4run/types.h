// The types and constants of the MQL runtime of mql4run, as the reference's
// "Language basics" and "Constants, enumerations and structures" chapters
// have them: string, the dynamic array, the enumerations both dialects
// share, and how a run stops. Each dialect's own constants are in mql4.h
// and mql5.h.
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

// A fixed-size array (`double parts[3]`): its elements where C++ keeps
// them, each access checked as the terminal checks it (out of range stops
// the program). An aggregate, so `= {1, 2, 3}` initialises it.
template <class T, int N>
struct fixed {
    T cells[N];
    T& operator[](int index) { return cells[checked(index)]; }
    const T& operator[](int index) const { return cells[checked(index)]; }
    static constexpr int size() { return N; }
    static int checked(int index) {
        if (index < 0 || index >= N)
            critical_error("array out of range (index " + std::to_string(index) + ", size " + std::to_string(N) +
                           ")");
        return index;
    }
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
enum ENUM_MQL_INFO_INTEGER : int { MQL_DLLS_ALLOWED = 3 };
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
                clrPurple = 0x800080, clrOlive = 0x008080, clrFireBrick = 0x2222B2,
                clrAquamarine = 0xD4FF7F, clrDarkTurquoise = 0xD1CE00, clrGreenYellow = 0x2FFFAD,
                clrMediumSpringGreen = 0x9AFA00, clrTurquoise = 0xD0E040, clrLawnGreen = 0x00FC7C,
                clrLime = 0x00FF00, clrLightSkyBlue = 0xFACE87, clrPowderBlue = 0xE6E0B0,
                clrMediumSeaGreen = 0x71B33C, clrTomato = 0x4763FF, clrDeepPink = 0x9314FF,
                clrSalmon = 0x7280FA, clrHotPink = 0xB469FF, clrViolet = 0xEE82EE,
                clrLightCoral = 0x8080F0, clrOrchid = 0xD670DA, clrSandyBrown = 0x60A4F4,
                clrPink = 0xCBC0FF;

}  // namespace mql
