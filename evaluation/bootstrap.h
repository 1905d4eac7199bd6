// The circular block bootstrap over dates: values kept per date as prefix
// sums, the plan that cuts the dates into blocks, the blocks' starts drawn
// for every replicate, and the totals of one replicate's blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace evaluation {

// Fewer blocks of dates than this give no interval.
inline constexpr std::size_t kMinBlocks = 10;

// Counts and sums of values per date of one resampling unit (all files
// together, or one file), as prefix sums so that a block's total is one
// subtraction.
struct PerDate {
    std::vector<double> count, sum;  // size dates + 1, prefix sums
    explicit PerDate(std::size_t dates) : count(dates + 1, 0.0), sum(dates + 1, 0.0) {}
    void add(std::size_t date, double value) {
        count[date + 1] += 1.0;
        sum[date + 1] += value;
    }
    void accumulate() {
        for (std::size_t d = 1; d < count.size(); ++d) {
            count[d] += count[d - 1];
            sum[d] += sum[d - 1];
        }
    }
};

// How a replicate is made of the dates: `blocks` blocks of `length` dates
// per resampling unit (the last block cut to give exactly `dates`), each
// starting where `starts` says, the dates taken as a circle.
struct BlockPlan {
    std::size_t units = 1, blocks = 0, length = 1, dates = 0;
    std::size_t size() const { return units * blocks; }
};

// One plan for every cell: blocks as long as the longest horizon (its cases
// overlap that far) and the cube root of the dates (block_length), for
// `units` resampling units.
BlockPlan plan_for(int longest_horizon, std::size_t dates, std::size_t units);

// The block starts of every replicate, `replicates` x plan.size() of them,
// drawn once for all horizons (the draws are 64-bit words reduced by the
// range, the same in a 32-bit and a 64-bit build); the sample itself is the
// blocks laid end to end (sample_starts).
std::vector<uint32_t> draw_starts(uint64_t seed, std::size_t replicates, const BlockPlan& plan);
std::vector<uint32_t> sample_starts(const BlockPlan& plan);

// The count and sum of every block of one replicate (one value per unit and
// block) of values kept per date.
void block_sums(const std::vector<PerDate>& per_unit, const uint32_t* starts, const BlockPlan& plan, double* count,
                double* sum);

}  // namespace evaluation
