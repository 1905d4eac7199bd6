// The kit's indicators in mql4run, natively. BarsightVSA: attaching to a
// chart of 100,000 closed bars with MaxBars=0, and one new bar on that
// chart. With one engine instance fed as bars close, a new bar costs two
// engine calls, not a recalculation of the chart. Arg 0: DrawArrows false
// (the copy an Expert Advisor reads), 1: arrows, labels and legend drawn.
// BarsightVolume: the same attach and new bar with AveragePeriod 10,000
// (Arg: the colouring). BarsightScanner: one timer slice of 10 rows and a
// whole pass of 100 symbols x 500 bars.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "tools/mql4run/runner.h"

namespace {

constexpr int kBars = 100000;   // closed bars at attach
constexpr int kNewBars = 20000;  // bars that can arrive afterwards

struct Fixture {
    mql::Chart all;
    mql4run::Imports imports;
    const mql::ProgramEntry* entry = nullptr;
    mql4run::Imports volume_imports, scanner_imports;
    const mql::ProgramEntry* volume = nullptr;
    const mql::ProgramEntry* scanner = nullptr;
    std::vector<std::unique_ptr<mql::Chart>> watchlist;  // the scanner's symbols
    mql::Terminal runner;
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
        volume = mql4run::find_program("BarsightVolume.mq4");
        if (volume == nullptr || !volume_imports.bind(*volume, platform::own_module_directory(), &error))
            volume = nullptr;
        scanner = mql4run::find_program("BarsightScanner.mq4");
        if (scanner == nullptr || !scanner_imports.bind(*scanner, platform::own_module_directory(), &error))
            scanner = nullptr;
        // 100 symbols of 501 bars each (500 closed), ending on the chart's
        // newest bar, cut from the long series at different places.
        for (int s = 0; s < 100; ++s) {
            auto chart = std::make_unique<mql::Chart>();
            chart->symbol = "SYM" + std::to_string(s);
            const int from = s * 997;
            for (int i = 0; i < 501; ++i) {
                const auto at = static_cast<std::size_t>(from + i);
                chart->time.append(static_cast<mql::datetime>(kBars - 500 + i) * 86400);
                chart->open.append(all.open.storage()[at]);
                chart->high.append(all.high.storage()[at]);
                chart->low.append(all.low.storage()[at]);
                chart->close.append(all.close.storage()[at]);
                chart->tick_volume.append(all.tick_volume.storage()[at]);
                chart->volume.append(0);
                chart->spread.append(0);
            }
            watchlist.push_back(std::move(chart));
        }
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

// BarsightVolume on the 100,000 bars with a 10,000-bar average.
std::unique_ptr<mql4run::ChartSession> volume_loaded(Fixture& f, int colouring) {
    auto session = std::make_unique<mql4run::ChartSession>(*f.volume, f.volume_imports, &f.runner, 0);
    session->set_input("Colouring", std::to_string(colouring));
    session->set_input("AveragePeriod", "10000");
    session->init();
    session->add_bars(f.all, 0, kBars + 1);
    session->program().grow_buffers(kBars + 1);
    return session;
}

void BM_AttachVolume(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.volume == nullptr) {
        state.SkipWithError(("BarsightVolume cannot be bound: " + f.error).c_str());
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto session = volume_loaded(f, static_cast<int>(state.range(0)));
        state.ResumeTiming();
        session->tick();
        state.PauseTiming();
        session->deinit(mql::REASON_REMOVE);
        session.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}

void BM_NewBarVolume(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.volume == nullptr) {
        state.SkipWithError(("BarsightVolume cannot be bound: " + f.error).c_str());
        return;
    }
    auto session = volume_loaded(f, static_cast<int>(state.range(0)));
    session->tick();
    int next = kBars + 1;
    for (auto _ : state) {
        if (next >= f.all.time.size()) {
            state.PauseTiming();
            session->deinit(mql::REASON_REMOVE);
            session = volume_loaded(f, static_cast<int>(state.range(0)));
            session->tick();
            next = kBars + 1;
            state.ResumeTiming();
        }
        session->calculate(f.all, next++, 1);
    }
    session->deinit(mql::REASON_REMOVE);
}

// BarsightScanner over the Market Watch of 100 symbols, 500 closed bars
// each (ScanBars 500, MaxRows 100, RowsPerSlice 10). OnCalculate at the
// chart's new bar lays the rows out; the timer then scans 10 rows a slice.
// BM_ScanSlice: one slice of rows to analyse (the most any one call of the
// scanner costs the terminal's thread). BM_ScanWatchlist: a whole pass,
// OnCalculate and the ten slices.
std::unique_ptr<mql4run::ChartSession> scanner_session(Fixture& f, mql::Terminal* runner) {
    auto session = std::make_unique<mql4run::ChartSession>(*f.scanner, f.scanner_imports, runner, 0, "SYM0");
    session->set_input("ScanBars", "500");
    session->set_input("MaxRows", "100");
    session->set_input("RowsPerSlice", "10");
    session->init();
    session->add_bars(*f.watchlist.front(), 0, 501);
    return session;
}

void BM_ScanSlice(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.scanner == nullptr) {
        state.SkipWithError(("BarsightScanner cannot be bound: " + f.error).c_str());
        return;
    }
    mql::Terminal runner;
    for (const auto& chart : f.watchlist) runner.symbols.emplace_back(chart->symbol, chart.get());
    for (auto _ : state) {
        state.PauseTiming();
        auto session = scanner_session(f, &runner);
        session->tick();  // lays the rows out, starts the pass
        state.ResumeTiming();
        session->timer();
        state.PauseTiming();
        session->deinit(mql::REASON_REMOVE);
        session.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10 * 500);
}

void BM_ScanWatchlist(benchmark::State& state) {
    Fixture& f = fixture();
    if (f.scanner == nullptr) {
        state.SkipWithError(("BarsightScanner cannot be bound: " + f.error).c_str());
        return;
    }
    mql::Terminal runner;
    for (const auto& chart : f.watchlist) runner.symbols.emplace_back(chart->symbol, chart.get());
    for (auto _ : state) {
        state.PauseTiming();
        auto session = scanner_session(f, &runner);
        state.ResumeTiming();
        session->tick();
        for (int slice = 0; slice < 100 && session->program().timer_ms() > 0; ++slice) session->timer();
        state.PauseTiming();
        session->deinit(mql::REASON_REMOVE);
        session.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100 * 500);
}

}  // namespace

BENCHMARK(BM_AttachVolume)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewBarVolume)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ScanSlice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanWatchlist)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttachEngineOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AttachVSA)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewBarVSA)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(5000);
BENCHMARK_MAIN();
