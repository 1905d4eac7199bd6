#!/usr/bin/env python3
"""Runs the kit's MQL4 programs through mql4run against the built DLLs and
checks what a trader would see: BarsightVSA's arrows equal VSAInd's codes
(msxhost) for the same bars, each with its signal's glyph, colour, side and
label from the signal table, the newest closed bar drawn as provisional;
the background in the legend and the level lines equal the engine's own;
bars fed one at a time equal one calculation at two engine calls per new
bar; the buffers an Expert Advisor reads; a click opens the signal's help
page; OnDeinit leaves nothing behind; BarsightVolume's colours equal
CalcVolumeColor's with no DLL at hand; with DLL imports switched off each
program that imports the DLL says so and stops; bad input, a missing DLL
and a bad command line get their exit codes.

usage: check_runner.py MQL4RUN LIBRARIES MSXHOST PLUGIN DATA PICTURES [--windows] [--sanitized]
The environment variable MQL4RUN_PREFIX is put before the runner's command
(qemu-i386 and Wine for the 32-bit build); with --windows the scripts are
expected to run (int holds a pointer), otherwise to be refused with 5.
With --windows or --sanitized (a sanitizer's build), where a run costs
several times a native one, the checks that repeat one case over many rows
of a table (each signal hidden, each kind of background) take the first
rows only; the native build runs them all.
"""
import ctypes
import glob
import math
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile


def with_sanitizer_runtime():
    """In a sanitizer's build the native libraries this script loads through
    ctypes need the sanitizer's runtime loaded before anything else: the
    test names it in BARSIGHT_SANITIZER_RUNTIME, and the script runs itself
    again with it preloaded (and the interpreter's own allocations left out
    of leak checking). The programs it starts get the environment it was
    given."""
    runtime = os.environ.get("BARSIGHT_SANITIZER_RUNTIME")
    if not runtime:
        return
    if os.environ.get("BARSIGHT_SANITIZER_PRELOADED") != "1":
        env = dict(os.environ, LD_PRELOAD=runtime, BARSIGHT_SANITIZER_PRELOADED="1",
                   ASAN_OPTIONS=(os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":"))
        if "ASAN_OPTIONS" in os.environ:
            env["BARSIGHT_GIVEN_ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"]
        os.execve(sys.executable, [sys.executable] + sys.argv, env)
    os.environ.pop("LD_PRELOAD", None)
    os.environ.pop("ASAN_OPTIONS", None)
    if "BARSIGHT_GIVEN_ASAN_OPTIONS" in os.environ:
        os.environ["ASAN_OPTIONS"] = os.environ.pop("BARSIGHT_GIVEN_ASAN_OPTIONS")


with_sanitizer_runtime()

runner, libraries, msxhost, plugin, data, pictures = sys.argv[1:7]
windows = "--windows" in sys.argv[7:]
# The 32-bit emulator and the sanitizers: the table-driven repeats sampled.
sampled = windows or "--sanitized" in sys.argv[7:]
# The dialects run: the 32-bit runner (--windows) runs the MQL4 programs,
# as MetaTrader 4 does.
DIALECTS = (".mq4",) if windows else (".mq4", ".mq5")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "generators"))
from signal_table import LOOK, SIGNALS, identifier, page_name, provisional_colour  # noqa: E402
import series  # noqa: E402  (beside this file)
prefix = shlex.split(os.environ.get("MQL4RUN_PREFIX", ""))
LEVEL = "Barsight;level;"  # BarsightVSA's level lines, beside its arrows
failures = []
work = tempfile.mkdtemp(prefix="mql4run-check-")


def host_path(path):
    """A path the runner can read: Wine maps / to Z:."""
    return ("Z:" + path.replace("/", "\\")) if windows else path


def run(program, *args, env=None, libs=None):
    # Most checks here read every arrow object: BarsightVSA draws them on
    # every bar when told so (by default only on the visible bars; the
    # checks of that say VisibleObjectsOnly=true).
    if re.fullmatch(r"BarsightVSA\.mq[45]", program) and not any("VisibleObjectsOnly" in a for a in args):
        args = ("--input", "VisibleObjectsOnly=false") + args
    command = prefix + [runner, program, "--libraries", host_path(libs or libraries)] + list(args)
    full_env = dict(os.environ, **(env or {}))
    with open(os.path.join(work, "stdout"), "w+b") as out, open(os.path.join(work, "stderr"), "w+b") as err:
        code = series.run_to_files(command, out, err, 300, env=full_env)
        out.seek(0)
        err.seek(0)
        text = [f.read().decode("utf-8", "replace").replace("\r", "") for f in (out, err)]
    return code, text[0], text[1]


def check(name, condition, detail=""):
    if condition:
        print("mql4run: %s: ok" % name)
    else:
        failures.append(name)
        print("mql4run: %s: FAILED %s" % (name, detail))


def write_csv(name, rows):
    return series.write_csv(work, name, rows)


def arrows(stdout):
    """(date, code) of each BarsightVSA arrow, from its name and bar date
    (labels and the legend left out)."""
    found = []
    for line in stdout.splitlines():
        parts = line.split("\t")
        if parts[0] != "object" or parts[1].startswith(("BarsightLegend;", "BarsightCopy;", LEVEL)) or \
                parts[1].endswith(";label"):
            continue
        match = re.fullmatch(r"Barsight;(SOS|SOW)(\d+);\d{4}\.\d\d\.\d\d \d\d:\d\d", parts[1])
        if not match:
            found.append((parts[2], "bad name " + parts[1]))
            continue
        code = int(match.group(2)) * (1 if match.group(1) == "SOS" else -1)
        found.append((parts[2], code))
    return found


def vsaind_all(csv):
    """(date, code) of every bar, from msxhost's VSAInd on the file."""
    out = subprocess.run([msxhost, "run", plugin, "VSAInd", "--data", csv], check=True,
                         capture_output=True, text=True).stdout
    return [(line.split(",")[1], int(float(line.split(",")[2]))) for line in out.splitlines()[2:]]


def vsaind(csv):
    """(date, code) of each non-zero VSAInd value on the file, from msxhost."""
    return [(date, code) for date, code in vsaind_all(csv) if code != 0]


def random_walk(name, count, seed):
    return series.random_walk(work, name, count, seed)


rows = [line.rstrip("\n").split(",") for line in open(data)][1:]
f32 = lambda x: struct.unpack("f", struct.pack("f", float(x)))[0]  # noqa: E731 (the host's floats)

# --- the arrows equal the engine-backed indicator's codes ---------------------
reference = vsaind(data)
for name, args in [("all bars", ["--input", "MaxBars=0"]),
                   ("default MaxBars", []),
                   ("50 new bars one at a time", ["--input", "MaxBars=0", "--new-bars", "50"])]:
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), *args)
    got = arrows(out)
    check("BarsightVSA %s equals VSAInd (%d arrows)" % (name, len(reference)),
          code == 0 and got == reference and out.endswith("deinit\t0\n"),
          "exit %d, %d arrows, first differences %s\n%s" %
          (code, len(got), [a for a in got if a not in reference][:3], err[-500:]))

for max_bars in (300, 17):
    tail = write_csv("tail%d.csv" % max_bars, rows[-(max_bars + 1):])
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "MaxBars=%d" % max_bars)
    check("BarsightVSA MaxBars=%d equals VSAInd on the last %d rows" % (max_bars, max_bars + 1),
          code == 0 and arrows(out) == vsaind(tail), "exit %d\n%s" % (code, err[-300:]))

code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "ShowStrength=false")
check("ShowStrength=false draws weakness only",
      code == 0 and arrows(out) == [a for a in reference if a[1] < 0])
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "ShowWeakness=false")
check("ShowWeakness=false draws strength only",
      code == 0 and arrows(out) == [a for a in reference if a[1] > 0])
tooltip_ok = all(re.fullmatch(r"[A-Z][a-z ]+ \(-?\d+\)(, provisional)?", line.split("\t")[3])
                 for line in out.splitlines() if line.startswith("object\tBarsight;") and LEVEL not in line)
check("every arrow's tooltip is the signal's name and code", tooltip_ok)

# --- each signal recognisable at a glance ------------------------------------
# Every arrow carries its signal's glyph and colour from the signal table,
# strength anchored by its top at the bar's low, weakness by its bottom at
# the high; the label beside it has the same colour and the table's text;
# the newest closed bar (shift 1) alone is drawn provisional: its colour
# halfway to grey, its tooltip saying so.
def look_problems(csv, out):
    file_rows = [line.rstrip("\n").split(",") for line in open(csv)][1:]
    places = {r[0]: (f32(r[2]), f32(r[3])) for r in file_rows}
    newest_closed = file_rows[-2][0]
    objects = {}
    for line in out.splitlines():
        parts = line.split("\t")
        if parts[0] == "object":
            objects[parts[1]] = parts
    problems, seen = [], set()
    for name, parts in objects.items():
        if name.startswith(("BarsightLegend;", "BarsightCopy;", LEVEL)) or name.endswith(";label"):
            continue
        if len(parts) != 10:
            problems.append(("fields", parts))
            continue
        _, _, date, tooltip, kind, arrow, colour, anchor, price, _ = parts
        match = re.fullmatch(r"Barsight;(SOS|SOW)(\d+);.*", name)
        code = int(match.group(2)) * (1 if match.group(1) == "SOS" else -1)
        seen.add(code)
        label, glyph, shade, _ = LOOK[code]
        provisional = date == newest_closed
        want_colour = provisional_colour(shade) if provisional else shade
        strength = code > 0
        high, low = places[date]
        placed = abs(float(price) - (low if strength else high)) < 1e-4
        want = ("OBJ_ARROW", str(glyph), want_colour, "top" if strength else "bottom")
        if (kind, arrow, colour, anchor) != want or not placed or tooltip.endswith(", provisional") != provisional:
            problems.append((date, name, kind, arrow, colour, anchor, price, tooltip, want))
        text = objects.get(name + ";label")
        if text is None or text[6] != want_colour or text[9].strip() != label or text[4] != "OBJ_TEXT" or \
                text[7] != ("0" if strength else "2"):
            problems.append(("label", date, name, text))
    return problems, seen


