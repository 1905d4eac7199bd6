#include "tools/msxhost/chart_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <limits>
#include <sstream>

#include "harness/host_call.h"

namespace msxhost {

using namespace harness;  // the host library's records and calls

namespace {

constexpr double kPriceTop = 60, kPriceHeight = 420, kVolumeTop = 520,
                 kVolumeHeight = 140, kLeft = 70, kRight = 230;

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// A value to be read back as the same double.
std::string exact(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// The price axis's labels, right-aligned in the margin left of the chart
// (about nine characters of the axis font): two decimals where they fit and
// tell the labels apart, else the fewest significant digits (3 to 6, with
// an exponent for large and tiny prices) that fit and do; 1e28 is
// "1e+28", never a 32-digit number cut short.
std::vector<std::string> price_labels(const std::vector<double>& values) {
    constexpr std::size_t kMaxChars = 9;
    std::vector<std::string> fitting;
    for (const char* format : {"%.2f", "%.3g", "%.4g", "%.5g", "%.6g"}) {
        std::vector<std::string> labels;
        bool fits = true, distinct = true;
        for (double v : values) {
            char buf[64];
            const int n = std::snprintf(buf, sizeof buf, format, v);
            fits = fits && n > 0 && static_cast<std::size_t>(n) <= kMaxChars;
            labels.emplace_back(n > 0 && static_cast<std::size_t>(n) < sizeof buf ? buf : "");
            distinct = distinct && (labels.size() < 2 || labels[labels.size() - 2] != labels.back());
        }
        if (fits && distinct) return labels;
        if (fits && fitting.empty()) fitting = std::move(labels);
    }
    return fitting;  // (three significant digits always fit)
}

// Length of the well-formed UTF-8 sequence at `p` (of at most `n` bytes)
// whose code point XML 1.0 allows, or 0.
std::size_t xml_char_length(const unsigned char* p, std::size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80) return (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') ? 1 : 0;
    std::size_t len = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1Fu;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0Fu;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07u;
    else return 0;
    if (n < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[k] & 0x3Fu);
    }
    const bool shortest = (len == 3 && cp >= 0x800) || (len == 4 && cp >= 0x10000) || len == 2;
    const bool allowed = cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0xFFFE &&
                         cp != 0xFFFF;
    return shortest && allowed ? len : 0;
}

// Text for XML character data and attributes: markup characters escaped,
// bytes that are not well-formed UTF-8 and characters XML does not allow
// (control characters) replaced by U+FFFD.
std::string escape(const std::string& text) {
    std::string out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = xml_char_length(bytes + i, text.size() - i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        switch (text[i]) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out.append(text, i, len);
        }
        i += len;
    }
    return out;
}

bool finite(double v) { return std::isfinite(v); }

const char* volume_colour(int cls) {
    switch (cls) {
        case 1: return "#9e9e9e";  // below both earlier volumes
        case 2: return "#d32f2f";  // closed lower
        case 3: return "#2e7d32";  // closed higher
        default: return "#1565c0"; // unchanged
    }
}

}  // namespace

