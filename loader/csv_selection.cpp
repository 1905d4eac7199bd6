// The selection of a run of rows by date for the CSV reader: the bounds and
// the shared date state of one selection, select_rows over rows read before,
// read_selection while reading, and read_selected_values, which answers with
// the one pass where it can and reads the rows again where it cannot.
#include "loader/csv_reader.h"

#include <algorithm>
#include <cstring>

#include "loader/csv_dates.h"
#include "loader/csv_lines.h"
#include "platform/regular_file.h"

namespace orvane {

namespace {

using detail::numeric_key;
using detail::scan_int;

// A bound of the selection. A bound that parses to all three numbers gives
// the same numbers and key whatever the shared state held before, so they
// are worked out once.
class Bound {
public:
    explicit Bound(const char* text) : text_(text) {
        DateState probe;
        const char* p = text;
        full_ = scan_int(p, &probe.month) && *p == '/' && scan_int(++p, &probe.day) &&
                *p == '/' && scan_int(++p, &probe.year);
        if (full_) {
            parsed_ = probe;
            format_key(parsed_, key_);
            number_ = numeric_key(parsed_);
        }
    }
    // The key as a number when it is 8 digits (see numeric_key), else -1.
    int64_t number() const { return full_ ? number_ : -1; }
    // number() for a bound known to have an 8-digit key.
    int64_t key_number() const { return number_; }
    // What apply leaves in the shared state when number() is not -1.
    const DateState& parsed() const { return parsed_; }
    // Parses the bound into the shared state and returns its key.
    const char* apply(DateState* state) {
        if (full_) {
            *state = parsed_;
            return key_;
        }
        parse_date(text_, state);
        format_key(*state, key_);
        return key_;
    }

private:
    const char* text_;
    bool full_ = false;
    int64_t number_ = -1;
    DateState parsed_;
    char key_[40];
};

// Whether a row's date reaches a bound. The row's date is parsed first,
// then the bound, into the state all the parses of one selection share, as
// the selection is defined; the begin search runs to its end before the end
// search starts.
class Reach {
public:
    Reach(const char* begin, const char* end) : begin_(begin), end_(end) {}
    // `date`, when given, is what parse_date reads from the row's date text.
    bool begin(const Row& row, const DateState* date = nullptr) { return reaches(row, date, begin_); }
    bool end(const Row& row, const DateState* date = nullptr) { return reaches(row, date, end_); }

    // Whether both bounds have 8-digit keys, so that a row with one reaches
    // them by its key alone (begin_key, end_key).
    bool by_keys() const { return begin_.number() >= 0 && end_.number() >= 0; }
    // begin and end for a row whose date has the 8-digit key `key`, with
    // bounds that have them too: what reaches does, with the state left as
    // it leaves it (the bound's numbers).
    bool begin_key(int64_t key) { return key_reaches(key, begin_); }
    bool end_key(int64_t key) { return key_reaches(key, end_); }

private:
    bool key_reaches(int64_t key, const Bound& bound) {
        applied_ = &bound;  // the state holds its numbers from here on
        return key >= bound.key_number();
    }

    bool reaches(const Row& row, const DateState* date, Bound& bound) {
        if (date != nullptr) {
            state_ = *date;
        } else {
            // A date text may set only some of the numbers: the others are
            // those the last bound left.
            if (applied_ != nullptr) state_ = applied_->parsed();
            parse_date(row.date_text, &state_);
        }
        applied_ = nullptr;
        const int64_t row_number = numeric_key(state_);
        if (row_number >= 0 && bound.number() >= 0) {
            bound.apply(&state_);
            return row_number >= bound.number();
        }
        format_key(state_, key_);
        return std::strcmp(key_, bound.apply(&state_)) >= 0;
    }

    DateState state_;
    // The bound whose numbers the state holds but which key_reaches has not
    // written there (they are written when a parse needs them).
    const Bound* applied_ = nullptr;
    Bound begin_, end_;
    char key_[40];
};

// Selects while reading: the rows before the start need only their dates,
// the values of the selected rows go straight to the output, and reading
// stops as soon as the count is known.
struct SelectionSink {
    static constexpr bool kReadsDateText = false;  // a plain date comes parsed
    static constexpr bool kTakesKeys = true;
    Reach reach;
    bool stop_from_start;
    bool second;
    int64_t cap;
    float* out;
    int64_t written = 0;
    bool any_row = false, started = false;  // a row read; the start found
    bool keys = reach.by_keys();