for csv, what in ((data, "the sample"), (pictures, "the help pictures' series")):
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(csv), "--input", "MaxBars=0")
    problems, seen = look_problems(csv, out)
    want_seen = {c for _, c in vsaind(csv)}
    check("every arrow on %s has its signal's glyph, colour, side and label (%d signals)" % (what, len(seen)),
          code == 0 and not problems and seen == want_seen and arrows(out) == vsaind(csv),
          "exit %d %s missing %s" % (code, problems[:3], set(LOOK) - seen))

# --- the arrows as indicator buffers: iCustom, the Data Window, the Tester -----------
# Every shown signal has its arrow in a buffer at the bar's low (strength)
# or high (weakness), whatever is visible; MetaTrader 5's colour index is
# the signal's own colour among its side's (the table's order), dimmed
# (after the side's signals) on the newest closed bar alone. Hidden
# signals keep their codes but draw no arrow.
def arrow_buffer_problems(ext, csv, out, hidden=lambda code: False):
    file_rows = [line.rstrip("\n").split(",") for line in open(csv)][1:]
    places = {r[0]: (f32(r[2]), f32(r[3])) for r in file_rows}
    newest_closed = file_rows[-2][0]
    got = series.buffers(out)
    weak, shades = (6, {True: 5, False: 7}) if ext == ".mq5" else (5, {})
    side = {True: [c for c, *_ in SIGNALS if c > 0], False: [c for c, *_ in SIGNALS if c < 0]}
    problems = []
    drawn = set(got.get(4, {})) | set(got.get(weak, {}))
    for date in sorted(set(got.get(0, {})) | drawn):
        code = int(got.get(0, {}).get(date, 0))
        strength = code > 0
        high, low = places[date]
        if code == 0 or hidden(code):
            if date in drawn:
                problems.append((date, code, "drawn"))
            continue
        price = got.get(4 if strength else weak, {}).get(date)
        other = got.get(weak if strength else 4, {}).get(date)
        if price is None or abs(price - (low if strength else high)) > 1e-4 or other is not None:
            problems.append((date, code, price, other))
        if shades:
            place = side[strength].index(code) + (len(side[strength]) if date == newest_closed else 0)
            if got.get(shades[strength], {}).get(date) != place:
                problems.append((date, code, "colour", got.get(shades[strength], {}).get(date), place))
    return problems, len(drawn)


for ext in DIALECTS:
    for csv, args, hidden in [
            (pictures, [], lambda code: False),
            (data, ["--new-bars", "30", "--arrive", "4"], lambda code: False),
            (data, ["--input", "ShowStrength=false"], lambda code: code > 0),
            (pictures, ["--input", "Show" + identifier(SIGNALS[0][1]) + "=false"], lambda code: code == SIGNALS[0][0]),
            (data, ["--input", "DrawArrows=false"], lambda code: True)]:
        code, out, err = run("BarsightVSA" + ext, "--data", host_path(csv), "--input", "MaxBars=0", "--dump-buffers",
                             *args)
        problems, drawn = arrow_buffer_problems(ext, csv, out, hidden)
        check("BarsightVSA%s %s: every shown signal's arrow in its buffer, at its price%s (%d arrows)"
              % (ext, " ".join(args) or "on " + os.path.basename(csv),
                 " and in its colour" if ext == ".mq5" else "", drawn),
              code == 0 and not problems and (drawn > 0) != ("DrawArrows=false" in args),
              "exit %d %s %s" % (code, problems[:3], err[-300:]))

# A 100,000-bar chart analysed whole holds arrow and label objects for its
# visible bars only (the buffers draw the rest), also as bars arrive: they
# are the arrows of exactly those bars, each with its label.
long_walk = random_walk("walk100000.csv", 100000, 11)
long_codes = dict(vsaind_all(long_walk))
long_dates = [line.split(",")[0] for line in open(long_walk)][1:]
for ext in DIALECTS:
    # (One case under the 32-bit emulator and the sanitizers: 100,000
    # emulated or checked bars cost time.)
    for visible, args in [(120, ["--new-bars", "50"])] + ([] if sampled else [(400, ["--new-bars", "20", "--arrive",
                                                                                       "7"])]):
        code, out, err = run("BarsightVSA" + ext, "--data", host_path(long_walk), "--input", "MaxBars=0",
                             "--input", "VisibleObjectsOnly=true", "--visible-bars", str(visible), *args)
        objects = [line.split("\t")[1] for line in out.splitlines() if line.startswith("object\t")]
        shown_dates = long_dates[-1 - visible:-1]  # the visible bars, the forming one aside
        want = [(d, long_codes[d]) for d in long_dates[-1 - visible:-1] if long_codes[d] != 0]
        labels = [name for name in objects if name.endswith(";label")]
        check("BarsightVSA%s on 100,000 bars, MaxBars=0, %d visible %s: %d objects, the visible bars' arrows"
              % (ext, visible, " ".join(args), len(objects)),
              code == 0 and arrows(out) == want and len(labels) == len(want) and
              len(objects) <= 2 * visible + 30 and len(shown_dates) == visible,
              "exit %d, %d arrows of %d\n%s" % (code, len(arrows(out)), len(want), err[-300:]))

code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "ShowLabels=false",
                     "--input", "MaxBars=0")
check("ShowLabels=false draws arrows without labels",
      code == 0 and ";label\t" not in out and arrows(out) == reference)
# A file cut two bars after a signal, so that its newest closed bar carries
# one: that arrow, and only it, is drawn provisional.
signal_dates = [d for d, _ in reference]
cut = next(i for i in range(len(rows) - 2, 0, -1) if rows[i][0] in signal_dates)
cut_csv = write_csv("cut.csv", rows[:cut + 2])
cut_codes = dict(vsaind_all(cut_csv))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(cut_csv), "--new-bars", "1")
marked = {line.split("\t")[2] for line in out.splitlines() if ", provisional\t" in line}
check("the newest closed bar's signal, and only it, looks provisional (%s)" % sorted(marked),
      code == 0 and (marked == {rows[cut][0]} if cut_codes[rows[cut][0]] != 0 else not marked),
      "%s, its code %d" % (sorted(marked), cut_codes[rows[cut][0]]))

# Each signal can be hidden on its own; the buffers keep it. (Under the
# 32-bit emulator, where each run costs seconds, and the sanitizers, the
# first of each side: the inputs are made alike from one table, and the
# native lane runs all.)
picture_codes = vsaind(pictures)
for signal_code, name, *_rest in ([next(r for r in SIGNALS if r[0] > 0), next(r for r in SIGNALS if r[0] < 0)]
                                  if sampled else SIGNALS):
    flag = "Show" + identifier(name)
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(pictures), "--input", "MaxBars=0",
                         "--input", flag + "=false", "--dump-buffers")
    kept = series.buffers(out).get(0, {})
    check("%s=false hides %s only and the buffer keeps it" % (flag, name),
          code == 0 and arrows(out) == [a for a in picture_codes if a[1] != signal_code] and
          sorted((d, int(v)) for d, v in kept.items()) == picture_codes, "exit %d %s" % (code, err[-300:]))

# The legend lists the signals of the visible bars with their counts.
picture_dates = [line.split(",")[0] for line in open(pictures)][1:]
names_of = {row[0]: row[1] for row in SIGNALS}
for visible in (40, 100000):
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(pictures), "--input", "MaxBars=0",
                         "--visible-bars", str(visible))
    window = set(picture_dates[-visible:][:-1]) if visible < len(picture_dates) else set(picture_dates[:-1])
    counts = {}
    for date, signal_code in picture_codes:
        if date in window:
            counts[signal_code] = counts.get(signal_code, 0) + 1
    want = {"%s  %s: %d" % (LOOK[c][0], names_of[c], n) for c, n in counts.items()}
    legend = [line.split("\t") for line in out.splitlines() if line.startswith("object\tBarsightLegend;")]
    got = {parts[9] for parts in legend if parts[1].endswith(";text")}
    glyphs = {parts[1] for parts in legend if parts[1].endswith(";glyph")}
    check("the legend over %d visible bars lists %d signals with their counts" % (visible, len(want)),
          code == 0 and want and got == want and len(glyphs) == len(want), "%s != %s" % (sorted(got), sorted(want)))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(pictures), "--input", "ShowLegend=false")
