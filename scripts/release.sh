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
. scripts/lib/build.sh
# The help pages are drawn by the native msxhost, then put beside the DLLs.
BUILD_LOG=build/native-help.log build native --target help_pages || exit 1
build win32 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" || exit 1
build release64 -DBARSIGHT_HELP_FROM="$root/build/native/bin/help" --target BarsightPlugin Spreadcore help_pages ||
  exit 1
python3 scripts/make_release.py build/win32 dist --x64 build/release64 "${sign[@]}"
