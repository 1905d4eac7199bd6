#!/usr/bin/env python3
"""msxhost evaluate from its command line, as a trader runs it: figures on a
file whose codes a test plug-in takes from the volume column, an unreadable
file among readable ones, bad options, a function whose values are not
signal codes, and the CSV and SVG files (the SVG well-formed, and with
--browser rendered by headless Chromium at 700 pixels).

usage: check_evaluate.py MSXHOST PLUGIN CODES_PLUGIN DATA [--browser PNG]"""
import csv
import io
import os
import subprocess
import sys
import tempfile

msxhost, plugin, codes_plugin, data = sys.argv[1:5]
png = sys.argv[6] if len(sys.argv) > 6 and sys.argv[5] == "--browser" else None
work = tempfile.mkdtemp(prefix="evaluate-check-")
failures = []


def run(*args):
    done = subprocess.run([msxhost, "evaluate"] + list(args), capture_output=True, text=True, timeout=300)
    return done.returncode, done.stdout, done.stderr


def check(name, condition, detail=""):
    print("evaluate: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


def write(name, rows):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write("date,open,high,low,close,volume\n")
        f.writelines(",".join(str(v) for v in row) + "\n" for row in rows)
    return path


# Forty bars: No supply (3) on every fifth bar from bar 5, closes rising by 1
# from 100, opens 0.5 below each close. With --entry close and h=1 a case at
# t earns close[t+2]/close[t+1] - 1: 1 / (101 + t) in percent terms; every
# bar is up, so each case and each baseline bar is a hit.
rows = []
for t in range(40):
    close = 100 + t
    rows.append(["2024-%02d-%02d" % (1 + t // 28, 1 + t % 28), close - 0.5, close + 1, close - 1, close,
                 3 if t >= 5 and t % 5 == 0 else 0])
coded = write("coded.csv", rows)
code, out, err = run(codes_plugin, "Codes", "--data", coded, "--horizons", "1", "--entry", "close",
                     "--min-count", "1", "--min-episodes", "1", "--bootstrap", "200", "--csv",
                     os.path.join(work, "out.csv"))
table = list(csv.DictReader(open(os.path.join(work, "out.csv")))) if code == 0 else []
cases = [t for t in range(5, 40, 5) if t + 2 <= 39]  # exits past the end are left out: t = 5 .. 35
want_mean = sum(100.0 / (101 + t) for t in cases) / len(cases)
base = [100.0 / (101 + t) for t in range(0, 38)]
check("figures of a file with known codes (%d cases)" % len(cases),
      code == 0 and len(table) == 1 and table[0]["code"] == "3" and table[0]["name"] == "No supply" and
      int(table[0]["cases"]) == len(cases) and int(table[0]["episodes"]) == len(cases) and
      abs(float(table[0]["mean_pct"]) - want_mean) < 1e-4 and float(table[0]["hit_rate_frac"]) == 1.0 and
      abs(float(table[0]["base_mean_pct"]) - sum(base) / len(base)) < 1e-4,
      "exit %d %s %s" % (code, table, err))
check("the optimistic entry says so", out.startswith("Optimistic:"), out[:100])

# An unreadable file is named; the others are still evaluated; exit 1.
missing = os.path.join(work, "missing.csv")
code, out, err = run(plugin, "--data", data, "--data", missing, "--bootstrap", "200")
check("an unreadable file: named, the rest evaluated, exit 1",
      code == 1 and "missing.csv" in err and out.startswith("1 file,") and "No supply" in out, err)

# Bad options: exit 2, nothing evaluated.
for name, args in [("horizon 0", ["--horizons", "0"]), ("a horizon that is no number", ["--horizons", "1,x"]),
                   ("an unknown entry", ["--entry", "later"]), ("min-count 0", ["--min-count", "0"]),
                   ("a negative bootstrap", ["--bootstrap", "-1"]), ("an unknown option", ["--nope", "1"]),
                   ("a seed that is no number", ["--seed", "abc"]), ("0 threads", ["--threads", "0"]),
                   ("two replicates", ["--bootstrap", "2"]), ("199 replicates", ["--bootstrap", "199"]),
                   ("a horizon twice", ["--horizons", "5,5"]), ("a horizon twice, apart", ["--horizons", "1,5,1"]),
                   ("an unknown baseline", ["--baseline", "week"]), ("min-episodes 0", ["--min-episodes", "0"]),
                   ("the date baseline on one file", ["--baseline", "date"])]:
    code, out, err = run(plugin, "--data", data, *args)
    check("%s: exit 2" % name, code == 2 and out == "", "exit %d %s" % (code, err))
code, out, err = run(plugin, "--data", data, "--bootstrap", "2")
check("two replicates: the reason said", "a few hundred at least" in err, err)
code, out, err = run(plugin, "--data", data, "--horizons", "5,5")
check("a horizon twice: named", "--horizons names 5 twice" in err, err)
code, out, err = run(plugin, "VSAInd")
check("no --data: exit 2", code == 2 and out == "")
code, out, err = run(codes_plugin, "Fraction", "--data", coded)
check("a function whose values are not whole numbers: exit 2",
      code == 2 and "not a whole-number signal code" in err and out == "", err)
code, out, err = run(plugin, "VSASpread", "--data", data)
check("a function that takes arguments: exit 2", code == 2, err)

# Hostile inputs: never a silently wrong figure, every failure an exit code
# and a message.
holes = [list(r) for r in rows]
for t in range(0, 40, 5):
    holes[t][1:5] = [0, 0, 0, 0]  # a hole filled with zeros
holed = write("holes.csv", holes)
code, out, err = run(codes_plugin, "Codes", "--data", holed, "--horizons", "1", "--entry", "close",
                     "--min-count", "1", "--min-episodes", "1", "--bootstrap", "200", "--csv",
                     os.path.join(work, "holes-out.csv"))
holed_rows = list(csv.DictReader(open(os.path.join(work, "holes-out.csv")))) if code == 0 else []
check("zero prices: their cases left out and counted in the header, no return below -100%",
      code == 0 and "cases left out: a price at entry or exit that is not a positive number" in out and
      all(float(r["mean_pct"]) > -100 for r in holed_rows if r["mean_pct"]), out[:400] + err)
wide = run(codes_plugin, "Codes", "--data", coded, "--bootstrap", "200", "--min-count", "1",
           "--horizons", ",".join(str(h) for h in range(1, 19)))
blocks_line = next((line for line in wide[1].splitlines() if line.startswith("Studentized circular block")), "")
check("18 horizons: the header line whole, the columns on their own line",
      wide[0] == 0 and "blocks of 18;" in blocks_line and "fewer than 10 blocks." in blocks_line and
      "\n code  signal" in wide[1], blocks_line)
input_copy = open(coded).read()
code, out, err = run(codes_plugin, "Codes", "--data", coded, "--csv", coded)
check("an output that is an input: exit 2, the input untouched",
      code == 2 and "is the input" in err and open(coded).read() == input_copy, "exit %d %s" % (code, err))
link = os.path.join(work, "coded-link.csv")
os.link(coded, link)
code, out, err = run(codes_plugin, "Codes", "--data", coded, "--data", link)
check("one file given twice (a hard link): exit 2, named", code == 2 and "given twice" in err, err)
code, out, err = run(codes_plugin, "Codes", "--data", coded, "--svg", link)
check("an output that is an input by another name: exit 2", code == 2 and "is the input" in err, err)
code, out, err = run(plugin, "--data", data, "--seed", "3000000000", "--bootstrap", "200")
check("a seed past 2^31 (one range in every build)", code == 0 and "seed 3000000000" in out, err)
code, out, err = run(plugin, "--data", data, "--seed", "9223372036854775808")
check("a seed past 2^63-1: exit 2", code == 2 and "9223372036854775807" in err, err)
for name, text in (("empty", ""), ("header-only", "date,open,high,low,close,volume\n")):
    path = os.path.join(work, name + ".csv")
    open(path, "w").write(text)
    code, out, err = run(plugin, "--data", path)
    check("an %s file: refused, exit 1" % name, code == 1 and "no bars" in err and out == "", "exit %d %s" % (code, err))
many = write("many-codes.csv", [["%04d-%02d-%02d" % (1900 + t // 336, 1 + t // 28 % 12, 1 + t % 28), 10, 11, 9, 10,
                                  t + 1] for t in range(5000)])
code, out, err = run(codes_plugin, "Codes", "--data", many, "--bootstrap", "200")
check("5,000 distinct codes on 5,000 dates: refused with the limit, exit 2",
      code == 2 and "evaluate refused" in err and "256 MiB" in err and out == "", "exit %d %s" % (code, err[-300:]))
# With --split, a period refused leaves no report of the other printed.
early = [["%04d-%02d-%02d" % (1880 + t // 336, 1 + t // 28 % 12, 1 + t % 28), 10, 11, 9, 10, 3 * (t % 2)]
         for t in range(300)]
split_many = write("split-many-codes.csv", early + [
    ["%04d-%02d-%02d" % (1900 + t // 336, 1 + t // 28 % 12, 1 + t % 28), 10, 11, 9, 10, t + 1] for t in range(5000)])
code, out, err = run(codes_plugin, "Codes", "--data", split_many, "--bootstrap", "200", "--split", "1900-01-01")
check("--split, the second period refused: exit 2 and nothing printed of the first",
      code == 2 and "evaluate refused" in err and out == "", "exit %d %s %s" % (code, out[:200], err[-300:]))
# The replicates count in the memory limit: 1,000,000 of them over 20
# horizons of a 200-bar file with eight codes would take 1.28 GB.
eight = write("eight-codes.csv", [["%04d-%02d-%02d" % (2000 + t // 336, 1 + t // 28 % 12, 1 + t % 28), 10 + t % 3,
                                   11 + t % 3, 9, 10 + t % 5, [3, 4, 12, 13, -2, -5, -10, -14][t % 8]]
                                  for t in range(200)])
code, out, err = run(codes_plugin, "Codes", "--data", eight, "--bootstrap", "1000000",
                     "--horizons", ",".join(str(h) for h in range(1, 21)))
check("1,000,000 replicates at 20 horizons: refused with the limit, exit 2",
      code == 2 and "evaluate refused" in err and "256 MiB" in err and "1000000 replicates" in err and out == "",
      "exit %d %s" % (code, err[-300:]))

# Outputs over inputs: every name written (the suffixed charts of --split
# included) is checked against the inputs and the other outputs before
# anything is written, by the file it leads to; an existing output that is
# no regular file (a FIFO nobody reads would hang) is refused.
def copy_of(name):
    path = os.path.join(work, name)
    with open(data) as f, open(path, "w") as g:
        g.write(f.read())
    return path
lk_data = copy_of("lk-data.csv")
os.symlink(lk_data, os.path.join(work, "lk-after.svg"))
in_before = copy_of("in-before.csv")
o3_data = copy_of("o3-data.csv")
fifo = os.path.join(work, "out-fifo.csv")
os.mkfifo(fifo)
clashes = [
    ("a suffixed chart that is a link to the data", lk_data,
     ["--split", "2020-01-01", "--svg", os.path.join(work, "lk.svg")], "is the input " + lk_data, []),
    ("a suffixed chart that is the data", in_before, ["--split", "2020-01-01", "--svg", os.path.join(work, "in.csv")],
     "the output %s is the input %s" % (in_before, in_before), []),
    ("two outputs, neither made yet, spelled apart", data,
     ["--csv", os.path.join(work, "o1.x"), "--svg", os.path.join(work, ".", "o1.x")], "are one file",
     [os.path.join(work, "o1.x")]),
    ("the CSV named as a suffixed chart", o3_data,
     ["--csv", os.path.join(work, "o3-before.svg"), "--svg", os.path.join(work, "o3.svg"), "--split", "2020-01-01"],
     "are one file", [os.path.join(work, "o3-before.svg"), os.path.join(work, "o3-after.svg")]),
    ("a FIFO nobody reads", data, ["--csv", fifo], "it is not a regular file", []),
    ("a folder", data, ["--svg", work], "it is not a regular file", []),
]
for name, source, args, message, never_made in clashes:
    before = open(source).read()
    try:
        done = subprocess.run([msxhost, "evaluate", plugin, "--data", source] + args, capture_output=True, text=True,
                              timeout=120)
        code, err = done.returncode, done.stderr
    except subprocess.TimeoutExpired:
        code, err = None, "hung"
    check("%s: exit 2, named, nothing written" % name,
          code == 2 and message in err and open(source).read() == before and
          not any(os.path.exists(p) for p in never_made), "exit %s %s" % (code, err[-300:]))

for name, value in (("1e39", "1e39"), ("hexadecimal", "0x1p3"), ("nan", "nan"), ("inf", "inf")):
    bad = [list(r) for r in rows]
    bad[7][4] = value
    code, out, err = run(codes_plugin, "Codes", "--data", write("bad-%s.csv" % name, bad))
    check("a close of %s: the file refused, exit 1" % name, code == 1 and ":9: " in err, "exit %d %s" % (code, err))

# The table, the CSV and the chart on the sample.
svg = os.path.join(work, "evaluate.svg")
out_csv = os.path.join(work, "sample.csv")
code, out, err = run(plugin, "--data", data, "--csv", out_csv, "--svg", svg, "--seed", "7")
again = run(plugin, "--data", data, "--seed", "7")[1]
check("the sample: a table, the chance line, the same figures for the same seed",
      code == 0 and "by chance 1 time in 20" in out and out == again, err)
header = open(out_csv).readline().strip() if code == 0 else ""
check("the CSV's columns (the adjusted ones at the end)", header ==
      "code,name,horizon,cases,episodes,dates,mean_pct,median_pct,hit_rate_frac,base_mean_pct,"
      "base_hit_rate_frac,diff_pct,se_pct,t,p,ci_low_pct,ci_high_pct,mde_pct,adj_ci_low_pct,adj_ci_high_pct,"
      "p_adjusted,baseline", header)
check("the table names the adjustment", "Romano-Wolf step-down" in out and "adj. p" in out, out[:600])
# Out of sample: --split evaluates the two periods apart. The earlier one
# is exactly an evaluation of the file cut at the date (no case of it
# reaches past the cut).
split_csv = os.path.join(work, "split.csv")
split_svg = os.path.join(work, "split.svg")
code, out, err = run(plugin, "--data", data, "--split", "2020-01-01", "--csv", split_csv, "--svg", split_svg,
                     "--seed", "7", "--bootstrap", "300")
sample_rows = [line.rstrip("\n").split(",") for line in open(data)][1:]
cut = write("cut.csv", [r for r in sample_rows if r[0] < "2020-01-01"])
code_cut, out_cut, _ = run(plugin, "--data", cut, "--seed", "7", "--bootstrap", "300")
before = out.split("From 2020-01-01 on (out of sample):")[0].split("(in sample):\n", 1)[-1] if code == 0 else ""
split_rows = list(csv.reader(open(split_csv))) if code == 0 else [[]]
check("--split: both periods, the earlier one equal to the file cut at the date, a period column, two charts",
      code == 0 and "Before 2020-01-01 (in sample):" in out and "From 2020-01-01 on (out of sample):" in out and
      code_cut == 0 and before.strip() == out_cut.strip() and split_rows[0][-1] == "period" and
      {r[-1] for r in split_rows[1:]} == {"before", "after"} and
      os.path.exists(os.path.join(work, "split-before.svg")) and os.path.exists(os.path.join(work, "split-after.svg")),
      "exit %d %s" % (code, err[-300:]))
code, out, err = run(plugin, "--data", data, "--split", "2020-13-01")
check("--split with no date: exit 2", code == 2 and "--split needs a date" in err, err)
lint = subprocess.run(["xmllint", "--noout", svg], capture_output=True, text=True)
check("the SVG is well-formed (xmllint)", lint.returncode == 0, lint.stderr)
code, out, err = run(plugin, "--data", data, "--entry", "same", "--bootstrap", "200")
check("--entry same says LOOK-AHEAD first", code == 0 and out.startswith("LOOK-AHEAD"), out[:80])

if png:
    # Rendered as a browser shows it at 700 pixels wide.
    page = os.path.join(work, "evaluate.htm")
    with open(page, "w") as f:
        f.write('<!DOCTYPE html><html><body style="margin:0"><img src="evaluate.svg" width="700"></body></html>')
    shot = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                           "--screenshot=" + png, "--window-size=700,900", "file://" + page],
                          capture_output=True, text=True, timeout=120)
    check("Chromium renders the chart at 700 pixels", shot.returncode == 0 and os.path.getsize(png) > 5000,
          shot.stderr[-300:])

if failures:
    sys.exit("evaluate: %d checks failed: %s" % (len(failures), ", ".join(failures)))
print("evaluate: all checks passed")
