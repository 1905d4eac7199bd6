// Two bars' values held and worked on together (one SSE2 register), with
// the arithmetic and comparisons the rules use, so that the conditions of
// engine/rules.h, written once for a double, are evaluated for two bars in
// one step. Each lane's result is exactly the double operation's.
#pragma once

#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define SPREADCORE_SSE2 1
#include <emmintrin.h>
#endif

namespace spreadcore {

#ifdef SPREADCORE_SSE2

// A condition of two bars: each lane all ones (holds) or all zeros.
struct Mask {
    __m128d m;
};
inline Mask operator&(Mask a, Mask b) { return {_mm_and_pd(a.m, b.m)}; }
inline Mask operator|(Mask a, Mask b) { return {_mm_or_pd(a.m, b.m)}; }
inline Mask inverse(Mask a) { return {_mm_xor_pd(a.m, _mm_castsi128_pd(_mm_set1_epi32(-1)))}; }
// Bit 0 for the first bar, bit 1 for the second.
inline unsigned bits(Mask a) { return static_cast<unsigned>(_mm_movemask_pd(a.m)); }
// Four bars' bits in one step: bits 0-1 from a, 2-3 from b (a lane's low
// halves are its all ones or zeros too).
inline unsigned bits(Mask a, Mask b) {
    return static_cast<unsigned>(
        _mm_movemask_ps(_mm_shuffle_ps(_mm_castpd_ps(a.m), _mm_castpd_ps(b.m), _MM_SHUFFLE(2, 0, 2, 0))));
}

struct Lanes {
    static constexpr int kWidth = 2;  // bars a register holds
    __m128d v;
    // Two values from p[0] and p[1].
    static Lanes load(const double* p) { return {_mm_loadu_pd(p)}; }
    static Lanes all(double x) { return {_mm_set1_pd(x)}; }
    static Lanes load(const float* p) {
        return {_mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))))};
    }
    void store(double* p) const { _mm_storeu_pd(p, v); }
};
inline Lanes lanes(double x) { return Lanes::all(x); }
inline Lanes operator-(Lanes a, Lanes b) { return {_mm_sub_pd(a.v, b.v)}; }
inline Lanes operator+(Lanes a, Lanes b) { return {_mm_add_pd(a.v, b.v)}; }
// The lesser / greater of each lane (of values that are not NaN), and the
// least / greatest of a register's two.
inline Lanes min(Lanes a, Lanes b) { return {_mm_min_pd(a.v, b.v)}; }
inline Lanes max(Lanes a, Lanes b) { return {_mm_max_pd(a.v, b.v)}; }
inline double least(Lanes a) { return _mm_cvtsd_f64(_mm_min_sd(a.v, _mm_unpackhi_pd(a.v, a.v))); }
inline double greatest(Lanes a) { return _mm_cvtsd_f64(_mm_max_sd(a.v, _mm_unpackhi_pd(a.v, a.v))); }
inline Lanes operator*(double a, Lanes b) { return {_mm_mul_pd(_mm_set1_pd(a), b.v)}; }
inline Lanes operator/(Lanes a, Lanes b) { return {_mm_div_pd(a.v, b.v)}; }
// a where the mask holds, else b.
inline Lanes select(Mask m, Lanes a, Lanes b) { return {_mm_or_pd(_mm_and_pd(m.m, a.v), _mm_andnot_pd(m.m, b.v))}; }
inline Mask operator<(Lanes a, Lanes b) { return {_mm_cmplt_pd(a.v, b.v)}; }
inline Mask operator>(Lanes a, Lanes b) { return {_mm_cmpgt_pd(a.v, b.v)}; }
inline Mask operator<=(Lanes a, Lanes b) { return {_mm_cmple_pd(a.v, b.v)}; }
inline Mask operator>=(Lanes a, Lanes b) { return {_mm_cmpge_pd(a.v, b.v)}; }
inline Mask operator!=(Lanes a, Lanes b) { return {_mm_cmpneq_pd(a.v, b.v)}; }
// Neither infinite nor NaN: x - x is 0 exactly then, NaN otherwise.
inline Mask finite(Lanes x) { return {_mm_cmpeq_pd(_mm_sub_pd(x.v, x.v), _mm_setzero_pd())}; }
// Each value rounded to the nearest float32 (as static_cast<float>).
inline Lanes to_float32(Lanes a) { return {_mm_cvtps_pd(_mm_cvtpd_ps(a.v))}; }

#else

