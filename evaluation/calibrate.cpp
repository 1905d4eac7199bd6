// evaluate_calibration: how often `msxhost evaluate` finds something where
// there is nothing, and how often it finds what is there, measured the way
// a statistician would check it before trusting a table of it.
//
//   evaluate_calibration shift --data A.csv [--data B.csv]... [--runs N]
//       the engine's own codes of each file (VSAInd's, before its filter),
//       shifted circularly against the file's prices by a random offset:
//       real signals, real prices, no link between them
//   evaluate_calibration runs --data A.csv [--data B.csv]... [--runs N]
//       random codes (four signals) placed in runs of 1 to 6 bars, as real
//       signals often come, on the files' real prices
//   evaluate_calibration garch [--files F] [--bars T] [--runs N]
//       the same random codes on synthetic watchlists whose files share a
//       market factor and whose volatility clusters (GARCH(1,1))
//   evaluate_calibration power [--files F] [--bars T] [--runs N]
//       GARCH watchlists with code 3 followed by a planted drift, at
//       several multiples of the run's own minimum detectable effect
//
// Common options: --bootstrap B (300), --horizons 1,5,10,20, --baseline
// file|file-year|date, --seed S, --threads N (2), --within LOW,HIGH (exit
// status 1 when the family-wide rate, in percent, falls outside: the test
// lanes' check). Each run draws its own seed from S, so a figure is
// reproduced by its command line.
//
// Printed: the share of runs in which any cell's adjusted p is below 0.05
// (the family-wide error rate, 5% if the adjustment holds its promise) with
// its exact binomial 95% interval; the share of cells whose plain 95%
// interval excludes 0 (5% per cell); per cell the mean placebo difference
// with its standard error over the runs (it should be 0 within noise).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/feed.h"
#include "evaluation/codes.h"
#include "evaluation/evaluate.h"
#include "harness/chart_data.h"

namespace {

using evaluation::CodedSeries;
using evaluation::Evaluation;
using evaluation::EvaluationRow;

struct Settings {
    std::string mode;
    std::vector<std::string> files;
    int runs = 400, files_wanted = 4, bars = 800, threads = 2;
    double within_low = 0, within_high = 100;
    uint64_t seed = 1;
    evaluation::EvaluateOptions options;
};

// A file's bars: prices as the host passes them (single precision) and the
// engine's codes.
struct RealFile {
    CodedSeries series;
    std::vector<int32_t> engine_codes;
};

bool load(const std::string& path, RealFile* file) {
    harness::ChartData chart;
    std::string error;
    CodedSeries& s = file->series;
    if (!harness::load_chart_csv(path, &chart, &error) || !harness::chart_days(chart, path, &s.days, &error, &s.minutes)) {
        std::fprintf(stderr, "evaluate_calibration: %s\n", error.c_str());
        return false;
    }
    s.name = path;
    s.open.assign(chart.open.begin(), chart.open.end());
    s.close.assign(chart.close.begin(), chart.close.end());
    file->engine_codes.assign(chart.size(), 0);
    spreadcore::feed_series(chart.high.data(), chart.low.data(), chart.close.data(), chart.volume.data(), chart.size(),
                            9, file->engine_codes.data());
    return true;
}

// Random codes of four signals in runs of 1 to 6 bars: a run starts on a
// bar with probability `start`, and the next run starts after it ends.
std::vector<int32_t> codes_in_runs(std::size_t bars, double start, std::mt19937_64& random) {
    static const int32_t kCodes[] = {3, 4, -2, -5};
    std::bernoulli_distribution starts(start);
    std::uniform_int_distribution<int> length(1, 6), which(0, 3);
    std::vector<int32_t> codes(bars, 0);
    for (std::size_t t = 1; t < bars; ++t) {
        if (!starts(random)) continue;
        const int32_t code = kCodes[which(random)];
        const std::size_t end = std::min(bars, t + static_cast<std::size_t>(length(random)));
        for (; t < end; ++t) codes[t] = code;
    }
    return codes;
}

// A synthetic watchlist: each file's daily return is a common market factor
// plus its own, both GARCH(1,1) (volatility clusters: alpha 0.08, beta 0.9,
// 1% a day on average), with codes in runs. With `effect`, code 3
// is followed by `effect` percent a bar on each of the 10 bars from its
// entry on.
std::vector<CodedSeries> garch_watchlist(int files, int bars, double effect, std::mt19937_64& random) {
    std::normal_distribution<double> normal(0, 1);
    const double alpha = 0.08, beta = 0.9, mean_variance = 0.5;  // each component: half of 1%^2
    const auto garch = [&](int n) {
        std::vector<double> r(static_cast<std::size_t>(n));
        double variance = mean_variance;
        for (double& v : r) {
            v = std::sqrt(variance) * normal(random);
            variance = mean_variance * (1 - alpha - beta) + alpha * v * v + beta * variance;
        }
        return r;
    };
    const std::vector<double> market = garch(bars);
    std::vector<CodedSeries> charts(static_cast<std::size_t>(files));
    for (std::size_t f = 0; f < charts.size(); ++f) {
        CodedSeries& s = charts[f];
        s.name = "synthetic " + std::to_string(f + 1);
        const std::vector<double> own = garch(bars);
        s.codes = codes_in_runs(static_cast<std::size_t>(bars), 0.03, random);
        std::vector<double> drift(static_cast<std::size_t>(bars) + 12, 0.0);
        double price = 100;
        for (int t = 0; t < bars; ++t) {
            const auto at = static_cast<std::size_t>(t);
            s.days.push_back(15000 + t);
            s.open.push_back(price);
            price *= 1 + (market[at] + own[at] + drift[at]) / 100;
            s.close.push_back(price);
            // Set, not added: a case in a run of code 3 is followed by
            // the effect on each of its 10 bars, not by the run's sum.
            if (s.codes[at] == 3)
                for (std::size_t k = at + 2; k < at + 12; ++k) drift[k] = effect;
        }
    }
    return charts;
}

// Exact (Clopper-Pearson) 95% interval of a binomial share, by bisection on
// the binomial tail sums.
double binomial_tail(int n, int k, double p, bool upper) {
    // P(X >= k) when upper, else P(X <= k).
    double sum = 0;
    for (int i = upper ? k : 0; i <= (upper ? n : k); ++i)
        sum += std::exp(std::lgamma(n + 1.0) - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0) + i * std::log(p) +
                        (n - i) * std::log1p(-p));
    return sum;
}

