#!/usr/bin/env bash
# msxhost reads every number of its command line strictly: a word where a
# number belongs is a usage error (exit 2) that names the option, never a 0.
# usage: msxhost_usage.sh MSXHOST PLUGIN DATA
set -u
host=$1 plugin=$2 data=$3
fail=0
expect() {  # expected exit code, then the arguments
  local want=$1
  shift
  local err code
  err=$("$host" "$@" 2>&1 >/dev/null)
  code=$?
  if [ "$code" -ne "$want" ]; then
    echo "msxhost $*: exit $code, expected $want ($err)"
    fail=1
  fi
}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for bad in abc 5x "" -1 1.5 99999999999; do
  expect 2 run "$plugin" VSAInd --data "$data" --last "$bad"
done
expect 0 run "$plugin" VSAInd --data "$data" --last 0
expect 0 run "$plugin" VSAInd --data "$data" --last 3
expect 1 run "$plugin" VSAVolStops --data "$data" --num 2 --array atr:x  # a bad source, as before
expect 1 run "$plugin" VSAVolStops --data "$data" --num 2 --array atr:0
expect 0 run "$plugin" VSAVolStops --data "$data" --num 2 --array atr:14 --last 1
# --num is a decimal number within a float's range, as a data file's prices
# are: no NaN, no infinity, no hexadecimal.
for bad in nan NaN inf -inf 0x1p4 0x10 1e39 "" "20 x"; do
  expect 2 run "$plugin" VSATrend --data "$data" --num "$bad"
  expect 2 scan "$plugin" VSATrend --num "$bad" --data "$data"
done
expect 0 run "$plugin" VSATrend --data "$data" --num 20 --last 1
expect 0 run "$plugin" VSATrend --data "$data" --num " 2e1 " --last 1
for option in --bars --end --mark --width; do
  expect 2 chart "$plugin" --data "$data" -o "$out/c.svg" "$option" ten
done
expect 2 chart "$plugin" --data "$data" -o "$out/c.svg" --bars 0
expect 0 chart "$plugin" --data "$data" -o "$out/c.svg" --bars 50 --end -1 --mark -1 --width 0
# The chart's levels: on (the default) or off, nothing else.
for bad in yes 1 ""; do
  expect 2 chart "$plugin" --data "$data" -o "$out/c.svg" --levels "$bad"
done
expect 0 chart "$plugin" --data "$data" -o "$out/on.svg"
expect 0 chart "$plugin" --data "$data" -o "$out/off.svg" --levels off
if ! grep -q 'data-level="support"' "$out/on.svg" || grep -q 'data-level=' "$out/off.svg"; then
  echo "msxhost chart: the levels are not drawn by default, or drawn with --levels off"
  fail=1
fi
[ $fail -eq 0 ] && echo "msxhost: every bad number is a usage error"
exit $fail
