#include "harness/stress.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <ostream>

#include "harness/host_call.h"

namespace harness {

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Shape {
    int32_t first, last, size;
};

// Series lengths and valid ranges: empty, one bar, two, three, short, offset
// and longer charts.
const Shape kShapes[] = {{0, -1, 0},  {0, 0, 1},   {0, 1, 2},     {0, 2, 3},
                         {0, 16, 17}, {5, 40, 41}, {0, 299, 300}, {250, 299, 300}};

enum class Pattern { kWalk, kZero, kMax, kMinusMax, kMin, kMinusMin, kNotANumber, kInfinite,
                     kMinusInfinite, kSubnormal, kMixed };
const Pattern kPatterns[] = {Pattern::kWalk,     Pattern::kZero,     Pattern::kMax,
                             Pattern::kMinusMax, Pattern::kMin,      Pattern::kMinusMin,
                             Pattern::kNotANumber, Pattern::kInfinite, Pattern::kMinusInfinite,
                             Pattern::kSubnormal, Pattern::kMixed};

float walk_value(int i, int salt) {
    return 100.0f + static_cast<float>((i * 7919 + salt * 104729) % 2003) / 100.0f;
}

float pattern_value(Pattern p, int i, int salt) {
    static const float kMixedValues[] = {0.0f,  -0.0f, FLT_MAX, -FLT_MAX, FLT_MIN, -FLT_MIN,
                                         kNaN,  kInf,  -kInf,   1e-45f,   1.0f,    -1.0f,
                                         1e30f, 50.0f};
    switch (p) {
        case Pattern::kWalk: return walk_value(i, salt);
        case Pattern::kZero: return 0.0f;
        case Pattern::kMax: return FLT_MAX;
        case Pattern::kMinusMax: return -FLT_MAX;
        case Pattern::kMin: return FLT_MIN;
        case Pattern::kMinusMin: return -FLT_MIN;
        case Pattern::kNotANumber: return kNaN;
        case Pattern::kInfinite: return kInf;
        case Pattern::kMinusInfinite: return -kInf;
        case Pattern::kSubnormal: return 1e-45f;
        case Pattern::kMixed:
            return kMixedValues[static_cast<std::size_t>(i * 5 + salt) % std::size(kMixedValues)];
    }
    return 0.0f;
}

HostSeries make_series(const Shape& s, Pattern p, int salt) {
    HostSeries out;
    out.first = s.first;
    out.last = s.last;
    for (int i = 0; i < s.size; ++i) out.values.push_back(pattern_value(p, i, salt));
    return out;
}

// Numeric argument values at and past every bound the indicators check, and
// floats that have no int32 value.
std::vector<float> numeric_values(const Shape& s) {
    return {0.0f,    1.0f,      -1.0f,     0.5f,          1.7f,          2.0f,  3.0f,
            9.0f,    20.0f,     999.9f,    1000.0f,       1000.5f,       -2.5f, kNaN,
            kInf,    -kInf,     FLT_MAX,   -FLT_MAX,      FLT_MIN,       1e-45f,
            2147483648.0f,      -2147483904.0f,           static_cast<float>(s.last - 1),
            static_cast<float>(s.last),    static_cast<float>(s.last + 1)};
}

// Data-array arguments: null entries, null values, the chart's own range,
// empty, inside, overlapping either end and wholly past the chart.
std::vector<ArrayArg> array_variants(const Shape& s, Pattern p) {
    std::vector<ArrayArg> out;
    ArrayArg a;
    a.kind = ArrayArg::Kind::kNullRecord;
    out.push_back(a);
    a.kind = ArrayArg::Kind::kNullValues;
    out.push_back(a);
    const int32_t size = s.size + 20;
    const std::pair<int32_t, int32_t> ranges[] = {
        {s.first, s.last},      {0, -1},         {s.first + 3, s.last - 3},
        {0, s.last + 10},       {s.last + 1, s.last + 15}, {s.last, s.first},
        {s.first + 1, s.last}};
    for (const auto& r : ranges) {
        ArrayArg arg;
        arg.series.values.resize(static_cast<std::size_t>(size));
        for (int32_t i = 0; i < size; ++i) arg.series.values[i] = pattern_value(p, i, 3) / 50.0f;
        arg.series.first = std::max(r.first, 0);
        arg.series.last = std::min(r.second, size - 1);
        out.push_back(std::move(arg));
    }
    return out;
}

// String arguments: empty, a file that does not exist, a folder, dates in
// and out of form, and a text longer than any path.
// A small data file of the loader's kind is written to the temporary folder
// so that file arguments also reach a real read.
const std::vector<std::string>& string_values() {
    static const std::vector<std::string> values = [] {
        std::vector<std::string> v = {"", "/nonexistent/barsight.csv", "/", ".", "1/4/2010",
                                      "13/45/2010", "1/4/10", " 1/ 4/2010", std::string(400, 'x')};
        std::error_code ec;
        const std::filesystem::path file =
            std::filesystem::temp_directory_path(ec) / "msxhost-stress.csv";
        std::ofstream out(file, std::ios::binary);
        out << "Date,Price,Volume\r\n";
        for (int d = 1; d <= 28; ++d)
            out << "1/" << d << "/2010," << 10 + d << ".5,," << 1000 * d << "\n";
        if (out) v.push_back(file.string());
        return v;
    }();
    return values;
}

// Typical argument lists: every declared argument valid, so that other
// arguments' bounds are what a call exercises.
CallSpec base_spec(const FunctionInfo& fn, const Shape& s, Pattern p) {
    CallSpec call;
    call.high = make_series(s, p, 1);
    call.low = make_series(s, p, 2);
    call.close = make_series(s, p, 0);
    call.volume = make_series(s, p, 4);
    if (p == Pattern::kWalk) {
        for (std::size_t i = 0; i < call.high.values.size(); ++i) {
            const float c = call.close.values[i];
            call.high.values[i] = c + 1.5f;
            call.low.values[i] = c - 1.5f;
            call.volume.values[i] = 1000.0f + 37.0f * static_cast<float>(i % 11);
        }
    }
    call.numerics.assign(static_cast<std::size_t>(fn.numeric_count()), 1.0f);
    call.numeric_count = fn.numeric_count();
    ArrayArg same;
    same.series = make_series(s, p, 5);
    call.arrays.assign(static_cast<std::size_t>(fn.array_count()), same);
    call.array_count = fn.array_count();
    call.strings.assign(static_cast<std::size_t>(fn.string_count()), "1/4/2010");
    if (!call.strings.empty()) call.strings[0] = string_values().back();
    return call;
}

class Checker {
public:
    explicit Checker(StressReport* report) : report_(report) {}
    void call(MSXCalcFunc fn, const CallSpec& call, const std::string& what) {
        const CallResult r = call_function(fn, call);
        ++report_->calls;
        if (r.code == msx::kSuccess) ++report_->succeeded;
        else if (r.code == msx::kError) ++report_->failed;
        else problem(what + ": result code " + std::to_string(r.code));
        for (const std::string& v : r.violations) problem(what + ": " + v);
    }
    void problem(const std::string& text) {
        if (report_->problems.size() < 20) report_->problems.push_back(text);
        else if (report_->problems.size() == 20) report_->problems.push_back("...");
    }

private:
    StressReport* report_;
};

std::string describe(const Shape& s, int pattern, const std::string& rest) {
    return "bars " + std::to_string(s.first) + ".." + std::to_string(s.last) + " pattern " +
           std::to_string(pattern) + " " + rest;
}

void stress_function(const FunctionInfo& fn, StressReport* report) {
    Checker check(report);
    if (fn.calc == nullptr) {
        check.problem("catalogue names " + fn.name + " but the library does not export it");
        return;
    }
    for (const Shape& s : kShapes) {
        for (std::size_t pi = 0; pi < std::size(kPatterns); ++pi) {
            const Pattern p = kPatterns[pi];
            const CallSpec base = base_spec(fn, s, p);
            check.call(fn.calc, base, describe(s, static_cast<int>(pi), "declared arguments"));

            // Each numeric position through every boundary value.
            const std::vector<float> values = numeric_values(s);
            for (int pos = 0; pos < fn.numeric_count(); ++pos) {
                for (float v : values) {
                    CallSpec call = base;
                    call.numerics[static_cast<std::size_t>(pos)] = v;
                    check.call(fn.calc, call,
                               describe(s, static_cast<int>(pi),
                                        "numeric " + std::to_string(pos) + " = " +
                                            std::to_string(v)));
                }
            }
            // Each data-array position through every kind of series.
            const std::vector<ArrayArg> arrays = array_variants(s, p);
            for (int pos = 0; pos < fn.array_count(); ++pos) {
                for (std::size_t k = 0; k < arrays.size(); ++k) {
                    CallSpec call = base;
                    call.arrays[static_cast<std::size_t>(pos)] = arrays[k];
                    check.call(fn.calc, call,
                               describe(s, static_cast<int>(pi),
                                        "array " + std::to_string(pos) + " variant " +
                                            std::to_string(k)));
                }
            }
            // Each string position through every kind of text.
            for (int pos = 0; pos < fn.string_count(); ++pos) {
                for (const std::string& text : string_values()) {
                    CallSpec call = base;
                    call.strings[static_cast<std::size_t>(pos)] = text;
                    check.call(fn.calc, call,
                               describe(s, static_cast<int>(pi),
                                        "string " + std::to_string(pos) + " = \"" +
                                            text.substr(0, 20) + "\""));
                }
            }
            // Argument counts 0..9 with valid values in every entry.
            if (pi == 0 || pi == std::size(kPatterns) - 1) {
                for (int nc = 0; nc <= 9; ++nc) {
                    for (int ac = 0; ac <= 9; ++ac) {
                        CallSpec call = base;
                        call.numerics.assign(static_cast<std::size_t>(nc), 1.0f);
                        call.numeric_count = nc;
                        call.arrays.assign(static_cast<std::size_t>(ac),
                                           arrays[2]);  // the chart's own range
                        call.array_count = ac;
                        check.call(fn.calc, call,
                                   describe(s, static_cast<int>(pi),
                                            std::to_string(nc) + " numeric, " +
                                                std::to_string(ac) + " array arguments"));
                    }
                }
            }
        }
    }
}

// The catalogue queries with indices past every end; a record field must
// stay terminated and the result code must be 0 or 1.
void stress_catalogue(const Plugin& plugin, StressReport* report) {
    Checker check(report);
    const int32_t indices[] = {INT32_MIN, -100, -1, 0, 1, 2, 3, 4, 5, 6, 9, 100, INT32_MAX};
    auto code_ok = [&](int32_t code, const std::string& what) {
        ++report->calls;
        if (code == msx::kSuccess) ++report->succeeded;
        else if (code == msx::kError) ++report->failed;
        else check.problem(what + ": result code " + std::to_string(code));
    };
    for (int32_t f : indices) {
        MSXFuncDef def;
        std::memset(&def, 0xCD, sizeof def);
        const int32_t code = plugin.nth_function()(f, &def);
        code_ok(code, "MSXNthFunction(" + std::to_string(f) + ")");
        if (code == msx::kSuccess &&
            (strnlen(def.szFunctionName, 100) == 100 || strnlen(def.szFunctionDescription, 100) == 100))
            check.problem("MSXNthFunction(" + std::to_string(f) + "): unterminated text");
        for (int32_t a : indices) {
            MSXFuncArgDef arg;
            std::memset(&arg, 0xCD, sizeof arg);
            const int32_t acode = plugin.nth_arg()(f, a, &arg);
            code_ok(acode, "MSXNthArg");
            if (acode == msx::kSuccess && arg.iArgType != static_cast<int32_t>(0xCDCDCDCD) &&
                strnlen(arg.szArgName, 100) == 100)
                check.problem("MSXNthArg: unterminated name");
            MSXFuncCustomString cs;
            std::memset(&cs, 0xCD, sizeof cs);
            const int32_t ccode = plugin.nth_custom_string()(f, a, a, &cs);
            code_ok(ccode, "MSXNthCustomString");
            // A library without custom strings may leave the record untouched.
            const bool written = static_cast<unsigned char>(cs.szString[0]) != 0xCD ||
                                 cs.iID != static_cast<int32_t>(0xCDCDCDCD);
            if (ccode == msx::kSuccess && written && strnlen(cs.szString, 100) == 100)
                check.problem("MSXNthCustomString: unterminated text");
        }
    }
}

}  // namespace

bool run_stress(const Plugin& plugin, std::ostream& out, std::vector<StressReport>* reports) {
    reports->clear();
    reports->push_back(StressReport{"catalogue queries", 0, 0, 0, {}});
    stress_catalogue(plugin, &reports->back());
    for (const FunctionInfo& fn : plugin.functions()) {
        reports->push_back(StressReport{fn.name, 0, 0, 0, {}});
        stress_function(fn, &reports->back());
    }
    bool clean = true;
    for (const StressReport& r : *reports) {
        out << r.function << ": " << r.calls << " calls, " << r.succeeded << " returned 0, "
            << r.failed << " returned 1, " << r.problems.size() << " problems\n";
        for (const std::string& p : r.problems) out << "    " << p << "\n";
        clean = clean && r.problems.empty();
    }
    out << (clean ? "stress: clean" : "stress: PROBLEMS FOUND") << "\n";
    return clean;
}

}  // namespace harness
