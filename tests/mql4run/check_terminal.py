#!/usr/bin/env python3
"""The kit against the terminal as it behaves on a trader's machine: each
case plants one behaviour mql4run models (the notification limits, MetaTrader
4's 63-character labels, MetaTrader 5's ObjectCreate on a name in use, data
still loading, a white chart, a high-DPI screen, the Data Window, lot terms)
and checks that the kit's programs come through it whole.

usage: check_terminal.py MQL4RUN LIBRARIES DATA"""
import datetime
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import series  # noqa: E402

runner, libraries, data = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="mql-terminal-")
failures = []


def run(program, *args):
    done = subprocess.run([runner, program, "--libraries", libraries] + list(args), capture_output=True, text=True,
                          timeout=600)
    return done.returncode, done.stdout, done.stderr


def check(name, condition, detail=""):
    print("terminal: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


def objects(stdout):
    """{name: the object line's fields} of what a run leaves on the chart."""
    return {parts[1]: parts for parts in (line.split("\t") for line in stdout.splitlines())
            if parts[0] == "object" and len(parts) == 10}


def luminance(rgb):
    def channel(c):
        c /= 255.0
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (int(rgb[i:i + 2], 16) for i in (1, 3, 5))
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)))
    return (lb + 0.05) / (la + 0.05)


def signals_in(line):
    """The signals an alert or notification line carries: each listed, or
    "N signals (see the alert window)" when they did not fit."""
    counted = re.search(r": (\d+) signals \(see the alert window\)", line)
    return int(counted.group(1)) if counted else line.count(": ") - (line.startswith(("alert: ", "notification: ")))


walk = series.random_walk(work, "walk.csv", 3000, 5, datetime.date(2000, 1, 3), 300, 0.6)
other = series.random_walk(work, "other.csv", 2500, 8, datetime.date(2001, 1, 2), 300, 0.6)

# --- notifications: 2 a second, 10 a minute, for the whole terminal --------------
# A reconnection brings 200 bars at once; three copies on one chart alert on
# the same bars. The runner ends a run that sends past the limits.
for what, args in [
        ("200 bars at once", ["--new-bars", "200", "--arrive", "200"]),
        ("three copies, a bar at a time", ["--new-bars", "120", "--copies", "3", "--copy-input", "Periods=5"]),
        ("three copies, 20 bars at a time", ["--new-bars", "120", "--arrive", "20", "--copies", "3"]),
        ("three copies on M1, a bar a minute", ["--new-bars", "120", "--copies", "3", "--period", "1",
                                                "--copy-input", "Periods=5"])]:
    for ext in (".mq4", ".mq5"):
        code, out, err = run("BarsightVSA" + ext, "--data", walk, "--input", "AlertOnSignal=true",
                             "--seconds", "120", *args)
        alerts = [line for line in err.splitlines() if line.startswith("alert: ")]
        sent = [line for line in err.splitlines() if line.startswith("notification: ")]
        check("%s%s: alerts and notifications within the terminal's limits (%d alerts, %d notifications)"
              % (what, ext, len(alerts), len(sent)),
              code == 0 and alerts and sent and len(sent) <= len(alerts) and
              sum(map(signals_in, sent)) == sum(map(signals_in, alerts)) and
              all(len(line) - len("notification: ") <= 255 for line in sent), err[-300:])
code, out, err = run("BarsightVSA.mq4", "--data", walk, "--input", "AlertOnSignal=true", "--new-bars", "200",
                     "--arrive", "200")
alerts = [line for line in err.splitlines() if line.startswith("alert: ")]
parts = alerts[0][len("alert: SAMPLE "):].split("; ") if len(alerts) == 1 else []
check("a calculation's signals in one alert, oldest first (%d signals)" % len(parts),
      len(alerts) == 1 and len(parts) > 3 and parts == sorted(parts), str(alerts)[:300])
code, out, err = run("BarsightVSA.mq4", "--data", walk, "--input", "AlertOnSignal=true", "--new-bars", "50",
                     "--no-notifications")
