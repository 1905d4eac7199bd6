#!/usr/bin/env python3
"""Checks BarsightPlugin.mqh against the built 32-bit library: every client
export is declared once, and the stack bytes its MQL4 types imply (int,
pointer, reference and array 4, double 8) equal those of the real stdcall
export (_Name@N in the i686 objects, before the .def strips the decoration).

usage: check_mqh.py MQH DEF NM OBJECT_OR_LIST...
"""
import re
import subprocess
import sys

MSX_EXPORTS = {"MSXInfo", "MSXNthFunction", "MSXNthArg", "MSXNthCustomString",
               "VSAMakeConst", "VSATrend", "VSAVolStops", "VSAInd", "VSASpread"}


def declarations(text):
    block = re.search(r'#import\s+"BarsightPlugin\.dll"(.*?)#import', text, re.S)
    if not block:
        sys.exit("no #import \"BarsightPlugin.dll\" block")
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
        elif param.split()[0] in ("double",):
            total += 8
        elif param.split()[0] in ("int", "uint", "bool", "char", "uchar", "short", "ushort", "color", "datetime"):
            total += 4
        else:
            sys.exit("unknown MQL4 parameter type: " + param)
    return total


def main():
    mqh, def_file, nm = sys.argv[1], sys.argv[2], sys.argv[3]
    objects = [o for arg in sys.argv[4:] for o in arg.split(";") if o]
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

    failures = []
    declared = declarations(open(mqh, encoding="utf-8").read())
    names = [n for n, _ in declared]
    for name in set(names):
        if names.count(name) > 1:
            failures.append("%s is declared %d times" % (name, names.count(name)))
    for name, params in declared:
        if name not in exports:
            failures.append("%s is not an export of BarsightPlugin.dll" % name)
        elif stdcall.get(name) != arg_bytes(params):
            failures.append("%s: MQL4 types take %d bytes, the export takes %s" %
                            (name, arg_bytes(params), stdcall.get(name)))
    for name in exports:
        if name not in MSX_EXPORTS and name not in names:
            failures.append("client export %s is not declared" % name)
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("BarsightPlugin.mqh: %d declarations match the 32-bit exports" % len(declared))


if __name__ == "__main__":
    main()
