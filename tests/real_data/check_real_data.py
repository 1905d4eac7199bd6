#!/usr/bin/env python3
"""The signals and `evaluate` on real markets (scripts/real_data.py's fifteen
daily series: S&P 500, Apple, Google, Microsoft, and eleven Chinese indices,
stocks and index futures).

- VSAInd's codes through msxhost equal the arrows BarsightVSA draws in
  mql4run, in MQL4 and in MQL5, on every series (the 32-bit DLL is compared
  with the native library on the same series in the win32 lane's smoke run).
- `msxhost evaluate --csv` on the fifteen series equals a computation written
  here from the definitions alone: for each code and horizon the cases, mean,
  median and hit rate of the returns from the open two bars after the signal
  to the close h + 1 bars after it, and each case's baseline: its own file's
  mean return at that horizon and its share of bars moving the signal's way. The host passes prices to the plug-in and to evaluate in single
  precision, so the computation here rounds each price to a float first;
  the CSV prints 6 significant digits, so figures agree within 1e-5
  relative (and 1e-9 absolute for values near zero).

- The help pages give each signal's verdict (generators/verdict.py) from a run
  on the series they were made from (README_SERIES) split at 2010-01-01,
  the period from that date, and each signal's picture is of its middle
  occurrence on the first of those series with 30 bars before it and 10
  after, captioned with the series and the date.

- The README's table of verdicts is what a run on README_SERIES split at
  2010-01-01 and a run on MINUTE_SERIES give now, and its prose's figures
  (cells, smallest adjusted p) too, so none can go stale unnoticed.

usage: check_real_data.py MSXHOST PLUGIN MQL4RUN LIBRARIES REAL_DATA_PY HELP_DIR [README] [--sanitized]"""
import csv
import html
import os
import re
import struct
import subprocess
import sys
import tempfile

# --sanitized: a sanitizer's build, where the verdict runs (two evaluate runs
# of 2,000 replicates) take ten times as long and reach no code the checks
# before them have not; the native build checks the verdicts.
sanitized = "--sanitized" in sys.argv
args = [a for a in sys.argv[1:] if a != "--sanitized"]
msxhost, plugin, mql4run, libraries, real_data, help_dir = args[0:6]
readme = args[6] if len(args) > 6 else None
work = tempfile.mkdtemp(prefix="real-data-")
failures = []

# Every daily series real_data.py gives, and the ones (in the order of their
# run) the README's evidence table and the help pages' figures come from.
DAILY_SERIES = ("SP500", "AAPL", "GOOG", "MSFT", "SSE", "SZSE", "CSI300", "SZSME", "CHINEXT", "PAB", "SPDB",
                "COMPLANT", "IFC", "ICC", "IMC")
README_SERIES = DAILY_SERIES
# The one-minute series real_data.py --minutes adds.
MINUTE_SERIES = ("SSE", "SZSE", "CSI300", "SZSME", "CHINEXT", "PAB", "SPDB", "COMPLANT", "IFC", "ICC", "IMC")


