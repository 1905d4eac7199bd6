// The plain statistics of an evaluation (statistics.h).
#include "evaluation/statistics.h"

#include <algorithm>
#include <cmath>

namespace evaluation {

double median_of(std::vector<double> values) {
    if (values.empty()) return kNaN;
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(mid), values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<long>(mid));
    return (lower + upper) / 2.0;
}

double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return kNaN;
    const double at = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(at));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

void plain_figures(const std::vector<double>& returns, const std::vector<double>& baselines,
                   const std::vector<double>& base_hits, int32_t code, EvaluationRow* row) {
    double sum = 0, base = 0, base_hit = 0;
    long hits = 0;
    for (std::size_t k = 0; k < returns.size(); ++k) {
        sum += returns[k];
        base += baselines[k];
        base_hit += base_hits[k];
        hits += code > 0 ? returns[k] > 0 : returns[k] < 0;
    }
    const auto n = static_cast<double>(returns.size());
    row->mean = sum / n;
    row->median = median_of(returns);
    row->hit_rate = static_cast<double>(hits) / n;
    row->base_mean = base / n;
    row->base_hit_rate = base_hit / n;
}

Studentized studentize(const double* case_n, const double* case_s, const double* base_n, const double* base_s,
                       std::size_t blocks) {
    double n = 0, a = 0, m = 0, b = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        n += case_n[k];
        a += case_s[k];
        m += base_n[k];
        b += base_s[k];
    }
    Studentized out;
    if (!(n > 0) || !(m > 0)) return out;
    const double case_mean = a / n, base_mean = b / m;
    double squares = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        const double z = (case_s[k] - case_mean * case_n[k]) / n - (base_s[k] - base_mean * base_n[k]) / m;
        squares += z * z;
    }
    const double k = static_cast<double>(blocks);
    out.diff = case_mean - base_mean;
    out.se = blocks > 1 ? std::sqrt(squares * k / (k - 1)) : kNaN;
    out.ok = true;
    return out;
}

}  // namespace evaluation
