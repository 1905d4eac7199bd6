// msxhost run: one function of the plug-in on a chart's bars, its values
// printed bar by bar.
#include "tools/msxhost/commands.h"

#include <iostream>

#include "harness/host_call.h"
#include "tools/msxhost/array_sources.h"
#include "tools/msxhost/inputs.h"
#include "tools/msxhost/options.h"

namespace msxhost {

int cmd_run(int argc, char** argv) {
    if (argc < 4) return usage();
    harness::Plugin plugin;
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
    const harness::FunctionInfo* fn = catalogue_function(plugin, function);
    if (fn == nullptr) return 1;
    harness::ChartData chart;
    std::string error;
    if (!load_chart(data_path, &chart, &error)) {
        std::cerr << "msxhost: " << error << "\n";
        return 1;
    }

    harness::CallSpec call;
    if (!chart_call(plugin, chart, args, &call)) return 1;
    const harness::CallResult r = harness::call_function(fn->calc, call);
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
                      << harness::format_float(r.values[static_cast<std::size_t>(i)]) << "\n";
    }
    if (!r.violations.empty()) return 3;
    return r.code == 0 ? 0 : 1;
}

}  // namespace msxhost
