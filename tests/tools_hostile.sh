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

# Line ends of every kind, and a last line of blanks: the same bars.
tr '\n' '\r' <"$work/plain.csv" >"$work/cr.csv"
{ cat "$work/plain.csv"; printf '   \t \n'; } >"$work/spaces.csv"
"$host" run "$plugin" VSAInd --data "$work/plain.csv" >"$work/b" 2>&1
for kind in cr spaces; do
  "$host" run "$plugin" VSAInd --data "$work/$kind.csv" >"$work/a" 2>&1
  check "$kind.csv read" 0 $?
  cmp -s "$work/a" "$work/b" || { echo "FAIL msxhost reads $kind.csv differently: $(head -c 200 "$work/a")"; fail=1; }
done

# A series read backwards: run, scan and chart refuse a file newest first
# or with a date twice, as evaluate does, naming the file, the row and the
# date; a scan keeps the file's row, empty.
head -1 "$data" >"$work/reversed.csv"
tail -n +2 "$data" | tac >>"$work/reversed.csv"
{ head -3 "$data"; sed -n 3p "$data"; tail -n +4 "$data"; } >"$work/twice.csv"
second=$(sed -n 2p "$work/reversed.csv" | cut -d, -f1)
while IFS='|' read -r what file message; do
  "$host" run "$plugin" VSAInd --data "$work/$file" >/dev/null 2>"$work/err"
  check "run, $what" 1 $?
  expect_text "run, $what" "$work/$file: $message" "$work/err"
  "$host" chart "$plugin" --data "$work/$file" -o "$work/$file.svg" >/dev/null 2>"$work/err"
  check "chart, $what" 1 $?
  expect_text "chart, $what" "$work/$file: $message" "$work/err"
  [ -e "$work/$file.svg" ] && { echo "FAIL chart, $what: a chart written"; fail=1; }
  "$host" scan "$plugin" VSAInd --ago 1 --data "$work/$file" --data "$data" >"$work/out" 2>"$work/err"
  check "scan, $what" 1 $?
  expect_text "scan, $what" "$work/$file: $message" "$work/err"
  expect_text "scan, $what: an empty row" "$work/$file,," "$work/out"
  [ "$(grep -c "^$data,[0-9-]*,-\?[0-9]" "$work/out")" -eq 1 ] ||
    { echo "FAIL scan, $what: the other file's row: $(cat "$work/out")"; fail=1; }
done <<LIST
newest first|reversed.csv|row 2: '$(sed -n 3p "$work/reversed.csv" | cut -d, -f1)' is not later than row 1's '$second'
a date twice|twice.csv|row 3: '$(sed -n 3p "$data" | cut -d, -f1)' is not later than row 2's
LIST

# Outputs over inputs: chart never writes over its data (by name, through a
# link) or its plug-in, and never opens a FIFO or a folder to write: each
# refused before anything is written (exit 2, both named), nothing changed.
cp "$data" "$work/cin.csv"
mkdir "$work/plug"  # the plug-in and its engine, copied: the plug-in loads
cp "$plugin" "$(dirname "$plugin")"/*Spreadcore* "$work/plug/"
plug="$work/plug/$(basename "$plugin")"
engine=$(ls "$work"/plug/*Spreadcore*)
cp "$engine" "$work/engine-copy"
ln -s "$work/cin.csv" "$work/cin-link.svg"
mkfifo "$work/out-fifo.svg"
mkdir "$work/folder.svg"
while IFS='|' read -r what out message; do
  "$host" chart "$plug" --data "$work/cin.csv" -o "$out" >/dev/null 2>"$work/err"
  check "chart -o $what" 2 $?
  expect_text "chart -o $what" "$message" "$work/err"
  cmp -s "$data" "$work/cin.csv" || { echo "FAIL chart -o $what: the data changed"; fail=1; cp "$data" "$work/cin.csv"; }
  cmp -s "$plugin" "$plug" || { echo "FAIL chart -o $what: the plug-in changed"; fail=1; cp "$plugin" "$plug"; }
  cmp -s "$work/engine-copy" "$engine" || { echo "FAIL chart -o $what: the engine changed"; fail=1; cp "$work/engine-copy" "$engine"; }
done <<LIST
the data|$work/cin.csv|the output $work/cin.csv is the input $work/cin.csv
the data by another path|$work/./cin.csv|the output $work/./cin.csv is the input $work/cin.csv
a link to the data|$work/cin-link.svg|the output $work/cin-link.svg is the input $work/cin.csv
the plug-in|$plug|the output $plug is the input $plug
the engine beside the plug-in|$engine|the output $engine is the input $engine
a FIFO|$work/out-fifo.svg|cannot write $work/out-fifo.svg: it is not a regular file
a folder|$work/folder.svg|cannot write $work/folder.svg: it is not a regular file
LIST

# A file given twice among 20,000 files of one size: found by sorting, not
# by comparing every pair (which takes minutes and fails the TIMEOUT).
mkdir "$work/many"
python3 -c 'import sys
for k in range(20000):
    open("%s/f%05d.csv" % (sys.argv[1], k), "w").write("date,open,high,low,close,volume\n")' "$work/many"
ln "$work/many/f19998.csv" "$work/many/f20000.csv"
many=()
for f in "$work"/many/f*.csv; do many+=(--data "${f#"$work/many/"}"); done
(cd "$work/many" && "$host" evaluate "$work/nosuch.so" "${many[@]}" >/dev/null 2>"$work/err")
check "20,000 files, one given twice" 2 $?
expect_text "the file given twice named" "f20000.csv is given twice (as f19998.csv too)" "$work/err"

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
"$host" client "$plugin" TS_SetVSAValue 7 010 5 -- TS_GetVSAValue 7 10 >"$work/out" 2>"$work/err"
check "client with a leading zero" 0 $?
expect_text "010 read as ten, not octal 8" "TS_GetVSAValue(7, 10) = 5" "$work/out"
"$host" client "$plugin" SignFilter x1 >"$work/out" 2>"$work/err"
check "client with no number" 2 $?
expect_text "no number named" "argument 1 of SignFilter is not a number" "$work/err"

[ $fail -eq 0 ] && echo "all hostile-input cases answered"
exit $fail
