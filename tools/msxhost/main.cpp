// msxhost: loads an MSX plug-in as the charting host does, lists its
// catalogue, runs its functions on daily bars from a CSV file, and
// stress-tests every function it offers.
#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <atomic>
#include <cmath>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "platform/plain_window.h"
#include "host/chart_data.h"
#include "host/output.h"
#include "evaluation/evaluate.h"
#include "evaluation/report.h"
#include "tools/msxhost/chart_levels.h"
#include "tools/msxhost/chart_svg.h"
#include "host/client_call.h"
#include "host/host_call.h"
#include "host/plugin.h"
#include "host/stress.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  msxhost catalogue PLUGIN\n"
    "  msxhost run PLUGIN FUNCTION --data OHLCV.csv [--num X]... [--array SOURCE]...\n"
    "          [--str TEXT]... [--symbol TEXT] [--last N]\n"
    "      SOURCE is a column (open, high, low, close, volume), atr:N (Wilder's\n"
    "      average true range over N bars) or FUNCTION[:X[:X...]] (another function\n"
    "      of the plug-in called with those numeric arguments)\n"
    "  msxhost scan PLUGIN FUNCTION [--num X]... [--array SOURCE]... [--ago N]\n"
    "          --data A.csv [--data B.csv]...\n"
    "      runs the function on each file as run does and prints file,date,value\n"
    "      for the bar N bars before the last (default 0); the value is empty where\n"
    "      that bar has none, the message goes to standard error\n"
    "  msxhost evaluate PLUGIN [FUNCTION] --data A.csv [--data B.csv]... [--horizons 1,5,10,20]\n"
    "          [--entry open|close|same] [--baseline file|file-year|date] [--min-count N]\n"
    "          [--min-episodes N] [--bootstrap N] [--seed S] [--threads N] [--csv OUT.csv]\n"
    "          [--by-file OUT.csv] [--svg OUT.svg] [--split YYYY-MM-DD]\n"
    "      what each signal code of FUNCTION (default VSAInd; whole numbers, 0 for none)\n"
    "      was followed by: per code and horizon h (bars), the cases and episodes (runs\n"
    "      of the code on consecutive bars), mean and median return in percent, the\n"
    "      share moving the signal's way, and the difference from each case's own\n"
    "      baseline: its file's mean return at that horizon (--baseline file, the\n"
    "      default), its file's in the same year (file-year) or the watchlist's on the\n"
    "      same date (date). Beside it t, p and a 95% interval from a studentized block\n"
    "      bootstrap over dates, the smallest effect the run could find (mde), and an\n"
    "      interval and p-value adjusted for every code x horizon cell at once\n"
    "      (Romano-Wolf). Statistics need --min-count cases (30) and --min-episodes\n"
    "      episodes (20). --by-file writes the cases of every cell per file. --split\n"
    "      DATE evaluates the dates before DATE and those from it apart and prints\n"
    "      both (the CSVs gain a last column, period; the chart is two files,\n"
    "      OUT-before.svg and OUT-after.svg), so an effect found on one part can be\n"
    "      checked on data it was not found on.\n"
    "      A code is known at the next bar's close: --entry open\n"
    "      (default) enters at the open after it, close at that close (optimistic), same\n"
    "      at the signal bar's own close (look-ahead, to show how much it flatters).\n"
    "      Intraday files (dates YYYY-MM-DD HH:MM) are resampled over their bar times.\n"
    "      Files run on all cores for Barsight's plug-in, on one thread for any other\n"
    "      (the charting host calls a plug-in from one thread) unless --threads N\n"
    "  msxhost stress PLUGIN\n"
    "  msxhost chart PLUGIN --data OHLCV.csv -o CHART.svg [--bars N] [--end BAR]\n"
    "          [--mark BAR] [--width PIXELS] [--levels on|off]\n"
    "      an SVG chart of N bars (default 160) ending at BAR (default the last):\n"
    "      price, VSATrend(20), VSAVolStops(2.5, ATR(14)), VSAInd signals, volume\n"
    "      coloured by class, and the support, resistance and trading range the\n"
    "      engine read for the last bar drawn (--levels off leaves them out);\n"
    "      --mark highlights one bar; exit 2 for an output that\n"
    "      is an input (by any name) or an existing file that is not a regular one\n"
    "  msxhost client PLUGIN CALL [ARG]... [-- CALL [ARG]...]...\n"
    "      calls trading-client exports in order, in one process; ARG is an\n"
    "      integer, a number or a text (null for a null pointer). Besides the\n"
    "      exports: unload, load (the plug-in again), loaded (is it still in the\n"
    "      process?), thread (starts and ends a thread), window (a window of this\n"
    "      thread; $window in a later ARG names it). GetFromQueue HANDLE prints\n"
    "      the result and the record it wrote. Each line printed also goes to the\n"
    "      debugger output, prefixed \"msxhost: \". Exit 2 for a call msxhost does\n"
    "      not know or arguments that do not fit, 1 for an export the plug-in lacks.\n"
    "  evaluate: exit 2 for bad options (fewer than 200 replicates: a 95% interval\n"
    "      needs a few hundred; a horizon twice), a file given twice, an output that\n"
    "      is an input or another output (by any name, OUT-before.svg and\n"
    "      OUT-after.svg included) or an existing file that is not a regular one,\n"
    "      or more codes x dates x replicates than 256 MiB holds; 1 when a file\n"
    "      cannot be used (its message names it; the rest are evaluated) or none can.\n"
    "  run, scan, chart and evaluate read dates YYYY-MM-DD (or on every row\n"
    "      YYYY-MM-DD HH:MM) from 1800-01-01 to 9999-12-31, oldest first: a file\n"
    "      newest first or with a date twice is refused (exit 1, naming the file, the\n"
    "      row and the date).\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

