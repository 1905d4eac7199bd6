"""Bars from files: a CSV of date,open,high,low,close,volume (any case, any
order, comma, semicolon or tab between), MetaTrader's exported history
(<DATE>, <TIME>, <OPEN>, ... <TICKVOL>, <VOL>; dates 2024.01.31) and
MetaStock's ASCII export (<TICKER>, <PER>, <DTYYYYMMDD>, <TIME>, ...; dates
YYYYMMDD as whole numbers, times HHMMSS)."""
import io
import os
from typing import Union

import numpy as np
import pandas as pd

# A column's name as the readers know it: <DATE> is date, <DTYYYYMMDD> too.
_ALIASES = {"dtyyyymmdd": "date", "yyyymmdd": "date", "datetime": "date", "timestamp": "date", "vol": "volume",
            "ticker": "symbol", "o": "open", "h": "high", "l": "low", "c": "close", "v": "volume"}


def _key(name):
    return str(name).strip().strip("<>").strip().lower()


def _times(dates, times, path):
    """The bars' times from the date (and time) text: year first with -, .
    or /, or YYYYMMDD; times HH:MM[:SS] or HHMM[SS]."""
    dates = dates.str.strip()
    if times is not None:
        times = times.str.strip()
        digits = times.str.fullmatch(r"\d{1,6}")
        # MetaStock writes 93000 for 09:30:00.
        times = times.where(~digits, times.str.zfill(6).str.replace(r"(\d\d)(\d\d)(\d\d)", r"\1:\2:\3", regex=True))
        text = dates + " " + times
    else:
        text = dates
    forms = [day + time for day in ("%Y-%m-%d", "%Y.%m.%d", "%Y/%m/%d", "%Y%m%d")
             for time in ("", " %H:%M", " %H:%M:%S", "T%H:%M:%S", " %H:%M:%S.%f")]
    for form in forms:
        parsed = pd.to_datetime(text, format=form, errors="coerce")
        if not parsed.isna().any():
            return pd.DatetimeIndex(parsed, name="date")
    best = max(forms, key=lambda f: pd.to_datetime(text, format=f, errors="coerce").notna().sum())
    bad = int(np.flatnonzero(pd.to_datetime(text, format=best, errors="coerce").isna())[0])
    raise ValueError("%s: row %d: %r is not a date (year first: YYYY-MM-DD, YYYY.MM.DD or YYYYMMDD)"
                     % (path, bad, text.iloc[bad]))


def read_bars(path: Union[str, "os.PathLike[str]"]) -> pd.DataFrame:
    """The bars of a file as a DataFrame on a DatetimeIndex named date, with
    columns open, high, low, close, volume (numbers as the double nearest
    their text). MetaTrader's <VOL> is taken when it holds any volume, else
    <TICKVOL>. A file of several tickers (MetaStock's <TICKER> column)
    gives a (symbol, date) MultiIndex. Nothing is guessed: a date in
    another form is refused, naming the row."""
    name = os.fspath(path)
    with open(name, "r", encoding="utf-8-sig", errors="replace") as f:
        text = f.read()
    if not text.strip():
        raise ValueError("%s: no bars (the file is empty)" % name)
    head = text.splitlines()[0]
    sep = "\t" if "\t" in head else ";" if head.count(";") > head.count(",") else ","
    frame = pd.read_csv(io.StringIO(text), sep=sep, dtype=str, keep_default_na=False)
    columns = {}
    for column in frame.columns:
        key = _key(column)
        key = _ALIASES.get(key, key)
        if key in columns and key != "volume":
            raise ValueError("%s: columns %r and %r are both %r" % (name, columns[key], column, key))
        columns.setdefault(key, column)
    if "date" not in columns:
        raise ValueError("%s: no date column (columns: %s)" % (name, ", ".join(map(str, frame.columns))))
    dates = _times(frame[columns["date"]], frame[columns["time"]] if "time" in columns else None, name)
    out = pd.DataFrame(index=dates)
    for field in ("open", "high", "low", "close"):
        if field in columns:
            out[field] = _numbers(frame[columns[field]], name, field)
    volume = None
    if "volume" in columns:
        volume = _numbers(frame[columns["volume"]], name, "volume")
    if "tickvol" in columns and (volume is None or not np.any(volume)):
        volume = _numbers(frame[columns["tickvol"]], name, "tickvol")
    if volume is not None:
        out["volume"] = volume
    if "symbol" in columns:
        symbols = frame[columns["symbol"]].str.strip().to_numpy()
        if len(set(symbols)) > 1:
            out.index = pd.MultiIndex.from_arrays([symbols, dates], names=["symbol", "date"])
        else:
            out.attrs["symbol"] = symbols[0] if len(symbols) else ""
    return out


def _numbers(values, path, field):
    try:
        # Each the double nearest its text, as the host's reader takes it.
        return np.asarray(values.str.strip(), dtype=np.float64)
    except ValueError:
        bad = np.flatnonzero(pd.to_numeric(values.str.strip(), errors="coerce").isna().to_numpy())
        row = int(bad[0]) if bad.size else 0
        raise ValueError("%s: column %s, row %d: %r is not a number" % (path, field, row, values.iloc[row])) from None
