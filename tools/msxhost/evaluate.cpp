#include "tools/msxhost/evaluate.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <set>

#include "host/chart_data.h"
#include "signals/signal_names.h"
#include "tools/msxhost/chart_svg.h"

namespace msxhost {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Fewer blocks of dates than this give no interval.
constexpr std::size_t kMinBlocks = 10;

// A code's place in the signal table (strength, then weakness); codes the
// table does not hold come after its own.
int table_rank(int32_t code) {
    constexpr int kSignals = static_cast<int>(sizeof kSignalNames / sizeof kSignalNames[0]);
    for (int k = 0; k < kSignals; ++k)
        if (kSignalNames[k].code == code) return k;
    return kSignals;
}

enum class Case { ok, past_end, bad_price };

// The return of the case at bar t over h bars in percent; past_end when its
// exit falls past the end, bad_price when a price at entry or exit is not a
// positive finite number (no return can be made of it).
Case case_return(const CodedSeries& s, std::size_t t, int h, Entry entry, double* percent) {
    const std::size_t n = s.close.size();
    std::size_t in = 0, out = 0;
    double entry_price = 0;
    const auto hh = static_cast<std::size_t>(h);
    switch (entry) {
        case Entry::open:
            in = t + 2, out = t + 1 + hh;
            if (out >= n || in >= n) return Case::past_end;
            entry_price = s.open[in];
            break;
        case Entry::close:
            in = t + 1, out = t + 1 + hh;
            if (out >= n) return Case::past_end;
            entry_price = s.close[in];
            break;
        case Entry::same:
            out = t + hh;
            if (out >= n) return Case::past_end;
            entry_price = s.close[t];
            break;
    }
    const double exit_price = s.close[out];
    const auto usable = [](double price) { return price > 0 && std::isfinite(price); };
    if (!usable(entry_price) || !usable(exit_price)) return Case::bad_price;
    *percent = (exit_price / entry_price - 1.0) * 100.0;
    return Case::ok;
}

// printf into a string of whatever length the text needs.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

double median_of(std::vector<double> values) {
    if (values.empty()) return kNaN;
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(mid), values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<long>(mid));
    return (lower + upper) / 2.0;
}

// The q quantile of sorted values, interpolated between neighbours.
double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return kNaN;
    const double at = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(at));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

// Counts and sums of returns per date of one resampling unit (all files
// together, or one file), as prefix sums so that a block's total is one
// subtraction.
struct PerDate {
    std::vector<double> count, sum;  // size dates + 1, prefix sums
    explicit PerDate(std::size_t dates) : count(dates + 1, 0.0), sum(dates + 1, 0.0) {}
    void add(std::size_t date, double value) {
        count[date + 1] += 1.0;
        sum[date + 1] += value;
    }
    void accumulate() {
        for (std::size_t d = 1; d < count.size(); ++d) {
            count[d] += count[d - 1];
            sum[d] += sum[d - 1];
        }
    }
};

struct CodeCases {
    std::vector<double> returns;
    std::vector<PerDate> units;
};

// The count and sum of one replicate: each unit's dates rebuilt from
// `blocks` blocks of `length` dates starting at `starts` (the last block cut
// to give exactly `dates`), the dates taken as a circle.
void block_total(const std::vector<PerDate>& per_unit, const std::size_t* starts, std::size_t units,
                 std::size_t blocks, std::size_t length, std::size_t dates, double* count, double* sum) {
    *count = *sum = 0;
    for (std::size_t u = 0; u < units; ++u) {
        const PerDate& p = per_unit[u];
        for (std::size_t k = 0; k < blocks; ++k) {
            const std::size_t start = starts[u * blocks + k];
            const std::size_t span = std::min(length, dates - k * length);
            const std::size_t end = std::min(start + span, dates);
            *count += p.count[end] - p.count[start];
            *sum += p.sum[end] - p.sum[start];
            if (start + span > dates) {  // the block wraps round to the first dates
                *count += p.count[start + span - dates];
                *sum += p.sum[start + span - dates];
            }
        }
    }
}

