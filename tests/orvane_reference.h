// The loader's reading and selection written as literally as they are
// described: line reads of at most 79 characters counted in one pass and
// loaded in a second, fields split with strtok at ",", atof (as strtod,
// which C defines it to be, with 0 when nothing converts: the Windows C
// runtime's own atof predates hexadecimal, inf and nan, and its strtod
// gives -0 for a lone sign), the date parsed
// with sscanf("%d/%d/%d") and keyed with "%d%02d%02d", keys compared with
// strcmp. Text mode is applied first (CR before LF dropped, Ctrl-Z ends the
// file) so that the reference reads the same characters in every build.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace reference {

struct Row {
    char date_text[16];
    double value1, value2;
};

inline double atof_c(const char* text) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    return end == text ? 0.0 : v;
}

inline std::string text_mode(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == 0x1A) break;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out += bytes[i];
    }
    return out;
}

// Both passes over the file at `path` (already in text form).
inline std::vector<Row> load(const std::string& path, bool with_volume) {
    char buf[80];
    int count = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return {};
    while (std::fgets(buf, 80, f) != nullptr) ++count;  // GetCount
    std::fclose(f);

    std::vector<Row> rows(static_cast<std::size_t>(count));
    f = std::fopen(path.c_str(), "rb");  // LoadArray
    for (int r = 0; r < count; ++r) {
        std::memset(buf, 0, sizeof buf);
        if (std::fgets(buf, 80, f) == nullptr) break;
        Row& row = rows[static_cast<std::size_t>(r)];
        std::memset(&row, 0, sizeof row);
        char* field = std::strtok(buf, ",");
        if (field == nullptr) continue;  // a chunk of commas only: empty row
        std::strncpy(row.date_text, field, 15);
        row.date_text[15] = '\0';
        if ((field = std::strtok(nullptr, ",")) != nullptr) row.value1 = atof_c(field);
        if (with_volume && (field = std::strtok(nullptr, ",")) != nullptr)
            row.value2 = atof_c(field);
    }
    std::fclose(f);
    return rows;
}

// RetrievePVData / RetrieveYieldData: returns the selected rows.
inline std::vector<Row> select(const std::vector<Row>& rows, const char* begin, const char* end,
                               bool stop_from_start) {
    if (rows.empty()) return {};
    int month = 0, day = 0, year = 0;
    char key[64], bound[64];
    const int count = static_cast<int>(rows.size());
    int start = -1;
    for (int r = 0; r < count; ++r) {
        std::sscanf(rows[static_cast<std::size_t>(r)].date_text, "%d/%d/%d", &month, &day, &year);
        std::snprintf(key, sizeof key, "%d%02d%02d", year, month, day);
        std::sscanf(begin, "%d/%d/%d", &month, &day, &year);
        std::snprintf(bound, sizeof bound, "%d%02d%02d", year, month, day);
        if (std::strcmp(key, bound) >= 0) {
            start = r;
            break;
        }
    }
    if (start < 0) start = 0;
    int stop = -1;
    for (int r = stop_from_start ? start : start + 1; r < count; ++r) {
        std::sscanf(rows[static_cast<std::size_t>(r)].date_text, "%d/%d/%d", &month, &day, &year);
        std::snprintf(key, sizeof key, "%d%02d%02d", year, month, day);
        std::sscanf(end, "%d/%d/%d", &month, &day, &year);
        std::snprintf(bound, sizeof bound, "%d%02d%02d", year, month, day);
        if (std::strcmp(key, bound) >= 0) {
            stop = r;
            break;
        }
    }
    if (stop < 0) stop = count - 1;
    return std::vector<Row>(rows.begin() + start, rows.begin() + stop + 1);
}

}  // namespace reference