bool load_plugin(const std::string& path, host::Plugin* plugin) {
    std::string error;
    if (!plugin->load(path, &error)) {
        std::cerr << "msxhost: " << error << "\n";
        return false;
    }
    return true;
}

// What a run reads of the plug-in, never to be written over: the library,
// and what Barsight's reads beside it (its settings file, the engine).
std::vector<std::string> plugin_files(const std::string& plugin) {
    const std::filesystem::path folder = std::filesystem::path(plugin).parent_path();
    return {plugin, plugin + ".config", (folder / platform::library_file_name("Spreadcore")).string()};
}

int cmd_catalogue(const std::string& path) {
    host::Plugin plugin;
    if (!load_plugin(path, &plugin)) return 1;
    std::cout << "copyright: " << plugin.copyright() << "\n"
              << "version: " << plugin.version() << "\n"
              << "functions: " << plugin.functions().size() << "\n";
    int index = 0;
    for (const host::FunctionInfo& fn : plugin.functions()) {
        std::cout << index++ << " " << fn.name << " \"" << fn.description << "\" "
                  << fn.args.size() << " argument(s)" << (fn.calc ? "" : " [not exported]")
                  << "\n";
        for (std::size_t a = 0; a < fn.args.size(); ++a)
            std::cout << "    " << a << ": " << fn.args[a].name << " ("
                      << host::arg_type_name(fn.args[a].type) << ")\n";
    }
    return 0;
}

