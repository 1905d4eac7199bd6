#!/usr/bin/env bash
# Starts or stops the private 64-bit Wine prefix of a build folder (the
# win64 lane's ctest runs its programs there; scripts/lib/wine.sh makes it).
#   wine-prefix.sh start BUILD_DIR   make the prefix if needed, start its wineserver
#   wine-prefix.sh stop BUILD_DIR    stop that wineserver
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 2 ] || { echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2; }
build=$(cd "$2" && pwd)
. "$here/lib/wine.sh"
case $1 in
  start) wine_prefix 64 "$build/wine/prefix" ;;
  stop) WINEPREFIX=$build/wine/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true ;;
  *)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
