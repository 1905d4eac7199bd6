#!/usr/bin/env python3
"""Writes the help pages the help window shows, with their pictures, into
HELP/plugin/Inds1/: none.htm (the index), a page per indicator and a page per
engine signal (SOS<code> for strength, SOW<code> for weakness: the names
ShowDialog accepts after a ";"). The signals come from the one signal table
(generators/signal_table.py); the argument names from the plug-in's own
catalogue. Each signal's picture is drawn by msxhost around an occurrence on
a real series (scripts/real_data.py's cache) when the cache is there, else on
data/help_pictures.csv, a synthetic series; a signal found in neither says
so. With the cache, each signal's page and the index also give its verdict
out of sample (generators/verdict.py): evaluate on the fifteen daily series
from 2010-01-01, a period the rules were fixed without.

The pages are plain HTML and CSS that the Windows browser control (IE9 to 11
in edge mode) and current browsers show alike, readable at the help window's
width (about 275 pixels), without script.

usage: generators/make_help_pages.py HELP_FOLDER MSXHOST PLUGIN [DATA.csv]"""
import csv
import html
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from signal_table import BACKGROUND, LOOK, SIGNALS, group, page_name, provisional_colour  # noqa: E402
import verdict  # noqa: E402

INDICATORS = [
    ("VSAMakeConst", "VSA Make Constant",
     "A horizontal line at a whole-number level, for marking a price on the chart.",
     "result = the whole-number part of Bars, on every bar of the chart",
     'ExtFml("BarsightPlugin.VSAMakeConst", 100)'),
    ("VSATrend", "VSA Trend",
     "The trend of the typical price: above it the market is rising, below it falling.",
     "result = simple moving average over Periods bars of (High + Low + Close) / 3",
     'ExtFml("BarsightPlugin.VSATrend", 20)'),
    ("VSAVolStops", "VSA Vol Stops",
     "A stop line Multiplier x ATR below the close while the market is long, above it while "
     "short; it flips when the close crosses it. In the picture it is the dashed line.",
     "stop = close - Multiplier x ATR while long, close + Multiplier x ATR while short, "
     "never moving against the position",
     'ExtFml("BarsightPlugin.VSAVolStops", 2.5, ATR(14))'),
    ("VSASpread", "VSA Spread",
     "The class of each bar's volume (Mode 0) or range (Mode 1) against its average over the "
     "last Periods bars: 0 nothing, 1 very low, 3 about average, 5 and 6 high (more than 12/7 "
     "and 2 times the average).",
     "v / average, with class limits at 2/7, 6/7, 8/7, 12/7 and 2 times the average",
     'ExtFml("BarsightPlugin.VSASpread", 0, 30)'),
    ("VSAInd", "VSA Indicators",
     "The volume spread analysis signals of the Spreadcore engine, one code per bar: positive "
     "codes are strength, negative codes weakness, 0 none. The newest bar is always 0, and "
     "the bar before it is judged without its next close: its code is provisional (it can "
     "change or vanish when the next bar closes). Ref(VSAInd, -2) is final.",
     "code = the engine's signal for each bar but the last (see the signals below)",
     'ExtFml("BarsightPlugin.VSAInd")'),
]