// A whole number in [low, high], the whole text and nothing else.
// (64-bit in every build: long is 32-bit on Windows.)
bool whole_number(const std::string& text, long long low, long long high, long long* value) {
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// An option's whole number; a usage error (exit 2) names the option.
bool option_number(const std::string& option, const std::string& text, long long low, long long high,
                   long long* value) {
    if (whole_number(text, low, high, value)) return true;
    std::cerr << "msxhost: " << option << " needs a whole number from " << low << " to " << high
              << ", not '" << text << "'\n";
    return false;
}

// A number of the command line, read as a data file's prices are: decimal,
// finite, within a float's range (no "nan", "inf" or "0x1p4").
bool parse_number(const std::string& text, float* value) { return host::parse_decimal_float(text, value); }

// A chart as run, scan and chart use it: the file read, and its bars checked
// as evaluate checks them (dates that rise: a file newest first, or a date
// twice, is refused, never read backwards).
bool load_chart(const std::string& path, host::ChartData* chart, std::string* error) {
    return host::load_chart_csv(path, chart, error) && host::chart_days(*chart, path, nullptr, error);
}

// The function of the plug-in's catalogue named `function`, or null (said).
const host::FunctionInfo* catalogue_function(const host::Plugin& plugin, const std::string& function) {
    const host::FunctionInfo* fn = plugin.find(function);
    if (fn != nullptr && fn->calc != nullptr) return fn;
    std::cerr << "msxhost: " << function << " is not in the plug-in's catalogue\n";
    return nullptr;
}

// An array source as the command line names it: a column (open, high,
// low, close, volume), atr:N or a function of the plug-in with numbers.
struct ArraySource {
    enum class Kind { kColumn, kAtr, kFunction } kind = Kind::kColumn;
    std::string text;            // as given
    std::string name;            // the column or the function
    int periods = 0;             // atr:N
    std::vector<float> numbers;  // the function's numeric arguments
};

// The one reading of an array source; false, with the reason printed (a
// usage error), for a source msxhost does not know.
bool parse_array_source(const host::Plugin& plugin, const std::string& text, ArraySource* source) {
    source->text = text;
    if (host::ChartData{}.column(text) != nullptr) {
        source->kind = ArraySource::Kind::kColumn;
        source->name = text;
        return true;
    }
    const std::vector<std::string> parts = host::split(text, ':');
    if (parts[0] == "atr") {
        long long periods = 0;
        if (parts.size() != 2 || !whole_number(parts[1], 1, INT32_MAX, &periods)) {
            std::cerr << "msxhost: atr needs a whole number of periods, at least 1\n";
            return false;
        }
        source->kind = ArraySource::Kind::kAtr;
        source->periods = static_cast<int>(periods);
        return true;
    }
    const host::FunctionInfo* fn = plugin.find(parts[0]);
    if (fn == nullptr || fn->calc == nullptr) {
        std::cerr << "msxhost: unknown array source " << text << "\n";
        return false;
    }
    source->kind = ArraySource::Kind::kFunction;
    source->name = parts[0];
    source->numbers.clear();
    for (std::size_t k = 1; k < parts.size(); ++k) {
        float v = 0;
        if (!parse_number(parts[k], &v)) {
            std::cerr << "msxhost: bad number " << parts[k] << " in " << text << "\n";
            return false;
        }
        source->numbers.push_back(v);
    }
    return true;
}

// Builds a data-array argument from a source on `chart`; a failure is
// reported with `where` (the file, in a scan) before it.
bool array_source(const host::Plugin& plugin, const host::ChartData& chart,
                  const std::string& text, host::ArrayArg* arg, const std::string& where = "") {
    ArraySource source;
    if (!parse_array_source(plugin, text, &source)) return false;
    const int32_t last = static_cast<int32_t>(chart.size()) - 1;
    switch (source.kind) {
        case ArraySource::Kind::kColumn:
            arg->series = {*chart.column(source.name), 0, last};
            return true;
        case ArraySource::Kind::kAtr: {
            int first = 0;
            arg->series.values = host::wilder_atr(chart, source.periods, &first);
            arg->series.first = first;
            arg->series.last = last;
            return true;
        }
        case ArraySource::Kind::kFunction: break;
    }
    host::CallSpec call = host::chart_spec(chart);
    call.numerics = source.numbers;
    call.numeric_count = static_cast<int32_t>(call.numerics.size());
    const host::CallResult r = host::call_function(plugin.find(source.name)->calc, call);
    if (r.code != 0) {
        std::cerr << "msxhost: " << where << text << " failed: " << r.message << "\n";
        return false;
    }
    arg->series = {r.values, r.first, r.last};
    return true;
}

// One option of a command ("--name value"): what takes its value; false for
// a bad value, which the taker has reported.
struct Option {
    const char* name;
    std::function<bool(const std::string&)> take;
};

// The one option parser: argv[from..] as pairs of the command's options.
// 0 when every option was taken; 2 for a bad value; the usage (2) for an
// unknown option or one without its value.
int parse_options(int argc, char** argv, int from, const std::vector<Option>& options) {
    for (int i = from; i < argc; i += 2) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) return usage();
        const auto found = std::find_if(options.begin(), options.end(),
                                        [&](const Option& o) { return opt == o.name; });
        if (found == options.end()) return usage();
        if (!found->take(argv[i + 1])) return 2;
    }
    return 0;
}

// An option whose value is a whole number in [low, high].
Option number_option(const char* name, long long low, long long high, std::function<void(long long)> store) {
    return {name, [=](const std::string& value) {
                long long number = 0;
                if (!option_number(name, value, low, high, &number)) return false;
                store(number);
                return true;
            }};
}

// An option whose value is a text.
Option text_option(const char* name, std::string* value) {
    return {name, [value](const std::string& given) {
                *value = given;
                return true;
            }};
}

// An option that collects its values.
Option list_option(const char* name, std::vector<std::string>* values) {
    return {name, [values](const std::string& value) {
                values->push_back(value);
                return true;
            }};
}

// A function's arguments as given on the command line.
struct FunctionArgs {
    std::string symbol = "SAMPLE";
    std::vector<float> numerics;
    std::vector<std::string> arrays, strings;
};

// The options that give a function argument (--symbol, --array, --num and,
// with `strings`, --str), at most 9 of each kind.
std::vector<Option> argument_options(FunctionArgs* args, bool strings) {
    const auto at_most_nine = [args] {
        if (args->numerics.size() <= msx::kMaxArgs && args->arrays.size() <= msx::kMaxArgs &&
            args->strings.size() <= msx::kMaxArgs)
            return true;
        std::cerr << "msxhost: at most 9 arguments of each kind\n";
        return false;
    };
    std::vector<Option> options = {
        {"--symbol", [args](const std::string& value) {
             args->symbol = value;
             return true;
         }},
        {"--array", [args, at_most_nine](const std::string& value) {
             args->arrays.push_back(value);
             return at_most_nine();
         }},
        {"--num", [args, at_most_nine](const std::string& value) {
             float v = 0;
             if (!parse_number(value, &v)) {
                 std::cerr << "msxhost: --num needs a decimal number within a float's range (no nan, inf or "
                              "hexadecimal), not '"
                           << value << "'\n";
                 return false;
             }
             args->numerics.push_back(v);
             return at_most_nine();
         }},
    };
    if (strings)
        options.push_back({"--str", [args, at_most_nine](const std::string& value) {
                               args->strings.push_back(value);
                               return at_most_nine();
                           }});
    return options;
}

