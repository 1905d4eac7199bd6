// BarsightVSA in mql4run, natively: attaching to a chart of 100,000 closed
// bars with MaxBars=0, and one new bar on that chart. With one engine
// instance fed as bars close, a new bar costs two engine calls, not a
// recalculation of the chart. Arg 0: DrawArrows false (the copy an Expert
// Advisor reads), 1: arrows, labels and legend drawn.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "platform/dynamic_library.h"
#include "tools/mql4run/runner.h"

namespace {

constexpr int kBars = 100000;   // closed bars at attach
constexpr int kNewBars = 20000;  // bars that can arrive afterwards

struct Fixture {
    mql::Chart all;
    mql4run::Imports imports;
    const mql::ProgramEntry* entry = nullptr;
    mql::Runner runner;
    std::string error;
    Fixture() {
        std::mt19937 gen(7);
        std::normal_distribution<double> step(0, 1), size(0, 0.6);
        double c = 100;
        for (int i = 0; i < kBars + 1 + kNewBars; ++i) {
            const double next = std::max(5.0, c + step(gen));
            all.time.append(static_cast<mql::datetime>(i) * 86400);
            all.open.append(c);
            all.high.append(std::max(c, next) + std::fabs(size(gen)));
            all.low.append(std::min(c, next) - std::fabs(size(gen)));
            all.close.append(next);
            all.tick_volume.append(static_cast<mql::mql_long>(1000 * std::exp(size(gen))));
            all.volume.append(0);
            all.spread.append(0);
            c = next;
        }
        entry = mql4run::find_program("BarsightVSA.mq4");
        if (entry == nullptr || !imports.bind(*entry, platform::own_module_directory(), &error)) entry = nullptr;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// A chart holding the closed bars and the forming one, the indicator's
// OnInit done: what the terminal has before the first OnCalculate.
std::unique_ptr<mql4run::ChartSession> loaded(Fixture& f, bool draw) {
    auto session = std::make_unique<mql4run::ChartSession>(*f.entry, f.imports, &f.runner, 0);
    session->set_input("MaxBars", "0");
    session->set_input("DrawArrows", draw ? "true" : "false");
    session->init();
    session->add_bars(f.all, 0, kBars + 1);
    session->program().grow_buffers(kBars + 1);  // the terminal sizes the buffers with the history
    return session;
}

std::unique_ptr<mql4run::ChartSession> attached(Fixture& f, bool draw) {
    auto session = loaded(f, draw);
    session->tick();
    return session;
}

void BM_AttachVSA(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.entry == nullptr) {
        state.SkipWithError(("BarsightVSA cannot be bound: " + f.error).c_str());
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto session = loaded(f, state.range(0) != 0);
        state.ResumeTiming();
        session->tick();  // the first OnCalculate: the whole history
        state.PauseTiming();
        session->deinit(mql::REASON_REMOVE);
        session.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

void BM_NewBarVSA(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.entry == nullptr) {
        state.SkipWithError(("BarsightVSA cannot be bound: " + f.error).c_str());
        return;
    }
    auto session = attached(f, state.range(0) != 0);
    int next = kBars + 1;
    for (auto _ : state) {
        if (next >= f.all.time.size()) {  // the pool of new bars is used up: attach again
            state.PauseTiming();
            session->deinit(mql::REASON_REMOVE);
            session = attached(f, state.range(0) != 0);
            next = kBars + 1;
            state.ResumeTiming();
        }
        session->calculate(f.all, next++, 1);
    }
    session->deinit(mql::REASON_REMOVE);
}

// The engine's own share of an attach: the same bars straight through
// Spreadcore's exports (one instance, each bar with its next close).
void BM_AttachEngineOnly(benchmark::State& state) {
    Fixture& f = fixture();
    platform::DynamicLibrary engine;
    std::string error;
    engine = platform::DynamicLibrary::open(platform::own_module_directory() + "/" +
                                                platform::library_file_name("Spreadcore"), &error);
    using Add = int32_t (*)(const char*, const char*, int32_t);
    using Analyse = int32_t (*)(int32_t, int32_t, double, double, double, double, double, double, double, int32_t);
    using Remove = int32_t (*)(int32_t);
    const auto add = reinterpret_cast<Add>(engine.symbol("AddToChartEx"));
    const auto analyse = reinterpret_cast<Analyse>(engine.symbol("AnalysePosn"));
    const auto remove = reinterpret_cast<Remove>(engine.symbol("RemoveFromChart"));
    if (add == nullptr || analyse == nullptr || remove == nullptr) {
        state.SkipWithError(("Spreadcore cannot be bound: " + error).c_str());
        return;
    }
    const auto& high = f.all.high.storage();
    const auto& low = f.all.low.storage();
    const auto& close = f.all.close.storage();
    const auto& volume = f.all.tick_volume.storage();
    for (auto _ : state) {
        const int32_t h = add("metastock", "BENCH", 9);
        int32_t sum = 0;
        for (int i = 0; i < kBars; ++i) {
            const auto at = static_cast<std::size_t>(i);
            const double next = i + 1 < kBars ? close[at + 1] : -1.0;
            sum += analyse(h, i - 1, 2.0 + i, close[at], high[at], low[at], close[at],
                           static_cast<double>(volume[at]), next, 0);
        }
        remove(h);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

}  // namespace

BENCHMARK(BM_AttachEngineOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttachVSA)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewBarVSA)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(5000);
BENCHMARK_MAIN();