HEAD = """<!DOCTYPE html>
<html lang="en"><head>
<meta http-equiv="X-UA-Compatible" content="IE=edge">
<meta charset="utf-8">
<meta name="viewport" content="width=device-width">
<title>{title}</title>
<style>
body {{ font-family: Verdana, Arial, sans-serif; font-size: 12px; margin: 6px; color: #222; }}
h1 {{ font-size: 15px; color: #1a237e; margin: 4px 0 6px 0; }}
h2 {{ font-size: 12px; color: #1a237e; margin: 10px 0 3px 0; }}
p, li {{ line-height: 1.35; }}
ul {{ margin: 2px 0; padding-left: 16px; }}
code {{ font-family: "Lucida Console", monospace; font-size: 11px; background: #f1f3f9;
  word-wrap: break-word; }}
.strength {{ color: #2e7d32; }}
.weakness {{ color: #c62828; }}
.code {{ color: #555; }}
img {{ width: 100%; height: auto; border: 1px solid #ccc; box-sizing: border-box; }}
.note {{ color: #555; font-size: 11px; }}
.glyph {{ font-size: 15px; font-weight: bold; text-shadow: 0 0 1px #000; }}
.chart {{ background: #111; padding: 1px 4px; }}
table {{ border-collapse: collapse; }}
td {{ padding: 1px 6px 1px 0; vertical-align: top; }}
.figures {{ font-size: 11px; }}
.figures td, .figures th {{ padding: 1px 4px 1px 0; text-align: left; }}
</style>
</head>
<body>
"""
FOOT = """<p class="note"><a href="none.htm">All indicators and signals</a></p>
</body></html>
"""


def terms():
    """The terms the rules use, as engine/README.md explains them."""
    text = open(os.path.join(HERE, "..", "engine", "README.md"), encoding="utf-8").read()
    section = text[text.index("## What each bar is measured against"):text.index("## Rules")]
    return [(t.strip().strip("`"), m.strip().replace("`", "")) for t, m in
            re.findall(r"^\| ([^|]+) \| ([^|]+) \|$", section, re.M)
            if t.strip() not in ("Term", "Background", "---")]


