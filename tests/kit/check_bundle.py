#!/usr/bin/env python3
"""Builds the release bundle from a win32 build into a temporary folder,
unpacks it and checks its file list, that every DLL and program is 32-bit
with imports from Windows' own DLLs only, that the version matches, and the
help pages beside each DLL (rendered to WIN32_BUILD_DIR/help-png).

usage: check_bundle.py WIN32_BUILD_DIR OBJDUMP
       check_bundle.py --x64 WIN64_BUILD_DIR OBJDUMP [--with-help]   (the MetaTrader 5 part)
"""
import os
import re
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
SYSTEM = re.compile(r"^(KERNEL32|USER32|GDI32|ADVAPI32|OLE32|OLEAUT32|SHELL32|SHLWAPI|COMCTL32|COMDLG32|MSVCRT|API-MS-WIN-[A-Z0-9-]+)\.DLL$")
EXPECTED = {
    "INSTALL.md", "signals.md", "INSTALL.htm", "signals.htm", "tools/msxhost.exe", "tools/BarsightPlugin.dll", "tools/Spreadcore.dll",
    "tools/orvane.dll",
    "MetaStock/BarsightPlugin.dll", "MetaStock/BarsightPlugin.dll.config", "MetaStock/Spreadcore.dll",
    "MetaStock/orvane.dll", "MetaStock/Barsight formulas.txt", "MetaStock/Barsight expert.txt",
    "MetaStock/Barsight exploration.txt",
    "MetaTrader/MQL4/Libraries/BarsightPlugin.dll", "MetaTrader/MQL4/Libraries/BarsightPlugin.dll.config",
    "MetaTrader/MQL4/Libraries/Spreadcore.dll", "MetaTrader/MQL4/Include/BarsightPlugin.mqh",
    "MetaTrader/MQL4/Indicators/BarsightVolume.mq4", "MetaTrader/MQL4/Indicators/BarsightScanner.mq4",
    "MetaTrader/MQL4/Include/BarsightSignals.mqh", "MetaTrader/MQL4/Experts/BarsightVSAExample.mq4",
    "MetaStock/help/plugin/Inds1/BarsightVolume.htm",
    "MetaTrader/MQL4/Indicators/BarsightVSA.mq4", "MetaTrader/MQL4/Scripts/BarsightTableAndHelp.mq4",
    "MetaTrader/MQL4/Scripts/BarsightTooltips.mq4", "MetaStock/help/plugin/Inds1/none.htm",
    "MetaTrader/MQL4/Libraries/help/plugin/Inds1/none.htm",
    "MetaTrader/MQL4/Include/BarsightVSA.mqh", "MetaTrader/MQL4/Include/BarsightScripts.mqh",
    "MetaTrader/MQL4/Include/BarsightTextCalls.mqh", "MetaTrader/MQL4/Include/BarsightSignalTable.mqh",
    "MetaTrader/MQL4/Include/BarsightSignalInputs.mqh", "MetaTrader/MQL4/Include/BarsightFeedPolicy.mqh",
}
MQL5_EXPECTED = {
    "MetaTrader5/MQL5/Include/BarsightPlugin.mqh", "MetaTrader5/MQL5/Include/BarsightSignals.mqh",
    "MetaTrader5/MQL5/Include/BarsightVSA.mqh", "MetaTrader5/MQL5/Indicators/BarsightVSA.mq5",
    "MetaTrader5/MQL5/Indicators/BarsightVolume.mq5", "MetaTrader5/MQL5/Indicators/BarsightScanner.mq5",
    "MetaTrader5/MQL5/Experts/BarsightVSAExample.mq5", "MetaTrader5/MQL5/Scripts/BarsightTableAndHelp.mq5",
    "MetaTrader5/MQL5/Scripts/BarsightTooltips.mq5", "MetaTrader5/MQL5/Include/BarsightTextCalls.mqh",
    "MetaTrader5/MQL5/Include/BarsightSignalTable.mqh", "MetaTrader5/MQL5/Include/BarsightSignalInputs.mqh",
    "MetaTrader5/MQL5/Include/BarsightFeedPolicy.mqh",
}