check("notifications switched off: alerts only", code == 0 and "alert: " in err and "notification: " not in err,
      err[-300:])

# --- MetaTrader 4 shows 63 characters of a label -----------------------------------
long_names = ["--data", "EURUSD.micro_x=" + walk, "--data", "XAUUSD.pro.ecn.raw=" + other, "--data", "US30=" + other]
for ext in (".mq4", ".mq5"):
    code, out, err = run("BarsightScanner" + ext, *long_names, "--input", "ScanBars=0")
    rows = [parts[9] for name, parts in objects(out).items() if name.startswith("BarsightScan;")]
    # Every row whole: its last column a signal with its code, "-" or "no data", never cut.
    whole = [r for r in rows[1:] if re.search(r"(\(-?\d+\)|  -|no data)$", r)]
    check("scanner rows with long symbols fit 63 characters%s (longest %d), every column whole" %
          (ext, max(map(len, rows or [""]))),
          code == 0 and len(rows) == 4 and all(len(r) <= 63 for r in rows) and len(whole) == 3 and
          any(r.startswith("XAUUSD.pr~ ") for r in rows), str(rows) + err[-300:])
    code, out, err = run("BarsightScanner" + ext, *long_names, "--input", "ScanBars=0", "--count-calls")
    counted = dict((l.split("\t")[1], int(l.split("\t")[2])) for l in err.splitlines() if l.startswith("calls\t"))
    check("scanner%s: one CopyRates per row, no i* reads (%s)" % (ext, counted),
          code == 0 and counted.get("CopyRates") == 3 and
          not any(counted.get(n) for n in ("iOpen", "iHigh", "iLow", "iClose", "iVolume", "iBars")), err[-300:])

# --- MetaTrader 5: ObjectCreate on a name in use moves that object ----------------------
# Two copies on one chart (other inputs); either removed first leaves the
# other's arrows exactly as it drew them alone.
def arrows_of(stdout, prefix):
    return sorted((re.sub(r"^Barsight\d*;", "Barsight;", name), parts[2], parts[5], parts[7])
                  for name, parts in objects(stdout).items() if re.match(prefix, name))


code, alone, _ = run("BarsightVSA.mq5", "--data", walk, "--input", "Periods=14")
expected = arrows_of(alone, r"Barsight;")
for removed in (1, 2):
    code, out, err = run("BarsightVSA.mq5", "--data", walk, "--copies", "2", "--copy-input", "Periods=14",
                         "--remove-copy", str(removed))
    kept = arrows_of(out, r"Barsight2;") if removed == 1 else []
    if removed == 2:
        code_a, first_alone, _ = run("BarsightVSA.mq5", "--data", walk)
        kept, expected_here = arrows_of(out, r"Barsight;"), arrows_of(first_alone, r"Barsight;")
    else:
        expected_here = expected
    check("two copies on one chart, copy %d removed first: the other keeps its own %d arrows" % (removed, len(kept)),
          code == 0 and kept == expected_here and kept and out.endswith("deinit\t0\n"), err[-300:])

# --- reinits: a symbol switch in either order, new inputs --------------------------------
# What stays on the chart is what a fresh copy on the new symbol (with the
# new inputs) draws, whichever instance MetaTrader ends first.
def drawn(stdout):
    return sorted((re.sub(r"^Barsight(Legend)?\d*;", r"Barsight\1;", name), p[2], p[5], p[6], p[8])
                  for name, p in objects(stdout).items() if not name.startswith("BarsightCopy;"))


