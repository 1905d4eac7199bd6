// VSATrend and VSASpread on the host's largest series (65,500 bars), the fast
// block-summing path against the plain per-window loop, in the same run.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "boundary/BarsightPlugin_catalogue.h"
#include "indicator/local_indicators.h"
#include "tests/reference_indicators.h"

namespace {

constexpr int32_t kBars = 65500;

struct Chart {
    std::vector<float> high, low, close, volume, result;
    MSXDataRec data{};
    MSXDataInfoRec series{};
    MSXResultRec result_rec{};
    MSXNumericArgsArray numerics{};

    Chart() : result(kBars) {
        std::mt19937 gen(42);
        std::uniform_real_distribution<float> step(-1.0f, 1.0f), wick(0.0f, 2.0f);
        float price = 100.0f;
        for (int32_t i = 0; i < kBars; ++i) {
            price = std::max(1.0f, price + step(gen));
            close.push_back(price);
            high.push_back(price + wick(gen));
            low.push_back(price - wick(gen));
            volume.push_back(1000.0f + 5000.0f * wick(gen));
        }
        data.sHigh = {high.data(), 0, kBars - 1};
        data.sLow = {low.data(), 0, kBars - 1};
        data.sClose = {close.data(), 0, kBars - 1};
        data.sVol = {volume.data(), 0, kBars - 1};
        series.pfValue = result.data();
        result_rec.psResultArray = &series;
    }
};

Chart& chart() {
    static Chart c;
    return c;
}

void BM_VSATrend(benchmark::State& state) {
    Chart& c = chart();
    c.numerics.fNumerics[0] = static_cast<float>(state.range(0));
    c.numerics.iNRecs = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            barsight::catalogue::VSATrend({&c.data, nullptr, &c.numerics, nullptr, nullptr, &c.result_rec}));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

void BM_VSATrendReference(benchmark::State& state) {
    Chart& c = chart();
    const int32_t periods = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        reference::trend(c.high.data(), c.low.data(), c.close.data(), 0, kBars - 1, periods,
                         c.result.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

void BM_VSASpread(benchmark::State& state) {
    Chart& c = chart();
    c.numerics.fNumerics[0] = 0.0f;
    c.numerics.fNumerics[1] = static_cast<float>(state.range(0));
    c.numerics.iNRecs = 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            barsight::catalogue::VSASpread({&c.data, nullptr, &c.numerics, nullptr, nullptr, &c.result_rec}));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

void BM_VSASpreadReference(benchmark::State& state) {
    Chart& c = chart();
    const int32_t periods = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        reference::spread(c.high.data(), c.low.data(), c.volume.data(), 0, kBars - 1, periods, 0,
                          c.result.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

BENCHMARK(BM_VSATrend)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VSATrendReference)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VSASpread)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VSASpreadReference)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
