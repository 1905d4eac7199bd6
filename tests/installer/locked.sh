# A running host holds a file: setup changes nothing, the uninstall leaves
# the held file recorded for a second run.
# (Sourced by run.sh, after helpers.sh.)

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
