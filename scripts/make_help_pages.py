#!/usr/bin/env python3
"""Writes the help pages the help window shows, under kit/help/plugin/Inds1/:
none.htm, one page per indicator, and one per signal (SOS<code> for strength,
SOW<code> for weakness, the names ShowDialog accepts after a ";")."""
import html
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from signal_table import SIGNALS, page_name  # noqa: E402

INDICATORS = {
    "VSAMakeConst": ("VSA Make Constant", "A horizontal line at a whole-number level: ExtFml(\"BarsightPlugin.VSAMakeConst\", Bars)."),
    "VSATrend": ("VSA Trend", "The simple moving average of the typical price (high + low + close) / 3 over Periods bars."),
    "VSAVolStops": ("VSA Vol Stops", "A stop line Multiplier x ATR below the close while the market is long, above it while short; it flips when the close crosses it."),
    "VSASpread": ("VSA Spread", "Class 0 to 6 of each bar's volume (Mode 0) or range (Mode 1) against its average over Periods bars: 0 nothing, 1 very low, 3 about average, 6 more than twice the average."),
    "VSAInd": ("VSA Indicators", "The volume spread analysis signals of the Spreadcore engine: positive codes are strength, negative codes weakness."),
}

PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{title}</title>
<style>body{{font-family:"Lucida Console",monospace;font-size:11px;margin:8px;color:#1a237e}}
h1{{font-size:14px}}p{{color:#222}}</style></head>
<body><h1>{title}</h1><p>{text}</p>{extra}<p><a href="none.htm">Barsight help</a></p></body></html>
"""


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit", "help", "plugin", "Inds1")
    os.makedirs(root, exist_ok=True)
    pages = {}
    links = "".join('<li><a href="%s.htm">%s</a></li>' % (n, html.escape(t)) for n, (t, _) in INDICATORS.items())
    signal_links = ""
    for code, name, text in SIGNALS:
        page = page_name(code)
        pages[page] = (name, "%s (code %d). %s" % (name, code, text), "")
        signal_links += '<li><a href="%s.htm">%s</a></li>' % (page, html.escape(name))
    for name, (title, text) in INDICATORS.items():
        pages[name] = (title, text, "<ul>%s</ul>" % signal_links if name == "VSAInd" else "")
    pages["none"] = ("Barsight help", "Choose an indicator or a signal.",
                     "<ul>%s</ul><ul>%s</ul>" % (links, signal_links))
    for name, (title, text, extra) in pages.items():
        with open(os.path.join(root, name + ".htm"), "w", newline="\n") as f:
            f.write(PAGE.format(title=html.escape(title), text=html.escape(text), extra=extra))


if __name__ == "__main__":
    main()
