// The engine over the host's largest series (65,500 bars), per bar, through
// each of its faces: AnalysePosn (a call per bar through an instance, as
// VSAInd and the MetaTrader indicator call it), AnalyseSeries (the whole
// series in one call), the C++ batch face analyse_series (the batch
// kernel) beside the Analyzer fed bar by bar (what the batch face was before
// the kernel, and still its reference in the tests), and the stream face
// (push, then revise with the next close, as a live chart). Targets: the
// batch face at most 25 ns a bar with the whole vocabulary and its
// background (10 when the engine had its first ten rules and no
// background); AnalyseSeries at least 5x faster than the
// AnalysePosn loop; periods 10,000 on a steady trend of 200,000 bars within
// 2x of periods 9. After the runs (interleaved with
// --benchmark_enable_random_interleaving, medians with repetitions) a table
// puts each face beside the one it is measured against.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
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

BENCHMARK(BM_BatchFace)->Arg(9)->Arg(50)->Unit(benchmark::kMillisecond);

// The batch face with SSE2's two bars a register only (what a processor
// without AVX2 runs).
void BM_BatchFaceSse2(benchmark::State& state) {
    static const Bars bars;
    std::vector<int32_t> codes(bars.close.size());
    for (auto _ : state) {
        spreadcore::SeriesKernel(static_cast<int>(state.range(0)), spreadcore::KernelLanes::sse2)
            .run(bars.high.data(), bars.low.data(), bars.close.data(), bars.volume.data(), codes.size(), codes.data(),
                 nullptr);
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

BENCHMARK(BM_BatchFaceSse2)->Arg(9)->Unit(benchmark::kMillisecond);

// The chart's face on the host's float32 prices (VSAInd's and the Python
// package's): the feed policy, each price widened as it is read.
void BM_ChartFaceFloat(benchmark::State& state) {
    static const Bars bars;
    static const std::vector<float> h(bars.high.begin(), bars.high.end()), l(bars.low.begin(), bars.low.end()),
        c(bars.close.begin(), bars.close.end()), v(bars.volume.begin(), bars.volume.end());
    std::vector<int32_t> codes(c.size());
    for (auto _ : state) {
        spreadcore::feed_series(h.data(), l.data(), c.data(), v.data(), codes.size(), static_cast<int>(state.range(0)),
                                codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

BENCHMARK(BM_ChartFaceFloat)->Arg(9)->Unit(benchmark::kMillisecond);

// The Analyzer fed the bars one by one: the batch face's codes, bar for bar.
template <class Series>
void analyzer_loop(const Series& high, const Series& low, const Series& close, const Series& volume, int periods,
                   int32_t* codes) {
    spreadcore::Analyzer analyzer(periods);
    const std::size_t n = close.size();
    for (std::size_t i = 0; i < n; ++i)
        codes[i] = analyzer.analyse({high[i], low[i], close[i], volume[i]},
                                    i + 1 < n ? close[i + 1] : spreadcore::kNoNextClose);
}

void BM_AnalyzerLoop(benchmark::State& state) {
    static const Bars bars;
    std::vector<int32_t> codes(bars.close.size());
    for (auto _ : state) {
        analyzer_loop(bars.high, bars.low, bars.close, bars.volume, static_cast<int>(state.range(0)), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}

BENCHMARK(BM_AnalyzerLoop)->Arg(9)->Arg(50)->Unit(benchmark::kMillisecond);

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

struct Trend {
    static constexpr int kBars = 200000;
    std::vector<double> high, low, close, volume;
    Trend() : high(kBars), low(kBars), close(kBars), volume(kBars) {
        for (std::size_t i = 0; i < close.size(); ++i) {
            close[i] = 100.0 + 0.01 * static_cast<double>(i);
            high[i] = close[i] + 0.5, low[i] = close[i] - 0.5, volume[i] = 1000.0 + static_cast<double>(i % 7);
        }
    }
};

void BM_BatchFaceTrending(benchmark::State& state) {
    static const Trend t;
    std::vector<int32_t> codes(t.close.size());
    for (auto _ : state) {
        spreadcore::analyse_series(t.high.data(), t.low.data(), t.close.data(), t.volume.data(), codes.size(),
                                   static_cast<int>(state.range(0)), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * Trend::kBars);
}

BENCHMARK(BM_BatchFaceTrending)->Arg(9)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_AnalyzerLoopTrending(benchmark::State& state) {
    static const Trend t;
    std::vector<int32_t> codes(t.close.size());
    for (auto _ : state) {
        analyzer_loop(t.high, t.low, t.close, t.volume, static_cast<int>(state.range(0)), codes.data());
        benchmark::DoNotOptimize(codes.data());
    }
    state.SetItemsProcessed(state.iterations() * Trend::kBars);
}

BENCHMARK(BM_AnalyzerLoopTrending)->Arg(9)->Arg(10000)->Unit(benchmark::kMillisecond);

// The console's lines, then each face beside what it is measured against, in
// ns a bar (the median of the repetitions when there are several).
class Table : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto items = run.counters.find("items_per_second");
            if (items != run.counters.end() && items->second.value > 0)
                ns_a_bar_[run.run_name.str()] = 1e9 / items->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-46s %9s %9s %8s  %s\n", "ns a bar", "this", "against", "ratio", "target");
        line("batch face / Analyzer loop, periods 9", "BM_BatchFace/9", "BM_AnalyzerLoop/9", "<= 25 ns a bar");
        line("batch face / Analyzer loop, periods 50", "BM_BatchFace/50", "BM_AnalyzerLoop/50", "");
        line("AnalyseSeries / AnalysePosn loop, periods 9", "BM_AnalyseSeries/9", "BM_AnalysePosn/9", ">= 5x");
        line("AnalyseSeries / AnalysePosn loop, periods 50", "BM_AnalyseSeries/50", "BM_AnalysePosn/50", ">= 5x");
        line("batch face / stream face, periods 9", "BM_BatchFace/9", "BM_StreamFace/9", "");
        line("trend, batch face: periods 9 / 10000", "BM_BatchFaceTrending/9", "BM_BatchFaceTrending/10000",
             "<= 2x");
        line("trend, Analyzer loop: periods 9 / 10000", "BM_AnalyzerLoopTrending/9", "BM_AnalyzerLoopTrending/10000",
             "");
        line("trend, AnalysePosn: periods 9 / 10000", "BM_AnalysePosnTrending/9", "BM_AnalysePosnTrending/10000",
             "<= 2x");
        std::printf("(ratio: the second's time over the first's)\n");
    }

private:
    void line(const char* what, const std::string& name, const std::string& against, const char* target) const {
        const auto a = ns_a_bar_.find(name), b = ns_a_bar_.find(against);
        if (a == ns_a_bar_.end() || b == ns_a_bar_.end()) return;  // not run (a filter)
        std::printf("%-46s %9.1f %9.1f %7.2fx  %s\n", what, a->second, b->second, b->second / a->second, target);
    }
    std::map<std::string, double> ns_a_bar_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Table table;
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();
    return 0;
}
