#!/usr/bin/env python3
"""Checks every ExtFml formula of the MetaStock formula file against the
catalogue the built plug-ins report through msxhost: the function exists
and takes as many arguments as the formula passes.

usage: check_formulas.py FORMULAS MSXHOST PLUGIN=PATH...
"""
import re
import subprocess
import sys


def catalogue(msxhost, path):
    out = subprocess.run([msxhost, "catalogue", path], check=True, capture_output=True,
                         text=True).stdout
    functions = {}
    for match in re.finditer(r'^\d+ (\w+) ".*" (\d+) argument', out, re.M):
        functions[match.group(1)] = int(match.group(2))
    return functions


def split_args(text):
    args, depth, current = [], 0, ""
    in_string = False
    for ch in text:
        if ch == '"':
            in_string = not in_string
        if not in_string and ch == "(":
            depth += 1
        if not in_string and ch == ")":
            depth -= 1
        if ch == "," and depth == 0 and not in_string:
            args.append(current.strip())
            current = ""
        else:
            current += ch
    if current.strip():
        args.append(current.strip())
    return args


def main():
    formulas, msxhost = sys.argv[1], sys.argv[2]
    plugins = {}
    for arg in sys.argv[3:]:
        name, path = arg.split("=", 1)
        plugins[name] = catalogue(msxhost, path)
    failures, count = [], 0
    text = open(formulas, encoding="utf-8").read()
    for match in re.finditer(r'ExtFml\("(\w+)\.(\w+)"((?:,[^\n]*)?)\)\s*$', text, re.M):
        plugin, function, rest = match.groups()
        args = split_args(rest[1:]) if rest else []
        count += 1
        if plugin not in plugins or function not in plugins[plugin]:
            failures.append("%s.%s is not in the catalogue" % (plugin, function))
        elif plugins[plugin][function] != len(args):
            failures.append("%s.%s takes %d arguments, the formula passes %d" %
                            (plugin, function, plugins[plugin][function], len(args)))
    if count == 0:
        failures.append("no ExtFml formula found")
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("%d formulas match the catalogues" % count)


if __name__ == "__main__":
    main()
