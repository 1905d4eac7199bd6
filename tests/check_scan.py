"""msxhost scan against msxhost run: for each function and each bar offset,
the scan's row for every file equals run's value at that bar (empty where
run has none), in the order the files were given.

usage: check_scan.py MSXHOST PLUGIN SAMPLE.csv
"""
import csv
import io
import math
import os
import random
import subprocess
import sys
import tempfile

host, plugin, sample = sys.argv[1:4]


def run(args):
    return subprocess.run([host] + args, capture_output=True, text=True)


def run_values(function, extra, path):
    """bar -> (date, value) from msxhost run; dates of every row of the file."""
    r = run(["run", plugin, function, "--data", path] + extra)
    values = {}
    lines = r.stdout.splitlines()
    if "bar,date,value" in lines:
        for row in csv.reader(lines[lines.index("bar,date,value") + 1:]):
            values[int(row[0])] = row[2]
    return r.returncode, values


def series(path, bars, seed, flat=False):
    rng = random.Random(seed)
    price = 50.0
    with open(path, "w") as f:
        f.write("date,open,high,low,close,volume\n")
        for i in range(bars):
            move = 0 if flat else rng.uniform(-1.5, 1.5)
            o, c = price, price + move
            h, l = max(o, c) + rng.uniform(0, 1), min(o, c) - rng.uniform(0, 1)
            v = 0 if flat else int(rng.uniform(100, 5000))
            f.write(f"2021-{i // 28 % 12 + 1:02d}-{i % 28 + 1:02d},{o:.3f},{h:.3f},{l:.3f},{c:.3f},{v}\n")
            price = c


failures = 0
with tempfile.TemporaryDirectory() as work:
    files = [sample]
    for k, (bars, flat) in enumerate([(40, False), (300, False), (25, True), (1, False)]):
        path = os.path.join(work, f"series {k}.csv")  # a space in the name
        series(path, bars, k, flat)
        files.append(path)
    cases = [("VSAInd", []), ("VSATrend", ["--num", "20"]), ("VSASpread", ["--num", "0", "--num", "30"]),
             ("VSAVolStops", ["--num", "2.5", "--array", "atr:14"])]
    dates = {}
    for path in files:
        with open(path) as f:
            rows = [r for r in csv.reader(f)][1:]
        dates[path] = [r[0] for r in rows]
    for function, extra in cases:
        runs = {path: run_values(function, extra, path) for path in files}
        for ago in (0, 1, 5, 35):
            args = ["scan", plugin, function] + extra + ["--ago", str(ago)]
            for path in files:
                args += ["--data", path]
            r = run(args)
            rows = list(csv.reader(io.StringIO(r.stdout)))
            if rows[0] != ["file", "date", "value"] or len(rows) != len(files) + 1:
                print(f"FAIL {function} ago {ago}: rows {rows[:3]}")
                failures += 1
                continue
            any_failed = False
            for path, row in zip(files, rows[1:]):
                code, values = runs[path]
                bar = len(dates[path]) - 1 - ago
                want_date = dates[path][bar] if bar >= 0 else ""
                want_value = values.get(bar, "") if code == 0 else ""
                any_failed |= code != 0
                if row != [path, want_date, want_value]:
                    print(f"FAIL {function} ago {ago} {path}: {row} != {[path, want_date, want_value]}")
                    failures += 1
            want_status = 1 if any_failed else 0
            if r.returncode != want_status:
                print(f"FAIL {function} ago {ago}: exit {r.returncode}, want {want_status}: {r.stderr}")
                failures += 1
    # A file that cannot be read keeps its row, empty, and the exit status says so.
    r = run(["scan", plugin, "VSAInd", "--data", sample, "--data", work, "--data", sample])
    rows = list(csv.reader(io.StringIO(r.stdout)))
    if len(rows) != 4 or rows[2] != [work, "", ""] or r.returncode != 1 or "cannot" not in r.stderr:
        print(f"FAIL unreadable file: {rows} exit {r.returncode} {r.stderr}")
        failures += 1
    for bad in (["--ago", "-1"], ["--ago", "x"], []):
        r = run(["scan", plugin, "VSAInd"] + bad + (["--data", sample] if bad else []))
        if r.returncode != 2:
            print(f"FAIL usage {bad}: exit {r.returncode}")
            failures += 1

print("scan checks:", "FAILED" if failures else "ok")
sys.exit(1 if failures else 0)