def check(name, condition, detail=""):
    print("real data: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


# When npm cannot pack a package, its own reason is in the message: an npm
# that fails as the registry's 404 does (and, as npm, says nothing when told
# --silent), first on PATH, and an empty cache.
fake_bin = os.path.join(work, "fake-npm")
os.makedirs(fake_bin)
with open(os.path.join(fake_bin, "npm"), "w") as f:
    f.write("#!/bin/sh\nfor a in \"$@\"; do case $a in --silent|--loglevel=silent) exit 1 ;; esac; done\n"
            "echo 'npm error code E404' >&2\n"
            "echo \"npm error 404 Not Found - GET https://registry.invalid/$2 - Not found\" >&2\n"
            "echo 'npm error A complete log of this run can be found in: /nowhere/debug.log' >&2\nexit 1\n")
os.chmod(os.path.join(fake_bin, "npm"), 0o755)
made = subprocess.run([sys.executable, real_data, "--cache", os.path.join(work, "empty-cache")],
                      capture_output=True, text=True, timeout=900,
                      env=dict(os.environ, PATH=fake_bin + os.pathsep + os.environ["PATH"]))
check("a failing npm pack is reported with npm's own reason",
      made.returncode == 1 and "npm pack vega-datasets@3.2.1 failed (exit status 1): npm error code E404 | "
      "npm error 404 Not Found - GET https://registry.invalid/vega-datasets@3.2.1" in made.stderr, made.stderr)

made = subprocess.run([sys.executable, real_data], capture_output=True, text=True, timeout=900)
series = {line.split()[0]: line.split()[1] for line in made.stdout.splitlines()}
check("the %d real daily series from their packages (%s)" % (len(series), ", ".join(sorted(series))),
      made.returncode == 0 and sorted(series) == sorted(DAILY_SERIES), made.stderr.strip())
if made.returncode != 0 or sorted(series) != sorted(DAILY_SERIES):
    sys.exit("real data: %s" % made.stderr.strip())

# With --minutes the daily lines come first, as they were, then a line of
# the same five fields for each one-minute series, whose dates carry the time.
with_minutes = subprocess.run([sys.executable, real_data, "--minutes"], capture_output=True, text=True, timeout=900)
lines = with_minutes.stdout.splitlines()
daily = made.stdout.splitlines()
minutes = [line.split() for line in lines[len(daily):]]
stamps = [open(fields[1]).readlines()[1].split(",")[0] for fields in minutes if len(fields) == 5]
check("with --minutes, the %d one-minute series follow the daily ones" % len(minutes),
      with_minutes.returncode == 0 and lines[:len(daily)] == daily
      and sorted(fields[0] for fields in minutes) == sorted(MINUTE_SERIES)
      and all(len(fields) == 5 and os.path.basename(os.path.dirname(fields[1])) == "minute" for fields in minutes)
      and len(stamps) == len(MINUTE_SERIES) and all(len(s) == 16 and s[10] == " " for s in stamps),
      with_minutes.stderr.strip()[-300:] + str(minutes[:2]) + str(stamps[:2]))


def vsaind(path):
    done = subprocess.run([msxhost, "run", plugin, "VSAInd", "--data", path], capture_output=True, text=True)
    rows = [line.split(",") for line in done.stdout.splitlines()[2:]]
    return [(r[1], int(float(r[2]))) for r in rows]


def arrows(stdout):
    found = []
    for line in stdout.splitlines():
        parts = line.split("\t")
        name = parts[1] if parts[0] == "object" and len(parts) > 2 else ""
        if name.startswith("Barsight;S") and not name.endswith(";label"):
            page = name.split(";")[1]
            found.append((parts[2], int(page[3:]) * (1 if page.startswith("SOS") else -1)))
    return found


codes = {}
for symbol, path in sorted(series.items()):
    codes[symbol] = vsaind(path)
    reference = [(d, c) for d, c in codes[symbol] if c != 0]
    for program in ("BarsightVSA.mq4", "BarsightVSA.mq5"):
        done = subprocess.run([mql4run, program, "--data", path, "--libraries", libraries, "--input", "MaxBars=0",
                               "--input", "VisibleObjectsOnly=false"],
                              capture_output=True, text=True, timeout=600)
        check("%s on %s draws VSAInd's codes (%d signals)" % (program, symbol, len(reference)),
              done.returncode == 0 and arrows(done.stdout) == reference and reference, done.stderr[-300:])

# --- evaluate against the definitions ---------------------------------------------
def f32(text):
    return struct.unpack("f", struct.pack("f", float(text)))[0]


horizons = (1, 5, 10, 20)
# Each case against its own file's mean return at the horizon: the case's
# return, its file's mean and its file's share of bars moving each way.
cases = {}
for symbol, path in sorted(series.items()):
    rows = list(csv.reader(open(path)))[1:]
    opens = [f32(r[1]) for r in rows]
    closes = [f32(r[4]) for r in rows]
    for h in horizons:
        returns = [(closes[t + 1 + h] / opens[t + 2] - 1.0) * 100.0 for t in range(len(rows)) if t + 1 + h < len(rows)]
        mean = sum(returns) / len(returns)
        up = sum(1 for r in returns if r > 0) / len(returns)
        down = sum(1 for r in returns if r < 0) / len(returns)
        for t, r in enumerate(returns):
            code = codes[symbol][t][1]
            if code != 0:
                cases.setdefault((code, h), []).append((r, mean, up if code > 0 else down))


def median(values):
    s = sorted(values)
    n = len(s)
    return s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) / 2


out_csv = os.path.join(work, "real.csv")
done = subprocess.run([msxhost, "evaluate", plugin] + sum((["--data", p] for _, p in sorted(series.items())), []) +
                      ["--csv", out_csv, "--bootstrap", "200"], capture_output=True, text=True, timeout=900)
got = {(int(r["code"]), int(r["horizon"])): r for r in csv.DictReader(open(out_csv))} if done.returncode == 0 else {}


def close_to(text, value):
    return text != "" and abs(float(text) - value) <= max(1e-5 * abs(value), 1e-9)


wrong = []
for (code, h), found in sorted(cases.items()):
    row = got.get((code, h))
    returns = [r for r, _, _ in found]
    if row is None or int(row["cases"]) != len(returns):
        wrong.append((code, h, "cases", row and row["cases"], len(returns)))
        continue
    if row["mean_pct"] == "":
        continue  # no statistics below the minimum cases or episodes
    hits = sum(1 for r in returns if (r > 0 if code > 0 else r < 0)) / len(returns)
    base_mean = sum(m for _, m, _ in found) / len(found)
    base_hits = sum(share for _, _, share in found) / len(found)
    mean = sum(returns) / len(returns)
    for name, value in (("mean_pct", mean), ("median_pct", median(returns)), ("hit_rate_frac", hits),
                        ("base_mean_pct", base_mean), ("base_hit_rate_frac", base_hits), ("diff_pct", mean - base_mean)):
        if not close_to(row[name], value):
            wrong.append((code, h, name, row[name], value))
