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

// The normal quantile of 80%: an effect of (c + kPower80) standard errors is
// found by a test at critical value c four times in five.
constexpr double kPower80 = 0.8416212335729143;

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

// Counts and sums of values per date of one resampling unit (all files
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

// How a replicate is made of the dates: `blocks` blocks of `length` dates
// per resampling unit (the last block cut to give exactly `dates`), each
// starting where `starts` says, the dates taken as a circle.
struct BlockPlan {
    std::size_t units = 1, blocks = 0, length = 1, dates = 0;
    std::size_t size() const { return units * blocks; }
};

// The count and sum of every block of one replicate (one value per unit and
// block) of values kept per date.
void block_sums(const std::vector<PerDate>& per_unit, const uint32_t* starts, const BlockPlan& plan, double* count,
                double* sum) {
    for (std::size_t u = 0; u < plan.units; ++u) {
        const PerDate& p = per_unit[u];
        for (std::size_t k = 0; k < plan.blocks; ++k) {
            const std::size_t at = u * plan.blocks + k;
            const std::size_t start = starts[at];
            const std::size_t span = std::min(plan.length, plan.dates - k * plan.length);
            const std::size_t end = std::min(start + span, plan.dates);
            double n = p.count[end] - p.count[start];
            double s = p.sum[end] - p.sum[start];
            if (start + span > plan.dates) {  // the block wraps round to the first dates
                n += p.count[start + span - plan.dates];
                s += p.sum[start + span - plan.dates];
            }
            count[at] = n;
            sum[at] = s;
        }
    }
}

// A cell's difference (the cases' mean minus the baseline's, both of values
// taken from their own baselines) and its standard error, from the blocks
// of one replicate or of the sample itself. The difference is a ratio of
// sums; its variance is estimated from the blocks' totals of the
// linearised statistic, blocks being nearly independent once they are
// longer than the horizon (the block bootstrap's own variance, so that t*
// of a replicate is studentized as t of the sample is).
struct Studentized {
    double diff = kNaN, se = kNaN;
    bool ok = false;  // a case and a baseline bar in it
};

Studentized studentize(const double* case_n, const double* case_s, const double* base_n, const double* base_s,
                       std::size_t blocks) {
    double n = 0, a = 0, m = 0, b = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        n += case_n[k];
        a += case_s[k];
        m += base_n[k];
        b += base_s[k];
    }
    Studentized out;
    if (!(n > 0) || !(m > 0)) return out;
    const double case_mean = a / n, base_mean = b / m;
    double squares = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
        const double z = (case_s[k] - case_mean * case_n[k]) / n - (base_s[k] - base_mean * base_n[k]) / m;
        squares += z * z;
    }
    const double k = static_cast<double>(blocks);
    out.diff = case_mean - base_mean;
    out.se = blocks > 1 ? std::sqrt(squares * k / (k - 1)) : kNaN;
    out.ok = true;
    return out;
}

