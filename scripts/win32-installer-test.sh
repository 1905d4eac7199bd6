#!/usr/bin/env bash
# The setup program under qemu-i386 + 32-bit Wine, silent, in the smoke run's
# prefix, its targets reset between cases:
#   install  fake MetaStock folder + two MetaTrader 4 data folders: every file
#            lands where it belongs, byte for byte; every installed binary
#            carries the project version; the installed msxhost.exe lists the
#            installed plug-in's catalogue; the Add/Remove entry is written
#   upgrade  a user's own file and a changed settings file survive a second
#            setup and the uninstall; the uninstall removes every installed
#            file, the folders it made and the Add/Remove entry, and keeps the
#            MQL4 folders
#   locked   a target DLL held open without sharing: non-zero exit, the file
#            named in the log, no file anywhere changed
#   options  /NOMT4, /NOMETASTOCK, contradictory options, a folder that does
#            not exist, no host at all
# usage: win32-installer-test.sh WIN32_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
w32=$(cd "$1" && pwd)

version=$(cat "$w32/version.txt")
dist=$w32/dist
rm -rf "$dist"
python3 "$here/make_release.py" "$w32" "$dist" >/dev/null
setup=$dist/barsight-$version-setup.exe

. "$here/wine32-prefix.sh"
holder=""
trap '[ -n "$holder" ] && kill "$holder" 2>/dev/null; /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
wine32 wineboot </dev/null >/dev/null 2>&1

C=$WINEPREFIX/drive_c
user=$(ls "$C/users" | grep -v '^Public$' | head -1)
PROG="$C/Program Files (x86)/Barsight"
MS="$C/Program Files (x86)/Equis/MetaStock/External Function DLLs"
TERMINALS="$C/users/$user/AppData/Roaming/MetaQuotes/Terminal"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Barsight'
LOG="$C/setup.log"
fail=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then echo "installer: ok: $what"; else echo "installer: FAILED: $what"; fail=1; fi
}

reset() {
  rm -rf "$PROG" "$C/Program Files (x86)/Equis" "$C/users/$user/AppData/Roaming/MetaQuotes" "$LOG"
  wine32 reg delete "$KEY" /f </dev/null >/dev/null 2>&1 || true
}
hosts() {  # the fake MetaStock folder and two MetaTrader data folders with origin.txt
  mkdir -p "$MS"
  for id in 0123ABCD 4567EF01; do
    mkdir -p "$TERMINALS/$id/MQL4/Libraries" "$TERMINALS/$id/MQL4/Indicators"
    { printf '\xff\xfe'; printf 'C:\\Program Files\\MetaTrader %s' "$id" | iconv -t UTF-16LE; } \
      >"$TERMINALS/$id/origin.txt"
  done
}
run_setup() {  # options...; sets $code
  set +e
  wine32 "$setup" /S '/LOG=C:\setup.log' "$@" </dev/null >/dev/null 2>&1
  code=$?
  set -e
}
uninstall() {
  set +e
  # _?= must reach the uninstaller unquoted (else it copies itself to %TEMP%,
  # runs from there and its exit code is lost).
  wine32 "$w32/test-bin/run_command_line.exe" \
    '"C:\Program Files (x86)\Barsight\uninstall.exe" /S _?=C:\Program Files (x86)\Barsight' \
    </dev/null >/dev/null 2>&1
  code=$?
  set -e
}
registered() { wine32 reg query "$KEY" </dev/null >/dev/null 2>&1; }
logged() { iconv -f UTF-16LE -t UTF-8 "$LOG" 2>/dev/null | tr -d '\r' | grep -q "$1"; }
targets_match() {  # which of METASTOCK MT4 PROGRAM hold exactly their files; the rest hold none
  python3 - "$w32/installer/files.nsh" "$PROG" "$MS" "$TERMINALS" "$@" <<'PY'
import filecmp, os, re, sys
nsh, prog, ms, terminals = sys.argv[1:5]
present = set(sys.argv[5:])
mt4 = [os.path.join(terminals, t, "MQL4") for t in sorted(os.listdir(terminals))] if os.path.isdir(terminals) else []
dirs = {"METASTOCK": [ms], "MT4": mt4, "PROGRAM": [prog]}
group, bad = None, []
for line in open(nsh, encoding="utf-8"):
    m = re.match(r"!macro BARSIGHT_(\w+)_FILES", line)
    if m:
        group = m.group(1)
        continue
    m = re.match(r'\s*!insertmacro \$\{OP\} "\$\{DIR\}" "([^"]*)" "([^"]*)" "([^"]*)"', line)
    if not m:
        continue
    folder, name, source = m.groups()
    for d in dirs[group]:
        path = os.path.join(d, folder.replace("\\", "/"), name)
        if group in present:
            if not os.path.isfile(path):
                bad.append("missing " + path)
            elif name != "BarsightPlugin.dll.config" and not filecmp.cmp(path, source, shallow=False):
                bad.append("differs " + path)
        elif os.path.exists(path):
            bad.append("unexpected " + path)
if bad:
    print("\n".join(bad[:10]))
sys.exit(1 if bad else 0)
PY
}
versions_ok() {
  python3 - "$version" "$PROG" "$MS" "$TERMINALS" <<PY
import os, sys
sys.path.insert(0, "$here/../tests/kit")
from check_bundle import version_problem
numbers = [int(x) for x in sys.argv[1].split(".")] + [0]
bad = []
for top in sys.argv[2:]:
    for folder, _, names in os.walk(top):
        for n in names:
            if n.endswith((".dll", ".exe")) and n not in ("uninstall.exe",) and not n.startswith("MyOwn"):
                p = os.path.join(folder, n)
                problem = version_problem(open(p, "rb").read(), numbers)
                if problem:
                    bad.append("%s: %s" % (p, problem))
if bad:
    print("\n".join(bad))
sys.exit(1 if bad else 0)
PY
}
snapshot() { find "$PROG" "$C/Program Files (x86)/Equis" "$TERMINALS" -type f -exec md5sum {} + 2>/dev/null | sort; }

