#!/usr/bin/env python3
"""Real daily price series from packages, as the tools read them.

Fifteen instruments whose daily bars (with volume) ship in packages:
  SP500     npm vega-datasets, data/sp500-2000.csv        (S&P 500 index)
  AAPL      npm @observablehq/sample-datasets, aapl.csv   (Apple)
  GOOG      Debian python-matplotlib-data, goog.npz       (Google)
  MSFT      Debian r-cran-timeseries, extdata/msft.csv    (Microsoft)
and from npm hqchart (its test data, umychart.testdata/DayKLine/):
  SSE       000001.sh  Shanghai Composite index
  SZSE      399001.sz  Shenzhen Component index
  CSI300    000300.sh  CSI 300 index
  SZSME     399005.sz  Shenzhen SME board index
  CHINEXT   399006.sz  ChiNext index
  PAB       000001.sz  Ping An Bank (formerly Shenzhen Development Bank)
  SPDB      600000.sh  Shanghai Pudong Development Bank
  COMPLANT  000151.sz  China National Complete Plant Import & Export
  IFC       IFL8.cfe   CSI 300 index futures, continuous main contract
  ICC       ICL8.cfe   CSI 500 index futures, continuous main contract
  IMC       IML8.cfe   CSI 1000 index futures, continuous main contract
The Debian packages come from `scripts/deps.sh realdata`; the npm ones are
fetched with `npm pack` into the cache. Each series is written as
date,open,high,low,close,volume (the form msxhost and mql4run read) to
CACHE/<SYMBOL>.csv, outside the repository, and checked on every run: the
row count and dates the package is known to hold, dates rising, OHLC
consistent (low <= open, close <= high), volume present and positive.
Whatever fails is named, with the package, and the exit status is 1.

The hqchart series are cleaned on the way, and what was done is counted and
told on stderr, one line per series that needed anything:
- Stocks are not adjusted for splits and bonus issues in the package. Each
  row carries the exchange's previous close; where it differs from the row
  before's close, prevClose[t] / close[t-1] is the exchange's adjustment
  factor. (In the version pinned here every previous close equals the row
  before's close, so the stocks' ex-dates are found from the price limit
  instead: an A share cannot open more than 10% below its previous close
  except on an ex-date, where the limit is reckoned from the ex-rights
  price, so for the three stocks an open below 0.89 x the previous close is
  taken as an ex-date, with open[t] / close[t-1] as its factor.) Prices
  before an ex-date are multiplied by the product of the later factors and
  volumes divided by it, so value traded is unchanged. The opening-gap rule
  is for the stocks only: indices and futures take the exchange's factor
  alone (none in this version), so the futures' roll gaps stay.
- A row whose low is above its open or close, or whose high is below them,
  is repaired when only that one is off (low := min(open, low, close),
  high := max(open, high, close)); a row with both off, a price that is not
  positive, no volume, or a date (and time) not after the row before's, is
  left out. The rows without volume are mostly the 14:59 minute bars, inside
  the closing auction, when nothing trades.

With --minutes, the one-minute bars of the eleven hqchart instruments
(umychart.testdata/M1KLine/) are written too, to CACHE/minute/<SYMBOL>.csv
with the date column as YYYY-MM-DD HH:MM, cleaned and adjusted as above,
and their lines follow the daily ones.

usage: real_data.py [--cache DIR] [--minutes]
                    (default cache: $XDG_CACHE_HOME/barsight/real-data,
                     else ~/.cache/barsight/real-data)
Prints one line per series: SYMBOL PATH ROWS FIRST LAST (a minute series'
FIRST and LAST as YYYY-MM-DDTHH:MM).
"""
import argparse
import ast
import csv
import datetime
import glob
import io
import json
import os
import struct
import subprocess
import sys
import tarfile
import zipfile