// Romano and Wolf's step-down over the family's cells: a cell's t = diff /
// se, its replicates' t* = (diff* - diff) / se*, each replicate studentized
// with its own blocks (a replicate in which the cell has no case, or no
// spread, counts as reaching every statistic: the test errs on the safe
// side). A cell's adjusted p-value is the share of replicates whose largest
// |t*| over the cells not yet rejected reaches its |t| (made monotone down
// the ordering by |t|). Its simultaneous interval is diff +- c se, c the 95%
// quantile of the largest |t*| over the whole family (single-step: a cell
// can be rejected by the step-down while its interval still covers zero).
void adjust_family(std::vector<EvaluationRow*>& rows, const std::vector<std::vector<double>>& star, int replicates,
                   Evaluation* result) {
    struct Member {
        EvaluationRow* row;
        const std::vector<double>* star;
    };
    std::vector<Member> family;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EvaluationRow& row = *rows[k];
        row.adj_low = row.adj_high = row.p_adjusted = kNaN;
        if (!row.stats || !std::isfinite(row.t) || std::isnan(row.p)) continue;
        family.push_back({&row, &star[k]});
    }
    result->family = static_cast<long>(family.size());
    if (family.empty()) return;
    std::stable_sort(family.begin(), family.end(),
                     [](const Member& a, const Member& b) { return std::fabs(a.row->t) > std::fabs(b.row->t); });
    const auto reps = static_cast<std::size_t>(replicates);
    // The largest |t*| over the members from j on, per replicate, from the
    // last member back: the step-down's statistic at each step.
    std::vector<double> largest(reps, 0.0);
    std::vector<double> p(family.size());
    for (std::size_t j = family.size(); j-- > 0;) {
        long reached = 0;
        const double t = std::fabs(family[j].row->t);
        for (std::size_t b = 0; b < reps; ++b) {
            largest[b] = std::max(largest[b], (*family[j].star)[b]);
            reached += largest[b] >= t;
        }
        p[j] = (1.0 + static_cast<double>(reached)) / (1.0 + static_cast<double>(reps));
    }
    std::sort(largest.begin(), largest.end());  // now over the whole family
    result->critical = quantile(largest, 0.95);
    const bool finite = std::isfinite(result->critical);
    double running = 0;
    for (std::size_t j = 0; j < family.size(); ++j) {
        running = std::max(running, p[j]);
        EvaluationRow& row = *family[j].row;
        row.p_adjusted = running;
        row.adj_low = finite ? row.diff - result->critical * row.se : kNaN;
        row.adj_high = finite ? row.diff + result->critical * row.se : kNaN;
    }
}

// The year of a day counted from 1970-01-01 (proleptic Gregorian).
int year_of(int64_t days) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// A bar's place in time: minutes since 1970-01-01 for intraday files, days
// for daily ones.
int64_t stamp_of(const CodedSeries& s, std::size_t t, bool intraday) {
    return intraday ? s.days[t] * 1440 + (t < s.minutes.size() ? s.minutes[t] : 0) : s.days[t];
}

FileNote note_of(const CodedSeries& s, std::size_t f) {
    FileNote note;
    note.name = s.name.empty() ? "file " + std::to_string(f + 1) : s.name;
    note.bars = static_cast<long>(s.close.size());
    const auto usable = [](double price) { return price > 0 && std::isfinite(price); };
    for (std::size_t t = 1; t < s.close.size(); ++t) {
        const double before = s.close[t - 1], now = s.close[t];
        if (usable(before) && usable(now) && std::fabs(now / before - 1.0) > 0.4) ++note.big_moves;
        if (t < s.open.size() && usable(before) && s.open[t] == before) ++note.open_is_previous_close;
    }
    return note;
}

// The plain figures of one cell from its cases' returns.
void plain_figures(const std::vector<double>& returns, const std::vector<double>& baselines,
                   const std::vector<double>& base_hits, int32_t code, EvaluationRow* row) {
    double sum = 0, base = 0, base_hit = 0;
    long hits = 0;
    for (std::size_t k = 0; k < returns.size(); ++k) {
        sum += returns[k];
        base += baselines[k];
        base_hit += base_hits[k];
        hits += code > 0 ? returns[k] > 0 : returns[k] < 0;
    }
    const auto n = static_cast<double>(returns.size());
    row->mean = sum / n;
    row->median = median_of(returns);
    row->hit_rate = static_cast<double>(hits) / n;
    row->base_mean = base / n;
    row->base_hit_rate = base_hit / n;
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

// A file name as a CSV field: quoted when it holds a comma, a quote or a
// line break.
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string number6(double value) {
    if (std::isnan(value)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

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

int block_length(int longest_horizon, long dates) {
    const long span = std::max(dates, 1L);
    const int root = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(span))));
    return static_cast<int>(std::min<long>(std::max({longest_horizon, root, 1}), span));
}

bool parse_day(const std::string& text, int64_t* days) {
    return host::parse_day(text, days) == host::DayStatus::ok;
}

