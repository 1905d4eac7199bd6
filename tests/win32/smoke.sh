#!/usr/bin/env bash
# Runs the shipped 32-bit msxhost.exe and BarsightPlugin.dll under qemu-i386
# and 32-bit Wine, and checks that they print the same catalogue and the same
# result values as the native build, that the stress run is clean, and that
# the kit's MQL4 programs run through the 32-bit mql4run.
# usage: smoke.sh WIN32_BUILD_DIR NATIVE_BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
w32=$(cd "$1" && pwd)
nat=$(cd "$2" && pwd)
data=$root/data/sample_ohlcv.csv

. "$root/scripts/lib/wine.sh"
wine_prefix 32 "$w32/wine/prefix32"
trap wine_stop EXIT

fail=0
compare() {  # name, then the msxhost arguments after the plug-in
  compare_plugin BarsightPlugin "$@"
}
compare_plugin() {  # plug-in base name, test name, msxhost arguments after the plug-in
  local plugin=$1 name=$2 cmd=$3
  shift 3
  local out32 outnat
  out32=$(win "$w32/bin/msxhost.exe" "$cmd" "$w32/bin/$plugin.dll" "$@" </dev/null | tr -d '\r')
  outnat=$("$nat/bin/msxhost" "$cmd" "$nat/bin/lib$plugin.so" "$@")
  if [ "$out32" == "$outnat" ]; then
    echo "smoke32: $name: same as native ($(printf '%s\n' "$outnat" | wc -l) lines)"
  else
    echo "smoke32: $name: DIFFERS from native"
    diff <(printf '%s\n' "$outnat") <(printf '%s\n' "$out32") | head -20
    fail=1
  fi
}

compare catalogue catalogue
compare VSAMakeConst run VSAMakeConst --data "$data" --num 7.9
compare VSATrend run VSATrend --data "$data" --num 20
compare "VSATrend 200" run VSATrend --data "$data" --num 200
compare "VSAVolStops" run VSAVolStops --data "$data" --num 2.5 --array atr:14
compare "VSASpread volume" run VSASpread --data "$data" --num 0 --num 30
compare "VSASpread range" run VSASpread --data "$data" --num 1 --num 50
compare "VSAInd with Spreadcore" run VSAInd --data "$data"
# The same codes on every real daily series (scripts/real_data.py's cache): the
# shipped DLL takes the prices in single precision as the host passes them,
# as the native library does.
real=${BARSIGHT_REAL_DATA:-${XDG_CACHE_HOME:-$HOME/.cache}/barsight/real-data}
for symbol in SP500 AAPL GOOG MSFT SSE SZSE CSI300 SZSME CHINEXT PAB SPDB COMPLANT IFC ICC IMC; do
  if [ -f "$real/$symbol.csv" ]; then
    compare "VSAInd on $symbol" run VSAInd --data "$real/$symbol.csv"
  else
    echo "smoke32: VSAInd on $symbol: no series in $real (scripts/real_data.py makes it)"
    fail=1
  fi
done
# Every client export through its stdcall signature, in one process: a wrong
# calling convention would corrupt the stack and garble what follows.
compare "client exports" client SignFilter -2 -- SignFilter 2 -- SignFilter -2147483648 -- \
  CalcVolumeColor 1 2 3 10 5 -- CalcVolumeColor 3 2 1 nan 5 -- CalcVolumeColor 3 2 1 6 5 -- \
  TS_GetID -- TS_GetID -- TS_CreateTable 3 -- TS_SetVSAValue 1 5 7 -- TS_SetConfValue 1 5 9 -- \
  TS_GetVSAValue 1 5 -- TS_GetConfValue 1 5 -- TS_GetVSAValue 1 -2147483648 -- \
  TS_SetVSAValue -1 1 1 -- IncRefCount -- IncRefCount -- DecRefCount -- GetRefCount -- \
  GetUniqueID -- GetUniqueID -- DebugPrint abc -- DebugPrint null -- SignFilter 199 -- \
  IsDialogRunning -- HideDialog -- KillDialog -- IsDialogRunning -- SignFilter -5
# The help window on its own thread in the shipped DLL: started, shown at a
# page, hidden, closed, and started again by a show after the close.
compare "help window" client IsDialogRunning -- StartDialog -- IsDialogRunning -- ShowDialog 0 VSAInd -- \
  HideDialog -- ShowDialog 0 "Barsight;SOS3;" -- KillDialog -- IsDialogRunning -- ShowDialog 0 SOW1 -- \
  IsDialogRunning -- KillDialog -- IsDialogRunning
if out=$(win "$w32/bin/msxhost.exe" client "$w32/bin/BarsightPlugin.dll" GetCurrentTimeUTC -- \
      GetCurrentUTCStr -- SignFilter 3 </dev/null | tr -d '\r') &&
   printf '%s\n' "$out" | grep -qE '^GetCurrentUTCStr\(\) = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3} Z"$' &&
   printf '%s\n' "$out" | grep -qx 'SignFilter(3) = 3'; then
  echo "smoke32: time exports: $(printf '%s\n' "$out" | head -2 | tr '\n' ' ')"
else
  echo "smoke32: time exports: FAILED"; printf '%s\n' "$out"; fail=1
fi
prices=$root/data/sample_prices.csv
compare_plugin orvane "orvane catalogue" catalogue
compare_plugin orvane "GetPriceData" run GetPriceData --str "$prices" --str 1/5/2015 \
  --str 12/31/2016 --data "$data"
compare_plugin orvane "GetVolumeData" run GetVolumeData --str "$prices" --str 6/1/2020 \
  --str 6/30/2020 --data "$data"
for plugin in BarsightPlugin orvane; do
  if win "$w32/bin/msxhost.exe" stress "$w32/bin/$plugin.dll" </dev/null | tr -d '\r' | tail -1 |
     grep -qx 'stress: clean'; then
    echo "smoke32: $plugin stress: clean"
  else
    echo "smoke32: $plugin stress: PROBLEMS (run msxhost.exe stress for details)"
    fail=1
  fi
done
# The kit's MQL4 programs through the 32-bit mql4run.exe against the shipped
# DLLs, the way MetaTrader 4 runs them (int is a pointer's size), the help
# window opened by a click on an arrow included.
if MQL4RUN_PREFIX="qemu-i386 /usr/lib/wine/wine-preloader /usr/lib/wine/wine" \
   python3 "$root/tests/mql4run/check_runner.py" "$w32/bin/mql4run.exe" "$w32/bin" \
     "$nat/bin/msxhost" "$nat/bin/libBarsightPlugin.so" "$data" "$root/data/help_pictures.csv" \
     --windows \
     > "$w32/mql4run-check.log" 2>&1; then
  echo "smoke32: mql4run: $(grep -c ': ok$' "$w32/mql4run-check.log") checks of the kit programs passed"
else
  echo "smoke32: mql4run: FAILED"; grep -v ': ok$' "$w32/mql4run-check.log" | tail -20
  fail=1
fi
exit $fail