// The host call of a function on `chart` with the given arguments.
bool chart_call(const host::Plugin& plugin, const host::ChartData& chart,
                const FunctionArgs& args, host::CallSpec* call, const std::string& where = "") {
    *call = host::chart_spec(chart);
    call->symbol = args.symbol.c_str();
    call->numerics = args.numerics;
    call->numeric_count = static_cast<int32_t>(args.numerics.size());
    for (const std::string& source : args.arrays) {
        host::ArrayArg arg;
        if (!array_source(plugin, chart, source, &arg, where)) return false;
        call->arrays.push_back(std::move(arg));
    }
    call->array_count = static_cast<int32_t>(call->arrays.size());
    call->strings = args.strings;
    return true;
}

// One function over several charts, as the Explorer runs a column over a
// watchlist: a row per file with the date and value of the bar N bars
// before the last.
int cmd_scan(int argc, char** argv) {
    if (argc < 4) return usage();
    host::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    const std::string function = argv[3];
    FunctionArgs args;
    std::vector<std::string> files;
    long ago = 0;
    std::vector<Option> options = argument_options(&args, false);
    options.push_back(list_option("--data", &files));
    options.push_back({"--ago", [&ago](const std::string& value) {
                           long long bars = 0;
                           if (!whole_number(value, 0, INT32_MAX, &bars)) {
                               std::cerr << "msxhost: --ago needs a whole number of bars, 0 or more\n";
                               return false;
                           }
                           ago = static_cast<long>(bars);
                           return true;
                       }});
    if (const int status = parse_options(argc, argv, 4, options); status != 0) return status;
    if (files.empty()) return usage();
    const host::FunctionInfo* fn = catalogue_function(plugin, function);
    if (fn == nullptr) return 1;
    // A source no file can give is one usage error, not one failure a file.
    for (const std::string& text : args.arrays) {
        ArraySource source;
        if (!parse_array_source(plugin, text, &source)) return 2;
    }
    // The most serious status of any file wins: a guard violation (3) over
    // a file that could not be read or a failed call (1).
    int status = 0;
    const auto note = [&status](int code) { status = std::max(status, code); };
    std::cout << "file,date,value\n";
    for (const std::string& file : files) {
        std::string date, value;
        host::ChartData chart;
        std::string error;
        host::CallSpec call;
        if (!load_chart(file, &chart, &error)) {
            std::cerr << "msxhost: " << error << "\n";
            note(1);
        } else if (!chart_call(plugin, chart, args, &call, file + ": ")) {
            note(1);
        } else {
            const long bar = static_cast<long>(chart.size()) - 1 - ago;
            if (bar >= 0) date = chart.dates[static_cast<std::size_t>(bar)];
            const host::CallResult r = host::call_function(fn->calc, call);
            for (const std::string& v : r.violations)
                std::cerr << "msxhost: VIOLATION: " << file << ": " << v << "\n";
            if (!r.violations.empty()) note(3);
            if (r.code != 0) {
                std::cerr << "msxhost: " << file << ": " << function << ": " << r.message << "\n";
                note(1);
            } else if (bar >= r.first && bar <= r.last && bar >= 0 &&
                       bar < static_cast<long>(r.values.size())) {
                value = host::format_float(r.values[static_cast<std::size_t>(bar)]);
            }
        }
        std::cout << evaluation::csv_field(file) << "," << evaluation::csv_field(date) << "," << value << "\n";
    }
    return status;
}

