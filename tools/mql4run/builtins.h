// The free built-ins: strings, conversions, time, maths and arrays, the
// same in both dialects (the trims differ: mql4.h, mql5.h).
#pragma once

#include <cmath>
#include <cstddef>
#include <exception>
#include <type_traits>

#include "tools/mql4run/types.h"

namespace mql {
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
// False for not a number and the infinities.
inline bool MathIsValidNumber(double v) { return std::isfinite(v); }
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
template <class T, int N, class V>
int ArrayInitialize(fixed<T, N>& a, V value) {
    for (T& element : a.cells) element = static_cast<T>(value);
    return N;
}
template <class T, int N>
int ArraySize(const fixed<T, N>&) {
    return N;
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

}  // namespace mql