std::pair<double, double> clopper_pearson(int k, int n) {
    const auto solve = [&](bool upper) {
        double lo = 0, hi = 1;
        for (int i = 0; i < 60; ++i) {
            const double mid = (lo + hi) / 2;
            const double tail = binomial_tail(n, k, mid, upper);
            // lower bound: P(X >= k | p) = 0.025; upper bound: P(X <= k | p) = 0.025
            if ((tail < 0.025) == upper) lo = mid;
            else hi = mid;
        }
        return (lo + hi) / 2;
    };
    return {k == 0 ? 0.0 : solve(true), k == n ? 1.0 : solve(false)};
}

struct Tally {
    std::mutex lock;
    int runs = 0, any_adjusted = 0, cells = 0, plain_out = 0;
    // per cell (code, horizon): sum and sum of squares of the differences,
    // runs with statistics, plain rejections
    struct Cell {
        double sum = 0, squares = 0, mde = 0;
        int n = 0, plain = 0, adjusted = 0;
    };
    std::map<std::pair<int32_t, int>, Cell> cell;
};

void count(const Evaluation& e, Tally* tally) {
    std::lock_guard<std::mutex> hold(tally->lock);
    ++tally->runs;
    bool any = false;
    for (const EvaluationRow& row : e.rows) {
        if (!row.stats || std::isnan(row.ci_low)) continue;
        const bool plain = row.ci_low > 0 || row.ci_high < 0;
        const bool adjusted = !std::isnan(row.p_adjusted) && row.p_adjusted < 0.05;
        any = any || adjusted;
        ++tally->cells;
        tally->plain_out += plain;
        Tally::Cell& c = tally->cell[{row.code, row.horizon}];
        c.sum += row.diff;
        c.squares += row.diff * row.diff;
        c.mde += row.mde;
        ++c.n;
        c.plain += plain;
        c.adjusted += adjusted;
    }
    tally->any_adjusted += any;
}

