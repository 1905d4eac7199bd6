// Every MSX calculation of both libraries through host records built from
// fuzzed bytes: series lengths and valid ranges consistent with the host's
// arrays, argument counts 0..9, any float bit pattern, null data-array
// entries. Host arrays sit between guard zones (poisoned under ASan); any
// violation or a result code other than 0/1 stops the run.
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "harness/host_call.h"
#include "boundary/BarsightPlugin_catalogue.h"
#include "boundary/orvane_catalogue.h"

namespace {

// Every row of both catalogues, in catalogue order.
std::vector<msx::Calc> all_calculations() {
    std::vector<msx::Calc> calcs;
    for (const msx::FunctionRow& row : barsight::catalogue::kCatalogue) calcs.push_back(row.calc);
    for (const msx::FunctionRow& row : orvane::kCatalogue) calcs.push_back(row.calc);
    return calcs;
}

harness::HostSeries series(fuzzing::Input& in, int32_t size) {
    harness::HostSeries s;
    for (int32_t i = 0; i < size; ++i) s.values.push_back(in.float32());
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    static const std::vector<msx::Calc> calcs = all_calculations();
    const msx::Calc fn = calcs[in.below(static_cast<uint32_t>(calcs.size()))];
    const int32_t bars = static_cast<int32_t>(in.below(301));
    int32_t first = bars == 0 ? 0 : static_cast<int32_t>(in.below(static_cast<uint32_t>(bars)));
    int32_t last = bars == 0 ? -1 : first + static_cast<int32_t>(in.below(static_cast<uint32_t>(bars - first)));
    if (in.byte() % 8 == 0) last = first - 1;  // an empty valid range

    harness::CallSpec call;
    call.close = series(in, bars);
    call.close.first = first;
    call.close.last = last;
    call.high = series(in, bars);
    call.low = series(in, bars);
    call.volume = series(in, bars);
    call.numeric_count = static_cast<int32_t>(in.below(10));
    for (int k = 0; k < 9; ++k) call.numerics.push_back(in.float32());
    call.array_count = static_cast<int32_t>(in.below(10));
    const int arrays = static_cast<int>(in.below(10));
    for (int k = 0; k < arrays; ++k) {
        harness::ArrayArg arg;
        const uint8_t kind = in.byte() % 5;
        arg.kind = kind == 0   ? harness::ArrayArg::Kind::kNullRecord
                   : kind == 1 ? harness::ArrayArg::Kind::kNullValues
                               : harness::ArrayArg::Kind::kSeries;
        const int32_t n = static_cast<int32_t>(in.below(320));
        arg.series = series(in, n);
        arg.series.first = n == 0 ? 0 : static_cast<int32_t>(in.below(static_cast<uint32_t>(n)));
        arg.series.last = n == 0 ? -1 : arg.series.first + static_cast<int32_t>(in.below(static_cast<uint32_t>(n - arg.series.first)));
        call.arrays.push_back(arg);
    }
    // String arguments; a file name stays inside the temporary folder (a
    // fuzzed path could name a device that never ends, such as /dev/zero).
    const int strings = static_cast<int>(in.below(4));
    for (int k = 0; k < strings; ++k) {
        std::string text = in.text(64);
        if (k == 0) {
            for (char& c : text)
                if (c == '/') c = '_';
            text = "/tmp/barsight-fuzz-" + text;
        }
        call.strings.push_back(text);
    }
    if (in.byte() % 4 == 0) call.symbol = nullptr;

    const harness::CallResult r = harness::call_function(fn, call);
    if (r.code != 0 && r.code != 1) {
        std::fprintf(stderr, "result code %d\n", r.code);
        std::abort();
    }
    if (!r.violations.empty()) {
        std::fprintf(stderr, "%s\n", r.violations.front().c_str());
        std::abort();
    }
    return 0;
}
