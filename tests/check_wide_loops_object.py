#!/usr/bin/env python3
"""The engine's AVX2 loops keep to their file: the object compiled for AVX2
(engine/batch_avx2.cpp) defines one symbol the linker sees, the table of its
loops. Anything else it defined with external linkage (an inline function or
a template made over types other than its own) could be the copy the linker
keeps for every file, and then run on a processor without AVX2.

usage: check_wide_loops_object.py NM OBJECT...   (or OBJECTS as one ;-list)"""
import subprocess
import sys

ALLOWED = {"spreadcore::kAvx2WordLoops"}
# What the toolchain adds beside it, no code: the exception personality's
# reference, AddressSanitizer's one-definition markers and, in a Windows
# object with debug information, its sections' names (.debug_info, ...).
TOOLCHAIN = ("DW.ref.__gxx_personality_v0", "__odr_asan.", ".")


def main():
    nm = sys.argv[1]
    objects = [o for arg in sys.argv[2:] for o in arg.split(";") if o]
    wide = [o for o in objects if "batch_avx2.cpp." in o]
    if len(wide) != 1:
        print("expected one object of engine/batch_avx2.cpp among %d, found %d" % (len(objects), len(wide)))
        return 1
    out = subprocess.run([nm, "--defined-only", "-C", wide[0]], capture_output=True, text=True, check=True).stdout
    seen = set()
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and (parts[1].isupper() or parts[1] in "uvw"):
            if not parts[2].startswith(TOOLCHAIN):
                seen.add(parts[2])
    extra = sorted(seen - ALLOWED)
    for name in extra:
        print("%s: defined where other files can link to it: %s" % (wide[0], name))
    if ALLOWED - seen:
        print("%s: does not define %s" % (wide[0], ", ".join(sorted(ALLOWED - seen))))
    if extra or ALLOWED - seen:
        return 1
    print("ok: %s defines only %s" % (wide[0], ", ".join(sorted(ALLOWED))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
