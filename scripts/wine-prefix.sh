#!/usr/bin/env bash
# Starts or stops the private Wine prefix of a build folder, in which its
# ctest runs the Windows programs (scripts/lib/wine.sh makes it): the 64-bit
# one of the win64 lane, or the WoW64-style one of the win32 lane whose
# programs run as 32-bit under qemu-i386.
#   wine-prefix.sh start BUILD_DIR [64|32]   make the prefix if needed, start its wineserver
#                                            and the build's desktop_keeper
#   wine-prefix.sh stop BUILD_DIR [64|32]    stop that wineserver and every program in the prefix
# The keeper (tests/win32/desktop_keeper.c) holds the prefix's desktop open
# until the stop: Wine's desktop process is then started once, by the keeper,
# with no output a test runner waits on, and not by the first test that makes
# a window, whose end ctest would otherwise see only when the desktop closes
# (a second after the last program on it, so never while another test runs).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
usage() { echo "usage: $0 start|stop BUILD_DIR [64|32]" >&2; exit 2; }
[ $# -eq 2 ] || [ $# -eq 3 ] || usage
build=$(cd "$2" && pwd)
bits=${3:-64}
case $bits in
  64) prefix=$build/wine/prefix ;;
  32) prefix=$build/wine/prefix32 ;;
  *) usage ;;
esac
. "$here/lib/wine.sh"
case $1 in
  start)
    wine_prefix "$bits" "$prefix"
    keeper=$build/test-bin/desktop_keeper.exe
    if [ ! -f "$keeper" ]; then
      echo "wine-prefix.sh: no $keeper (build the desktop_keeper target first)" >&2
      exit 1
    fi
    # Its one line says the desktop is up; its end of the pipe (and the
    # desktop process's) stays open with no reader, never written to again.
    ready=$TMPDIR/desktop-keeper.fifo
    rm -f "$ready"
    mkfifo "$ready"
    win "$keeper" </dev/null >"$ready" 2>/dev/null &
    line=""
    read -r -t 300 line <"$ready" || true
    line=${line%$'\r'}
    rm -f "$ready"
    if [ "$line" != ready ]; then
      echo "wine-prefix.sh: the desktop keeper did not start in $prefix: ${line:-no output}" >&2
      exit 1
    fi
    ;;
  stop) WINEPREFIX=$prefix TMPDIR=$build/wine/tmp /usr/lib/wine/wineserver -k 2>/dev/null || true ;;
  *) usage ;;
esac
