// msxhost evaluate: a function's codes read from every file of a watchlist
// (on several threads), evaluated whole or split at a date, and the
// report printed and written.
#include "tools/msxhost/commands.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <fstream>
#include <iostream>
#include <thread>

#include "evaluation/evaluate.h"
#include "evaluation/report.h"
#include "harness/chart_data.h"
#include "harness/host_call.h"
#include "harness/output.h"
#include "tools/msxhost/array_sources.h"
#include "tools/msxhost/inputs.h"
#include "tools/msxhost/options.h"

namespace msxhost {

namespace {

// One file of an evaluation: its bars' days, opens, closes and codes, or
// the reason it could not be used.
struct EvaluatedFile {
    evaluation::CodedSeries series;
    std::string error;
    bool not_codes = false;  // the function's values are not whole numbers
};

EvaluatedFile evaluate_file(const harness::Plugin& plugin, const harness::FunctionInfo& fn, const std::string& file) {
    EvaluatedFile out;
    harness::ChartData chart;
    evaluation::CodedSeries& s = out.series;
    if (!harness::load_chart_csv(file, &chart, &out.error) ||
        !harness::chart_days(chart, file, &s.days, &out.error, &s.minutes))
        return out;
    s.name = file;
    s.open.assign(chart.open.begin(), chart.open.end());
    s.close.assign(chart.close.begin(), chart.close.end());
    harness::CallSpec call;
    FunctionArgs args;
    if (!chart_call(plugin, chart, args, &call, file + ": ")) {
        out.error = file + ": the function cannot be called";
        return out;
    }
    const harness::CallResult r = harness::call_function(fn.calc, call);
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
            out.error = file + ": bar " + std::to_string(i) + ": " + fn.name + " gives " + harness::format_float(v) +
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
    for (const std::string& part : harness::split(text, ',')) {
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

// What the command line asks of an evaluation.
struct Request {
    std::string function = "VSAInd";
    evaluation::EvaluateOptions options;
    std::vector<std::string> files;
    std::string csv_path, svg_path, by_file_path;
    int64_t split_day = 0;
    std::string split_date;  // as given, for the headings
    bool split = false;
    long long threads_wanted = 0;  // 0: all cores for Barsight's plug-in, one for any other
};

// The function and options after the plug-in; 0, or the exit status of a
// usage error (said).
int read_request(int argc, char** argv, Request* request) {
    int i = 3;
    if (i < argc && std::string(argv[i]).rfind("--", 0) != 0) request->function = argv[i++];
    evaluation::EvaluateOptions& options = request->options;
    const std::vector<Option> evaluate_options = {
        list_option("--data", &request->files),
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
             std::cerr << "msxhost: --bootstrap needs a whole number of replicates from "
                       << evaluation::kMinReplicates << " to " << evaluation::kMaxReplicates << ", not '" << value
                       << "': " << evaluation::kReplicatesWhy << "\n";
             return false;
         }},
        number_option("--seed", 0, INT64_MAX, [&](long long n) { options.seed = static_cast<uint64_t>(n); }),
        number_option("--threads", 1, 256, [&](long long n) { request->threads_wanted = n; }),
        text_option("--csv", &request->csv_path),
        text_option("--svg", &request->svg_path),
        text_option("--by-file", &request->by_file_path),
        {"--split", [&](const std::string& value) {
             if (harness::parse_day(value, &request->split_day) != harness::DayStatus::ok) {
                 std::cerr << "msxhost: --split needs a date (YYYY-MM-DD), not '" << value << "'\n";
                 return false;
             }
             request->split = true;
             request->split_date = value;
             return true;
         }},
    };
    if (const int status = parse_options(argc, argv, i, evaluate_options); status != 0) return status;
    if (request->files.empty()) return usage();
    return 0;
}

// Every name written, as it will be written (with --split the chart is two
// files), checked against the inputs and each other; "" when none clashes.
std::string output_clash(const Request& request, const std::string& plugin) {
    harness::CommandFiles written{request.files, plugin_files(plugin), {}};
    if (!request.svg_path.empty()) {
        if (request.split) {
            written.written.push_back(suffixed(request.svg_path, "before"));
            written.written.push_back(suffixed(request.svg_path, "after"));
        } else {
            written.written.push_back(request.svg_path);
        }
    }
    if (!request.csv_path.empty()) written.written.push_back(request.csv_path);
    if (!request.by_file_path.empty()) written.written.push_back(request.by_file_path);
    return harness::file_clash(written);
}

// The files in parallel, each on one thread at a time; the results keep
// the files' order.
std::vector<EvaluatedFile> evaluate_files(const harness::Plugin& plugin, const harness::FunctionInfo& fn,
                                          const Request& request) {
    const std::vector<std::string>& files = request.files;
    std::vector<EvaluatedFile> done(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < files.size();) {
            try {
                done[k] = evaluate_file(plugin, fn, files[k]);
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
    const unsigned wanted = request.threads_wanted > 0 ? static_cast<unsigned>(request.threads_wanted)
                            : reentrant                ? std::max(1u, std::thread::hardware_concurrency())
                                                       : 1u;
    const unsigned threads = std::max(1u, std::min<unsigned>(wanted, static_cast<unsigned>(files.size())));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    return done;
}

// The whole run, or with --split the two periods, each on its own.
struct Period {
    const char* name;  // the CSV's period, the chart's file suffix; "" without --split
    std::string heading;
    std::vector<evaluation::CodedSeries> charts;
};

std::vector<Period> periods_of(std::vector<evaluation::CodedSeries> charts, const Request& request) {
    std::vector<Period> periods;
    if (!request.split) {
        periods.push_back({"", "", std::move(charts)});
        return periods;
    }
    const std::string& date = request.split_date;
    periods.push_back({"before", "Before " + date + " (in sample):\n", {}});
    periods.push_back({"after", "\nFrom " + date + " on (out of sample):\n", {}});
    for (const evaluation::CodedSeries& chart : charts) {
        for (Period& period : periods) {
            evaluation::CodedSeries part = evaluation::part_of(chart, request.split_day, period.name[0] == 'b');
            if (!part.days.empty()) period.charts.push_back(std::move(part));
        }
    }
    return periods;
}

// Every period evaluated before anything is printed (a refusal, too much
// memory for the second period, leaves no half a report), then the tables
// printed and the files written; the exit status.
int report_periods(const std::vector<Period>& periods, const Request& request) {
    const evaluation::EvaluateOptions& options = request.options;
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
        const evaluation::Evaluation& found = evaluations[k];
        std::cout << period.heading;
        if (period.charts.empty()) {
            std::cout << "no bars in this period\n";
            continue;
        }
        std::cout << evaluation::evaluation_table(found, options);
        std::string csv = evaluation::evaluation_csv(found);
        if (request.split) csv = with_last_column(csv, "period", period.name);
        csv_text += csv_text.empty() ? csv : csv.substr(csv.find('\n') + 1);
        std::string by_file = evaluation::evaluation_by_file_csv(found);
        if (request.split) by_file = with_last_column(by_file, "period", period.name);
        by_file_text += by_file_text.empty() ? by_file : by_file.substr(by_file.find('\n') + 1);
        if (!request.svg_path.empty())
            outputs.emplace_back(request.split ? suffixed(request.svg_path, period.name) : request.svg_path,
                                 evaluation::evaluation_svg(found, options));
    }
    if (!request.csv_path.empty()) outputs.emplace_back(request.csv_path, csv_text);
    if (!request.by_file_path.empty()) outputs.emplace_back(request.by_file_path, by_file_text);
    int status = 0;
    for (const auto& [path, text] : outputs) {
        std::ofstream out(path, std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            std::cerr << "msxhost: cannot write " << path << "\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace

int cmd_evaluate(int argc, char** argv) {
    if (argc < 3) return usage();
    Request request;
    if (const int status = read_request(argc, argv, &request); status != 0) return status;
    if (const std::string clash = output_clash(request, argv[2]); !clash.empty()) {
        std::cerr << "msxhost: " << clash << "\n";
        return 2;
    }
    harness::Plugin plugin;
    if (!load_plugin(argv[2], &plugin)) return 1;
    const harness::FunctionInfo* fn = catalogue_function(plugin, request.function);
    if (fn == nullptr) return 1;
    if (!fn->args.empty()) {
        std::cerr << "msxhost: " << request.function << " takes arguments; evaluate runs functions of none\n";
        return 2;
    }
    int status = 0;
    std::vector<evaluation::CodedSeries> charts;
    for (EvaluatedFile& file : evaluate_files(plugin, *fn, request)) {
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
        const int reported = report_periods(periods_of(std::move(charts), request), request);
        return reported != 0 ? reported : status;
    } catch (const std::bad_alloc&) {
        std::cerr << "msxhost: evaluate ran out of memory (fewer files, codes or replicates need less)\n";
        return 1;
    } catch (const std::exception& failure) {
        std::cerr << "msxhost: evaluate failed: " << failure.what() << "\n";
        return 1;
    }
}

}  // namespace msxhost
