#!/usr/bin/env bash
# The main job: builds the plug-ins (native shared objects and the shipped
# 32-bit DLLs) and shows them working through msxhost on the bundled sample
# data: the catalogue, the last values of each indicator, and a chart.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" native windows browser

. scripts/lib/build.sh
build native || exit 1
# The DLLs ship with the help pages the native build draws.
build win32 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" || exit 1

host=build/native/bin/msxhost
plugin=build/native/bin/libBarsightPlugin.so
data=data/sample_ohlcv.csv
run() { echo; echo "\$ msxhost run BarsightPlugin $*"; "$host" run "$plugin" "$@" --data "$data" --last 5 || true; }

echo "\$ msxhost catalogue BarsightPlugin"
"$host" catalogue "$plugin"
run VSAMakeConst --num 100
run VSATrend --num 20
run VSAVolStops --num 2.5 --array atr:14
run VSASpread --num 0 --num 30
run VSASpread --num 1 --num 30
run VSAInd
echo
echo "\$ msxhost chart BarsightPlugin --data $data -o build/chart.svg"
"$host" chart "$plugin" --data "$data" -o build/chart.svg
echo "Open build/chart.svg in a browser: price with VSATrend and VSAVolStops, VSAInd signals"
echo "(strength below the bars, weakness above), volume coloured by CalcVolumeColor."
echo
# A small watchlist: the sample chart, and the same market cut at earlier dates.
head -n 2001 "$data" >build/watch_2021.csv
head -n 1201 "$data" >build/watch_2018.csv
echo "\$ msxhost scan BarsightPlugin VSAInd --ago 1 --data $data --data build/watch_2021.csv --data build/watch_2018.csv"
"$host" scan "$plugin" VSAInd --ago 1 --data "$data" --data build/watch_2021.csv --data build/watch_2018.csv
echo "(the signal of each chart's last closed bar, as the Explorer recipe finds it; 0 for none)"
echo
echo "\$ msxhost evaluate BarsightPlugin --data $data --data data/help_pictures.csv --svg build/evaluate.svg"
"$host" evaluate "$plugin" --data "$data" --data data/help_pictures.csv --svg build/evaluate.svg
echo "Open build/evaluate.svg in a browser: each signal's difference from the baseline with its interval."
echo
# The same on real markets: fifteen daily series from packages (scripts/real_data.py;
# what it adjusted or repaired on the way is in build/real-data.log).
: >build/real-data.log
if real=$("$root/scripts/deps.sh" realdata >/dev/null 2>&1 && python3 scripts/real_data.py 2>build/real-data.log); then
  files=()
  while read -r symbol path _; do files+=(--data "$path"); done <<<"$real"
  echo "\$ msxhost evaluate BarsightPlugin ${files[*]} --svg build/evaluate-real.svg   (real markets, from the cache)"
  "$host" evaluate "$plugin" "${files[@]}" --svg build/evaluate-real.svg | grep -v "no statistics"
  sp500=$(awk '$1 == "SP500" { print $2 }' <<<"$real")
  echo
  echo "\$ msxhost evaluate BarsightPlugin --data $sp500 --horizons 1,10 --split 2010-01-01   (out of sample)"
  "$host" evaluate "$plugin" --data "$sp500" --horizons 1,10 --split 2010-01-01 | grep -v "no statistics"
else
  echo "(real markets skipped: the packages with the real series could not be had: $(tail -1 build/real-data.log 2>/dev/null))"
fi
echo
echo "\$ mql4run BarsightVSA.mq4 --data $data   (the MetaTrader 4 indicator, run against the engine)"
build/native/bin/mql4run BarsightVSA.mq4 --data "$data" > build/mql4run-vsa.txt ||
  echo "  mql4run failed (exit $?)"
python3 - build/mql4run-vsa.txt <<'PY'
import sys
# Each signal's arrows with their glyph (Wingdings code), colour and label,
# as the runner reports the chart objects.
arrows, labels = {}, {}
for line in open(sys.argv[1], encoding="utf-8"):
    parts = line.rstrip("\n").split("\t")
    if parts[0] != "object" or parts[1].startswith(("BarsightLegend;", "BarsightCopy;")):
        continue
    signal = parts[3].replace(", provisional", "")
    if parts[4] == "OBJ_TEXT":
        labels[signal] = parts[9].strip()
    elif not parts[3].endswith("provisional"):
        count, _, _ = arrows.get(signal, (0, "", ""))
        arrows[signal] = (count + 1, parts[5], parts[6])
for signal, (count, glyph, colour) in sorted(arrows.items()):
    print("  %-22s glyph %s %s label %-3s %4d arrow%s" % (signal, glyph, colour, labels.get(signal, "-"), count,
                                                         "" if count == 1 else "s"))