std::string render_chart_svg(const ChartData& data, const ChartSeries& s) {
    const int first = std::max(s.first, 0);
    const int last = std::min(s.last, static_cast<int>(data.size()) - 1);
    const int bars = std::max(last - first + 1, 1);
    const double kWidth = s.width;
    // A narrow picture (a help page's) puts the legend under the chart and
    // uses larger text, so that it stays readable when shown smaller still.
    const bool compact = kWidth < 700;
    const double right = compact ? 16 : kRight;
    const double plot_width = kWidth - kLeft - right;
    const double step = plot_width / bars;
    auto x_of = [&](int i) { return kLeft + (i - first + 0.5) * step; };

    double lo = INFINITY, hi = -INFINITY, vmax = 0;
    auto widen = [&](double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    for (int i = first; i <= last; ++i) {
        widen(data.low[i]);
        widen(data.high[i]);
        if (i < static_cast<int>(s.trend.size())) widen(s.trend[i]);
        if (i < static_cast<int>(s.stops.size())) widen(s.stops[i]);
        if (std::isfinite(data.volume[i])) vmax = std::max(vmax, static_cast<double>(data.volume[i]));
    }
    if (!(lo < hi)) {
        // One price only: a range around it, wide enough to be one at any
        // size (1 either side of 1e28 would be no range at all).
        const double centre = std::isfinite(lo) ? lo : 0;
        const double half = std::max(1.0, std::fabs(centre) * 0.01);
        lo = centre - half;
        hi = centre + half;
    }
    const double pad = (hi - lo) * 0.08;
    lo -= pad;
    hi += pad;
    auto y_of = [&](double v) { return kPriceTop + (hi - v) / (hi - lo) * kPriceHeight; };
    if (vmax <= 0) vmax = 1;

    std::ostringstream o;  // the body; the header follows once the height is known
    o << "<text x=\"" << (compact ? 10 : kLeft) << "\" y=\"30\" font-size=\""
      << (compact ? 16 : 18) << "\" font-weight=\"bold\">" << escape(s.title) << "</text>\n";

    // Grid and price axis.
    o << "<g id=\"axes\" stroke=\"#e0e0e0\">\n";
    std::vector<double> ticks;
    for (int k = 0; k <= 5; ++k) ticks.push_back(lo + (hi - lo) * k / 5);
    const std::vector<std::string> tick_labels = price_labels(ticks);
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        const double y = y_of(ticks[k]);
        o << "<line x1=\"" << kLeft << "\" x2=\"" << num(kLeft + plot_width) << "\" y1=\""
          << num(y) << "\" y2=\"" << num(y) << "\"/>"
          << "<text x=\"" << kLeft - 6 << "\" y=\"" << num(y + 4)
          << "\" text-anchor=\"end\" stroke=\"none\" fill=\"#555\">" << tick_labels[k] << "</text>\n";
    }
    // A date every 110 pixels or so: the labels never overlap.
    const int labels = std::max(static_cast<int>(plot_width / 110), 2);
    const int label_every = std::max((bars + labels - 1) / labels, 1);
    for (int i = first; i <= last; i += label_every)
        o << "<text x=\"" << num(x_of(i)) << "\" y=\"" << kVolumeTop + kVolumeHeight + 20
          << "\" text-anchor=\"middle\" stroke=\"none\" fill=\"#555\">" << escape(data.dates[i])
          << "</text>\n";
    o << "</g>\n";

    // The marked bar: a band behind both panes, so the eye finds it.
    if (s.mark >= first && s.mark <= last) {
        o << "<rect id=\"mark\" data-bar=\"" << s.mark << "\" x=\"" << num(x_of(s.mark) - step * 0.5)
          << "\" y=\"" << kPriceTop << "\" width=\"" << num(step) << "\" height=\""
          << kVolumeTop + kVolumeHeight - kPriceTop << "\" fill=\"#fff59d\" stroke=\"#f9a825\"/>\n";
    }

    // Price bars: high-low line, open tick left, close tick right.
    o << "<g id=\"price\" stroke-width=\"1.2\" data-bars=\"" << bars << "\">\n";
    // A value that is not finite leaves its part of the bar out (a bar with
    // none drawn is left out).
    for (int i = first; i <= last; ++i) {
        const double x = x_of(i), t = std::max(step * 0.35, 1.0);
        const bool up = data.close[i] >= data.open[i];
        std::string d;
        if (finite(data.high[i]) && finite(data.low[i]))
            d += "M" + num(x) + " " + num(y_of(data.high[i])) + "V" + num(y_of(data.low[i]));
        if (finite(data.open[i]))
            d += "M" + num(x - t) + " " + num(y_of(data.open[i])) + "H" + num(x);
        if (finite(data.close[i]))
            d += "M" + num(x) + " " + num(y_of(data.close[i])) + "H" + num(x + t);
        if (d.empty()) continue;
        o << "<path data-bar=\"" << i << "\" stroke=\"" << (up ? "#2e7d32" : "#c62828")
          << "\" d=\"" << d << "\"/>\n";
    }
    o << "</g>\n";

    auto line = [&](const char* id, const std::vector<float>& values, const char* colour,
                    const char* dash) {
        // One path; a value that is not finite breaks it (a new subpath
        // starts after the gap).
        o << "<path id=\"" << id << "\" fill=\"none\" stroke=\"" << colour
          << "\" stroke-width=\"1.6\"" << dash << " d=\"";
        int points = 0;
        bool in_run = false;
        for (int i = first; i <= last && i < static_cast<int>(values.size()); ++i) {
            if (!std::isfinite(values[i])) {
                in_run = false;
                continue;
            }
            o << (points++ ? " " : "") << (in_run ? "L" : "M") << num(x_of(i)) << ","
              << num(y_of(values[i]));
            in_run = true;
        }
        o << "\" data-points=\"" << points << "\"/>\n";
    };
    line("trend", s.trend, "#ef6c00", "");
    line("stops", s.stops, "#6a1b9a", " stroke-dasharray=\"4 3\"");

    // The levels: thin lines across the pane, labelled at the right end
    // (support, resistance) or the left (the range's bounds). One outside
    // the prices drawn is left out of the pane (the legend still gives it).
    struct Level {
        const char* id;
        const char* label;
        double value;
        const char* colour;
        const char* dash;
        bool left;
    };
    const Level levels[] = {
        {"support", "Support", s.support, "#00897b", "", false},
        {"resistance", "Resistance", s.resistance, "#ad1457", "", false},
        {"range-low", "Range low", s.range_low, "#6d4c41", " stroke-dasharray=\"6 4\"", true},
        {"range-high", "Range high", s.range_high, "#6d4c41", " stroke-dasharray=\"6 4\"", true},
    };
    const auto shown = [&](const Level& level) { return finite(level.value) && level.value >= lo && level.value <= hi; };
    const auto level_text = [](const Level& level) { return std::string(level.label) + " " + price_labels({level.value})[0]; };
    o << "<g id=\"levels\" font-size=\"10\">\n";
    for (const Level& level : levels) {
        if (!shown(level)) continue;
        const double y = y_of(level.value);
        o << "<line data-level=\"" << level.id << "\" data-value=\"" << exact(level.value) << "\" x1=\"" << kLeft
          << "\" x2=\"" << num(kLeft + plot_width) << "\" y1=\"" << num(y) << "\" y2=\"" << num(y)
          << "\" stroke=\"" << level.colour << "\" stroke-width=\"0.8\"" << level.dash << "/>"
          << "<text x=\"" << num(level.left ? kLeft + 4 : kLeft + plot_width - 4) << "\" y=\"" << num(y - 3)
          << "\" text-anchor=\"" << (level.left ? "start" : "end") << "\" fill=\"" << level.colour << "\">"
          << escape(level_text(level)) << "</text>\n";
    }
    o << "</g>\n";

    // Signals: strength below the bar (up triangle), weakness above (down).
    std::map<int, int> used;
    o << "<g id=\"signals\">\n";
    for (int i = first; i <= last && i < static_cast<int>(s.signals.size()); ++i) {
        const int code = s.signals[i];
        if (code == 0 || !finite(code > 0 ? data.low[i] : data.high[i])) continue;
        ++used[code];
        const double x = x_of(i), r = std::max(std::min(step * 0.6, 6.0), 3.0);
        if (code > 0) {
            const double y = y_of(data.low[i]) + 6;
            o << "<path data-bar=\"" << i << "\" data-code=\"" << code << "\" fill=\"#2e7d32\" d=\"M"
              << num(x) << " " << num(y) << "l" << num(r) << " " << num(r * 1.6) << "h"
              << num(-2 * r) << "z\"><title>" << escape(data.dates[i]) << ": " << signal_name(code)
              << "</title></path>\n";
        } else {
            const double y = y_of(data.high[i]) - 6;
            o << "<path data-bar=\"" << i << "\" data-code=\"" << code << "\" fill=\"#c62828\" d=\"M"
              << num(x) << " " << num(y) << "l" << num(r) << " " << num(-r * 1.6) << "h"
              << num(-2 * r) << "z\"><title>" << escape(data.dates[i]) << ": " << signal_name(code)
              << "</title></path>\n";
        }
    }
    o << "</g>\n";

    // Volume pane.
    o << "<text x=\"" << kLeft - 6 << "\" y=\"" << kVolumeTop + 12
      << "\" text-anchor=\"end\" fill=\"#555\">Volume</text>\n";
    o << "<g id=\"volume\" data-bars=\"" << bars << "\">\n";
    for (int i = first; i <= last; ++i) {
        const double v = std::isfinite(data.volume[i]) ? std::max<double>(data.volume[i], 0) : 0;
        const double h = v / vmax * kVolumeHeight;
        const int cls = i < static_cast<int>(s.volume_class.size()) ? s.volume_class[i] : 0;
        o << "<rect data-bar=\"" << i << "\" data-class=\"" << cls << "\" x=\""
          << num(x_of(i) - step * 0.4) << "\" y=\"" << num(kVolumeTop + kVolumeHeight - h)
          << "\" width=\"" << num(std::max(step * 0.8, 0.5)) << "\" height=\"" << num(h)
          << "\" fill=\"" << volume_colour(cls) << "\"/>\n";
    }
    o << "</g>\n";

    // Legend: right of the chart, or under it in a narrow picture.
    const double lx = compact ? kLeft : kWidth - kRight + 20;
    double ly = compact ? kVolumeTop + kVolumeHeight + 50 : kPriceTop + 10;
    o << "<g id=\"legend\">\n";
    auto entry = [&](const std::string& swatch, const std::string& text) {
        o << swatch << "<text x=\"" << num(lx + 22) << "\" y=\"" << num(ly + 4) << "\">"
          << escape(text) << "</text>\n";
        ly += 20;
    };
    entry("<line x1=\"" + num(lx) + "\" x2=\"" + num(lx + 16) + "\" y1=\"" + num(ly) + "\" y2=\"" +
              num(ly) + "\" stroke=\"#ef6c00\" stroke-width=\"2\"/>",
          s.trend_label);
    entry("<line x1=\"" + num(lx) + "\" x2=\"" + num(lx + 16) + "\" y1=\"" + num(ly) + "\" y2=\"" +
              num(ly) + "\" stroke=\"#6a1b9a\" stroke-width=\"2\" stroke-dasharray=\"4 3\"/>",
          s.stops_label);
    for (const Level& level : levels) {
        if (!finite(level.value)) continue;
        const char* where = shown(level) ? "" : level.value < lo ? " (below the chart)" : " (above the chart)";
        entry("<line x1=\"" + num(lx) + "\" x2=\"" + num(lx + 16) + "\" y1=\"" + num(ly) + "\" y2=\"" + num(ly) +
                  "\" stroke=\"" + level.colour + "\" stroke-width=\"1\"" + level.dash + "/>",
              level_text(level) + where);
    }
    for (const auto& [code, count] : used) {
        const bool strength = code > 0;
        entry("<path fill=\"" + std::string(strength ? "#2e7d32" : "#c62828") + "\" d=\"M" +
                  num(lx + 8) + " " + num(ly + (strength ? -5 : 5)) + "l6 " +
                  (strength ? "10" : "-10") + "h-12z\"/>",
              std::string(signal_name(code)) + " (" + std::to_string(code) + ") x" +
                  std::to_string(count));
    }
    ly += 10;
    const char* classes[] = {"", "Volume below both prior bars", "Volume, close lower",
                             "Volume, close higher", "Volume, close unchanged"};
    for (int c = 1; c <= 4; ++c)
        entry("<rect x=\"" + num(lx + 2) + "\" y=\"" + num(ly - 6) +
                  "\" width=\"12\" height=\"12\" fill=\"" + volume_colour(c) + "\"/>",
              classes[c]);
    o << "</g>\n</svg>\n";
    const double height = compact ? std::max(700.0, ly + 10) : 700.0;
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << num(height) << "\" viewBox=\"0 0 " << kWidth << " " << num(height)
        << "\" font-family=\"Helvetica, Arial, sans-serif\" font-size=\"" << (compact ? 15 : 12)
        << "\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
        << o.str();
    return svg.str();
}

