// msxhost chart: an SVG chart of the plug-in's indicators on a chart's
// bars.
#include "tools/msxhost/commands.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <iostream>

#include "harness/output.h"
#include "tools/msxhost/chart_levels.h"
#include "tools/msxhost/chart_svg.h"
#include "tools/msxhost/inputs.h"
#include "tools/msxhost/options.h"

namespace msxhost {

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
    if (const std::string clash = harness::file_clash({{data_path}, plugin_files(argv[2]), {out_path}}); !clash.empty()) {
        std::cerr << "msxhost: " << clash << "\n";
        return 2;
    }
    harness::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    harness::ChartData chart;
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

}  // namespace msxhost
