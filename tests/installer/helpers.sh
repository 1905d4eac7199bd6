# What the setup's cases share: the places in the prefix (the program folder,
# the MetaStock folder, the user's terminals, the Start menu, the registry
# keys, the logs), check (one line per case, ok or FAILED), the reset
# between cases, the hosts they plant, running the setup and the
# uninstaller, and the checks of what went where.
# (Sourced by run.sh once the setup is built and the prefix is up.)

helpers=$w32/test-bin
PROGWIN='C:\Program Files (x86)\Barsight'
PROG="$WINEPREFIX/drive_c/Program Files (x86)/Barsight"
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
  wine64_run reg import 'C:\reset.reg' </dev/null >/dev/null 2>&1 || true
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
sys.path.insert(0, "$root/tests/kit")
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
