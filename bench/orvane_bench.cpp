// The loader on a 1,000,000-row price/volume file through GetPriceData,
// against a plain read of the same file into memory, in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "harness/host_call.h"
#include "harness/plugin.h"
#include "loader/csv_reader.h"

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

// The export called as the charting host calls it: records built once, the
// result written into the host's array. (msxhost's guarded call copies and
// compares every array around the call, which is the host tool's cost, not
// the loader's.)
void BM_GetPriceData(benchmark::State& state) {
    const std::string& path = data_file();
    static harness::Plugin plugin;
    static bool loaded = [] {
        std::string error;
        return plugin.load(ORVANE_PATH, &error);
    }();
    if (!loaded) {
        state.SkipWithError("cannot load orvane");
        return;
    }
    std::vector<float> close(kRows + 1, 1.0f), values(kRows + 1, 0.0f);
    MSXDataRec data{};
    data.sClose = {close.data(), 0, kRows};
    MSXDataInfoRecArgsArray arrays{};
    MSXNumericArgsArray numerics{};
    MSXStringArgsArray strings{};
    MSXCustomArgsArray custom{};
    // Every row selected: the selection scans the whole table.
    std::string file = path, begin = "1/1/1900", end = "12/31/9999";
    strings.pszStrings[0] = file.data();
    strings.pszStrings[1] = begin.data();
    strings.pszStrings[2] = end.data();
    strings.reserved = 3;
    MSXDataInfoRec series{values.data(), 0, 0};
    MSXResultRec result{};
    result.psResultArray = &series;
    const MSXCalcFunc fn = plugin.find("GetPriceData")->calc;
    for (auto _ : state) {
        const int32_t code = fn(&data, &arrays, &numerics, &strings, &custom, &result);
        if (code != 0 || series.iLastValid != kRows - 1) state.SkipWithError("GetPriceData failed");
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// Every row of the file, the fast reading against the literal one
// (fgets, strtok, atof) that it must equal.
template <orvane::ReadStatus (*kRead)(const char*, bool, std::vector<orvane::Row>*)>
void BM_ReadRows(benchmark::State& state) {
    const std::string& path = data_file();
    std::vector<orvane::Row> rows;
    for (auto _ : state) {
        if (kRead(path.c_str(), true, &rows) != orvane::ReadStatus::kOk) state.SkipWithError("not read");
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK_TEMPLATE(BM_ReadRows, orvane::read_rows)->Name("BM_ReadRows")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadRows, orvane::read_rows_ref)->Name("BM_ReadRowsReference")->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPriceData)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
