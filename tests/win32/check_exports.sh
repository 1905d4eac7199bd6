#!/usr/bin/env bash
# Checks a shipped 32-bit DLL against its .def file:
#  - the export table holds exactly the .def names, none decorated;
#  - the DLL imports only from Windows' own DLLs (no runtime DLLs);
#  - every export is stdcall with the argument bytes of the host's call,
#    read from the symbols of the objects it was linked from (the .def file
#    would hide a cdecl function behind an undecorated name).
# usage: check_exports.sh DEF DLL ARGBYTES OBJECT_OR_ARCHIVE...
set -euo pipefail
def=$1 dll=$2 argbytes=$3
shift 3
objdump=i686-w64-mingw32-objdump
nm=i686-w64-mingw32-nm
fail=0

expected=$(awk '/^EXPORTS/{on=1; next} on && NF {print $1}' "$def" | sort)
table=$($objdump -p "$dll")
actual=$(printf '%s\n' "$table" |
  awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} on && !NF{on=0}' |
  sort)
if [ "$expected" != "$actual" ]; then
  echo "export table differs from $def:"
  diff <(echo "$expected") <(echo "$actual") || true
  fail=1
fi
if grep -q '@' <<< "$actual"; then
  echo "decorated export names:"; printf '%s\n' "$actual" | grep '@'; fail=1
fi
if ! grep -q 'Magic.*010b' <<< "$table"; then
  echo "$dll is not a 32-bit (PE32) image"; fail=1
fi

# Windows' own DLLs (names compared in upper case, as Windows does).
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|OLE32|OLEAUT32|SHELL32|SHLWAPI|COMCTL32|COMDLG32|MSVCRT|API-MS-WIN-[A-Z0-9-]+)\.DLL$'
imports=$(printf '%s\n' "$table" | awk '/DLL Name:/{print $3}')
for dll_name in $imports; do
  if ! [[ "${dll_name^^}" =~ $allowed ]]; then
    echo "imports from a non-system DLL: $dll_name"; fail=1
  fi
done

# Object lists may arrive as one CMake list (";"-separated).
objects=()
for arg in "$@"; do IFS=';' read -r -a parts <<< "$arg"; objects+=("${parts[@]}"); done
symbols=$($nm -g --defined-only "${objects[@]}" | awk '{print $3}')
while read -r name bytes; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  found=$(printf '%s\n' "$symbols" | grep -E "^_${name}@[0-9]+$" | sort -u || true)
  if [ "$found" != "_${name}@${bytes}" ]; then
    echo "$name: expected stdcall symbol _${name}@${bytes}, found: ${found:-none}"; fail=1
  fi
done < "$argbytes"
for name in $expected; do
  grep -qE "^${name} " "$argbytes" || { echo "$name has no argument size in $argbytes"; fail=1; }
done

if [ $fail -eq 0 ]; then
  echo "exports of $(basename "$dll"): $(echo "$expected" | wc -l) names, undecorated, stdcall, system imports only"
fi
exit $fail
