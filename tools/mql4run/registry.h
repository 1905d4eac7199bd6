// The runner's table of translated programs (translate.py writes it) and
// the parsing of --input values.
#pragma once

#include <limits>
#include <memory>
#include <string>

#include "tools/mql4run/program.h"

namespace mql {
// ---- the runner's table of translated programs -----------------------------
struct ImportDecl {
    const char* library;
    const char* name;
};
struct InputDecl {
    const char* name;
    const char* type;
    bool (*set)(Program& program, const std::string& value);
};
enum class ProgramKind { script, indicator, expert };
struct ProgramEntry {
    const char* file;  // e.g. "BarsightVSA.mq4"
    ProgramKind kind;
    Dialect dialect;
    const ImportDecl* imports;
    const InputDecl* inputs;
    const char* const* reached;  // a script's imports its OnStart can reach, null-terminated
    std::unique_ptr<Program> (*create)(const ProgramContext& context);
};
extern const ProgramEntry programs[];

// The dialect of a program file: .mq5 is MetaTrader 5's.
Dialect dialect_of(const std::string& file);

// Value-initialised, so the program's globals start at zero as in MQL4.
template <class P>
std::unique_ptr<Program> make_program(const ProgramContext& context) {
    std::unique_ptr<Program> program(new P());
    program->attach(context);
    return program;
}

bool parse_string(const std::string& text, string* value);
bool parse_bool(const std::string& text, bool* value);
bool parse_double(const std::string& text, double* value);
bool parse_datetime(const std::string& text, datetime* value);
// Days since 1970-01-01 of a real civil date from 1970-01-01 to 3000-12-31
// (what MetaTrader holds); false for any other (1960, 2020-02-30).
bool civil_days(int y, int m, int d, long long* days);
// Whole numbers in decimal only ("010" is ten, never octal; no "0x"),
// within the input's type.
bool parse_whole(const std::string& text, long long* value);
template <class T>
bool parse_integer(const std::string& text, T* value) {
    long long parsed = 0;
    if (!parse_whole(text, &parsed)) return false;
    if (parsed < static_cast<long long>(std::numeric_limits<T>::min()) ||
        (parsed > 0 && static_cast<unsigned long long>(parsed) >
                           static_cast<unsigned long long>(std::numeric_limits<T>::max())))
        return false;
    *value = static_cast<T>(parsed);
    return true;
}

}  // namespace mql
