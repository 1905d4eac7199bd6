// The family-wide adjustment (family.h) and the name the outputs give it.
#include "evaluation/family.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "evaluation/statistics.h"

namespace evaluation {

const char* const kAdjustmentMethod =
    "Romano-Wolf step-down, max-|t| studentized in every replicate, over every code x horizon cell, "
    "circular block bootstrap over dates";

void adjust_family(std::vector<EvaluationRow*>& rows, const std::vector<std::vector<double>>& star, int replicates,
                   Evaluation* result) {
    struct Member {
        EvaluationRow* row;
        const std::vector<double>* star;
    };
    std::vector<Member> family;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EvaluationRow& row = *rows[k];
        row.adj_low = row.adj_high = row.p_adjusted = kNaN;
        if (!row.stats || !std::isfinite(row.t) || std::isnan(row.p)) continue;
        family.push_back({&row, &star[k]});
    }
    result->family = static_cast<long>(family.size());
    if (family.empty()) return;
    std::stable_sort(family.begin(), family.end(),
                     [](const Member& a, const Member& b) { return std::fabs(a.row->t) > std::fabs(b.row->t); });
    const auto reps = static_cast<std::size_t>(replicates);
    // The largest |t*| over the members from j on, per replicate, from the
    // last member back: the step-down's statistic at each step.
    std::vector<double> largest(reps, 0.0);
    std::vector<double> p(family.size());
    for (std::size_t j = family.size(); j-- > 0;) {
        long reached = 0;
        const double t = std::fabs(family[j].row->t);
        for (std::size_t b = 0; b < reps; ++b) {
            largest[b] = std::max(largest[b], (*family[j].star)[b]);
            reached += largest[b] >= t;
        }
        p[j] = (1.0 + static_cast<double>(reached)) / (1.0 + static_cast<double>(reps));
    }
    std::sort(largest.begin(), largest.end());  // now over the whole family
    result->critical = quantile(largest, 0.95);
    const bool finite = std::isfinite(result->critical);
    double running = 0;
    for (std::size_t j = 0; j < family.size(); ++j) {
        running = std::max(running, p[j]);
        EvaluationRow& row = *family[j].row;
        row.p_adjusted = running;
        row.adj_low = finite ? row.diff - result->critical * row.se : kNaN;
        row.adj_high = finite ? row.diff + result->critical * row.se : kNaN;
    }
}

}  // namespace evaluation