check("ShowLegend=false draws no legend", code == 0 and "BarsightLegend;" not in out)

# --- the background the newest closed bar was judged against ------------------------
# The legend's background rows and the level lines against the engine itself:
# the native Spreadcore beside the plug-in, fed through ctypes as BarsightVSA
# feeds it (its feed policy read from the kit's include), then BackgroundOf.
policy = dict(re.findall(r"#define BARSIGHT_(\w+)\s+(\S+)", open(os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "kit", "Shared", "Include",
    "BarsightFeedPolicy.mqh")).read()))
engine = ctypes.CDLL(next(p for p in glob.glob(os.path.join(os.path.dirname(plugin), "*Spreadcore*"))
                          if re.search(r"\.(so|dylib)$", p)))
engine.AddToChartEx.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]
engine.AnalysePosn.argtypes = [ctypes.c_int32, ctypes.c_int32] + [ctypes.c_double] * 7 + [ctypes.c_int32]
engine.BackgroundOf.argtypes = [ctypes.c_int32, ctypes.POINTER(ctypes.c_double), ctypes.c_int32]
engine.RemoveFromChart.argtypes = [ctypes.c_int32]
DIGITS = 5  # the runner's symbol digits


def fed_volume(text):
    """The volume BarsightVSA passes: the runner's whole tick volume of the
    file's float, the floored volume under the floor."""
    volume = float(int(f32(text) + 0.5)) if f32(text) > 0 else 0.0
    return float(policy["FLOORED_VOLUME"]) if volume < float(policy["VOLUME_FLOOR"]) else volume


def engine_background(file_rows, fed):
    """The engine's ten background values once the newest `fed` closed bars
    (the last row is the forming bar) are taken oldest first, each with its
    next close, the newest with none; None when it gives none."""
    closed = file_rows[:-1][-fed:]
    handle = engine.AddToChartEx(policy["CHART_APPLICATION"].strip('"').encode(), b"SAMPLE",
                                 int(policy["CHART_PERIODS"]))
    for n, row in enumerate(closed):
        next_close = f32(closed[n + 1][4]) if n + 1 < len(closed) else float(policy["NO_NEXT_CLOSE"])
        engine.AnalysePosn(handle, n - 1, n + 2.0, f32(row[4]), f32(row[2]), f32(row[3]), f32(row[4]),
                           fed_volume(row[5]), next_close, 0)
    values = (ctypes.c_double * 10)()
    written = engine.BackgroundOf(handle, values, 10)
    engine.RemoveFromChart(handle)
    return list(values) if written == 10 else None


def price_text(value):
    return "none" if math.isnan(value) else "%.*f" % (DIGITS, value)


def background_rows(values):
    """The four rows, top to bottom, as a trader reads them."""
    word = lambda v: "up" if v > 0 else "down" if v < 0 else "unclear"  # noqa: E731
    climax = "none" if values[3] == 0 else "%s, %d bar%s ago" % (
        "strength" if values[3] > 0 else "weakness", values[4], "" if values[4] == 1 else "s")
    trading_range = "none" if values[5] == 0 else "%s %s to %s" % (
        "accumulation" if values[5] > 0 else "distribution", price_text(values[6]), price_text(values[7]))
    levels = "none" if math.isnan(values[8]) and math.isnan(values[9]) else "support %s, resistance %s" % (
        price_text(values[8]), price_text(values[9]))
    return ["Trend: short %s, intermediate %s, long %s" % tuple(word(v) for v in values[:3]),
            "Last climax: " + climax, "Range: " + trading_range, "Levels: " + levels]


STRENGTH_COLOURS = {look[2] for c, look in LOOK.items() if c > 0}
WEAKNESS_COLOURS = {look[2] for c, look in LOOK.items() if c < 0}


def background_problems(out, values, levels_shown=True):
    """What BarsightVSA's output shows of the background against the
    engine's `values`: the rows' texts, the rows under the signals' rows,
    the lines at the engine's prices (grey support and resistance, the
    range's in its side's colours), no line where there is no level."""
    objects = [line.split("\t") for line in out.splitlines() if line.startswith("object\t")]
    rows = {p[1].rsplit(";", 1)[1]: p for p in objects if p[1].startswith("BarsightLegend;background;")}
    got = [rows[key][9] if key in rows else None for key in ("trend", "climax", "range", "levels")]
    problems = [] if got == background_rows(values) else [("rows", got, background_rows(values))]
    height = lambda p: int(p[8].split(",")[1])  # noqa: E731
    signal_rows = [height(p) for p in objects if p[1].startswith("BarsightLegend;S")]
    heights = [height(rows[key]) for key in ("trend", "climax", "range", "levels") if key in rows]
    if heights != sorted(heights, reverse=True) or (signal_rows and min(signal_rows) <= max(heights)):
        problems.append(("rows not under the signals", heights, min(signal_rows)))
    lines = {p[1][len(LEVEL):]: p for p in objects if p[1].startswith(LEVEL)}
    want = {}
    if levels_shown:
        for name, value in (("support", values[8]), ("resistance", values[9])):
            if not math.isnan(value):
                want[name] = ("%.5f" % value, {"#808080"})
        if values[5] != 0:
            family = STRENGTH_COLOURS if values[5] > 0 else WEAKNESS_COLOURS
            want["range low"] = ("%.5f" % values[6], family)
            want["range high"] = ("%.5f" % values[7], family)
    if set(lines) != set(want):
        problems.append(("lines", sorted(lines), sorted(want)))
    for name, (price, colours) in want.items():
        line = lines.get(name)
        if line is not None and (line[4] != "OBJ_HLINE" or line[8] != price or line[6] not in colours):
            problems.append((name, line[4], line[8], line[6], price))
    return problems


# Where to cut the help pictures' series so that its newest closed bar has
# each kind of background (either climax, either range, a level missing on
# one side, a climax 1 bar ago, none at all), from one pass of the engine.
picture_rows = [line.rstrip("\n").split(",") for line in open(pictures)][1:]
cuts = {}
probe = engine.AddToChartEx(b"metastock", b"SAMPLE", int(policy["CHART_PERIODS"]))
seen_values = (ctypes.c_double * 10)()
range_seen_at = -1000
for n, row in enumerate(picture_rows[:-1]):
    engine.AnalysePosn(probe, n - 1, n + 2.0, f32(row[4]), f32(row[2]), f32(row[3]), f32(row[4]),
                       fed_volume(row[5]), f32(picture_rows[n + 1][4]), 0)
    engine.BackgroundOf(probe, seen_values, 10)
    v = list(seen_values)
    kind = (v[3], v[5], math.isnan(v[8]), math.isnan(v[9]), v[4] == 1)
    cuts.setdefault(kind, n)
    if v[5] != 0:
        range_seen_at = n
    elif n - range_seen_at == 20 and "range ended" not in cuts:
        cuts["range ended"] = n  # a range 20 bars before, none now
engine.RemoveFromChart(probe)
range_ended = cuts.pop("range ended", None)
check("the help pictures' series has each kind of background (%d kinds)" % len(cuts),
      {k[0] for k in cuts} == {-1, 0, 1} and {k[1] for k in cuts} == {-1, 0, 1} and
      any(k[2] for k in cuts) and any(k[3] for k in cuts) and any(k[4] for k in cuts) and
      range_ended is not None, str(sorted(cuts)))

# (what, file rows, arguments, closed bars fed): each run in MQL4 and MQL5.
background_cases = [("the help pictures, all bars", picture_rows, ["--input", "MaxBars=0"], len(picture_rows) - 1),
                    ("the sample, MaxBars=300", rows, ["--input", "MaxBars=300"], 300),
                    ("the help pictures, 60 new bars one at a time", picture_rows,
                     ["--input", "MaxBars=0", "--new-bars", "60"], len(picture_rows) - 1),
                    ("the help pictures, 60 new bars arriving 7 at a time", picture_rows,
                     ["--input", "MaxBars=0", "--new-bars", "60", "--arrive", "7"], len(picture_rows) - 1)]
if range_ended is not None:
    background_cases.append(("a range that ended during 40 new bars", picture_rows[:range_ended + 2],
                             ["--input", "MaxBars=0", "--new-bars", "40"], range_ended + 1))
# Each kind of background at its first bar: natively (the 32-bit emulator
# and the sanitizers run the general cases above, the same program on the
# same engine, its legend redrawn on each of 60 new bars).
for kind, n in ([] if sampled else sorted(cuts.items(), key=lambda item: item[1])):
    background_cases.append(("bar %d (climax %d, range %d)" % (n, kind[0], kind[1]), picture_rows[:n + 2], [], n + 1))
for what, case_rows, args, fed in background_cases:
    csv = write_csv("background.csv", case_rows)
    values = engine_background(case_rows, fed)
    for ext in DIALECTS:
        code, out, err = run("BarsightVSA" + ext, "--data", host_path(csv), *args)
        problems = background_problems(out, values) if values else ["the engine gives no background"]
        check("BarsightVSA%s on %s: the legend's background and the level lines are the engine's" % (ext, what),
              code == 0 and not problems and out.endswith("deinit\t0\n"), "exit %d %s" % (code, problems[:3]))