for ext in (".mq4", ".mq5"):
    code, fresh, _ = run("BarsightVSA" + ext, "--data", other)
    for order in ("--reinit", "--reinit-new-first"):
        code, out, err = run("BarsightVSA" + ext, "--data", walk, "--data", "OTHER=" + other, order, "chartchange",
                             "--reinit-symbol", "OTHER")
        check("BarsightVSA%s switched to another symbol (%s): the new symbol's arrows only" % (ext, order),
              code == 0 and drawn(out) == drawn(fresh) and drawn(fresh) and out.endswith("deinit\t0\n"),
              "%d objects, %d expected %s" % (len(drawn(out)), len(drawn(fresh)), err[-200:]))
    # A timeframe switch: D1 to H4, the H4 bars another file's.
    code, fresh, _ = run("BarsightVSA" + ext, "--data", other, "--period", "240")
    for order in ("--reinit", "--reinit-new-first"):
        code, out, err = run("BarsightVSA" + ext, "--data", walk, "--data", "H4=" + other, order, "chartchange",
                             "--reinit-symbol", "H4", "--reinit-period", "240")
        check("BarsightVSA%s switched from D1 to H4 (%s): the H4 arrows only" % (ext, order),
              code == 0 and drawn(out) == drawn(fresh) and drawn(fresh), err[-200:])
    code, fresh, _ = run("BarsightVSA" + ext, "--data", walk, "--input", "Periods=14")
    code, out, err = run("BarsightVSA" + ext, "--data", walk, "--reinit", "parameters", "--reinit-input", "Periods=14")
    check("BarsightVSA%s with new inputs: the new inputs' arrows only" % ext,
          code == 0 and drawn(out) == drawn(fresh) and drawn(fresh), err[-200:])

# --- data not ready: the terminal loads another symbol on the first requests ----------
for ext in (".mq4", ".mq5"):
    code, out, err = run("BarsightScanner" + ext, "--data", walk, "--data", "OTHER=" + other, "--not-ready", "2",
                         "--seconds", "30")
    rows = [parts[9] for name, parts in objects(out).items() if name.startswith("BarsightScan;row;")]
    check("scanner%s: rows without data at first are scanned again until they have it" % ext,
          code == 0 and len(rows) == 2 and not any("no data" in r for r in rows), str(rows))
code, out, err = run("BarsightVSAExample.mq5", "--data", walk, "--new-bars", "40", "--not-ready", "5")
waits = err.count("waiting for BarsightVSA to calculate")
check("the MQL5 example says once that BarsightVSA has not calculated yet (%d), then reads it" % waits,
      code == 0 and waits == 1 and "BarsightVSA has calculated" in err and "confirmed: would" in err, err[-400:])
# BarsightVSA also lags each new bar by a call: the example waits for it
# (the next tick) and acts on the same signals as without the lag.
acted = lambda e: re.findall(r"^SAMPLE .* confirmed: would \w+$", e, re.M)  # noqa: E731
code, _, plain = run("BarsightVSAExample.mq5", "--data", walk, "--new-bars", "60", "--ticks", "1")
code_lag, _, lagged = run("BarsightVSAExample.mq5", "--data", walk, "--new-bars", "60", "--ticks", "1",
                            "--not-ready", "1")
check("the MQL5 example with BarsightVSA a bar behind acts on the same signals (%d)" % len(acted(plain)),
      code == 0 and code_lag == 0 and acted(lagged) == acted(plain) and acted(plain), lagged[-300:])
# A symbol typed in that the Market Watch does not show yet.
for ext in (".mq4", ".mq5"):
    code, out, err = run("BarsightScanner" + ext, "--data", walk, "--data", "OTHER=" + other, "--hidden-symbol", "OTHER",
                         "--input", "Symbols=OTHER")
    rows = [parts[9] for name, parts in objects(out).items() if name.startswith("BarsightScan;row;")]
    check("scanner%s: a symbol typed in is added to the Market Watch and scanned" % ext,
          code == 0 and len(rows) == 1 and "no data" not in rows[0], str(rows))

