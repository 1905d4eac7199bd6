// The returns an evaluation is made of and their baselines (returns.h), and
// a chart cut at a date (part_of).
#include "evaluation/returns.h"

#include <cmath>
#include <map>
#include <string>
#include <utility>

namespace evaluation {

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

HorizonReturns horizon_returns(const std::vector<CodedSeries>& charts, int h, Entry entry, Baseline baseline,
                               const std::vector<std::vector<std::size_t>>& date_index) {
    HorizonReturns out;
    std::map<std::pair<std::size_t, int64_t>, std::size_t> group_of;
    for (std::size_t f = 0; f < charts.size(); ++f) {
        const CodedSeries& s = charts[f];
        for (std::size_t t = 0; t < s.close.size(); ++t) {
            double r = 0;
            const Case got = case_return(s, t, h, entry, &r);
            out.left_out += got == Case::bad_price;
            if (got != Case::ok) continue;
            std::pair<std::size_t, int64_t> key{f, 0};
            if (baseline == Baseline::file_year) key.second = year_of(s.days[t]);
            if (baseline == Baseline::date) key = {0, static_cast<int64_t>(date_index[f][t])};
            const std::size_t group = group_of.emplace(key, group_of.size()).first->second;
            out.observations.push_back({f, t, group, r});
        }
    }
    out.groups.resize(group_of.size());
    for (const Observation& o : out.observations) {
        BaselineGroup& g = out.groups[o.group];
        g.n += 1, g.sum += o.r, g.up += o.r > 0, g.down += o.r < 0;
    }
    return out;
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

}  // namespace evaluation
