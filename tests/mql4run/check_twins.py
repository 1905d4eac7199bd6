#!/usr/bin/env python3
"""The MetaTrader 5 kit against its MetaTrader 4 twins: each MQL5 program run
through mql4run prints exactly what its MQL4 twin prints (objects, buffers,
alerts, engine calls, orders) on the sample data, the help pictures' series
and a generated 20,000-bar series; BarsightVSA.mq5's arrows equal VSAInd's
codes through msxhost; the MQL5 scripts, whose addresses travel as long,
run in a 64-bit build; a hover over an arrow opens its help page through the
window hook (where the runner has a real chart window).

usage: check_twins.py MQL4RUN LIBRARIES MSXHOST PLUGIN DATA PICTURES [--windows]
MQL4RUN_PREFIX in the environment goes before the runner's and msxhost's
commands (wine64 for the x86_64 Windows build); --windows says the runner
has a real chart window and the paths it reads are Wine's (Z:).
"""
import os
import re
import shlex
import sys
import tempfile
import datetime

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import series  # noqa: E402

runner, libraries, msxhost, plugin, data, pictures = sys.argv[1:7]
windows = "--windows" in sys.argv[7:]
prefix = shlex.split(os.environ.get("MQL4RUN_PREFIX", ""))
work = tempfile.mkdtemp(prefix="mql5-twins-")
failures = []


def host_path(path):
    return ("Z:" + path.replace("/", "\\")) if windows else path


def execute(command):
    with open(os.path.join(work, "out"), "w+b") as out, open(os.path.join(work, "err"), "w+b") as err:
        code = series.run_to_files(prefix + command, out, err, 600)
        out.seek(0)
        err.seek(0)
        text = [f.read().decode("utf-8", "replace").replace("\r", "") for f in (out, err)]
    return code, text[0], text[1]


def run(program, *args):
    return execute([runner, program, "--libraries", host_path(libraries)] + list(args))


