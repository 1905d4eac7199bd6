# 40 terminals: every one listed, /SELECT picks exactly those named.
# (Sourced by run.sh, after helpers.sh.)

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
