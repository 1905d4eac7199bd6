# A folder named outside the ANSI code page.
# (Sourced by run.sh, after helpers.sh.)

# --- a folder whose name is outside the ANSI code page ------------------------
reset
wide="$C/MT4 €uro ✓/MQL4"
mkdir -p "$wide/Libraries"
run_setup '/MT4=C:\MT4 €uro ✓\MQL4' /NOMETASTOCK
check "install into a folder named with € and ✓ (exit $code)" test "$code" -eq 0 -a -f "$wide/Libraries/BarsightPlugin.dll"
uninstall
check "uninstall removes its files there too" test ! -e "$wide/Libraries/BarsightPlugin.dll" -a ! -e "$wide/Include"
rm -rf "$C/MT4 €uro ✓"
