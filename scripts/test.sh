#!/usr/bin/env bash
# Builds and tests every lane from scratch-safe build folders under build/:
#   native   the Linux shared objects, msxhost and the GoogleTest suites
#   asan     the native suites under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     the native suites under ThreadSanitizer
#   win32    the shipped i686 DLLs: export/import/stdcall checks, the
#            32-bit smoke run and the silent setup under qemu-i386 + Wine
#   win64    the suites as Windows programs under wine64, the MQL5 kit in the
#            x86_64 runner, the setup's logic as an x86_64 program
#   fuzz     each libFuzzer target for about a minute (scripts/fuzz.sh)
# Prints each lane's time; exits non-zero if any lane failed.
# usage: test.sh [LANE...]   (default: all lanes)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
lanes=("$@")
[ ${#lanes[@]} -eq 0 ] && lanes=(native asan tsan win32 win64 fuzz)

# The package groups each lane needs (scripts/deps.sh), installed when the
# lane starts: a machine that cannot install one group still runs the lanes
# that do not need it.
lane_groups() {
  case $1 in
    native | asan | tsan) echo native browser ;;
    win32) echo native browser windows smoke32 ;;
    win64) echo native windows ;;
    fuzz) echo native fuzz ;;
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

lane_native() { build native && ctest --test-dir build/native -j "$jobs" --output-on-failure; }
lane_asan() { build asan && ctest --test-dir build/asan -j "$jobs" --output-on-failure; }
lane_tsan() { build tsan && ctest --test-dir build/tsan -j "$jobs" --output-on-failure; }
# Whether 32-bit Wine starts a program under qemu-i386 on this machine. On
# some kernels it cannot (its ntdll cannot be mapped where it must be, and
# kernel32 is then never found): the runs that need it are skipped with a
# line saying so, unless BARSIGHT_REQUIRE_WINE32=1.
wine32_runs() {
  local out
  out=$(bash -c '. scripts/lib/wine.sh
    wine_prefix 32 "$1/build/win32/wine/prefix32"
    win cmd /c echo wine32-ok </dev/null 2>/dev/null | tr -d "\r"
    wine_stop' _ "$root" </dev/null 2>/dev/null)
  [ "$out" = wine32-ok ]
}
lane_win32() {
  # The native build draws the help pages the DLLs ship with; the smoke run
  # compares with its output.
  build native || return 1
  build win32 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" &&
    ctest --test-dir build/win32 --output-on-failure || return 1
  if ! wine32_runs; then
    echo "win32: 32-bit Wine cannot start a program under qemu-i386 on this machine (kernel $(uname -r)):"
    echo "win32: the smoke run and the silent setup were NOT run (BARSIGHT_REQUIRE_WINE32=1 makes this a failure)"
    lane_note="32-bit runs skipped"
    [ "${BARSIGHT_REQUIRE_WINE32:-0}" = 1 ] && return 1
    return 0
  fi
  scripts/win32-smoke.sh build/win32 build/native || return 1
  scripts/installer-test.sh build/win32
}
lane_win64() {
  # The native build draws the help pages the x64 DLLs ship with (the x64
  # bundle check looks for them).
  build native || return 1
  build win64 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" || return 1
  scripts/wine-prefix.sh start build/win64 || return 1
  # A Wine process start now and then fails before the program runs (no
  # output, 0.00 s); such a test gets one more try. A test that fails twice
  # fails the lane.
  ctest --test-dir build/win64 -j "$jobs" --output-on-failure --repeat until-pass:2
  local rc=$?
  scripts/wine-prefix.sh stop build/win64
  # The setup's logic as an x86_64 program under wine64 (the shipped setup
  # is 32-bit, which 32-bit Wine cannot run everywhere), with the i686 DLLs
  # of the win32 build and the MetaTrader 5 part of this one, signed once.
  if [ $rc -eq 0 ]; then
    build win32 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" || return 1
    BARSIGHT_INSTALLER_SIGN=1 scripts/installer-test.sh --amd64 build/win32 build/win64 >build/installer64.log 2>&1
    rc=$?
    grep -c ': ok: ' build/installer64.log | sed 's/^/win64: installer checks passed: /'
    [ $rc -eq 0 ] || grep -v ': ok: ' build/installer64.log | tail -30
  fi
  return $rc
}

lane_fuzz() { scripts/fuzz.sh 60; }

passed=0
failed=0
summary=()
for lane in "${lanes[@]}"; do
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

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
echo "lanes: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
