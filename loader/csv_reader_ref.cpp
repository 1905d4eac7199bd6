// The CSV reader written as literally as the reading it reproduces: the
// file in Windows text mode, line reads of at most 79 characters (fgets
// with an 80-byte buffer) counted in one pass and loaded in a second,
// fields split with strtok at ",", values with atof, dates with
// sscanf("%d/%d/%d") keyed with "%d%02d%02d" and compared with strcmp.
//
// read_rows (csv_reader.cpp) and select_rows (csv_selection.cpp) must give
// what these give, bit for bit; the tests compare them on generated files.
// These are slow (a copy of the file, a strtok and a strtod a field, a
// sscanf and two snprintf a comparison) and nothing in the plug-in calls
// them.
//
// Two places where the C library would not say what the loader means:
//   - atof is strtod with 0 when nothing converts (C defines it so). The
//     Windows C runtime's own atof predates hexadecimal, inf and nan, and
//     its strtod gives -0 for a lone sign; strtod is also the locale's, and
//     the loader reads a dot whatever the locale.
//   - sscanf's "%d" is undefined past the int range; the loader saturates,
//     so "%d" is strtoll (blanks, a sign, digits) clamped to int32.
#include "loader/csv_reader.h"

#include "platform/regular_file.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvane {

namespace {

// The bytes as a text-mode read gives them: a carriage return before a line
// feed dropped, nothing from a Ctrl-Z on.
std::string text_mode(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == 0x1A) break;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out += bytes[i];
    }
    return out;
}

// fgets(buf, 80, f) on the text: up to 79 characters, or through the first
// line feed. False at the end.
bool read_line(const std::string& text, std::size_t* pos, char (&buf)[80]) {
    if (*pos >= text.size()) return false;
    std::size_t n = 0;
    while (n < 79 && *pos < text.size()) {
        const char c = text[(*pos)++];
        buf[n++] = c;
        if (c == '\n') break;
    }
    buf[n] = '\0';
    return true;
}

double atof_c(const char* text) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    return end == text ? 0.0 : v;
}

// "%d" into *out; false (out untouched) when no number is there.
bool scan_d(const char*& p, int32_t* out) {
    char* end = nullptr;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p) return false;
    *out = static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
    p = end;
    return true;
}

// sscanf(text, "%d/%d/%d", &month, &day, &year): stops at the first
// directive that does not match, the numbers read so far kept.
void sscanf_date(const char* text, int32_t* month, int32_t* day, int32_t* year) {
    const char* p = text;
    if (!scan_d(p, month) || *p++ != '/') return;
    if (!scan_d(p, day) || *p++ != '/') return;
    scan_d(p, year);
}

}  // namespace

ReadStatus read_rows_ref(const char* path, bool with_volume, std::vector<Row>* rows) {
    rows->clear();
    platform::unique_file file(platform::open_regular_file(path));
    if (!file) return ReadStatus::kNotFound;
    std::string bytes;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;) bytes.append(block, got);
    const std::string text = text_mode(bytes);

    char buf[80];
    std::size_t pos = 0;
    std::size_t count = 0;
    while (read_line(text, &pos, buf)) ++count;  // the first pass counts

    rows->assign(count, Row{});
    pos = 0;
    for (Row& row : *rows) {  // the second loads
        std::memset(buf, 0, sizeof buf);
        read_line(text, &pos, buf);
        char* field = std::strtok(buf, ",");
        if (field == nullptr) continue;  // a chunk of commas only: an empty row
        std::strncpy(row.date_text, field, 15);
        row.date_text[15] = '\0';
        if ((field = std::strtok(nullptr, ",")) != nullptr) row.value1 = atof_c(field);
        if (with_volume && (field = std::strtok(nullptr, ",")) != nullptr) row.value2 = atof_c(field);
    }
    return ReadStatus::kOk;
}

int64_t select_rows_ref(const std::vector<Row>& rows, const char* begin, const char* end,
                        bool stop_from_start, int64_t* start) {
    *start = 0;
    if (rows.empty()) return 0;
    // One month, day and year for every parse, rows' and bounds' alike.
    int32_t month = 0, day = 0, year = 0;
    char key[64], bound[64];
    const auto reaches = [&](const Row& row, const char* bound_text) {
        sscanf_date(row.date_text, &month, &day, &year);
        std::snprintf(key, sizeof key, "%d%02d%02d", year, month, day);
        sscanf_date(bound_text, &month, &day, &year);
        std::snprintf(bound, sizeof bound, "%d%02d%02d", year, month, day);
        return std::strcmp(key, bound) >= 0;
    };
    // The start: the first row that reaches the beginning, else row 0.
    const int64_t count = static_cast<int64_t>(rows.size());
    int64_t first = -1;
    for (int64_t r = 0; r < count; ++r) {
        if (reaches(rows[static_cast<std::size_t>(r)], begin)) {
            first = r;
            break;
        }
    }
    if (first < 0) first = 0;
    // The stop: the first row from the one after the start (or the start
    // itself) that reaches the end, else the last row.
    int64_t stop = -1;
    for (int64_t r = stop_from_start ? first : first + 1; r < count; ++r) {
        if (reaches(rows[static_cast<std::size_t>(r)], end)) {
            stop = r;
            break;
        }
    }
    if (stop < 0) stop = count - 1;
    *start = first;
    return stop - first + 1;
}

}  // namespace orvane