CodedSeries part_of(const CodedSeries& chart, int64_t day, bool before) {
    CodedSeries part;
    part.name = chart.name;
    for (std::size_t t = 0; t < chart.days.size(); ++t) {
        if ((chart.days[t] < day) != before) continue;
        part.days.push_back(chart.days[t]);
        if (t < chart.minutes.size()) part.minutes.push_back(chart.minutes[t]);
        part.open.push_back(t < chart.open.size() ? chart.open[t] : 0.0);
        part.close.push_back(t < chart.close.size() ? chart.close[t] : 0.0);
        part.codes.push_back(t < chart.codes.size() ? chart.codes[t] : 0);
    }
    return part;
}

const char* const kAdjustmentMethod =
    "Romano-Wolf step-down, max-|t| studentized in every replicate, over every code x horizon cell, "
    "circular block bootstrap over dates";

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
    result.baseline = options.baseline;
    if (options.bootstrap < kMinReplicates || options.bootstrap > kMaxReplicates) {
        result.refused = formatted("%d bootstrap replicates; from %d to %d are taken: %s", options.bootstrap,
                                   kMinReplicates, kMaxReplicates, kReplicatesWhy);
        return result;
    }
    std::set<int> seen;
    int longest = 1;
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
        longest = std::max(longest, h);
    }
    if (options.baseline == Baseline::date && charts.size() < 2) {
        result.refused = "the date baseline judges each case against the same date's mean over the watchlist's "
                         "files: it needs two files or more (one file's cases would be judged against "
                         "themselves)";
        return result;
    }
    long intraday_files = 0;
    for (const CodedSeries& s : charts) intraday_files += !s.minutes.empty();
    if (intraday_files > 0 && intraday_files < static_cast<long>(charts.size())) {
        result.refused = "daily and intraday files together: their bars are not on one axis of dates (evaluate "
                         "them apart)";
        return result;
    }
    const bool intraday = intraday_files > 0;
    result.intraday = intraday;
    for (std::size_t f = 0; f < charts.size(); ++f) result.notes.push_back(note_of(charts[f], f));

    // Every date of every chart, in order: the bootstrap's axis.
    std::vector<int64_t> axis;
    for (const CodedSeries& s : charts)
        for (std::size_t t = 0; t < s.days.size(); ++t) axis.push_back(stamp_of(s, t, intraday));
    std::sort(axis.begin(), axis.end());
    axis.erase(std::unique(axis.begin(), axis.end()), axis.end());
    const std::size_t dates = axis.size();
    result.dates = static_cast<long>(dates);
    std::vector<std::vector<std::size_t>> date_index(charts.size());
    for (std::size_t f = 0; f < charts.size(); ++f)
        for (std::size_t t = 0; t < charts[f].days.size(); ++t)
            date_index[f].push_back(static_cast<std::size_t>(
                std::lower_bound(axis.begin(), axis.end(), stamp_of(charts[f], t, intraday)) - axis.begin()));

    std::set<int32_t> codes;
    for (const CodedSeries& s : charts)
        for (int32_t c : s.codes)
            if (c != 0) codes.insert(c);
    std::vector<int32_t> ordered(codes.begin(), codes.end());
    std::stable_sort(ordered.begin(), ordered.end(), [](int32_t a, int32_t b) {
        return table_rank(a) != table_rank(b) ? table_rank(a) < table_rank(b) : a < b;
    });
    std::map<int32_t, std::size_t> code_slot;
    for (std::size_t k = 0; k < ordered.size(); ++k) code_slot[ordered[k]] = k;

    // One resampling plan for every cell: blocks as long as the longest
    // horizon (its cases overlap that far) and the cube root of the dates.
    BlockPlan plan;
    plan.units = options.joint_dates ? 1 : std::max<std::size_t>(charts.size(), 1);
    plan.dates = dates;
    plan.length = static_cast<std::size_t>(block_length(longest, static_cast<long>(dates)));
    plan.blocks = dates == 0 ? 0 : (dates + plan.length - 1) / plan.length;
    result.block_length = static_cast<int>(plan.length);
    result.blocks = static_cast<long>(plan.blocks);
    const auto reps = static_cast<std::size_t>(options.bootstrap);
    {
        // What is held at once: one horizon's per-date sums of every code
        // (and the baseline) for each unit; the |t*| of every code at every
        // horizon (the family-wide pass keeps them all to the end); the
        // block starts of every replicate.
        const double code_count = static_cast<double>(ordered.size());
        const double sums = 16.0 * (code_count + 1) * static_cast<double>(plan.units) * static_cast<double>(dates + 1);
        const double kept = 8.0 * static_cast<double>(reps) * code_count * static_cast<double>(options.horizons.size()) +
                            4.0 * static_cast<double>(reps) * static_cast<double>(plan.size()) +
                            32.0 * static_cast<double>(plan.size() + reps);
        if (sums + kept > kMaxBytes) {
            const auto count = [](std::size_t n) { return static_cast<unsigned long long>(n); };
            result.refused = formatted(
                "%llu codes x %llu dates x %llu resampling units need %.0f MiB of per-date sums, and %llu codes x "
                "%llu horizons x %d replicates %.0f MiB of replicates; at most 256 MiB is kept: fewer codes, dates, "
                "horizons or replicates need less",
                count(ordered.size()), count(dates), count(plan.units), sums / 1048576.0, count(ordered.size()),
                count(options.horizons.size()), options.bootstrap, kept / 1048576.0);
            return result;
        }
    }
    // The block starts of every replicate, drawn once for all horizons (the
    // draws are 64-bit words reduced by the range, the same in a 32-bit and
    // a 64-bit build); the sample itself is the blocks laid end to end.
    std::vector<uint32_t> starts(reps * plan.size());
    {
        std::mt19937_64 random(options.seed ^ 0x5851F42D4C957F2DULL);
        for (uint32_t& start : starts)
            start = static_cast<uint32_t>(random() % std::max<std::size_t>(dates, 1));
    }
    std::vector<uint32_t> own(plan.size());
    for (std::size_t u = 0; u < plan.units; ++u)
        for (std::size_t k = 0; k < plan.blocks; ++k) own[u * plan.blocks + k] = static_cast<uint32_t>(k * plan.length);
    const bool enough_blocks = plan.blocks >= kMinBlocks;

    std::vector<std::vector<double>> stars;  // per row, |t*| per replicate
    for (const int h : options.horizons) {
        // Each bar's return at this horizon, and the group whose mean is its
        // baseline (its file, its file in that year, or its date).
        struct Observation {
            std::size_t file, t, group;
            double r;
        };
        std::vector<Observation> observations;
        std::map<std::pair<std::size_t, int64_t>, std::size_t> group_of;
        for (std::size_t f = 0; f < charts.size(); ++f) {
            const CodedSeries& s = charts[f];
            for (std::size_t t = 0; t < s.close.size(); ++t) {
                double r = 0;
                const Case got = case_return(s, t, h, options.entry, &r);
                result.left_out += got == Case::bad_price;
                if (got != Case::ok) continue;
                std::pair<std::size_t, int64_t> key{f, 0};
                if (options.baseline == Baseline::file_year) key.second = year_of(s.days[t]);
                if (options.baseline == Baseline::date) key = {0, static_cast<int64_t>(date_index[f][t])};
                const std::size_t group = group_of.emplace(key, group_of.size()).first->second;
                observations.push_back({f, t, group, r});
            }
        }
        struct Group {
            double n = 0, sum = 0, up = 0, down = 0;
        };
        std::vector<Group> groups(group_of.size());
        for (const Observation& o : observations) {
            Group& g = groups[o.group];
            g.n += 1, g.sum += o.r, g.up += o.r > 0, g.down += o.r < 0;
        }
        // Per date: every bar's value (its return less its baseline) and each
        // code's cases'; the cases' own figures.
        std::vector<PerDate> base(plan.units, PerDate(dates));
        struct CodeCases {
            std::vector<PerDate> units;
            std::vector<double> returns, baselines, base_hits;
            std::vector<long> per_file;
            std::vector<std::size_t> dates;
            long episodes = 0;
            std::size_t last_file = SIZE_MAX, last_t = 0;
        };
        std::vector<CodeCases> cases(ordered.size());
        for (CodeCases& c : cases) {
            c.units.assign(plan.units, PerDate(dates));
            c.per_file.assign(charts.size(), 0);
        }
        for (const Observation& o : observations) {
            const Group& g = groups[o.group];
            const double mean = g.sum / g.n;
            const double value = o.r - mean;
            const std::size_t unit = options.joint_dates ? 0 : o.file;
            const std::size_t date = date_index[o.file][o.t];
            base[unit].add(date, value);
            const CodedSeries& s = charts[o.file];
            const int32_t code = o.t < s.codes.size() ? s.codes[o.t] : 0;
            if (code == 0) continue;
            CodeCases& c = cases[code_slot[code]];
            c.units[unit].add(date, value);
            c.returns.push_back(o.r);
            c.baselines.push_back(mean);
            c.base_hits.push_back((code > 0 ? g.up : g.down) / g.n);
            ++c.per_file[o.file];
            c.dates.push_back(date);
            if (c.last_file != o.file || c.last_t + 1 != o.t) ++c.episodes;
            c.last_file = o.file, c.last_t = o.t;
        }
        for (PerDate& p : base) p.accumulate();
        for (CodeCases& c : cases)
            for (PerDate& p : c.units) p.accumulate();

        // The sample's figures, then every replicate's |t*|.
        std::vector<double> base_n(plan.size()), base_s(plan.size()), case_n(plan.size()), case_s(plan.size());
        const std::size_t first_row = result.rows.size();
        block_sums(base, own.data(), plan, base_n.data(), base_s.data());
        for (std::size_t k = 0; k < ordered.size(); ++k) {
            CodeCases& c = cases[k];
            EvaluationRow row;
            row.code = ordered[k];
            row.horizon = h;
            row.count = static_cast<long>(c.returns.size());
            row.episodes = c.episodes;
            std::sort(c.dates.begin(), c.dates.end());
            row.dates = static_cast<long>(std::unique(c.dates.begin(), c.dates.end()) - c.dates.begin());
            row.per_file = c.per_file;
            row.stats = row.count > 0 && row.count >= options.min_count && row.episodes >= options.min_episodes;
            row.diff = row.se = row.t = row.p = row.ci_low = row.ci_high = row.mde = kNaN;
            if (row.stats) {
                plain_figures(c.returns, c.baselines, c.base_hits, row.code, &row);
                block_sums(c.units, own.data(), plan, case_n.data(), case_s.data());
                const Studentized sample =
                    studentize(case_n.data(), case_s.data(), base_n.data(), base_s.data(), plan.size());
                row.diff = sample.diff;
                row.base_mean = row.mean - row.diff;
                row.se = sample.se;
                if (sample.se > 0) row.t = sample.diff / sample.se;
            }
            result.rows.push_back(row);
            stars.emplace_back(reps, std::numeric_limits<double>::infinity());
        }
        for (std::size_t b = 0; b < reps && dates > 0; ++b) {
            if (interrupted(static_cast<int>(b))) return ended();
            const uint32_t* at = starts.data() + b * plan.size();
            block_sums(base, at, plan, base_n.data(), base_s.data());
            for (std::size_t k = 0; k < ordered.size(); ++k) {
                const EvaluationRow& row = result.rows[first_row + k];
                if (!row.stats || !std::isfinite(row.t)) continue;
                block_sums(cases[k].units, at, plan, case_n.data(), case_s.data());
                const Studentized s =
                    studentize(case_n.data(), case_s.data(), base_n.data(), base_s.data(), plan.size());
                if (s.ok && s.se > 0) stars[first_row + k][b] = std::fabs(s.diff - row.diff) / s.se;
            }
        }
        // Each cell's own p, interval and detectable effect from its |t*|.
        for (std::size_t k = 0; k < ordered.size(); ++k) {
            EvaluationRow& row = result.rows[first_row + k];
            if (!row.stats || !std::isfinite(row.t) || !enough_blocks) continue;
            std::vector<double> sorted = stars[first_row + k];
            long reached = 0;
            for (double v : sorted) reached += v >= std::fabs(row.t);
            row.p = (1.0 + static_cast<double>(reached)) / (1.0 + static_cast<double>(reps));
            std::sort(sorted.begin(), sorted.end());
            const double c = quantile(sorted, 0.95);
            if (std::isfinite(c)) {
                row.ci_low = row.diff - c * row.se;
                row.ci_high = row.diff + c * row.se;
                row.mde = (c + kPower80) * row.se;
            }
        }
    }
    std::vector<EvaluationRow*> family_rows;
    for (EvaluationRow& row : result.rows) family_rows.push_back(&row);
    adjust_family(family_rows, stars, options.bootstrap, &result);
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
    const char* against = evaluation.baseline == Baseline::file        ? "its own file's mean return"
                          : evaluation.baseline == Baseline::file_year ? "its own file's mean return in the same year"
                                                                       : "the watchlist's mean return on the same date";
    out += formatted("%ld file%s, %ld %s. Returns in percent from %s to the close h bars after the signal is "
                     "known; each case against %s at the same horizon (baseline %s).\n",
                     evaluation.files, evaluation.files == 1 ? "" : "s", evaluation.dates,
                     evaluation.intraday ? "bar times" : "dates",
                     options.entry == Entry::open    ? "the open after the signal is known"
                     : options.entry == Entry::close ? "the close that completed the signal"
                                                     : "the signal bar's close",
                     against, baseline_name(evaluation.baseline));
    if (evaluation.left_out > 0)
        out += formatted("%ld case%s left out: a price at entry or exit that is not a positive number.\n",
                         evaluation.left_out, evaluation.left_out == 1 ? "" : "s");
    for (const FileNote& note : evaluation.notes) {
        if (note.big_moves > 0)
            out += formatted("Warning: %s: %ld bar-to-bar move%s of more than 40%% (prices not adjusted for a "
                             "split or bonus issue?).\n",
                             note.name.c_str(), note.big_moves, note.big_moves == 1 ? "" : "s");
        if (note.open_is_previous_close * 10 >= note.bars && note.open_is_previous_close > 0)
            out += formatted("Warning: %s: %ld of %ld opens equal the previous close (filled in by the source?): "
                             "there the open entry is the close entry.\n",
                             note.name.c_str(), note.open_is_previous_close, note.bars);
    }
    out += formatted("Studentized circular block bootstrap over %s, all files resampled together: %ld blocks of %d; "
                     "%d replicates, seed %llu. t = diff / se; p and the 95%% interval are each cell's own (plain); "
                     "mde: the difference this run would find with 80%% power at 5%% (plain). Statistics need "
                     "%ld cases and %ld episodes (runs of the code on consecutive bars); n/a: fewer than 10 "
                     "blocks.\n\n",
                     evaluation.intraday ? "bar times" : "dates", evaluation.blocks, evaluation.block_length,
                     options.bootstrap, static_cast<unsigned long long>(options.seed), options.min_count,
                     options.min_episodes);
    out += formatted("Adjusted over the run's %ld cells (%s): an adjusted p below 0.05 keeps the chance of any "
                     "false finding among them near 5%% (the bootstrap's promise for long series; its calibration "
                     "on real data is in the README), and the simultaneous 95%% intervals (diff +- %.2f se) cover "
                     "all cells at once.\n\n",
                     evaluation.family, kAdjustmentMethod, evaluation.critical);
    out += formatted("%5s  %-16s %4s %6s %5s %8s %8s %4s %8s %4s %8s %6s %5s  %-19s %7s  %-19s %s\n", "code",
                     "signal", "h", "cases", "epis.", "mean", "median", "hit", "baseline", "hit", "diff", "t", "p",
                     "95% interval", "mde", "adjusted 95%", "adj. p");
    long rows_with_interval = 0, plain_out = 0, rows_adjusted_out = 0;
    for (const EvaluationRow& row : evaluation.rows) {
        if (!row.stats) {
            out += formatted("%5d  %-16s %4d %6ld %5ld  (fewer than %ld cases or %ld episodes: no statistics)\n",
                             row.code, name_of(row.code).c_str(), row.horizon, row.count, row.episodes,
                             options.min_count, options.min_episodes);
            continue;
        }
        const bool interval = !std::isnan(row.ci_low);
        rows_with_interval += interval;
        plain_out += interval && (row.ci_low > 0 || row.ci_high < 0);
        const std::string plain = interval ? percent(row.ci_low) + " to " + percent(row.ci_high) : std::string("n/a");
        const bool adjusted = !std::isnan(row.p_adjusted);
        rows_adjusted_out += adjusted && row.p_adjusted < 0.05;
        const std::string wide =
            !std::isnan(row.adj_low) ? percent(row.adj_low) + " to " + percent(row.adj_high) : std::string("n/a");
        const std::string p_adj = adjusted ? formatted("%.3f", row.p_adjusted) : "n/a";
        const std::string t = std::isfinite(row.t) ? formatted("%+.2f", row.t) : "n/a";
        const std::string p = std::isnan(row.p) ? "n/a" : formatted("%.3f", row.p);
        const std::string mde = std::isnan(row.mde) ? "n/a" : formatted("%.2f%%", row.mde);
        out += formatted("%5d  %-16s %4d %6ld %5ld %8s %8s %4s %8s %4s %8s %6s %5s  %-19s %7s  %-19s %s\n", row.code,
                         name_of(row.code).c_str(), row.horizon, row.count, row.episodes, percent(row.mean).c_str(),
                         percent(row.median).c_str(), share(row.hit_rate).c_str(), percent(row.base_mean).c_str(),
                         share(row.base_hit_rate).c_str(), percent(row.diff).c_str(), t.c_str(), p.c_str(),
                         plain.c_str(), mde.c_str(), wide.c_str(), p_adj.c_str());
    }
    out += formatted("\n%ld of %ld plain intervals exclude zero. Each would by chance 1 time in 20, but the cells "
                     "share signals, dates and overlapping horizons, so how many do by chance varies widely from "
                     "run to run: read the adjusted p. Adjusted for all %ld cells at once, %ld differ from the "
                     "baseline at 5%%. A cell that does not is not shown to have no effect: its mde is the "
                     "smallest this run could have found.\n",
                     plain_out, rows_with_interval, evaluation.family, rows_adjusted_out);
    return out;
}