print("  %-22s %d arrows, one per bar with a signal, each with its label" % ("all signals", sum(a[0] for a in arrows.values())))
PY
echo "  legend (lower left corner, the visible bars): $(awk -F'\t' '$1 == "object" && $2 ~ /;text$/ { printf "%s%s", sep, $10; sep = "; " }' build/mql4run-vsa.txt)"
echo "  after OnDeinit: $(awk -F'\t' '$1 == "deinit" { print $2 }' build/mql4run-vsa.txt) objects left on the chart"
echo
echo "\$ mql4run BarsightVSAExample.mq4 --data $data --new-bars 60   (the sample Expert Advisor, BarsightVSA through iCustom)"
build/native/bin/mql4run BarsightVSAExample.mq4 --data "$data" --new-bars 60 2>&1 >/dev/null | sed 's/^/  /' | tail -6
echo
echo "\$ mql4run BarsightScanner.mq4 --data SAMPLE=... --data SAMPLE2021=... --data SAMPLE2018=...   (the watchlist scanner)"
build/native/bin/mql4run BarsightScanner.mq4 --data "SAMPLE=$data" --data SAMPLE2021=build/watch_2021.csv \
  --data SAMPLE2018=build/watch_2018.csv | awk -F'\t' '$1 == "object" { print "  " $10 }'
echo
echo "\$ mql4run BarsightVSA.mq5 --data $data   (MetaTrader 5's indicator: the MQL4 one written in MQL5)"
build/native/bin/mql4run BarsightVSA.mq5 --data "$data" > build/mql4run-vsa5.txt ||
  echo "  mql4run failed (exit $?)"
if cmp -s build/mql4run-vsa.txt build/mql4run-vsa5.txt; then
  echo "  the same $(grep -c '^object' build/mql4run-vsa5.txt) objects as BarsightVSA.mq4, line for line"
else
  echo "  DIFFERS from BarsightVSA.mq4"
fi
echo
echo "\$ msxhost catalogue orvane"
"$host" catalogue build/native/bin/liborvane.so
echo
echo "\$ msxhost run orvane GetPriceData --str data/sample_prices.csv --str 1/5/2015 --str 12/31/2015"
"$host" run build/native/bin/liborvane.so GetPriceData --str data/sample_prices.csv \
  --str 1/5/2015 --str 12/31/2015 --data "$data" --last 5
echo "(The file's rows from 1/5/2015 to 12/31/2015 land on the chart from its first bar on, as the"
echo " host places a loader's result: the date column is the chart's; the values are the file's"
echo " last five rows of 2015, 12/25 to 12/31.)"
echo
echo "\$ msxhost stress BarsightPlugin; msxhost stress orvane"
"$host" stress "$plugin" | tail -1
"$host" stress build/native/bin/liborvane.so | tail -1
echo
echo "\$ pip install --no-build-isolation ./python   (the Python package, into build/python-venv)"
. scripts/lib/python.sh
if "$root/scripts/deps.sh" python >/dev/null 2>&1 && python_package build/python-venv; then
  build/python-venv/bin/python - "$data" <<'PY'
import sys
import matplotlib
matplotlib.use("Agg")
import pandas as pd
import barsight
bars = pd.read_csv(sys.argv[1], index_col="date", parse_dates=True)
codes = barsight.vsa_signals(bars)
named = codes[codes != 0].map(lambda c: barsight.signal_names[c].name)
print("  vsa_signals: %d signals on %d bars; the last three:" % (len(named), len(bars)))
for date, name in named.tail(3).items():
    print("    %s %s" % (date.date(), name))
barsight.plot.signals(bars).savefig("build/python-signals.png", dpi=100)
print("  the chart: build/python-signals.png")
PY
else
  echo "  the package could not be installed (scripts/deps.sh python, pip)"
fi
echo
echo "Help pages beside the plug-in (the help window shows them, offline):"
echo "  build/win32/bin/help/plugin/Inds1/ ($(ls build/win32/bin/help/plugin/Inds1/*.htm | wc -l) pages), index none.htm"
page=build/win32/bin/help/plugin/Inds1/SOS16.htm
chromium --headless=new --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$root/build/chromium" \
  --window-size=275,1000 --screenshot="$root/build/help-SOS16.png" "file://$root/$page" >/dev/null 2>&1 || true
if [ -s build/help-SOS16.png ]; then
  echo "  the help page of signal 16 as the help window shows it: build/help-SOS16.png"
fi
echo
echo "Shipped 32-bit Windows DLLs:"
ls -l build/win32/bin/*.dll build/win32/bin/msxhost.exe
