# Where setup refuses to write: a target reached through a junction or
# link, a program folder outside Program Files.
# (Sourced by run.sh, after helpers.sh.)

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