namespace {


// The result series over all bars, NaN outside its valid range.
bool series_of(const Plugin& plugin, const char* name, const CallSpec& call,
               std::vector<float>* out, std::string* error) {
    const FunctionInfo* fn = plugin.find(name);
    if (fn == nullptr || fn->calc == nullptr) {
        *error = std::string("the plug-in has no ") + name;
        return false;
    }
    const CallResult r = call_function(fn->calc, call);
    if (r.code != 0 || !r.violations.empty()) {
        *error = std::string(name) + ": " + (r.code != 0 ? r.message : r.violations.front());
        return false;
    }
    out->assign(r.values.size(), std::numeric_limits<float>::quiet_NaN());
    for (int32_t i = std::max(r.first, 0); i <= r.last && i < static_cast<int32_t>(out->size());
         ++i)
        (*out)[static_cast<std::size_t>(i)] = r.values[static_cast<std::size_t>(i)];
    return true;
}

}  // namespace

bool chart_from_plugin(const Plugin& plugin, const ChartData& data, const ChartOptions& options,
                       ChartSeries* s, std::string* error) {
    if (data.size() < 3) {
        *error = "the chart needs at least 3 bars";
        return false;
    }
    const int32_t last = static_cast<int32_t>(data.size()) - 1;
    CallSpec call = chart_spec(data);
    call.numerics = {static_cast<float>(options.trend_periods)};
    call.numeric_count = 1;
    if (!series_of(plugin, "VSATrend", call, &s->trend, error)) return false;

    call = chart_spec(data);
    ArrayArg atr;
    int atr_first = 0;
    atr.series.values = wilder_atr(data, options.atr_periods, &atr_first);
    atr.series.first = atr_first;
    atr.series.last = last;
    call.arrays = {atr};
    call.array_count = 1;
    call.numerics = {options.multiplier};
    call.numeric_count = 1;
    if (!series_of(plugin, "VSAVolStops", call, &s->stops, error)) return false;

    std::vector<float> codes;
    if (!series_of(plugin, "VSAInd", chart_spec(data), &codes, error)) return false;
    s->signals.assign(codes.size(), 0);
    for (std::size_t i = 0; i < codes.size(); ++i)
        s->signals[i] = std::isfinite(codes[i]) ? static_cast<int>(codes[i]) : 0;

    using VolumeColorFn = int32_t(MSX_STDCALL*)(double, double, double, double, double);
    const auto colour = plugin.library().function<VolumeColorFn>("CalcVolumeColor");
    if (colour == nullptr) {
        *error = "the plug-in has no CalcVolumeColor";
        return false;
    }
    s->volume_class.assign(data.size(), 0);
    for (std::size_t i = 2; i < data.size(); ++i)
        s->volume_class[i] = colour(data.volume[i], data.volume[i - 1], data.volume[i - 2],
                                    data.close[i], data.close[i - 1]);

    s->trend_label = "VSATrend(" + std::to_string(options.trend_periods) + ")";
    char mult[32];
    std::snprintf(mult, sizeof mult, "%g", static_cast<double>(options.multiplier));
    s->stops_label =
        std::string("VSAVolStops(") + mult + ", ATR(" + std::to_string(options.atr_periods) + "))";
    s->last = options.end >= 0 && options.end < last ? options.end : last;
    s->first = std::max(0, s->last - options.bars + 1);
    s->mark = options.mark;
    s->width = std::max(options.width, 400);
    s->title = "Barsight VSA: " + data.dates[static_cast<std::size_t>(s->first)] + " to " +
               data.dates[static_cast<std::size_t>(s->last)];
    return true;
}

}  // namespace msxhost
