#!/usr/bin/env python3
"""Checks the MetaTrader 5 include (kit/MQL5/Include/BarsightPlugin.mqh)
against the x86_64 libraries and the MetaTrader 4 include, which
check_mqh.py checks against the i686 stdcall exports:
- both libraries are x86_64 (PE32+), and every export but the host's MSX
  entry points is declared in the MQL5 include, every declaration an export;
- each declaration has the MQL4 one's types, except that every value that
  carries an address (a text pointer, kernel32's length and source) is a
  long, 8 bytes as an x64 pointer, where MQL4 has an int; window handles
  stay int (32-bit significant; the library sign-extends them);
- the text record holds its pointer as a long.

usage: check_mqh5.py MQL5_MQH MQL4_MQH OBJDUMP BarsightPlugin.dll Spreadcore.dll"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "generators"))
import make_boundary  # noqa: E402

# The exports only the charting host calls, from each library's table.
host_exports = make_boundary.host_exports
# (library, function, position): the values that carry an address; position
# -1 is the result.
ADDRESSES = {("BarsightPlugin.dll", "GetCurrentUTCStr", -1), ("kernel32.dll", "lstrlenA", 0),
             ("kernel32.dll", "RtlMoveMemory", 1), ("kernel32.dll", "RtlMoveMemory", 2)}
WINDOWS = {("BarsightPlugin.dll", "ShowDialog", 0), ("BarsightPlugin.dll", "SubclassWindow", 0)}


def imports(text):
    """{library: [(name, result type, [parameter types])]}"""
    found = {}
    for library, body in re.findall(r'#import\s+"([^"]+)"(.*?)#import', text, re.S):
        body = re.sub(r"//[^\n]*", "", body)
        for result, name, params in re.findall(r"(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;", body):
            types = [re.sub(r"\s+\w+\s*(\[\s*\])?$", lambda m: m.group(1) or "", p.strip())
                     for p in params.split(",") if p.strip()]
            found.setdefault(library, []).append((name, result, types))
    return found


def exports(objdump, dll, failures):
    table = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    if not re.search(r"Magic\s+020b", table):
        failures.append("%s is not x86_64 (PE32+)" % dll)
    section = table[table.find("[Ordinal/Name Pointer] Table"):]
    section = section[:section.find("\n\n")] if "\n\n" in section else section
    return set(re.findall(r"\[\s*\d+\]\s+(\w+)", section))


def main():
    mql5_path, mql4_path, objdump, plugin, engine = sys.argv[1:6]
    mql5_text, mql4_text = open(mql5_path, encoding="utf-8").read(), open(mql4_path, encoding="utf-8").read()
    mql5, mql4 = imports(mql5_text), imports(mql4_text)
    failures = []
    for library, dll in (("BarsightPlugin.dll", plugin), ("Spreadcore.dll", engine)):
        names = {name for name, _, _ in mql5.get(library, [])}
        real = exports(objdump, dll, failures)
        for name in sorted(names - real):
            failures.append("%s is not an export of the x64 %s" % (name, library))
        for name in sorted(real - names - host_exports(library)):
            failures.append("export %s of the x64 %s is not declared" % (name, library))
    if set(mql5) != set(mql4):
        failures.append("the includes import from different libraries: %s / %s" % (sorted(mql5), sorted(mql4)))
    for library in sorted(set(mql5) & set(mql4)):
        four = {name: (result, types) for name, result, types in mql4[library]}
        for name, result, types in mql5[library]:
            if name not in four:
                failures.append("%s %s is not in the MetaTrader 4 include" % (library, name))
                continue
            result4, types4 = four[name]
            want_result = "long" if (library, name, -1) in ADDRESSES else result4
            want = ["long" if (library, name, k) in ADDRESSES else t for k, t in enumerate(types4)]
            if result != want_result or types != want:
                failures.append("%s %s: %s(%s), expected %s(%s)" % (library, name, result, ", ".join(types),
                                                                    want_result, ", ".join(want)))
            for k, t in enumerate(types):
                if (library, name, k) in WINDOWS and t != "int":
                    failures.append("%s %s: a window handle travels as int" % (library, name))
    record = re.search(r"struct\s+BarsightText\s*\{([^}]*)\}", mql5_text)
    if not record or re.findall(r"(\w+)\s+(\w+)\s*;", record.group(1)) != [("int", "length"), ("long", "text")]:
        failures.append("BarsightText must be { int length; long text; }")
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("MQL5 BarsightPlugin.mqh: declarations match the x64 exports (%d imports)" %
          sum(len(v) for v in mql5.values()))


if __name__ == "__main__":
    main()
