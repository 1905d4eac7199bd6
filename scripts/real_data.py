#!/usr/bin/env python3
"""Real daily price series from packages, as the tools read them.

Four instruments whose daily bars (with volume) ship in packages:
  SP500  npm vega-datasets, data/sp500-2000.csv         (S&P 500 index)
  AAPL   npm @observablehq/sample-datasets, aapl.csv    (Apple)
  GOOG   Debian python-matplotlib-data, goog.npz        (Google)
  MSFT   Debian r-cran-timeseries, extdata/msft.csv     (Microsoft)
The Debian packages come from `scripts/deps.sh realdata`; the npm ones are
fetched with `npm pack` into the cache. Each series is written as
date,open,high,low,close,volume (the form msxhost and mql4run read) to
CACHE/<SYMBOL>.csv, outside the repository, and checked on every run: the
row count and dates the package is known to hold, dates rising, OHLC
consistent (low <= open, close <= high), volume present and positive.
Whatever fails is named, with the package, and the exit status is 1.

usage: real_data.py [--cache DIR]   (default: $XDG_CACHE_HOME/barsight/real-data,
                                     else ~/.cache/barsight/real-data)
Prints one line per series: SYMBOL PATH ROWS FIRST LAST.
"""
import argparse
import ast
import csv
import datetime
import glob
import io
import os
import struct
import subprocess
import sys
import tarfile
import zipfile

# What each package holds: (symbol, source, rows, first date, last date).
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


def npm_member(cache, package, member):
    """The text of `member` in the npm package `package` (name@version), packed once into the cache."""
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
    try:
        with tarfile.open(tarball) as archive:
            return archive.extractfile(member).read().decode("utf-8")
    except (tarfile.TarError, KeyError, AttributeError, OSError) as error:
        # A partial or corrupt download: gone, so that the next run fetches it again.
        os.remove(tarball)
        raise Missing("%s from npm %s is not readable (%s); the cached copy is removed" % (member, package, error))


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
    args = parser.parse_args()
    os.makedirs(args.cache, exist_ok=True)
    failed = []
    for symbol, source, expected_rows, first, last in SERIES:
        try:
            rows = read_series(symbol, args.cache)
        except (Missing, OSError, KeyError, ValueError, SyntaxError, struct.error, zipfile.BadZipFile,
                subprocess.SubprocessError) as error:
            failed.append("%s (%s): %s" % (symbol, source, error))
            continue
        wrong = problems(rows, expected_rows, first, last)
        if wrong:
            failed.append("%s (%s): %s" % (symbol, source, "; ".join(wrong)))
            continue
        path = os.path.join(args.cache, symbol + ".csv")
        write_csv(path, rows)
        print("%s %s %d %s %s" % (symbol, path, len(rows), rows[0][0], rows[-1][0]))
    for failure in failed:
        print("real_data.py: %s" % failure, file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
