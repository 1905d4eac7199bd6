// The plain statistics of an evaluation: a median, a quantile of sorted
// values, a cell's own figures from its cases, and the studentized
// difference of a cell's cases from its baseline that the bootstrap
// resamples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "evaluation/evaluate.h"

namespace evaluation {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The normal quantile of 80%: an effect of (c + kPower80) standard errors is
// found by a test at critical value c four times in five.
inline constexpr double kPower80 = 0.8416212335729143;

// The median of the values (NaN for none).
double median_of(std::vector<double> values);

// The q quantile of sorted values, interpolated between neighbours.
double quantile(const std::vector<double>& sorted, double q);

// The plain figures of one cell from its cases' returns: mean, median, the
// share moving the code's way, and the cases' baselines averaged.
void plain_figures(const std::vector<double>& returns, const std::vector<double>& baselines,
                   const std::vector<double>& base_hits, int32_t code, EvaluationRow* row);

// A cell's difference (the cases' mean minus the baseline's, both of values
// taken from their own baselines) and its standard error, from the blocks
// of one replicate or of the sample itself. The difference is a ratio of
// sums; its variance is estimated from the blocks' totals of the
// linearised statistic, blocks being nearly independent once they are
// longer than the horizon (the block bootstrap's own variance, so that t*
// of a replicate is studentized as t of the sample is).
struct Studentized {
    double diff = kNaN, se = kNaN;
    bool ok = false;  // a case and a baseline bar in it
};

Studentized studentize(const double* case_n, const double* case_s, const double* base_n, const double* base_s,
                       std::size_t blocks);

}  // namespace evaluation
