# Where the log goes without /LOG=, and a link planted at a fixed name in
# %TEMP% not written through.
# (Sourced by run.sh, after helpers.sh.)

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
