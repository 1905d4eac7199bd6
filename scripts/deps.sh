#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those not yet installed.
#   deps.sh native   compilers, CMake, GoogleTest, Google Benchmark
#   deps.sh windows  + the mingw-w64 cross compilers, wine64 and NSIS (makensis)
#   deps.sh smoke32  + qemu-user and 32-bit Wine, to run the shipped i686 DLLs
#   deps.sh fuzz     + clang and its libFuzzer runtime
#   deps.sh browser  + Chromium, to render the help pages as a browser shows them
# Several groups may be named at once.
set -euo pipefail

packages=()
for group in "$@"; do
  case $group in
    native) packages+=(build-essential cmake googletest libgtest-dev libbenchmark-dev libpugixml-dev python3 libxml2-utils) ;;
    windows) packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 nsis) ;;
    smoke32) packages+=(qemu-user wine32:i386 wine32-preloader:i386) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    browser) packages+=(chromium) ;;
    *) echo "deps.sh: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "deps.sh: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
