# The registered quiet uninstaller, as Add/Remove Programs runs it.
# (Sourced by run.sh, after helpers.sh.)

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