# --- orders the server takes: lots by the symbol's step, minimum and maximum ------------
for ext in (".mq4", ".mq5"):
    code, out, err = run("BarsightVSAExample" + ext, "--data", walk, "--new-bars", "200", "--input", "Trade=true",
                         "--input", "Lots=0.127")
    sizes = set(re.findall(r"^order: (?:buy|sell) SAMPLE (\S+) at ", err, re.M))
    check("example%s: 0.127 lots go as 0.12 (the step 0.01)" % ext,
          code == 0 and sizes == {"0.12"} and "failed" not in err, err[-300:])
    # The runner's symbol takes 0.01 to 100 lots: a size outside is refused
    # with a message, never cut to the maximum.
    for lots, said in (("0.001", "Lots 0.001 is below the symbol's minimum lot (0.01 to 100"),
                       ("-1", "Lots -1 is below the symbol's minimum lot"),
                       ("0", "Lots 0 is below the symbol's minimum lot"),
                       ("100.5", "Lots 100.5 is above the symbol's maximum lot (0.01 to 100"),
                       ("1e308", "Lots 1e+308 is above the symbol's maximum lot")):
        code, out, err = run("BarsightVSAExample" + ext, "--data", walk, "--new-bars", "200", "--input", "Trade=true",
                             "--input", "Lots=" + lots)
        check("example%s: Lots=%s is no order, and says why" % (ext, lots),
              code == 0 and "order: " not in err and said in err and "no order" in err, err[-300:])
    code, out, err = run("BarsightVSAExample" + ext, "--data", walk, "--new-bars", "200", "--input", "Trade=true",
                         "--input", "Lots=100")
    sizes = set(re.findall(r"^order: (?:buy|sell) SAMPLE (\S+) at ", err, re.M))
    check("example%s: the maximum itself is an order" % ext, code == 0 and sizes == {"100"}, err[-300:])
# The trade server's answer, not OrderSend's true, says what became of an order.
for reply, said in (("10004", "OrderSend failed, retcode 10004 (Requote)"),
                    ("10010", "order partly filled: 0.05 of 0.10 lots")):
    code, out, err = run("BarsightVSAExample.mq5", "--data", walk, "--new-bars", "200", "--input", "Trade=true",
                         "--trade-reply", reply)
    check("example.mq5: a server reply %s is told: %s" % (reply, said), code == 0 and said in err, err[-300:])

# --- a white chart, a 150% screen ----------------------------------------------------
for ext in (".mq4", ".mq5"):
    for white in (False, True):
        background = "#FFFFFF" if white else "#000000"
        code, out, err = run("BarsightVSA" + ext, "--data", walk, "--visible-bars", "3000",
                             *(["--white-chart"] if white else []))
        coloured = [(name, parts[6]) for name, parts in objects(out).items() if not name.startswith("BarsightCopy;")]
        faint = [(n, c) for n, c in coloured if contrast(c, background) < 3.0]
        texts = [parts[6] for name, parts in objects(out).items() if name.endswith(";text")]
        check("BarsightVSA%s on a %s chart: every arrow, label and legend entry stands out 3:1 (%d objects)"
              % (ext, "white" if white else "black", len(coloured)),
              code == 0 and coloured and not faint and texts and
              set(texts) == {"#000000" if white else "#FFFFFF"}, str(faint[:4]))
    code, out, err = run("BarsightScanner" + ext, "--data", walk, "--data", "OTHER=" + other, "--white-chart")
    faint = [(n, p[6]) for n, p in objects(out).items() if contrast(p[6], "#FFFFFF") < 3.0]
    check("BarsightScanner%s on a white chart: every row stands out" % ext, code == 0 and not faint, str(faint[:4]))
code, plain, _ = run("BarsightVSA.mq4", "--data", walk, "--visible-bars", "3000", "--log-imports")
code, scaled, _ = run("BarsightVSA.mq4", "--data", walk, "--visible-bars", "3000", "--dpi", "144")
legend = lambda out: sorted(int(p[8].split(",")[1]) for n, p in objects(out).items() if n.endswith(";text"))  # noqa: E731
check("at 144 DPI the legend's rows are 1.5 times as far apart (%s)" % legend(scaled)[:3],
      legend(plain) and legend(scaled) == [round(y * 1.5) for y in legend(plain)])

