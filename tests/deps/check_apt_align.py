#!/usr/bin/env python3
"""The amd64/i386 alignment decision of scripts/deps.sh on recorded apt output.

The recordings (tests/deps/recorded/) are trimmed from a Debian 12 machine
whose bookworm-security i386 index failed to download: its installed amd64
libssl3 (3.0.19) and liblzma5 (5.4.1-1) differ from the i386 candidates
(3.0.20-1~deb12u2, 5.4.1-1+deb12u1), which the main amd64 index still lists.

usage: check_apt_align.py SCRIPTS_DIR
"""
import os
import sys

sys.path.insert(0, sys.argv[1])
import apt_i386_align as a  # noqa: E402

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "recorded")


def recorded(name):
    with open(os.path.join(here, name), encoding="utf-8") as f:
        return f.read()


failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (what, got, want))


names = a.closure_names(recorded("depends.txt"))
stanzas = a.parse_stanzas(recorded("show.txt"))
installed = a.parse_installed(recorded("installed.txt"))
madison = recorded("madison.txt")

# The closure: top-level i386 lines only, virtual packages (<...>) and amd64
# packages (libz-mingw-w64) left out, each once.
check("closure", names, ["wine32", "libc6", "libwine", "libgcc-s1", "libssl3", "liblzma5",
                         "ocl-icd-libopencl1", "gcc-12-base"])
# Only installed amd64 packages count ("un" and i386 rows are not).
check("installed libssl3", installed.get("libssl3"), "3.0.19-1~deb12u2")
check("madison", a.madison_versions(madison)["liblzma5"], ["5.4.1-1+deb12u2", "5.4.1-1+deb12u1"])

installs, problem = a.plan(names, stanzas, installed, madison)
check("problem", problem, None)
# Every Multi-Arch: same library installed for amd64, at its i386 candidate:
# the two that differ move (libssl3 up, liblzma5 up), the others are pinned
# where they are. wine32 (Multi-Arch: foreign) and ocl-icd-libopencl1 (not
# installed for amd64) are not named.
check("installs", installs, [
    "libc6:amd64=2.36-9+deb12u14",
    "libwine:amd64=8.0~repack-4",
    "libgcc-s1:amd64=12.2.0-14+deb12u1",
    "libssl3:amd64=3.0.20-1~deb12u2",
    "liblzma5:amd64=5.4.1-1+deb12u1",
    "gcc-12-base:amd64=12.2.0-14+deb12u1",
])

# Table: what changes in the recordings, and the decision it must give.
cases = [
    # (what, madison text, installed overrides, expected problem prefix or None)
    ("i386 version not listed for amd64",
     "\n".join(l for l in madison.splitlines() if "3.0.20" not in l), {},
     "libssl3: the i386 candidate 3.0.20-1~deb12u2 is listed for amd64 in no index"),
    ("listed only for i386", madison.replace("5.4.1-1+deb12u1 | http://deb.debian.org/debian "
                                             "bookworm/main amd64", "5.4.1-1+deb12u1 | "
                                             "http://deb.debian.org/debian bookworm/main i386"),
     {}, "liblzma5:"),
    ("nothing differs", "", {"libssl3": "3.0.20-1~deb12u2", "liblzma5": "5.4.1-1+deb12u1"},
     None),
]
for what, text, overrides, want in cases:
    inst = dict(installed, **overrides)
    got_installs, got_problem = a.plan(names, stanzas, inst, text)
    if want is None:
        check(what + ": problem", got_problem, None)
        check(what + ": count", len(got_installs), 6)
    else:
        if got_problem is None or not got_problem.startswith(want):
            failures.append("%s: got %r, want a problem starting %r" % (what, got_problem, want))
        check(what + ": installs", got_installs, [])

for f in failures:
    print("FAIL " + f)
print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