# What each package holds: (symbol, source, rows, first date, last date);
# for the hqchart series the rows after cleaning.
SERIES = [
    ("SP500", "npm vega-datasets", 5105, "2000-01-03", "2020-04-17"),
    ("AAPL", "npm @observablehq/sample-datasets", 1260, "2013-05-13", "2018-05-11"),
    ("GOOG", "Debian python-matplotlib-data", 1047, "2004-08-19", "2008-10-14"),
    ("MSFT", "Debian r-cran-timeseries", 249, "2000-09-27", "2001-09-27"),
]
NPM = {"SP500": ("vega-datasets@3.2.1", "package/data/sp500-2000.csv"),
       "AAPL": ("@observablehq/sample-datasets@1.0.1", "package/aapl.csv")}
GOOG_NPZ = "/usr/share/matplotlib/mpl-data/sample_data/goog.npz"
MSFT_CSV = "/usr/lib/R/site-library/timeSeries/extdata/msft.csv"

HQCHART = "hqchart@1.1.15808"
HQCHART_DATA = "package/src/jscommon/umychart.testdata/"
# symbol: (hqchart code, a stock whose ex-dates are adjusted)
HQCHART_CODES = {
    "SSE": ("000001.sh", False), "SZSE": ("399001.sz", False), "CSI300": ("000300.sh", False),
    "SZSME": ("399005.sz", False), "CHINEXT": ("399006.sz", False),
    "PAB": ("000001.sz", True), "SPDB": ("600000.sh", True), "COMPLANT": ("000151.sz", True),
    "IFC": ("IFL8.cfe", False), "ICC": ("ICL8.cfe", False), "IMC": ("IML8.cfe", False),
}
# The hqchart series: (symbol, rows after cleaning, first, last), daily and one-minute.
HQCHART_DAILY = [
    ("SSE", 8162, "1991-03-26", "2024-09-19"),
    ("SZSE", 8160, "1991-04-03", "2024-09-19"),
    ("CSI300", 4790, "2005-01-04", "2024-09-19"),
    ("SZSME", 4534, "2006-01-24", "2024-09-19"),
    ("CHINEXT", 3476, "2010-06-01", "2024-09-19"),
    ("PAB", 7971, "1991-04-03", "2024-09-19"),
    ("SPDB", 5908, "1999-11-10", "2024-09-19"),
    ("COMPLANT", 5779, "2000-09-06", "2024-09-19"),
    ("IFC", 2205, "2015-09-01", "2024-09-27"),
    ("ICC", 2301, "2015-04-16", "2024-09-27"),
    ("IMC", 532, "2022-07-22", "2024-09-27"),
]
HQCHART_MINUTES = [
    ("SSE", 16013, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("SZSE", 16013, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("CSI300", 16013, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("SZSME", 16013, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("CHINEXT", 16013, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("PAB", 16013, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("SPDB", 15974, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("COMPLANT", 15575, "2024-06-14 09:31", "2024-09-18 15:00"),
    ("IFC", 48000, "2023-12-04 09:31", "2024-09-27 15:00"),
    ("ICC", 48000, "2023-12-04 09:31", "2024-09-27 15:00"),
    ("IMC", 48000, "2023-12-04 09:31", "2024-09-27 15:00"),
]
SERIES += [(symbol, "npm " + HQCHART, rows, first, last) for symbol, rows, first, last in HQCHART_DAILY]

# An A share opens at most 10% below its previous close except on an
# ex-date; below this fraction of it (a tick of rounding allowed for) the
# opening gap is taken as an ex-date.
EX_DATE_GAP = 0.89

class Missing(Exception):
    pass


def default_cache():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "barsight", "real-data")


def npm_said(done, lines=6):
    """npm's own reason: the last lines of its error output (else of its
    output), one line."""
    said = [line.strip() for line in (done.stderr.strip() or done.stdout.strip()).splitlines() if line.strip()]
    return " | ".join(said[-lines:])[-1000:] or "npm printed nothing"


def npm_members(cache, package, members):
    """{member: text} of the files `members` in the npm package `package`
    (name@version), packed once into the cache and read in one pass."""
    name = package.rsplit("@", 1)[0].lstrip("@").replace("/", "-")
    version = package.rsplit("@", 1)[1]
    tarball = os.path.join(cache, "npm", "%s-%s.tgz" % (name, version))
    if not os.path.exists(tarball):
        os.makedirs(os.path.dirname(tarball), exist_ok=True)
        # Errors only (not --silent, which drops npm's reason with the rest).
        done = subprocess.run(["npm", "pack", package, "--loglevel=error", "--pack-destination",
                               os.path.dirname(tarball)], capture_output=True, text=True, timeout=600)
        found = glob.glob(os.path.join(os.path.dirname(tarball), "%s-%s.tgz" % (name, version)))
        if done.returncode != 0:
            raise Missing("npm pack %s failed (exit status %d): %s" % (package, done.returncode, npm_said(done)))
        if not found:
            raise Missing("npm pack %s made no %s: %s" % (package, tarball, npm_said(done)))
    wanted = set(members)
    texts = {}
    try:
        with tarfile.open(tarball) as archive:
            for info in archive:
                if info.name in wanted:
                    texts[info.name] = archive.extractfile(info).read().decode("utf-8")
    except (tarfile.TarError, AttributeError, OSError, EOFError, UnicodeDecodeError) as error:
        # A partial or corrupt download: gone, so that the next run fetches it again.
        os.remove(tarball)
        raise Missing("npm %s is not readable (%s); the cached copy is removed" % (package, error))
    missing = sorted(wanted - set(texts))
    if missing:
        raise Missing("npm %s holds no %s" % (package, ", ".join(missing)))
    return texts


def npm_member(cache, package, member):
    """The text of `member` in the npm package `package` (name@version)."""
    return npm_members(cache, package, [member])[member]


def hqchart_member(symbol, minutes):
    code = HQCHART_CODES[symbol][0]
    if minutes:
        return HQCHART_DATA + "M1KLine/%s.minute.kline.json" % code
    return HQCHART_DATA + "DayKLine/%s.day.kline.json" % code


def rows_from_hqchart(text, minutes):
    """The rows of an hqchart kline file as (stamp, previous close, open,
    high, low, close, volume), and how many rows could not be read. Daily
    rows are [YYYYMMDD, prevClose, open, high, low, close, volume, amount,
    ...]; one-minute rows add the time as HHMM in the ninth field. The
    stamp is YYYY-MM-DD, or YYYY-MM-DD HH:MM for minutes."""
    data = json.loads(text)
    if not isinstance(data, dict) or not isinstance(data.get("data"), list):
        raise Missing("no \"data\" list of rows in the file")
    out, unreadable = [], 0
    for row in data["data"]:
        try:
            day = str(int(row[0]))
            stamp = datetime.date(int(day[:4]), int(day[4:6]), int(day[6:8])).isoformat()
            if minutes:
                hhmm = int(row[8])
                stamp += " %s" % datetime.time(hhmm // 100, hhmm % 100).strftime("%H:%M")
            prev = float(row[1]) if row[1] is not None else None
            out.append((stamp, prev) + tuple(float(row[k]) for k in range(2, 7)))
        except (TypeError, ValueError, IndexError):
            unreadable += 1
    return out, unreadable


def clean(rows, stock):
    """Adjusted, repaired rows (date, open, high, low, close, volume) of
    (stamp, previous close, open, high, low, close, volume) rows, with what
    was done: ({what: count}, [(stamp, factor) of each ex-date])."""
    counts = {}

    def count(what):
        counts[what] = counts.get(what, 0) + 1

    ordered = []
    for row in rows:
        if not all(price > 0 for price in row[2:6]):
            count("left out: a price not positive")
        elif ordered and row[0] <= ordered[-1][0]:
            count("left out: date not after the row before's")
        else:
            ordered.append(row)
    # The factor of each ex-date, then each row's product of the later ones.
    factors, ex_dates = [1.0] * len(ordered), []
    for t in range(1, len(ordered)):
        before, given, opened = ordered[t - 1][5], ordered[t][1], ordered[t][2]
        if given is not None and given > 0 and abs(given - before) > 0.0051:
            factors[t] = given / before
            count("ex-dates from the previous close")
        elif stock and opened < EX_DATE_GAP * before:
            factors[t] = opened / before
            count("ex-dates from the opening gap")
        else:
            continue
        ex_dates.append((ordered[t][0], factors[t]))
    later = [1.0] * len(ordered)
    for t in range(len(ordered) - 2, -1, -1):
        later[t] = later[t + 1] * factors[t + 1]
    out = []
    for (stamp, _, o, h, l, c, v), m in zip(ordered, later):
        low_off, high_off = l > min(o, c), h < max(o, c)
        if not v > 0:
            count("left out: no volume")
            continue
        if low_off and high_off:
            count("left out: low and high both off the open and close")
            continue
        if low_off:
            l = min(o, l, c)
            count("repaired: low above the open or close")
        elif high_off:
            h = max(o, h, c)
            count("repaired: high below the open or close")
        out.append((stamp, o * m, h * m, l * m, c * m, v / m))
    return out, counts, ex_dates


def said(symbol, counts, ex_dates, unreadable):
    """The line on stderr that tells what cleaning a series did (None when nothing)."""
    parts = ["%d %s" % (n, what) for what, n in sorted(counts.items())]
    if unreadable:
        parts.insert(0, "%d left out: not readable" % unreadable)
    if ex_dates:
        parts.append("factors " + " ".join("%s x%.4f" % (stamp[:10], f) for stamp, f in ex_dates))
    return "%s: %s" % (symbol, "; ".join(parts)) if parts else None


def rows_from_csv(text, delimiter=","):
    """(date, open, high, low, close, volume) of a CSV with a header naming
    them in any case (Adj Close and the like left out)."""
    reader = csv.reader(io.StringIO(text), delimiter=delimiter)
    header = [h.strip().strip('"').lower() for h in next(reader)]
    index = {}
    for want in ("open", "high", "low", "close", "volume"):
        if want not in header:
            raise Missing("no %s column in %s" % (want, header))
        index[want] = header.index(want)
    out = []
    for fields in reader:
        if not fields:
            continue
        out.append((fields[0].strip(), *(float(fields[index[k]]) for k in ("open", "high", "low", "close", "volume"))))
    return out


# The .npy record types goog.npz uses: days since 1970 (datetime64[D]),
# doubles and 64-bit integers, little-endian.
NPY_TYPES = {"<M8[D]": "q", "<f8": "d", "<i8": "q"}


def rows_from_npz(path):
    """The price records of matplotlib's goog.npz, read as the .npy format
    lays them out (a header naming each field's type, then the records):
    the standard library is enough."""
    with zipfile.ZipFile(path) as archive:
        data = archive.read("price_data.npy")
    if data[:6] != b"\x93NUMPY":
        raise Missing("%s: price_data.npy is no .npy array" % path)
    major = data[6]
    size_bytes = 2 if major == 1 else 4
    header_len = int.from_bytes(data[8:8 + size_bytes], "little")
    start = 8 + size_bytes
    header = ast.literal_eval(data[start:start + header_len].decode("latin-1"))
    fields = header["descr"]
    if header.get("fortran_order") or any(kind not in NPY_TYPES for _, kind in fields):
        raise Missing("%s: an array layout this reader does not take: %s" % (path, fields))
    layout = struct.Struct("<" + "".join(NPY_TYPES[kind] for _, kind in fields))
    names = [name for name, _ in fields]
    body = data[start + header_len:]
    epoch = datetime.date(1970, 1, 1)
    out = []
    for k in range(header["shape"][0]):
        record = dict(zip(names, layout.unpack_from(body, k * layout.size)))
        day = (epoch + datetime.timedelta(days=record["date"])).isoformat()
        out.append((day, float(record["open"]), float(record["high"]), float(record["low"]),
                    float(record["close"]), float(record["volume"])))
    return out


def read_series(symbol, cache):
    if symbol in NPM:
        return rows_from_csv(npm_member(cache, *NPM[symbol]))
    if symbol == "GOOG":
        if not os.path.exists(GOOG_NPZ):
            raise Missing("%s is not there (install python-matplotlib-data)" % GOOG_NPZ)
        return rows_from_npz(GOOG_NPZ)
    if not os.path.exists(MSFT_CSV):
        raise Missing("%s is not there (install r-cran-timeseries)" % MSFT_CSV)
    return rows_from_csv(open(MSFT_CSV).read(), ";")


def read_hqchart(symbol, texts, minutes, notes):
    """A cleaned hqchart series; what cleaning did goes to `notes`."""
    raw, unreadable = rows_from_hqchart(texts[hqchart_member(symbol, minutes)], minutes)
    rows, counts, ex_dates = clean(raw, HQCHART_CODES[symbol][1])
    note = said(symbol + (" (minutes)" if minutes else ""), counts, ex_dates, unreadable)
    if note:
        notes.append(note)
    return rows


def problems(rows, expected_rows, first, last):
    """What is wrong with a series, as short texts (none when it is sound)."""
    found = []
    if len(rows) != expected_rows:
        found.append("%d rows, %d expected" % (len(rows), expected_rows))
    if rows and (rows[0][0], rows[-1][0]) != (first, last):
        found.append("dates %s to %s, %s to %s expected" % (rows[0][0], rows[-1][0], first, last))
    for k, (date, o, h, l, c, v) in enumerate(rows):
        if k and date <= rows[k - 1][0]:
            found.append("row %d: %s does not follow %s" % (k + 1, date, rows[k - 1][0]))
        if not (0 < l <= min(o, c) and max(o, c) <= h):
            found.append("row %d (%s): open %g high %g low %g close %g are not consistent" % (k + 1, date, o, h, l, c))
        if not v > 0:
            found.append("row %d (%s): no volume (%g)" % (k + 1, date, v))
        if len(found) > 5:
            break
    return found


def write_csv(path, rows):
    with open(path + ".tmp", "w") as f:
        f.write("date,open,high,low,close,volume\n")
        for date, o, h, l, c, v in rows:
            f.write("%s,%.6f,%.6f,%.6f,%.6f,%d\n" % (date, o, h, l, c, round(v)))
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description="Real daily price series from packages.")
    parser.add_argument("--cache", default=default_cache())
    parser.add_argument("--minutes", action="store_true",
                        help="also the one-minute series, written to CACHE/minute/")
    args = parser.parse_args()
    os.makedirs(args.cache, exist_ok=True)
    jobs = [(symbol, source, rows, first, last, False) for symbol, source, rows, first, last in SERIES]
    if args.minutes:
        os.makedirs(os.path.join(args.cache, "minute"), exist_ok=True)
        jobs += [(symbol, "npm " + HQCHART, rows, first, last, True) for symbol, rows, first, last in HQCHART_MINUTES]
    failed, notes, texts = [], [], {}
    hqchart = [(symbol, minutes) for symbol, *_, minutes in jobs if symbol in HQCHART_CODES]
    try:
        texts = npm_members(args.cache, HQCHART, [hqchart_member(*job) for job in hqchart])
    except (Missing, OSError, subprocess.SubprocessError) as error:
        failed.append("%s (npm %s): %s" % (", ".join(sorted({s for s, _ in hqchart})), HQCHART, error))
    for symbol, source, expected_rows, first, last, minutes in jobs:
        if symbol in HQCHART_CODES and not texts:
            continue  # told once above
        try:
            if symbol in HQCHART_CODES:
                rows = read_hqchart(symbol, texts, minutes, notes)
            else:
                rows = read_series(symbol, args.cache)
        except (Missing, OSError, KeyError, ValueError, SyntaxError, struct.error, zipfile.BadZipFile,
                subprocess.SubprocessError) as error:
            failed.append("%s (%s): %s" % (symbol, source, error))
            continue
        wrong = problems(rows, expected_rows, first, last)
        if wrong:
            failed.append("%s (%s): %s" % (symbol, source, "; ".join(wrong)))
            continue
        path = os.path.join(args.cache, "minute" if minutes else "", symbol + ".csv")
        write_csv(path, rows)
        # A minute's stamp printed with a T, so that the line keeps its five fields.
        print("%s %s %d %s %s" % (symbol, path, len(rows), rows[0][0].replace(" ", "T"), rows[-1][0].replace(" ", "T")))
    for note in notes:
        print("real_data.py: %s" % note, file=sys.stderr)
    for failure in failed:
        print("real_data.py: %s" % failure, file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