// Romano and Wolf's step-down over the family's cells, each standardized by
// its bootstrap standard error: a cell's t = diff / se (se the spread of its
// joint replicates), its replicates' t* = (diff* - their mean) / se. A
// cell's adjusted p-value is the share of replicates whose largest |t*| over
// the cells not yet rejected reaches its |t| (made monotone down the
// ordering by |t|); a replicate in which no cell has a case counts in no
// share. Its simultaneous interval is diff +- c se, c the 95% quantile of
// the largest |t*| over the whole family (single-step: a cell can be
// rejected by the step-down while its interval still covers zero).
void adjust_family(std::vector<EvaluationRow*>& rows, const std::vector<std::vector<double>>& joint, int replicates,
                   bool enough_blocks, Evaluation* result) {
    struct Member {
        EvaluationRow* row;
        const std::vector<double>* diffs;
        double se, t, centre;
    };
    std::vector<Member> family;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EvaluationRow& row = *rows[k];
        row.adj_low = row.adj_high = row.p_adjusted = kNaN;
        if (!enough_blocks || !row.stats || std::isnan(row.ci_low)) continue;
        const std::vector<double>& d = joint[k];
        double n = 0, sum = 0, squares = 0;
        for (double v : d)
            if (!std::isnan(v)) n += 1, sum += v;
        if (n < 0.9 * replicates || n < 2) continue;
        const double mean = sum / n;
        for (double v : d)
            if (!std::isnan(v)) squares += (v - mean) * (v - mean);
        const double se = std::sqrt(squares / (n - 1));
        if (!(se > 0)) continue;
        family.push_back({&row, &d, se, row.diff / se, mean});
    }
    result->family = static_cast<long>(family.size());
    if (family.empty()) return;
    std::stable_sort(family.begin(), family.end(),
                     [](const Member& a, const Member& b) { return std::fabs(a.t) > std::fabs(b.t); });
    const auto star = [](const Member& m, std::size_t b) {
        const double v = (*m.diffs)[b];
        return std::isnan(v) ? 0.0 : std::fabs(v - m.centre) / m.se;
    };
    // The largest |t*| over the members from j on, per replicate, from the
    // last member back: the step-down's statistic at each step.
    const auto reps = static_cast<std::size_t>(replicates);
    // A replicate counts when some member has a case in it (its baseline
    // was not empty).
    std::vector<char> valid(reps, 0);
    long valid_count = 0;
    for (std::size_t b = 0; b < reps; ++b) {
        for (const Member& m : family) valid[b] = valid[b] || !std::isnan((*m.diffs)[b]);
        valid_count += valid[b];
    }
    std::vector<double> largest(reps, 0.0);
    std::vector<double> p(family.size());
    for (std::size_t j = family.size(); j-- > 0;) {
        long reached = 0;
        for (std::size_t b = 0; b < reps; ++b) {
            largest[b] = std::max(largest[b], star(family[j], b));
            reached += valid[b] && largest[b] >= std::fabs(family[j].t);
        }
        p[j] = (1.0 + static_cast<double>(reached)) / (1.0 + static_cast<double>(valid_count));
    }
    std::vector<double> counted;
    for (std::size_t b = 0; b < reps; ++b)
        if (valid[b]) counted.push_back(largest[b]);
    largest.swap(counted);
    std::sort(largest.begin(), largest.end());  // now over the whole family
    result->critical = quantile(largest, 0.95);
    double running = 0;
    for (std::size_t j = 0; j < family.size(); ++j) {
        running = std::max(running, p[j]);
        EvaluationRow& row = *family[j].row;
        row.p_adjusted = running;
        row.adj_low = row.diff - result->critical * family[j].se;
        row.adj_high = row.diff + result->critical * family[j].se;
    }
}

std::string percent(double value) {
    if (std::isnan(value)) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f%%", value);
    return text;
}

std::string share(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f%%", value * 100.0);
    return text;
}

std::string name_of(int32_t code) {
    const char* name = signal_name(code);
    return *name != '\0' ? std::string(name) : "code " + std::to_string(code);
}

