// msxhost's command line (options.h): the usage text, the numbers it takes
// and the one option parser.
#include "tools/msxhost/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "harness/chart_data.h"
#include "msx/msx_records.h"

namespace msxhost {

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

}  // namespace

int usage() {
    std::cerr << kUsage;
    return 2;
}

bool whole_number(const std::string& text, long long low, long long high, long long* value) {
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool option_number(const std::string& option, const std::string& text, long long low, long long high,
                   long long* value) {
    if (whole_number(text, low, high, value)) return true;
    std::cerr << "msxhost: " << option << " needs a whole number from " << low << " to " << high
              << ", not '" << text << "'\n";
    return false;
}

bool parse_number(const std::string& text, float* value) { return harness::parse_decimal_float(text, value); }

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

Option number_option(const char* name, long long low, long long high, std::function<void(long long)> store) {
    return {name, [=](const std::string& value) {
                long long number = 0;
                if (!option_number(name, value, low, high, &number)) return false;
                store(number);
                return true;
            }};
}

Option text_option(const char* name, std::string* value) {
    return {name, [value](const std::string& given) {
                *value = given;
                return true;
            }};
}

Option list_option(const char* name, std::vector<std::string>* values) {
    return {name, [values](const std::string& value) {
                values->push_back(value);
                return true;
            }};
}

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

}  // namespace msxhost
