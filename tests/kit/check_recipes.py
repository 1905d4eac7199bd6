#!/usr/bin/env python3
"""Checks the MetaStock recipes (Expert and Exploration) of the kit:
- they are what scripts/make_metastock_recipes.py makes of the signal table
  now (no stale recipe after a changed rule or code);
- every engine code has exactly one Symbol, and the WriteIf chains name the
  signals exactly as the table does;
- every formula stays within the host language's ExtFml, If, WriteIf, Ref,
  =, <>, And, Or, the price arrays C and V, numbers, quoted texts and
  comments in braces;
- every ExtFml names a function of the built plug-in with its argument count.

usage: check_recipes.py SOURCE_ROOT MSXHOST PLUGIN"""
import os
import re
import subprocess
import sys
import tempfile

root, msxhost, plugin = sys.argv[1:4]
sys.path.insert(0, os.path.join(root, "scripts"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from signal_table import SIGNALS  # noqa: E402
from check_formulas import catalogue, split_args  # noqa: E402

RECIPES = ["Barsight expert.txt", "Barsight exploration.txt"]
failures = []


def fail(text):
    failures.append(text)


# 1. Generated from the table as it is now.
with tempfile.TemporaryDirectory() as work:
    subprocess.run([sys.executable, os.path.join(root, "scripts", "make_metastock_recipes.py"), work],
                   check=True)
    for name in RECIPES:
        shipped = open(os.path.join(root, "kit", "MetaStock", name), "rb").read()
        if open(os.path.join(work, name), "rb").read() != shipped:
            fail("%s is stale: run scripts/make_metastock_recipes.py" % name)

# 2. The table itself is checked against the engine, its README, the chart
# and the MQL4 include by check_signals.py.
table_codes = sorted(code for code, *_ in SIGNALS)

# 3-5. The formulas.
TOKEN = re.compile(r'\s+|"[^"]*"|-?\d+(?:\.\d+)?|<>|[=(),]|\w+')
WORDS = {"ExtFml", "If", "WriteIf", "Ref", "And", "Or", "C", "V"}


def check_syntax(formula, where):
    text = re.sub(r"\{[^}]*\}", " ", formula)
    pos, depth = 0, 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            fail("%s: %r is not in the host's formula language" % (where, text[pos:pos + 20]))
            return
        tok = m.group(0)
        if re.fullmatch(r"\w+", tok) and not re.fullmatch(r"-?\d+", tok) and tok not in WORDS:
            fail("%s: %s is not one of the functions the recipes may use" % (where, tok))
        depth += tok == "("
        depth -= tok == ")"
        if depth < 0:
            fail("%s: unbalanced parentheses" % where)
            return
        pos = m.end()
    if depth != 0:
        fail("%s: unbalanced parentheses" % where)


def extfml_calls(formula):
    """(plugin, function, argument count) of every ExtFml, nested ones included."""
    calls = []
    for m in re.finditer(r'ExtFml\("(\w+)\.(\w+)"', formula):
        depth, i = 1, formula.index("(", m.start()) + 1
        start = i
        while depth and i < len(formula):
            depth += formula[i] == "("
            depth -= formula[i] == ")"
            i += 1
        inner = formula[start:i - 1]
        args = split_args(inner)[1:]
        calls.append((m.group(1), m.group(2), len(args)))
    return calls


functions = catalogue(msxhost, plugin)
symbol_codes = []
names_in_chains = []
formulas = 0
for name in RECIPES:
    text = open(os.path.join(root, "kit", "MetaStock", name), encoding="utf-8").read()
    for line_no, line in enumerate(text.splitlines(), 1):
        m = re.match(r"(Condition|Formula): (.*)$", line)
        if not m:
            continue
        formula = m.group(2)
        where = "%s:%d" % (name, line_no)
        formulas += 1
        check_syntax(formula, where)
        for plug, function, count in extfml_calls(formula):
            if plug != "BarsightPlugin" or function not in functions:
                fail("%s: %s.%s is not in the plug-in's catalogue" % (where, plug, function))
            elif functions[function] != count:
                fail("%s: %s takes %d arguments, the formula passes %d" %
                     (where, function, functions[function], count))
        s = re.fullmatch(r'ExtFml\("BarsightPlugin\.VSAInd"\) = (-?\d+)', formula)
        if m.group(1) == "Condition" and s:
            symbol_codes.append(int(s.group(1)))
        if formula.startswith("WriteIf("):
            names = re.findall(r'"([^"]*)"', formula)[:-1]  # the last is the "none" text
            names_in_chains.append([n for n in names if not n.startswith("BarsightPlugin.")])

if sorted(symbol_codes) != table_codes or len(symbol_codes) != len(set(symbol_codes)):
    fail("Symbols for codes %s; every engine code needs exactly one" % sorted(symbol_codes))
table_names = [name for _, name, *_ in SIGNALS]
if not names_in_chains:
    fail("no WriteIf chain found")
for names in names_in_chains:
    if names != table_names:
        fail("a WriteIf chain names %s, the table %s" % (names, table_names))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d recipe formulas checked" % formulas)
