#!/usr/bin/env bash
# Starts or stops the private Wine prefix of a build folder, in which its
# ctest runs the Windows programs (scripts/lib/wine.sh makes it): the 64-bit
# one of the win64 lane, or the WoW64-style one of the win32 lane whose
# programs run as 32-bit under qemu-i386.
#   wine-prefix.sh start BUILD_DIR [64|32]   make the prefix if needed, start its wineserver
#   wine-prefix.sh stop BUILD_DIR [64|32]    stop that wineserver and every program in the prefix
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
  start) wine_prefix "$bits" "$prefix" ;;
  stop) WINEPREFIX=$prefix TMPDIR=$build/wine/tmp /usr/lib/wine/wineserver -k 2>/dev/null || true ;;
  *) usage ;;
esac
