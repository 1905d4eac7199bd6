#!/usr/bin/env python3
"""Checks BarsightPlugin.mqh against the built 32-bit libraries: for each
#import block (BarsightPlugin.dll, Spreadcore.dll) every export of the
library's .def (but the host's MSX entry points) is declared once, and the
stack bytes its MQL4 types imply (int, pointer, reference and array 4,
double 8) equal those of the real stdcall export (_Name@N in the i686
objects, before the .def strips the decoration).

usage: check_mqh.py MQH NM LIBRARY DEF OBJECT_LIST [LIBRARY DEF OBJECT_LIST]...
(OBJECT_LIST: object files and archives separated by ';')
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import make_boundary  # noqa: E402

# The exports only the charting host calls, from each library's table.
host_exports = make_boundary.host_exports


def declarations(text, library):
    block = re.search(r'#import\s+"%s"(.*?)#import' % re.escape(library), text, re.S)
    if not block:
        sys.exit("no #import \"%s\" block" % library)
    body = re.sub(r"//[^\n]*", "", block.group(1))
    found = []
    for match in re.finditer(r"(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;", body):
        found.append((match.group(2), match.group(3)))
    return found


def arg_bytes(params):
    total = 0
    for param in filter(None, (p.strip() for p in params.split(","))):
        if "&" in param or "[" in param:
            total += 4  # a reference or an array is a pointer
        elif param.split()[0] in ("double", "long", "ulong", "datetime"):
            total += 8
        elif param.split()[0] in ("int", "uint", "bool", "char", "uchar", "short", "ushort", "color",
                                  "float", "string"):
            total += 4  # narrower values widen to 4 bytes; a string passes a pointer
        else:
            sys.exit("unknown MQL4 parameter type: " + param)
    return total


def check_library(mqh_text, nm, library, def_file, objects, failures):
    host_only = host_exports(library)
    exports = []
    on = False
    for line in open(def_file):
        if line.strip() == "EXPORTS":
            on = True
        elif on and line.strip():
            exports.append(line.split()[0])
    symbols = subprocess.run([nm, "-g", "--defined-only"] + objects, check=True,
                             capture_output=True, text=True).stdout
    stdcall = {}
    for name, size in re.findall(r"\b_(\w+)@(\d+)\b", symbols):
        stdcall[name] = int(size)

    declared = declarations(mqh_text, library)
    names = [n for n, _ in declared]
    for name in set(names):
        if names.count(name) > 1:
            failures.append("%s: %s is declared %d times" % (library, name, names.count(name)))
    for name, params in declared:
        if name not in exports:
            failures.append("%s is not an export of %s" % (name, library))
        elif stdcall.get(name) != arg_bytes(params):
            failures.append("%s %s: MQL4 types take %d bytes, the export takes %s" %
                            (library, name, arg_bytes(params), stdcall.get(name)))
    for name in exports:
        if name not in host_only and name not in names:
            failures.append("export %s of %s is not declared" % (name, library))
    return len(declared)


def main():
    mqh, nm, groups = sys.argv[1], sys.argv[2], sys.argv[3:]
    if not groups or len(groups) % 3:
        sys.exit(__doc__)
    text = open(mqh, encoding="utf-8").read()
    failures, counts = [], []
    for i in range(0, len(groups), 3):
        library, def_file, objects = groups[i], groups[i + 1], [o for o in groups[i + 2].split(";") if o]
        counts.append("%d of %s" % (check_library(text, nm, library, def_file, objects, failures), library))
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("BarsightPlugin.mqh: declarations match the 32-bit exports (%s)" % ", ".join(counts))


if __name__ == "__main__":
    main()
