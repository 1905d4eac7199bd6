#!/usr/bin/env bash
# The setup program that ships, silent, as the 32-bit program it is (under
# qemu-i386 + 32-bit Wine, in the WoW64-style prefix of the win32 build, as
# 64-bit Windows runs it), its targets reset between cases.
#   tests/installer/run.sh WIN32_BUILD_DIR [WIN64_BUILD_DIR]
# With a win64 (or release64) build the setup carries the MetaTrader 5 part.
# This script builds the setup and starts the prefix; helpers.sh holds what
# the cases share; the groups of cases run in this order, each from its file:
#   lifecycle  MetaStock, MetaTrader 4 and MetaTrader 5 terminals side by
#            side: every file where it belongs, byte for byte, each DLL of
#            its target's bitness (x86_64 in MQL5 folders, i686 elsewhere);
#            the installed binaries carry the project version; the installed
#            msxhost lists the installed plug-in; the Add/Remove entry and the
#            Start-menu entries for all users are written; the log says where
#            each part went. Then an upgrade: a user's own file and a changed
#            settings file survive a second setup and the uninstall; the
#            uninstall removes every installed file, the folders it made, the
#            Start-menu entries and the Add/Remove entry, and keeps the data
#            folders; an edited indicator survives an upgrade and the uninstall
#   refusals a target reached through a junction or link, a program folder
#            outside Program Files
#   users    a second user profile (its own ProfileList entry) with a
#            terminal: listed, not selected by default; /SELECT=all installs
#            into both users' terminals; the uninstaller removes both
#   quiet_uninstall  the registered quiet uninstaller, as Add/Remove
#            Programs runs it
#   metastock  MetaStock at other folders, found through planted uninstall
#            entries (32-bit view with InstallLocation, DisplayIcon only,
#            HKCU's UninstallString only): each is a target
#   many     40 terminals: 40 targets listed; /SELECT picks exactly the
#            terminals at the places named
#   signed   (with BARSIGHT_INSTALLER_SIGN=1) a signed build's setup writes a
#            signed uninstaller that verifies; an altered signed DLL does not
#   locked   a target DLL held open without sharing: non-zero exit, the file
#            named in the log, no file anywhere changed; an uninstall with a
#            held file, then again
#   wide_names  a folder named with characters outside the ANSI code page
#   log_place  the log without /LOG=
#   options  /NOMT4, /NOMT5, /NOMETASTOCK, contradictory options, a folder
#            that does not exist, no host at all
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
w32=$(cd "$1" && pwd)
w64=""
[ -n "${2:-}" ] && w64=$(cd "$2" && pwd)
version=$(cat "$w32/version.txt")
work=${w64:-$w32}
dist=$work/installer-test-dist
rm -rf "$dist"
release=(python3 "$root/scripts/make_release.py" "$w32" "$dist" --keep "$dist/work")
[ -n "$w64" ] && release+=(--x64 "$w64")
"${release[@]}" >/dev/null

. "$root/scripts/lib/wine.sh"
setup=$dist/barsight-$version-setup.exe
# A prefix of its own (the cases plant users, hosts and registry keys), so
# that the other 32-bit runs can go on beside it.
wine_prefix 32 "$w32/wine/prefix32-installer"
holder=""
holder_release=""
trap '[ -n "$holder" ] && { touch "$holder_release" 2>/dev/null; kill "$holder" 2>/dev/null; }; wine_stop' EXIT
# A step that fails outside a check stops the script: say where.
trap '[[ $- == *e* ]] && echo "installer: FAILED: the script stopped at ${BASH_SOURCE[0]##*/} line $LINENO"' ERR

. "$here/helpers.sh"
for group in lifecycle refusals users quiet_uninstall metastock many signed locked wide_names log_place options; do
  . "$here/$group.sh"
done
reset

exit $fail
