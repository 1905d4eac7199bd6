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
#                                  be made
#   wine_stop                      stops that prefix's server
wine_prefix() {
  local bits=$1
  export WINEPREFIX=$2
  export TMPDIR=$(dirname "$2")/tmp
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$TMPDIR"
  if [ "$bits" = 32 ]; then
    export WINELOADERNOEXEC=1
    win() { qemu-i386 /usr/lib/wine/wine-preloader /usr/lib/wine/wine "$@"; }
    wineserver_bin=/usr/lib/wine/wineserver64
  else
    win() { /usr/lib/wine/wine64 "$@"; }
    wineserver_bin=/usr/lib/wine/wineserver
  fi
  if [ ! -f "$WINEPREFIX/.barsight-ready" ]; then
    rm -rf "$WINEPREFIX"
    win wineboot -i </dev/null >/dev/null 2>&1 || true
    win reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 || true
    "$wineserver_bin" -w
    # Marked ready only when Wine made it (its registry is there): a failed
    # making is tried again next time, not taken for a prefix.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine: the prefix $WINEPREFIX could not be made" >&2
      return 1
    fi
    touch "$WINEPREFIX/.barsight-ready"
  fi
  "$wineserver_bin" -p || true  # already running for this prefix
  # The first program of a prefix starts Wine's helper processes, which
  # inherit its output: give them nothing a test runner would wait on.
  win wineboot </dev/null >/dev/null 2>&1 || true
}
wine_stop() { "$wineserver_bin" -k 2>/dev/null || true; }
