#!/usr/bin/env python3
"""The signal table (scripts/signal_table.py) is the one source of the
signals, and every list of them is made from it:
- the MetaTrader kit's includes scripts/make_signals.py makes (they ship as
  source, so they are committed) are what the table makes now, and the
  check finds a stale one;
- the generator refuses a table it cannot make sound lists from;
- the rule table of engine/README.md has the table's names, codes,
  conditions and order;
- no other hand-written source file spells a signal's name.

usage: check_signals.py SOURCE_ROOT"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

root = sys.argv[1]
sys.path.insert(0, os.path.join(root, "scripts"))
import make_signals  # noqa: E402
from signal_table import PRIORITY, SIGNALS  # noqa: E402

failures = []


def check(name, ok, detail=""):
    print("signals: %s: %s" % (name, "ok" if ok else "FAILED " + detail))
    if not ok:
        failures.append(name)


def read(*path):
    return open(os.path.join(root, *path), encoding="utf-8").read()


GENERATOR = os.path.join(root, "scripts", "make_signals.py")
MADE = (make_signals.MQL_TABLE, make_signals.MQL_INPUTS)
done = subprocess.run([sys.executable, GENERATOR, "--mql", "--check"], capture_output=True, text=True)
check("the committed MQL includes are what the table makes", done.returncode == 0, done.stderr.strip())
for path in MADE:
    first = read(path).split("\n", 1)[0]
    check("%s opens by saying it is generated" % path, first == "// " + make_signals.GENERATED, first)


def planted(edit):
    """A copy of the table, its generator and the committed includes, with
    `edit` made to the table's text; the generator's --check run on it."""
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "scripts"))
        for name in ("signal_table.py", "make_signals.py"):
            shutil.copy(os.path.join(root, "scripts", name), os.path.join(work, "scripts", name))
        for path in MADE:
            os.makedirs(os.path.dirname(os.path.join(work, path)), exist_ok=True)
            shutil.copy(os.path.join(root, path), os.path.join(work, path))
        table = os.path.join(work, "scripts", "signal_table.py")
        text = open(table, encoding="utf-8").read()
        changed = edit(text)
        assert changed != text, "the planted edit changed nothing"
        open(table, "w", encoding="utf-8").write(changed)
        return subprocess.run([sys.executable, os.path.join(work, "scripts", "make_signals.py"), "--mql", "--check"],
                              capture_output=True, text=True)


# Each case: what is changed in the table, the edit, and what the check's
# refusal names.
STALE = [
    ("a name changed", lambda t: t.replace('(-5, "Upthrust"', '(-5, "Up thrust"'),
     "BarsightSignalTable.mqh, kit/Shared/Include/BarsightSignalInputs.mqh"),
    ("a colour changed", lambda t: t.replace('"#FFA500", "\\u21e9"', '"#FF0000", "\\u21e9"'), "BarsightSignalTable.mqh"),
    ("a label changed", lambda t: t.replace('-10: ("EF"', '-10: ("EFF"'), "BarsightSignalTable.mqh"),
    ("a signal added", lambda t: t.replace("SIGNALS = [", 'SIGNALS = [\n    (7, "Quiet", "x", "x", "x", "x"),')
     .replace("PRIORITY = (", "PRIORITY = (7, ").replace("LOOK = {", 'LOOK = {\n    7: ("Q", 108, "#FF0000", "x"),'),
     "BarsightSignalTable.mqh"),
]
for what, edit, named in STALE:
    done = planted(edit)
    check("a stale include is found: %s in the table" % what,
          done.returncode != 0 and named in done.stderr and "run scripts/make_signals.py" in done.stderr,
          "exit %d: %s" % (done.returncode, done.stderr.strip()))

# What the generator refuses, and what its message says.
REFUSED = [
    ("a code left out of the order", lambda t: t.replace("PRIORITY = (16, ", "PRIORITY = ("), "PRIORITY"),
    ("a code twice", lambda t: t.replace('(4, "Test"', '(3, "Test"'), "a code is listed twice"),
    ("code 0", lambda t: t.replace('(4, "Test"', '(0, "Test"'), "code 0 means no signal"),
    ("a signal without a look", lambda t: t.replace('    4: ("T", 225, "#00BFFF", "\\u2191"),', ""), "LOOK lists"),
    ("a colour MetaTrader has no name for", lambda t: t.replace('"#FFD700", "\\u25a0"', '"#FFD701", "\\u25a0"'),
     "colour #FFD701 has no MetaTrader name"),
    ("a quote in a name", lambda t: t.replace('"Shakeout"', '"Shake\\"out"'), "name 'Shake\"out'"),
]
for what, edit, said in REFUSED:
    done = planted(edit)
    check("the generator refuses %s" % what, done.returncode != 0 and said in done.stderr,
          "exit %d: %s" % (done.returncode, done.stderr.strip()))

# The rule table of engine/README.md: "| # | Signal | Code | Conditions |".
table = {code: (name, rule) for code, name, rule, *_ in SIGNALS}
rows = re.findall(r"^\| (\d+) \| ([^|]+?) \| (-?\d+) \| ([^|]+?) \|$", read("engine", "README.md"), re.M)
rules = {int(code): (name, rule) for _, name, code, rule in rows}
differ = ["code %d: README %s, the table %s" % (c, rules.get(c), table.get(c))
          for c in sorted(set(rules) | set(table)) if rules.get(c) != table.get(c)]
check("engine/README.md's rules have the table's names, codes and conditions", not differ, "; ".join(differ))
order = tuple(int(code) for _, _, code, _ in sorted(rows, key=lambda r: int(r[0])))
check("engine/README.md's rules are in the table's order", order == PRIORITY, "%s, the table %s" % (order, PRIORITY))

# A name spelled in a hand-written source file other than the table is a
# second list: a name of two words or more as the table spells it, a
# one-word name ("Test") as a quoted text. Tests and documents may name
# signals; generated files say so on their first line.
SOURCES = (".cpp", ".h", ".c", ".py", ".mqh", ".mq4", ".mq5", ".sh", ".cmake", ".exports")
SKIP = {"tests", "build", "data", ".git", "__pycache__"}
patterns = {name: re.compile(r"\b%s\b" % re.escape(name) if " " in name else r"[\"']%s[\"']" % re.escape(name))
            for _, name, *_ in SIGNALS}
found = {}
for folder, folders, files in os.walk(root):
    folders[:] = sorted(f for f in folders if f not in SKIP and not f.startswith("build"))
    for name in files:
        path = os.path.join(folder, name)
        relative = os.path.relpath(path, root)
        if not name.endswith(SOURCES) or relative == os.path.join("scripts", "signal_table.py"):
            continue
        try:
            text = open(path, encoding="utf-8").read()
        except (OSError, UnicodeDecodeError):
            continue
        if text.startswith("// Generated by ") or text.startswith("# Generated by "):
            continue
        for signal, pattern in patterns.items():
            if pattern.search(text):
                found.setdefault(relative, []).append(signal)
check("no hand-written source but the table spells a signal's name", not found,
      "; ".join("%s: %s" % (path, ", ".join(names)) for path, names in sorted(found.items())))

if failures:
    sys.exit("%d failed: %s" % (len(failures), ", ".join(failures)))
print("%d signals, one table" % len(SIGNALS))
