#!/usr/bin/env python3
"""Writes data/sample_ohlcv.csv: a synthetic but realistic daily OHLCV series,
and data/sample_prices.csv: the same closes and volumes as the loader plug-in
reads them (Date,Price,Volume with month/day/year dates, CRLF line ends).

Deterministic (its own linear congruential generator, no library state), so
the committed file can be remade byte for byte. With --help-pictures it
writes data/help_pictures.csv instead, the series the help pages' pictures
are drawn from. Weekdays only; prices follow a
random walk with slowly changing volatility and trend regimes; volume rises
with the size of the move, with occasional climactic days.

usage: generators/make_sample_data.py [--help-pictures]
"""
import datetime
import math
import os
import sys

HELP_SEED = 5

class Lcg:
    def __init__(self, seed):
        self.state = seed

    def uniform(self):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % (1 << 64)
        return ((self.state >> 11) & ((1 << 53) - 1)) / float(1 << 53)

    def normal(self):
        u1 = max(self.uniform(), 1e-12)
        u2 = self.uniform()
        return math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)

def generate(seed, bar_count, climax_rate, climax_factor):
    """The rows of a series: header first."""
    rng = Lcg(seed)
    day = datetime.date(2014, 1, 2)
    close = 42.50
    vol = 0.012
    drift = 0.0003
    rows = ["date,open,high,low,close,volume"]
    bars = 0
    while bars < bar_count:
        if day.weekday() < 5:
            if bars % 120 == 0:
                drift = (rng.uniform() - 0.45) * 0.002
            vol = min(0.04, max(0.006, vol * math.exp(0.08 * rng.normal())))
            ret = drift + vol * rng.normal()
            open_ = close * math.exp(0.3 * vol * rng.normal())
            new_close = close * math.exp(ret)
            high = max(open_, new_close) * math.exp(abs(0.6 * vol * rng.normal()))
            low = min(open_, new_close) * math.exp(-abs(0.6 * vol * rng.normal()))
            volume = 250000 * (1.0 + 25.0 * abs(ret)) * math.exp(0.35 * rng.normal())
            if rng.uniform() < climax_rate:
                volume *= climax_factor
            rows.append("%s,%.2f,%.2f,%.2f,%.2f,%d" % (
                day.isoformat(), open_, high, low, new_close, int(volume)))
            close = new_close
            bars += 1
        day += datetime.timedelta(days=1)
    return rows


def main():
    data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
    if sys.argv[1:] == ["--help-pictures"]:
        # The help pages' pictures: a series of its own, with more climactic
        # days, so that every signal of the engine occurs in it.
        rows = generate(HELP_SEED, 4000, 0.03, 4.0)
        with open(os.path.join(data, "help_pictures.csv"), "w", newline="\n") as f:
            f.write("\n".join(rows) + "\n")
        return
    rows = generate(20140102, 3000, 0.01, 3.5)
    with open(os.path.join(data, "sample_ohlcv.csv"), "w", newline="\n") as f:
        f.write("\n".join(rows) + "\n")
    prices = ["Date,Price,Volume"]
    for row in rows[1:]:
        date, _, _, _, close, volume = row.split(",")
        y, m, d = (int(x) for x in date.split("-"))
        prices.append("%d/%d/%d,%s,%s" % (m, d, y, close, volume))
    with open(os.path.join(data, "sample_prices.csv"), "w", newline="\r\n") as f:
        f.write("\n".join(prices) + "\n")

if __name__ == "__main__":
    main()