std::string number6(double value) {
    if (std::isnan(value)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

int block_length(int horizon, long dates) {
    const int root = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(std::max(dates, 1L)))));
    return std::max({2 * horizon, root, 1});
}

bool parse_day(const std::string& text, int64_t* days) {
    return host::parse_day(text, days) == host::DayStatus::ok;
}

CodedSeries part_of(const CodedSeries& chart, int64_t day, bool before) {
    CodedSeries part;
    for (std::size_t t = 0; t < chart.days.size(); ++t) {
        if ((chart.days[t] < day) != before) continue;
        part.days.push_back(chart.days[t]);
        part.open.push_back(t < chart.open.size() ? chart.open[t] : 0.0);
        part.close.push_back(t < chart.close.size() ? chart.close[t] : 0.0);
        part.codes.push_back(t < chart.codes.size() ? chart.codes[t] : 0);
    }
    return part;
}

const char* const kAdjustmentMethod =
    "Romano-Wolf step-down, studentized max-|t| over every code x horizon cell, joint block bootstrap";

const char* const kReplicatesWhy =
    "a 95% interval is read from the 2.5% of the replicates at each end, which takes a few hundred at least";

Evaluation evaluate(const std::vector<CodedSeries>& charts, const EvaluateOptions& options) {
    // Every 64th replicate the caller may end the run: no rows.
    const auto interrupted = [&](int replicate) {
        return replicate % 64 == 0 && options.interrupted && options.interrupted();
    };
    const auto ended = [] {
        Evaluation none;
        none.refused = "interrupted";
        return none;
    };
    Evaluation result;
    result.files = static_cast<long>(charts.size());
    if (options.bootstrap < kMinReplicates || options.bootstrap > kMaxReplicates) {
        result.refused = formatted("%d bootstrap replicates; from %d to %d are taken: %s", options.bootstrap,
                                   kMinReplicates, kMaxReplicates, kReplicatesWhy);
        return result;
    }
    std::set<int> seen;
    for (const int h : options.horizons) {
        if (h < 1) {
            result.refused = formatted("a horizon of %d bars; horizons are 1 bar or more", h);
            return result;
        }
        if (!seen.insert(h).second) {
            result.refused = formatted("the horizon %d is given twice (its rows would repeat and count twice among "
                                       "the cells adjusted for)", h);
            return result;
        }
    }
    // Every date of every chart, in order: the bootstrap's axis.
    std::vector<int64_t> axis;
    for (const CodedSeries& s : charts) axis.insert(axis.end(), s.days.begin(), s.days.end());
    std::sort(axis.begin(), axis.end());
    axis.erase(std::unique(axis.begin(), axis.end()), axis.end());
    const std::size_t dates = axis.size();
    result.dates = static_cast<long>(dates);
    std::vector<std::vector<std::size_t>> date_index(charts.size());
    for (std::size_t f = 0; f < charts.size(); ++f)
        for (int64_t day : charts[f].days)
            date_index[f].push_back(static_cast<std::size_t>(std::lower_bound(axis.begin(), axis.end(), day) - axis.begin()));

    std::set<int32_t> codes;
    for (const CodedSeries& s : charts)
        for (int32_t c : s.codes)
            if (c != 0) codes.insert(c);
    std::vector<int32_t> ordered(codes.begin(), codes.end());
    std::stable_sort(ordered.begin(), ordered.end(), [](int32_t a, int32_t b) {
        return table_rank(a) != table_rank(b) ? table_rank(a) < table_rank(b) : a < b;
    });

    const std::size_t units = options.joint_dates ? 1 : std::max<std::size_t>(charts.size(), 1);
    // The family-wide pass resamples every cell alike: one stream of block
    // starts for all horizons, in blocks as long as the longest horizon (its
    // cases overlap that far) and the cube root of the dates. Its statistic
    // is studentized, so the spread must be well estimated more than the
    // blocks be long: twice the horizon, as the single intervals take,
    // leaves so few blocks that the family is rejected too often (10.5% of
    // null runs on 800 dates against 8.0% so, 5.0% on 2,500 dates).
    const auto length_of = [&](int h) {
        return static_cast<int>(std::min<long>(block_length(h, static_cast<long>(dates)),
                                               std::max<long>(static_cast<long>(dates), 1)));
    };
    int joint_length = 1;
    const int root = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(std::max<std::size_t>(dates, 1)))));
    for (const int h : options.horizons) joint_length = std::max({joint_length, h, root});
    joint_length = static_cast<int>(std::min<long>(joint_length, std::max<long>(static_cast<long>(dates), 1)));
    const std::size_t joint_blocks =
        dates == 0 ? 0 : (dates + static_cast<std::size_t>(joint_length) - 1) / static_cast<std::size_t>(joint_length);
    {
        // What is held at once: the per-date sums of every code (and the
        // baseline) for each unit; the replicates of every code at every
        // horizon (the family-wide pass keeps them all to the end) and of
        // one horizon's single intervals; the block starts of the
        // family-wide replicates; the step-down's few values per replicate.
        const double code_count = static_cast<double>(ordered.size());
        const double replicates = options.bootstrap;
        const double sums = 16.0 * (code_count + 1) * static_cast<double>(units) * static_cast<double>(dates + 1);
        const double kept = 8.0 * replicates *
                            (code_count * static_cast<double>(options.horizons.size()) + code_count +
                             static_cast<double>(units) * static_cast<double>(joint_blocks) + 3);
        if (sums + kept > kMaxBytes) {
            const auto count = [](std::size_t n) { return static_cast<unsigned long long>(n); };
            result.refused = formatted(
                "%llu codes x %llu dates x %llu resampling units need %.0f MiB of per-date sums, and %llu codes x "
                "%llu horizons x %d replicates %.0f MiB of replicates; at most 256 MiB is kept: fewer codes, dates, "
                "horizons or replicates need less",
                count(ordered.size()), count(dates), count(units), sums / 1048576.0, count(ordered.size()),
                count(options.horizons.size()), options.bootstrap, kept / 1048576.0);
            return result;
        }
    }
    result.joint_block_length = joint_length;
    std::vector<std::size_t> joint_starts(static_cast<std::size_t>(std::max(options.bootstrap, 0)) * units * joint_blocks);
    {
        std::mt19937_64 joint_random(options.seed ^ 0x5851F42D4C957F2DULL);
        for (std::size_t& start : joint_starts) start = static_cast<std::size_t>(joint_random() % std::max<std::size_t>(dates, 1));
    }
    std::vector<std::vector<double>> joint_diffs;  // per row, per replicate (NaN: no case in it)
    for (const int h : options.horizons) {
        const int length = length_of(h);
        result.block_lengths.push_back(length);
        // Every bar whose exit fits is a baseline observation; each bar with
        // a code is also a case of that code.
        std::vector<PerDate> base(units, PerDate(dates));
        long base_count = 0, base_up = 0, base_down = 0;
        double base_sum = 0;
        std::map<int32_t, CodeCases> cases;
        for (int32_t c : ordered) cases[c].units.assign(units, PerDate(dates));
        for (std::size_t f = 0; f < charts.size(); ++f) {
            const CodedSeries& s = charts[f];
            const std::size_t unit = options.joint_dates ? 0 : f;
            for (std::size_t t = 0; t < s.close.size(); ++t) {
                double r = 0;
                const Case got = case_return(s, t, h, options.entry, &r);
                result.left_out += got == Case::bad_price;
                if (got != Case::ok) continue;
                const std::size_t date = date_index[f][t];
                base[unit].add(date, r);
                ++base_count;
                base_sum += r;
                base_up += r > 0;
                base_down += r < 0;
                const int32_t code = t < s.codes.size() ? s.codes[t] : 0;
                if (code == 0) continue;
                CodeCases& into = cases[code];
                into.returns.push_back(r);
                into.units[unit].add(date, r);
            }
        }
        for (PerDate& p : base) p.accumulate();
        for (auto& [code, into] : cases)
            for (PerDate& p : into.units) p.accumulate();

        // The replicates: each unit's dates rebuilt from blocks of `length`
        // consecutive dates, drawn with replacement (the last block cut to
        // give exactly as many dates as there are). The dates are taken as a
        // circle, a block running past the last date going on at the first,
        // so that every date is drawn equally often (a plain moving-block
        // draw under-weights the first and last dates and its intervals come
        // out narrower).
        const std::size_t blocks = dates == 0 ? 0 : (dates + static_cast<std::size_t>(length) - 1) / static_cast<std::size_t>(length);
        const std::size_t starts_range = std::max<std::size_t>(dates, 1);
        // Each horizon draws from its own stream of the seed, so a horizon's
        // interval does not depend on which other horizons are asked for;
        // the draws are 64-bit words reduced by the range, the same in a
        // 32-bit and a 64-bit build.
        std::mt19937_64 random(options.seed ^ (0x9E3779B97F4A7C15ULL * static_cast<uint64_t>(h)));
        std::vector<std::vector<double>> replicate_diffs(ordered.size());
        std::vector<std::size_t> starts(units * blocks);
        for (int b = 0; b < options.bootstrap && dates > 0; ++b) {
            if (interrupted(b)) return ended();
            for (std::size_t& start : starts) start = static_cast<std::size_t>(random() % starts_range);
            const auto total = [&](const std::vector<PerDate>& per_unit, double* count, double* sum) {
                block_total(per_unit, starts.data(), units, blocks, static_cast<std::size_t>(length), dates, count, sum);
            };
            double bn = 0, bs = 0;
            total(base, &bn, &bs);
            if (bn <= 0) continue;
            for (std::size_t k = 0; k < ordered.size(); ++k) {
                double n = 0, s = 0;
                total(cases[ordered[k]].units, &n, &s);
                if (n > 0) replicate_diffs[k].push_back(s / n - bs / bn);
            }
        }

        // This horizon's cells in the family-wide pass.
        std::vector<std::vector<double>> joint(ordered.size(), std::vector<double>(
                                                   static_cast<std::size_t>(std::max(options.bootstrap, 0)), kNaN));
        for (int b = 0; b < options.bootstrap && dates > 0; ++b) {
            if (interrupted(b)) return ended();
            const std::size_t* at = joint_starts.data() + static_cast<std::size_t>(b) * units * joint_blocks;
            double bn = 0, bs = 0;
            block_total(base, at, units, joint_blocks, static_cast<std::size_t>(joint_length), dates, &bn, &bs);
            if (bn <= 0) continue;
            for (std::size_t k = 0; k < ordered.size(); ++k) {
                double n = 0, s = 0;
                block_total(cases[ordered[k]].units, at, units, joint_blocks, static_cast<std::size_t>(joint_length),
                            dates, &n, &s);
                if (n > 0) joint[k][static_cast<std::size_t>(b)] = s / n - bs / bn;
            }
        }

        const double base_mean = base_count > 0 ? base_sum / static_cast<double>(base_count) : kNaN;
        for (std::size_t k = 0; k < ordered.size(); ++k) {
            const int32_t code = ordered[k];
            const CodeCases& into = cases[code];
            EvaluationRow row;
            row.code = code;
            row.horizon = h;
            row.count = static_cast<long>(into.returns.size());
            row.stats = row.count >= options.min_count && row.count > 0;
            if (row.stats) {
                double sum = 0;
                long hits = 0;
                for (double r : into.returns) {
                    sum += r;
                    hits += code > 0 ? r > 0 : r < 0;
                }
                row.mean = sum / static_cast<double>(row.count);
                row.median = median_of(into.returns);
                row.hit_rate = static_cast<double>(hits) / static_cast<double>(row.count);
                row.base_mean = base_mean;
                row.base_hit_rate = base_count > 0 ? static_cast<double>(code > 0 ? base_up : base_down) /
                                                         static_cast<double>(base_count)
                                                   : kNaN;
                row.diff = row.mean - row.base_mean;
                std::vector<double>& diffs = replicate_diffs[k];
                std::sort(diffs.begin(), diffs.end());
                // An interval needs enough blocks to vary (with one block every
                // replicate is the sample itself, rotated, and the interval
                // would shrink to the point), and nearly every replicate to
                // hold a case of the code (dropping those that hold none
                // would narrow it): otherwise there is none.
                const bool enough = blocks >= kMinBlocks &&
                                    diffs.size() >= static_cast<std::size_t>(options.bootstrap) * 9 / 10 &&
                                    diffs.size() >= 2;
                row.ci_low = enough ? quantile(diffs, 0.025) : kNaN;
                row.ci_high = enough ? quantile(diffs, 0.975) : kNaN;
            }
            result.rows.push_back(row);
            joint_diffs.push_back(std::move(joint[k]));
        }
    }
    std::vector<EvaluationRow*> family_rows;
    for (EvaluationRow& row : result.rows) family_rows.push_back(&row);
    // Like a single interval, the family-wide pass needs enough blocks to vary.
    adjust_family(family_rows, joint_diffs, std::max(options.bootstrap, 0), joint_blocks >= kMinBlocks, &result);
    // Codes in table order, each code's horizons together.
    std::stable_sort(result.rows.begin(), result.rows.end(), [](const EvaluationRow& a, const EvaluationRow& b) {
        return table_rank(a.code) != table_rank(b.code) ? table_rank(a.code) < table_rank(b.code) : a.code < b.code;
    });
    return result;
}

