// msxhost evaluate: what each signal code of a plug-in function was followed
// by on a watchlist of charts, without look-ahead, against the return of
// every bar of the same charts (the market's own drift), with a 95% interval
// for the difference from a block bootstrap over dates, and beside it an
// interval and a p-value adjusted over every code x horizon cell of the run
// (Romano-Wolf), so that testing many cells does not make chance findings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace msxhost {

// Where a case enters and leaves, with t the signal bar and h the horizon.
// A code can depend on bar t+1's close, so it is known at that close.
enum class Entry {
    open,   // enter at open[t+2], exit at close[t+1+h]: the first price after the signal is known
    close,  // enter at close[t+1], exit at close[t+1+h]: the very close that completed it (optimistic)
    same,   // enter at close[t], exit at close[t+h]: look-ahead, only to show how much it flatters
};

// One chart: its bars' days (days since 1970-01-01, rising), opens, closes
// and the function's code on each bar (0 for none).
struct CodedSeries {
    std::vector<int64_t> days;
    std::vector<double> open, close;
    std::vector<int32_t> codes;
};

struct EvaluateOptions {
    std::vector<int> horizons{1, 5, 10, 20};
    Entry entry = Entry::open;
    long min_count = 30;
    int bootstrap = 2000;
    uint64_t seed = 1;
    // Blocks of dates are drawn once for all files (a watchlist's files
    // share dates and move together). False draws them for each file on its
    // own: only to show, in a test, what ignoring that costs.
    bool joint_dates = true;
    // Asked now and then while the replicates are drawn (between batches,
    // never changing a draw); true ends the run with no rows, `refused`
    // "interrupted". The Python module answers a pending Ctrl-C.
    std::function<bool()> interrupted;
};

// One row: a code at a horizon. Returns are in percent, hit rates 0 to 1;
// without `stats` (fewer than min_count cases) only the count is set.
struct EvaluationRow {
    int32_t code = 0;
    int horizon = 0;
    long count = 0;
    bool stats = false;
    double mean = 0, median = 0, hit_rate = 0;
    double base_mean = 0, base_hit_rate = 0;
    double diff = 0, ci_low = 0, ci_high = 0;
    // Family-wide: the simultaneous 95% interval (max-|t|) and the
    // Romano-Wolf step-down p-value over every cell of the run; NaN for a
    // cell outside the family (no interval, or no spread in its replicates).
    double adj_low = 0, adj_high = 0, p_adjusted = 0;
};

// The method the adjusted figures come from, as the output names it.
extern const char* const kAdjustmentMethod;

struct Evaluation {
    std::vector<EvaluationRow> rows;  // codes in the signal table's order, then other codes; horizons as given
    std::vector<int> block_lengths;   // dates per bootstrap block, per horizon
    // The family-wide pass: every cell resampled alike, in blocks of this
    // many dates (the longest of the horizons'); the cells in the family and
    // the critical value of the max-|t| statistic at 95%.
    int joint_block_length = 0;
    long family = 0;
    double critical = 0;
    long files = 0, dates = 0;
    // Bars left out of a horizon because a price at its entry or exit is not
    // a positive number (a hole filled with zeros, a corrupt row), over all
    // horizons.
    long left_out = 0;
    // Why there is no evaluation (fewer replicates than kMinReplicates, a
    // horizon given twice, more than kMaxBytes to hold), or "".
    std::string refused;
};

// What an evaluation keeps at once: the per-date sums (16 bytes per code,
// date and resampling unit) and the replicates (8 bytes per code, horizon
// and replicate, and per block start of each replicate). An evaluation
// needing more than this is refused (256 MiB), not left to exhaust the
// memory.
constexpr double kMaxBytes = 256.0 * 1024 * 1024;

// The replicates a bootstrap takes. A 95% interval is read from the 2.5%
// of the replicates at each end: with a handful there is no tail to read
// (two replicates give an "interval" that need not even hold the estimate),
// so fewer than kMinReplicates are refused, with kReplicatesWhy.
constexpr int kMinReplicates = 200;
constexpr int kMaxReplicates = 1000000;
extern const char* const kReplicatesWhy;

// The bars of a chart before `day` (before) or from it on (!before), for an
// evaluation out of sample: a case of the earlier part never reaches into
// the later one (its exit falls past the cut and it is left out).
CodedSeries part_of(const CodedSeries& chart, int64_t day, bool before);

// The statistics of every code and horizon over the charts (or, with
// `refused` set, none: see Evaluation::refused).
Evaluation evaluate(const std::vector<CodedSeries>& charts, const EvaluateOptions& options);

// The bootstrap's block length for a horizon over `dates` dates: at least
// twice the horizon (cases closer than the horizon share returns), and at
// least the cube root of the dates.
int block_length(int horizon, long dates);

// Days since 1970-01-01 of a YYYY-MM-DD date (also with . or / between, or
// YYYYMMDD) from 1800 to 9999; false for any other text or an impossible day
// (host::parse_day, which tells the two apart).
bool parse_day(const std::string& text, int64_t* days);

// The table on standard output, the CSV (--csv) and the SVG chart (--svg).
std::string evaluation_table(const Evaluation& evaluation, const EvaluateOptions& options);
std::string evaluation_csv(const Evaluation& evaluation);
std::string evaluation_svg(const Evaluation& evaluation, const EvaluateOptions& options);

}  // namespace msxhost
