# Sourced by the 32-bit Wine scripts (smoke run, installer tests): the
# environment of the private 32-bit prefix of the i686 build folder in $w32,
# a `wine32` command that runs a 32-bit program under qemu-i386, and the
# prefix itself, made on first use with the null graphics driver (windows,
# hooks and message loops work without a display) and served by one
# persistent wineserver. The caller stops the server (wineserver64 -k).
export WINEPREFIX=$w32/wine/prefix32
export TMPDIR=$w32/wine/tmp
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADERNOEXEC=1
mkdir -p "$TMPDIR"
wine32() { qemu-i386 /usr/lib/wine/wine-preloader /usr/lib/wine/wine "$@"; }

if [ ! -f "$WINEPREFIX/.barsight-ready" ]; then
  rm -rf "$WINEPREFIX"
  wine32 wineboot -i </dev/null >/dev/null 2>&1
  wine32 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver64 -w
  touch "$WINEPREFIX/.barsight-ready"
fi
/usr/lib/wine/wineserver64 -p || true  # already running for this prefix
