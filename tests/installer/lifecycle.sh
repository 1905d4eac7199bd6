# Install, upgrade and uninstall: MetaStock, MetaTrader 4 and (with the x64
# part) MetaTrader 5 side by side, every file where it belongs and of its
# bitness; an upgrade and the uninstall keep what the user changed and
# remove the rest.
# (Sourced by run.sh, after helpers.sh.)

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
  --data "Z:$(cd "$root/data" && pwd)/sample_ohlcv.csv" </dev/null | tr -d '\r')
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
check "and puts the new one beside it" cmp -s "$IND/BarsightVSA.mq4.new" "$root/kit/MQL4/Indicators/BarsightVSA.mq4"
check "and says so in the log" logged "kept (changed since it was installed): C:\users\\$user\AppData\Roaming\MetaQuotes\Terminal\0123ABCD\MQL4\Indicators\BarsightVSA.mq4"
check "an unchanged indicator is replaced, no .new" test ! -e "$IND/BarsightVolume.mq4.new" -a ! -e "$TERMINALS/4567EF01/MQL4/Indicators/BarsightVSA.mq4.new"
uninstall '/LOG=C:\uninstall.log'
check "uninstall keeps the edited indicator and its compiled program (exit $code)" \
  test "$(md5sum <"$IND/BarsightVSA.mq4")" == "$edited" -a -f "$IND/BarsightVSA.ex4"
check "and the log says why" grep -qF "kept (changed since it was installed): " <(ulog_text)
check "an unchanged indicator goes with its compiled program" test ! -e "$IND/BarsightVolume.mq4" -a ! -e "$IND/BarsightVolume.ex4"
check "the .new it placed goes too" test ! -e "$IND/BarsightVSA.mq4.new"
check "every other file of that terminal went" test ! -e "$TERMINALS/0123ABCD/MQL4/Libraries/BarsightPlugin.dll"