# ShowLevels=false draws no line and keeps the rows; the lines go with the
# indicator.
csv = write_csv("background.csv", picture_rows)
values = engine_background(picture_rows, len(picture_rows) - 1)
for ext in DIALECTS:
    code, out, err = run("BarsightVSA" + ext, "--data", host_path(csv), "--input", "MaxBars=0",
                         "--input", "ShowLevels=false", "--new-bars", "5")
    problems = background_problems(out, values, levels_shown=False)
    check("BarsightVSA%s with ShowLevels=false: no level line, the background rows kept" % ext,
          code == 0 and not problems and LEVEL not in out, str(problems[:3]))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(csv), "--input", "ShowLegend=false")
check("ShowLegend=false keeps the level lines", code == 0 and LEVEL in out and "BarsightLegend;" not in out)

# --- linear cost: bars fed as they close equal one calculation ---------------------
walk = random_walk("walk5000.csv", 5000, 11)
walk_rows = [line.rstrip("\n").split(",") for line in open(walk)][1:]
for max_bars, first in ((0, 0), (1000, 5000 - 500 - 1 - 1000)):
    inputs = ["--input", "MaxBars=%d" % max_bars]
    code_a, whole, err_a = run("BarsightVSA.mq4", "--data", host_path(walk), *inputs, "--new-bars", "500",
                               "--dump-buffers", "--log-imports")
    # The same first bar fed in one calculation: the file from that bar on.
    tail_csv = write_csv("walk_from_%d.csv" % first, walk_rows[first:])
    code_b, batch, err_b = run("BarsightVSA.mq4", "--data", host_path(tail_csv), "--input", "MaxBars=0",
                               "--dump-buffers")
    calls = err_a.count("import: AnalysePosn(")
    fed_first = (4500 - 1) if max_bars == 0 else max_bars
    batch_lines = set(batch.splitlines())
    check("500 new bars one at a time equal one calculation from the same first bar (MaxBars=%d)" % max_bars,
          code_a == 0 and code_b == 0 and whole.split("deinit")[0] == batch.split("deinit")[0] and
          arrows(whole) == vsaind(tail_csv),
          "exit %d/%d; %s" % (code_a, code_b, [l for l in whole.splitlines() if l not in batch_lines][:3]))
    check("the engine is called at most twice per new bar (MaxBars=%d: %d calls for %d + 500 bars)"
          % (max_bars, calls, fed_first), calls <= fed_first + 2 * 500 and err_a.count("AddToChartEx(") == 1)

# After a disconnection several bars arrive in one call: all are fed, in
# order, the newest fed bar judged again once.
code, many, err = run("BarsightVSA.mq4", "--data", host_path(walk), "--input", "MaxBars=0", "--new-bars", "500",
                      "--arrive", "7", "--dump-buffers", "--log-imports")
code_b, batch, _ = run("BarsightVSA.mq4", "--data", host_path(walk), "--input", "MaxBars=0", "--dump-buffers")
calls = err.count("import: AnalysePosn(")
check("500 new bars arriving 7 at a time equal one calculation (%d engine calls)" % calls,
      code == 0 and many.split("deinit")[0] == batch.split("deinit")[0] and calls == 4499 + 500 + (500 + 6) // 7,
      "exit %d" % code)

# Periods reaches the engine; a value it cannot take stops OnInit.
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "Periods=20", "--log-imports")
check("Periods=20 opens the engine with 20", code == 0 and 'AddToChartEx("metastock", "SAMPLE", 20)' in err)
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "Periods=0")
check("Periods=0 is refused at OnInit", code == 1 and "Periods must be 1 to 10000" in err, err[-200:])

# The buffers an Expert Advisor reads: 1 is VSAInd's code with the next close
# known (0 on shift 1), 2 and 3 its strength and weakness halves; 0 on shift
# 1 holds the provisional code.
code, out, err = run("BarsightVSA.mq4", "--data", host_path(walk), "--input", "MaxBars=0", "--dump-buffers",
                     "--input", "DrawArrows=false")
got = series.buffers(out)
reference_all = dict(vsaind_all(walk))
closed = [r[0] for r in walk_rows[:-1]]
wrong = []
for shift_one, date in enumerate(reversed(closed), 1):
    want = reference_all[date]
    values = [int(got.get(b, {}).get(date, 0)) for b in range(4)]
    confirmed = want if shift_one >= 2 else 0
    expect = [want, confirmed, confirmed if confirmed > 0 else 0, confirmed if confirmed < 0 else 0]
    if values != expect:
        wrong.append((date, values, expect))
check("buffers 0-3 hold the code, the confirmed code and its strength and weakness (%d bars)" % len(closed),
      code == 0 and not wrong and "object" not in out, str(wrong[:3]))

# Ticks of the forming bar cost no engine call; a new bar costs two (its
# predecessor judged again, itself taken); a reload of history starts a
# fresh instance and draws the same arrows.
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--new-bars", "3", "--ticks", "4",
                     "--reload", "--log-imports", "--input", "MaxBars=0")
opened = err.count("import: AddToChartEx(")
calls = err.count("import: AnalysePosn(")
closed_at_start = len(rows) - 3 - 1
check("ticks cost nothing, a new bar two engine calls, a reload a fresh instance (%d instances, %d calls)"
      % (opened, calls), code == 0 and opened == 2 and calls == closed_at_start + 2 * 3 + (len(rows) - 1) and
      arrows(out) == reference and err.count("import: RemoveFromChart(") == 2, "exit %d" % code)
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "DrawArrows=false")
check("DrawArrows=false draws nothing", code == 0 and out == "deinit\t0\n", out[:200])

# --- a click opens the signal's page; OnDeinit leaves nothing ------------------
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data))
first = next(line.split("\t")[1] for line in out.splitlines()
             if line.startswith("object\tBarsight;") and LEVEL not in line)
page = first.split(";")[1] + ".htm"
trace = os.path.join(work, "trace.bin")
# The library's trace: natively in the file BARSIGHT_DEBUG_OUTPUT names; on
# Windows it is debugger output, which Wine's debugstr channel prints.
trace_env = {"BARSIGHT_TRACE": "1", "BARSIGHT_DEBUG_OUTPUT": trace}
if windows:
    trace_env["WINEDEBUG"] = "-all,+debugstr"
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--log-imports", "--click", first,
                     env=trace_env)
imports = [line for line in err.splitlines() if line.startswith("import: ")]
names = [re.match(r"import: (\w+)", line).group(1) for line in imports]
check("a click reaches ShowDialog with the arrow's name",
      code == 0 and any(line.startswith("import: ShowDialog(") and '"%s"' % first in line
                        for line in imports), err[-500:])
if windows:
    traced = err
else:
    traced = open(trace, "rb").read().decode("utf-8", "replace") if os.path.exists(trace) else ""
check("the help window navigates to the signal's page (%s)" % page,
      re.search(r"Navigate [^\x00\n]*[/\\]%s" % re.escape(page), traced) is not None, traced[-800:])
check("every engine instance is closed (%d opened)" % names.count("AddToChartEx"),
      names.count("AddToChartEx") == names.count("RemoveFromChart") > 0)
check("the chart counts itself once and the last chart ends the help window",
      names.count("IncRefCount") == 1 and names.count("DecRefCount") == 1 and names[-1] == "KillDialog",
      str(names[-4:]))
check("OnDeinit deletes every object", code == 0 and out.endswith("deinit\t0\n"))
# The background's rows and lines have no page: a click on them opens nothing.
for clicked in ("BarsightLegend;background;levels", LEVEL + "support"):
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--click", clicked, "--log-imports")
    check("a click on %s opens no help page" % clicked, code == 0 and "ShowDialog" not in err, err[-300:])
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--click", "Barsight;nothing",
                     "--log-imports")
check("a click on no object opens nothing and is the command line's fault (2)",
      code == 2 and "ShowDialog" not in err and "no object Barsight;nothing to click" in err and
      out.endswith("deinit\t0\n"), "exit %d %s" % (code, err[-300:]))

code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--new-bars", "50",
                     "--input", "AlertOnSignal=true")
alerts = [line for line in err.splitlines() if line.startswith("alert: ")]
check("AlertOnSignal alerts on new closed bars with a signal (%d)" % len(alerts),
      code == 0 and 0 < len(alerts) <= 50 and all(re.search(r"\(-?\d+\)$", a) for a in alerts), err[-300:])
confirmed_alerts = alerts
check("confirmed alerts never say provisional", not any("provisional" in a for a in alerts))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--new-bars", "50",
                     "--input", "AlertOnSignal=true", "--input", "AlertProvisional=true")
alerts = [line for line in err.splitlines() if line.startswith("alert: ")]
marked = [a for a in alerts if "provisional " in a]
check("AlertProvisional adds marked alerts for shift 1 (%d)" % len(marked),
      code == 0 and marked and [a for a in alerts if a not in marked] == confirmed_alerts)
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--new-bars", "50", "--arrive", "6",
                     "--input", "AlertOnSignal=true")
