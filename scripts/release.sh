#!/usr/bin/env bash
# Builds the shipped 32-bit DLLs (MetaStock, MetaTrader 4) and the x86_64 ones
# (MetaTrader 5), and assembles dist/barsight-<version>-win32.zip and the setup.
# usage: release.sh [--sign PFX]   (the certificate's password in BARSIGHT_SIGN_PASSWORD)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sign=()
if [ "${1:-}" = --sign ]; then
  [ -n "${2:-}" ] || { echo "release.sh: --sign needs the certificate (.pfx)" >&2; exit 2; }
  [ -n "${BARSIGHT_SIGN_PASSWORD+set}" ] || { echo "release.sh: --sign needs BARSIGHT_SIGN_PASSWORD" >&2; exit 2; }
  sign=(--sign "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")")
fi
cd "$root"
"$root/scripts/deps.sh" native windows
mkdir -p build
# The help pages are drawn by the native msxhost, then put beside the DLLs.
if ! { cmake --preset native && cmake --build build/native -j "$(nproc)" --target help_pages; } \
    >build/native-help.log 2>&1; then
  tail -40 build/native-help.log
  echo "the help pages could not be made (whole log: build/native-help.log)"
  exit 1
fi
if ! { cmake --preset win32 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" &&
       cmake --build build/win32 -j "$(nproc)"; } >build/win32.log 2>&1; then
  tail -40 build/win32.log
  echo "build of win32 failed (whole log: build/win32.log)"
  exit 1
fi
if ! { cmake --preset release64 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" &&
       cmake --build build/release64 -j "$(nproc)" --target BarsightPlugin Spreadcore help_pages; } \
    >build/release64.log 2>&1; then
  tail -40 build/release64.log
  echo "build of release64 failed (whole log: build/release64.log)"
  exit 1
fi
python3 scripts/make_release.py build/win32 dist --x64 build/release64 "${sign[@]}"