std::string evaluation_table(const Evaluation& evaluation, const EvaluateOptions& options) {
    std::string out;
    if (options.entry == Entry::same)
        out += "LOOK-AHEAD: --entry same enters at the signal bar's own close, before the signal is known (a "
               "rule can read the next close): these figures flatter every signal.\n";
    else if (options.entry == Entry::close)
        out += "Optimistic: --entry close enters at the very close that completed the signal.\n";
    out += formatted("%ld file%s, %ld dates. Returns in percent from %s to the close h bars after the "
                  "signal is known; baseline: every bar of the same files.\n",
                  evaluation.files, evaluation.files == 1 ? "" : "s", evaluation.dates,
                  options.entry == Entry::open    ? "the open after the signal is known"
                  : options.entry == Entry::close ? "the close that completed the signal"
                                                  : "the signal bar's close");
    if (evaluation.left_out > 0)
        out += formatted("%ld case%s left out: a price at entry or exit that is not a positive number.\n",
                         evaluation.left_out, evaluation.left_out == 1 ? "" : "s");
    std::string blocks;
    for (std::size_t k = 0; k < evaluation.block_lengths.size() && k < options.horizons.size(); ++k)
        blocks += (k ? ", " : "") + std::to_string(evaluation.block_lengths[k]) + " dates for h=" +
                  std::to_string(options.horizons[k]);
    out += formatted("95%% intervals of the difference: block bootstrap over dates, all files resampled "
                  "together (blocks of %s; %d replicates, seed %llu; n/a: fewer than 10 blocks, or "
                  "too many replicates without a case).\n\n",
                  blocks.c_str(), options.bootstrap, static_cast<unsigned long long>(options.seed));
    out += formatted("Adjusted over the run's %ld cells with an interval (%s, blocks of %d dates): the "
                     "simultaneous 95%% intervals (diff +- %.2f se) cover all cells at once, and an adjusted p "
                     "below 0.05 keeps the chance of any false finding among them at 5%% (n/a: fewer than 10 "
                     "blocks, or no interval).\n\n",
                     evaluation.family, kAdjustmentMethod, evaluation.joint_block_length, evaluation.critical);
    out += formatted("%5s  %-16s %4s %7s %9s %9s %5s %9s %5s %9s  %-21s %-21s %s\n", "code", "signal", "h",
                  "count", "mean", "median", "hit", "baseline", "hit", "diff", "95% interval", "adjusted 95%",
                  "adj. p");
    long rows_with_interval = 0, rows_adjusted_out = 0;
    for (const EvaluationRow& row : evaluation.rows) {
        if (!row.stats) {
            out += formatted("%5d  %-16s %4d %7ld  (fewer than %ld cases: no statistics)\n",
                          row.code, name_of(row.code).c_str(), row.horizon, row.count, options.min_count);
        } else {
            rows_with_interval += !std::isnan(row.ci_low);
            const std::string interval = std::isnan(row.ci_low)
                                             ? std::string("n/a")
                                             : percent(row.ci_low) + " to " + percent(row.ci_high);
            const bool adjusted = !std::isnan(row.p_adjusted);
            rows_adjusted_out += adjusted && row.p_adjusted < 0.05;
            const std::string wide = adjusted ? percent(row.adj_low) + " to " + percent(row.adj_high) : "n/a";
            const std::string p = adjusted ? formatted("%.3f", row.p_adjusted) : "n/a";
            out += formatted("%5d  %-16s %4d %7ld %9s %9s %5s %9s %5s %9s  %-21s %-21s %s\n", row.code,
                          name_of(row.code).c_str(), row.horizon, row.count, percent(row.mean).c_str(),
                          percent(row.median).c_str(), share(row.hit_rate).c_str(), percent(row.base_mean).c_str(),
                          share(row.base_hit_rate).c_str(), percent(row.diff).c_str(), interval.c_str(), wide.c_str(),
                          p.c_str());
        }
    }
    out += formatted("\nAbout 1 interval in 20 excludes zero by chance alone: of these %ld, about %.1f would "
                  "even if no signal meant anything. Adjusted for all of them at once, %ld of %ld cell%s differ "
                  "from the baseline at 5%% (adjusted p below 0.05).\n",
                  rows_with_interval, static_cast<double>(rows_with_interval) / 20.0, rows_adjusted_out,
                  evaluation.family, evaluation.family == 1 ? "" : "s");
    return out;
}