std::string evaluation_csv(const Evaluation& evaluation) {
    std::string out = "code,name,horizon,cases,episodes,dates,mean_pct,median_pct,hit_rate_frac,base_mean_pct,"
                      "base_hit_rate_frac,diff_pct,se_pct,t,p,ci_low_pct,ci_high_pct,mde_pct,adj_ci_low_pct,"
                      "adj_ci_high_pct,p_adjusted,baseline\n";
    for (const EvaluationRow& row : evaluation.rows) {
        out += std::to_string(row.code) + "," + name_of(row.code) + "," + std::to_string(row.horizon) + "," +
               std::to_string(row.count) + "," + std::to_string(row.episodes) + "," + std::to_string(row.dates);
        if (row.stats) {
            for (double v : {row.mean, row.median, row.hit_rate, row.base_mean, row.base_hit_rate, row.diff, row.se,
                             row.t, row.p, row.ci_low, row.ci_high, row.mde, row.adj_low, row.adj_high,
                             row.p_adjusted})
                out += "," + number6(v);
        } else {
            out += std::string(15, ',');
        }
        out += std::string(",") + baseline_name(evaluation.baseline) + "\n";
    }
    return out;
}

std::string evaluation_by_file_csv(const Evaluation& evaluation) {
    std::string out = "code,name,horizon,file,cases\n";
    for (const EvaluationRow& row : evaluation.rows)
        for (std::size_t f = 0; f < row.per_file.size() && f < evaluation.notes.size(); ++f)
            out += std::to_string(row.code) + "," + name_of(row.code) + "," + std::to_string(row.horizon) + "," +
                   csv_field(evaluation.notes[f].name) + "," + std::to_string(row.per_file[f]) + "\n";
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