def include_problems(files):
    """Each #include of a kit program or include file that its kit's Include
    folder in the bundle does not hold: MetaEditor would refuse to compile
    it. `files` maps paths in the bundle to files on disk."""
    problems = []
    for inside, path in sorted(files.items()):
        if not inside.endswith((".mq4", ".mq5", ".mqh")):
            continue
        kit = inside.split("/")[1]  # MQL4 or MQL5
        for name in re.findall(r'^\s*#include\s*[<"]([^>"]+)[>"]', open(path, encoding="utf-8-sig").read(), re.M):
            if "%s/%s/Include/%s" % (inside.split("/")[0], kit, name) not in files:
                problems.append("%s includes %s, which its Include folder lacks" % (inside, name))
    return problems


def version_problem(data, numbers):
    """What is wrong with the file's VERSIONINFO, or None."""
    import struct
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return "no version resource"
    _, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", data, at)
    want = ((numbers[0] << 16) | numbers[1], (numbers[2] << 16) | numbers[3])
    if (file_ms, file_ls) != want or (product_ms, product_ls) != want:
        return "file or product version is not %s" % ".".join(map(str, numbers))
    for key, value in (("ProductName", "Barsight"), ("FileVersion", ".".join(map(str, numbers)))):
        if (key + "\0").encode("utf-16-le") not in data or (value + "\0").encode("utf-16-le") not in data:
            return "no %s %s" % (key, value)
    return None


def check_x64(build64, objdump, with_help):
    """The MetaTrader 5 part of the bundle from a win64 build: every file
    there, the DLLs x86_64 (PE32+) importing Windows' own DLLs only, with the
    version resource, and (a build given the help pages) the pages beside
    them."""
    sys.path.insert(0, os.path.join(ROOT, "scripts"))
    from make_release import layout_x64  # noqa: E402
    version = open(os.path.join(build64, "version.txt")).read().strip()
    numbers = [int(x) for x in version.split(".")] + [0]
    failures = []
    files = dict(layout_x64(build64))
    for inside in ("MetaTrader5/MQL5/Libraries/BarsightPlugin.dll", "MetaTrader5/MQL5/Libraries/Spreadcore.dll",
                   "MetaTrader5/MQL5/Libraries/BarsightPlugin.dll.config",
                   "MetaTrader5/MQL5/Libraries/help/plugin/Inds1/none.htm", *sorted(MQL5_EXPECTED)):
        if "/help/" in inside and not with_help:
            continue
        if inside not in files or not os.path.isfile(files[inside]):
            failures.append("missing " + inside)
    failures += include_problems(files)
    for inside, path in sorted(files.items()):
        if not inside.endswith(".dll") or not os.path.isfile(path):
            continue
        table = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
        if not re.search(r"Magic\s+020b", table):
            failures.append(inside + " is not x86_64 (PE32+)")
        for dll in re.findall(r"DLL Name: (\S+)", table):
            if not SYSTEM.match(dll.upper()):
                failures.append("%s imports %s" % (inside, dll))
        problem = version_problem(open(path, "rb").read(), numbers)
        if problem:
            failures.append("%s: %s" % (inside, problem))
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("bundle %s, MetaTrader 5 part: %d files, x86_64, system imports only" % (version, len(files)))


