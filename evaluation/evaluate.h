// What each signal code of a function was followed by on a watchlist of
// charts, without look-ahead, each case against its own market's drift (its
// file's mean return, or that file's in the same year, or the watchlist's on
// the same date), with a studentized block bootstrap over dates: a 95%
// interval, t and p for each code x horizon cell, and the same adjusted over
// every cell of the run (Romano-Wolf), so that testing many cells does not
// make chance findings. msxhost evaluate, the Python package and the
// benchmarks call it; report.h writes what it finds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace evaluation {

// Where a case enters and leaves, with t the signal bar and h the horizon.
// A code can depend on bar t+1's close, so it is known at that close.
enum class Entry {
    open,   // enter at open[t+2], exit at close[t+1+h]: the first price after the signal is known
    close,  // enter at close[t+1], exit at close[t+1+h]: the very close that completed it (optimistic)
    same,   // enter at close[t], exit at close[t+h]: look-ahead, only to show how much it flatters
};

// One chart: its bars' days (days since 1970-01-01), for intraday bars the
// minute of the day of each (empty for daily bars; day and minute rise
// together), opens, closes and the function's code on each bar (0 for
// none). `name` names the file in warnings and the per-file table.
struct CodedSeries {
    std::string name;
    std::vector<int64_t> days;
    std::vector<int32_t> minutes;
    std::vector<double> open, close;
    std::vector<int32_t> codes;
};

// What a case's return is judged against: the mean return, at the same
// horizon and entry, of every bar of its own file (file), of its own file
// in the same calendar year (file_year: a signal that needs a new high fires
// in rising years), or of the watchlist's files on the same date (date: the
// market's move that day taken out; needs two files or more).
enum class Baseline { file, file_year, date };
const char* baseline_name(Baseline baseline);
bool parse_baseline(const std::string& text, Baseline* baseline);

struct EvaluateOptions {
    std::vector<int> horizons{1, 5, 10, 20};
    Entry entry = Entry::open;
    Baseline baseline = Baseline::file;
    // Statistics need this many cases and this many episodes (runs of a
    // code on consecutive bars of a file, which share most of their future:
    // six bars of one signal in a row are one episode, not six independent
    // cases).
    long min_count = 30;
    long min_episodes = 20;
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
// without `stats` (fewer than min_count cases or min_episodes episodes)
// only the counts are set.
struct EvaluationRow {
    int32_t code = 0;
    int horizon = 0;
    long count = 0;     // cases (coded bars whose exit is in the data)
    long episodes = 0;  // runs of the code on consecutive bars of a file
    long dates = 0;     // distinct dates with a case
    std::vector<long> per_file;  // cases per file, in the charts' order
    bool stats = false;
    double mean = 0, median = 0, hit_rate = 0;
    // The cases' own baselines (each case's file, file-year or date mean
    // return) averaged over the cases, and the share of those baselines'
    // bars that moved the signal's way: diff = mean - base_mean.
    double base_mean = 0, base_hit_rate = 0;
    // The difference, its standard error (from blocks of dates), t = diff /
    // se, the plain two-sided p of the studentized bootstrap and its 95%
    // interval (diff +- c se, c the cell's own 95% point of |t*|), and the
    // smallest true difference this run would find with 80% power at 5%
    // (plain, not adjusted): (c + 0.84) se. NaN where there is none.
    double diff = 0, se = 0, t = 0, p = 0, ci_low = 0, ci_high = 0, mde = 0;
    // Family-wide: the simultaneous 95% interval (max-|t|) and the
    // Romano-Wolf step-down p-value over every cell of the run; NaN for a
    // cell outside the family (no interval, or no spread in its replicates).
    double adj_low = 0, adj_high = 0, p_adjusted = 0;
};

// What a file's prices say about themselves: bar-to-bar moves of more than
// 40% (a split or bonus issue the prices were not adjusted for looks like
// one) and opens equal to the previous close (a source that filled the open
// with it: there the open entry is the close entry).
struct FileNote {
    std::string name;
    long bars = 0, big_moves = 0, open_is_previous_close = 0;
};

// The method the adjusted figures come from, as the output names it.
extern const char* const kAdjustmentMethod;

struct Evaluation {
    std::vector<EvaluationRow> rows;  // codes in the signal table's order, then other codes; horizons as given
    Baseline baseline = Baseline::file;
    // Every cell resampled alike, in blocks of this many dates (the longest
    // horizon, and at least the cube root of the dates), `blocks` of them;
    // the cells in the family and the critical value of the max-|t|
    // statistic at 95%.
    int block_length = 0;
    long blocks = 0;
    long family = 0;
    double critical = 0;
    long files = 0, dates = 0;
    bool intraday = false;  // dates are minutes of a day
    std::vector<FileNote> notes;  // per file, in the charts' order
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
// and replicate, 4 per block start of each replicate). An evaluation
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

// The bootstrap's block length for the longest horizon over `dates` dates:
// at least the horizon (cases closer than it share returns) and the cube
// root of the dates, at most the dates.
int block_length(int longest_horizon, long dates);

}  // namespace evaluation
