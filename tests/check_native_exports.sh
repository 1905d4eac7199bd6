#!/usr/bin/env bash
# Checks that a native plug-in exports exactly the names of its .def file:
# the same export surface as the Windows DLL, nothing else.
# usage: check_native_exports.sh DEF SHARED_OBJECT
set -euo pipefail
expected=$(awk '/^EXPORTS/{on=1; next} on && NF {print $1}' "$1" | sort)
actual=$(nm -D --defined-only "$2" | awk '{print $3}' | sort)
if [ "$expected" != "$actual" ]; then
  echo "exports of $2 differ from $1:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports of $(basename "$2"): $(echo "$expected" | wc -l) names, as in $(basename "$1")"
