// msxhost: loads an MSX plug-in as the charting host does, lists its
// catalogue, runs its functions on daily bars from a CSV file, and
// stress-tests every function it offers.
#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/dynamic_library.h"
#include "host/chart_data.h"
#include "host/output.h"
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
    "  msxhost stress PLUGIN\n"
    "  msxhost chart PLUGIN --data OHLCV.csv -o CHART.svg [--bars N] [--end BAR]\n"
    "          [--mark BAR] [--width PIXELS]\n"
    "      an SVG chart of N bars (default 160) ending at BAR (default the last):\n"
    "      price, VSATrend(20), VSAVolStops(2.5, ATR(14)), VSAInd signals, volume\n"
    "      coloured by class; --mark highlights one bar\n"
    "  msxhost client PLUGIN CALL [ARG]... [-- CALL [ARG]...]...\n"
    "      calls trading-client exports in order, in one process; ARG is an\n"
    "      integer, a number or a text (null for a null pointer). Besides the\n"
    "      exports: unload, load (the plug-in again), loaded (is it still in the\n"
    "      process?), thread (starts and ends a thread), window (a window of this\n"
    "      thread; $window in a later ARG names it). Each line printed also goes\n"
    "      to the debugger output, prefixed \"msxhost: \".\n";

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
bool whole_number(const std::string& text, long low, long high, long* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// An option's whole number; a usage error (exit 2) names the option.
bool option_number(const std::string& option, const std::string& text, long low, long high, long* value) {
    if (whole_number(text, low, high, value)) return true;
    std::cerr << "msxhost: " << option << " needs a whole number from " << low << " to " << high
              << ", not '" << text << "'\n";
    return false;
}

bool parse_number(const std::string& text, float* value) {
    char* end = nullptr;
    *value = std::strtof(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

// Whether `source` names an array source msxhost knows: a column, atr:N or
// a function of the plug-in with numbers. Reports a bad one (a usage error).
bool known_array_source(const host::Plugin& plugin, const std::string& source) {
    if (host::ChartData{}.column(source) != nullptr) return true;
    const std::vector<std::string> parts = host::split(source, ':');
    long periods = 0;
    if (parts[0] == "atr" && parts.size() == 2 && whole_number(parts[1], 1, INT32_MAX, &periods))
        return true;
    if (parts[0] == "atr") {
        std::cerr << "msxhost: atr needs a whole number of periods, at least 1\n";
        return false;
    }
    const host::FunctionInfo* fn = plugin.find(parts[0]);
    if (fn == nullptr || fn->calc == nullptr) {
        std::cerr << "msxhost: unknown array source " << source << "\n";
        return false;
    }
    for (std::size_t k = 1; k < parts.size(); ++k) {
        float v = 0;
        if (!parse_number(parts[k], &v)) {
            std::cerr << "msxhost: bad number " << parts[k] << " in " << source << "\n";
            return false;
        }
    }
    return true;
}

// Builds a data-array argument from a column, an ATR or another function;
// a failure is reported with `where` (the file, in a scan) before it.
bool array_source(const host::Plugin& plugin, const host::ChartData& chart,
                  const std::string& source, host::ArrayArg* arg, const std::string& where = "") {
    const int32_t last = static_cast<int32_t>(chart.size()) - 1;
    if (const std::vector<float>* column = chart.column(source)) {
        arg->series = {*column, 0, last};
        return true;
    }
    const std::vector<std::string> parts = host::split(source, ':');
    if (parts[0] == "atr" && parts.size() == 2) {
        long periods = 0;
        if (!whole_number(parts[1], 1, INT32_MAX, &periods)) {
            std::cerr << "msxhost: atr needs a whole number of periods, at least 1\n";
            return false;
        }
        int first = 0;
        arg->series.values = host::wilder_atr(chart, static_cast<int>(periods), &first);
        arg->series.first = first;
        arg->series.last = last;
        return true;
    }
    const host::FunctionInfo* fn = plugin.find(parts[0]);
    if (fn == nullptr) {
        std::cerr << "msxhost: unknown array source " << source << "\n";
        return false;
    }
    host::CallSpec call = host::chart_spec(chart);
    for (std::size_t k = 1; k < parts.size(); ++k) {
        float v = 0;
        if (!parse_number(parts[k], &v)) {
            std::cerr << "msxhost: bad number " << parts[k] << " in " << source << "\n";
            return false;
        }
        call.numerics.push_back(v);
    }
    call.numeric_count = static_cast<int32_t>(call.numerics.size());
    const host::CallResult r = host::call_function(fn->calc, call);
    if (r.code != 0) {
        std::cerr << "msxhost: " << where << source << " failed: " << r.message << "\n";
        return false;
    }
    arg->series = {r.values, r.first, r.last};
    return true;
}

// A function's arguments as given on the command line.
struct FunctionArgs {
    std::string symbol = "SAMPLE";
    std::vector<float> numerics;
    std::vector<std::string> arrays, strings;
};

// Takes an option that gives a function argument (--num, --array, --str,
// --symbol): 1 when taken, 0 when `opt` is some other option, -1 for a bad
// value (reported).
int take_argument_option(const std::string& opt, const std::string& value, FunctionArgs* args) {
    if (opt == "--symbol") args->symbol = value;
    else if (opt == "--array") args->arrays.push_back(value);
    else if (opt == "--str") args->strings.push_back(value);
    else if (opt == "--num") {
        float v = 0;
        if (!parse_number(value, &v)) {
            std::cerr << "msxhost: bad number " << value << "\n";
            return -1;
        }
        args->numerics.push_back(v);
    } else {
        return 0;
    }
    if (args->numerics.size() > msx::kMaxArgs || args->arrays.size() > msx::kMaxArgs ||
        args->strings.size() > msx::kMaxArgs) {
        std::cerr << "msxhost: at most 9 arguments of each kind\n";
        return -1;
    }
    return 1;
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

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
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
    for (int i = 4; i < argc; ++i) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) return usage();
        const std::string value = argv[++i];
        const int taken = opt == "--str" ? 0 : take_argument_option(opt, value, &args);
        if (taken < 0) return 2;
        if (taken > 0) continue;
        if (opt == "--data") {
            files.push_back(value);
        } else if (opt == "--ago") {
            char* end = nullptr;
            ago = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || ago < 0 || ago > INT32_MAX) {
                std::cerr << "msxhost: --ago needs a whole number of bars, 0 or more\n";
                return 2;
            }
        } else {
            return usage();
        }
    }
    if (files.empty()) return usage();
    const host::FunctionInfo* fn = plugin.find(function);
    if (fn == nullptr || fn->calc == nullptr) {
        std::cerr << "msxhost: " << function << " is not in the plug-in's catalogue\n";
        return 1;
    }
    // A source no file can give is one usage error, not one failure a file.
    for (const std::string& source : args.arrays)
        if (!known_array_source(plugin, source)) return 2;
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
        if (!host::load_chart_csv(file, &chart, &error)) {
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
        std::cout << csv_field(file) << "," << csv_field(date) << "," << value << "\n";
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
    long last_rows = -1;
    for (int i = 4; i < argc; ++i) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) return usage();
        const std::string value = argv[++i];
        const int taken = take_argument_option(opt, value, &args);
        if (taken < 0) return 2;
        if (taken > 0) continue;
        if (opt == "--data") data_path = value;
        else if (opt == "--last") {
            if (!option_number(opt, value, 0, INT32_MAX, &last_rows)) return 2;
        }
        else return usage();
    }
    if (data_path.empty()) return usage();
    const host::FunctionInfo* fn = plugin.find(function);
    if (fn == nullptr || fn->calc == nullptr) {
        std::cerr << "msxhost: " << function << " is not in the plug-in's catalogue\n";
        return 1;
    }
    host::ChartData chart;
    std::string error;
    if (!host::load_chart_csv(data_path, &chart, &error)) {
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
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        long number = 0;
        const bool numeric = opt == "--bars" || opt == "--end" || opt == "--mark" || opt == "--width";
        const long low = opt == "--bars" ? 1 : opt == "--width" ? 0 : -1;  // -1: the default
        if (numeric && !option_number(opt, argv[i + 1], low, INT32_MAX, &number)) return 2;
        if (opt == "--data") data_path = argv[i + 1];
        else if (opt == "-o") out_path = argv[i + 1];
        else if (opt == "--bars") options.bars = std::max(static_cast<int>(number), 10);
        else if (opt == "--end") options.end = static_cast<int>(number);
        else if (opt == "--mark") options.mark = static_cast<int>(number);
        else if (opt == "--width") options.width = static_cast<int>(number);
        else return usage();
    }
    if (data_path.empty() || out_path.empty() || argc % 2 == 0) return usage();
    host::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    host::ChartData chart;
    std::string error;
    msxhost::ChartSeries series;
    if (!host::load_chart_csv(data_path, &chart, &error) ||
        !msxhost::chart_from_plugin(plugin, chart, options, &series, &error)) {
        std::cerr << "msxhost: " << error << "\n";
        return 1;
    }
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
            window = host::create_client_window();
            output = "window = " + std::to_string(window);
        } else if (!library.loaded()) {
            std::cerr << "msxhost: the plug-in is unloaded\n";
            return 1;
        } else if (!host::call_client_export(library, name, args, &output)) {
            std::cerr << "msxhost: " << output << "\n";
            return 1;
        }
        std::cout << output << std::endl;
        platform::debug_output(("msxhost: " + output).c_str());
    }
    return 0;
}


int dispatch(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    if (command == "catalogue") return cmd_catalogue(argv[2]);
    if (command == "run") return cmd_run(argc, argv);
    if (command == "stress") return cmd_stress(argv[2]);
    if (command == "client") return cmd_client(argc, argv);
    if (command == "scan") return cmd_scan(argc, argv);
    if (command == "chart") return cmd_chart(argc, argv);
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