for (code, h), row in got.items():
    if int(row["cases"]) != len(cases.get((code, h), [])):
        wrong.append((code, h, "cases", row["cases"], len(cases.get((code, h), []))))
with_stats = sum(1 for row in got.values() if row["mean_pct"] != "")
check("evaluate on the %d series equals the definitions (%d cells, %d with statistics)"
      % (len(series), len(cases), with_stats),
      done.returncode == 0 and not wrong and with_stats >= 8, str(wrong[:4]) + done.stderr[-200:])

# --- where traders read: the help pages and the README, from README_SERIES ------------
if sanitized:
    if failures:
        sys.exit("real data: %d checks failed: %s" % (len(failures), ", ".join(failures)))
    print("real data: all checks passed (the verdict runs are the native build's)")
    sys.exit(0)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "generators"))
import verdict  # noqa: E402
from make_help_pages import REAL_SERIES  # noqa: E402
from signal_table import SIGNALS, page_name  # noqa: E402

# The runs as the README states them (2,000 replicates, seed 1), in README_SERIES' order
# and MINUTE_SERIES' order.
split_csv = os.path.join(work, "split.csv")
done = subprocess.run([msxhost, "evaluate", plugin] + sum((["--data", series[s]] for s in README_SERIES), []) +
                      ["--split", "2010-01-01", "--csv", split_csv], capture_output=True, text=True, timeout=900)
after = verdict.by_code(csv.DictReader(open(split_csv)), "after") if done.returncode == 0 else {}
minute_paths = {fields[0]: fields[1] for fields in minutes if len(fields) == 5}
minute_csv = os.path.join(work, "minute.csv")
done_minutes = subprocess.run([msxhost, "evaluate", plugin] +
                              sum((["--data", minute_paths.get(s, s)] for s in MINUTE_SERIES), []) +
                              ["--csv", minute_csv], capture_output=True, text=True, timeout=900)
on_minutes = verdict.by_code(csv.DictReader(open(minute_csv))) if done_minutes.returncode == 0 else {}
check("the runs for the verdicts", done.returncode == 0 and done_minutes.returncode == 0 and after and on_minutes,
      done.stderr[-200:] + done_minutes.stderr[-200:])

pages = os.path.join(help_dir, "plugin", "Inds1")
index = open(os.path.join(pages, "none.htm"), encoding="utf-8").read()
names = dict(REAL_SERIES)
wrong_pages = []
for code, name, *_ in SIGNALS:
    text = open(os.path.join(pages, page_name(code) + ".htm"), encoding="utf-8").read()
    words = verdict.words(code, after.get(code, []), verdict.FEW_AFTER_SPLIT)
    if "<b>%s</b>" % html.escape(words) not in text:
        wrong_pages.append((code, "verdict", words))
    # The picture: the middle occurrence with room around it on the first series that has one.
    expected = None
    for symbol in README_SERIES:
        bars = [i for i, (_, c) in enumerate(codes[symbol]) if c == code and 30 <= i < len(codes[symbol]) - 10]
        if bars:
            expected = "%s, daily bars: %s on %s." % (names[symbol], name, codes[symbol][bars[len(bars) // 2]][0])
            break
    if expected is None and "does not occur in the fifteen real series" not in text:
        wrong_pages.append((code, "picture", "occurs in no real series"))
    elif expected is not None and html.escape(expected) not in text:
        wrong_pages.append((code, "picture", expected))
check("the help pages give each signal's verdict after 2010 and its picture from a real series",
      "On fifteen real markets" in index and os.path.exists(os.path.join(pages, "real-markets-after.svg"))
      and not wrong_pages, str(wrong_pages[:3]))

if readme:
    text = open(readme, encoding="utf-8").read()
    section = text[text.index("### Evidence on real markets"):]
    section = section[:section.index("\n## ")]
    table = [line for line in section.splitlines() if line.startswith("|")]
    expected = verdict.readme_table(SIGNALS, after, on_minutes)
    stale = [(got, want) for got, want in zip(table, expected) if got != want]
    check("the README's table of verdicts is what the runs give (%d rows)" % (len(table) - 2),
          table == expected, str(stale[:2] or (len(table), len(expected))))
    # The prose's figures: the daily cells with statistics and the smallest adjusted p of each run.
    def cells(rows):
        return [r for found in rows.values() for r in found if r["p_adjusted"] != ""]
    daily_cells, minute_cells = cells(after), cells(on_minutes)
    said = {}
    for run, cells_of_run in (("daily", daily_cells), ("minute", minute_cells)):
        said[run + " cells"] = "(%d cells)" % len(cells_of_run)
        said[run + " smallest adjusted p"] = "smallest adjusted p is %.2f" % min(
            (float(r["p_adjusted"]) for r in cells_of_run), default=1)
    prose = re.sub(r"\s+", " ", section)
    missing = [what for what, words in said.items() if words not in prose]
    check("the README's prose gives the runs' figures", not missing, str([(w, said[w]) for w in missing]))

if failures:
    sys.exit("real data: %d checks failed: %s" % (len(failures), ", ".join(failures)))
print("real data: all checks passed")