int cmd_run(int argc, char** argv) {
    if (argc < 4) return usage();
    host::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    const std::string function = argv[3];
    std::string data_path;
    FunctionArgs args;
    long long last_rows = -1;
    std::vector<Option> options = argument_options(&args, true);
    options.push_back(text_option("--data", &data_path));
    options.push_back(number_option("--last", 0, INT32_MAX, [&last_rows](long long n) { last_rows = n; }));
    if (const int status = parse_options(argc, argv, 4, options); status != 0) return status;
    if (data_path.empty()) return usage();
    const host::FunctionInfo* fn = catalogue_function(plugin, function);
    if (fn == nullptr) return 1;
    host::ChartData chart;
    std::string error;
    if (!load_chart(data_path, &chart, &error)) {
        std::cerr << "msxhost: " << error << "\n";
        return 1;
    }

    host::CallSpec call;
    if (!chart_call(plugin, chart, args, &call)) return 1;
    const host::CallResult r = host::call_function(fn->calc, call);
    for (const std::string& v : r.violations) std::cerr << "msxhost: VIOLATION: " << v << "\n";
    std::cout << "# " << function << " result " << r.code;
    if (r.code != 0) std::cout << " message \"" << r.message << "\"";
    std::cout << " first " << r.first << " last " << r.last << "\n";
    if (r.code == 0 && r.first <= r.last && r.first >= 0 &&
        r.last < static_cast<int32_t>(r.values.size())) {
        int32_t from = r.first;
        if (last_rows >= 0 && r.last - from + 1 > last_rows)
            from = r.last - static_cast<int32_t>(last_rows) + 1;
        std::cout << "bar,date,value\n";
        for (int32_t i = from; i <= r.last; ++i)
            std::cout << i << "," << chart.dates[static_cast<std::size_t>(i)] << ","
                      << host::format_float(r.values[static_cast<std::size_t>(i)]) << "\n";
    }
    if (!r.violations.empty()) return 3;
    return r.code == 0 ? 0 : 1;
}

// One file of an evaluation: its bars' days, opens, closes and codes, or
// the reason it could not be used.
struct EvaluatedFile {
    evaluation::CodedSeries series;
    std::string error;
    bool not_codes = false;  // the function's values are not whole numbers
};

EvaluatedFile evaluate_file(const host::Plugin& plugin, const host::FunctionInfo& fn, const std::string& file) {
    EvaluatedFile out;
    host::ChartData chart;
    evaluation::CodedSeries& s = out.series;
    if (!host::load_chart_csv(file, &chart, &out.error) ||
        !host::chart_days(chart, file, &s.days, &out.error, &s.minutes))
        return out;
    s.name = file;
    s.open.assign(chart.open.begin(), chart.open.end());
    s.close.assign(chart.close.begin(), chart.close.end());
    host::CallSpec call;
    FunctionArgs args;
    if (!chart_call(plugin, chart, args, &call, file + ": ")) {
        out.error = file + ": the function cannot be called";
        return out;
    }
    const host::CallResult r = host::call_function(fn.calc, call);
    if (!r.violations.empty()) {
        out.error = file + ": " + r.violations.front();
        return out;
    }
    if (r.code != 0) {
        out.error = file + ": " + fn.name + ": " + r.message;
        return out;
    }
    s.codes.assign(chart.size(), 0);
    for (int32_t i = std::max(r.first, 0); i <= r.last && i < static_cast<int32_t>(r.values.size()) &&
                                           i < static_cast<int32_t>(chart.size());
         ++i) {
        const float v = r.values[static_cast<std::size_t>(i)];
        if (!std::isfinite(v) || v != std::floor(v) || std::fabs(v) > 1e6f) {
            out.not_codes = true;
            out.error = file + ": bar " + std::to_string(i) + ": " + fn.name + " gives " + host::format_float(v) +
                        ", not a whole-number signal code";
            return out;
        }
        s.codes[static_cast<std::size_t>(i)] = static_cast<int32_t>(v);
    }
    return out;
}

// A comma list of horizons, each 1 to 10000 bars and each once (a horizon
// twice would repeat its rows and count its cells twice in the family).
bool parse_horizons(const std::string& text, std::vector<int>* horizons) {
    horizons->clear();
    for (const std::string& part : host::split(text, ',')) {
        long long h = 0;
        if (!whole_number(part, 1, 10000, &h)) {
            std::cerr << "msxhost: --horizons needs whole numbers of bars from 1 to 10000, comma separated, not '"
                      << text << "'\n";
            return false;
        }
        if (std::find(horizons->begin(), horizons->end(), h) != horizons->end()) {
            std::cerr << "msxhost: --horizons names " << h << " twice in '" << text << "': each horizon once\n";
            return false;
        }
        horizons->push_back(static_cast<int>(h));
    }
    return !horizons->empty();
}

// A CSV with one more column at the end: `name` in the header, `value` on
// every row.
std::string with_last_column(const std::string& csv, const std::string& name, const std::string& value) {
    std::string out;
    std::size_t from = 0;
    for (bool header = true; from < csv.size(); header = false) {
        const std::size_t end = csv.find('\n', from);
        out += csv.substr(from, end - from) + "," + (header ? name : value) + "\n";
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return out;
}

// OUT.svg as OUT-SUFFIX.svg.
std::string suffixed(const std::string& path, const std::string& suffix) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + "-" + suffix;
    return path.substr(0, dot) + "-" + suffix + path.substr(dot);
}

