#!/usr/bin/env bash
# Builds the shipped 32-bit DLLs and assembles dist/barsight-<version>-win32.zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" native windows
mkdir -p build
if ! { cmake --preset win32 && cmake --build build/win32 -j "$(nproc)"; } >build/win32.log 2>&1; then
  tail -40 build/win32.log
  echo "build of win32 failed (whole log: build/win32.log)"
  exit 1
fi
python3 scripts/make_release.py build/win32 dist