// The same, one double at a time.
struct Mask {
    bool m[2];
};
inline Mask operator&(Mask a, Mask b) { return {{a.m[0] && b.m[0], a.m[1] && b.m[1]}}; }
inline Mask operator|(Mask a, Mask b) { return {{a.m[0] || b.m[0], a.m[1] || b.m[1]}}; }
inline Mask inverse(Mask a) { return {{!a.m[0], !a.m[1]}}; }
inline unsigned bits(Mask a) { return (a.m[0] ? 1u : 0u) | (a.m[1] ? 2u : 0u); }
inline unsigned bits(Mask a, Mask b) { return bits(a) | bits(b) << 2; }

struct Lanes {
    static constexpr int kWidth = 2;
    double v[2];
    static Lanes load(const double* p) {
        Lanes x;
        std::memcpy(x.v, p, sizeof x.v);
        return x;
    }
    static Lanes load(const float* p) { return {{static_cast<double>(p[0]), static_cast<double>(p[1])}}; }
    static Lanes all(double x) { return {{x, x}}; }
    void store(double* p) const { std::memcpy(p, v, sizeof v); }
};
inline Lanes lanes(double x) { return Lanes::all(x); }
inline Lanes operator-(Lanes a, Lanes b) { return {{a.v[0] - b.v[0], a.v[1] - b.v[1]}}; }
inline Lanes operator+(Lanes a, Lanes b) { return {{a.v[0] + b.v[0], a.v[1] + b.v[1]}}; }
inline Lanes min(Lanes a, Lanes b) { return {{a.v[0] < b.v[0] ? a.v[0] : b.v[0], a.v[1] < b.v[1] ? a.v[1] : b.v[1]}}; }
inline Lanes max(Lanes a, Lanes b) { return {{a.v[0] > b.v[0] ? a.v[0] : b.v[0], a.v[1] > b.v[1] ? a.v[1] : b.v[1]}}; }
inline double least(Lanes a) { return a.v[0] < a.v[1] ? a.v[0] : a.v[1]; }
inline double greatest(Lanes a) { return a.v[0] > a.v[1] ? a.v[0] : a.v[1]; }
inline Lanes operator*(double a, Lanes b) { return {{a * b.v[0], a * b.v[1]}}; }
inline Lanes operator/(Lanes a, Lanes b) { return {{a.v[0] / b.v[0], a.v[1] / b.v[1]}}; }
inline Lanes select(Mask m, Lanes a, Lanes b) { return {{m.m[0] ? a.v[0] : b.v[0], m.m[1] ? a.v[1] : b.v[1]}}; }
inline Mask operator<(Lanes a, Lanes b) { return {{a.v[0] < b.v[0], a.v[1] < b.v[1]}}; }
inline Mask operator>(Lanes a, Lanes b) { return {{a.v[0] > b.v[0], a.v[1] > b.v[1]}}; }
inline Mask operator<=(Lanes a, Lanes b) { return {{a.v[0] <= b.v[0], a.v[1] <= b.v[1]}}; }
inline Mask operator>=(Lanes a, Lanes b) { return {{a.v[0] >= b.v[0], a.v[1] >= b.v[1]}}; }
inline Mask operator!=(Lanes a, Lanes b) { return {{a.v[0] != b.v[0], a.v[1] != b.v[1]}}; }
inline Mask finite(Lanes x) { return {{std::isfinite(x.v[0]), std::isfinite(x.v[1])}}; }
inline Lanes to_float32(Lanes a) {
    return {{static_cast<double>(static_cast<float>(a.v[0])), static_cast<double>(static_cast<float>(a.v[1]))}};
}

#endif

// Whether the processor and its system run AVX2 (GCC's check reads the
// system's saving of the wide registers too): platform/lanes_avx2.h's
// four bars a register.
inline bool processor_runs_avx2() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
#else
    return false;
#endif
}

// A lanes type (this file's, platform/lanes_avx2.h's) with a number: the
// number in every lane (L::all).
template <class L, class = decltype(L::all(0.0))>
L operator/(L a, double b) { return a / L::all(b); }
template <class M, class L, class = decltype(L::all(0.0))>
L select(M m, double a, L b) { return select(m, L::all(a), b); }
template <class M, class L, class = decltype(L::all(0.0))>
L select(M m, L a, double b) { return select(m, a, L::all(b)); }
template <class L, class = decltype(L::all(0.0))>
auto operator<(L a, double b) { return a < L::all(b); }
template <class L, class = decltype(L::all(0.0))>
auto operator>(L a, double b) { return a > L::all(b); }
template <class L, class = decltype(L::all(0.0))>
auto operator<=(L a, double b) { return a <= L::all(b); }
template <class L, class = decltype(L::all(0.0))>
auto operator>=(L a, double b) { return a >= L::all(b); }
template <class L, class = decltype(L::all(0.0))>
auto operator!=(L a, double b) { return a != L::all(b); }
template <class L, class = decltype(L::all(0.0))>
auto operator<(double a, L b) { return L::all(a) < b; }

}  // namespace spreadcore