burst = [line for line in err.splitlines() if line.startswith("alert: ")]
check("bars arriving 6 at a time alert every newly final signal once, in order (%d)" % len(burst),
      code == 0 and burst == confirmed_alerts, "%s != %s" % (burst[:3], confirmed_alerts[:3]))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--new-bars", "50")
check("no alert when AlertOnSignal is off", code == 0 and "alert: " not in err)

# --- the terminal's deinitialisation reasons ------------------------------------
# The help window outlives a reinit whose program comes straight back (a
# timeframe or symbol switch, new inputs, a recompile, an account change);
# every other reason ends it. The count stays balanced either way.
RETURNING = {"chartchange", "parameters", "recompile", "account"}
for reason in ["program", "remove", "recompile", "chartchange", "chartclose", "parameters",
               "account", "template", "initfailed", "close"]:
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--reinit", reason, "--log-imports")
    calls = [line.split("(")[0][len("import: "):] for line in err.splitlines() if line.startswith("import: ")]
    second = [i for i, c in enumerate(calls) if c == "IncRefCount"][1:2]
    before = calls[:second[0]] if second else []
    killed = "KillDialog" in before
    balanced = calls.count("IncRefCount") == calls.count("DecRefCount") == 2
    check("--reinit %s: the help window %s" % (reason, "stays" if reason in RETURNING else "ends"),
          code == 0 and second and killed == (reason not in RETURNING) and balanced and
          calls[-1] == "KillDialog", str(before[-3:]))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--reinit", "sideways")
check("--reinit refuses an unknown reason", code == 2 and "--reinit takes a reason" in err)

# A template saved on another chart carries its objects, BarsightVSA's
# copy marker among them; applied here, none of them is left: the chart
# ends as a run without the template ends it (copy 1, this chart's arrows).
# The template's chart shows another symbol, or the same one.
other_walk = random_walk("template_from.csv", 1500, 23)
for ext in DIALECTS:
    for what, args in [("another symbol's", ["--data", "EURUSD=" + host_path(other_walk), "--template", "EURUSD"]),
                       ("the same symbol's on another", ["--template", "SAMPLE"]),
                       ("another symbol's, bars arriving", ["--data", "EURUSD=" + host_path(other_walk), "--template",
                                                           "EURUSD", "--new-bars", "20"])]:
        plain_args = [a for a in args if a == "--new-bars" or a.isdigit()]
        code_p, plain, _ = run("BarsightVSA" + ext, "--data", host_path(data), *plain_args)
        code, out, err = run("BarsightVSA" + ext, "--data", host_path(data), *args)
        objects = [line for line in out.splitlines() if line.startswith("object\t")]
        want = [line for line in plain.splitlines() if line.startswith("object\t")]
        stale = [line for line in objects if line not in want]
        check("BarsightVSA%s under a template from %s chart: no stale object (%d objects, %d stale)"
              % (ext, what, len(objects), len(stale)),
              code == 0 and code_p == 0 and sorted(objects) == sorted(want) and out.endswith("deinit\t0\n"),
              "exit %d %s %s" % (code, stale[:3], err[-300:]))
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--template", "NONE")
check("--template of no --data symbol is refused", code == 2 and "--template NONE is no --data symbol" in err, err)

# A symbol without usable volume is said once per chart.
flat = write_csv("flat.csv", [r[:5] + ["500"] for r in rows[:200]])
code, out, err = run("BarsightVSA.mq4", "--data", host_path(flat), "--new-bars", "5")
warned = (out + err).count("no usable volume on SAMPLE: volume signals cannot fire")
check("all-equal volumes warn once (%d)" % warned, code == 0 and warned == 1, err[-300:])
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--new-bars", "5")
check("real volumes do not warn", code == 0 and "no usable volume" not in out + err)

# MetaTrader 5's VolumeSource: the signals take the volume the pane shows.
# The file's seventh column is a real volume unlike its tick volume (every
# 50th bar without any): VolumeSource=1 equals VSAInd on the real volume,
# said in the legend; 0 keeps tick volume; a symbol without real volume
# falls back to tick volume, said once.
if ".mq5" in DIALECTS:
    real_rows = [r[:6] + [str(0 if k % 50 == 7 else int(float(r[5])) % 977 * 13 + 5)] for k, r in enumerate(rows)]
    real_csv = write_csv("real.csv", real_rows)
    as_real = write_csv("as_real.csv", [r[:5] + [r[6]] for r in real_rows])

    def codes_of(out):
        return sorted((d, int(v)) for d, v in series.buffers(out).get(0, {}).items())

    for what, csv, args, want, legend in [
            ("VolumeSource=1 takes the real volume", real_csv, ["--input", "VolumeSource=1"], as_real,
             "Volume: real"),
            ("VolumeSource=0 takes the tick volume", real_csv, [], data, None),
            ("VolumeSource=1 without real volume takes the tick volume", data, ["--input", "VolumeSource=1"], data,
             "Volume: tick (SAMPLE has no real volume)")]:
        code, out, err = run("BarsightVSA.mq5", "--data", host_path(csv), "--input", "MaxBars=0", "--dump-buffers",
                             "--visible-bars", "100000", *args)
        rows_shown = [line.split("\t")[9] for line in out.splitlines()
                      if line.startswith("object\tBarsightLegend;background;volume\t")]
        check("BarsightVSA.mq5 %s (%d signals)" % (what, len(vsaind(want))),
              code == 0 and codes_of(out) == sorted(vsaind(want)) and
              rows_shown == ([legend] if legend else []) and
              err.count("has no real volume") == (1 if csv == data else 0), "%s %s" % (rows_shown, err[-300:]))
    check("the real volume gives other signals than the tick volume", vsaind(as_real) != vsaind(data))
    code, out, err = run("BarsightVSA.mq5", "--data", host_path(data), "--input", "VolumeSource=2")
    check("BarsightVSA.mq5 VolumeSource=2 is refused by name", code != 0 and "VolumeSource must be 0" in out + err,
          "exit %d %s" % (code, err[-300:]))

# --- bad input: no signal, no failure --------------------------------------------
few = write_csv("few.csv", rows[:12])
zero = write_csv("zero.csv", [r[:5] + ["0"] for r in rows[:200]])
gaps = write_csv("gaps.csv", rows[0:300:7])
for name, csv in [("12 bars", few), ("zero volumes", zero), ("gaps in time", gaps)]:
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(csv))
    check("BarsightVSA on %s" % name, code == 0 and arrows(out) == vsaind(csv) and
          out.endswith("deinit\t0\n"), "exit %d %s" % (code, err[-300:]))
check("12 bars give no signal", arrows(run("BarsightVSA.mq4", "--data", host_path(few))[1]) == [])

# --- the other programs ----------------------------------------------------------------
code, out, err = run("BarsightVolume.mq4", "--data", host_path(data), "--new-bars", "5")
check("BarsightVolume runs", code == 0 and out == "deinit\t0\n", "exit %d %s" % (code, err[-300:]))

# BarsightVolume's up/down colouring, computed in MQL, against the plug-in's
# CalcVolumeColor called natively on the same bars: each bar from the third
# on is in exactly one buffer (0 low, 1 down, 2 up, 3 unchanged) holding its
# volume, the one CalcVolumeColor names; the first two bars are in none. On
# the sample and a real series (the S&P 500's days, volumes past 2^31), in
# both dialects. The pane imports nothing: it runs from a folder without
# any DLL, and alike with DLL imports switched off. An index off by one fails.
calc_volume_color = ctypes.CDLL(plugin).CalcVolumeColor
calc_volume_color.argtypes = [ctypes.c_double] * 5
calc_volume_color.restype = ctypes.c_int32
BUFFER_OF_COLOUR = {1: 0, 2: 1, 3: 2, 4: 3}  # low, down, up, unchanged
no_libraries = os.path.join(work, "no-libraries")
os.makedirs(no_libraries)


def runner_volume(text):
    """The tick volume the runner gives a bar of the file: the host's float,
    rounded to a whole number."""
    value = f32(text)
    return float(int(value + 0.5)) if value > 0 else 0.0


def volume_colour_problems(program, csv, *args, libs=None):
    """Where the pane's up/down buffers differ from CalcVolumeColor on `csv`."""
    file_rows = [line.rstrip("\n").split(",") for line in open(csv)][1:]
    code, out, err = run(program, "--data", host_path(csv), "--dump-buffers", *args, libs=libs)
    if code != 0:
        return ["exit %d %s" % (code, err[-300:])]
    got = {}
    for index, values in series.buffers(out).items():
        if index != 5:  # the histograms; 5 is the average line
            for date, value in values.items():
                got.setdefault(date, []).append((index, value))
    problems = []
    for t, row in enumerate(file_rows):
        have = got.get(row[0], [])
        if t < 2:
            if have:
                problems.append((row[0], "coloured", have))
            continue
        v0, v1, v2 = (runner_volume(file_rows[t - k][5]) for k in range(3))
        want = BUFFER_OF_COLOUR.get(calc_volume_color(v0, v1, v2, f32(row[4]), f32(file_rows[t - 1][4])))
        if len(have) != 1 or have[0][0] != want or not math.isclose(have[0][1], v0, rel_tol=1e-9):
            problems.append((row[0], have, want))
    return problems