// The report; false when the family-wide rate is outside --within.
bool report(const Settings& s, const Tally& tally) {
    const auto [low, high] = clopper_pearson(tally.any_adjusted, tally.runs);
    std::printf("%s: %d runs, %d replicates, baseline %s\n", s.mode.c_str(), tally.runs, s.options.bootstrap,
                evaluation::baseline_name(s.options.baseline));
    std::printf("family-wide: any adjusted p < 0.05 in %d of %d runs: %.1f%% (95%% interval %.1f%% to %.1f%%)\n",
                tally.any_adjusted, tally.runs, 100.0 * tally.any_adjusted / std::max(tally.runs, 1), 100 * low,
                100 * high);
    const auto [plow, phigh] = clopper_pearson(tally.plain_out, std::max(tally.cells, 1));
    std::printf("per cell: plain 95%% interval excludes 0 in %d of %d cells: %.1f%% (95%% interval %.1f%% to "
                "%.1f%%)\n",
                tally.plain_out, tally.cells, 100.0 * tally.plain_out / std::max(tally.cells, 1), 100 * plow,
                100 * phigh);
    std::printf("%-18s %4s %5s %10s %9s %6s %7s %7s %8s\n", "signal", "h", "runs", "mean diff", "se", "z", "plain",
                "adj.", "mean mde");
    for (const auto& [key, c] : tally.cell) {
        const double mean = c.sum / c.n;
        const double sd = c.n > 1 ? std::sqrt(std::max(0.0, (c.squares - c.n * mean * mean) / (c.n - 1))) : 0;
        const double se = sd / std::sqrt(static_cast<double>(c.n));
        const char* name = evaluation::signal_name(key.first);
        std::printf("%-18s %4d %5d %+9.3f%% %8.3f%% %+6.2f %6.1f%% %6.1f%% %7.2f%%\n",
                    *name ? name : std::to_string(key.first).c_str(), key.second, c.n, mean, se,
                    se > 0 ? mean / se : 0.0, 100.0 * c.plain / c.n, 100.0 * c.adjusted / c.n, c.mde / c.n);
    }
    const double rate = 100.0 * tally.any_adjusted / std::max(tally.runs, 1);
    if (rate < s.within_low || rate > s.within_high) {
        std::printf("FAILED: the family-wide rate %.1f%% is outside %.1f%% to %.1f%%\n", rate, s.within_low,
                    s.within_high);
        return false;
    }
    return true;
}

