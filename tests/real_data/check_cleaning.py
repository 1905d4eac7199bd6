#!/usr/bin/env python3
"""How real_data.py cleans an hqchart series, each case a few rows of the
package's JSON: ex-dates adjusted (from the previous close the row carries,
or for a stock from an opening gap no price limit allows), rows with an
inconsistent low or high repaired when only one is off, and rows that
cannot be repaired left out, each counted by its reason.

usage: check_cleaning.py REAL_DATA_PY"""
import json
import os
import sys

sys.dont_write_bytecode = True  # nothing left beside the script
sys.path.insert(0, os.path.dirname(os.path.abspath(sys.argv[1])))
import real_data  # noqa: E402

failures = []


def kline(*rows):
    return json.dumps({"data": [list(r) for r in rows], "symbol": "test", "ver": 2})


# Each: name, the file's rows ([YYYYMMDD, prevClose, open, high, low, close,
# volume, amount] and for minutes HHMM), a stock?, minutes?, the rows
# written (date, open, high, low, close, volume), the counts, the ex-dates.
CASES = [
    # A 2-for-1 split the exchange's previous close tells (20 -> 10): the
    # day before halved, its volume doubled (value traded 20 x 100 = 10 x 200).
    ("a split from the previous close",
     kline([20240102, 19, 19, 21, 18, 20, 100, 0], [20240103, 10, 10.5, 11, 10, 10.5, 300, 0]),
     True, False,
     [("2024-01-02", 9.5, 10.5, 9, 10, 200), ("2024-01-03", 10.5, 11, 10, 10.5, 300)],
     {"ex-dates from the previous close": 1}, [("2024-01-03", 0.5)]),
    # The same factor adjusts an index too: it is the exchange's.
    ("an index's factor from the previous close",
     kline([20240102, 100, 100, 102, 99, 100, 10, 0], [20240103, 200, 201, 202, 199, 200, 10, 0]),
     False, False,
     [("2024-01-02", 200, 204, 198, 200, 5), ("2024-01-03", 201, 202, 199, 200, 10)],
     {"ex-dates from the previous close": 1}, [("2024-01-03", 2.0)]),
    # A bonus issue the package does not tell (previous close 18.40 as the
    # close before): a stock opening at 12.28, two thirds of it, is at an
    # ex-date; the factor is the open over the close before, 12.28 / 18.40.
    ("a stock's ex-date from the opening gap",
     kline([20020821, 18.16, 18.2, 18.6, 18.0, 18.4, 1000, 0], [20020822, 18.4, 12.28, 12.4, 12.2, 12.3, 1500, 0]),
     True, False,
     [("2002-08-21", 18.2 * 12.28 / 18.4, 18.6 * 12.28 / 18.4, 18.0 * 12.28 / 18.4, 12.28, 1000 * 18.4 / 12.28),
      ("2002-08-22", 12.28, 12.4, 12.2, 12.3, 1500)],
     {"ex-dates from the opening gap": 1}, [("2002-08-22", 12.28 / 18.4)]),
    # The same gap on an index is a fall, not an ex-date.
    ("an index's opening gap is left as it is",
     kline([19920520, 100, 100, 101, 99, 100, 10, 0], [19920521, 100, 60, 61, 59, 60, 10, 0]),
     False, False,
     [("1992-05-20", 100, 101, 99, 100, 10), ("1992-05-21", 60, 61, 59, 60, 10)], {}, []),
    # A stock at its limit down (10%) is a fall, not an ex-date.
    ("a stock opening at its limit down is left as it is",
     kline([20240102, 10, 10, 10.1, 9.9, 10, 10, 0], [20240103, 10, 9, 9.1, 9, 9, 10, 0]),
     True, False,
     [("2024-01-02", 10, 10.1, 9.9, 10, 10), ("2024-01-03", 9, 9.1, 9, 9, 10)], {}, []),
    ("a low above the open: low := min(open, low, close)",
     kline([19910509, 110.03, 109.36, 110.12, 109.31, 109.29, 2255, 0]), False, False,
     [("1991-05-09", 109.36, 110.12, 109.29, 109.29, 2255)], {"repaired: low above the open or close": 1}, []),
    ("a high below the open and below the low: high := max(open, high, close)",
     kline([19920616, 1171.85, 1171.75, 1135.6, 1164.24, 1166.7, 35158, 0]), False, False,
     [("1992-06-16", 1171.75, 1171.75, 1164.24, 1166.7, 35158)], {"repaired: high below the open or close": 1}, []),
    ("a low and a high both off are left out",
     kline([20240102, 10, 10, 11, 9, 10, 5, 0], [20240103, 10, 10, 9.5, 10.5, 10, 5, 0]), False, False,
     [("2024-01-02", 10, 11, 9, 10, 5)], {"left out: low and high both off the open and close": 1}, []),
    ("a row without volume is left out",
     kline([19910930, 14.6, 14.55, 14.65, 14.5, 14.6, 0, 0], [19911001, 14.6, 14.6, 14.7, 14.5, 14.6, 9, 0]),
     True, False,
     [("1991-10-01", 14.6, 14.7, 14.5, 14.6, 9)], {"left out: no volume": 1}, []),
    # The ex-date's own row has no volume: it is left out, its factor still
    # adjusts the rows before it.
    ("a left-out ex-date still adjusts the rows before",
     kline([20240102, 20, 20, 21, 19, 20, 100, 0], [20240103, 10, 10, 10, 10, 10, 0, 0],
           [20240104, 10, 10, 11, 9, 10, 100, 0]),
     True, False,
     [("2024-01-02", 10, 10.5, 9.5, 10, 200), ("2024-01-04", 10, 11, 9, 10, 100)],
     {"ex-dates from the previous close": 1, "left out: no volume": 1}, [("2024-01-03", 0.5)]),
    ("a date not after the row before's is left out",
     kline([20240103, 10, 10, 11, 9, 10, 5, 0], [20240103, 10, 10, 11, 9, 10, 6, 0],
           [20240102, 10, 10, 11, 9, 10, 7, 0], [20240104, 10, 10, 11, 9, 10, 8, 0]),
     False, False,
     [("2024-01-03", 10, 11, 9, 10, 5), ("2024-01-04", 10, 11, 9, 10, 8)],
     {"left out: date not after the row before's": 2}, []),
    ("a price not positive is left out",
     kline([20240102, 10, 10, 11, 9, 10, 5, 0], [20240103, 10, 0, 11, 9, 10, 5, 0],
           [20240104, 10, 10, 11, -1, 10, 5, 0]),
     False, False, [("2024-01-02", 10, 11, 9, 10, 5)], {"left out: a price not positive": 2}, []),
    # One-minute rows: the time of day (HHMM) joins the date; the day's first
    # minute follows the day before's last.
    ("minutes take their time of day",
     kline([20240614, 10, 10, 10.2, 9.9, 10.1, 50, 0, 1500], [20240617, 10.1, 10.1, 10.2, 10, 10.2, 60, 0, 931],
           [20240617, 10.2, 10.2, 10.3, 10.1, 10.3, 70, 0, 932]),
     True, True,
     [("2024-06-14 15:00", 10, 10.2, 9.9, 10.1, 50), ("2024-06-17 09:31", 10.1, 10.2, 10, 10.2, 60),
      ("2024-06-17 09:32", 10.2, 10.3, 10.1, 10.3, 70)], {}, []),
    ("a minute at the same time as the one before is left out",
     kline([20240617, 10, 10, 10.2, 9.9, 10.1, 50, 0, 931], [20240617, 10.1, 10.1, 10.2, 10, 10.2, 60, 0, 931]),
     False, True, [("2024-06-17 09:31", 10, 10.2, 9.9, 10.1, 50)],
     {"left out: date not after the row before's": 1}, []),
]