int cmd_evaluate(int argc, char** argv) {
    if (argc < 3) return usage();
    int i = 3;
    std::string function = "VSAInd";
    if (i < argc && std::string(argv[i]).rfind("--", 0) != 0) function = argv[i++];
    evaluation::EvaluateOptions options;
    std::vector<std::string> files;
    std::string csv_path, svg_path, by_file_path;
    int64_t split_day = 0;
    std::string split_date;  // as given, for the headings
    bool split = false;
    long long threads_wanted = 0;  // 0: all cores for Barsight's plug-in, one for any other
    const std::vector<Option> evaluate_options = {
        list_option("--data", &files),
        {"--horizons", [&options](const std::string& value) { return parse_horizons(value, &options.horizons); }},
        {"--entry", [&options](const std::string& value) {
             if (value == "open") options.entry = evaluation::Entry::open;
             else if (value == "close") options.entry = evaluation::Entry::close;
             else if (value == "same") options.entry = evaluation::Entry::same;
             else {
                 std::cerr << "msxhost: --entry is open, close or same, not '" << value << "'\n";
                 return false;
             }
             return true;
         }},
        number_option("--min-count", 1, INT32_MAX, [&](long long n) { options.min_count = static_cast<long>(n); }),
        number_option("--min-episodes", 1, INT32_MAX,
                      [&](long long n) { options.min_episodes = static_cast<long>(n); }),
        {"--baseline", [&options](const std::string& value) {
             if (evaluation::parse_baseline(value, &options.baseline)) return true;
             std::cerr << "msxhost: --baseline is file, file-year or date, not '" << value << "'\n";
             return false;
         }},
        {"--bootstrap", [&options](const std::string& value) {
             long long n = 0;
             if (whole_number(value, evaluation::kMinReplicates, evaluation::kMaxReplicates, &n)) {
                 options.bootstrap = static_cast<int>(n);
                 return true;
             }
             std::cerr << "msxhost: --bootstrap needs a whole number of replicates from " << evaluation::kMinReplicates
                       << " to " << evaluation::kMaxReplicates << ", not '" << value << "': "
                       << evaluation::kReplicatesWhy << "\n";
             return false;
         }},
        number_option("--seed", 0, INT64_MAX, [&](long long n) { options.seed = static_cast<uint64_t>(n); }),
        number_option("--threads", 1, 256, [&](long long n) { threads_wanted = n; }),
        text_option("--csv", &csv_path),
        text_option("--svg", &svg_path),
        text_option("--by-file", &by_file_path),
        {"--split", [&](const std::string& value) {
             if (host::parse_day(value, &split_day) != host::DayStatus::ok) {
                 std::cerr << "msxhost: --split needs a date (YYYY-MM-DD), not '" << value << "'\n";
                 return false;
             }
             split = true;
             split_date = value;
             return true;
         }},
    };
    if (const int status = parse_options(argc, argv, i, evaluate_options); status != 0) return status;
    if (files.empty()) return usage();
    // Every name written, as it will be written (with --split the chart is
    // two files), checked against the inputs and each other first.
    host::CommandFiles written{files, plugin_files(argv[2]), {}};
    if (!svg_path.empty()) {
        if (split) {
            written.written.push_back(suffixed(svg_path, "before"));
            written.written.push_back(suffixed(svg_path, "after"));
        } else {
            written.written.push_back(svg_path);
        }
    }
    if (!csv_path.empty()) written.written.push_back(csv_path);
    if (!by_file_path.empty()) written.written.push_back(by_file_path);
    if (const std::string clash = host::file_clash(written); !clash.empty()) {
        std::cerr << "msxhost: " << clash << "\n";
        return 2;
    }
    host::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    const host::FunctionInfo* fn = catalogue_function(plugin, function);
    if (fn == nullptr) return 1;
    if (!fn->args.empty()) {
        std::cerr << "msxhost: " << function << " takes arguments; evaluate runs functions of none\n";
        return 2;
    }
    // The files in parallel, each on one thread at a time; the results keep
    // the files' order.
    std::vector<EvaluatedFile> done(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < files.size();) {
            try {
                done[k] = evaluate_file(plugin, *fn, files[k]);
            } catch (const std::exception& failure) {  // no memory for a huge file: that file fails
                done[k] = EvaluatedFile();
                done[k].error = files[k] + ": " + failure.what();
            }
        }
    };
    // The charting host calls a plug-in from one thread: only Barsight's own,
    // whose functions are known to be reentrant, runs on all cores unless
    // --threads says otherwise.
    const bool reentrant = plugin.copyright().find("Barsight") != std::string::npos;
    const unsigned wanted = threads_wanted > 0 ? static_cast<unsigned>(threads_wanted)
                            : reentrant        ? std::max(1u, std::thread::hardware_concurrency())
                                               : 1u;
    const unsigned threads = std::max(1u, std::min<unsigned>(wanted, static_cast<unsigned>(files.size())));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();

    int status = 0;
    std::vector<evaluation::CodedSeries> charts;
    for (EvaluatedFile& file : done) {
        if (file.not_codes) {
            std::cerr << "msxhost: " << file.error << "; evaluate needs a function whose values are signal codes\n";
            return 2;
        }
        if (!file.error.empty()) {
            std::cerr << "msxhost: " << file.error << "\n";
            status = 1;
            continue;
        }
        charts.push_back(std::move(file.series));
    }
    if (charts.empty()) {
        std::cerr << "msxhost: no file could be evaluated\n";
        return 1;
    }
    // Whatever fails from here (no memory for the replicates) is answered
    // with a message and an exit code, never an abort.
    try {
        // The whole run, or with --split the two periods, each on its own.
        struct Period {
            const char* name;  // the CSV's period, the chart's file suffix; "" without --split
            std::string heading;
            std::vector<evaluation::CodedSeries> charts;
        };
        std::vector<Period> periods;
        if (!split) {
            periods.push_back({"", "", std::move(charts)});
        } else {
            const std::string& date = split_date;
            periods.push_back({"before", "Before " + date + " (in sample):\n", {}});
            periods.push_back({"after", "\nFrom " + date + " on (out of sample):\n", {}});
            for (const evaluation::CodedSeries& chart : charts) {
                for (Period& period : periods) {
                    evaluation::CodedSeries part = evaluation::part_of(chart, split_day, period.name[0] == 'b');
                    if (!part.days.empty()) period.charts.push_back(std::move(part));
                }
            }
        }
        // Every period evaluated before anything is printed: a refusal (too
        // much memory for the second period) leaves no half a report.
        std::vector<evaluation::Evaluation> evaluations(periods.size());
        for (std::size_t k = 0; k < periods.size(); ++k) {
            if (periods[k].charts.empty()) continue;
            evaluations[k] = evaluation::evaluate(periods[k].charts, options);
            if (!evaluations[k].refused.empty()) {
                std::cerr << "msxhost: evaluate refused: " << evaluations[k].refused << "\n";
                return 2;
            }
        }
        std::string csv_text, by_file_text;
        std::vector<std::pair<std::string, std::string>> outputs;
        for (std::size_t k = 0; k < periods.size(); ++k) {
            const Period& period = periods[k];
            const evaluation::Evaluation& evaluation = evaluations[k];
            std::cout << period.heading;
            if (period.charts.empty()) {
                std::cout << "no bars in this period\n";
                continue;
            }
            std::cout << evaluation::evaluation_table(evaluation, options);
            std::string csv = evaluation::evaluation_csv(evaluation);
            if (split) csv = with_last_column(csv, "period", period.name);
            csv_text += csv_text.empty() ? csv : csv.substr(csv.find('\n') + 1);
            std::string by_file = evaluation::evaluation_by_file_csv(evaluation);
            if (split) by_file = with_last_column(by_file, "period", period.name);
            by_file_text += by_file_text.empty() ? by_file : by_file.substr(by_file.find('\n') + 1);
            if (!svg_path.empty())
                outputs.emplace_back(split ? suffixed(svg_path, period.name) : svg_path,
                                     evaluation::evaluation_svg(evaluation, options));
        }
        if (!csv_path.empty()) outputs.emplace_back(csv_path, csv_text);
        if (!by_file_path.empty()) outputs.emplace_back(by_file_path, by_file_text);
        for (const auto& [path, text] : outputs) {
            std::ofstream out(path, std::ios::binary);
            out << text;
            out.close();
            if (!out) {
                std::cerr << "msxhost: cannot write " << path << "\n";
                status = 1;
            }
        }
    } catch (const std::bad_alloc&) {
        std::cerr << "msxhost: evaluate ran out of memory (fewer files, codes or replicates need less)\n";
        return 1;
    } catch (const std::exception& failure) {
        std::cerr << "msxhost: evaluate failed: " << failure.what() << "\n";
        return 1;
    }
    return status;
}

