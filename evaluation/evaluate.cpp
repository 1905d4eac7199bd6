// evaluate(), step by step: the request checked, the dates' axis, the codes
// in the signal table's order, one resampling plan and its block starts;
// then for each horizon the bars' returns against their baselines, the
// per-date sums of every code's cases, the sample's figures, every
// replicate's |t*| and each cell's own p and interval; last the adjustment
// over the whole family of cells.
#include "evaluation/evaluate.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <set>

#include "evaluation/bootstrap.h"
#include "evaluation/codes.h"
#include "evaluation/family.h"
#include "evaluation/report.h"
#include "evaluation/returns.h"
#include "evaluation/statistics.h"

namespace evaluation {

const char* const kReplicatesWhy =
    "a 95% interval is read from the 2.5% of the replicates at each end, which takes a few hundred at least";

const char* baseline_name(Baseline baseline) {
    switch (baseline) {
        case Baseline::file: return "file";
        case Baseline::file_year: return "file-year";
        case Baseline::date: return "date";
    }
    return "file";
}

bool parse_baseline(const std::string& text, Baseline* baseline) {
    for (Baseline b : {Baseline::file, Baseline::file_year, Baseline::date})
        if (text == baseline_name(b)) {
            *baseline = b;
            return true;
        }
    return false;
}

namespace {

// Why the charts cannot be evaluated with these options, or "": replicates
// outside kMinReplicates to kMaxReplicates, a horizon below 1 bar or given
// twice, the date baseline over one file, daily and intraday files together.
std::string request_refusal(const std::vector<CodedSeries>& charts, const EvaluateOptions& options) {
    if (options.bootstrap < kMinReplicates || options.bootstrap > kMaxReplicates)
        return formatted("%d bootstrap replicates; from %d to %d are taken: %s", options.bootstrap, kMinReplicates,
                         kMaxReplicates, kReplicatesWhy);
    std::set<int> seen;
    for (const int h : options.horizons) {
        if (h < 1) return formatted("a horizon of %d bars; horizons are 1 bar or more", h);
        if (!seen.insert(h).second)
            return formatted("the horizon %d is given twice (its rows would repeat and count twice among the cells "
                             "adjusted for)",
                             h);
    }
    if (options.baseline == Baseline::date && charts.size() < 2)
        return "the date baseline judges each case against the same date's mean over the watchlist's files: it "
               "needs two files or more (one file's cases would be judged against themselves)";
    long intraday_files = 0;
    for (const CodedSeries& s : charts) intraday_files += !s.minutes.empty();
    if (intraday_files > 0 && intraday_files < static_cast<long>(charts.size()))
        return "daily and intraday files together: their bars are not on one axis of dates (evaluate them apart)";
    return "";
}

// Every date (for intraday files every bar time) of every chart, in order:
// the bootstrap's axis; and each bar's place on it, per file.
struct DateAxis {
    std::vector<int64_t> stamps;
    std::vector<std::vector<std::size_t>> index;
};

DateAxis date_axis(const std::vector<CodedSeries>& charts, bool intraday) {
    DateAxis axis;
    for (const CodedSeries& s : charts)
        for (std::size_t t = 0; t < s.days.size(); ++t) axis.stamps.push_back(stamp_of(s, t, intraday));
    std::sort(axis.stamps.begin(), axis.stamps.end());
    axis.stamps.erase(std::unique(axis.stamps.begin(), axis.stamps.end()), axis.stamps.end());
    axis.index.resize(charts.size());
    for (std::size_t f = 0; f < charts.size(); ++f)
        for (std::size_t t = 0; t < charts[f].days.size(); ++t)
            axis.index[f].push_back(static_cast<std::size_t>(
                std::lower_bound(axis.stamps.begin(), axis.stamps.end(), stamp_of(charts[f], t, intraday)) -
                axis.stamps.begin()));
    return axis;
}

// The codes the charts hold (0, no signal, aside), in the signal table's
// order.
std::vector<int32_t> codes_in_order(const std::vector<CodedSeries>& charts) {
    std::set<int32_t> codes;
    for (const CodedSeries& s : charts)
        for (int32_t c : s.codes)
            if (c != 0) codes.insert(c);
    std::vector<int32_t> ordered(codes.begin(), codes.end());
    std::stable_sort(ordered.begin(), ordered.end(), in_table_order);
    return ordered;
}

// Why the run would hold more than kMaxBytes at once, or "": one horizon's
// per-date sums of every code (and the baseline) for each unit; the |t*| of
// every code at every horizon (the family-wide pass keeps them all to the
// end); the block starts of every replicate.
std::string memory_refusal(std::size_t codes, const EvaluateOptions& options, const BlockPlan& plan) {
    const auto reps = static_cast<std::size_t>(options.bootstrap);
    const double code_count = static_cast<double>(codes);
    const double sums =
        16.0 * (code_count + 1) * static_cast<double>(plan.units) * static_cast<double>(plan.dates + 1);
    const double kept = 8.0 * static_cast<double>(reps) * code_count * static_cast<double>(options.horizons.size()) +
                        4.0 * static_cast<double>(reps) * static_cast<double>(plan.size()) +
                        32.0 * static_cast<double>(plan.size() + reps);
    if (sums + kept <= kMaxBytes) return "";
    const auto count = [](std::size_t n) { return static_cast<unsigned long long>(n); };
    return formatted("%llu codes x %llu dates x %llu resampling units need %.0f MiB of per-date sums, and %llu codes "
                     "x %llu horizons x %d replicates %.0f MiB of replicates; at most 256 MiB is kept: fewer codes, "
                     "dates, horizons or replicates need less",
                     count(codes), count(plan.dates), count(plan.units), sums / 1048576.0, count(codes),
                     count(options.horizons.size()), options.bootstrap, kept / 1048576.0);
}

// What every horizon of one run shares.
struct Run {
    const std::vector<CodedSeries>& charts;
    const EvaluateOptions& options;
    const DateAxis& axis;
    const std::vector<int32_t>& codes;  // in table order
    std::map<int32_t, std::size_t> slot;  // each code's place in `codes`
    BlockPlan plan;
    std::vector<uint32_t> starts;  // every replicate's block starts
    std::vector<uint32_t> own;     // the sample's
};

// One code's cases at a horizon: their values (return less baseline) per
// date of each resampling unit, their own returns and baselines, and the
// episodes they make.
struct CodeCases {
    std::vector<PerDate> units;
    std::vector<double> returns, baselines, base_hits;
    std::vector<long> per_file;
    std::vector<std::size_t> dates;
    long episodes = 0;
    std::size_t last_file = SIZE_MAX, last_t = 0;
};

// Per date: every bar's value (its return less its baseline) and each
// code's cases'; the cases' own figures.
void per_date_sums(const Run& run, const HorizonReturns& returns, std::vector<PerDate>* base,
                   std::vector<CodeCases>* cases) {
    const std::size_t dates = run.plan.dates;
    base->assign(run.plan.units, PerDate(dates));
    cases->assign(run.codes.size(), CodeCases());
    for (CodeCases& c : *cases) {
        c.units.assign(run.plan.units, PerDate(dates));
        c.per_file.assign(run.charts.size(), 0);
    }
    for (const Observation& o : returns.observations) {
        const BaselineGroup& g = returns.groups[o.group];
        const double mean = g.sum / g.n;
        const double value = o.r - mean;
        const std::size_t unit = run.options.joint_dates ? 0 : o.file;
        const std::size_t date = run.axis.index[o.file][o.t];
        (*base)[unit].add(date, value);
        const CodedSeries& s = run.charts[o.file];
        const int32_t code = o.t < s.codes.size() ? s.codes[o.t] : 0;
        if (code == 0) continue;
        CodeCases& c = (*cases)[run.slot.at(code)];
        c.units[unit].add(date, value);
        c.returns.push_back(o.r);
        c.baselines.push_back(mean);
        c.base_hits.push_back((code > 0 ? g.up : g.down) / g.n);
        ++c.per_file[o.file];
        c.dates.push_back(date);
        if (c.last_file != o.file || c.last_t + 1 != o.t) ++c.episodes;
        c.last_file = o.file, c.last_t = o.t;
    }
    for (PerDate& p : *base) p.accumulate();
    for (CodeCases& c : *cases)
        for (PerDate& p : c.units) p.accumulate();
}

// The row of code `code` at horizon h from the sample itself: its counts
// and, with enough cases and episodes, its plain figures, difference,
// standard error and t (the rest NaN until the replicates are in).
EvaluationRow sample_row(const Run& run, int32_t code, int h, CodeCases& c, const std::vector<double>& base_n,
                         const std::vector<double>& base_s, std::vector<double>& case_n, std::vector<double>& case_s) {
    EvaluationRow row;
    row.code = code;
    row.horizon = h;
    row.count = static_cast<long>(c.returns.size());
    row.episodes = c.episodes;
    std::sort(c.dates.begin(), c.dates.end());
    row.dates = static_cast<long>(std::unique(c.dates.begin(), c.dates.end()) - c.dates.begin());
    row.per_file = c.per_file;
    row.stats = row.count > 0 && row.count >= run.options.min_count && row.episodes >= run.options.min_episodes;
    row.diff = row.se = row.t = row.p = row.ci_low = row.ci_high = row.mde = kNaN;
    if (row.stats) {
        plain_figures(c.returns, c.baselines, c.base_hits, row.code, &row);
        block_sums(c.units, run.own.data(), run.plan, case_n.data(), case_s.data());
        const Studentized sample =
            studentize(case_n.data(), case_s.data(), base_n.data(), base_s.data(), run.plan.size());
        row.diff = sample.diff;
        row.base_mean = row.mean - row.diff;
        row.se = sample.se;
        if (sample.se > 0) row.t = sample.diff / sample.se;
    }
    return row;
}

// Each cell's own p, interval and detectable effect from its |t*|.
void cell_figures(EvaluationRow* row, const std::vector<double>& star, std::size_t reps) {
    std::vector<double> sorted = star;
    long reached = 0;
    for (double v : sorted) reached += v >= std::fabs(row->t);
    row->p = (1.0 + static_cast<double>(reached)) / (1.0 + static_cast<double>(reps));
    std::sort(sorted.begin(), sorted.end());
    const double c = quantile(sorted, 0.95);
    if (std::isfinite(c)) {
        row->ci_low = row->diff - c * row->se;
        row->ci_high = row->diff + c * row->se;
        row->mde = (c + kPower80) * row->se;
    }
}

// The rows of every code at horizon h, appended to the result's with their
// replicates' |t*| appended to `stars` (infinity where a replicate has no
// statistic); false when the caller ended the run (every 64th replicate it
// may).
bool evaluate_horizon(const Run& run, int h, Evaluation* result, std::vector<std::vector<double>>* stars) {
    const HorizonReturns returns =
        horizon_returns(run.charts, h, run.options.entry, run.options.baseline, run.axis.index);
    result->left_out += returns.left_out;
    std::vector<PerDate> base;
    std::vector<CodeCases> cases;
    per_date_sums(run, returns, &base, &cases);

    // The sample's figures, then every replicate's |t*|.
    const BlockPlan& plan = run.plan;
    const auto reps = static_cast<std::size_t>(run.options.bootstrap);
    std::vector<double> base_n(plan.size()), base_s(plan.size()), case_n(plan.size()), case_s(plan.size());
    const std::size_t first_row = result->rows.size();
    block_sums(base, run.own.data(), plan, base_n.data(), base_s.data());
    for (std::size_t k = 0; k < run.codes.size(); ++k) {
        result->rows.push_back(sample_row(run, run.codes[k], h, cases[k], base_n, base_s, case_n, case_s));
        stars->emplace_back(reps, std::numeric_limits<double>::infinity());
    }
    for (std::size_t b = 0; b < reps && plan.dates > 0; ++b) {
        if (b % 64 == 0 && run.options.interrupted && run.options.interrupted()) return false;
        const uint32_t* at = run.starts.data() + b * plan.size();
        block_sums(base, at, plan, base_n.data(), base_s.data());
        for (std::size_t k = 0; k < run.codes.size(); ++k) {
            const EvaluationRow& row = result->rows[first_row + k];
            if (!row.stats || !std::isfinite(row.t)) continue;
            block_sums(cases[k].units, at, plan, case_n.data(), case_s.data());
            const Studentized s = studentize(case_n.data(), case_s.data(), base_n.data(), base_s.data(), plan.size());
            if (s.ok && s.se > 0) (*stars)[first_row + k][b] = std::fabs(s.diff - row.diff) / s.se;
        }
    }
    if (plan.blocks < kMinBlocks) return true;  // too few blocks for an interval
    for (std::size_t k = 0; k < run.codes.size(); ++k) {
        EvaluationRow& row = result->rows[first_row + k];
        if (row.stats && std::isfinite(row.t)) cell_figures(&row, (*stars)[first_row + k], reps);
    }
    return true;
}

}  // namespace

Evaluation evaluate(const std::vector<CodedSeries>& charts, const EvaluateOptions& options) {
    Evaluation result;
    result.files = static_cast<long>(charts.size());
    result.baseline = options.baseline;
    result.refused = request_refusal(charts, options);
    if (!result.refused.empty()) return result;
    const bool intraday = std::any_of(charts.begin(), charts.end(), [](const CodedSeries& s) { return !s.minutes.empty(); });
    result.intraday = intraday;
    for (std::size_t f = 0; f < charts.size(); ++f) result.notes.push_back(note_of(charts[f], f));

    const DateAxis axis = date_axis(charts, intraday);
    result.dates = static_cast<long>(axis.stamps.size());
    const std::vector<int32_t> codes = codes_in_order(charts);
    const int longest = std::max(1, options.horizons.empty() ? 1
                                    : *std::max_element(options.horizons.begin(), options.horizons.end()));
    Run run{charts, options, axis, codes, {}, {}, {}, {}};
    for (std::size_t k = 0; k < codes.size(); ++k) run.slot[codes[k]] = k;
    run.plan = plan_for(longest, axis.stamps.size(), options.joint_dates ? 1 : std::max<std::size_t>(charts.size(), 1));
    result.block_length = static_cast<int>(run.plan.length);
    result.blocks = static_cast<long>(run.plan.blocks);
    result.refused = memory_refusal(codes.size(), options, run.plan);
    if (!result.refused.empty()) return result;
    run.starts = draw_starts(options.seed, static_cast<std::size_t>(options.bootstrap), run.plan);
    run.own = sample_starts(run.plan);

    std::vector<std::vector<double>> stars;  // per row, |t*| per replicate
    for (const int h : options.horizons) {
        if (!evaluate_horizon(run, h, &result, &stars)) {
            Evaluation ended;
            ended.refused = "interrupted";
            return ended;
        }
    }
    std::vector<EvaluationRow*> family_rows;
    for (EvaluationRow& row : result.rows) family_rows.push_back(&row);
    adjust_family(family_rows, stars, options.bootstrap, &result);
    // Codes in table order, each code's horizons together.
    std::stable_sort(result.rows.begin(), result.rows.end(),
                     [](const EvaluationRow& a, const EvaluationRow& b) { return in_table_order(a.code, b.code); });
    return result;
}

}  // namespace evaluation