def run(args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def catalogue(msxhost, plugin):
    """function -> [argument names]"""
    out = run([msxhost, "catalogue", plugin])
    functions, current = {}, None
    for line in out.splitlines():
        m = re.match(r'^\d+ (\w+) ".*" \d+ argument', line)
        if m:
            current = m.group(1)
            functions[current] = []
            continue
        m = re.match(r"^\s+\d+: (.*) \((\w[\w ]*)\)$", line)
        if m and current:
            functions[current].append(m.group(1))
    return functions


def signal_bars(msxhost, plugin, data):
    """VSAInd on a file: ({code: [bars]}, the number of bars, their dates)."""
    out = run([msxhost, "run", plugin, "VSAInd", "--data", data])
    bars = {}
    dates = []
    for line in out.splitlines()[2:]:
        bar, date, value = line.split(",")
        dates.append(date)
        if value not in ("0", ""):
            bars.setdefault(int(value), []).append(int(bar))
    return bars, len(dates), dates


# A picture needs this many bars before its signal bar and after it.
BARS_BEFORE, BARS_AFTER = 30, 10


def example(code, sources):
    """Where a signal's picture is drawn from: the first source (in order)
    where it occurs with BARS_BEFORE bars before it and BARS_AFTER after,
    at its middle such occurrence: (source, bar), or None when no source
    has one. Each source is (name, path, {code: [bars]}, bar count, dates)."""
    for source in sources:
        _, _, occurrences, count, _ = source
        bars = [b for b in occurrences.get(code, []) if BARS_BEFORE <= b and b + BARS_AFTER < count]
        if bars:
            return source, bars[len(bars) // 2]
    return None


def picture(msxhost, plugin, data, path, end, mark=None, bars=40):
    args = [msxhost, "chart", plugin, "--data", data, "-o", path, "--bars", str(bars),
            "--end", str(end), "--width", "420"]
    if mark is not None:
        args += ["--mark", str(mark)]
    run(args)


def glyph(code, provisional=False):
    """The signal's MetaTrader arrow: its glyph in its colour, on a dark chart
    background as the terminal shows it."""
    label, _, colour, character = LOOK[code]
    shade = provisional_colour(colour) if provisional else colour
    return '<span class="chart"><span class="glyph" style="color: %s">%s</span></span>' % (
        html.escape(shade), html.escape(character))


def legend_rows(codes):
    return "".join('<tr><td>%s</td><td><b>%s</b></td><td>%s</td></tr>' % (
        glyph(c), html.escape(LOOK[c][0]), signal_link(c, n)) for c, n, *_ in SIGNALS if c in codes)


PERIODS_NOTE = ("<p class=\"note\">Periods: S, V, HH and LL are taken over the Periods bars before the "
                "bar, and the trend compares the mean of the last Periods closes with the mean of the "
                "last 3 x Periods (the intermediate trend 3 x with 9 x Periods, the long trend 9 x with "
                "27 x; a climax stays behind the bars for 3 x Periods bars). MetaStock's VSAInd uses 9; BarsightVSA in MetaTrader has an input "
                "Periods (default 9): a larger value compares each bar with a longer stretch of "
                "history, so fewer bars stand out. No signal is given before Periods bars (and 16 "
                "bars) have passed.</p>")

NAMES = {code: name for code, name, *_ in SIGNALS}

VOLUME_PAGE = (
    "<h1>Barsight volume pane (MetaTrader)</h1>"
    "<p>BarsightVolume draws tick volume as a histogram under the price chart, with a moving "
    "average of volume (input AveragePeriod, default 20; a gold line). Each bar has one colour; "
    "the Data Window names it.</p>"
    "<h2>Colouring 0: up and down bars (default)</h2><table>"
    "<tr><td><span style='color:#C0C0C0'>&#9608;</span></td><td>Low volume</td><td>below the volume of "
    "both bars before it</td></tr>"
    "<tr><td><span style='color:#FF0000'>&#9608;</span></td><td>Down volume</td><td>the close is below "
    "the previous close</td></tr>"
    "<tr><td><span style='color:#008000'>&#9608;</span></td><td>Up volume</td><td>the close is above "
    "the previous close</td></tr>"
    "<tr><td><span style='color:#0000FF'>&#9608;</span></td><td>Unchanged</td><td>the closes are equal"
    "</td></tr></table>"
    "<h2>Colouring 1: volume classes</h2><p>Volume against its average over the last "
    "AveragePeriod bars (the bar included), with the class limits of VSASpread:</p><table>"
    "<tr><td><span style='color:#696969'>&#9608;</span></td><td>Low volume</td><td>at most 6/7 of the "
    "average</td></tr>"
    "<tr><td><span style='color:#708090'>&#9608;</span></td><td>Low-volume churn</td><td>low volume on a "
    "narrow spread: a quiet, resting market, where " + NAMES[3] + " and " + NAMES[-2] + " are found</td></tr>"
    "<tr><td><span style='color:#4682B4'>&#9608;</span></td><td>Normal volume</td><td>between</td></tr>"
    "<tr><td><span style='color:#FFA500'>&#9608;</span></td><td>High volume</td><td>above 12/7 of the "
    "average</td></tr>"
    "<tr><td><span style='color:#FFFF00;text-shadow:0 0 1px #000'>&#9608;</span></td><td>Churn</td><td>"
    "high volume on a narrow spread (below 0.8 of the average spread): much effort, little progress, often "
    "where professional money absorbs or distributes</td></tr>"
    "<tr><td><span style='color:#32CD32'>&#9608;</span></td><td>Climax up</td><td>above twice the "
    "average on a bar closing above the previous close: the heavy volume of a buying climax or of strong "
    "effort up</td></tr>"
    "<tr><td><span style='color:#FF0000'>&#9608;</span></td><td>Climax down</td><td>above twice the "
    "average on a bar closing at or below the previous close: a selling climax or strong effort down"
    "</td></tr>"
    "<tr><td><span style='color:#FF00FF'>&#9608;</span></td><td>Climax churn</td><td>climax volume on a "
    "narrow spread: the heaviest effort with the least result</td></tr></table>"
    "<p>MaxBars limits the pane to the newest bars; PaintBars paints each price bar in its colour; in "
    "MetaTrader 5, VolumeSource 1 shows the real (exchange) volume where the symbol has one.</p>"
    '<p>The signals themselves are on the price chart: see the <a href="none.htm">legend</a>.</p>')


def signal_link(code, name):
    return '<a href="%s.htm" class="%s">%s</a> <span class="code">(%d)</span>' % (
        page_name(code), group(code), html.escape(name), code)


# The real series scripts/real_data.py writes (its cache), in its order.
REAL_SERIES = (("SP500", "S&P 500"), ("AAPL", "Apple"), ("GOOG", "Google"), ("MSFT", "Microsoft"),
               ("SSE", "Shanghai Composite"), ("SZSE", "Shenzhen Component"), ("CSI300", "CSI 300"),
               ("SZSME", "Shenzhen SME"), ("CHINEXT", "ChiNext"), ("PAB", "Ping An Bank"),
               ("SPDB", "Shanghai Pudong Development Bank"), ("COMPLANT", "Complant"),
               ("IFC", "CSI 300 futures"), ("ICC", "CSI 500 futures"), ("IMC", "CSI 1000 futures"))


def real_cache():
    if os.environ.get("BARSIGHT_REAL_DATA"):
        return os.environ["BARSIGHT_REAL_DATA"]
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "barsight", "real-data")


def real_paths():
    """The real series' files in REAL_SERIES order, or None unless the
    cache holds every one."""
    paths = [os.path.join(real_cache(), symbol + ".csv") for symbol, _ in REAL_SERIES]
    return paths if all(os.path.exists(p) for p in paths) else None


SPLIT = verdict.SPLIT


def real_evidence(msxhost, plugin, out):
    """msxhost evaluate on the real series split at SPLIT, when the cache
    holds them all: {code: [csv rows of the period from SPLIT]}, and the
    chart of that period beside the pages (real-markets-after.svg); None
    without them."""
    paths = real_paths()
    if paths is None:
        return None
    csv_path = os.path.join(out, "real-markets.csv")
    args = [msxhost, "evaluate", plugin] + sum((["--data", p] for p in paths), []) + [
        "--split", SPLIT, "--csv", csv_path, "--svg", os.path.join(out, "real-markets.svg")]
    run(args)
    with open(csv_path) as f:
        rows = verdict.by_code(csv.DictReader(f), "after")
    os.remove(csv_path)
    os.remove(os.path.join(out, "real-markets-before.svg"))
    return rows


def pct(text):
    return "%+.2f%%" % float(text)


def real_names():
    return html.escape(", ".join(n for _, n in REAL_SERIES))


def real_line(code, rows):
    """One paragraph of a signal's figures on the real series from SPLIT."""
    mine = rows.get(code, [])
    count = verdict.cases_of(mine)
    with_stats = [r for r in mine if r["mean_pct"] != ""]
    if not with_stats:
        return ("<p>From %s: %d case%s, too few for figures.</p>" % (SPLIT, count, "" if count == 1 else "s"))
    parts = []
    for r in with_stats:
        adjusted = (", adjusted p %.2f" % float(r["p_adjusted"])) if r["p_adjusted"] != "" else ""
        interval = (" (95%%: %s to %s%s)" % (pct(r["ci_low_pct"]), pct(r["ci_high_pct"]), adjusted)
                    if r["ci_low_pct"] != "" else "")
        parts.append("%s after %s bar%s%s" % (pct(r["diff_pct"]), html.escape(r["horizon"]),
                                              "" if r["horizon"] == "1" else "s", interval))
    return ("<p>From %s (%d cases), the return after the signal minus its own market's mean return over "
            "the same bars: %s.</p>" % (SPLIT, count, "; ".join(parts)))


VERDICT_NOTE = ("<p class=\"note\">The verdict reads the adjusted p, which allows for every signal and horizon "
                "tested at once: below 0.05 the signal was followed by what its reading says, or by the "
                "opposite. Otherwise it is not told from chance, and mde is the smallest difference from the "
                "market's own drift that the data could have shown (at 10 bars, or the horizon named): an "
                "effect as large as that would most likely have been found. A cell needs 30 cases and 20 "
                "episodes for figures. No costs or slippage: test the signals on your own market.</p>")


def verdict_section(code, rows):
    """A signal's verdict out of sample, with its figures; rows is None when
    the help is built without the real series."""
    if rows is None:
        return ("<p>This copy of the help was built without the real series: the verdict on fifteen real "
                "markets is in the help of the released setup.</p>")
    words = verdict.words(code, rows.get(code, []), verdict.FEW_AFTER_SPLIT)
    return ("<p>On the fifteen real daily series (%s) from %s, bars the rules were fixed without: "
            "<b>%s</b>.</p>%s%s" % (real_names(), SPLIT, html.escape(words), real_line(code, rows), VERDICT_NOTE))


def real_table(rows):
    """The index page's table: each signal's cases from SPLIT and its verdict."""
    lines = "".join("<tr><td>%s</td><td>%d</td><td>%s</td></tr>" % (
        signal_link(code, name), verdict.cases_of(rows.get(code, [])),
        html.escape(verdict.words(code, rows.get(code, []), "too few cases")))
        for code, name, *_ in SIGNALS)
    # Headings short enough for the 275-pixel help window, said in full below it.
    return ("<table class=\"figures\"><tr><th>Signal</th><th>n</th><th>verdict</th></tr>%s</table>"
            "<p class=\"note\">n: cases from %s; the verdict reads the adjusted p, which allows for every "
            "signal and horizon tested at once (a plain interval on one file, or on one cell among many, "
            "finds chance effects); mde: the smallest difference from the market's own drift the data "
            "could have shown.</p>" % (lines, SPLIT))


def real_section(rows):
    if rows is None:
        return ("<p>This copy of the help was built without the real series: the verdicts on fifteen "
                "real markets are in the help of the released setup.</p>")
    return ("<h3>On fifteen real markets</h3><p>Daily bars of the S&amp;P 500 (2000-2020), Apple "
            "(2013-2018), Google (2004-2008), Microsoft (2000-2001), five Chinese indices, three Chinese "
            "stocks (adjusted for ex-dates) and three Chinese index futures (1991-2024), evaluated as above "
            "(entering at the next open; each case against its own market's mean return) on the bars from "
            "%s only: the rules were fixed without looking at them, and nothing was changed after this "
            "run. Each signal's verdict:</p>%s"
            '<p><a href="real-markets-after.svg"><img src="real-markets-after.svg" alt="Each signal\'s return '
            'minus the baseline on the real series from %s" width="700"></a></p>'
            "<p>%s No costs or slippage: test the signals on your own market.</p>"
            % (SPLIT, real_table(rows), SPLIT, real_verdict(rows)))


def real_verdict(rows):
    """What the verdicts say, in words, from the verdicts."""
    kinds = {}
    for code, name, *_ in SIGNALS:
        kinds.setdefault(verdict.verdict(code, rows.get(code, [])).kind, []).append(
            "%s (%d)" % (html.escape(name), code))
    told = [(verdict.FOLLOWED, "followed by what their reading says"), (verdict.OPPOSITE, "followed by the opposite")]
    words = " ".join("%s: %s." % (what[0].upper() + what[1:], ", ".join(kinds[kind]))
                     for kind, what in told if kind in kinds)
    if not words:
        words = ("After the adjustment for testing every signal at every horizon, no signal's figures differ "
                 "from chance.")
    return "%s %d of the %d signals are not told from chance; %d have too few cases from %s for a verdict." % (
        words, len(kinds.get(verdict.CHANCE, [])), len(SIGNALS), len(kinds.get(verdict.TOO_FEW, [])), SPLIT)


def signal_body(code, name, rule, shows, meaning, follow, background, picture_of):
    """A signal's page (without its verdict): every text of the signal table
    escaped. picture_of is (svg, caption) or, for a signal that occurs in
    none of the series, None and a caption saying so."""
    kind = "strength" if code > 0 else "weakness"
    svg, caption = picture_of
    if svg is None:
        shown = '<p class="note">%s</p>' % html.escape(caption)
    else:
        shown = ('<p><a href="%s"><img src="%s" alt="%s on a chart, the signal bar marked"></a></p>'
                 '<p class="note">%s The marked bar carries the signal (%s arrow %s the bar).</p>') % (
            html.escape(svg), html.escape(svg), html.escape(name), html.escape(caption),
            "up" if code > 0 else "down", "below" if code > 0 else "above")
    return ('<h1 class="%s">%s <span class="code">(code %d, %s)</span></h1>'
            '<p>%s</p><h2>What it means</h2><p>%s</p>'
            '<h2>The rule</h2><p><code>%s</code></p>'
            '<p class="note">In priority order with the other rules; the terms are explained '
            'on the <a href="VSAInd.htm">VSAInd</a> page.</p>'
            '<h2>The background it needs</h2><p>%s</p>'
            '<h2>What to look for next</h2><p>%s</p>'
            '<h2>On a MetaTrader chart</h2><p>%s <b>%s</b> %s the bar. The newest closed bar '
            'is judged before its next close is known: its signal is provisional and drawn '
            'dimmer (%s) until the next bar closes; then it takes this look or goes.</p>%s'
            '<h2>An example</h2>%s') % (
        kind, html.escape(name), code, kind, html.escape(shows), html.escape(meaning),
        html.escape(rule), html.escape(background), html.escape(follow), glyph(code), html.escape(LOOK[code][0]),
        "below" if code > 0 else "above", glyph(code, provisional=True), PERIODS_NOTE, shown)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    folder, msxhost, plugin = sys.argv[1:4]
    data = sys.argv[4] if len(sys.argv) > 4 else os.path.join(HERE, "..", "data", "help_pictures.csv")
    out = os.path.join(folder, "plugin", "Inds1")
    os.makedirs(out, exist_ok=True)
    functions = catalogue(msxhost, plugin)
    occurrences, bar_count, dates = signal_bars(msxhost, plugin, data)
    real_rows = real_evidence(msxhost, plugin, out)
    pages = {}

    # Indicators: one shared picture of the recent bars.
    picture(msxhost, plugin, data, os.path.join(out, "indicators.svg"), bar_count - 1, bars=60)
    for name, title, text, formula, sample in INDICATORS:
        args = functions.get(name)
        if args is None:
            sys.exit("make_help_pages: %s is not in the plug-in's catalogue" % name)
        arg_list = "".join("<li><code>%s</code></li>" % html.escape(a) for a in args) or "<li>none</li>"
        body = ('<h1>%s</h1><p>%s</p><h2>Formula</h2><p><code>%s</code></p>'
                '<h2>Arguments</h2><ul>%s</ul><h2>In a MetaStock formula</h2><p><code>%s</code></p>'
                '<h2>On a chart</h2><p><a href="indicators.svg"><img src="indicators.svg" '
                'alt="Chart with the Barsight indicators"></a></p><p class="note">Price bars with '
                'VSATrend(20) (orange) and VSAVolStops(2.5, ATR(14)) (dashed), VSAInd signals '
                '(arrows) and volume coloured by class.</p>') % (
            html.escape(title), html.escape(text), html.escape(formula), arg_list, html.escape(sample))
        if name == "VSAInd":
            body += "<h2>Signals</h2><ul>%s</ul>" % "".join(
                "<li>%s</li>" % signal_link(c, n) for c, n, *_ in SIGNALS)
            body += "<h2>Terms of the rules</h2><p>Each bar is measured against:</p><ul>%s</ul>" % "".join(
                "<li><b>%s</b>: %s</li>" % (html.escape(t), html.escape(m)) for t, m in terms())
        pages[name] = (title, body)

    # Signals: a picture around an occurrence, the signal bar marked: on the
    # first real series that has one, else on the synthetic series.
    paths = real_paths()
    sources = [(series, path) + signal_bars(msxhost, plugin, path)
               for (_, series), path in zip(REAL_SERIES, paths or [])]
    synthetic = "the synthetic series %s" % os.path.basename(data)
    sources.append((synthetic, data, occurrences, bar_count, dates))
    searched = "the fifteen real series nor in %s" % synthetic if paths else (
        "%s (this copy of the help was built without the real series)" % synthetic)
    for code, name, rule, shows, meaning, follow in SIGNALS:
        found = example(code, sources)
        if found is None:
            picture_of = (None, "%s does not occur in %s with %d bars before it and %d after: there is no "
                                "picture of it." % (name, searched, BARS_BEFORE, BARS_AFTER))
        else:
            (series, path, _, _, series_dates), bar = found
            svg = page_name(code) + ".svg"
            picture(msxhost, plugin, path, os.path.join(out, svg), bar + 8, mark=bar)
            caption = "%s, daily bars: %s on %s." % (series[:1].upper() + series[1:], name, series_dates[bar])
            if paths and path == data:
                caption += " It does not occur in the fifteen real series with %d bars before it and %d after." % (
                    BARS_BEFORE, BARS_AFTER)
            picture_of = (svg, caption)
        body = signal_body(code, name, rule, shows, meaning, follow, BACKGROUND[code], picture_of)
        body += "<h2>Out of sample</h2>" + verdict_section(code, real_rows)
        pages[page_name(code)] = (name, body)

    indicator_links = "".join('<li><a href="%s.htm">%s</a></li>' % (n, html.escape(t))
                              for n, t, *_ in INDICATORS)
    strength = "".join("<li>%s</li>" % signal_link(c, n) for c, n, *_ in SIGNALS if c > 0)
    weakness = "".join("<li>%s</li>" % signal_link(c, n) for c, n, *_ in SIGNALS if c < 0)
    pages["none"] = ("Barsight help", (
        "<h1>Barsight help</h1><p>Volume spread analysis for MetaStock and MetaTrader.</p>"
        "<h2>Indicators</h2><ul>%s</ul><h2>Signs of strength</h2><ul>%s</ul>"
        "<h2>Signs of weakness</h2><ul>%s</ul>"
        "<h2>On a MetaTrader chart</h2><p>BarsightVSA draws each signal with its own glyph, colour "
        "and label, strength below the bar and weakness above it; a legend in the lower left corner "
        "lists the signals of the visible bars with their counts. A provisional signal (the newest "
        "closed bar) is drawn dimmer.</p><table>%s</table>"
        '<p><a href="BarsightVolume.htm">The volume pane</a> (BarsightVolume) and its colours.</p>'
        "<h2>Does it work on my market?</h2><p>Each signal can be tested on your own data: export "
        "your watchlist's daily bars as CSV files (date,open,high,low,close,volume) and run, from "
        "the Barsight program folder:</p><p><code>tools\\msxhost.exe evaluate "
        "tools\\BarsightPlugin.dll --data AAA.csv --data BBB.csv --svg evaluate.svg</code></p>"
        "<p>For each signal and 1, 5, 10 and 20 bars later it shows the average return after "
        "the signal, entering at the first open after the signal is known, against the average "
        "of every bar of the same files, and a 95%% interval for the difference. A signal whose "
        "interval lies clear of zero on many files has meant something on your markets; about "
        "1 interval in 20 excludes zero by chance alone, so each figure also comes adjusted for every "
        "signal and horizon tested at once.</p>%s"
        '<p class="note">The pictures are SVG images: Internet Explorer 8 and older cannot show '
        "them. The help window shows them with Internet Explorer 9 or later installed.</p>") % (
        indicator_links, strength, weakness, legend_rows(set(LOOK)), real_section(real_rows)))
    pages["BarsightVolume"] = ("Barsight volume pane", VOLUME_PAGE)

    for name, (title, body) in pages.items():
        with open(os.path.join(out, name + ".htm"), "w", encoding="utf-8", newline="\n") as f:
            f.write(HEAD.format(title=html.escape(title)) + body + "\n" + FOOT)


if __name__ == "__main__":
    main()