int cmd_stress(const std::string& path) {
    host::Plugin plugin;
    if (!load_plugin(path, &plugin)) return 1;
    std::vector<host::StressReport> reports;
    return host::run_stress(plugin, std::cout, &reports) ? 0 : 3;
}

int cmd_chart(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string data_path, out_path;
    msxhost::ChartOptions options;
    const std::vector<Option> chart_options = {
        text_option("--data", &data_path),
        text_option("-o", &out_path),
        number_option("--bars", 1, INT32_MAX, [&](long long n) { options.bars = std::max(static_cast<int>(n), 10); }),
        number_option("--end", -1, INT32_MAX, [&](long long n) { options.end = static_cast<int>(n); }),
        number_option("--mark", -1, INT32_MAX, [&](long long n) { options.mark = static_cast<int>(n); }),
        number_option("--width", 0, INT32_MAX, [&](long long n) { options.width = static_cast<int>(n); }),
        {"--levels", [&](const std::string& value) {
             if (value != "on" && value != "off") {
                 std::cerr << "msxhost: --levels takes on or off, not '" << value << "'\n";
                 return false;
             }
             options.levels = value == "on";
             return true;
         }},
    };
    if (const int status = parse_options(argc, argv, 3, chart_options); status != 0) return status;
    if (data_path.empty() || out_path.empty()) return usage();
    if (const std::string clash = host::file_clash({{data_path}, plugin_files(argv[2]), {out_path}}); !clash.empty()) {
        std::cerr << "msxhost: " << clash << "\n";
        return 2;
    }
    host::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    host::ChartData chart;
    std::string error;
    msxhost::ChartSeries series;
    if (!load_chart(data_path, &chart, &error) ||
        !msxhost::chart_from_plugin(plugin, chart, options, &series, &error)) {
        std::cerr << "msxhost: " << error << "\n";
        return 1;
    }
    if (options.levels) msxhost::chart_levels(chart, series.last, &series);
    std::ofstream out(out_path, std::ios::binary);
    out << msxhost::render_chart_svg(chart, series);
    if (!out) {
        std::cerr << "msxhost: cannot write " << out_path << "\n";
        return 1;
    }
    std::cout << "chart of bars " << series.first << " to " << series.last << " written to "
              << out_path << "\n";
    return 0;
}

