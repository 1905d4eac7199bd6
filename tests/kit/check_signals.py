#!/usr/bin/env python3
"""The signal table (scripts/signal_table.py) is the one source of the
signals: this checks every other place that names them against it:
- the engine's Signal enum (engine/analyzer.h): the same codes;
- the rule table of engine/README.md: the same names, codes and conditions;
- the chart's signal names (tools/msxhost/chart_svg.cpp);
- the MQL4 include's constants (BARSIGHT_<NAME> = code);
- the names BarsightVSA.mq4 gives its arrows' tooltips.

usage: check_signals.py SOURCE_ROOT"""
import os
import re
import sys

root = sys.argv[1]
sys.path.insert(0, os.path.join(root, "scripts"))
from signal_table import SIGNALS  # noqa: E402


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

# BarsightVSA's tooltips name each signal through the include's constants.
vsa = {mqh.get(c): n for c, n in re.findall(r'case BARSIGHT_(\w+):\s*return\("([^"]+)"\);',
                                           read("kit", "MQL4", "Indicators", "BarsightVSA.mq4"))}
for code, (name, _) in table.items():
    if vsa.get(code) != name:
        failures.append("BarsightVSA.mq4 names code %d %r, the table %r" % (code, vsa.get(code), name))
if set(vsa) - set(table):
    failures.append("BarsightVSA.mq4 names codes the table lacks: %s" % sorted(set(vsa) - set(table)))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d signals agree everywhere" % len(table))