real_series = subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                           "scripts", "real_data.py")],
                             capture_output=True, text=True, timeout=900)
sp500 = dict(line.split()[:2] for line in real_series.stdout.splitlines()).get("SP500")
check("the S&P 500's days from scripts/real_data.py", real_series.returncode == 0 and sp500 is not None,
      real_series.stderr.strip()[-300:])
volume_cases = [("the sample", data, [], None), ("the sample, no DLL in its folder", data, [], no_libraries),
                ("the sample, DLL imports off", data, ["--no-dlls"], None),
                ("50 new bars one at a time", data, ["--new-bars", "50"], None)]
if sp500:
    volume_cases.append(("the S&P 500", sp500, [], None))
for program in ["BarsightVolume.mq4"] + ([] if windows else ["BarsightVolume.mq5"]):
    for name, csv, args, libs in volume_cases:
        wrong = volume_colour_problems(program, csv, *args, libs=libs)
        check("%s on %s equals CalcVolumeColor bar by bar" % (program, name), not wrong, str(wrong[:3]))
closes = {r[0]: f32(r[4]) for r in rows}
dates = [r[0] for r in rows]

# The volume classes: volume against the average of the last 20 volumes
# (the bar's own included), with VSASpread's limits in units of 2/7 of the
# average: climax above 7 units (on a spread below 0.8 of the average
# spread climax churn, else climax up or down by the close against the
# previous close), high above 6 (narrow: churn), low at most 3 (narrow:
# low-volume churn), else normal. The average line is that same mean. Bars
# with fewer than 20 volumes behind them get nothing.
code, out, err = run("BarsightVolume.mq4", "--data", host_path(data), "--new-bars", "5", "--dump-buffers",
                     "--input", "Colouring=1")
got = series.buffers(out)
volumes = {r[0]: float(r[5]) for r in rows}
spreads = {r[0]: f32(r[2]) - f32(r[3]) for r in rows}
wrong, counted = [], {}
for t, date in enumerate(dates):
    histograms = [(b, got.get(b, {}).get(date)) for b in (0, 1, 2, 3, 4, 6, 7, 8) if date in got.get(b, {})]
    if t < 19:
        if histograms or date in got.get(5, {}):
            wrong.append((date, "coloured early", histograms))
        continue
    window = dates[t - 19:t + 1]
    average = sum(volumes[d] for d in window) / 20
    average_spread = sum(spreads[d] for d in window) / 20
    unit = average * 2.0 / 7.0
    v = volumes[date]
    high_volume, climax = v > unit * 6.0, v > unit * 7.0
    narrow = spreads[date] < 0.8 * average_spread
    up = t > 0 and closes[date] > closes[dates[t - 1]]
    if climax:
        want = 7 if narrow else 3 if up else 6
    elif high_volume:
        want = 4 if narrow else 2
    else:
        want = (8 if narrow else 0) if v <= unit * 3.0 else 1
    counted[want] = counted.get(want, 0) + 1
    if histograms != [(want, v)] or abs(got.get(5, {}).get(date, -1) - average) > 1e-6 * average:
        wrong.append((date, histograms, want, got.get(5, {}).get(date), average))
check("BarsightVolume's volume classes and average bar by bar (%s)" % sorted(counted.items()),
      code == 0 and not wrong and len(counted) >= 7, str(wrong[:3]))
code, out, err = run("BarsightVolume.mq4", "--data", host_path(data), "--input", "Colouring=2")
check("BarsightVolume refuses an unknown colouring", code == 1 and "Colouring must be 0" in err, err[-200:])

# --- the sample Expert Advisor: BarsightVSA through iCustom -------------------------
# On each new bar it reads the confirmed code at shift 2 from a hidden copy
# of the indicator (its own OnInit and reference count, nothing drawn) and
# prints what it would do; that copy is fed linearly too.
code, out, err = run("BarsightVSAExample.mq4", "--data", host_path(data), "--new-bars", "60", "--ticks", "2",
                     "--log-imports")
printed = re.findall(r"^SAMPLE (\d{4})\.(\d\d)\.(\d\d) 00:00: ([A-Za-z ]+) \((-?\d+)\) confirmed: would (buy|sell)$",
                     err, re.M)
got = [("%s-%s-%s" % (y, m, d), int(c), side) for y, m, d, _, c, side in printed]
all_codes = dict(vsaind_all(data))
# Bars confirmed before it started are history: the first look is at the
# first new bar.
want = [(rows[n - 3][0], all_codes[rows[n - 3][0]], "buy" if all_codes[rows[n - 3][0]] > 0 else "sell")
        for n in range(len(rows) - 60 + 1, len(rows) + 1) if all_codes[rows[n - 3][0]] != 0]
names = [re.match(r"import: (\w+)", l).group(1) for l in err.splitlines() if l.startswith("import: ")]
calls = names.count("AnalysePosn")
check("the sample Expert Advisor prints each confirmed signal at shift 2 (%d)" % len(want),
      code == 0 and got == want and want and "order:" not in err and out == "deinit\t0\n",
      "exit %d %s != %s %s" % (code, got[:3], want[:3], err[-300:]))
check("its hidden BarsightVSA opens one engine instance, counts itself once and costs two calls a bar (%d)" % calls,
      names.count("AddToChartEx") == 1 and names.count("RemoveFromChart") == 1 and
      names.count("IncRefCount") == names.count("DecRefCount") == 1 and calls <= len(rows) - 60 - 1 + 2 * 60)
# After a gap (7 bars at once) only the newest confirmed signal no older
# than MaxSignalAge bars is acted on: trading every missed signal at
# today's price is the fault this guards against.
def newest_in_gaps(age, arrive=7):
    acted, n = [], len(rows) - 60
    while n < len(rows):
        step = min(arrive, len(rows) - n)
        n += step
        for shift in range(2, min(step + 1, age + 1) + 1):
            day = rows[n - 1 - shift][0]
            if all_codes[day] != 0:
                acted.append((day, all_codes[day], "buy" if all_codes[day] > 0 else "sell"))
                break
    return acted


for age in (1, 7):
    code, out, err = run("BarsightVSAExample.mq4", "--data", host_path(data), "--new-bars", "60", "--arrive", "7",
                         "--ticks", "1", "--input", "MaxSignalAge=%d" % age)
    got_burst = [("%s-%s-%s" % (y, m, d), int(c), side) for y, m, d, _, c, side in re.findall(
        r"^SAMPLE (\d{4})\.(\d\d)\.(\d\d) 00:00: ([A-Za-z ]+) \((-?\d+)\) confirmed: would (buy|sell)$", err, re.M)]
    expected_burst = newest_in_gaps(age)
    check("bars arriving 7 at a time, MaxSignalAge=%d: only the newest confirmed signal of each gap (%d)"
          % (age, len(expected_burst)), code == 0 and got_burst == expected_burst and
          (age > 1 or len(expected_burst) < len(want)), "%s != %s" % (got_burst[:4], expected_burst[:4]))
# --- the example's orders on the runner's trade server --------------------------------
# One position a side by magic number: a signal the way it holds places
# nothing; one the other way closes what it holds (oldest first), then
# opens. Events: ("order"|"close", side) as the server prints them.
def trade_events(err):
    return re.findall(r"^(order|close): (?:#\d+ )?(buy|sell) SAMPLE ", err, re.M)


def held_events(signals):
    held, events = None, []
    for side in signals:
        if side != held:
            events += ([("close", held)] if held else []) + [("order", side)]
            held = side
    return events


