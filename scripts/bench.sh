#!/usr/bin/env bash
# Builds the bench preset (Release, -msse2 -mfpmath=sse, -ffp-contract=off,
# benchmarks on, tests off; the engine's batch kernel still takes its AVX2
# loops where the processor has them, BM_BatchFaceSse2 its SSE2 ones alone),
# runs every benchmark once with several
# repetitions and prints one table: each fast routine against its literal
# reference (medians), orvane against a plain read of the same file (and its
# reader against the literal reading it must equal), and the
# engine's time per bar. The repetitions of a program's benchmarks run
# interleaved in random order, so that a slow spell of a shared machine
# falls on both sides of a ratio rather than on one. Targets: windowed indicators at least 6x their
# reference, GetPriceData at most 5x BM_PlainRead, AnalysePosn under 100 ns
# a bar; BarsightVSA in mql4run attaching to 100,000 bars (MaxBars=0) in
# under 100 ns a bar beyond the engine's own cost, a new bar on that chart
# under 1/100 of the attach; the Python package's vsa_signals within 1.2x the
# engine's batch face on the same bars.
# usage: bench.sh [REPETITIONS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" native
reps=${1:-5}
. scripts/lib/build.sh
build bench || exit 1
out=build/bench/results
mkdir -p "$out"
for b in indicator_bench orvane_bench engine_bench mql4run_bench evaluate_bench; do
  build/bench/bin/$b --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/$b.json" --benchmark_out_format=json >/dev/null
done
# msxhost evaluate on a watchlist of 1,000 files of 5,000 daily bars
# (generated once, a shared market factor), timed whole: reading, the
# engine on every file, the statistics and 2,000 bootstrap replicates.
watch=build/bench/watchlist
if [ ! -f "$watch/f0999.csv" ]; then
  mkdir -p "$watch"
  python3 - "$watch" <<'PY'
import datetime, os, random, sys
folder = sys.argv[1]
dates, day = [], datetime.date(2000, 1, 3)
while len(dates) < 5000:
    if day.weekday() < 5:
        dates.append(day.isoformat())
    day += datetime.timedelta(days=1)
rng = random.Random(1)
market = [rng.gauss(0, 0.8) for _ in dates]
for f in range(1000):
    close, lines = 50 + rng.random() * 100, ["date,open,high,low,close,volume"]
    for i, date in enumerate(dates):
        new = max(1.0, close * (1 + (market[i] + rng.gauss(0, 1.0)) / 100))
        high = max(close, new) * (1 + abs(rng.gauss(0, 0.004)))
        low = min(close, new) * (1 - abs(rng.gauss(0, 0.004)))
        lines.append("%s,%.2f,%.2f,%.2f,%.2f,%d" % (date, close, high, low, new, 100000 * rng.lognormvariate(0, 0.5)))
        close = new
    open(os.path.join(folder, "f%04d.csv" % f), "w").write("\n".join(lines) + "\n")
PY
fi
best=$(python3 - "$watch" <<'PY'
import glob, subprocess, sys, time
args = ["build/bench/bin/msxhost", "evaluate", "build/bench/bin/libBarsightPlugin.so"]
for path in sorted(glob.glob(sys.argv[1] + "/f*.csv")):
    args += ["--data", path]
times = []
for _ in range(3):
    start = time.perf_counter()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    times.append(time.perf_counter() - start)
print("%.3f" % min(times))
PY
)
echo "$best" >"$out/evaluate_seconds"
python3 - "$out" <<'PY'
import json, os, sys
out = sys.argv[1]
median = {}
items = {}
for name in ("indicator_bench", "orvane_bench", "engine_bench", "mql4run_bench"):
    for b in json.load(open(os.path.join(out, name + ".json")))["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        key = b["run_name"]
        median[key] = b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        if "items_per_second" in b:
            items[key] = b["items_per_second"]
print("%-34s %12s %12s %8s  %s" % ("benchmark", "median", "reference", "ratio", "target"))
for fn in ("VSATrend", "VSASpread"):
    for p in (50, 200):
        fast, ref = median["BM_%s/%d" % (fn, p)], median["BM_%sReference/%d" % (fn, p)]
        print("%-34s %10.3f ms %10.3f ms %7.2fx  >= 6x faster" % ("BM_%s/%d" % (fn, p), fast * 1e3, ref * 1e3, ref / fast))
load, plain = median["BM_GetPriceData"], median["BM_PlainRead"]
print("%-34s %10.3f ms %10.3f ms %7.2fx  <= 5x the plain read" % ("BM_GetPriceData (vs BM_PlainRead)", load * 1e3, plain * 1e3, load / plain))
rows, rows_ref = median["BM_ReadRows"], median["BM_ReadRowsReference"]
print("%-34s %10.3f ms %10.3f ms %7.2fx  (its literal reading)" % ("BM_ReadRows", rows * 1e3, rows_ref * 1e3, rows_ref / rows))
if "BM_GetPriceData" in items:
    print("%-34s %12.0f rows/s" % ("  GetPriceData", items["BM_GetPriceData"]))
for p in (9, 50):
    key = "BM_AnalysePosn/%d" % p
    if key in items:
        print("%-34s %10.1f ns a bar%s  < 100 ns" % (key, 1e9 / items[key], " " * 14))
engine = median["BM_AttachEngineOnly"] / 1e5
for arg, what in ((0, "DrawArrows=false"), (1, "arrows drawn")):
    attach, bar = median["BM_AttachVSA/%d" % arg], median["BM_NewBarVSA/%d/iterations:5000" % arg]
    beyond = (attach / 1e5 - engine) * 1e9
    print("%-34s %10.3f ms %7.1f ns a bar beyond the engine%s" % ("BM_AttachVSA/%d (%s)" % (arg, what), attach * 1e3,
          beyond, "  < 100 ns" if arg == 0 else ""))
    print("%-34s %10.3f us  1/%.0f of the attach        < 1/100" % ("BM_NewBarVSA/%d" % arg, bar * 1e6, attach / bar))
seconds = float(open(os.path.join(out, "evaluate_seconds")).read())
print("%-34s %10.2f s  (best of 3)               < 10 s" % ("msxhost evaluate 1000 x 5000 bars", seconds))
PY
# The Python package: vsa_signals against the engine's batch face on the
# same bars, in one process (bench/python_bench.py), from a fresh install.
"$root/scripts/deps.sh" python
. scripts/lib/python.sh
python_package build/bench/python-venv || exit 1
build/bench/python-venv/bin/python bench/python_bench.py "$reps"
