// The loader's CSV reader through GetPriceData and GetVolumeData (and the
// yield selection, whose file path is fixed, through the reader itself):
// fuzzed file contents, beginning and ending dates, and chart lengths.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "loader/csv_reader.h"
#include "host/host_call.h"

extern "C" {
int32_t GetPriceData(const MSXDataRec*, const MSXDataInfoRecArgsArray*, const MSXNumericArgsArray*,
                     const MSXStringArgsArray*, const MSXCustomArgsArray*, MSXResultRec*);
int32_t GetVolumeData(const MSXDataRec*, const MSXDataInfoRecArgsArray*,
                      const MSXNumericArgsArray*, const MSXStringArgsArray*,
                      const MSXCustomArgsArray*, MSXResultRec*);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    const uint8_t mode = in.byte();
    const std::string begin = in.text(40);
    const std::string end = in.text(40);
    const int32_t chart_last = static_cast<int32_t>(in.below(400)) - 2;
    const std::string contents = in.rest();

    static const std::string path = "/tmp/barsight-fuzz-csv-" + std::to_string(getpid()) + ".csv";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);

    if (mode % 3 == 2) {
        // The yield selection: the stop search starts at the start row.
        std::vector<orvane::Row> rows;
        if (orvane::read_rows(path.c_str(), false, &rows) != orvane::ReadStatus::kOk) std::abort();
        int64_t start = 0;
        const int64_t n = orvane::select_rows(rows, begin.c_str(), end.c_str(), true, &start);
        if (n < 0 || (n > 0 && (start < 0 || start + n > static_cast<int64_t>(rows.size()))))
            std::abort();
        return 0;
    }
    host::CallSpec call;
    call.close = {std::vector<float>(static_cast<std::size_t>(chart_last + 1 > 0 ? chart_last + 1 : 0), 1.0f),
                  0, chart_last};
    call.strings = {path, begin, end};
    const host::CallResult r =
        host::call_function(mode % 3 == 0 ? &GetPriceData : &GetVolumeData, call);
    if ((r.code != 0 && r.code != 1) || !r.violations.empty()) std::abort();
    if (r.code == 0 && (r.first != 0 || r.last < -1 || r.last >= std::max(chart_last, 0))) std::abort();
    return 0;
}
