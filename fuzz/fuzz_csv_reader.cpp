// The loader's CSV reader through GetPriceData and GetVolumeData (and the
// yield selection, whose file path is fixed, through the reader itself):
// fuzzed file contents, beginning and ending dates, and chart lengths.
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "loader/csv_reader.h"
#include "harness/host_call.h"
#include "boundary/orvane_catalogue.h"

namespace {
// Bit for bit, or both NaN of one sign (a NaN's payload is not the reader's).
bool same_value(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 ||
           (std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b));
}
}  // namespace

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
        // The two passes (for the yield selection, whose stop search starts
        // at the start row, and for prices), and the one pass against them.
        for (const bool with_volume : {false, true}) {
            std::vector<orvane::Row> rows;
            if (orvane::read_rows(path.c_str(), with_volume, &rows) != orvane::ReadStatus::kOk)
                std::abort();
            int64_t start = 0;
            const int64_t n = orvane::select_rows(rows, begin.c_str(), end.c_str(), !with_volume, &start);
            if (n < 0 || (n > 0 && (start < 0 || start + n > static_cast<int64_t>(rows.size()))))
                std::abort();
            // The literal reading gives the same rows and the same run.
            std::vector<orvane::Row> literal;
            if (orvane::read_rows_ref(path.c_str(), with_volume, &literal) != orvane::ReadStatus::kOk ||
                literal.size() != rows.size())
                std::abort();
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (std::strcmp(rows[i].date_text, literal[i].date_text) != 0 ||
                    !same_value(rows[i].value1, literal[i].value1) ||
                    !same_value(rows[i].value2, literal[i].value2))
                    std::abort();
            int64_t literal_start = 0;
            if (orvane::select_rows_ref(rows, begin.c_str(), end.c_str(), !with_volume, &literal_start) != n ||
                literal_start != start)
                std::abort();
            const bool second = with_volume && (mode & 8) != 0;
            std::vector<float> out(400, -7.0f);
            int64_t count = 0;
            const orvane::ReadStatus status = orvane::read_selection(
                path.c_str(), with_volume, begin.c_str(), end.c_str(), !with_volume, second, chart_last,
                out.data(), &count);
            if (status == orvane::ReadStatus::kNoStart) continue;
            if (status != orvane::ReadStatus::kOk) std::abort();
            if (count != std::max<int64_t>(0, std::min<int64_t>(n, chart_last))) std::abort();
            for (int64_t i = 0; i < count; ++i) {
                const orvane::Row& row = rows[static_cast<std::size_t>(start + i)];
                const float want = static_cast<float>(second ? row.value2 : row.value1);
                if (std::memcmp(&want, &out[static_cast<std::size_t>(i)], sizeof want) != 0) std::abort();
            }
        }
        return 0;
    }
    harness::CallSpec call;
    call.close = {std::vector<float>(static_cast<std::size_t>(chart_last + 1 > 0 ? chart_last + 1 : 0), 1.0f),
                  0, chart_last};
    call.strings = {path, begin, end};
    const harness::CallResult r =
        harness::call_function(mode % 3 == 0 ? &orvane::GetPriceData : &orvane::GetVolumeData, call);
    if ((r.code != 0 && r.code != 1) || !r.violations.empty()) std::abort();
    if (r.code == 0 && (r.first != 0 || r.last < -1 || r.last >= std::max(chart_last, 0))) std::abort();
    return 0;
}