    bool takes_keys() const { return keys; }

    // The usual row, by its 8-digit date key (takes_keys() is true): the same
    // selection as operator() makes for a row of that date and value1 `value`.
    bool usual_row(int64_t key, double value) {
        return select([&] { return reach.begin_key(key); }, [&] { return reach.end_key(key); }, value);
    }

    bool operator()(const Row& row, const DateState* date) {
        return select([&] { return reach.begin(row, date); }, [&] { return reach.end(row, date); },
                      second ? row.value2 : row.value1);
    }

private:
    // One row: whether it reaches the beginning (until one has) and the
    // end, and its value written when selected. Answers whether to go on.
    template <class Begins, class Ends>
    bool select(Begins&& begins, Ends&& ends, double value) {
        any_row = true;
        bool last = false;
        if (started) {
            last = ends();
        } else {
            if (!begins()) return true;
            started = true;
            last = stop_from_start && ends();
        }
        if (written < cap) out[written++] = static_cast<float>(value);
        return !last && written < cap;
    }
};

}  // namespace

int64_t select_rows(const std::vector<Row>& rows, const char* begin, const char* end,
                    bool stop_from_start, int64_t* start) {
    *start = 0;
    if (rows.empty()) return 0;
    const int64_t count = static_cast<int64_t>(rows.size());
    Reach reach(begin, end);
    // The begin search runs to its end before the end search starts: both
    // parse into the state they share.
    int64_t first = -1;
    for (int64_t r = 0; r < count && first < 0; ++r)
        if (reach.begin(rows[static_cast<std::size_t>(r)])) first = r;
    if (first < 0) first = 0;
    int64_t last = -1;
    for (int64_t r = stop_from_start ? first : first + 1; r < count && last < 0; ++r)
        if (reach.end(rows[static_cast<std::size_t>(r)])) last = r;
    if (last < 0) last = count - 1;
    *start = first;
    return last - first + 1;
}

ReadStatus read_selection(const char* path, bool with_volume, const char* begin, const char* end,
                          bool stop_from_start, bool second, int64_t cap, float* out, int64_t* count) {
    *count = 0;
    platform::unique_file file(platform::open_regular_file(path));
    if (!file) return ReadStatus::kNotFound;
    SelectionSink sink{Reach(begin, end), stop_from_start, second, cap < 0 ? 0 : cap, out};
    detail::RowBuilder<SelectionSink> builder(with_volume, &sink, !second, second);
    if (sink.cap > 0) detail::read_chunks(file.get(), platform::file_size(file.get()), builder);
    // No row reaches the beginning: the selection starts at row 0 after all,
    // and its end search would go over the rows again.
    if (sink.cap > 0 && sink.any_row && !sink.started) return ReadStatus::kNoStart;
    *count = sink.written;
    return ReadStatus::kOk;
}

ReadStatus read_selected_values(const char* path, bool with_volume, const char* begin, const char* end,
                                bool stop_from_start, bool second, int64_t cap, float* out, int64_t* count) {
    *count = 0;
    if (out != nullptr) {
        const ReadStatus status =
            read_selection(path, with_volume, begin, end, stop_from_start, second, cap, out, count);
        if (status != ReadStatus::kNoStart) return status;
    }
    // The two passes: every row read, then the run selected from them.
    std::vector<Row> rows;
    const ReadStatus status = read_rows(path, with_volume, &rows);
    if (status != ReadStatus::kOk) return status;
    int64_t start = 0;
    int64_t n = select_rows(rows, begin, end, stop_from_start, &start);
    if (cap < n) n = cap;
    if (n < 0) n = 0;
    for (int64_t i = 0; out != nullptr && i < n; ++i) {
        const Row& row = rows[static_cast<std::size_t>(start + i)];
        out[i] = static_cast<float>(second ? row.value2 : row.value1);
    }
    *count = n;
    return ReadStatus::kOk;
}

}  // namespace orvane
