#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those not yet installed.
#   deps.sh native   compilers, CMake, GoogleTest, Google Benchmark, Python
#   deps.sh windows  + the mingw-w64 cross compilers, wine64 and its preloader (without it
#                    a program's start fails now and then: CMakeLists.txt), NSIS
#                    (makensis) and osslsigncode
#   deps.sh smoke32  + qemu-user and 32-bit Wine, to run the shipped i686 DLLs;
#                    qemu-user comes from bookworm-backports (10.x): Debian 12's
#                    own 7.2 loses a thread's TEB after a continued exception
#                    (every OutputDebugStringA under Wine), so the help window
#                    and the setup die under it. That suite is added on the
#                    machine's own Debian mirror and pinned so that nothing
#                    else is ever taken from it. The kernel is then told to
#                    run 32-bit x86 programs through qemu-i386 (binfmt_misc,
#                    with the rule qemu-user ships): a 32-bit Wine process
#                    that starts another (CreateProcess) execs the 32-bit Wine
#                    loader, which this kernel cannot run by itself.
#   deps.sh fuzz     + clang and its libFuzzer runtime
#   deps.sh browser  + Chromium, to render the help pages as a browser shows them
#   deps.sh realdata + the packages that carry real daily price series
#                    (matplotlib's sample data, R's timeSeries, npm to fetch
#                    the npm ones: scripts/real_data.py)
#   deps.sh python   + what the Python package is built, installed and
#                    tested with (python/: pybind11, numpy, pandas, pytest,
#                    matplotlib, venv)
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
    windows) echo g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine64-preloader nsis osslsigncode openssl python3-markdown ;;
    smoke32) echo qemu-user wine32:i386 wine32-preloader:i386 ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    browser) echo chromium ;;
    realdata) echo python-matplotlib-data r-cran-timeseries npm ;;
    python) echo python3-dev python3-venv python3-pip python3-setuptools pybind11-dev python3-pybind11 python3-numpy python3-pandas python3-pytest python3-matplotlib ;;
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
# bookworm-backports on the mirror that serves bookworm, pinned: qemu-user
# alone may come from it (priority 990 beats the release's 500, so an
# installed 7.2 is upgraded); every other package of the suite is refused.
backports_list=/etc/apt/sources.list.d/barsight-backports.sources
backports_pin=/etc/apt/preferences.d/barsight-backports
add_backports() {
  local mirror
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null | awk '$2 == "bookworm" { print $1; exit }')
  [ -n "$mirror" ] || mirror=http://deb.debian.org/debian/
  local list pin
  list=$(printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$mirror")
  pin=$(printf 'Package: *\nPin: release n=bookworm-backports\nPin-Priority: -1\n\nPackage: qemu-user\nPin: release n=bookworm-backports\nPin-Priority: 990\n')
  if [ "$(cat "$backports_pin" 2>/dev/null)" != "$pin" ]; then
    printf '%s\n' "$pin" | as_root tee "$backports_pin" >/dev/null
    updated=0
  fi
  if ! grep -qs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/*; then
    printf '%s\n' "$list" | as_root tee "$backports_list" >/dev/null
    updated=0
  fi
}
# The group's packages at the versions it needs: qemu-user at 10 or later.
version_ok() {  # package
  case $1 in
    qemu-user)
      local v
      v=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)
      dpkg --compare-versions "$v" ge 1:10 ;;
    *) return 0 ;;
  esac
}

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
    # npm is a command first: a Node.js installed another way (its own npm
    # inside) serves as well, and Debian's npm package would conflict with it.
    [ "$p" = npm ] && command -v npm >/dev/null && continue
    { [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] && version_ok "$p"; } ||
      missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$group" = smoke32 ] && add_backports
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

# What the kernel's binfmt_misc (the folder) holds for qemu-i386, in one
# line: "usable", "absent", or "unusable: what to do". A container or chroot
# on a host that registered qemu-i386 already sees the host's entry (once
# binfmt_misc is mounted there); it serves when it is enabled and its
# interpreter can be run: opened by the kernel at registration (flag F), or
# a program at its path here.
i386_binfmt_state() {  # binfmt_misc folder
  local entry=$1/qemu-i386 interpreter flags
  if [ ! -e "$entry" ]; then
    echo absent
    return
  fi
  if ! grep -qx enabled "$entry" 2>/dev/null; then
    echo "unusable: the kernel's qemu-i386 entry is disabled; enable it (as root: echo 1 > $entry) or remove it (echo -1 > $entry) and run deps.sh smoke32 again"
    return
  fi
  interpreter=$(sed -n 's/^interpreter //p' "$entry")
  flags=$(sed -n 's/^flags: *//p' "$entry")
  if [[ $flags == *F* ]] || [ -x "$interpreter" ]; then
    echo usable
    return
  fi
  echo "unusable: the kernel's qemu-i386 entry runs ${interpreter:-no interpreter}, which is not a program here; install qemu-user so that it is, or remove the entry (as root, where it was registered: echo -1 > $entry) and run deps.sh smoke32 again"
}

# 32-bit x86 programs through qemu-i386, as qemu-user-binfmt would register
# them with systemd (this machine may have none). Done on every run: the
# registration does not outlive a reboot, the packages do. An entry the
# kernel already holds is taken as it is when it serves: registering the
# name again would fail.
register_i386_binfmt() {  # [binfmt_misc folder] [rule]: the kernel's and qemu-user's unless given
  local misc=${1:-/proc/sys/fs/binfmt_misc} rule=${2:-/usr/share/qemu/binfmt.d/qemu-i386.conf} state
  if [ ! -e "$misc/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$misc" 2>/dev/null
  fi
  state=$(i386_binfmt_state "$misc")
  case $state in
    usable)
      return 0 ;;
    unusable*)
      echo "deps.sh: group smoke32: ${state#unusable: }"
      return 1 ;;
  esac
  if [ ! -f "$rule" ]; then
    echo "deps.sh: group smoke32: qemu-user has no binfmt rule $rule"
    return 1
  fi
  if ! as_root sh -c "cat '$rule' > '$misc/register'" 2>/dev/null || [ ! -e "$misc/qemu-i386" ]; then
    echo "deps.sh: group smoke32: the kernel cannot be told to run 32-bit programs through qemu-i386 (binfmt_misc at $misc)"
    return 1
  fi
  echo "deps.sh: 32-bit x86 programs now run through qemu-i386 (binfmt_misc)"
}

# Sourced (by the set-up's tests), it defines its functions and does nothing.
if [ "${BASH_SOURCE[0]}" != "$0" ]; then
  return 0
fi

status=0
for group in "$@"; do
  if ! install_group "$group"; then
    status=1
  elif [ "$group" = smoke32 ]; then
    register_i386_binfmt || status=1
  fi
done
exit $status
