#!/usr/bin/env bash
# Prepares and controls the private Wine prefix of a build folder.
#   wine-prefix.sh start BUILD_DIR   make the prefix if needed (null graphics
#                                    driver), start one persistent wineserver
#                                    and warm the prefix
#   wine-prefix.sh stop BUILD_DIR    stop that wineserver
# The 64-bit prefix serves the win64 lane; the 32-bit prefix of the i686
# scripts is wine32-prefix.sh's.
set -euo pipefail
cmd=$1
build=$(cd "$2" && pwd)
wine_dir=$build/wine
export TMPDIR=$wine_dir/tmp
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$TMPDIR"

case $cmd in
  start)
    export WINEPREFIX=$wine_dir/prefix
    if [ ! -f "$WINEPREFIX/.barsight-ready" ]; then
      rm -rf "$WINEPREFIX"
      /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
      /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        </dev/null >/dev/null 2>&1
      /usr/lib/wine/wineserver -w
      touch "$WINEPREFIX/.barsight-ready"
    fi
    /usr/lib/wine/wineserver -p || true  # already running for this prefix
    # The first program of a prefix starts Wine's helper processes, which
    # inherit its output: give them nothing a test runner would wait on.
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    WINEPREFIX=$wine_dir/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