# --- MetaTrader 5's Data Window: a row only for what a plot draws ------------------------
for program, inputs in [("BarsightVSA.mq5", []), ("BarsightVolume.mq5", []),
                        ("BarsightVolume.mq5", ["--input", "AveragePeriod=0"])]:
    code, out, err = run(program, "--data", walk, "--data-window", *inputs)
    rows = [line.split("\t") for line in out.splitlines() if line.startswith("data window\t")]
    blank = [r for r in rows if r[3] == "draws nothing" or not r[2]]
    check("%s %s: no blank rows in the Data Window (%d rows)" % (program, " ".join(inputs), len(rows)),
          code == 0 and not blank and (rows or program.startswith("BarsightVSA")), str(blank))

# --- BarsightVolume: the price bars painted, a bar limit, real volume ------------------
for ext in (".mq4", ".mq5"):
    for arrive in ("1", "20"):
        code, out, err = run("BarsightVolume" + ext, "--data", walk, "--input", "Colouring=1", "--input",
                             "PaintBars=true", "--input", "MaxBars=300", "--new-bars", "60", "--arrive", arrive,
                             "--dump-buffers")
        got = series.buffers(out)
        painted = {n: p for n, p in objects(out).items() if n.startswith("BarsightBars;")}
        coloured = sorted({d for b, values in got.items() if b != 5 for d in values})
        check("BarsightVolume%s PaintBars with MaxBars=300, bars %s at a time: the newest 300 bars only, each "
              "painted in its class colour low to high (%d painted)" % (ext, arrive, len(painted)),
              code == 0 and 250 < len(coloured) <= 300 and len(painted) == len(coloured) and
              all(p[4] == "OBJ_TREND" and ".." in p[8] for p in painted.values()) and out.endswith("deinit\t0\n"),
              err[-300:])
    code, out, err = run("BarsightVolume" + ext, "--data", walk, "--input", "Colouring=1", "--input",
                         "PaintBars=true", "--white-chart")
    painted = [p[6] for n, p in objects(out).items() if n.startswith("BarsightBars;")]
    faint = [c for c in painted if contrast(c, "#FFFFFF") < 3.0]
    check("BarsightVolume%s on a white chart: the newest 1,000 bars painted, every colour stands out (%d)"
          % (ext, len(painted)), code == 0 and len(painted) == 1000 and not faint, str(sorted(set(faint))))
rows = [line.rstrip("\n").split(",") for line in open(walk)][1:]
real = os.path.join(work, "real.csv")
with open(real, "w") as f:
    f.write("date,open,high,low,close,volume,real_volume\n")
    for k, r in enumerate(rows):  # now and then a bar without real volume: it shows 0
        f.write(",".join(r + [str(0 if k % 50 == 7 else int(float(r[5])) * 7 + 3)]) + "\n")
code, out, err = run("BarsightVolume.mq5", "--data", real, "--input", "VolumeSource=1", "--dump-buffers")
shown = {d: v for b, values in series.buffers(out).items() if b != 5 for d, v in values.items()}
want = {r[0]: float(0 if k % 50 == 7 else int(float(r[5])) * 7 + 3) for k, r in enumerate(rows)}
check("BarsightVolume.mq5 VolumeSource=1 shows the real volume column (%d bars)" % len(shown),
      code == 0 and shown and all(want[d] == v for d, v in shown.items()), err[-300:])
code, out, err = run("BarsightVolume.mq5", "--data", walk, "--input", "VolumeSource=1")
check("BarsightVolume.mq5 VolumeSource=1 on a symbol without real volume says so once",
      code == 0 and err.count("has no real volume") == 1, err[-300:])
check("BarsightVolume.mq5 VolumeSource=1: a bar without real volume shows 0, never its tick volume",
      any(v == 0.0 for v in shown.values()) if shown else False, str(list(shown.items())[:3]))

if failures:
    sys.exit("terminal: %d checks failed: %s" % (len(failures), ", ".join(failures)))
print("terminal: all checks passed")
