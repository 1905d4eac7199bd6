#!/usr/bin/env python3
"""The signal table (scripts/signal_table.py) is the one source of the
signals: this checks every other place that names them against it:
- the engine's Signal enum (engine/analyzer.h): the same codes;
- the rule table of engine/README.md: the same names, codes and conditions;
- the chart's signal names (tools/msxhost/chart_svg.cpp);
- the MQL4 include's constants (BARSIGHT_<NAME> = code);
- the names, labels, glyphs and colours of the MetaTrader kit's BarsightSignals.mqh.

usage: check_signals.py SOURCE_ROOT"""
import os
import re
import sys

root = sys.argv[1]
sys.path.insert(0, os.path.join(root, "scripts"))
from signal_table import LOOK, SIGNALS  # noqa: E402


def read(*path):
    return open(os.path.join(root, *path), encoding="utf-8").read()


failures = []
table = {code: (name, rule) for code, name, rule, *_ in SIGNALS}

engine = read("engine", "analyzer.h")
enum = engine[engine.index("enum Signal"):]
enum = enum[:enum.index("};")]
engine_codes = sorted(int(v) for v in re.findall(r"=\s*(-?\d+)", enum) if int(v) != 0)
if engine_codes != sorted(table):
    failures.append("the engine's codes %s, the table's %s" % (engine_codes, sorted(table)))

rules = {int(m.group(2)): (m.group(1), m.group(3)) for m in re.finditer(
    r"^\| \d+ \| ([^|]+?) \| (-?\d+) \| ([^|]+?) \|$", read("engine", "README.md"), re.M)}
if rules != table:
    for code in sorted(set(rules) | set(table)):
        if rules.get(code) != table.get(code):
            failures.append("engine/README.md has %s for code %d, the table %s" %
                            (rules.get(code), code, table.get(code)))

chart = {int(c): n for c, n in re.findall(r'case (-?\d+): return "([^"#][^"]*)";',
                                          read("tools", "msxhost", "chart_svg.cpp"))}
for code, (name, _) in table.items():
    if chart.get(code) != name:
        failures.append("the chart names code %d %r, the table %r" % (code, chart.get(code), name))

mqh = {m.group(1): int(m.group(2)) for m in re.finditer(
    r"^#define BARSIGHT_(\w+)\s+(-?\d+)", read("kit", "MQL4", "Include", "BarsightPlugin.mqh"), re.M)}
for code, (name, _) in table.items():
    constant = re.sub(r"\W+", "_", name.upper())
    if mqh.get(constant) != code:
        failures.append("BarsightPlugin.mqh: BARSIGHT_%s is %s, the table says %d" %
                        (constant, mqh.get(constant), code))

# The MetaTrader kit's signal table (BarsightSignals.mqh): each signal's
# name, label, Wingdings glyph and colour, as the one table gives them.
signals_mqh = read("kit", "Shared", "Include", "BarsightSignals.mqh")
WEB_COLOURS = {"clrLimeGreen": "#32CD32", "clrDeepSkyBlue": "#00BFFF", "clrDodgerBlue": "#1E90FF",
               "clrSpringGreen": "#00FF7F", "clrAqua": "#00FFFF", "clrSeaGreen": "#2E8B57",
               "clrRed": "#FF0000", "clrOrange": "#FFA500", "clrGold": "#FFD700", "clrMagenta": "#FF00FF"}


def mqh_function(name):
    body = signals_mqh[signals_mqh.index(name + "(int code)"):]
    body = body[:body.index("\n  }")]
    return {mqh.get(c): v for c, v in re.findall(r'case BARSIGHT_(\w+):\s*return\(("[^"]*"|\w+)\);', body)}


names, labels = mqh_function("BarsightSignalName"), mqh_function("BarsightSignalLabel")
glyphs, colours = mqh_function("BarsightSignalGlyph"), mqh_function("BarsightSignalColor")
for code, (name, _) in table.items():
    label, glyph, colour, _ = LOOK[code]
    got = (names.get(code), labels.get(code), glyphs.get(code), WEB_COLOURS.get(colours.get(code)))
    if got != ('"%s"' % name, '"%s"' % label, str(glyph), colour):
        failures.append("BarsightSignals.mqh draws code %d as %s, the table as %s" %
                        (code, got, (name, label, glyph, colour)))
for found in (names, labels, glyphs, colours):
    if set(found) - set(table):
        failures.append("BarsightSignals.mqh names codes the table lacks: %s" % sorted(set(found) - set(table)))
if set(LOOK) != set(table):
    failures.append("the look table and the signal table list different codes")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d signals agree everywhere" % len(table))
