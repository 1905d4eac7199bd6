#!/usr/bin/env bash
# Builds and tests every lane from scratch-safe build folders under build/:
#   native   the Linux shared objects, msxhost and the GoogleTest suites; the
#            Python package installed into a fresh virtual environment and
#            its tests (python/tests)
#   asan     the native suites under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     the native suites under ThreadSanitizer
#   win32    the shipped i686 DLLs: export/import/stdcall checks; as 32-bit
#            programs under qemu-i386 + 32-bit Wine the emulator's own check,
#            the help window, hook and client-process suites, the smoke run,
#            the MQL4 kit in the 32-bit runner and the shipped setup (whose
#            checks, one emulated program at a time, go on beside the lanes
#            after this one and are reported as "setup")
#   win64    the suites as Windows programs under wine64, the MQL5 kit in the
#            x86_64 runner
#   fuzz     each libFuzzer target for about a minute (scripts/fuzz.sh)
#   scripts  this script as a fresh machine runs it: with an empty
#            environment (env -i) it runs the probe lane, whose Wine makes a
#            folder named with é and €, and its output pipe closes when it
#            ends, no Wine process left (tests/scripts/check_test_script.py)
#   probe    (for the scripts lane) prints the environment the lanes get and
#            starts a Wine server that only the end of this script stops
# Every Wine server a lane started is stopped when this script ends.
# Prints each lane's time; exits non-zero if any lane failed.
# usage: test.sh [LANE...]   (default: all lanes but probe)
set -uo pipefail
# The same environment whatever the caller's, an empty one (env -i) too: a
# UTF-8 locale (Wine maps file names through it; the tests name folders
# with é and €), a search path and a home.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
# (bash's own default search path, when none is given, ends in ".")
PATH=$(printf '%s' "${PATH:-/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin}" | tr ':' '\n' |
       grep -v -x -e '' -e '.' | paste -sd:)
export PATH
[ -n "${HOME:-}" ] || HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
export HOME
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
lanes=("$@")
[ ${#lanes[@]} -eq 0 ] && lanes=(native asan tsan win32 win64 fuzz scripts)

# The package groups each lane needs (scripts/deps.sh), installed when the
# lane starts: a machine that cannot install one group still runs the lanes
# that do not need it.
lane_groups() {
  case $1 in
    native) echo native browser realdata python ;;
    asan | tsan) echo native browser realdata ;;
    win32) echo native browser windows smoke32 realdata ;;
    win64) echo native windows ;;
    fuzz) echo native fuzz ;;
    scripts | probe) echo native windows ;;
  esac
}
for lane in "${lanes[@]}"; do
  [ -n "$(lane_groups "$lane")" ] || { echo "test.sh: unknown lane $lane" >&2; exit 2; }
done

jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export GTEST_COLOR=no

. scripts/lib/build.sh

