"""Bars from what a caller hands over: a pandas DataFrame (columns open,
high, low, close, volume in any case; dates in the index, as a
DatetimeIndex, a PeriodIndex, text or date objects, or in a date column), a
mapping of column names to arrays, or a numpy structured array. Every check
names the column and the row (counted from 0, as DataFrame.iloc counts) and,
where there are dates, the date; a message names what is wrong, never the
whole of the data."""
import datetime
import decimal
import numbers
import warnings

import numpy as np
import pandas as pd

_FLOAT32_MAX = float(np.finfo(np.float32).max)
# What an object column may hold as a number (a Decimal from a database too).
_NUMBERS = (numbers.Real, decimal.Decimal)


def short(value, limit=40):
    """repr(value), cut to about `limit` characters (10**400 has 401 digits)."""
    try:
        text = repr(value)
    except ValueError:  # an int beyond Python's digits limit for text
        text = "<%s of %d bits>" % (type(value).__name__, value.bit_length())
    return text if len(text) <= limit else "%s...(%d characters)" % (text[:limit - 3], len(text))


_STACKED = ("; dates repeat, as when several symbols are stacked in one frame: give a (symbol, date) MultiIndex "
            "(frame.set_index(['symbol', 'date'])), a 'symbol' column, a dict of frames or (field, symbol) columns")


def _names(names, limit=8):
    """A few of `names` for a message, and how many there are."""
    names = [str(n) for n in names]
    if len(names) <= limit:
        return ", ".join(names)
    return "%s, ... (%d in all)" % (", ".join(names[:limit]), len(names))


class Bars:
    """The columns asked for as numpy arrays (float32 where the input was
    float32, else float64), the dates (numpy datetime64[ns]) or None, and the
    index to align results with (None for plain arrays)."""

    def __init__(self, columns, dates, index):
        self.columns = columns
        self.dates = dates
        self.index = index

    def __len__(self):
        return len(next(iter(self.columns.values()))) if self.columns else 0

    def float32(self, name):
        """The column as the host holds it: float32, contiguous (no copy when
        it already is)."""
        return np.ascontiguousarray(self.columns[name], dtype=np.float32)

    def result(self, values, name):
        """A result aligned with the input: a Series for a DataFrame, else the array."""
        if self.index is None:
            return values
        return pd.Series(values, index=self.index, name=name, copy=False)


def _date_text(date):
    text = str(pd.Timestamp(date))
    return text[:-9] if text.endswith(" 00:00:00") else text


def _where(dates, row):
    if dates is None:
        return "row %d" % row
    return "row %d (%s)" % (row, _date_text(dates[row]))


def _lookup(names, wanted, what):
    """The caller's name of each wanted column, matched in any case."""
    by_lower = {}
    for name in names:
        # MetaTrader's and MetaStock's exports write <CLOSE>, <DTYYYYMMDD>, <VOL>.
        key = str(name).strip().strip("<>").strip().lower()
        key = {"dtyyyymmdd": "date", "vol": "volume"}.get(key, key)
        if key in by_lower:
            raise ValueError("%s: columns %r and %r are both %r" % (what, by_lower[key], name, key))
        by_lower[key] = name
    return by_lower


def _wall_clock(index):
    """The dates as the market's own clock shows them (a bar's day is its
    exchange's day, whatever the time zone), and the instants they are, to
    tell whether they rise."""
    if index.tz is None:
        dates = index.to_numpy(dtype="datetime64[ns]")
        return dates, dates
    return (index.tz_localize(None).to_numpy(dtype="datetime64[ns]"),
            index.tz_convert("UTC").tz_localize(None).to_numpy(dtype="datetime64[ns]"))


# The forms of a date written as text that are read as dates: msxhost's
# (year first, so never ambiguous), with a time of day or without.
_TEXT_DATE_FORMATS = tuple(day + time for day in ("%Y-%m-%d", "%Y.%m.%d", "%Y/%m/%d", "%Y%m%d")
                           for time in ("", " %H:%M", " %H:%M:%S", "T%H:%M:%S"))


def _text_like(values):
    """Whether `values` (an index or a column) holds text: object of str,
    pandas' string dtype, or categories of text."""
    if isinstance(values.dtype, pd.CategoricalDtype):
        values = values.astype(object) if isinstance(values, pd.Index) else pd.Series(values).astype(object)
    if pd.api.types.is_string_dtype(values.dtype) and values.dtype != object:
        return True
    return values.dtype == object and len(values) > 0 and all(isinstance(v, str) for v in values)


def _parse_text(values, where):
    """Text dates in one of the year-first forms, every row in one form; None
    when the text is no dates at all. Dates in another form (a day and a
    month whose order the text cannot tell, such as 01/02/2024) are refused,
    never guessed."""
    texts = pd.Series(np.asarray(values, dtype=object)).astype(str).str.strip()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for form in _TEXT_DATE_FORMATS:
            dates = pd.to_datetime(texts, format=form, errors="coerce")
            if not dates.isna().any():
                return pd.DatetimeIndex(dates)
        try:
            guessed = pd.to_datetime(texts, errors="coerce")
        except (ValueError, TypeError, OverflowError):
            return None
    if guessed.isna().all():
        return None
    raise ValueError("%s holds dates as text in a form not taken (%r): write them year first (YYYY-MM-DD), "
                     "or parse them yourself (pd.read_csv(..., parse_dates=..., dayfirst=...))"
                     % (where, texts.iloc[int(np.flatnonzero(~guessed.isna())[0])]))