int cmd_client(int argc, char** argv) {
    if (argc < 4) return usage();
    const std::string path = argv[2];
    std::string error;
    platform::DynamicLibrary library = platform::DynamicLibrary::open(path, &error);
    if (!library.loaded()) {
        std::cerr << "msxhost: " << error << "\n";
        return 1;
    }
    intptr_t window = 0;
    // Windows of this thread, destroyed by it when the run ends.
    std::vector<std::unique_ptr<platform::PlainWindow>> windows;
    int i = 3;
    while (i < argc) {
        const std::string name = argv[i++];
        std::vector<std::string> args;
        for (; i < argc && std::string(argv[i]) != "--"; ++i)
            args.push_back(std::string(argv[i]) == "$window" ? std::to_string(window) : argv[i]);
        if (i < argc) ++i;  // the "--" between calls
        std::string output;
        if (name == "unload") {
            library = platform::DynamicLibrary();
            output = "unload";
        } else if (name == "load") {
            library = platform::DynamicLibrary::open(path, &error);
            if (!library.loaded()) {
                std::cerr << "msxhost: " << error << "\n";
                return 1;
            }
            output = "load";
        } else if (name == "loaded") {
            output = std::string("loaded = ") + (platform::DynamicLibrary::is_loaded(path) ? "1" : "0");
        } else if (name == "thread") {
            std::thread([] {}).join();
            output = "thread";
        } else if (name == "window") {
            windows.push_back(std::make_unique<platform::PlainWindow>("msxhost client"));
            window = windows.back()->handle();
            output = "window = " + std::to_string(window);
        } else if (!library.loaded()) {
            std::cerr << "msxhost: the plug-in is unloaded\n";
            return 1;
        } else if (const host::ClientCallStatus got = host::call_client_export(library, name, args, &output);
                   got != host::ClientCallStatus::done) {
            std::cerr << "msxhost: " << output << "\n";
            return got == host::ClientCallStatus::usage ? 2 : 1;
        }
        std::cout << output << std::endl;
        platform::debug_output(("msxhost: " + output).c_str());
    }
    return 0;
}


// The subcommands: each takes the whole command line (its plug-in is
// argv[2]).
struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"catalogue", [](int, char** argv) { return cmd_catalogue(argv[2]); }},
    {"run", &cmd_run},
    {"stress", [](int, char** argv) { return cmd_stress(argv[2]); }},
    {"client", &cmd_client},
    {"scan", &cmd_scan},
    {"chart", &cmd_chart},
    {"evaluate", &cmd_evaluate},
};

int dispatch(int argc, char** argv) {
    if (argc < 3) return usage();
    for (const Command& command : kCommands)
        if (argv[1] == std::string(command.name)) return command.run(argc, argv);
    return usage();
}

}  // namespace

int main(int argc, char** argv) {
    const int status = dispatch(argc, argv);
    // Output that could not be written (a full disk, a closed pipe) is a
    // failure, whatever the command found.
    const int code = host::finish_output("msxhost");
    return code != 0 ? code : status;
}
