// What an evaluation found, written out (report.h).
#include "evaluation/report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "evaluation/codes.h"

namespace evaluation {

namespace {

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

std::string number6(double value) {
    if (std::isnan(value)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

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

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
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

}  // namespace evaluation
