#!/usr/bin/env python3
"""Assembles dist/barsight-<version>-win32.zip from a built win32 lane.

usage: make_release.py WIN32_BUILD_DIR OUTPUT_DIR
"""
import os
import sys
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def layout(build):
    """(path in the bundle, file on disk) for every file of the bundle."""
    binaries = os.path.join(build, "bin")
    dll = lambda name: os.path.join(binaries, name)
    files = []
    for name in ("BarsightPlugin.dll", "BarsightPlugin.dll.config", "Spreadcore.dll", "orvane.dll"):
        files.append(("MetaStock/" + name, dll(name)))
    for recipe in ("Barsight formulas.txt", "Barsight expert.txt", "Barsight exploration.txt"):
        files.append(("MetaStock/" + recipe, os.path.join(ROOT, "kit", "MetaStock", recipe)))
    for name in ("BarsightPlugin.dll", "BarsightPlugin.dll.config", "Spreadcore.dll"):
        files.append(("MetaTrader/MQL4/Libraries/" + name, dll(name)))
    for folder in ("Include", "Indicators", "Scripts"):
        source = os.path.join(ROOT, "kit", "MQL4", folder)
        for name in sorted(os.listdir(source)):
            files.append(("MetaTrader/MQL4/%s/%s" % (folder, name), os.path.join(source, name)))
    # The help pages beside each BarsightPlugin.dll: the help window finds
    # them there and works offline.
    help_root = os.path.join(binaries, "help")
    for folder, _, names in sorted(os.walk(help_root)):
        for name in sorted(names):
            path = os.path.join(folder, name)
            inside = "help/" + os.path.relpath(path, help_root).replace(os.sep, "/")
            files.append(("MetaStock/" + inside, path))
            files.append(("MetaTrader/MQL4/Libraries/" + inside, path))
    files.append(("tools/msxhost.exe", dll("msxhost.exe")))
    files.append(("INSTALL.md", os.path.join(ROOT, "kit", "INSTALL.md")))
    files.append(("signals.md", os.path.join(ROOT, "engine", "README.md")))
    return files


def main():
    build, out = sys.argv[1], sys.argv[2]
    with open(os.path.join(build, "version.txt")) as f:
        version = f.read().strip()
    top = "barsight-%s-win32" % version
    os.makedirs(out, exist_ok=True)
    target = os.path.join(out, top + ".zip")
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as bundle:
        files = layout(build)
        if not any(inside.endswith("help/plugin/Inds1/none.htm") for inside, _ in files):
            sys.exit("no help pages in %s/bin/help: build them (scripts/release.sh does)" % build)
        for inside, path in files:
            if not os.path.isfile(path):
                sys.exit("missing " + path)
            bundle.write(path, top + "/" + inside)
    print(target)


if __name__ == "__main__":
    main()