def same(got, want):
    return len(got) == len(want) and all(
        a[0] == b[0] and all(abs(x - y) <= 1e-9 * max(1.0, abs(y)) for x, y in zip(a[1:], b[1:]))
        for a, b in zip(got, want))


for name, text, stock, minutes, want_rows, want_counts, want_ex in CASES:
    raw, unreadable = real_data.rows_from_hqchart(text, minutes)
    rows, counts, ex_dates = real_data.clean(raw, stock)
    ok = (unreadable == 0 and same(rows, want_rows) and counts == want_counts
          and [d for d, _ in ex_dates] == [d for d, _ in want_ex]
          and all(abs(f - g) < 1e-12 for (_, f), (_, g) in zip(ex_dates, want_ex)))
    # What the script writes must pass its own check of a sound series.
    ok = ok and not real_data.problems(rows, len(rows), rows[0][0], rows[-1][0])
    print("cleaning: %s: %s" % (name, "ok" if ok else "FAILED\n  rows %s\n  counts %s\n  ex-dates %s"
                                 % (rows, counts, ex_dates)))
    if not ok:
        failures.append(name)

# A row that cannot be read (a price missing, a date that is none) is
# counted as such, and the line on stderr says it with the rest.
raw, unreadable = real_data.rows_from_hqchart(
    kline([20240102, 10, 10, 11, 9, 10, 5, 0], [20240103, 10, None, 11, 9, 10, 5, 0],
          [20241341, 10, 10, 11, 9, 10, 5, 0], ["x"]), False)
rows, counts, ex_dates = real_data.clean(raw, False)
line = real_data.said("TEST", counts, ex_dates, unreadable)
ok = len(rows) == 1 and unreadable == 3 and line == "TEST: 3 left out: not readable"
print("cleaning: unreadable rows are counted: %s" % ("ok" if ok else "FAILED %s %r" % (rows, line)))
if not ok:
    failures.append("unreadable rows")

if failures:
    sys.exit("cleaning: %d cases failed: %s" % (len(failures), ", ".join(failures)))
print("cleaning: all cases passed")