trading = ["--data", host_path(data), "--new-bars", "60", "--input", "Trade=true"]
expected_events = held_events([w[2] for w in want])
for ext in DIALECTS:
    code, out, err = run("BarsightVSAExample" + ext, *trading)
    check("example%s: one position a side by magic number, the other side closed first (%d signals, %d events)"
          % (ext, len(want), len(expected_events)),
          code == 0 and trade_events(err) == expected_events and len(expected_events) < len(want) and
          "already " in err, "exit %d %s != %s %s" % (code, trade_events(err)[:4], expected_events[:4], err[-300:]))
    # Slippage in pips: ten points a pip on 3- and 5-digit quotes.
    for digits, points in ((5, 30), (4, 3), (3, 30), (2, 3)):
        code, out, err = run("BarsightVSAExample" + ext, *trading, "--digits", str(digits))
        slips = set(re.findall(r"^order: .* slippage (\d+) ", err, re.M))
        check("example%s: 3 pips on a %d-digit quote are %d points" % (ext, digits, points),
              code == 0 and slips == {str(points)}, "exit %d %s %s" % (code, slips, err[-200:]))
    # Requotes: sent again at fresh prices, at most three times.
    code, out, err = run("BarsightVSAExample" + ext, *trading, "--requotes", "2", "--count-calls")
    check("example%s: two requotes, then the order goes through (fresh prices)" % ext,
          code == 0 and trade_events(err) == expected_events, "exit %d %s" % (code, err[-300:]))
    if ext == ".mq4":
        # MetaTrader 4 answers a busy trade context (146) or a requote until
        # a moment has passed: each try after the first follows a pause
        # (the runner's Sleep only moves its clock).
        pauses = re.findall(r"^calls\tSleep\t(\d+)$", err, re.M)
        check("example.mq4: a pause before each of the two tries after a requote (%s)" % pauses,
              pauses == ["2"], err[-300:])
        code, out, err = run("BarsightVSAExample.mq4", *trading, "--count-calls")
        check("example.mq4: no pause without a requote", code == 0 and "calls\tSleep\t" not in err, err[-300:])
    code, out, err = run("BarsightVSAExample" + ext, *trading, "--requotes", "3")
    said = "OrderSend failed, error 138 (tried 3 times)" if ext == ".mq4" else "OrderSend failed, retcode 10004 (Requote)"
    check("example%s: three requotes, it gives up on that order, says so once and trades on" % ext,
          code == 0 and err.count(said) == 1 and trade_events(err) == held_events([w[2] for w in want][1:]),
          err[-300:])
    # FIFO: its two longs closed oldest first before the first sell; with
    # an older long of another advisor open it may close nothing, and then
    # it never sells beside its long (a hedge the account refuses).
    mine = ["--position", "buy,0.1,20250", "--position", "buy,0.2,20250"]
    code, out, err = run("BarsightVSAExample" + ext, *trading, "--fifo", *mine)
    closes = re.findall(r"^close: #(\d+) buy", err, re.M)
    first_sell = next((i for i, e in enumerate(trade_events(err)) if e == ("order", "sell")), -1)
    check("example%s on a FIFO account: its longs closed oldest first (%s), then it sells" % (ext, closes[:2]),
          code == 0 and closes[:2] == ["1", "2"] and first_sell == 2 and "refused" not in err and
          "FIFO close" not in err, "exit %d %s" % (code, err[-400:]))
    code, out, err = run("BarsightVSAExample" + ext, *trading, "--fifo", "--position", "buy,0.5,777",
                         "--position", "buy,0.1,20250")
    check("example%s on a FIFO account: an older long of another advisor open, it never sells beside its own" % ext,
          code == 0 and ("order", "sell") not in trade_events(err) and "are not all closed: no sell order" in err and
          "hedging prohibited" not in err and "Hedge prohibited" not in err, "exit %d %s" % (code, err[-400:]))
if ".mq5" in DIALECTS:
    # A netting account: a sell against the long closes it by its ticket,
    # then opens the short (a sell of the same size alone would only close
    # it); the symbol's one position of another advisor is left alone.
    code, out, err = run("BarsightVSAExample.mq5", *trading, "--netting")
    held = re.findall(r"^position: #\d+ (buy|sell) SAMPLE (\S+) magic 20250$", err, re.M)
    check("example.mq5 on a netting account: the long closed, then the short opened (%d events)" % len(expected_events),
          code == 0 and trade_events(err) == expected_events and held == [(expected_events[-1][1], "0.1")],
          "exit %d %s %s" % (code, held, err[-300:]))
    for account, traded in (("--netting", False), ("--hedging", True)):
        code, out, err = run("BarsightVSAExample.mq5", *trading, "--position", "buy,0.5,777",
                             *([account] if account == "--netting" else []))
        kept = "position: #1 buy SAMPLE 0.5 magic 777" in err
        check("example.mq5 on a %s account with another advisor's long: %s" %
              (account[2:], "trades beside it" if traded else "places nothing, says why"),
              code == 0 and kept and (trade_events(err) == expected_events if traded else
                                      not trade_events(err) and "is not this advisor's (magic 777)" in err),
              "exit %d %s" % (code, err[-300:]))

# --- the watchlist scanner: each row against VSAInd on that symbol's file -----------
# Three symbols on dates of their own; the chart is the first. Each other
# symbol is read up to the chart's newest bar, its last bar then forming.
symbols = [("EURUSD", random_walk("eurusd.csv", 700, 21)), ("GBPUSD", random_walk("gbpusd.csv", 760, 22)),
           ("USDJPY", random_walk("usdjpy.csv", 640, 23))]
chart_last = [line.split(",")[0] for line in open(symbols[0][1])][-1]


def scan_text(code, width):
    """A signal as a scanner's column of `width` shows it: name and code in
    at most width - 2 characters, a long name cut and ending in "~"."""
    if code == 0:
        return "-"
    name, tail = dict((r[0], r[1]) for r in SIGNALS)[code], " (%d)" % code
    if len(name) + len(tail) > width - 2:
        name = name[:width - 3 - len(tail)] + "~"
    return name + tail


def scanner_row(symbol, csv, last=None):
    """The row the scanner shows for `symbol` on D1, from VSAInd on its
    file read up to the chart's newest bar (`last`, the first symbol's)."""
    visible = [line.rstrip("\n").split(",") for line in open(csv)][1:]
    visible = [r for r in visible if r[0] <= (last or chart_last)]
    codes = vsaind_all(write_csv("seen_" + symbol + ".csv", visible))
    n = len(codes)
    confirmed = next(((c, n - 1 - i) for i, (_, c) in reversed(list(enumerate(codes[:n - 2]))) if c != 0), (0, -1))
    return [symbol, "D1", scan_text(confirmed[0], 22), str(confirmed[1]) if confirmed[1] > 0 else "-",
            scan_text(codes[n - 2][1], 21)]


data_args = []
for symbol, csv in symbols:
    data_args += ["--data", "%s=%s" % (symbol, host_path(csv))]
code, out, err = run("BarsightScanner.mq4", *data_args, "--input", "ScanBars=0", "--new-bars", "3",
                     "--click", "BarsightScan;row;2")
table = {}
for line in out.splitlines():
    parts = line.split("\t")
    if parts[0] == "object" and parts[1].startswith("BarsightScan;row;"):
        text = re.split(r"\s{2,}", parts[9].strip())
        table[int(parts[1].rsplit(";", 1)[1])] = text
want = {i: scanner_row(symbol, csv) for i, (symbol, csv) in enumerate(symbols)}
check("the scanner's rows on three symbols equal VSAInd on each file (%s)" % [w[2] for w in want.values()],
      code == 0 and table == want and out.endswith("deinit\t0\n"), "exit %d %s != %s %s" % (code, table, want, err[-200:]))
check("a click on a row opens that symbol's chart", "chart opened: USDJPY 1440" in err, err[-200:])
# The scanner's cost per call: OnCalculate only lays the rows out, the timer
# scans RowsPerSlice rows a slice (the runner fires it once after each
# calculation, then every 100 ms with --seconds), and a row whose symbol
# closed no bar since keeps its result without an engine call.
def scanned_rows(out):
    found = {}
    for line in out.splitlines():
        parts = line.split("\t")
        if parts[0] == "object" and parts[1].startswith("BarsightScan;row;"):
            found[int(parts[1].rsplit(";", 1)[1])] = re.split(r"\s{2,}", parts[9].strip())
    return found


def engine_calls(err):
    return sum(1 for line in err.splitlines() if line.startswith("import: AnalyseSeries("))


# STALE ends before the chart's newest bars: it has no new closed bar while
# the chart gets three.
stale = write_csv("stale.csv", [line.rstrip("\n").split(",") for line in open(symbols[0][1])][1:690])
for ext in DIALECTS:
    code, out, err = run("BarsightScanner" + ext, *data_args, "--input", "ScanBars=0", "--input", "RowsPerSlice=1",
                         "--log-imports")
    code_all, out_all, _ = run("BarsightScanner" + ext, *data_args, "--input", "ScanBars=0",
                               "--input", "RowsPerSlice=1", "--seconds", "1")
    check("scanner%s: one timer slice scans RowsPerSlice rows (1 row, %d engine calls), the next slices the rest"
          % (ext, engine_calls(err)),
          code == 0 and list(scanned_rows(out)) == [0] and engine_calls(err) == 1 and
          code_all == 0 and scanned_rows(out_all) == want, "exit %d/%d %s %s" % (code, code_all, out[-300:], err[-200:]))
    code, out, err = run("BarsightScanner" + ext, "--data", "EURUSD=" + host_path(symbols[0][1]),
                         "--data", "STALE=" + host_path(stale), "--input", "ScanBars=0", "--new-bars", "3",
                         "--log-imports")
    rows = scanned_rows(out)
    # Two rows at the first pass, then the chart's row alone at each of its
    # three new bars.
    check("scanner%s: a row without a new closed bar costs no engine call (%d calls)" % (ext, engine_calls(err)),
          code == 0 and engine_calls(err) == 2 + 3 and len(rows) == 2 and rows[0] == want[0] and
          rows[1][0] == "STALE" and "no data" not in rows[1], "exit %d %s %s" % (code, rows, err[-200:]))
