#!/usr/bin/env bash
# The setup program that ships, silent, as the 32-bit program it is (under
# qemu-i386 + 32-bit Wine, in the WoW64-style prefix of the win32 build, as
# 64-bit Windows runs it), its targets reset between cases.
#   installer-test.sh WIN32_BUILD_DIR [WIN64_BUILD_DIR]
# With a win64 (or release64) build the setup carries the MetaTrader 5 part.
# Cases:
#   install  MetaStock, MetaTrader 4 and MetaTrader 5 terminals side by side:
#            every file where it belongs, byte for byte, each DLL of its
#            target's bitness (x86_64 in MQL5 folders, i686 elsewhere); the
#            installed binaries carry the project version; the installed
#            msxhost lists the installed plug-in; the Add/Remove entry and the
#            Start-menu entries for all users are written; the log says where
#            each part went
#   upgrade  a user's own file and a changed settings file survive a second
#            setup and the uninstall; the uninstall removes every installed
#            file, the folders it made, the Start-menu entries and the
#            Add/Remove entry, and keeps the data folders
#   users    a second user profile (its own ProfileList entry) with a
#            terminal: listed, not selected by default; /SELECT=all installs
#            into both users' terminals; the uninstaller removes both
#   metastock  MetaStock at other folders, found through planted uninstall
#            entries (32-bit view with InstallLocation, DisplayIcon only,
#            HKCU's UninstallString only): each is a target
#   many     40 terminals: 40 targets listed; /SELECT picks exactly the
#            terminals at the places named
#   signed   (with BARSIGHT_INSTALLER_SIGN=1) a signed build's setup writes a
#            signed uninstaller that verifies; an altered signed DLL does not
#   locked   a target DLL held open without sharing: non-zero exit, the file
#            named in the log, no file anywhere changed
#   options  /NOMT4, /NOMT5, /NOMETASTOCK, contradictory options, a folder
#            that does not exist, no host at all
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
w32=$(cd "$1" && pwd)
w64=""
[ -n "${2:-}" ] && w64=$(cd "$2" && pwd)
version=$(cat "$w32/version.txt")
work=${w64:-$w32}
dist=$work/installer-test-dist
rm -rf "$dist"
release=(python3 "$here/make_release.py" "$w32" "$dist" --keep "$dist/work")
[ -n "$w64" ] && release+=(--x64 "$w64")
"${release[@]}" >/dev/null

. "$here/lib/wine.sh"
setup=$dist/barsight-$version-setup.exe
# A prefix of its own (the cases plant users, hosts and registry keys), so
# that the other 32-bit runs can go on beside it.
wine_prefix 32 "$w32/wine/prefix32-installer"
helpers=$w32/test-bin
PROGWIN='C:\Program Files (x86)\Barsight'
PROG="$WINEPREFIX/drive_c/Program Files (x86)/Barsight"
holder=""
holder_release=""
trap '[ -n "$holder" ] && { touch "$holder_release" 2>/dev/null; kill "$holder" 2>/dev/null; }; wine_stop' EXIT
# A step that fails outside a check stops the script: say where.
trap '[[ $- == *e* ]] && echo "installer: FAILED: the script stopped at line $LINENO"' ERR

C=$WINEPREFIX/drive_c
user=$(ls "$C/users" | grep -v -e '^Public$' -e '^trader2$' | head -1)
MS="$C/Program Files (x86)/Equis/MetaStock/External Function DLLs"
TERMINALS="$C/users/$user/AppData/Roaming/MetaQuotes/Terminal"
OTHER="$C/users/trader2"
OTHER_TERMINALS="$OTHER/AppData/Roaming/MetaQuotes/Terminal"
STARTMENU="$C/ProgramData/Microsoft/Windows/Start Menu/Programs/Barsight"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Barsight'
UNINST='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
PROFILES='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
LOG="$C/setup.log"
fail=0
check() {  # description, command...
  local what=$1
  shift
  if "$@"; then echo "installer: ok: $what"; else echo "installer: FAILED: $what"; fail=1; fi
}
reg() { win "$WIN_SYSTEM\\reg.exe" "$@" </dev/null >/dev/null 2>&1; }

