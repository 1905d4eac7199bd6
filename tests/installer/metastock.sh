# MetaStock found through the uninstall entries its setup writes.
# (Sourced by run.sh, after helpers.sh.)

# --- MetaStock wherever it is ------------------------------------------------------------
# Uninstall entries as MetaStock's setup writes them: with InstallLocation
# (32-bit view), with only DisplayIcon, and a per-user one with only
# UninstallString; none at the default folder.
reset
mkdir -p "$C/Trading/MS11/External Function DLLs" "$C/Trading/Pro Edition/External Function DLLs" \
         "$C/Trading/Daily/External Function DLLs" "$C/Trading/Wide/External Function DLLs" "$C/Trading/MsiIcon"
reg add "$UNINST\\MetaStock 11" /v DisplayName /d 'MetaStock 11' /f /reg:32
reg add "$UNINST\\MetaStock 11" /v InstallLocation /d 'C:\Trading\MS11\' /f /reg:32
reg add "$UNINST\\MetaStock Pro" /v DisplayName /d 'MetaStock Pro' /f /reg:32
reg add "$UNINST\\MetaStock Pro" /v DisplayIcon /d 'C:\Trading\Pro Edition\MsWin.exe,0' /f /reg:32
# In the 64-bit view, an icon in a folder without the DLL folder (an MSI's
# cache) before the uninstaller in the right one: the next candidate counts.
reg add "$UNINST\\MetaStock Wide" /v DisplayName /d 'MetaStock Wide' /f /reg:64
reg add "$UNINST\\MetaStock Wide" /v DisplayIcon /d 'C:\Trading\MsiIcon\icon.exe,0' /f /reg:64
reg add "$UNINST\\MetaStock Wide" /v UninstallString /d '"C:\Trading\Wide\unins000.exe"' /f /reg:64
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MetaStock D' /v DisplayName /d 'MetaStock Daily Charts' /f
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MetaStock D' /v UninstallString \
  /d '"C:\Trading\Daily\unins000.exe" /SILENT' /f
run_setup /NOMT4 /NOMT5
check "MetaStock found by its InstallLocation (exit $code)" test -f "$C/Trading/MS11/External Function DLLs/BarsightPlugin.dll"
check "MetaStock found by its DisplayIcon alone" test -f "$C/Trading/Pro Edition/External Function DLLs/BarsightPlugin.dll"
check "MetaStock found by a per-user UninstallString alone" test -f "$C/Trading/Daily/External Function DLLs/BarsightPlugin.dll"
check "MetaStock found in the 64-bit view, past an icon elsewhere" test -f "$C/Trading/Wide/External Function DLLs/BarsightPlugin.dll"
check "four MetaStock targets listed ($(targets_listed))" test "$(targets_listed)" -eq 4
uninstall
check "and the uninstaller removes all three" test ! -e "$C/Trading/MS11/External Function DLLs/BarsightPlugin.dll" \
  -a ! -e "$C/Trading/Daily/External Function DLLs/Spreadcore.dll"
