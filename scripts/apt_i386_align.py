#!/usr/bin/env python3
"""Finds the amd64 library versions that let 32-bit packages install.

A `Multi-Arch: same` library is installable for i386 only at the version of
its installed amd64 twin. When the i386 index lags the amd64 one (a mirror
mid-sync, a security index that failed to download), apt sees the i386
libraries only at other versions and gives up ("held broken packages"). The
way out is to install each such amd64 library at its i386 candidate version,
when some index still lists that version for amd64. The libraries that
already agree are named too, at their installed version: in the same
transaction this keeps apt's resolver from upgrading an amd64 library away
from its i386 twin (which it otherwise tries, and then gives up).

usage: apt_i386_align.py PACKAGE...   (for example wine32:i386)
Prints one `name:amd64=version` per line, for every `Multi-Arch: same`
library of the packages' i386 closure that is installed for amd64; exits 1
with one line naming a library that cannot be aligned and why.

The decision (`plan`) reads only the text apt-cache and dpkg-query print, so
it is tested on recorded output.
"""
import subprocess
import sys


def closure_names(depends_text):
    """The i386 packages (without ":i386") that `apt-cache depends --recurse`
    lists as members of the closure; virtual packages (<...>) are left out."""
    names = []
    seen = set()
    for line in depends_text.splitlines():
        if not line or line[0].isspace() or line.startswith("<"):
            continue
        name = line.strip()
        if name.endswith(":i386"):
            name = name[: -len(":i386")]
            if name not in seen:
                seen.add(name)
                names.append(name)
    return names


def parse_stanzas(show_text):
    """`apt-cache show --no-all-versions` output: {package: {field: value}}
    for its i386 stanzas."""
    out = {}
    for block in show_text.split("\n\n"):
        fields = {}
        for line in block.splitlines():
            if line and not line[0].isspace() and ":" in line:
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        if fields.get("Architecture") == "i386" and "Package" in fields:
            out[fields["Package"]] = fields
    return out


def parse_installed(dpkg_text):
    """`dpkg-query -W -f='${Package} ${Architecture} ${Version} ${db:Status-Abbrev}\\n'`:
    {package: version} of the installed amd64 packages."""
    out = {}
    for line in dpkg_text.splitlines():
        parts = line.split()
        if len(parts) >= 4 and parts[1] == "amd64" and parts[3].startswith("ii"):
            out[parts[0]] = parts[2]
    return out


def madison_versions(madison_text, arch="amd64"):
    """`apt-cache madison` output (of one or more packages): {package:
    [version, ...]} of the versions listed for `arch`."""
    versions = {}
    for line in madison_text.splitlines():
        cells = [c.strip() for c in line.split("|")]
        if len(cells) == 3 and cells[2].endswith(" %s Packages" % arch):
            versions.setdefault(cells[0].split(":")[0], []).append(cells[1])
    return versions


def twins(names, stanzas, installed):
    """The `Multi-Arch: same` libraries of the closure installed for amd64:
    [(name, amd64 version, i386 candidate)]."""
    out = []
    for name in names:
        stanza = stanzas.get(name)
        if stanza is None or stanza.get("Multi-Arch") != "same":
            continue
        have = installed.get(name)
        want = stanza.get("Version")
        if have is not None and want:
            out.append((name, have, want))
    return out


def mismatches(names, stanzas, installed):
    """The twins whose amd64 version differs from the i386 candidate."""
    return [t for t in twins(names, stanzas, installed) if t[1] != t[2]]


def plan(names, stanzas, installed, madison):
    """(installs, problem): the `name:amd64=version` of every twin at its
    i386 candidate, or the first library that cannot be aligned with the
    reason (installs then empty). `madison` is apt-cache madison's text for
    the mismatched libraries."""
    listed = madison_versions(madison)
    installs = []
    for name, have, want in twins(names, stanzas, installed):
        if have != want and want not in listed.get(name, []):
            return [], "%s: the i386 candidate %s is listed for amd64 in no index " \
                       "(amd64 %s is installed)" % (name, want, have)
        installs.append("%s:amd64=%s" % (name, want))
    return installs, None


def run(args):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, check=False).stdout


def main(packages):
    names = closure_names(run(["apt-cache", "depends", "--recurse", "--no-recommends",
                               "--no-suggests", "--no-conflicts", "--no-breaks",
                               "--no-replaces", "--no-enhances"] + packages))
    if not names:
        print("apt_i386_align: no i386 packages found for %s" % " ".join(packages))
        return 1
    stanzas = parse_stanzas(run(["apt-cache", "show", "--no-all-versions"] +
                                [n + ":i386" for n in names]))
    installed = parse_installed(run(["dpkg-query", "-W", "-f",
                                     "${Package} ${Architecture} ${Version} ${db:Status-Abbrev}\n"]))
    wanted = [name for name, _, _ in mismatches(names, stanzas, installed)]
    madison = run(["apt-cache", "madison"] + wanted) if wanted else ""
    installs, problem = plan(names, stanzas, installed, madison)
    if problem:
        print(problem)
        return 1
    for item in installs:
        print(item)
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1:]))
