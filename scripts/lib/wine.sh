# Sourced by the scripts that run Windows programs: one private Wine prefix
# per use, made on first use with the null graphics driver (windows, hooks
# and message loops work without a display), served by one persistent
# wineserver, never touching the user's own ~/.wine.
#   wine_prefix 64|32 PREFIX_DIR   exports WINEPREFIX (PREFIX_DIR), TMPDIR,
#                                  WINEDEBUG and WINEDLLOVERRIDES, defines
#                                  `win` (the program runner of that bitness:
#                                  wine64, or 32-bit Wine under qemu-i386),
#                                  makes the prefix if needed and starts its
#                                  server; non-zero when the prefix cannot
#                                  be made. WIN_SYSTEM is the Windows folder
#                                  of that bitness's own programs (reg.exe,
#                                  cmd.exe): a bare name in the 32-bit prefix
#                                  finds the 64-bit one, which 32-bit Wine
#                                  cannot start
#   wine_stop                      stops that prefix's server
wine_prefix() {
  local bits=$1
  export WINEPREFIX=$2
  export TMPDIR=$(dirname "$2")/tmp
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine maps file names through the locale: without a UTF-8 one, names
  # outside ASCII cannot be made. C.UTF-8 is on every Debian system.
  export LC_ALL=C.UTF-8
  mkdir -p "$TMPDIR"
  if [ "$bits" = 32 ]; then
    export WINELOADERNOEXEC=1
    win() { qemu-i386 /usr/lib/wine/wine-preloader /usr/lib/wine/wine "$@"; }
    wineserver_bin=/usr/lib/wine/wineserver64
    WIN_SYSTEM='C:\windows\syswow64'
  else
    win() { wine64_run "$@"; }
    wineserver_bin=/usr/lib/wine/wineserver
    WIN_SYSTEM='C:\windows\system32'
  fi
  if [ ! -f "$WINEPREFIX/.barsight-ready" ]; then
    rm -rf "$WINEPREFIX"
    wine_make_prefix "$bits" || return 1
    # Marked ready only when Wine made it (its registry is there): a failed
    # making is tried again next time, not taken for a prefix.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine: the prefix $WINEPREFIX could not be made" >&2
      return 1
    fi
    touch "$WINEPREFIX/.barsight-ready"
  fi
  # A server and Wine's helpers live past the program that started them:
  # none may hold the caller's output (a pipe reader would wait on it).
  "$wineserver_bin" -p </dev/null >/dev/null 2>&1 || true  # already running for this prefix
  # The first program of a prefix starts Wine's helper processes, which
  # inherit its output: give them nothing a test runner would wait on.
  wine64_run wineboot </dev/null >/dev/null 2>&1 || true
}
# Makes the prefix. Both kinds start as a 64-bit prefix made by wine64:
# 32-bit wineboot under qemu-i386 makes one whose programs cannot load
# kernel32 (c0000135). For 32-bit programs (the WoW64 way, as 64-bit Windows
# runs them) the 32-bit Windows libraries then go into syswow64 and Wine's
# own Wow64Install section is run by the 32-bit rundll32. The server is
# waited for after each step: a step that starts before the last one's
# server has written the registry fails with c0000135 now and then.
wine_make_prefix() {  # bits
  wine64_run wineboot -i </dev/null >"$TMPDIR/wineboot.log" 2>&1 || true
  "$wineserver_bin" -w
  if [ "$1" = 32 ]; then
    local i386=/usr/lib/i386-linux-gnu/wine/i386-windows
    if [ ! -d "$i386" ]; then
      echo "wine: no 32-bit Wine libraries in $i386 (package wine32:i386)" >&2
      return 1
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
    cp -f "$i386"/* "$WINEPREFIX/drive_c/windows/syswow64/"
    win 'C:\windows\syswow64\rundll32.exe' setupapi,InstallHinfSection Wow64Install 128 \
      'Z:\usr\share\wine\wine.inf' </dev/null >>"$TMPDIR/wineboot.log" 2>&1 || true
    "$wineserver_bin" -w
  fi
  wine64_run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    </dev/null >>"$TMPDIR/wineboot.log" 2>&1 || true
  "$wineserver_bin" -w
}
# wine64 through its preloader, which takes the addresses every Windows
# process needs before the C library's heap can (see CMakeLists.txt: without
# it a start fails now and then, silently); the loader must not start itself
# again.
wine64_run() { WINELOADERNOEXEC=1 /usr/lib/wine/wine64-preloader /usr/lib/wine/wine64 "$@"; }
wine_stop() { "$wineserver_bin" -k 2>/dev/null || true; }
