#!/usr/bin/env python3
"""barsight.vsa_signals over 1,000 DataFrames of 5,000 daily bars against
the engine's batch face on the same bars (analyse_series on doubles, with
nothing around it), measured side by side in one process, interleaved, the
median of each over the repetitions. Target: vsa_signals within 1.2x the
batch face's time.

usage: python_bench.py [REPETITIONS]   (the barsight package installed)"""
import statistics
import sys
import time

import numpy as np
import pandas as pd

import barsight
from barsight import _core

FRAMES, BARS = 1000, 5000


def frames():
    rng = np.random.default_rng(7)
    dates = pd.bdate_range("2000-01-03", periods=BARS)
    out = []
    for _ in range(FRAMES):
        close = 50 * np.exp(np.cumsum(rng.normal(0, 0.012, BARS)))
        wick = np.abs(rng.normal(0, 0.008, (2, BARS))) * close
        opens = close * (1 + rng.normal(0, 0.004, BARS))
        out.append(pd.DataFrame({"open": opens, "high": np.maximum(opens, close) + wick[0],
                                 "low": np.minimum(opens, close) - wick[1], "close": close,
                                 "volume": rng.lognormal(13, 0.5, BARS).round()}, index=dates))
    return out


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    data = frames()
    doubles = [tuple(f[k].to_numpy() for k in ("high", "low", "close", "volume")) for f in data]
    signals, engine = [], []
    for _ in range(repetitions):
        start = time.perf_counter()
        for f in data:
            barsight.vsa_signals(f)
        signals.append(time.perf_counter() - start)
        start = time.perf_counter()
        for h, l, c, v in doubles:
            _core.engine_series(h, l, c, v, 9)
        engine.append(time.perf_counter() - start)
    s, e = statistics.median(signals), statistics.median(engine)
    print("vsa_signals, %d frames x %d bars: %.3f s (%.1f ns a bar)" % (FRAMES, BARS, s, s / FRAMES / BARS * 1e9))
    print("the engine's batch face on the same bars: %.3f s (%.1f ns a bar)" % (e, e / FRAMES / BARS * 1e9))
    ratio = s / e
    print("ratio %.2f (target at most 1.2): %s" % (ratio, "ok" if ratio <= 1.2 else "MISSED"))
    return 0 if ratio <= 1.2 else 1


if __name__ == "__main__":
    sys.exit(main())