# --- install ---------------------------------------------------------------
reset
hosts
run_setup
check "silent install exits 0 ($code)" test "$code" -eq 0
check "every file where it belongs, byte for byte" targets_match METASTOCK MT4 PROGRAM
check "installed binaries carry version $version" versions_ok
catalogue=$(wine32 'C:\Program Files (x86)\Barsight\tools\msxhost.exe' catalogue \
  'C:\Program Files (x86)\Equis\MetaStock\External Function DLLs\BarsightPlugin.dll' </dev/null | tr -d '\r')
check "the installed msxhost lists the installed plug-in" grep -q '^3 VSAInd "VSA Indicators" 0 argument' <<<"$catalogue"
# The guide's commands, as written, from the program folder.
scan=$(cd "$PROG" && wine32 'tools\msxhost.exe' scan 'tools\BarsightPlugin.dll' VSAInd --ago 2 \
  --data "Z:$(cd "$here/../data" && pwd)/sample_ohlcv.csv" </dev/null | tr -d '\r')
check "the guide's scan command works from the program folder" grep -q 'sample_ohlcv.csv,[0-9-]*,' <<<"$scan"
check "the Add/Remove entry is written" registered
check "the log names both terminals by origin.txt" logged 'terminal: C:\\Program Files\\MetaTrader 4567EF01'

# --- upgrade and uninstall -----------------------------------------------------
echo "my own" >"$TERMINALS/0123ABCD/MQL4/Libraries/MyOwn.dll"
sed -i 's|</configuration>|<!-- moved --></configuration>|' "$MS/BarsightPlugin.dll.config"
changed=$(md5sum <"$MS/BarsightPlugin.dll.config")
run_setup
check "an upgrade over the install exits 0" test "$code" -eq 0
check "the upgrade keeps the changed settings file" test "$(md5sum <"$MS/BarsightPlugin.dll.config")" == "$changed"
check "the upgrade keeps the user's own file" test -f "$TERMINALS/0123ABCD/MQL4/Libraries/MyOwn.dll"
uninstall
check "uninstall exits 0 ($code)" test "$code" -eq 0
check "uninstall keeps the user's own file" test -f "$TERMINALS/0123ABCD/MQL4/Libraries/MyOwn.dll"
check "uninstall keeps the changed settings file" test -f "$MS/BarsightPlugin.dll.config"
check "uninstall removes the unchanged settings file" test ! -e "$TERMINALS/4567EF01/MQL4/Libraries/BarsightPlugin.dll.config"
# (An uninstaller run with _?= cannot delete itself: that is left to its caller.)
left=$(find "$PROG" "$MS" "$TERMINALS" -type f 2>/dev/null |
       grep -v -e MyOwn.dll -e origin.txt -e "$MS/BarsightPlugin.dll.config" -e "$PROG/uninstall.exe" || true)
[ -z "$left" ] || echo "$left" | head -5
check "uninstall removes every installed file" test -z "$left"
check "uninstall keeps the MQL4 folders" test -d "$TERMINALS/4567EF01/MQL4/Libraries" -a -d "$TERMINALS/4567EF01/MQL4/Indicators"
check "uninstall removes the folders it made" test ! -e "$TERMINALS/4567EF01/MQL4/Include" -a ! -e "$MS/help"
if registered; then check "uninstall removes the Add/Remove entry" false; else check "uninstall removes the Add/Remove entry" true; fi

