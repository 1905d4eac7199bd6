// The CSV reader of orvane: rows of "date,value[,value]" as the host's
// original reads them, line by line in chunks of at most 79 characters
// (the 80-byte buffer it reads with), fast. Here, every row of a file
// collected (read_rows); the reading itself is csv_lines.h, numbers
// csv_numbers.h, dates csv_dates.cpp, the selection csv_selection.cpp.
// csv_reader_ref.cpp holds the same reading written literally; the tests
// hold the two to the same rows.
#include "loader/csv_reader.h"

#include <algorithm>

#include "loader/csv_lines.h"
#include "platform/regular_file.h"

namespace orvane {

namespace {

struct VectorSink {
    static constexpr bool kReadsDateText = true;
    static constexpr bool kTakesKeys = false;
    std::vector<Row>* rows;
    bool operator()(const Row& row, const DateState*) {
        rows->push_back(row);
        return true;
    }
};

}  // namespace

ReadStatus read_rows(const char* path, bool with_volume, std::vector<Row>* rows) {
    rows->clear();
    // Only a regular file is read: a directory, a FIFO or a device is "not
    // found" (a FIFO would block the host, /dev/zero never ends).
    platform::unique_file file(platform::open_regular_file(path));
    if (!file) return ReadStatus::kNotFound;
    const long long size = platform::file_size(file.get());
    if (size < 0) return ReadStatus::kNotFound;

    // Rows are at least a few bytes each in real files; reserving from the
    // size spares most regrowth (capped, a file may be mostly long lines).
    if (size > 0) rows->reserve(static_cast<std::size_t>(std::min<long long>(size / 16, 1 << 24)));
    VectorSink sink{rows};
    detail::RowBuilder<VectorSink> builder(with_volume, &sink);
    detail::read_chunks(file.get(), size, builder);
    return ReadStatus::kOk;
}

}  // namespace orvane