def check(name, condition, detail=""):
    print("twins: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


def same_text(text):
    """A run's output with the program's own file name made neutral, and the
    list of the terminal's timeframes (9 in MetaTrader 4, 21 in 5)."""
    text = re.sub(r"is no timeframe \([^)]*\)", "is no timeframe (...)", text)
    return re.sub(r"(\w+)\.mq[45]\b", r"\1.mq", text)


def as_mq4_buffers(text):
    """BarsightVSA.mq5's buffers laid out as the .mq4's: its colour index
    buffers (5 and 7) left out, the weakness arrows (6) as buffer 5."""
    lines = []
    for line in text.splitlines(True):
        parts = line.split("\t")
        if parts[0] == "buffer" and parts[1] in ("5", "7"):
            continue
        lines.append("buffer\t5\t" + "\t".join(parts[2:]) if parts[0] == "buffer" and parts[1] == "6" else line)
    return "".join(lines)


def arrows(stdout):
    """(date, code) of each BarsightVSA arrow (labels and legend left out)."""
    found = []
    for line in stdout.splitlines():
        parts = line.split("\t")
        match = re.fullmatch(r"Barsight;(SOS|SOW)(\d+);.*", parts[1]) if parts[0] == "object" else None
        if match and not parts[1].endswith(";label"):
            found.append((parts[2], int(match.group(2)) * (1 if match.group(1) == "SOS" else -1)))
    return found


walk = series.random_walk(work, "walk20000.csv", 20000, 5, datetime.date(1990, 1, 2), 500, 0.6)
second = series.random_walk(work, "second.csv", 3000, 9, datetime.date(1990, 1, 2), 500, 0.6)

# --- the twins print the same ---------------------------------------------------
# (program, data, arguments): every case runs the .mq4 and the .mq5 alike.
cases = [
    ("BarsightVSA", data, ["--new-bars", "30", "--dump-buffers", "--log-imports"]),
    ("BarsightVSA", data, ["--input", "MaxBars=0", "--new-bars", "12", "--arrive", "3",
                           "--input", "AlertOnSignal=true", "--input", "AlertProvisional=true"]),
    ("BarsightVSA", pictures, ["--input", "MaxBars=0", "--dump-buffers", "--visible-bars", "100000"]),
    ("BarsightVSA", walk, ["--input", "MaxBars=0", "--new-bars", "40", "--dump-buffers",
                           "--input", "Periods=14", "--reload"]),
    ("BarsightVSA", data, ["--reinit", "chartchange", "--reinit", "remove", "--log-imports"]),
    ("BarsightVolume", data, ["--new-bars", "30", "--dump-buffers", "--ticks", "2"]),
    ("BarsightVolume", pictures, ["--input", "Colouring=1", "--dump-buffers"]),
    ("BarsightVolume", walk, ["--input", "Colouring=1", "--input", "AveragePeriod=50", "--new-bars", "25",
                              "--dump-buffers"]),
    ("BarsightScanner", data, ["--data", "SECOND=" + host_path(second), "--input", "Timeframes=D1, h1,W1,x",
                               "--new-bars", "5", "--click", "BarsightScan;row;1"]),
    ("BarsightScanner", pictures, ["--data", "SECOND=" + host_path(data), "--input", "ScanBars=0"]),
    ("BarsightScanner", walk, ["--data", "SECOND=" + host_path(second), "--input", "ScanBars=20000",
                               "--new-bars", "3", "--click", "BarsightScan;row;0"]),
    ("BarsightVSAExample", data, ["--new-bars", "200", "--input", "Trade=true", "--ticks", "1"]),
    ("BarsightVSAExample", walk, ["--new-bars", "300", "--arrive", "4", "--input", "MaxBars=2000"]),
]
for program, csv, args in cases:
    results = [run(program + ext, "--data", host_path(csv), *args) for ext in (".mq4", ".mq5")]
    (code4, out4, err4), (code5, out5, err5) = results
    if program == "BarsightVSA":
        out5 = as_mq4_buffers(out5)
    what = "%s on %s %s" % (program, os.path.basename(csv),
                            " ".join(os.path.basename(a) if os.sep in a or "\\" in a else a for a in args))
    differ = next((pair for pair in zip((out4 + err4).splitlines(), (out5 + err5).splitlines())
                   if same_text(pair[0]) != same_text(pair[1])), None)
    check("%s: the .mq5 prints what the .mq4 prints (%d lines)" % (what, len((out4 + err4).splitlines())),
          code4 == 0 and code5 == 0 and same_text(out4) == same_text(out5) and same_text(err4) == same_text(err5)
          and len(out4) > 0, "exits %d %d, first difference %s\n%s" % (code4, code5, differ, err5[-400:]))

# --- MetaTrader 5's own timeframes -------------------------------------------------
# All 21 are inputs and row labels there (H2, M10, H8 are no "TF16386");
# MetaTrader 4 has 9 and names the others.
code5, out5, err5 = run("BarsightScanner.mq5", "--data", host_path(data), "--input", "Timeframes=H2,m10,H8,MN1")
labels = [re.split(r"\s+", line.split("\t")[9])[1] for line in out5.splitlines()
          if line.startswith("object\tBarsightScan;row;")]
listed = re.search(r"is no timeframe \(([^)]*)\)", run("BarsightScanner.mq5", "--data", host_path(data), "--input",
                                                       "Timeframes=X")[2])
check("the .mq5 scanner takes every MetaTrader 5 timeframe (%s) and lists 21" % labels,
      code5 == 0 and labels == ["H2", "M10", "H8", "MN1"] and "no timeframe" not in err5 and listed is not None
      and len(listed.group(1).split(", ")) == 21, err5[-300:])
for minutes, text in ((120, "H2"), (10, "M10"), (480, "H8")):
    code5, out5, err5 = run("BarsightScanner.mq5", "--data", host_path(data), "--period", str(minutes))
    rows = [re.split(r"\s+", line.split("\t")[9]) for line in out5.splitlines()
            if line.startswith("object\tBarsightScan;row;")]
    check("the .mq5 scanner on an %s chart names it so, with its data" % text,
          code5 == 0 and len(rows) == 1 and rows[0][1] == text and "no" not in rows[0], str(rows))
code4, out4, err4 = run("BarsightScanner.mq4", "--data", host_path(data), "--input", "Timeframes=H2,H4")
check("the .mq4 scanner names H2 as no MetaTrader 4 timeframe", code4 == 0 and "'H2' is no timeframe (M1, M5, M15, "
      "M30, H1, H4, D1, W1, MN1)" in err4, err4[-300:])

# --- BarsightVSA.mq5 equals VSAInd -----------------------------------------------
for csv in (data, pictures, walk):
    code, out, err = execute([msxhost, "run", host_path(plugin), "VSAInd", "--data", host_path(csv)])
    reference = [(line.split(",")[1], int(float(line.split(",")[2]))) for line in out.splitlines()[2:]]
    reference = [(date, value) for date, value in reference if value != 0]
    code5, out5, err5 = run("BarsightVSA.mq5", "--data", host_path(csv), "--input", "MaxBars=0",
                            "--input", "VisibleObjectsOnly=false")
    check("BarsightVSA.mq5 on %s equals VSAInd (%d arrows)" % (os.path.basename(csv), len(reference)),
          code == 0 and code5 == 0 and arrows(out5) == reference and len(reference) > 0,
          "exits %d %d, %d arrows\n%s" % (code, code5, len(arrows(out5)), err5[-300:]))

# --- a timeframe switch in either order ---------------------------------------------
# On a timeframe switch MetaTrader 5 may start the new instance before the
# old one's OnDeinit. Either way the count stays balanced (the help window
# ends with the last instance), and the arrows on the chart are the new
# instance's. (Other reasons end the old instance first.)
def copy_neutral(line):
    """An object line with its copy's number taken out: a copy started
    before the old one ended draws as "Barsight2;", "BarsightLegend2;"."""
    line = re.sub(r"^object\tBarsight(Legend)?\d+;", r"object\tBarsight\1;", line)
    return re.sub(r"^object\tBarsightCopy;\d+", "object\tBarsightCopy;", line)


code, plain, err = run("BarsightVSA.mq5", "--data", host_path(data))
plain_objects = [copy_neutral(line) for line in plain.splitlines() if line.startswith("object")]
for order, reasons in (("--reinit", ("chartchange", "parameters", "remove")),
                       ("--reinit-new-first", ("chartchange",))):
    for reason in reasons:
        code, out, err = run("BarsightVSA.mq5", "--data", host_path(data), order, reason, "--log-imports")
        calls = [line.split("(")[0][len("import: "):] for line in err.splitlines() if line.startswith("import: ")]
        counts = [int(v) for v in re.findall(r"^import: (?:Inc|Dec)RefCount\(\) = (\d+)$", err, re.M)]
        objects = [copy_neutral(line) for line in out.splitlines() if line.startswith("object")]
        check("%s %s: the count balanced (%s), the help window ended last, the arrows drawn" %
              (order, reason, counts),
              code == 0 and calls.count("IncRefCount") == calls.count("DecRefCount") == 2 and counts[-1] == 0
              and calls[-1] == "KillDialog" and calls.count("KillDialog") == (2 if reason == "remove" and
                                                                                order == "--reinit" else 1)
              and objects == plain_objects and out.endswith("deinit\t0\n"),
              "exit %d, calls %s, %d objects of %d" % (code, calls[-6:], len(objects), len(plain_objects)))

# --- the MQL5 runtime's own rules ---------------------------------------------------
# Series off by default, MQL5's EMPTY_VALUE and timeframe codes, iCustom
# handles read with CopyBuffer.
# With DLL imports off MQLInfoInteger says so, and BarsightVolume (no
# imports) still loads behind its handle.
for allowed, switch in [("true", []), ("false", ["--no-dlls"])]:
    code, out, err = run("CheckDialect.mq5", "--data", host_path(data), "--new-bars", "3", *switch)
    want = ["time series false", "oldest first true", "buffer series false", "empty DBL_MAX true",
            "period D1 16408 true", "dlls allowed " + allowed, "handle 10", "copied 3", "newest copied first true",
            "released true"]
    check("CheckDialect.mq5: the dialect's defaults%s" % (" with DLL imports off" if switch else ""),
          code == 0 and all(w in err for w in want),
          "exit %d, missing %s\n%s" % (code, [w for w in want if w not in err], err[-600:]))
code, out, err = run("CheckRuntime.mq4", "--data", host_path(data), "--input", "Index=2")
check("an MQL4 program keeps MQL4's rules beside them", code == 0, "exit %d %s" % (code, err[-300:]))

# --- the MQL5 scripts: addresses as long ------------------------------------------------
code, out, err = run("BarsightTableAndHelp.mq5", "--data", host_path(data), "--input", "HelpPage=")
check("BarsightTableAndHelp.mq5 prints the table and the UTC time (GetCurrentUTCStr, lstrlenA, RtlMoveMemory)",
      code == 0 and re.search(r"bar 4: VSA 3 conf 40 at \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} Z", err) is not None,
      "exit %d %s" % (code, err[-300:]))
code, out, err = run("BarsightTooltips.mq5", "--data", host_path(data))
check("BarsightTooltips.mq5 runs (%s)" % ("hooked" if windows else "no chart window"),
      code == 0 and out == "deinit\t0\n" and ("SubclassWindow failed" in err) != windows,
      "exit %d %s" % (code, err[-300:]))

# --- hover help through the window hook ------------------------------------------------------
if windows:
    code, out, err = run("BarsightVSA.mq5", "--data", host_path(data), "--input", "HelpOnHover=true")
    # The first signal's arrow (not a level line, whose name starts alike).
    first = next(line.split("\t") for line in out.splitlines()
                 if re.match(r"object\tBarsight;SO[SW]\d+;", line))
    code, out, err = run("BarsightVSA.mq5", "--data", host_path(data), "--input", "HelpOnHover=true",
                         "--hover", "not an arrow's tooltip", "--hover", first[3], "--log-imports", "--count-calls")
    shown = [line for line in err.splitlines() if line.startswith("import: ShowDialog(")]
    taken = re.findall(r"^import: GetFromQueue\(.*\) = 1$", err, re.M)
    # The page follows from the tooltip's text: no chart object is looked at.
    scanned = [line for line in err.splitlines() if line.startswith(("calls\tObjectName", "calls\tObjectsTotal"))]
    check("hovering over an arrow opens its page (tooltip text through GetFromQueue and RtlMoveMemory), "
          "no scan of the chart's objects",
          code == 0 and len(taken) == 2 and len(shown) == 1 and first[1].split(";")[1] in shown[0] and not scanned,
          "exit %d, %d taken, shown %s %s\n%s" % (code, len(taken), shown, scanned, err[-600:]))

print("twins: %d failed" % len(failures))
sys.exit(1 if failures else 0)