def _text_dates(index, what):
    """The dates of an index of text (as pd.read_csv(f, index_col="date")
    leaves them, whatever pandas' text dtype) or of date objects
    (datetime.date), or None when it is not dates."""
    if not len(index):
        return None
    if index.dtype == object and all(isinstance(v, datetime.date) for v in index):
        return pd.DatetimeIndex(pd.to_datetime(list(index)))
    if not _text_like(index):
        return None
    return _parse_text(index, "%s: the index" % what)


def _dates_of(values, what):
    values = pd.Series(np.asarray(values)) if not isinstance(values, pd.Series) else values.reset_index(drop=True)
    if _text_like(values):
        dates = _parse_text(values, "%s: column 'date'" % what)
        if dates is None:
            raise ValueError("%s: column 'date' is not dates" % what)
    elif values.dtype.kind in "iu" and len(values) and values.between(10000101, 99991231).all():
        # Whole numbers YYYYMMDD, as MetaStock's ASCII export writes dates.
        dates = pd.DatetimeIndex(pd.to_datetime(values.astype(str), format="%Y%m%d", errors="coerce"))
        bad = np.flatnonzero(dates.isna())
        if bad.size:
            raise ValueError("%s: column 'date', row %d: %d is not a date YYYYMMDD" % (what, bad[0], values.iloc[bad[0]]))
    else:
        try:
            dates = pd.DatetimeIndex(pd.to_datetime(values, errors="raise"))
        except (ValueError, TypeError, OverflowError) as error:
            raise ValueError("%s: column 'date' is not dates: %s" % (what, error)) from None
    bad = np.flatnonzero(dates.isna())
    if bad.size:
        raise ValueError("%s: column 'date', row %d: no date" % (what, bad[0]))
    return _wall_clock(dates)


def numbers_of(values, label, what, dates=None):
    """A column as numbers (float64; float32 kept as it is): times, complex
    numbers, text, bytes and truth values are not prices. An object column
    is looked at value by value: pandas' nullable columns arrive so, a
    missing value (None, NA) becoming NaN, which the caller then names."""
    kind = values.dtype.kind
    if kind in "fiu":
        return values if values.dtype == np.float32 else values.astype(np.float64, copy=False)
    if kind != "O":
        raise ValueError("%s: %s is not numbers (%s)" % (what, label, values.dtype))
    out = np.empty(len(values), dtype=np.float64)
    for row, value in enumerate(values):
        if value is None or value is pd.NA:
            out[row] = np.nan
            continue
        if isinstance(value, (bool, np.bool_)) or not isinstance(value, _NUMBERS):
            raise ValueError("%s: %s is not numbers: %s is %s (%s)"
                             % (what, label, _where(dates, row), short(value), type(value).__name__))
        try:
            out[row] = float(value)
        except OverflowError:
            raise ValueError("%s: %s, %s: %s is beyond float32, the host's numbers"
                             % (what, label, _where(dates, row), short(value))) from None
        except (TypeError, ValueError):  # a signalling Decimal NaN
            raise ValueError("%s: %s, %s: %s is not a number"
                             % (what, label, _where(dates, row), short(value))) from None
    return out


_FLOATS = (np.dtype(np.float64), np.dtype(np.float32))


def plain_price_columns(data, need):
    """The columns `need` of a plain frame of float columns whose index is
    a DatetimeIndex that rises (pandas keeps that answer on the index), as
    arrays, to be checked value by value where they are used; None when any
    of that is not so, and the full reading (bars) then takes them, and
    names any fault."""
    if type(data) is not pd.DataFrame or type(data.index) is not pd.DatetimeIndex:
        return None
    index = data.index
    if not (index.is_monotonic_increasing and index.is_unique) or index.hasnans:
        return None
    try:
        lookup = _lookup(data.columns, need, "")
    except ValueError:
        return None
    if any(name not in lookup for name in need):
        return None
    columns = _columns_of_one_block(data, [lookup[name] for name in need])
    if columns is None:
        columns = [data[lookup[name]].to_numpy() for name in need]
    if any(c.dtype not in _FLOATS or c.ndim != 1 for c in columns):
        return None
    return columns


def _columns_of_one_block(data, names):
    """The columns `names` as views of the frame's values, when pandas holds
    every column as one array of one dtype (a frame of float columns made at
    once usually is): one to_numpy() instead of a Series per column, half
    the package's own time on a 5,000-bar frame. None otherwise (a frame of
    mixed types would be converted whole), or when this pandas does not say
    (the attribute is pandas' own: without it, the column by column way)."""
    if getattr(data, "_is_homogeneous_type", False) is not True:
        return None
    where = [data.columns.get_loc(name) for name in names]
    if any(type(k) is not int for k in where):  # a name on several columns
        return None
    values = data.to_numpy()
    if values.dtype not in _FLOATS:
        return None
    return [values[:, k] for k in where]


