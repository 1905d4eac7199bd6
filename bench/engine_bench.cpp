// The engine over the host's largest series (65,500 bars), per bar, through
// each of its faces: AnalysePosn (a call per bar through an instance, as
// VSAInd and the MetaTrader indicator call it), AnalyseSeries (the whole
// series in one call), the C++ batch face analyse_series and the stream
// face (push, then revise with the next close, as a live chart). Targets:
// the batch face at most 10 ns a bar; AnalyseSeries at least 5x faster
// than the AnalysePosn loop; periods 10,000 on a steady trend of 200,000
// bars within 2x of periods 9.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/feed.h"
#include "engine/instances.h"

namespace {

struct Bars {
    std::vector<double> high, low, close, volume;
    Bars() {
        std::mt19937 gen(7);
        std::normal_distribution<double> step(0, 1), size(0, 0.6);
        double c = 100;
        for (int i = 0; i < 65500; ++i) {
            c = std::max(5.0, c + step(gen));
            close.push_back(c);
            high.push_back(c + std::fabs(size(gen)) * 2);
            low.push_back(c - std::fabs(size(gen)) * 2);
            volume.push_back(1000 * std::exp(size(gen)));
        }
    }
};

void BM_AnalysePosn(benchmark::State& state) {
    static const Bars bars;
    const std::size_t n = bars.close.size();
    for (auto _ : state) {
        const int32_t h = AddToChartEx("metastock", "BENCH", static_cast<int32_t>(state.range(0)));
        int32_t sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const double next = i + 1 < n ? bars.close[i + 1] : -1.0;
            sum += AnalysePosn(h, static_cast<int32_t>(i) - 1, 2.0 + static_cast<double>(i),
                               bars.close[i], bars.high[i], bars.low[i], bars.close[i],
                               bars.volume[i], next, 0);
        }
        RemoveFromChart(h);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}

BENCHMARK(BM_AnalysePosn)->Arg(9)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_AnalyseSeries(benchmark::State& state) {
    static const Bars bars;
    const auto n = static_cast<int32_t>(bars.close.size());
    std::vector<int32_t> codes(bars.close.size());
    for (auto _ : state) {
        AnalyseSeries(bars.high.data(), bars.low.data(), bars.close.data(), bars.volume.data(), n,
                      static_cast<int32_t>(state.range(0)), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(BM_AnalyseSeries)->Arg(9)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_BatchFace(benchmark::State& state) {
    static const Bars bars;
    std::vector<int32_t> codes(bars.close.size());
    for (auto _ : state) {
        spreadcore::analyse_series(bars.high.data(), bars.low.data(), bars.close.data(), bars.volume.data(),
                                   codes.size(), static_cast<int>(state.range(0)), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

BENCHMARK(BM_BatchFace)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_StreamFace(benchmark::State& state) {
    static const Bars bars;
    const std::size_t n = bars.close.size();
    for (auto _ : state) {
        spreadcore::Stream stream(static_cast<int>(state.range(0)));
        int32_t sum = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) sum += stream.revise(bars.close[i]);
            sum += stream.push(bars.high[i], bars.low[i], bars.close[i], bars.volume[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}

BENCHMARK(BM_StreamFace)->Arg(9)->Unit(benchmark::kMillisecond);

// A steady trend: every bar a new high, so the lowest low leaves the window
// at every bar. With the extremes kept in monotonic queues the cost does not
// grow with `periods` (it grew as bars x periods when the window was searched
// again each time its extreme left).
void BM_AnalysePosnTrending(benchmark::State& state) {
    constexpr int kBars = 200000;
    for (auto _ : state) {
        const int32_t h = AddToChartEx("metastock", "TREND", static_cast<int32_t>(state.range(0)));
        int32_t sum = 0;
        for (int i = 0; i < kBars; ++i) {
            const double c = 100.0 + 0.01 * i;
            sum += AnalysePosn(h, i - 1, 2.0 + i, c, c + 0.5, c - 0.5, c, 1000.0 + (i % 7), c + 0.01, 0);
        }
        RemoveFromChart(h);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

BENCHMARK(BM_AnalysePosnTrending)->Arg(9)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_BatchFaceTrending(benchmark::State& state) {
    constexpr int kBars = 200000;
    std::vector<double> high(kBars), low(kBars), close(kBars), volume(kBars);
    for (int i = 0; i < kBars; ++i) {
        close[i] = 100.0 + 0.01 * i;
        high[i] = close[i] + 0.5, low[i] = close[i] - 0.5, volume[i] = 1000.0 + (i % 7);
    }
    std::vector<int32_t> codes(kBars);
    for (auto _ : state) {
        spreadcore::analyse_series(high.data(), low.data(), close.data(), volume.data(), codes.size(),
                                   static_cast<int>(state.range(0)), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

BENCHMARK(BM_BatchFaceTrending)->Arg(9)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
