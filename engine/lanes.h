// Two bars' values held and worked on together (one SSE2 register), with
// the arithmetic and comparisons the rules use, so that the conditions of
// engine/rules.h, written once for a double, are evaluated for two bars in
// one step. Each lane's result is exactly the double operation's.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace spreadcore {

using DoublePair = double __attribute__((vector_size(16)));
using MaskPair = long long __attribute__((vector_size(16)));

// A condition of two bars: each lane all ones (holds) or all zeros.
struct Mask {
    MaskPair m;
};
inline Mask operator&(Mask a, Mask b) { return {a.m & b.m}; }
inline Mask operator|(Mask a, Mask b) { return {a.m | b.m}; }
inline Mask inverse(Mask a) { return {~a.m}; }
// Bit 0 for the first bar, bit 1 for the second.
inline unsigned bits(Mask a) {
#if defined(__SSE2__) || defined(_M_X64)
    return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(a.m)));
#else
    return static_cast<unsigned>((a.m[0] & 1) | (a.m[1] & 2));
#endif
}

struct Lanes {
    DoublePair v;
    // Two values from p[0] and p[1].
    static Lanes load(const double* p) {
        Lanes x;
        std::memcpy(&x.v, p, sizeof x.v);
        return x;
    }
};
inline Lanes operator-(Lanes a, Lanes b) { return {a.v - b.v}; }
inline Lanes operator*(double a, Lanes b) { return {DoublePair{a, a} * b.v}; }
inline Mask operator<(Lanes a, Lanes b) { return {reinterpret_cast<MaskPair>(a.v < b.v)}; }
inline Mask operator>(Lanes a, Lanes b) { return {reinterpret_cast<MaskPair>(a.v > b.v)}; }
inline Mask operator<=(Lanes a, Lanes b) { return {reinterpret_cast<MaskPair>(a.v <= b.v)}; }
inline Mask operator>=(Lanes a, Lanes b) { return {reinterpret_cast<MaskPair>(a.v >= b.v)}; }
inline Mask operator!=(Lanes a, Lanes b) { return {reinterpret_cast<MaskPair>(a.v != b.v)}; }
inline Mask operator<(Lanes a, double b) { return a < Lanes{DoublePair{b, b}}; }
inline Mask operator>(Lanes a, double b) { return a > Lanes{DoublePair{b, b}}; }
inline Mask operator<=(Lanes a, double b) { return a <= Lanes{DoublePair{b, b}}; }
inline Mask operator>=(Lanes a, double b) { return a >= Lanes{DoublePair{b, b}}; }
inline Mask operator!=(Lanes a, double b) { return a != Lanes{DoublePair{b, b}}; }
// Neither infinite nor NaN: x - x is 0 exactly then, NaN otherwise.
inline Mask finite(Lanes x) { return {reinterpret_cast<MaskPair>((x.v - x.v) == DoublePair{0.0, 0.0})}; }

}  // namespace spreadcore
