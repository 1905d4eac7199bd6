// The loader's CSV reader: rows of date, price and volume (or date and
// yield) read as a text-mode line reader with an 80-byte buffer sees them,
// and the selection of a run of rows by date.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// One row. `date_text` is the first field as read (at most 15 characters,
// longer ones cut), including a line break when the date was the last field.
struct Row {
    char date_text[16] = {};
    double value1 = 0;  // price, or yield
    double value2 = 0;  // volume
};

enum class ReadStatus { kOk, kNotFound, kNoStart };

// Reads every chunk of the file as a row.
//
// Text is taken as Windows text mode gives it, in every build: a carriage
// return directly before a line feed is dropped, and a Ctrl-Z byte (0x1A)
// ends the file. The file is read in chunks of at most 79 characters, as a
// line read with an 80-byte buffer returns them: a line of up to 78
// characters plus its line break is one chunk, a longer line several. Each
// chunk is one row: its fields are split at commas (runs of commas count as
// one separator, leading commas are skipped, a NUL byte ends the chunk's
// text); field 1 is the date, field 2 value1, field 3 value2 (price/volume
// files only); numbers are read as atof reads them (0 when a field does not
// start with a number). A missing field, or a chunk with no field at all,
// leaves 0 (and an empty date). A directory is not a file.
ReadStatus read_rows(const char* path, bool with_volume, std::vector<Row>* rows);

// atof: leading white space, the longest decimal or hexadecimal
// floating-point prefix (inf and nan included); 0 when there is none.
// Independent of the C locale.
double parse_number(const char* begin, const char* end);

// The month, day and year shared by every date parse of one selection. A
// parse writes the numbers it reaches, in that order, and leaves the others.
struct DateState {
    int32_t month = 0, day = 0, year = 0;
};

// Parses "%d/%d/%d" (month/day/year; blanks before each number allowed;
// numbers past the int32 range saturate) into `state`.
void parse_date(const char* text, DateState* state);

// "%d%02d%02d" of year, month, day: the text compared to order dates.
// Writes at most 40 bytes including the NUL; returns the length.
int format_key(const DateState& state, char* out);

// The selected run [start, stop] of `rows`, both ends included, by the
// beginning and ending dates. The stop search starts after the start row
// (price and volume) or at it (yield, `stop_from_start`). Returns the count
// (0 for no rows) and the start row.
int64_t select_rows(const std::vector<Row>& rows, const char* begin, const char* end,
                    bool stop_from_start, int64_t* start);

// The same two, written literally (fgets into 80 bytes, strtok, atof,
// sscanf, snprintf and strcmp over Windows text mode): what read_rows and
// select_rows must give, bit for bit, slowly. For tests and for a reader
// who wants the rules in their plainest form; the plug-in does not call them.
ReadStatus read_rows_ref(const char* path, bool with_volume, std::vector<Row>* rows);
int64_t select_rows_ref(const std::vector<Row>& rows, const char* begin, const char* end,
                        bool stop_from_start, int64_t* start);

// read_rows and select_rows in one pass, for a loader that only needs the
// selected values: writes value1 (value2 when `second`) of the first
// min(count, cap) selected rows, as floats, to `out` and sets `count` to that
// number (0 when `cap` is 0 or below). Reads only as far as the answer
// needs. kNoStart when rows exist but none reaches the beginning date (the
// selection then starts at row 0, which a single pass cannot serve:
// read_selected_values then uses read_rows and select_rows); nothing is
// written then.
ReadStatus read_selection(const char* path, bool with_volume, const char* begin, const char* end,
                          bool stop_from_start, bool second, int64_t cap, float* out, int64_t* count);

// read_selection's answer in every case, for the loader: the one pass, and
// where it answers kNoStart (or `out` is null) the rows read and selected
// again. Writes value1 (value2 when `second`) of the first min(count, cap)
// selected rows to `out`, when given, and sets `count` to that number (0
// when `cap` is 0 or below); with `out` null nothing is written and `count`
// says how many values there would be. kNotFound as read_rows; never kNoStart.
ReadStatus read_selected_values(const char* path, bool with_volume, const char* begin, const char* end,
                                bool stop_from_start, bool second, int64_t cap, float* out, int64_t* count);

}  // namespace orvane
