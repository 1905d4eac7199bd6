"""Writes recorded_codes.txt: the signal codes of the sample data and of
every real series as the engine gave them when recorded, for
test_recorded_codes.py to hold every later engine to, bar for bar.

Each series is fed three ways: VSAInd's feed on float32 prices (what the
charting host passes; vsa_signals), and the live feed on doubles (what
MetaTrader passes; Feed(float32=False), each bar revised with its next
close) at periods 9 and 50. A line per series and way: its name, the way,
the number of bars, then BAR:CODE for each bar with a code.

usage: record_codes.py OUT   (with BARSIGHT_BIN and the real series as the tests have them)"""
import subprocess
import sys
from pathlib import Path

import barsight

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from conftest import ROOT, SAMPLE, read_bars  # noqa: E402

WAYS = ("vsaind", "live9", "live50")


def series():
    done = subprocess.run([sys.executable, str(ROOT / "scripts" / "real_data.py")], capture_output=True, text=True,
                          check=True)
    return {"sample": str(SAMPLE), **dict(line.split()[:2] for line in done.stdout.splitlines())}


def codes(bars, way):
    if way == "vsaind":
        return [int(c) for c in barsight.vsa_signals(bars).to_numpy()]
    feed = barsight.Feed(periods=int(way[4:]), float32=False)
    out = []
    rows = list(bars[["high", "low", "close", "volume"]].itertuples(index=False))
    for k, row in enumerate(rows):
        if k > 0:
            out[-1] = feed.revise(row.close)
        out.append(feed.push(high=row.high, low=row.low, close=row.close, volume=row.volume))
    return [int(c) for c in out]


def read(path):
    """{(series, way): codes} of a recording."""
    recorded = {}
    for line in Path(path).read_text().splitlines():
        name, way, count, *pairs = line.split()
        codes = [0] * int(count)
        for pair in pairs:
            bar, code = pair.split(":")
            codes[int(bar)] = int(code)
        recorded[(name, way)] = codes
    return recorded


def main():
    lines = []
    for name, path in series().items():
        bars = read_bars(path).rename(columns=str.lower)
        for way in WAYS:
            found = codes(bars, way)
            lines.append(" ".join([name, way, str(len(found))] + ["%d:%d" % (k, c) for k, c in enumerate(found) if c])
                         + "\n")
    Path(sys.argv[1]).write_text("".join(lines))


if __name__ == "__main__":
    main()
