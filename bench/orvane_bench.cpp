// The loader on a 1,000,000-row price/volume file through GetPriceData,
// against a plain read of the same file into memory, in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/msxhost/host_call.h"
#include "tools/msxhost/plugin.h"

namespace {

constexpr int kRows = 1000000;

const std::string& data_file() {
    static const std::string path = [] {
        const std::filesystem::path p =
            std::filesystem::temp_directory_path() / "orvane-bench-1m.csv";
        std::ofstream out(p, std::ios::binary);
        out << "Date,Price,Volume\r\n";
        int day = 0;
        for (int i = 0; i < kRows; ++i, ++day) {
            const int year = 1900 + day / 336, month = 1 + day / 28 % 12, d = 1 + day % 28;
            out << month << '/' << d << '/' << year << ',' << 100 + (i % 997) * 0.25 << ','
                << 1000 + i % 5003 << "\r\n";
        }
        return p.string();
    }();
    return path;
}

void BM_PlainRead(benchmark::State& state) {
    const std::string& path = data_file();
    std::vector<char> buffer;
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        buffer.resize(static_cast<std::size_t>(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buffer.size()));
}

void BM_GetPriceData(benchmark::State& state) {
    const std::string& path = data_file();
    static msxhost::Plugin plugin;
    static bool loaded = [] {
        std::string error;
        return plugin.load(ORVANE_PATH, &error);
    }();
    if (!loaded) {
        state.SkipWithError("cannot load orvane");
        return;
    }
    msxhost::CallSpec call;
    call.close = {std::vector<float>(kRows + 1, 1.0f), 0, kRows};
    // Every row selected: the selection scans the whole table.
    call.strings = {path, "1/1/1900", "12/31/9999"};
    const MSXCalcFunc fn = plugin.find("GetPriceData")->calc;
    for (auto _ : state) {
        const msxhost::CallResult r = msxhost::call_function(fn, call);
        if (r.code != 0 || r.last != kRows - 1) state.SkipWithError("GetPriceData failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPriceData)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
