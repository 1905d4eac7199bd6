# The command line's options: /NOMT4, /NOMT5, /NOMETASTOCK, /MT4=, /MT5=,
# /METASTOCK=, contradictory ones, a folder that does not exist, no host.
# (Sourced by run.sh, after helpers.sh.)

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