# --- a running host holds the DLL ------------------------------------------------
reset
hosts
run_setup
fifo=$TMPDIR/holder.out
rm -f "$fifo"
# Killing the Wine process from here does not reliably end the Windows one:
# the holder lets go by itself after a while, and the test waits for it.
wine32 "$w32/test-bin/hold_file.exe" 'C:\Program Files (x86)\Equis\MetaStock\External Function DLLs\BarsightPlugin.dll' 12 \
  </dev/null >"$fifo" 2>&1 &
holder=$!
for _ in $(seq 100); do grep -q held "$fifo" 2>/dev/null && break; sleep 0.1; done
check "the stand-in host holds the DLL" grep -q held "$fifo"
before=$(snapshot)
run_setup
check "setup over a held DLL fails (exit $code)" test "$code" -ne 0
check "the log names the held file" logged 'External Function DLLs\\BarsightPlugin.dll is in use'
check "no file anywhere changed" test "$(snapshot)" == "$before"
wait "$holder" 2>/dev/null || true
holder=""

# --- uninstall while a host holds a file, then again --------------------------
rm -f "$fifo"
wine32 "$w32/test-bin/hold_file.exe" 'C:\Program Files (x86)\Equis\MetaStock\External Function DLLs\Spreadcore.dll' 8 \
  </dev/null >"$fifo" 2>&1 &
holder=$!
for _ in $(seq 100); do grep -q held "$fifo" 2>/dev/null && break; sleep 0.1; done
uninstall
check "uninstall with a held file says so (exit $code)" test "$code" -ne 0
check "the held file stays recorded and the entry registered" grep -q Spreadcore.dll <(iconv -f UTF-16LE -t UTF-8 "$PROG/installed.txt" 2>/dev/null)
if registered; then check "the Add/Remove entry stays for the second try" true; else check "the Add/Remove entry stays for the second try" false; fi
wait "$holder" 2>/dev/null || true  # the host closes
holder=""
uninstall
check "the second uninstall finishes (exit $code)" test "$code" -eq 0 -a ! -e "$MS/Spreadcore.dll"
[ "$code" -eq 0 ] || iconv -f UTF-16LE -t UTF-8 "$PROG/installed.txt" 2>/dev/null | grep -v '^.\?D|' | head -5
if registered; then check "and removes the entry" false; else check "and removes the entry" true; fi

# --- a folder whose name is outside the ANSI code page ------------------------
reset
wide="$C/MT4 €uro ✓/MQL4"
mkdir -p "$wide/Libraries"
run_setup '/MT4=C:\MT4 €uro ✓\MQL4' /NOMETASTOCK
check "install into a folder named with € and ✓ (exit $code)" test "$code" -eq 0 -a -f "$wide/Libraries/BarsightPlugin.dll"
uninstall
check "uninstall removes its files there too" test ! -e "$wide/Libraries/BarsightPlugin.dll" -a ! -e "$wide/Include"
rm -rf "$C/MT4 €uro ✓"

# --- options -------------------------------------------------------------------
reset
hosts
run_setup /NOMT4
check "/NOMT4 installs MetaStock and the program files only" targets_match METASTOCK PROGRAM
reset
hosts
run_setup /NOMETASTOCK
check "/NOMETASTOCK installs MetaTrader and the program files only" targets_match MT4 PROGRAM
reset
hosts
run_setup '/METASTOCK=C:\Program Files (x86)\Equis\MetaStock\External Function DLLs' /NOMETASTOCK
check "contradictory options are an error (exit $code)" test "$code" -eq 2
check "and nothing is installed" targets_match
reset
hosts
run_setup '/MT4=C:\no such folder\MQL4'
check "an /MT4 folder that does not exist is an error (exit $code)" test "$code" -eq 2
check "the log says which" logged 'no such folder'
run_setup '/METASTOCK='
check "an empty /METASTOCK is an error (exit $code)" test "$code" -eq 2
reset
hosts
run_setup "/MT4=C:\\users\\$user\\AppData\\Roaming\\MetaQuotes\\Terminal\\0123ABCD\\MQL4" /NOMETASTOCK
check "/MT4 names the folders to use" test -f "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll" -a ! -e "$TERMINALS/4567EF01/MQL4/Libraries/BarsightPlugin.dll"
reset
run_setup
check "no host: the program files alone (exit $code)" test "$code" -eq 0
check "and the log says so" logged 'program files alone'
reset

exit $fail