def bars(data, need, what, dates_needed=False, optional=()):
    """The columns `need` (and those of `optional` present) of `data`,
    checked: numbers, no NaN or infinity, within float32, volume not
    negative, dates rising."""
    index = None
    dates = instants = None
    if isinstance(data, pd.Series):
        raise TypeError("%s: bars come as a pandas DataFrame, a mapping of columns or a numpy structured array, "
                        "not a Series (one column, %s)" % (what, short(data.name)))
    if isinstance(data, pd.DataFrame):
        frame = data
        index = frame.index
        lookup = _lookup(frame.columns, need, what)
        get = lambda name: frame[lookup[name]].to_numpy()
        # The bars' times: a DatetimeIndex, a PeriodIndex (each period's
        # start), a date column, or an index of text or date objects that is
        # a date on every row. Numbers in the index are labels, not times (a
        # frame sorted by its date column keeps its old, falling, numbers).
        timed = frame.index
        if isinstance(timed, pd.PeriodIndex):
            timed = timed.to_timestamp()
        if isinstance(timed, pd.DatetimeIndex):
            dates, instants = _wall_clock(timed)
            if np.isnat(dates).any():
                raise ValueError("%s: the index, row %d: no date" % (what, np.flatnonzero(np.isnat(dates))[0]))
        elif "date" in lookup:
            dates, instants = _dates_of(frame[lookup["date"]], what)
        else:
            text = _text_dates(frame.index, what)
            if text is not None:
                dates, instants = _wall_clock(text)
    elif isinstance(data, np.ndarray) and data.dtype.names:
        lookup = _lookup(data.dtype.names, need, what)
        get = lambda name: data[lookup[name]]
        if "date" in lookup:
            dates, instants = _dates_of(data[lookup["date"]], what)
    elif hasattr(data, "keys") and hasattr(data, "__getitem__"):
        lookup = _lookup(list(data.keys()), need, what)
        get = lambda name: np.asarray(data[lookup[name]])
        if "date" in lookup:
            dates, instants = _dates_of(data[lookup["date"]], what)
    else:
        raise TypeError("%s: bars come as a pandas DataFrame, a mapping of columns or a numpy structured array, "
                        "not %s" % (what, type(data).__name__))
    for name in need:
        if name not in lookup:
            raise ValueError("%s: no column %r (columns: %s)" % (what, name, _names(lookup.values())))
    if dates_needed and dates is None:
        raise ValueError("%s: the bars need dates: a DatetimeIndex, a PeriodIndex, an index of dates (text or "
                         "date objects) or a 'date' column" % what)

    columns = {}
    length = None
    for name in tuple(need) + tuple(n for n in optional if n in lookup and n not in need):
        values = get(name)
        if values.ndim != 1:
            raise ValueError("%s: column %r is not one-dimensional" % (what, name))
        if length is None:
            length = len(values)
        elif len(values) != length:
            raise ValueError("%s: column %r has %d values, not %d" % (what, name, len(values), length))
        if values.dtype != np.float32:
            values = numbers_of(values, "column %r" % name, what, dates)
        # One pass finds any bad value (NaN compares false); only then is
        # the first one looked for and described.
        if not (np.abs(values) <= _FLOAT32_MAX).all():
            row = int(np.flatnonzero(~(np.abs(values) <= _FLOAT32_MAX))[0])
            if np.isfinite(values[row]):
                raise ValueError("%s: column %r, %s: %r is beyond float32, the host's numbers"
                                 % (what, name, _where(dates, row), float(values[row])))
            raise ValueError("%s: column %r, %s: %s" % (what, name, _where(dates, row), values[row]))
        if name == "volume" and len(values) and values.min() < 0:
            row = int(np.flatnonzero(values < 0)[0])
            raise ValueError("%s: column %r, %s: negative (%r)" % (what, name, _where(dates, row), float(values[row])))
        columns[name] = values
    if dates is not None:
        if length is not None and len(dates) != length:
            raise ValueError("%s: %d dates for %d bars" % (what, len(dates), length))
        if len(instants) > 1 and not (instants[1:] > instants[:-1]).all():
            steps = np.flatnonzero(instants[1:] <= instants[:-1])
            if steps.size:
                row = int(steps[0]) + 1
                # Many dates again: the bars of several symbols, one after
                # another or by date, in one frame.
                unique, counts = np.unique(instants, return_counts=True)
                stacked = np.count_nonzero(counts > 1) > 1
                raise ValueError("%s: %s: dates must rise (row %d is %s)%s"
                                 % (what, _where(dates, row), row - 1, _date_text(dates[row - 1]),
                                    _STACKED if stacked else ""))
    return Bars(columns, dates, index)
