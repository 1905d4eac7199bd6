#!/usr/bin/env bash
# msxhost and mql4run under hostile input. A hang fails through the test's
# TIMEOUT; every other case checks the exit code and the message.
# usage: tools_hostile.sh MSXHOST PLUGIN FAULTY_PLUGIN MQL4RUN LIBRARIES PROGRAM DATA
set -u
host=$1 plugin=$2 faulty=$3 runner=$4 libraries=$5 program=$6 data=$7
fail=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check() {  # what, expected exit code, actual exit code
  if [ "$3" -ne "$2" ]; then
    echo "FAIL $1: exit $3, expected $2"
    fail=1
  fi
}
expect_text() {  # what, text, file
  grep -qF -- "$2" "$3" || { echo "FAIL $1: no '$2' in: $(head -c 300 "$3")"; fail=1; }
}

# A FIFO (no writer) and /dev/zero in a scan of four files: both refused at
# once, the regular files' rows printed, exit 1.
mkfifo "$work/fifo.csv"
"$host" scan "$plugin" VSAInd --data "$data" --data "$work/fifo.csv" --data /dev/zero \
  --data "$data" >"$work/out" 2>"$work/err"
check "scan with a FIFO and /dev/zero" 1 $?
expect_text "FIFO named" "cannot read $work/fifo.csv: not a regular file" "$work/err"
expect_text "/dev/zero named" "cannot read /dev/zero: not a regular file" "$work/err"
[ "$(grep -c "^$data,[0-9-]*,[0-9]" "$work/out")" -eq 2 ] ||
  { echo "FAIL the two regular files' rows: $(cat "$work/out")"; fail=1; }
"$host" run "$plugin" VSAInd --data "$work/fifo.csv" >/dev/null 2>&1
check "run with a FIFO" 1 $?

# A guard violation (exit 3) followed by an unreadable file (exit 1): the
# more serious status stands.
"$host" scan "$faulty" Overrun --data "$data" --data "$work/missing.csv" >/dev/null 2>"$work/err"
check "violation then a missing file" 3 $?
expect_text "violation reported" "VIOLATION" "$work/err"

# An unknown array source is one usage error, not a failure a file; a
# source failing on a file names the file.
"$host" scan "$plugin" VSAVolStops --num 2 --array nosuch --data "$data" --data "$data" \
  >"$work/out" 2>"$work/err"
check "unknown array source" 2 $?
[ "$(grep -c "unknown array source" "$work/err")" -eq 1 ] || { echo "FAIL one usage error"; fail=1; }
"$host" scan "$plugin" VSAVolStops --num 2 --array VSASpread:9 --data "$data" >"$work/out" 2>"$work/err"
check "failing array source" 1 $?
expect_text "failing source names the file" "$data: VSASpread:9 failed" "$work/err"

# Output that cannot be written: every subcommand exits 1 and says so.
while IFS='|' read -r what args; do
  # shellcheck disable=SC2086
  eval "\"\$host\" $args" >/dev/full 2>"$work/err"
  check "$what to /dev/full" 1 $?
  expect_text "$what to /dev/full" "msxhost: cannot write output: " "$work/err"
done <<LIST
catalogue|catalogue "$plugin"
run|run "$plugin" VSAInd --data "$data"
scan|scan "$plugin" VSAInd --data "$data"
stress|stress "$plugin"
client|client "$plugin" GetRefCount
chart|chart "$plugin" --data "$data" -o "$work/chart.svg"
LIST
"$host" catalogue "$plugin" >&- 2>"$work/err"
check "catalogue to a closed stream" 1 $?
"$runner" "$program" --libraries "$libraries" --data "$data" >/dev/full 2>"$work/err"
check "mql4run to /dev/full" 1 $?
expect_text "mql4run to /dev/full" "mql4run: cannot write output" "$work/err"

[ $fail -eq 0 ] && echo "all hostile-input cases answered"
exit $fail