# The keys the cases plant or the setup writes, deleted in one import per
# registry view (a reg.exe start under the emulator costs about 0.4 s): the
# 32-bit view through the 32-bit reg.exe, the 64-bit one through wine64's.
RESET_REG="$C/reset.reg"
reset_keys() {
  local lm='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  printf 'REGEDIT4\r\n\r\n'
  printf '[-%s]\r\n' "$lm\\Barsight" "$lm\\MetaStock 11" "$lm\\MetaStock Pro" "$lm\\MetaStock Wide" \
    'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-0-0-0-1001' \
    'HKEY_LOCAL_MACHINE\Software\Barsight' \
    'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\MetaStock D'
}
reset() {
  rm -rf "$PROG" "$C/Program Files (x86)/Equis" "$C/Program Files/Equis" "$C/users/$user/AppData/Roaming/MetaQuotes" \
         "$OTHER" "$C/Trading" "$STARTMENU" "$LOG"
  reset_keys >"$RESET_REG"
  reg import 'C:\reset.reg' /reg:32 || true
  /usr/lib/wine/wine64 reg import 'C:\reset.reg' </dev/null >/dev/null 2>&1 || true
}
origin() {  # data folder's terminal, its name: origin.txt as the terminal writes it (UTF-16LE)
  { printf '\xff\xfe'; printf '%s' "$2" | iconv -t UTF-16LE; } >"$1/origin.txt"
}
hosts() {  # the fake MetaStock folder, two MetaTrader 4 data folders and (with the x64 part) a MetaTrader 5 one
  mkdir -p "$MS"
  for id in 0123ABCD 4567EF01; do
    mkdir -p "$TERMINALS/$id/MQL4/Libraries" "$TERMINALS/$id/MQL4/Indicators"
    origin "$TERMINALS/$id" "C:\\Program Files\\MetaTrader $id"
  done
  if [ -n "$w64" ]; then
    mkdir -p "$TERMINALS/89ABCDEF/MQL5/Libraries"
    origin "$TERMINALS/89ABCDEF" "C:\\Program Files\\MetaTrader 5 Broker"
  fi
}
run_setup() {  # options...; sets $code
  set +e
  win "$setup" /S '/LOG=C:\setup.log' "$@" </dev/null >/dev/null 2>&1
  code=$?
  set -e
}
uninstall() {  # [option...] before _?=
  set +e
  # _?= must reach the uninstaller unquoted (else it copies itself to %TEMP%,
  # runs from there and its exit code is lost), and last.
  win "$helpers/run_command_line.exe" "\"$PROGWIN\\uninstall.exe\" /S $* _?=$PROGWIN" </dev/null >/dev/null 2>&1
  code=$?
  set -e
}
ULOG="$C/uninstall.log"
ulog_text() { iconv -c -f UTF-16LE -t UTF-8 "$ULOG" 2>/dev/null | tr -d '\r'; }
registered() { reg query "$KEY" || reg query "$KEY" /reg:32; }
# (-c: a line that is no UTF-16 text must not hide the lines after it)
log_text() { iconv -c -f UTF-16LE -t UTF-8 "$LOG" 2>/dev/null | tr -d '\r'; }
logged() { log_text | grep -F -- "$1" >/dev/null; }  # (grep -q would end the pipe early)
targets_match() {  # which of METASTOCK MT4 MT5 PROGRAM hold exactly their files; the rest hold none
  python3 - "$dist/work/files.nsh" "$PROG" "$MS" "$TERMINALS" "$@" <<'PY'
import filecmp, os, re, sys
nsh, prog, ms, terminals = sys.argv[1:5]
present = set(sys.argv[5:])
def data_folders(kind):
    if not os.path.isdir(terminals):
        return []
    return [os.path.join(terminals, t, kind) for t in sorted(os.listdir(terminals))
            if os.path.isdir(os.path.join(terminals, t, kind))]
dirs = {"METASTOCK": [ms], "MT4": data_folders("MQL4"), "MT5": data_folders("MQL5"), "PROGRAM": [prog]}
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
bitness_ok() {  # every DLL in an MQL5 folder is x86_64 (PE32+), every other installed DLL i686 (PE32)
  python3 - "$C" <<'PY'
import os, struct, sys
bad, seen = [], 0
for folder, _, names in os.walk(sys.argv[1]):
    for n in names:
        if not n.lower().endswith(".dll") or n.startswith("MyOwn"):
            continue
        path = os.path.join(folder, n)
        if not any(t in path for t in ("/MQL4/", "/MQL5/", "External Function DLLs", "Barsight/tools")):
            continue
        data = open(path, "rb").read(4096)
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        magic = struct.unpack_from("<H", data, pe + 24)[0]
        want = 0x20B if "/MQL5/" in path else 0x10B
        seen += 1
        if magic != want:
            bad.append("%s is %s" % (path, "PE32+" if magic == 0x20B else "PE32"))
if bad:
    print("\n".join(bad[:10]))
sys.exit(1 if bad or seen == 0 else 0)
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
shortcuts() {  # how many of the three Start-menu entries exist
  local n=0
  for f in "Barsight guide.lnk" "Barsight help.lnk" "Uninstall Barsight.lnk"; do
    [ -f "$STARTMENU/$f" ] && n=$((n + 1))
  done
  echo $n
}
snapshot() { { find "$PROG" "$C/Program Files (x86)/Equis" "$TERMINALS" -type f -exec md5sum {} + 2>/dev/null || true; } | sort; }
targets_listed() { log_text | grep -c '^target [0-9]*: ' || true; }

# --- install ---------------------------------------------------------------
reset
hosts
run_setup
check "silent install exits 0 ($code)" test "$code" -eq 0
all_kinds=(METASTOCK MT4 PROGRAM)
[ -n "$w64" ] && all_kinds+=(MT5)
check "every file where it belongs, byte for byte (${all_kinds[*]})" targets_match "${all_kinds[@]}"
check "each DLL of its target's bitness (x86_64 in MQL5 folders only)" bitness_ok
check "installed binaries carry version $version" versions_ok
catalogue=$(win "$PROGWIN\tools\msxhost.exe" catalogue \
  'C:\Program Files (x86)\Equis\MetaStock\External Function DLLs\BarsightPlugin.dll' </dev/null | tr -d '\r')
check "the installed msxhost lists the installed plug-in" grep -q '^3 VSAInd "VSA Indicators" 0 argument' <<<"$catalogue"
# The guide's commands, as written, from the program folder.
scan=$(cd "$PROG" && win 'tools\msxhost.exe' scan 'tools\BarsightPlugin.dll' VSAInd --ago 2 \
  --data "Z:$(cd "$here/../data" && pwd)/sample_ohlcv.csv" </dev/null | tr -d '\r')
check "the guide's scan command works from the program folder" grep -q 'sample_ohlcv.csv,[0-9-]*,' <<<"$scan"
check "the Add/Remove entry is written" registered
check "the log names the logged-on user by SID ($(log_text | sed -n 's/^interactive user: //p'))" \
  logged "interactive user: S-1-5-21-"
check "the log names the terminals by origin.txt" logged "MetaTrader 4 - $user - C:\Program Files\MetaTrader 4567EF01"
check "the Start-menu entries for all users ($(shortcuts) of 3)" test "$(shortcuts)" -eq 3
check "the log says where the guide went" logged "went: Guide, signals, help pages, formulas and tools: $PROGWIN"
if [ -n "$w64" ]; then
  check "the MetaTrader 5 terminal is named and its files went there" \
    logged "went: MetaTrader 5 - $user - C:\Program Files\MetaTrader 5 Broker: C:\users\\$user\AppData\Roaming\MetaQuotes\Terminal\89ABCDEF\MQL5"
fi

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
check "uninstall removes the Start-menu entries" test "$(shortcuts)" -eq 0 -a ! -e "$STARTMENU"
if registered; then check "uninstall removes the Add/Remove entry" false; else check "uninstall removes the Add/Remove entry" true; fi

# --- what the trader changed stays ------------------------------------------------
# An edited indicator survives an upgrade (the new one beside it as .new)
# and the uninstall; an unchanged one goes with the program the terminal
# compiled from it; the log says which was kept and why.
reset
hosts
run_setup
IND="$TERMINALS/0123ABCD/MQL4/Indicators"
echo "// my change" >>"$IND/BarsightVSA.mq4"
edited=$(md5sum <"$IND/BarsightVSA.mq4")
echo compiled >"$IND/BarsightVolume.ex4"
echo compiled >"$IND/BarsightVSA.ex4"
run_setup
check "an upgrade keeps the edited indicator (exit $code)" test "$(md5sum <"$IND/BarsightVSA.mq4")" == "$edited"
check "and puts the new one beside it" cmp -s "$IND/BarsightVSA.mq4.new" "$here/../kit/MQL4/Indicators/BarsightVSA.mq4"
check "and says so in the log" logged "kept (changed since it was installed): C:\users\\$user\AppData\Roaming\MetaQuotes\Terminal\0123ABCD\MQL4\Indicators\BarsightVSA.mq4"
check "an unchanged indicator is replaced, no .new" test ! -e "$IND/BarsightVolume.mq4.new" -a ! -e "$TERMINALS/4567EF01/MQL4/Indicators/BarsightVSA.mq4.new"
uninstall '/LOG=C:\uninstall.log'
check "uninstall keeps the edited indicator and its compiled program (exit $code)" \
  test "$(md5sum <"$IND/BarsightVSA.mq4")" == "$edited" -a -f "$IND/BarsightVSA.ex4"
check "and the log says why" grep -qF "kept (changed since it was installed): " <(ulog_text)
check "an unchanged indicator goes with its compiled program" test ! -e "$IND/BarsightVolume.mq4" -a ! -e "$IND/BarsightVolume.ex4"
check "the .new it placed goes too" test ! -e "$IND/BarsightVSA.mq4.new"
check "every other file of that terminal went" test ! -e "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll"

# --- junctions and links in a target --------------------------------------------------
# A target folder reached through a link (a junction on Windows): setup
# writes nothing anywhere; a link made after the install is not followed
# by the uninstaller.
reset
hosts
elsewhere="$C/elsewhere"
mkdir -p "$elsewhere"
rmdir "$TERMINALS/4567EF01/MQL4/Libraries"
ln -s "$elsewhere" "$TERMINALS/4567EF01/MQL4/Libraries"
before=$(snapshot)
run_setup
check "a target's Libraries folder that is a link: exit 4 ($code)" test "$code" -eq 4
check "the log names it" logged 'MQL4\Libraries\BarsightPlugin.dll is reached through a junction or symbolic link'
check "nothing written through it, nothing anywhere changed" test -z "$(ls -A "$elsewhere")" -a "$(snapshot)" == "$before"
rm "$TERMINALS/4567EF01/MQL4/Libraries"
mkdir -p "$TERMINALS/4567EF01/MQL4/Libraries"
run_setup
mv "$TERMINALS/4567EF01/MQL4/Libraries" "$C/moved-libraries"
echo "not ours" >"$elsewhere/BarsightPlugin.dll"
ln -s "$elsewhere" "$TERMINALS/4567EF01/MQL4/Libraries"
uninstall '/LOG=C:\uninstall.log'
check "uninstall does not delete through a link made after the install (exit $code)" \
  grep -qx "not ours" "$elsewhere/BarsightPlugin.dll"
check "and says so" grep -qF "kept (reached through a junction or symbolic link): " <(ulog_text)
rm -rf "$TERMINALS/4567EF01/MQL4/Libraries" "$elsewhere" "$C/moved-libraries"

# --- the program folder --------------------------------------------------------------
# Outside Program Files (a folder other users may change, which would let
# them replace the uninstaller an administrator runs): refused.
# (/D= is the command line's last word and unquoted, spaces and all: the
# command line goes to the setup exactly as written.)
for folder in 'C:\users\Public\Barsight' 'C:\Program Files (x86)\..\users\Public\Barsight'; do
  reset
  hosts
  set +e
  win "$helpers/run_command_line.exe" "\"Z:${setup//\//\\}\" /S /LOG=C:\\setup.log /D=$folder" </dev/null >/dev/null 2>&1
  code=$?
  set -e
  check "/D=$folder is refused (exit $code)" test "$code" -eq 2 -a ! -e "$C/users/Public/Barsight"
done
check "and the log says why" logged "the program folder must be inside"

# --- every user's terminals -------------------------------------------------------
# A second profile with its own ProfileList entry (a REG_EXPAND_SZ path, as
# Windows writes it) and a terminal: listed, selected only on request.
reset
hosts
mkdir -p "$OTHER_TERMINALS/FEDC0001/MQL4/Libraries"
origin "$OTHER_TERMINALS/FEDC0001" 'C:\Program Files\Trader Two MT4'
reg add "$PROFILES\\S-1-5-21-0-0-0-1001" /v ProfileImagePath /t REG_EXPAND_SZ /d '%SystemDrive%\users\trader2' /f
run_setup
check "the other user's terminal is listed by user and origin" logged "MetaTrader 4 - trader2 - C:\\Program Files\\Trader Two MT4 = C:\\users\\trader2\\"
check "but not selected: only the interactive user's terminals are" \
  test ! -e "$OTHER_TERMINALS/FEDC0001/MQL4/Libraries/BarsightPlugin.dll" -a -f "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll"
uninstall
run_setup /SELECT=all
check "/SELECT=all installs into both users' terminals (exit $code)" \
  test "$code" -eq 0 -a -f "$OTHER_TERMINALS/FEDC0001/MQL4/Libraries/BarsightPlugin.dll" -a -f "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll"
uninstall
check "the uninstaller removes both users' files (exit $code)" \
  test "$code" -eq 0 -a ! -e "$OTHER_TERMINALS/FEDC0001/MQL4/Libraries/BarsightPlugin.dll" -a ! -e "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll"

# --- the quiet uninstaller, as Add/Remove Programs runs it ----------------------
# The registered command line as it stands (no _?=): the uninstaller copies
# itself to the temporary folder, starts the copy and ends; the copy removes
# everything.
reset
hosts
run_setup
quiet=$(win "$WIN_SYSTEM\\reg.exe" query "$KEY" /v QuietUninstallString </dev/null 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
check "the quiet uninstall command is registered ($quiet)" test "$quiet" == "\"$PROGWIN\\uninstall.exe\" /S"
set +e
win "$helpers/run_command_line.exe" "$quiet" </dev/null >/dev/null 2>&1
code=$?
set -e
for _ in $(seq 120); do
  registered || [ -e "$MS/BarsightPlugin.dll" ] || break
  sleep 0.5
done
check "the registered quiet uninstaller exits 0 ($code)" test "$code" -eq 0
check "and removes the files and the entry" test ! -e "$MS/BarsightPlugin.dll" -a ! -e "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll"
if registered; then check "the entry is gone too" false; else check "the entry is gone too" true; fi

# --- MetaStock wherever it is ------------------------------------------------------------
# Uninstall entries as MetaStock's setup writes them: with InstallLocation
# (32-bit view), with only DisplayIcon, and a per-user one with only
# UninstallString; none at the default folder.
reset
mkdir -p "$C/Trading/MS11/External Function DLLs" "$C/Trading/Pro Edition/External Function DLLs" \
         "$C/Trading/Daily/External Function DLLs" "$C/Trading/Wide/External Function DLLs" "$C/Trading/MsiIcon"
reg add "$UNINST\\MetaStock 11" /v DisplayName /d 'MetaStock 11' /f /reg:32
reg add "$UNINST\\MetaStock 11" /v InstallLocation /d 'C:\Trading\MS11\' /f /reg:32
reg add "$UNINST\\MetaStock Pro" /v DisplayName /d 'MetaStock Pro' /f /reg:32
reg add "$UNINST\\MetaStock Pro" /v DisplayIcon /d 'C:\Trading\Pro Edition\MsWin.exe,0' /f /reg:32
# In the 64-bit view, an icon in a folder without the DLL folder (an MSI's
# cache) before the uninstaller in the right one: the next candidate counts.
reg add "$UNINST\\MetaStock Wide" /v DisplayName /d 'MetaStock Wide' /f /reg:64
reg add "$UNINST\\MetaStock Wide" /v DisplayIcon /d 'C:\Trading\MsiIcon\icon.exe,0' /f /reg:64
reg add "$UNINST\\MetaStock Wide" /v UninstallString /d '"C:\Trading\Wide\unins000.exe"' /f /reg:64
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MetaStock D' /v DisplayName /d 'MetaStock Daily Charts' /f
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MetaStock D' /v UninstallString \
  /d '"C:\Trading\Daily\unins000.exe" /SILENT' /f
run_setup /NOMT4 /NOMT5
check "MetaStock found by its InstallLocation (exit $code)" test -f "$C/Trading/MS11/External Function DLLs/BarsightPlugin.dll"
check "MetaStock found by its DisplayIcon alone" test -f "$C/Trading/Pro Edition/External Function DLLs/BarsightPlugin.dll"
check "MetaStock found by a per-user UninstallString alone" test -f "$C/Trading/Daily/External Function DLLs/BarsightPlugin.dll"
check "MetaStock found in the 64-bit view, past an icon elsewhere" test -f "$C/Trading/Wide/External Function DLLs/BarsightPlugin.dll"
check "four MetaStock targets listed ($(targets_listed))" test "$(targets_listed)" -eq 4
uninstall
check "and the uninstaller removes all three" test ! -e "$C/Trading/MS11/External Function DLLs/BarsightPlugin.dll" \
  -a ! -e "$C/Trading/Daily/External Function DLLs/Spreadcore.dll"

# --- many terminals -----------------------------------------------------------------------
reset
for n in $(seq -w 1 40); do
  mkdir -p "$TERMINALS/TERM$n/MQL4"
  origin "$TERMINALS/TERM$n" "C:\\Brokers\\Broker $n"
done
run_setup /NOMETASTOCK '/SELECT=2;17;39'
check "40 terminals, 40 targets listed ($(targets_listed))" test "$(targets_listed)" -eq 40
picked=$(log_text | sed -n 's/^target \(2\|17\|39\): .* = .*\\\(TERM[0-9]*\)\\MQL4 (selected)$/\2/p' | sort | tr '\n' ' ')
installed=$(cd "$TERMINALS" && ls -d TERM*/MQL4/Libraries 2>/dev/null | cut -d/ -f1 | sort | tr '\n' ' ')
check "/SELECT=2;17;39 installs into exactly those three ($installed)" \
  test -n "$picked" -a "$picked" == "$installed" -a "$(wc -w <<<"$installed")" -eq 3
uninstall

# --- a signed build --------------------------------------------------------------------------
if [ "${BARSIGHT_INSTALLER_SIGN:-0}" = 1 ]; then
  reset
  keys=$(mktemp -d)
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
    -subj "/CN=Barsight test signing" >/dev/null 2>&1
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/test.pfx" \
    -passout 'pass:throw away' >/dev/null 2>&1
  BARSIGHT_SIGN_PASSWORD='throw away' BARSIGHT_TIMESTAMP_URL=http://127.0.0.1:9/ \
    "${release[@]}" --sign "$keys/test.pfx" >/dev/null
  verifies() { osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" >/dev/null 2>&1; }
  hosts
  run_setup
  check "the signed setup verifies" verifies "$setup"
  check "the uninstaller the signed setup wrote verifies" verifies "$PROG/uninstall.exe"
  check "the installed DLLs verify" verifies "$MS/BarsightPlugin.dll"
  check "the DLL to alter verifies as it is" verifies "$MS/Spreadcore.dll"
  if [ -n "$w64" ]; then
    check "the x86_64 DLLs verify" verifies "$TERMINALS/89ABCDEF/MQL5/Libraries/Spreadcore.dll"
  fi
  cp "$MS/Spreadcore.dll" "$keys/altered.dll"
  printf 'X' | dd of="$keys/altered.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
  if verifies "$keys/altered.dll"; then check "an altered signed DLL fails verification" false; else
    check "an altered signed DLL fails verification" true; fi
  uninstall
  rm -rf "$keys"
  "${release[@]}" >/dev/null  # the unsigned setup again for the cases below
fi

# --- a running host holds the DLL ------------------------------------------------
reset
hosts
run_setup
fifo=$TMPDIR/holder.out
# Killing the Wine process from here does not reliably end the Windows one:
# the holder lets go when the release file appears (or after 300 s at the
# latest), and the test waits for it. It holds for as long as the checks
# take, however slow the machine.
holder_release_win='C:\holder-release'
holder_release=$C/holder-release
hold() {  # the file (a Windows path) held until release_holder
  rm -f "$fifo" "$holder_release"
  win "$helpers/hold_file.exe" "$1" "$holder_release_win" 300 </dev/null >"$fifo" 2>&1 &
  holder=$!
  for _ in $(seq 600); do grep -q held "$fifo" 2>/dev/null && break; sleep 0.1; done
}
release_holder() {
  touch "$holder_release"
  wait "$holder" 2>/dev/null || true
  holder=""
  rm -f "$holder_release"
}
hold 'C:\Program Files (x86)\Equis\MetaStock\External Function DLLs\BarsightPlugin.dll'
check "the stand-in host holds the DLL" grep -q held "$fifo"
before=$(snapshot)
run_setup
check "setup over a held DLL fails (exit $code)" test "$code" -ne 0
check "the log names the held file" logged 'External Function DLLs\BarsightPlugin.dll is in use'
check "no file anywhere changed" test "$(snapshot)" == "$before"
release_holder

# --- uninstall while a host holds a file, then again --------------------------
hold 'C:\Program Files (x86)\Equis\MetaStock\External Function DLLs\Spreadcore.dll'
check "the stand-in host holds the engine" grep -q held "$fifo"
uninstall
check "uninstall with a held file says so (exit $code)" test "$code" -ne 0
check "the held file stays recorded" grep -q Spreadcore.dll <(iconv -f UTF-16LE -t UTF-8 "$PROG/installed.txt" 2>/dev/null)
if registered; then check "the Add/Remove entry stays for the second try" true; else check "the Add/Remove entry stays for the second try" false; fi
release_holder  # the host closes
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

# --- the log without /LOG= ------------------------------------------------------
# Setup's own folder, then the program folder: never a fixed name in %TEMP%,
# where a link planted by another program would take the elevated write.
reset
hosts
victim=$C/victim.txt
echo untouched >"$victim"
for temp in "$C/users/$user/AppData/Local/Temp" "$C/users/$user/Temp"; do
  mkdir -p "$temp"
  ln -sfn "$victim" "$temp/barsight-setup.log"
done
set +e
win "$setup" /S </dev/null >/dev/null 2>&1
code=$?
set -e
check "without /LOG the log is kept in the program folder (exit $code)" \
  grep -q '^Done$' <(iconv -c -f UTF-16LE -t UTF-8 "$PROG/setup.log" 2>/dev/null | tr -d '\r')
check "and a link planted at a fixed name in %TEMP% is not written through" test "$(cat "$victim")" == untouched
uninstall
check "the uninstaller removes that log too (exit $code)" test ! -e "$PROG/setup.log"
rm -f "$victim" "$C/users/$user/AppData/Local/Temp/barsight-setup.log" "$C/users/$user/Temp/barsight-setup.log"

# --- options -------------------------------------------------------------------
option_case() {  # description, option, the kinds that get files (MT5 too with the x64 part)
  local what=$1 option=$2
  shift 2
  local kinds=("$@")
  [ -n "$w64" ] && kinds+=(MT5)
  reset
  hosts
  run_setup "$option"
  check "$what" targets_match "${kinds[@]}"
}
option_case "/NOMT4 installs MetaStock, MetaTrader 5 and the program files only" /NOMT4 METASTOCK PROGRAM
option_case "/NOMETASTOCK installs MetaTrader and the program files only" /NOMETASTOCK MT4 PROGRAM
if [ -n "$w64" ]; then
  reset
  hosts
  run_setup /NOMT5
  check "/NOMT5 leaves the MQL5 folder alone" targets_match METASTOCK MT4 PROGRAM
  reset
  hosts
  run_setup "/MT5=C:\\users\\$user\\AppData\\Roaming\\MetaQuotes\\Terminal\\89ABCDEF\\MQL5" /NOMT4 /NOMETASTOCK
  check "/MT5 names the MQL5 folders to use (exit $code)" targets_match MT5 PROGRAM
  reset
  hosts
  run_setup /MT5=C:\\nothing\\MQL5 /NOMT5
  check "/MT5 with /NOMT5 is an error (exit $code)" test "$code" -eq 2
fi
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
