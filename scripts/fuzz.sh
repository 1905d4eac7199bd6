#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a
# bounded time from its seed corpus (fuzz/corpus/<target>); the corpus the
# run grows stays in build/fuzz/corpus. Exits non-zero on any finding; the
# crashing input is left in build/fuzz/findings.
#   fuzz.sh            about a minute per target (the test command's run)
#   fuzz.sh 600        ten minutes per target
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
"$root/scripts/deps.sh" native fuzz || exit 1
. scripts/lib/build.sh
build fuzz || exit 1
failed=0
for target in fuzz_msx_calls fuzz_csv_reader fuzz_client; do
  corpus=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  log=build/fuzz/$target.log
  if build/fuzz/bin/$target -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target" \
      >"$log" 2>&1; then
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
