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
# more serious status stands. (FAULTY_PLUGIN "-": not in this build.)
if [ "$faulty" != "-" ]; then
  "$host" scan "$faulty" Overrun --data "$data" --data "$work/missing.csv" >/dev/null 2>"$work/err"
  check "violation then a missing file" 3 $?
  expect_text "violation reported" "VIOLATION" "$work/err"
fi

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

# mql4run --input: decimal only, within the type.
count_bars() { "$runner" "$program" --libraries "$libraries" --data "$data" --input "MaxBars=$1" \
  --log-imports 2>&1 | grep -c AnalysePosn; }
[ "$(count_bars 010)" -eq 10 ] || { echo "FAIL MaxBars=010 feeds $(count_bars 010) bars, not 10"; fail=1; }
for bad in 4294967296 0x10 1e3 " 5"; do
  "$runner" "$program" --libraries "$libraries" --data "$data" --input "MaxBars=$bad" >/dev/null 2>"$work/err"
  check "MaxBars=$bad" 2 $?
  expect_text "MaxBars=$bad named" "input MaxBars" "$work/err"
done

# Dates as MetaTrader holds them: 1970-01-01 to 3000-12-31, real dates only.
bars() {  # first date, then 20 rising dates of 2021
  echo "date,open,high,low,close,volume"
  echo "$1,10,11,9,10.5,100"
  for d in $(seq 10 29); do echo "2021-01-$d,10,11,9,10.5,100"; done
}
while IFS='|' read -r first want message; do
  bars "$first" >"$work/dates.csv"
  "$runner" "$program" --libraries "$libraries" --data "$work/dates.csv" >/dev/null 2>"$work/err"
  check "first date $first" "$want" $?
  [ -n "$message" ] && expect_text "first date $first" "$message" "$work/err"
done <<LIST
1960-06-01|2|row 1: '1960-06-01' is not a date
2020-02-30|2|row 1: '2020-02-30' is not a date
1970-01-01|0|
3001-01-01|2|row 1: '3001-01-01' is not a date
LIST

# One reader for both tools: a byte-order mark and blanks around the date
# change nothing; a headerless file's malformed first row is reported, not
# taken for a header.
{ printf '\xEF\xBB\xBF'; bars 2020-12-31 | tail -n +2 | sed 's/^\([^,]*\),/ \1 ,/'; } >"$work/bom.csv"
bars 2020-12-31 >"$work/plain.csv"
"$host" run "$plugin" VSAInd --data "$work/bom.csv" >"$work/a" 2>&1
"$host" run "$plugin" VSAInd --data "$work/plain.csv" >"$work/b" 2>&1
cmp -s "$work/a" "$work/b" || { echo "FAIL msxhost reads the marked, spaced file differently"; fail=1; }
"$runner" "$program" --libraries "$libraries" --data "$work/bom.csv" >"$work/a" 2>&1
"$runner" "$program" --libraries "$libraries" --data "$work/plain.csv" >"$work/b" 2>&1
cmp -s "$work/a" "$work/b" || { echo "FAIL mql4run reads the marked, spaced file differently"; fail=1; }
{ echo "2021-01-01,10,x,9,10.5,100"; bars 2021-01-02 | tail -n +3; } >"$work/bad-first.csv"
"$host" run "$plugin" VSAInd --data "$work/bad-first.csv" >/dev/null 2>"$work/err"
check "malformed first row" 1 $?
expect_text "malformed first row" "bad-first.csv:1: expected" "$work/err"

# Exit codes say what happened: a click on no object is the command line's
# fault (2), a hover without a chart window this build's (5); the run still
# ends with OnDeinit.
"$runner" "$program" --libraries "$libraries" --data "$data" --click NOSUCHOBJECT >"$work/out" 2>"$work/err"
check "mql4run --click on no object" 2 $?
expect_text "the missing object named" "no object NOSUCHOBJECT to click" "$work/err"
expect_text "and the run ended with OnDeinit" "deinit	0" "$work/out"
"$runner" "$program" --libraries "$libraries" --data "$data" --hover "a tip" >"$work/out" 2>"$work/err"
check "mql4run --hover without a chart window" 5 $?
expect_text "hover refused" "--hover needs a chart window" "$work/err"

# msxhost client drives every client export: GetFromQueue with its record,
# and a number out of the int32 range named as such.
"$host" client "$plugin" GetFromQueue 0 -- GetFromQueue 7 >"$work/out" 2>"$work/err"
check "client GetFromQueue" 0 $?
expect_text "GetFromQueue on no queue" 'GetFromQueue(0) = -1 (type 0, 0, 0, 0, at 0, null)' "$work/out"
"$host" client "$plugin" SignFilter 4294967296 >"$work/out" 2>"$work/err"
check "client with an int32 out of range" 2 $?
expect_text "out of range named" "argument 1 of SignFilter is outside the int32 range" "$work/err"
"$host" client "$plugin" SignFilter x1 >"$work/out" 2>"$work/err"
check "client with no number" 2 $?
expect_text "no number named" "argument 1 of SignFilter is not a number" "$work/err"

[ $fail -eq 0 ] && echo "all hostile-input cases answered"
exit $fail
