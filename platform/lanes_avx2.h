// Four bars' values held and worked on together (one AVX register): what
// platform/lanes.h does for two, for the one file of the batch kernel that
// is compiled for AVX2 (engine/batch_avx2.cpp) and run only where the
// processor and the system have it. Each lane's result is exactly the double
// operation's: the same IEEE operations on more lanes, the comparisons
// quiet (their results are the same as the signalling ones'; nothing reads
// the exception flags).
//
// Everything here is in an unnamed namespace, so that everything made from
// it (the rules' templates instantiated on these types) stays inside that
// one file: the linker can never pick a copy compiled for AVX2 for code that
// runs on a processor without it. Include it from that file only.
#pragma once

#include <immintrin.h>

#include "platform/lanes.h"  // the operators with a number

#ifndef __AVX2__
#error "platform/lanes_avx2.h is for the file compiled with -mavx2"
#endif

namespace spreadcore::avx2 {
namespace {

// A condition of four bars: each lane all ones (holds) or all zeros.
struct Mask {
    __m256d m;
};
inline Mask operator&(Mask a, Mask b) { return {_mm256_and_pd(a.m, b.m)}; }
inline Mask operator|(Mask a, Mask b) { return {_mm256_or_pd(a.m, b.m)}; }
inline Mask inverse(Mask a) { return {_mm256_xor_pd(a.m, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)))}; }
// Bits 0-3 for the four bars.
inline unsigned bits(Mask a) { return static_cast<unsigned>(_mm256_movemask_pd(a.m)); }
// Eight bars' bits in one step: bits 0-3 from a, 4-7 from b.
inline unsigned bits(Mask a, Mask b) { return bits(a) | bits(b) << 4; }

struct Lanes {
    static constexpr int kWidth = 4;  // bars a register holds
    __m256d v;
    // Four values from p[0] to p[3].
    static Lanes load(const double* p) { return {_mm256_loadu_pd(p)}; }
    // x in every lane (platform/lanes.h's operators with a number use it).
    static Lanes all(double x) { return {_mm256_set1_pd(x)}; }
};
inline Lanes operator-(Lanes a, Lanes b) { return {_mm256_sub_pd(a.v, b.v)}; }
inline Lanes operator+(Lanes a, Lanes b) { return {_mm256_add_pd(a.v, b.v)}; }
inline Lanes operator*(double a, Lanes b) { return {_mm256_mul_pd(Lanes::all(a).v, b.v)}; }
inline Lanes operator/(Lanes a, Lanes b) { return {_mm256_div_pd(a.v, b.v)}; }
// a where the mask holds, else b.
inline Lanes select(Mask m, Lanes a, Lanes b) { return {_mm256_blendv_pd(b.v, a.v, m.m)}; }
inline Mask operator<(Lanes a, Lanes b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)}; }
inline Mask operator>(Lanes a, Lanes b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)}; }
inline Mask operator<=(Lanes a, Lanes b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)}; }
inline Mask operator>=(Lanes a, Lanes b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ)}; }
// True where unordered too, as SSE2's cmpneqpd and C++'s !=.
inline Mask operator!=(Lanes a, Lanes b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_NEQ_UQ)}; }
// Neither infinite nor NaN: x - x is 0 exactly then, NaN otherwise.
inline Mask finite(Lanes x) { return {_mm256_cmp_pd(_mm256_sub_pd(x.v, x.v), _mm256_setzero_pd(), _CMP_EQ_OQ)}; }

}  // namespace
}  // namespace spreadcore::avx2
