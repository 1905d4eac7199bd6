# A second user profile's terminals: listed, selected only on request.
# (Sourced by run.sh, after helpers.sh.)

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
