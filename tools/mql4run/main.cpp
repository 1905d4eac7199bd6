// mql4run PROGRAM.mq4 --data [SYMBOL=]OHLCV.csv... [--libraries DIR] [--input NAME=VALUE]...
//         [--new-bars N [--arrive K]] [--ticks N] [--visible-bars N] [--reload] [--click OBJECT]...
//         [--hover TEXT]...
//         [--log-imports] [--dump-buffers] [--reinit REASON]... [--reinit-new-first REASON]...
//         [--copies N [--copy-input NAME=VALUE]... [--remove-copy K]] [--not-ready N] [--seconds S]
//         [--white-chart] [--dpi N] [--no-notifications] [--data-window]
//         [--reinit-symbol SYMBOL] [--reinit-input NAME=VALUE]... [--period M] [--reinit-period M]
//         [--hidden-symbol SYMBOL]... [--trade-reply RETCODE] [--count-calls] [--no-dlls]
//         [--netting] [--fifo] [--requotes N] [--digits N] [--position buy|sell,LOTS,MAGIC]...
//         [--template FROM_SYMBOL]
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <iostream>
#include <string>

#include "harness/output.h"

#include "tools/mql4run/runner.h"

namespace {


constexpr const char* kUsage =
    "usage: mql4run PROGRAM.mq4|PROGRAM.mq5 --data [SYMBOL=]OHLCV.csv... [--libraries DIR]\n"
    "               [--input NAME=VALUE]... [--new-bars N [--arrive K]] [--ticks N] [--visible-bars N]\n"
    "               [--reload] [--click OBJECT]... [--hover TEXT]... [--log-imports] [--dump-buffers]\n"
    "               [--reinit REASON]... [--reinit-new-first REASON]...\n"
    "               [--copies N [--copy-input NAME=VALUE]... [--remove-copy K]] [--not-ready N]\n"
    "               [--seconds S] [--white-chart] [--dpi N] [--no-notifications] [--data-window]\n"
    "               [--reinit-symbol SYMBOL] [--reinit-input NAME=VALUE]... [--period M]\n"
    "               [--reinit-period M] [--hidden-symbol SYMBOL]... [--trade-reply RETCODE]\n"
    "               [--count-calls] [--no-dlls] [--netting] [--fifo] [--requotes N] [--digits N]\n"
    "               [--position buy|sell,LOTS,MAGIC]... [--template FROM_SYMBOL]\n"
    "Runs a kit MQL4 or MQL5 program (translated into this runner when it was built) on a chart of\n"
    "the CSV's bars, its last row the forming bar, with the DLLs of its #import blocks\n"
    "from DIR (default: the runner's folder). Each --data is a symbol of the Market Watch\n"
    "(SYMBOL=FILE; FILE alone is SAMPLE); the first is the chart's, and the others are read\n"
    "up to the chart's newest bar. An indicator gets OnCalculate, an Expert Advisor OnTick,\n"
    "and iCustom runs a hidden instance of the named indicator. --ticks N repeats OnCalculate\n"
    "(OnTick) N times on the same bars after each calculation; --arrive K brings the N new bars\n"
    "K at a time (as after a disconnection); --visible-bars N is how many\n"
    "of the newest bars the window shows (default 120); --reload ends with one as after a reload of\n"
    "history (prev_calculated 0). Prints each chart object, then how many\n"
    "remain after OnDeinit (object, name, bar date, tooltip, type, arrow code, #RRGGBB\n"
    "colour, anchor, price, text; tab-separated). --dump-buffers prints each indicator\n"
    "buffer's values other than its empty value first (buffer, index, date, value).\n"
    "--reinit REASON (chartchange, parameters, remove, ...) after the calculations: OnDeinit\n"
    "with that reason, then a fresh instance with OnInit and a full OnCalculate;\n"
    "--reinit-new-first the same with the old instance's OnDeinit last, after the fresh\n"
    "one's OnInit and OnCalculate: an order MetaTrader 5 may take on a timeframe switch.\n"
    "--hover TEXT after the clicks: the chart window shows a tooltip with that text (the\n"
    "Windows builds; a window hook sees it as in the terminal), then the timer fires.\n"
    "The terminal: --copies N runs N copies of the program on the one chart (the second and\n"
    "later also take each --copy-input); --remove-copy K removes copy K first at the end and\n"
    "prints the objects the others keep. --not-ready N: the first N reads of each other symbol\n"
    "find nothing (the terminal loading it) and an indicator handle's BarsCalculated answers\n"
    "-1 N times. --seconds S runs the virtual clock S seconds on after the bars, firing the\n"
    "timers. --white-chart: a white chart with black text; --dpi N: the screen's DPI (144 is\n"
    "150%); --no-notifications: push notifications switched off. --data-window prints the\n"
    "rows an MQL5 indicator shows in the Data Window. SendNotification past 2 a second or 10\n"
    "a minute, and in MetaTrader 4 a label's text past 63 characters, end the run (exit 1).\n"
    "--reinit-symbol SYMBOL: the reinits switch the chart to that --data symbol (give it the\n"
    "reason chartchange); --reinit-input NAME=VALUE: the fresh instances take it (parameters).\n"
    "--period M: the chart's timeframe in minutes (default 1440, D1); --reinit-period M: the\n"
    "reinits switch the chart to that timeframe (with --reinit-symbol, to that file's bars).\n"
    "--hidden-symbol SYMBOL: that --data symbol is not in the Market Watch: its bars come only\n"
    "after SymbolSelect. --trade-reply RETCODE: MQL5 market orders get that answer (10004 a\n"
    "requote, 10010 half filled). --count-calls prints how often the program called the\n"
    "market-data reads (iBars ... iVolume, CopyRates) and ObjectsTotal/ObjectName (stderr).\n"
    "--no-dlls: \"Allow DLL imports\" is off: an MQL4 program starts and its first DLL call stops\n"
    "it (exit 1, \"DLL calls are not allowed\"); an MQL5 program with imports is not loaded (exit 3);\n"
    "IsDllsAllowed() and MQLInfoInteger(MQL_DLLS_ALLOWED) answer false.\n"
    "The account: orders open positions (\"close: ...\" when one closes; those still open are\n"
    "printed at the end, \"position: ...\"). --netting: a MetaTrader 5 netting account (one\n"
    "position a symbol; an opposite deal reduces, closes or reverses it; default hedging).\n"
    "--fifo: FIFO rules (no order against an open position of its symbol, the oldest of a\n"
    "symbol closed first). --requotes N: the next N orders and closes are requoted (MQL4 error\n"
    "138, MQL5 retcode 10004). --digits N: the symbol's quote digits (default 5). --position\n"
    "buy|sell,LOTS,MAGIC: a position open before the program starts, oldest first.\n"
    "--template FROM_SYMBOL: a template saved on a chart of that --data symbol, with the program\n"
    "running there on the same inputs, is applied to this chart: its objects are here when the\n"
    "program starts (that chart has another ChartID).\n"
    "A data file may hold a seventh column: the real volume beside the tick volume.\n"
    "--input values: whole numbers in decimal within the input's\n"
    "type (010 is ten), decimal numbers ([-]digits[.digits][e[-]digits]; no nan, inf or\n"
    "hex), bools true/false/1/0, datetimes yyyy.mm.dd[ hh:mi] from 1970 to 3000; anything\n"
    "else is exit 2. Bar dates: YYYY-MM-DD from 1970-01-01 to 3000-12-31. Exit codes: 0 done, 1 the program stopped on a critical error,\n"
    "2 bad command line or data, 3 a DLL or export could not be loaded, 4 a stack\n"
    "mismatch after an import call, 5 the program cannot run in this build.\n";

// A NAME=VALUE option (--input, --reinit-input, --copy-input) into `inputs`;
// false, with the usage, for a value of another form.
bool take_input(const std::string& option, const std::string& pair,
                std::vector<std::pair<std::string, std::string>>* inputs) {
    const auto equals = pair.find('=');
    if (equals == std::string::npos || equals == 0) {
        std::cerr << "mql4run: " << option << " takes NAME=VALUE, not '" << pair << "'\n" << kUsage;
        return false;
    }
    inputs->emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    return true;
}

bool whole_number(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || parsed < 0 || parsed > 100000000) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    mql4run::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--data" && has_value) {
            options.data.push_back(mql4run::data_argument(argv[++i]));
        } else if (arg == "--libraries" && has_value) {
            options.libraries = argv[++i];
        } else if (arg == "--input" && has_value) {
            if (!take_input(arg, argv[++i], &options.inputs)) return 2;
        } else if (arg == "--new-bars" && has_value) {
            if (!whole_number(argv[++i], &options.new_bars)) {
                std::cerr << "mql4run: --new-bars takes a whole number, not '" << argv[i] << "'\n" << kUsage;
                return 2;
            }
        } else if (arg == "--ticks" && has_value) {
            if (!whole_number(argv[++i], &options.ticks) || options.ticks > 1000) {
                std::cerr << "mql4run: --ticks takes a whole number up to 1000, not '" << argv[i] << "'\n"
                          << kUsage;
                return 2;
            }
        } else if (arg == "--arrive" && has_value) {
            if (!whole_number(argv[++i], &options.arrive) || options.arrive < 1) {
                std::cerr << "mql4run: --arrive takes a whole number from 1, not '" << argv[i] << "'\n" << kUsage;
                return 2;
            }
        } else if (arg == "--visible-bars" && has_value) {
            if (!whole_number(argv[++i], &options.visible_bars) || options.visible_bars < 1) {
                std::cerr << "mql4run: --visible-bars takes a whole number from 1, not '" << argv[i] << "'\n"
                          << kUsage;
                return 2;
            }
        } else if (arg == "--reload") {
            options.reload = true;
        } else if (arg == "--click" && has_value) {
            options.clicks.emplace_back(argv[++i]);
        } else if (arg == "--hover" && has_value) {
            options.hovers.emplace_back(argv[++i]);
        } else if (arg == "--no-dlls") {
            options.no_dlls = true;
        } else if (arg == "--log-imports") {
            options.log_imports = true;
        } else if (arg == "--dump-buffers") {
            options.dump_buffers = true;
        } else if ((arg == "--reinit" || arg == "--reinit-new-first") && has_value) {
            const int reason = mql4run::reason_by_name(argv[++i]);
            if (reason < 0) {
                std::cerr << "mql4run: " << arg << " takes a reason (program, remove, recompile, chartchange,\n"
                             "chartclose, parameters, account, template, initfailed, close), not '"
                          << argv[i] << "'\n" << kUsage;
                return 2;
            }
            options.reinits.emplace_back(reason, arg == "--reinit-new-first");
        } else if ((arg == "--copies" || arg == "--remove-copy" || arg == "--not-ready" || arg == "--seconds" ||
                    arg == "--dpi") && has_value) {
            int value = 0;
            if (!whole_number(argv[++i], &value) || (arg == "--copies" && (value < 1 || value > 16)) ||
                (arg == "--dpi" && (value < 48 || value > 480)) || (arg == "--seconds" && value > 86400)) {
                std::cerr << "mql4run: " << arg << " does not take '" << argv[i] << "'\n" << kUsage;
                return 2;
            }
            (arg == "--copies"        ? options.copies
             : arg == "--remove-copy" ? options.remove_copy
             : arg == "--not-ready"   ? options.not_ready
             : arg == "--seconds"     ? options.seconds
                                      : options.dpi) = value;
        } else if ((arg == "--period" || arg == "--reinit-period") && has_value) {
            // Minutes of a timeframe both terminals have or MetaTrader 5's own.
            static const int kMinutes[] = {1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60, 120, 180, 240, 360, 480, 720,
                                           1440, 10080, 43200};
            int value = 0;
            if (!whole_number(argv[++i], &value) ||
                std::find(std::begin(kMinutes), std::end(kMinutes), value) == std::end(kMinutes)) {
                std::cerr << "mql4run: " << arg << " takes a timeframe in minutes (1 ... 43200), not '" << argv[i]
                          << "'\n" << kUsage;
                return 2;
            }
            (arg == "--period" ? options.period : options.reinit_period) = value;
        } else if (arg == "--template" && has_value) {
            options.template_symbol = argv[++i];
        } else if (arg == "--reinit-symbol" && has_value) {
            options.reinit_symbol = argv[++i];
        } else if (arg == "--reinit-input" && has_value) {
            if (!take_input(arg, argv[++i], &options.reinit_inputs)) return 2;
        } else if (arg == "--copy-input" && has_value) {
            if (!take_input(arg, argv[++i], &options.copy_inputs)) return 2;
        } else if (arg == "--white-chart") {
            options.white_chart = true;
        } else if (arg == "--no-notifications") {
            options.notifications = false;
        } else if (arg == "--count-calls") {
            options.count_calls = true;
        } else if (arg == "--hidden-symbol" && has_value) {
            options.hidden_symbols.emplace_back(argv[++i]);
        } else if (arg == "--trade-reply" && has_value) {
            int value = 0;
            if (!whole_number(argv[++i], &value) || value < 10000 || value > 10099) {
                std::cerr << "mql4run: --trade-reply takes a trade server retcode (10000 ... 10099), not '"
                          << argv[i] << "'\n" << kUsage;
                return 2;
            }
            options.trade_reply = static_cast<unsigned>(value);
        } else if (arg == "--netting") {
            options.netting = true;
        } else if (arg == "--fifo") {
            options.fifo = true;
        } else if ((arg == "--requotes" || arg == "--digits") && has_value) {
            int value = 0;
            if (!whole_number(argv[++i], &value) || value < 0 || (arg == "--requotes" && value > 1000) ||
                (arg == "--digits" && (value < 1 || value > 8))) {
                std::cerr << "mql4run: " << arg << " does not take '" << argv[i] << "'\n" << kUsage;
                return 2;
            }
            (arg == "--requotes" ? options.requotes : options.digits) = value;
        } else if (arg == "--position" && has_value) {
            // buy|sell,LOTS,MAGIC
            const std::string text = argv[++i];
            const std::size_t first = text.find(','), second = text.find(',', first + 1);
            const std::string side = text.substr(0, first);
            char* end = nullptr;
            const std::string lots_text = first == std::string::npos ? "" : text.substr(first + 1, second - first - 1);
            const double lots = std::strtod(lots_text.c_str(), &end);
            int magic = 0;
            if ((side != "buy" && side != "sell") || second == std::string::npos || lots_text.empty() ||
                end == nullptr || *end != '\0' || !(lots > 0 && lots <= 100) ||
                !whole_number(text.substr(second + 1).c_str(), &magic)) {
                std::cerr << "mql4run: --position takes buy|sell,LOTS,MAGIC, not '" << text << "'\n" << kUsage;
                return 2;
            }
            options.positions.push_back({side == "buy" ? 0 : 1, lots, magic});
        } else if (arg == "--data-window") {
            options.data_window = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (options.program.empty() && arg.rfind("--", 0) != 0) {
            options.program = arg;
        } else {
            std::cerr << "mql4run: unexpected argument '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
    if (options.remove_copy > options.copies) {
        std::cerr << "mql4run: --remove-copy " << options.remove_copy << " names no copy (--copies "
                  << options.copies << ")\n";
        return 2;
    }
    if (options.program.empty() || options.data.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const int status = mql4run::run(options, std::cout, std::cerr);
    // Output that could not be written is a failure, whatever the run found.
    const int code = harness::finish_output("mql4run");
    return code != 0 ? code : status;
}
