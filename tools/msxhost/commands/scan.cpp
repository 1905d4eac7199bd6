// msxhost scan: one function over several charts, as the Explorer runs a
// column over a watchlist.
#include "tools/msxhost/commands.h"

#include <algorithm>
#include <climits>
#include <iostream>

#include "evaluation/report.h"
#include "harness/host_call.h"
#include "tools/msxhost/array_sources.h"
#include "tools/msxhost/inputs.h"
#include "tools/msxhost/options.h"

namespace msxhost {

// One function over several charts, as the Explorer runs a column over a
// watchlist: a row per file with the date and value of the bar N bars
// before the last.
int cmd_scan(int argc, char** argv) {
    if (argc < 4) return usage();
    harness::Plugin plugin;
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
    const harness::FunctionInfo* fn = catalogue_function(plugin, function);
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
        harness::ChartData chart;
        std::string error;
        harness::CallSpec call;
        if (!load_chart(file, &chart, &error)) {
            std::cerr << "msxhost: " << error << "\n";
            note(1);
        } else if (!chart_call(plugin, chart, args, &call, file + ": ")) {
            note(1);
        } else {
            const long bar = static_cast<long>(chart.size()) - 1 - ago;
            if (bar >= 0) date = chart.dates[static_cast<std::size_t>(bar)];
            const harness::CallResult r = harness::call_function(fn->calc, call);
            for (const std::string& v : r.violations)
                std::cerr << "msxhost: VIOLATION: " << file << ": " << v << "\n";
            if (!r.violations.empty()) note(3);
            if (r.code != 0) {
                std::cerr << "msxhost: " << file << ": " << function << ": " << r.message << "\n";
                note(1);
            } else if (bar >= r.first && bar <= r.last && bar >= 0 &&
                       bar < static_cast<long>(r.values.size())) {
                value = harness::format_float(r.values[static_cast<std::size_t>(bar)]);
            }
        }
        std::cout << evaluation::csv_field(file) << "," << evaluation::csv_field(date) << "," << value << "\n";
    }
    return status;
}

}  // namespace msxhost
