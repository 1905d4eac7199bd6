#!/usr/bin/env python3
"""Checks the MetaStock recipes (Expert and Exploration) of the kit:
- they are what generators/make_metastock_recipes.py makes of the signal table
  now (no stale recipe after a changed rule or code);
- every engine code has exactly one Symbol, and the WriteIf chains name the
  signals exactly as the table does;
- every formula stays within the host language's ExtFml, If, WriteIf, Ref,
  Mov, comparisons, * , And, Or, the price arrays C and V, the Explorer's
  column names, variables (name := ...;), numbers, quoted texts and comments
  in braces;
- WriteIf (text) appears only in an Expert's commentary: the Explorer's
  columns and every condition and filter hold numbers;
- the Exploration's filters refer to its columns instead of repeating them;
- the "high volume" Highlight flags, on the sample data, the bars the
  engine calls high volume (at least 1.5 times the mean volume of the 9
  bars before), the formula evaluated as the host would;
- every ExtFml names a function of the built plug-in with its argument count.

usage: check_recipes.py SOURCE_ROOT MSXHOST PLUGIN"""
import os
import re
import struct
import subprocess
import sys
import tempfile

root, msxhost, plugin = sys.argv[1:4]
sys.path.insert(0, os.path.join(root, "generators"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from signal_table import SIGNALS  # noqa: E402
from check_formulas import catalogue, split_args  # noqa: E402

RECIPES = ["Barsight expert.txt", "Barsight exploration.txt"]
failures = []


def fail(text):
    failures.append(text)


# 1. Generated from the table as it is now.
with tempfile.TemporaryDirectory() as work:
    subprocess.run([sys.executable, os.path.join(root, "generators", "make_metastock_recipes.py"), work],
                   check=True)
    for name in RECIPES:
        shipped = open(os.path.join(root, "kit", "MetaStock", name), "rb").read()
        if open(os.path.join(work, name), "rb").read() != shipped:
            fail("%s is stale: run generators/make_metastock_recipes.py" % name)

# 2. The table itself is checked against the engine's README, and the lists
# made from it, by check_signals.py.
table_codes = sorted(code for code, *_ in SIGNALS)

# 3-5. The formulas.
TOKEN = re.compile(r'\s+|"[^"]*"|-?\d+(?:\.\d+)?|:=|<>|<=|>=|[=<>(),;*]|\w+')
WORDS = {"ExtFml", "If", "WriteIf", "Ref", "Mov", "S", "And", "Or", "C", "V"} | \
    {"Col" + c for c in "ABCDEFGHIJKL"}


def check_syntax(formula, where):
    text = re.sub(r"\{[^}]*\}", " ", formula)
    variables = set(re.findall(r"(\w+)\s*:=", text))
    pos, depth = 0, 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            fail("%s: %r is not in the host's formula language" % (where, text[pos:pos + 20]))
            return
        tok = m.group(0)
        if re.fullmatch(r"\w+", tok) and not re.fullmatch(r"-?\d+", tok) and tok not in WORDS \
                and tok not in variables:
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
highlights = []
for name in RECIPES:
    text = open(os.path.join(root, "kit", "MetaStock", name), encoding="utf-8").read()
    lines = text.splitlines()
    section = ""
    for line_no, line in enumerate(lines, 1):
        if line_no < len(lines) and re.fullmatch(r"-{3,}", lines[line_no]):
            section = line.strip()
        m = re.match(r"(Condition|Formula): (.*)$", line)
        if not m:
            continue
        formula = m.group(2)
        where = "%s:%d" % (name, line_no)
        formulas += 1
        check_syntax(formula, where)
        if "WriteIf" in formula and not (name == "Barsight expert.txt" and section == "Commentary"):
            fail("%s: WriteIf makes text, which only an Expert's commentary shows" % where)
        if section == "Filters" and "ExtFml" in formula:
            fail("%s: a filter refers to the columns (ColA ...), not a repeated ExtFml" % where)
        if section == "Highlights":
            highlights.append((where, formula))
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

# No text of the kit calls the provisional bar final.
for rel in ["kit/INSTALL.md", "kit/MetaStock/Barsight expert.txt",
            "kit/MetaStock/Barsight exploration.txt", "generators/make_help_pages.py",
            "generators/make_metastock_recipes.py"]:
    text = re.sub(r"\s+", " ", open(os.path.join(root, rel), encoding="utf-8").read())
    if "known once the next bar has closed" in text:
        fail("%s: says a signal is known once the next bar has closed, which makes "
             "Ref(..., -1) look final; it is provisional" % rel)

# The high-volume Highlight against the engine's definition on the sample data.


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


class Series:
    """A host series: one float (single precision, as the host keeps them) or
    None (not defined yet) per bar."""

    def __init__(self, values):
        self.v = list(values)

    @staticmethod
    def lift(x, n):
        return x if isinstance(x, Series) else Series([float(x)] * n)

    def zip(self, other, op):
        other = Series.lift(other, len(self.v))
        return Series(None if a is None or b is None else op(a, b) for a, b in zip(self.v, other.v))

    def __mul__(self, o): return self.zip(o, lambda a, b: f32(a * b))
    __rmul__ = __mul__
    def __ge__(self, o): return self.zip(o, lambda a, b: float(a >= b))
    def __gt__(self, o): return self.zip(o, lambda a, b: float(a > b))
    def __le__(self, o): return self.zip(o, lambda a, b: float(a <= b))
    def __lt__(self, o): return self.zip(o, lambda a, b: float(a < b))


def host_if(cond, a, b):
    n = len(cond.v)
    a, b = Series.lift(a, n), Series.lift(b, n)
    return Series(None if c is None else (x if c else y) for c, x, y in zip(cond.v, a.v, b.v))


def host_ref(series, shift):
    n = len(series.v)
    return Series(series.v[i + shift] if 0 <= i + shift < n else None for i in range(n))


def host_mov(series, periods, kind):
    out = []
    for i in range(len(series.v)):
        window = series.v[i - periods + 1:i + 1] if i + 1 >= periods else None
        out.append(None if not window or None in window else f32(sum(window) / periods))
    return Series(out)


def evaluate(formula, columns):
    """The formula (statements joined by ";", variables set with :=) on
    the chart's columns, as the host evaluates it bar by bar."""
    names = dict(columns, If=host_if, Ref=host_ref, Mov=host_mov, S="S")
    value = None
    for statement in formula.split(";"):
        statement = statement.strip()
        target = None
        if ":=" in statement:
            target, statement = [part.strip() for part in statement.split(":=", 1)]
        if re.search(r"\b(And|Or)\b", statement):
            raise ValueError("And/Or are not evaluated here")
        python = re.sub(r"(?<![<>:!])=", "==", statement.replace("<>", "!="))
        value = eval(python, {"__builtins__": {}}, names)  # noqa: S307 (our own recipe text)
        if target:
            names[target] = value
    return value


rows = [line.split(",") for line in open(os.path.join(root, "data", "sample_ohlcv.csv"))
        .read().split("\n")[1:] if line]
volume = [f32(float(r[5])) for r in rows]
columns = {"V": Series(volume), "C": Series(f32(float(r[4])) for r in rows)}
seen = [1.0 if v < 0.0001 else v for v in volume]  # what VSAInd passes the engine
N = 9
if not highlights:
    fail("no Highlight found")
for where, formula in highlights:
    try:
        flagged = evaluate(formula, columns).v
    except Exception as e:  # a formula the evaluator cannot read is a failure too
        fail("%s: cannot evaluate %r: %s" % (where, formula, e))
        continue
    differ = []
    for t in range(N, len(rows)):
        mean = sum(seen[t - N:t]) / N
        engine = seen[t] >= 1.5 * mean and seen[t] > 0
        if abs(seen[t] - 1.5 * mean) <= 1e-5 * seen[t]:
            continue  # a tie at the threshold: float and double may differ
        if bool(flagged[t]) != engine:
            differ.append(t)
    if differ:
        fail("%s: the highlight and the engine's high volume differ on %d bars (first: bar %d)"
             % (where, len(differ), differ[0]))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d recipe formulas checked" % formulas)