std::string evaluation_csv(const Evaluation& evaluation) {
    std::string out = "code,name,horizon,count,mean,median,hit_rate,base_mean,base_hit_rate,diff,ci_low,ci_high,"
                      "adj_ci_low,adj_ci_high,p_adjusted\n";
    for (const EvaluationRow& row : evaluation.rows) {
        out += std::to_string(row.code) + "," + name_of(row.code) + "," + std::to_string(row.horizon) + "," +
               std::to_string(row.count);
        if (row.stats) {
            for (double v : {row.mean, row.median, row.hit_rate, row.base_mean, row.base_hit_rate, row.diff,
                             row.ci_low, row.ci_high, row.adj_low, row.adj_high, row.p_adjusted})
                out += "," + number6(v);
        } else {
            out += ",,,,,,,,,,,";
        }
        out += "\n";
    }
    return out;
}

std::string evaluation_svg(const Evaluation& evaluation, const EvaluateOptions& options) {
    // A forest plot: per signal, one line per horizon with the difference
    // (dot) and its interval (whisker) against a zero line; strength above,
    // weakness below.
    const int width = 700, left = 190, right = 30, row_height = 14, top = 44;
    double extent = 0.05;
    for (const EvaluationRow& row : evaluation.rows) {
        if (!row.stats) continue;
        for (double v : {row.diff, row.ci_low, row.ci_high, row.adj_low, row.adj_high})
            if (std::isfinite(v)) extent = std::max(extent, std::fabs(v));
    }
    extent *= 1.1;
    const auto x_of = [&](double v) { return left + (v + extent) / (2 * extent) * (width - left - right); };
    std::string body;
    int y = top;
    char buffer[512];
    const auto text = [&](double x, int at, const char* anchor, const std::string& words, const char* extra = "") {
        std::snprintf(buffer, sizeof buffer, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"%s\"%s>%s</text>\n", x, at,
                      anchor, extra, words.c_str());
        body += buffer;
    };
    for (int side : {1, -1}) {
        const char* colour = side > 0 ? "#2e7d32" : "#c62828";
        std::vector<const EvaluationRow*> rows;
        for (const EvaluationRow& row : evaluation.rows)
            if ((row.code > 0) == (side > 0) && row.stats) rows.push_back(&row);
        y += 6;
        text(8, y + 10, "start", side > 0 ? "Signs of strength" : "Signs of weakness",
             " font-weight=\"bold\" font-size=\"13\"");
        y += 18;
        if (rows.empty()) {
            text(left, y + 10, "start", "no signal with enough cases", " fill=\"#777\"");
            y += row_height + 4;
            continue;
        }
        const int section_top = y;
        int32_t previous = 0;
        for (const EvaluationRow* row : rows) {
            if (row->code != previous) {  // the signal's name on a line of its own
                if (previous != 0) y += 4;
                text(8, y + 10, "start", name_of(row->code) + " (" + std::to_string(row->code) + ")",
                     " font-weight=\"bold\"");
                y += row_height;
                previous = row->code;
            }
            text(left - 6, y + 10, "end", "h=" + std::to_string(row->horizon) + ", " + std::to_string(row->count),
                 " fill=\"#555\" font-size=\"10\"");
            const double cy = y + 6.5;
            if (std::isfinite(row->adj_low) && std::isfinite(row->adj_high)) {
                // The family-wide interval: wider and pale behind the 95% one.
                std::snprintf(buffer, sizeof buffer,
                              "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" stroke-width=\"6\" "
                              "stroke-opacity=\"0.25\"/>\n",
                              x_of(row->adj_low), cy, x_of(row->adj_high), cy, colour);
                body += buffer;
            }
            if (std::isfinite(row->ci_low) && std::isfinite(row->ci_high)) {
                std::snprintf(buffer, sizeof buffer,
                              "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" stroke-width=\"2\"/>\n",
                              x_of(row->ci_low), cy, x_of(row->ci_high), cy, colour);
                body += buffer;
            }
            std::snprintf(buffer, sizeof buffer, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill=\"%s\"/>\n",
                          x_of(row->diff), cy, colour);
            body += buffer;
            y += row_height;
        }
        std::snprintf(buffer, sizeof buffer,
                      "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#333\" stroke-dasharray=\"4 3\"/>\n",
                      x_of(0), section_top - 2, x_of(0), y + 2);
        body += buffer;
    }
    // The axis: ticks at round percentages.
    y += 8;
    std::snprintf(buffer, sizeof buffer, "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#333\"/>\n", left, y,
                  width - right, y);
    body += buffer;
    const double raw_step = extent / 2.5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw_step)));
    double step = magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (magnitude * m <= raw_step) step = magnitude * m;
    for (double v = -std::floor(extent / step) * step; v <= extent + 1e-12; v += step) {
        std::snprintf(buffer, sizeof buffer, "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#333\"/>\n",
                      x_of(v), y, x_of(v), y + 4);
        body += buffer;
        char label[32];
        if (std::fabs(v) < step / 1000)
            std::snprintf(label, sizeof label, "0%%");
        else
            std::snprintf(label, sizeof label, "%+.2f%%", v);
        text(x_of(v), y + 16, "middle", label, " font-size=\"10\"");
    }
    y += 24;
    const char* entry = options.entry == Entry::open ? "open" : options.entry == Entry::close ? "close" : "same";
    std::string title = std::string("Return after each signal minus the baseline, 95% intervals (entry ") + entry +
                        (options.entry == Entry::same ? ": LOOK-AHEAD" : "") + ")";
    std::snprintf(buffer, sizeof buffer,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                  "font-family=\"Verdana, Arial, sans-serif\" font-size=\"11\">\n"
                  "<rect width=\"100%%\" height=\"100%%\" fill=\"#fff\"/>\n",
                  width, y, width, y);
    std::string svg = buffer;
    std::snprintf(buffer, sizeof buffer, "<text x=\"8\" y=\"18\" font-size=\"13\" font-weight=\"bold\">%s</text>\n",
                  title.c_str());
    svg += buffer;
    std::snprintf(buffer, sizeof buffer,
                  "<text x=\"8\" y=\"34\" fill=\"#555\">%ld file%s, %ld dates; h in bars, cases; strength right "
                  "of 0, weakness left; pale: all cells (Romano-Wolf)</text>\n",
                  evaluation.files, evaluation.files == 1 ? "" : "s", evaluation.dates);
    svg += buffer;
    return svg + body + "</svg>\n";
}

}  // namespace msxhost
