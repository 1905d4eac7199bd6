// msxhost evaluate at a watchlist's size: 1,000 files of 5,000 daily bars
// with ten signal codes, four horizons and 2,000 replicates, the per-cell
// intervals and the family-wide adjustment (Romano-Wolf) together. The
// target: under 10 seconds on this machine.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "evaluation/evaluate.h"

namespace {

std::vector<evaluation::CodedSeries> watchlist(int files, int bars) {
    std::mt19937_64 random(11);
    std::normal_distribution<double> step(0, 1.0);
    std::uniform_int_distribution<int> pick(0, 99);
    const int32_t codes[] = {3, 4, 12, 13, 16, 19, -2, -5, -10, -14};
    std::vector<evaluation::CodedSeries> charts(static_cast<std::size_t>(files));
    for (evaluation::CodedSeries& s : charts) {
        double price = 100;
        for (int t = 0; t < bars; ++t) {
            s.days.push_back(10000 + t);
            s.open.push_back(price);
            price *= 1 + step(random) / 100;
            s.close.push_back(price);
            const int roll = pick(random);
            s.codes.push_back(roll < 10 ? codes[roll] : 0);  // a signal on 10% of the bars
        }
    }
    return charts;
}

void BM_EvaluateWatchlist(benchmark::State& state) {
    static const std::vector<evaluation::CodedSeries> charts = watchlist(1000, 5000);
    evaluation::EvaluateOptions options;  // horizons 1, 5, 10, 20; 2,000 replicates
    for (auto _ : state) {
        const evaluation::Evaluation e = evaluation::evaluate(charts, options);
        benchmark::DoNotOptimize(e.rows.data());
        if (e.family == 0) state.SkipWithError("no family-wide adjustment was made");
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 5000);
}

}  // namespace

BENCHMARK(BM_EvaluateWatchlist)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
