#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a
# bounded time from its seed corpus (fuzz/corpus/<target>); the corpus the
# run grows stays in build/fuzz/corpus. Exits non-zero on any finding; the
# crashing input is left in build/fuzz/findings.
#   fuzz.sh            about a minute per target, all at once (the test command's run)
#   fuzz.sh 600        ten minutes per target
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
"$root/scripts/deps.sh" native fuzz || exit 1
. scripts/lib/build.sh
build fuzz || exit 1
pids=()
# The targets side by side (each one process): about a minute of wall time
# for all of them on this machine's cores.
targets=(fuzz_msx_calls fuzz_csv_reader fuzz_client)
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  build/fuzz/bin/$target -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target" \
    </dev/null >"build/fuzz/$target.log" 2>&1 &
  pids+=($!)
done
failed=0
for k in "${!targets[@]}"; do
  target=${targets[$k]}
  log=build/fuzz/$target.log
  if wait "${pids[$k]}"; then
    result=clean
  else
    result=FINDING
    failed=1
    grep -m 20 -E 'ERROR|SUMMARY|abort|violation|result code|runtime error' "$log"
  fi
  runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  echo "fuzz: $target: ${runs:-?} executions in ${seconds}s: $result"
done
exit $failed