# MetaTrader 5's VolumeSource: each row takes the volume BarsightVSA takes
# (the file's seventh column, real.csv above), chosen once per row's
# history and said in its tooltip; a symbol without real volume takes tick
# volume, said once however often its row is scanned again.
if ".mq5" in DIALECTS:
    real_last = real_rows[-1][0]
    for what, csv, args, want_csv, tip, said in [
            ("VolumeSource=1 takes the real volume", real_csv, ["--input", "VolumeSource=1"], as_real,
             "Click to open SAMPLE D1 (volume: real)", 0),
            ("VolumeSource=0 takes the tick volume", real_csv, [], data, "Click to open SAMPLE D1", 0),
            ("VolumeSource=1 without real volume takes the tick volume", data, ["--input", "VolumeSource=1"], data,
             "Click to open SAMPLE D1 (volume: tick, no real volume)", 1)]:
        code, out, err = run("BarsightScanner.mq5", "--data", host_path(csv), "--input", "ScanBars=0",
                             "--new-bars", "3", *args)
        shown = scanned_rows(out)
        tips = [line.split("\t")[3] for line in out.splitlines() if line.startswith("object\tBarsightScan;row;")]
        expected = scanner_row("SAMPLE", want_csv, real_last)
        check("scanner.mq5 %s (%s)" % (what, expected[2:]),
              code == 0 and shown == {0: expected} and set(tips) == {tip} and
              err.count("SAMPLE has no real volume") == said, "exit %d %s %s %s" % (code, shown, tips, err[-300:]))
    check("the scanner's row on the real volume differs from the one on the tick volume",
          scanner_row("SAMPLE", as_real, real_last) != scanner_row("SAMPLE", data, real_last))
    code, out, err = run("BarsightScanner.mq5", "--data", host_path(data), "--input", "VolumeSource=2")
    check("BarsightScanner.mq5 VolumeSource=2 is refused by name", code != 0 and "VolumeSource must be 0" in out + err,
          "exit %d %s" % (code, err[-300:]))

code, out, err = run("BarsightScanner.mq4", *data_args, "--input", "Symbols= usdjpy ,GBPUSD,NOSUCH",
                     "--input", "Timeframes=D1,h4,X9")
rows_text = [line.split("\t")[9] for line in out.splitlines() if line.startswith("object\tBarsightScan;row;")]
check("a Symbols and Timeframes list: unknown symbols say no data, unknown timeframes are named",
      code == 0 and len(rows_text) == 6 and rows_text[0].startswith("usdjpy     D1   no data") and
      rows_text[2].startswith("GBPUSD     D1   ") and "no data" not in rows_text[2] and
      rows_text[3].startswith("GBPUSD     H4   no data") and rows_text[5].endswith("no data") and
      "'X9' is no timeframe" in err, str(rows_text))

for script in ("BarsightTableAndHelp.mq4", "BarsightTooltips.mq4"):
    code, out, err = run(script, "--data", host_path(few))
    if windows:
        check("%s runs" % script, code == 0 and out == "deinit\t0\n", "exit %d %s" % (code, err[-400:]))
    else:
        check("%s is refused natively (5)" % script, code == 5 and "32-bit" in err, "exit %d" % code)
if windows:
    code, out, err = run("BarsightTableAndHelp.mq4", "--data", host_path(few))
    check("BarsightTableAndHelp prints the table and the UTC time",
          re.search(r"bar 4: VSA 3 conf 40 at \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} Z", err) is not None,
          err[-300:])
    code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), "--input", "HelpOnHover=true",
                         "--log-imports")
    names = [re.match(r"import: (\w+)", l).group(1) for l in err.splitlines() if l.startswith("import: ")]
    hooked = re.search(r"^import: SubclassWindow\(.*\) = ([1-9]\d*)$", err, re.M) is not None
    # Without a display there is no chart window to hook: the indicator says
    # so and carries on with clicks only.
    check("HelpOnHover hooks the chart window (%s) and OnDeinit unhooks it" % ("hooked" if hooked else "no window"),
          code == 0 and names.count("SubclassWindow") == 1 and
          (names.count("UnsubclassWindow") == 1 and "GetFromQueue" in names if hooked else
           "help opens on a click only" in err and "UnsubclassWindow" not in names), err[-400:])

# --- DLL imports switched off ---------------------------------------------------------
# MetaTrader 4 starts a program and stops it at its first DLL call
# ("DLL calls are not allowed"); MetaTrader 5 does not load a program that
# has imports. Each kit program that imports the DLL asks first: it says so
# once, as an alert and in the log, with where to switch DLL calls on, and
# its OnInit fails (a script ends) before any DLL call.
SWITCH_ON = ("DLL calls are not allowed, and it needs BarsightPlugin.dll. Switch on \"Allow DLL imports\" in "
             "Tools > Options > Expert Advisors, or on the program's Common tab.")
for name, script in [("BarsightVSA", False), ("BarsightScanner", False), ("BarsightVSAExample", False),
                     ("BarsightTableAndHelp", True), ("BarsightTooltips", True)]:
    code, out, err = run(name + ".mq4", "--data", host_path(data), "--no-dlls")
    said = "%s: %s" % (name, SWITCH_ON)
    told = err.count("alert: " + said) == 1 and err.splitlines().count(said) == 1
    stopped = (code == 0 and out == "deinit\t0\n") if script else \
        (code == 1 and out == "" and "OnInit of %s.mq4 failed (1)" % name in err)
    check("%s.mq4 with DLL imports off says so once and %s" % (name, "ends" if script else "fails OnInit"),
          told and stopped and "DLL calls are not allowed;" not in err, "exit %d %s" % (code, err[-400:]))
    if not windows:
        code, out, err = run(name + ".mq5", "--data", host_path(data), "--no-dlls")
        check("%s.mq5 with DLL imports off is not loaded" % name,
              code == 3 and out == "" and "%s.mq5 imports BarsightPlugin.dll, and DLL loading is not allowed" % name
              in err, "exit %d %s" % (code, err[-300:]))
# A program that calls an import without asking is stopped at that call.
code, out, err = run("CheckStack.mq4", "--data", host_path(few), "--input", "Correct=true", "--no-dlls")
check("with DLL imports off the first DLL call stops the program: exit 1",
      code == 1 and "DLL calls are not allowed; 'Spreadcore.dll'-'RemoveFromChart'" in err and "matching" not in err,
      "exit %d %s" % (code, err[-300:]))

# --- the runner's own checks: a wrong declaration, the built-ins --------------------
code, out, err = run("CheckStack.mq4", "--data", host_path(few), "--input", "Correct=true")
check("matching declarations leave the stack as it was", code == 0 and "matching: 0" in err,
      "exit %d %s" % (code, err[-300:]))
code, out, err = run("CheckStack.mq4", "--data", host_path(few))
if windows:
    check("a declaration with an extra int: exit 4 naming the import",
          code == 4 and "stack mismatch after BarsightPlugin.dll SignFilter" in err and out == "",
          "exit %d %s" % (code, err[-300:]))
else:
    check("natively a call cannot unbalance the stack", code == 0, "exit %d" % code)
code, out, err = run("CheckRuntime.mq4", "--data", host_path(few), "--input", "Index=2")
expected = ["series[0]=3.5 size=3", "copied=8 back=Caf\u00e9 ok", "time=2024.03.01 09:05",
            "find=0 -1", "int=-42 double=0.6667", "n=7;0.25", "global=7.25 false", "value=1.5"]
check("the built-ins (series order, code page round trip, time text, globals)",
      code == 0 and err.splitlines() == expected, err)
code, out, err = run("CheckRuntime.mq4", "--data", host_path(few), "--input", "Index=3")
check("an index out of range stops the program: exit 1",
      code == 1 and "array out of range (index 3, size 3)" in err and "value=" not in err, err[-300:])

# An indicator read through iCustom that stops in its OnInit stops the run
# (exit 1), and the run still ends cleanly (no crash on the way out).
code, out, err = run("CheckNested.mq4", "--data", host_path(few))
check("a hidden indicator stopping in OnInit: exit 1, a clean end",
      code == 1 and "array out of range (index 1, size 1)" in err and "copy " not in err,
      "exit %d %s" % (code, err[-300:]))

# --- a missing DLL, a bad command line -------------------------------------------
partial = os.path.join(work, "libs")
os.makedirs(partial)
for name in os.listdir(libraries):
    if "spreadcore" not in name.lower() and re.search(r"\.(dll|so)$", name, re.I):
        shutil.copy(os.path.join(libraries, name), partial)
code, out, err = run("BarsightVSA.mq4", "--data", host_path(data), libs=partial)
check("without Spreadcore.dll: exit 3 naming it", code == 3 and "Spreadcore.dll" in err and out == "",
      "exit %d %s" % (code, err[-300:]))
for name, args, expected in [
        ("an unknown program", ["Nothing.mq4", "--data", host_path(data)], 2),
        ("an unknown input", ["BarsightVSA.mq4", "--data", host_path(data), "--input", "Nope=1"], 2),
        ("a bad input value", ["BarsightVSA.mq4", "--data", host_path(data), "--input", "MaxBars=x"], 2),
        ("too many new bars", ["BarsightVSA.mq4", "--data", host_path(few), "--new-bars", "12"], 2),
        ("a missing data file", ["BarsightVSA.mq4", "--data", host_path(work + "/none.csv")], 2)]:
    code, out, err = run(*args)
    check("%s: exit %d" % (name, expected), code == expected and out == "", "exit %d %s" % (code, err))

shutil.rmtree(work, ignore_errors=True)
if failures:
    sys.exit("mql4run: %d checks failed: %s" % (len(failures), ", ".join(failures)))
print("mql4run: all checks passed")
