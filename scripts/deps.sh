#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those not yet installed.
#   deps.sh native   compilers, CMake, GoogleTest, Google Benchmark, Python
#   deps.sh windows  + the mingw-w64 cross compilers, wine64, NSIS (makensis) and osslsigncode
#   deps.sh smoke32  + qemu-user and 32-bit Wine, to run the shipped i686 DLLs
#   deps.sh fuzz     + clang and its libFuzzer runtime
#   deps.sh browser  + Chromium, to render the help pages as a browser shows them
# Several groups may be named at once; each is installed on its own, so one
# that cannot be installed does not stop the others. A failed group is named
# in one line and the exit status is 1.
#
# A package index that fails to download (a mirror mid-sync) is a warning:
# the install decides whether what is listed suffices. When the 32-bit
# libraries are listed only at versions other than the installed amd64 ones,
# the install is tried once more with the amd64 libraries named at the i386
# versions (apt_i386_align.py).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

group_packages() {
  case $1 in
    native) echo build-essential cmake googletest libgtest-dev libbenchmark-dev libpugixml-dev python3 libxml2-utils ;;
    windows) echo g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 nsis osslsigncode openssl python3-markdown ;;
    smoke32) echo qemu-user wine32:i386 wine32-preloader:i386 ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    browser) echo chromium ;;
    *) return 1 ;;
  esac
}

for group in "$@"; do
  group_packages "$group" >/dev/null || { echo "deps.sh: unknown group $group" >&2; exit 2; }
done

SUDO=()
[ "$(id -u)" -ne 0 ] && SUDO=(sudo)
# apt runs as root with a non-interactive front end, through sudo as well.
as_root() { "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive "$@"; }

updated=0
update_index() {  # once per run
  [ $updated -eq 1 ] && return 0
  updated=1
  local out failed
  out=$(as_root apt-get update -qq 2>&1) && return 0
  failed=$(printf '%s\n' "$out" | sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' | tr '\n' ' ')
  echo "deps.sh: warning: some package indexes failed to download, going on with the rest: ${failed:-$(printf '%s\n' "$out" | grep -m1 '^E:')}"
}

last_error=""
apt_install() {  # package...; keeps apt's first error line
  local out
  out=$(as_root apt-get install -y -qq --no-install-recommends "$@" 2>&1) && return 0
  last_error=$(printf '%s\n' "$out" | grep -m1 '^E:' || printf '%s\n' "$out" | tail -1)
  return 1
}

install_group() {  # group; 0 when all its packages are installed
  local group=$1 p missing=()
  for p in $(group_packages "$group"); do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local foreign=()
  for p in "${missing[@]}"; do [[ $p == *:i386 ]] && foreign+=("$p"); done
  if [ ${#foreign[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    updated=0
  fi
  update_index
  echo "deps.sh: installing ${missing[*]}"
  apt_install "${missing[@]}" && return 0
  if [ ${#foreign[@]} -gt 0 ] && command -v python3 >/dev/null; then
    local plan
    if ! plan=$(python3 "$here/apt_i386_align.py" "${foreign[@]}"); then
      echo "deps.sh: group $group cannot be installed: $plan"
      return 1
    fi
    if [ -n "$plan" ]; then
      echo "deps.sh: installing again with the amd64 twins of the i386 libraries at the i386 versions ($(echo "$plan" | wc -l) libraries)"
      # shellcheck disable=SC2086
      apt_install --allow-downgrades "${missing[@]}" $plan && return 0
    fi
  fi
  echo "deps.sh: group $group cannot be installed: $last_error"
  return 1
}

status=0
for group in "$@"; do
  install_group "$group" || status=1
done
exit $status