template <class Run>
void run_all(const Settings& s, Run run) {
    std::atomic<int> next{0};
    std::vector<std::thread> pool;
    const auto work = [&] {
        for (int k; (k = next.fetch_add(1)) < s.runs;) run(k);
    };
    for (int t = 1; t < s.threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
}

int usage() {
    std::fprintf(stderr,
                 "usage: evaluate_calibration shift|runs --data A.csv [--data B.csv]... [options]\n"
                 "       evaluate_calibration garch|power [--files F] [--bars T] [options]\n"
                 "options: --runs N --bootstrap B --horizons 1,5,10,20 --baseline file|file-year|date --seed S "
                 "--threads N --within LOW,HIGH\n");
    return 2;
}

bool parse(int argc, char** argv, Settings* s) {
    if (argc < 2) return false;
    s->mode = argv[1];
    s->options.bootstrap = 300;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        const long long n = std::atoll(value.c_str());
        if (key == "--data") s->files.push_back(value);
        else if (key == "--runs" && n > 0) s->runs = static_cast<int>(n);
        else if (key == "--files" && n > 0) s->files_wanted = static_cast<int>(n);
        else if (key == "--bars" && n > 20) s->bars = static_cast<int>(n);
        else if (key == "--threads" && n > 0) s->threads = static_cast<int>(n);
        else if (key == "--seed") s->seed = static_cast<uint64_t>(n);
        else if (key == "--within" && value.find(',') != std::string::npos) {
            s->within_low = std::atof(value.c_str());
            s->within_high = std::atof(value.c_str() + value.find(',') + 1);
        }
        else if (key == "--bootstrap" && n >= evaluation::kMinReplicates) s->options.bootstrap = static_cast<int>(n);
        else if (key == "--baseline" && evaluation::parse_baseline(value, &s->options.baseline)) continue;
        else if (key == "--horizons") {
            s->options.horizons.clear();
            for (const std::string& part : harness::split(value, ',')) s->options.horizons.push_back(std::atoi(part.c_str()));
        } else {
            std::fprintf(stderr, "evaluate_calibration: %s %s?\n", key.c_str(), value.c_str());
            return false;
        }
    }
    if ((argc - 2) % 2 != 0) return false;
    return s->mode == "shift" || s->mode == "runs" ? !s->files.empty() : s->mode == "garch" || s->mode == "power";
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    if (!parse(argc, argv, &s)) return usage();
    std::vector<RealFile> real(s.files.size());
    for (std::size_t f = 0; f < s.files.size(); ++f)
        if (!load(s.files[f], &real[f])) return 1;

    if (s.mode == "shift" || s.mode == "runs") {
        Tally tally;
        run_all(s, [&](int k) {
            std::mt19937_64 random(s.seed * 1000003 + static_cast<uint64_t>(k));
            std::vector<CodedSeries> charts;
            for (const RealFile& file : real) {
                CodedSeries c = file.series;
                const std::size_t n = c.close.size();
                c.codes.assign(n, 0);
                if (s.mode == "shift") {
                    // Any offset that moves a code further than the longest
                    // horizon (and its entry) from its own bar: a wider gap
                    // would keep codes away from the prices they came from,
                    // and those are not typical (an upthrust needs a rising
                    // year), which biases the placebo.
                    const std::size_t gap = static_cast<std::size_t>(
                        *std::max_element(s.options.horizons.begin(), s.options.horizons.end()) + 2);
                    std::uniform_int_distribution<std::size_t> offset(gap, n > 2 * gap ? n - gap : gap);
                    const std::size_t by = n > 2 * gap ? offset(random) : 0;
                    for (std::size_t t = 0; t < n; ++t) c.codes[(t + by) % n] = file.engine_codes[t];
                } else {
                    c.codes = codes_in_runs(n, 0.03, random);
                }
                charts.push_back(std::move(c));
            }
            evaluation::EvaluateOptions options = s.options;
            options.seed = random();
            count(evaluation::evaluate(charts, options), &tally);
        });
        return report(s, tally) ? 0 : 1;
    }
    if (s.mode == "garch") {
        Tally tally;
        run_all(s, [&](int k) {
            std::mt19937_64 random(s.seed * 1000003 + static_cast<uint64_t>(k));
            evaluation::EvaluateOptions options = s.options;
            options.seed = random();
            count(evaluation::evaluate(garch_watchlist(s.files_wanted, s.bars, 0.0, random), options), &tally);
        });
        return report(s, tally) ? 0 : 1;
    }
    // power: the mde of code 3 at h=10 measured on null watchlists first,
    // then the effect planted at multiples of it (the effect is per bar over
    // 10 bars, so an effect e moves the h=10 return by about 10 e).
    s.options.horizons = {10};
    Tally null_tally;
    Settings pilot = s;
    pilot.runs = std::min(s.runs, 100);
    run_all(pilot, [&](int k) {
        std::mt19937_64 random(s.seed * 7919 + static_cast<uint64_t>(k));
        evaluation::EvaluateOptions options = s.options;
        options.seed = random();
        count(evaluation::evaluate(garch_watchlist(s.files_wanted, s.bars, 0.0, random), options), &null_tally);
    });
    const Tally::Cell& cell = null_tally.cell[{3, 10}];
    if (cell.n == 0) {
        std::fprintf(stderr, "evaluate_calibration: code 3 has no statistics on these watchlists\n");
        return 1;
    }
    const double mde = cell.mde / cell.n;
    std::printf("power: code 3 (%s) at h=10, mde %.3f%% (mean over %d null runs); %d runs per effect\n",
                evaluation::signal_name(3), mde, cell.n,
                s.runs);
    std::printf("%10s %12s %8s %22s %10s\n", "x mde", "effect", "runs", "plain p < 0.05", "adjusted");
    for (double multiple : {0.0, 0.5, 1.0, 1.5, 2.0}) {
        Tally tally;
        run_all(s, [&](int k) {
            std::mt19937_64 random(s.seed * 104729 + static_cast<uint64_t>(k));
            evaluation::EvaluateOptions options = s.options;
            options.seed = random();
            count(evaluation::evaluate(garch_watchlist(s.files_wanted, s.bars, multiple * mde / 10, random), options),
                  &tally);
        });
        const Tally::Cell& found = tally.cell[{3, 10}];
        const auto [low, high] = clopper_pearson(found.plain, std::max(found.n, 1));
        std::printf("%10.1f %11.3f%% %8d %7.1f%% (%4.1f-%4.1f%%) %9.1f%%\n", multiple, multiple * mde, found.n,
                    100.0 * found.plain / std::max(found.n, 1), 100 * low, 100 * high,
                    100.0 * found.adjusted / std::max(found.n, 1));
    }
    return 0;
}
