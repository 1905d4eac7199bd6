// The batch kernel's word loops (engine/batch_words.h) with AVX2's four
// bars a register. This file alone is compiled for AVX2; the kernel calls
// these loops only where the processor and its system run AVX2
// (widest_kernel_lanes in engine/batch.cpp). What it makes from the AVX2
// types has internal linkage (platform/lanes_avx2.h), so none of it can
// stand in for the code the other files compile for SSE2.
#include "engine/batch_words.h"
#include "platform/lanes_avx2.h"

namespace spreadcore {

namespace {

void avx2_conditions(const BlockColumns& c, std::size_t base, std::size_t n, Conditions<Word>& words) {
    word_conditions<avx2::Lanes>(c, base, n, words);
}
void avx2_placement(const BlockColumns& c, std::size_t base, std::size_t from, std::size_t end,
                    const double* level_highs, const double* level_lows, bool any_range, Behind<Word>& behind) {
    word_placement<avx2::Lanes>(c, base, from, end, level_highs, level_lows, any_range, behind);
}

}  // namespace

extern const WordLoops kAvx2WordLoops;
const WordLoops kAvx2WordLoops = {avx2_conditions, avx2_placement};

}  // namespace spreadcore
