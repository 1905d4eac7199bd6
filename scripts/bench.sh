#!/usr/bin/env bash
# Builds the bench preset (Release, -msse2 -mfpmath=sse, -ffp-contract=off,
# benchmarks on, tests off), runs every benchmark once with several
# repetitions and prints one table: each fast routine against its literal
# reference (medians), orvane against a plain read of the same file, and the
# engine's time per bar. The repetitions of a program's benchmarks run
# interleaved in random order, so that a slow spell of a shared machine
# falls on both sides of a ratio rather than on one. Targets: windowed indicators at least 6x their
# reference, GetPriceData at most 5x BM_PlainRead, AnalysePosn under 100 ns
# a bar; BarsightVSA in mql4run attaching to 100,000 bars (MaxBars=0) in
# under 100 ns a bar beyond the engine's own cost, a new bar on that chart
# under 1/100 of the attach.
# usage: bench.sh [REPETITIONS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" native
reps=${1:-5}
mkdir -p build
if ! { cmake --preset bench && cmake --build build/bench -j "$(nproc)"; } >build/bench.log 2>&1; then
  tail -40 build/bench.log
  echo "build of bench failed (whole log: build/bench.log)"
  exit 1
fi
out=build/bench/results
mkdir -p "$out"
for b in indicator_bench orvane_bench engine_bench mql4run_bench; do
  build/bench/bin/$b --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/$b.json" --benchmark_out_format=json >/dev/null
done
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
PY
