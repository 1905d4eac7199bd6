// The circular block bootstrap over dates (bootstrap.h) and its block
// length (evaluate.h).
#include "evaluation/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "evaluation/evaluate.h"

namespace evaluation {

int block_length(int longest_horizon, long dates) {
    const long span = std::max(dates, 1L);
    const int root = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(span))));
    return static_cast<int>(std::min<long>(std::max({longest_horizon, root, 1}), span));
}

BlockPlan plan_for(int longest_horizon, std::size_t dates, std::size_t units) {
    BlockPlan plan;
    plan.units = units;
    plan.dates = dates;
    plan.length = static_cast<std::size_t>(block_length(longest_horizon, static_cast<long>(dates)));
    plan.blocks = dates == 0 ? 0 : (dates + plan.length - 1) / plan.length;
    return plan;
}

std::vector<uint32_t> draw_starts(uint64_t seed, std::size_t replicates, const BlockPlan& plan) {
    std::vector<uint32_t> starts(replicates * plan.size());
    std::mt19937_64 random(seed ^ 0x5851F42D4C957F2DULL);
    for (uint32_t& start : starts) start = static_cast<uint32_t>(random() % std::max<std::size_t>(plan.dates, 1));
    return starts;
}

std::vector<uint32_t> sample_starts(const BlockPlan& plan) {
    std::vector<uint32_t> own(plan.size());
    for (std::size_t u = 0; u < plan.units; ++u)
        for (std::size_t k = 0; k < plan.blocks; ++k) own[u * plan.blocks + k] = static_cast<uint32_t>(k * plan.length);
    return own;
}

void block_sums(const std::vector<PerDate>& per_unit, const uint32_t* starts, const BlockPlan& plan, double* count,
                double* sum) {
    for (std::size_t u = 0; u < plan.units; ++u) {
        const PerDate& p = per_unit[u];
        for (std::size_t k = 0; k < plan.blocks; ++k) {
            const std::size_t at = u * plan.blocks + k;
            const std::size_t start = starts[at];
            const std::size_t span = std::min(plan.length, plan.dates - k * plan.length);
            const std::size_t end = std::min(start + span, plan.dates);
            double n = p.count[end] - p.count[start];
            double s = p.sum[end] - p.sum[start];
            if (start + span > plan.dates) {  // the block wraps round to the first dates
                n += p.count[start + span - plan.dates];
                s += p.sum[start + span - plan.dates];
            }
            count[at] = n;
            sum[at] = s;
        }
    }
}

}  // namespace evaluation