# The real price series the tests read (from packages; the lane fails,
# naming the package, when one cannot be had).
real_data() { python3 scripts/real_data.py >/dev/null; }
# The Python package from this tree into a fresh virtual environment, then
# its tests against the native build's msxhost and plug-in.
python_tests() {
  . scripts/lib/python.sh
  python_package build/native/python-venv &&
    BARSIGHT_BIN=build/native/bin BARSIGHT_PLOTS=build/native/python-plots \
      build/native/python-venv/bin/python -m pytest -q -p no:cacheprovider python/tests
}
lane_native() {
  real_data && build native && ctest --test-dir build/native -j "$jobs" --output-on-failure && python_tests
}
lane_asan() { real_data && build asan && ctest --test-dir build/asan -j "$jobs" --output-on-failure; }
lane_tsan() { real_data && build tsan && ctest --test-dir build/tsan -j "$jobs" --output-on-failure; }
# The 32-bit programs run in the win32 build's WoW64-style prefix, under
# qemu-i386. Before anything of ours: can 32-bit Wine start a program at all,
# and does the emulator keep a thread's TEB after a continued exception (a
# program with no code of ours; qemu-user 7.2 fails it, and the help window
# and the setup then die). Either failing fails the lane, naming the cause.
win32_runner_ok() {
  local run=build/win32/wine-run.sh out mode
  out=$("$run" 'C:\windows\syswow64\cmd.exe' /c echo wine32-ok </dev/null 2>&1 | tr -d '\r')
  if [ "$out" != wine32-ok ]; then
    echo "win32: 32-bit Wine cannot start a program under $(qemu-i386 --version | head -1) (kernel $(uname -r)):"
    printf '%s\n' "$out" | tail -5 | sed 's/^/win32:   /'
    return 1
  fi
  for mode in 0 1 2; do
    if ! out=$("$run" build/win32/test-bin/teb_after_exception.exe $mode </dev/null 2>&1 | tr -d '\r'); then
      echo "win32: the emulator, $(qemu-i386 --version | head -1), loses a thread's TEB after a continued exception (mode $mode: ${out:-no output}):"
      echo "win32: 32-bit Wine cannot run the help window or the setup under it; scripts/deps.sh smoke32 installs qemu-user 10 from bookworm-backports"
      return 1
    fi
    echo "win32: emulator check: $out"
  done
}
lane_win32() {
  # The native build draws the help pages the DLLs ship with; the smoke run
  # compares with its output. The x86_64 DLLs are the MetaTrader 5 part of
  # the shipped setup.
  real_data || return 1
  build native || return 1
  # The two 32-bit prefixes (the runs', the setup's) are made while the
  # DLLs build: making one is mostly one emulated program at a time.
  mkdir -p build/win32
  bash -c '. scripts/lib/wine.sh
    for prefix in prefix32 prefix32-installer; do
      wine_prefix 32 "$1/build/win32/wine/$prefix" && wine_stop
    done' _ "$root" </dev/null >build/win32-prefixes.log 2>&1 &
  local prefixes=$!
  build win32 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" || { wait $prefixes; return 1; }
  build release64 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" --target BarsightPlugin Spreadcore help_pages ||
    { wait $prefixes; return 1; }
  wait $prefixes
  if ! scripts/wine-prefix.sh start build/win32 32; then
    echo "win32: the 32-bit Wine prefix could not be made"
    return 1
  fi
  local rc=0
  win32_runner_ok || rc=1
  if [ $rc -eq 0 ]; then
    # The shipped setup in a prefix of its own, beside the rest: each
    # emulated program keeps one core busy, and the setup's cases are the
    # longest part, so they go on beside the lanes after this one (its
    # result is taken before the scripts lane: setup_result).
    BARSIGHT_INSTALLER_SIGN=1 tests/installer/run.sh build/win32 build/release64 \
      </dev/null >build/installer32.log 2>&1 &
    setup_pid=$!
    setup_start=$(date +%s)
    # The static checks, and the help window, its thread and the hooks as
    # 32-bit programs.
    ctest --test-dir build/win32 -j "$jobs" --output-on-failure || rc=1
    tests/win32/smoke.sh build/win32 build/native || rc=1
  fi
  scripts/wine-prefix.sh stop build/win32 32
  return $rc
}
# The shipped setup's checks the win32 lane left running: waits for them and
# counts them as a lane of their own ("setup"); nothing when none runs.
setup_pid=""
setup_result() {
  [ -n "$setup_pid" ] || return 0
  local rc=0
  wait "$setup_pid" || rc=1
  grep -c ': ok: ' build/installer32.log | sed 's/^/setup: checks of the shipped setup passed: /'
  grep -v ': ok: ' build/installer32.log | tail -30
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
    summary+=("$(printf '%-7s %-7s %4ds %s' setup passed $(( $(date +%s) - setup_start )) "(from the win32 lane, beside the lanes after it)")")
  else
    failed=$((failed + 1))
    summary+=("$(printf '%-7s %-7s %4ds %s' setup FAILED $(( $(date +%s) - setup_start )) "(from the win32 lane, beside the lanes after it)")")
  fi
  setup_pid=""
}
lane_win64() {
  # The native build draws the help pages the x64 DLLs ship with (the x64
  # bundle check looks for them).
  build native || return 1
  build win64 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" || return 1
  scripts/wine-prefix.sh start build/win64 || return 1
  ctest --test-dir build/win64 -j "$jobs" --output-on-failure
  local rc=$?
  scripts/wine-prefix.sh stop build/win64
  return $rc
}

lane_fuzz() { scripts/fuzz.sh 60; }
lane_scripts() { python3 tests/scripts/check_test_script.py "$root"; }
lane_probe() {
  echo "probe: LC_ALL=$LC_ALL LANG=$LANG HOME=$HOME PATH=$PATH"
  # A server left running on purpose: the end of this script must stop it.
  (
    . scripts/lib/wine.sh
    wine_prefix 64 "$root/build/probe/wine/prefix" || exit 1
    rm -rf "$WINEPREFIX/drive_c/hélp €"
    win "$WIN_SYSTEM\\cmd.exe" /c mkdir 'C:\hélp €' </dev/null >/dev/null 2>&1
    [ -d "$WINEPREFIX/drive_c/hélp €" ] || { echo "probe: Wine could not make a folder named hélp €"; exit 1; }
    echo "probe: Wine made a folder named hélp €"
  )
}

# Every Wine server of this script's build folders, whoever started it.
stop_wine_servers() {
  [ -x /usr/lib/wine/wineserver ] || return 0
  local prefix
  for prefix in "$root"/build/*/wine/prefix*/; do
    [ -d "$prefix" ] || continue
    prefix=${prefix%/}
    WINEPREFIX=$prefix TMPDIR=$(dirname "$prefix")/tmp /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1 || true
  done
}
trap stop_wine_servers EXIT

passed=0
failed=0
summary=()
for lane in "${lanes[@]}"; do
  # The scripts lane checks that nothing of the others is left running.
  [ "$lane" = scripts ] && setup_result
  echo "=== lane $lane ==="
  start=$(date +%s)
  lane_note=""
  # shellcheck disable=SC2046
  if ! "$root/scripts/deps.sh" $(lane_groups "$lane"); then
    echo "lane $lane: its packages could not be installed"
    result=FAILED
    failed=$((failed + 1))
  elif "lane_$lane"; then
    result=passed
    passed=$((passed + 1))
  else
    result=FAILED
    failed=$((failed + 1))
  fi
  summary+=("$(printf '%-7s %-7s %4ds %s' "$lane" "$result" $(( $(date +%s) - start )) "$lane_note")")
done

setup_result

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
echo "lanes: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