def main():
    if sys.argv[1] == "--x64":
        check_x64(sys.argv[2], sys.argv[3], "--with-help" in sys.argv[4:])
        return
    build, objdump = sys.argv[1], sys.argv[2]
    version = open(os.path.join(build, "version.txt")).read().strip()
    failures = []
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_release.py"), build, out,
                        "--no-setup"], check=True, capture_output=True)
        path = os.path.join(out, "barsight-%s-win32.zip" % version)
        if not os.path.isfile(path):
            sys.exit("no bundle named for version " + version)
        top = "barsight-%s-win32/" % version
        with zipfile.ZipFile(path) as bundle:
            names = bundle.namelist()
            if any(not n.startswith(top) for n in names):
                failures.append("files outside " + top)
            inside = {n[len(top):] for n in names}
            for missing in sorted(EXPECTED - inside):
                failures.append("missing " + missing)
            sys.path.insert(0, os.path.join(ROOT, "scripts"))
            from make_release import layout  # noqa: E402
            failures += include_problems({n: p for n, p in layout(build) if n.startswith("MetaTrader/")})
            for folder in ("MetaStock/", "MetaTrader/MQL4/Libraries/"):
                for name in ("VSATrend.htm", "VSAInd.htm", "SOS3.htm", "SOS3.svg", "SOW2.htm"):
                    if folder + "help/plugin/Inds1/" + name not in inside:
                        failures.append("missing help page %s in %s" % (name, folder))
            bundle.extractall(out)
        unpacked = os.path.join(out, top)
        for name in sorted(inside):
            if not name.endswith((".dll", ".exe")):
                continue
            table = subprocess.run([objdump, "-p", os.path.join(unpacked, name)], check=True,
                                   capture_output=True, text=True).stdout
            if not re.search(r"Magic\s+010b", table):
                failures.append(name + " is not 32-bit (PE32)")
            for dll in re.findall(r"DLL Name: (\S+)", table):
                if not SYSTEM.match(dll.upper()):
                    failures.append("%s imports %s" % (name, dll))
        # The pages beside each DLL, as a trader's browser shows them: every
        # page rendered by headless Chromium at the help window's width.
        pngs = os.path.join(build, "help-png")
        for folder, browser in (("MetaStock", True), ("MetaTrader/MQL4/Libraries", False)):
            args = [sys.executable, os.path.join(HERE, "check_help_pages.py"),
                    os.path.join(unpacked, folder, "help"), ROOT] + (["--browser", pngs] if browser else [])
            r = subprocess.run(args, capture_output=True, text=True)
            if r.returncode != 0:
                failures.append("help pages in %s:\n%s%s" % (folder, r.stdout, r.stderr))
        # Every DLL and program carries its version resource: the project
        # version as four numbers, product Barsight.
        numbers = [int(x) for x in version.split(".")] + [0]
        for name in sorted(inside):
            if name.endswith((".dll", ".exe")):
                problem = version_problem(open(os.path.join(unpacked, name), "rb").read(), numbers)
                if problem:
                    failures.append("%s: %s" % (name, problem))
        plugin = open(os.path.join(unpacked, "MetaStock/BarsightPlugin.dll"), "rb").read()
        if ("Barsight VSA indicators %s " % version).encode() not in plugin:
            failures.append("BarsightPlugin.dll's copyright text does not carry version " + version)
        # The HTML guides: whole pages with the Markdown's headings and tables.
        for page, heading in (("INSTALL.htm", "<h1>Installing Barsight</h1>"),
                              ("signals.htm", "<h1>Spreadcore: the analysis engine</h1>")):
            html_text = open(os.path.join(unpacked, page), encoding="utf-8").read()
            if heading not in html_text or "<table>" not in html_text or not html_text.rstrip().endswith("</html>"):
                failures.append("%s is not the HTML of its guide" % page)
        guide = open(os.path.join(unpacked, "INSTALL.md"), encoding="utf-8").read()
        for mentioned in ("MetaStock/", "MetaTrader/MQL4/", "Allow DLL imports", "Spreadcore.dll",
                          "BarsightPlugin.dll.config", "Barsight formulas.txt", "iCustom",
                          "BarsightVSAExample", "BarsightScanner", "ShowLegend"):
            if mentioned not in guide:
                failures.append("INSTALL.md does not mention " + mentioned)
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("bundle %s: %d files, 32-bit, system imports only" % (version, len(inside)))


if __name__ == "__main__":
    main()
