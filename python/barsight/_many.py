"""Many symbols in one call. Bars of several symbols come as

- a long frame: a (symbol, date) MultiIndex, or a 'symbol' (or 'ticker')
  column beside the dates;
- a wide frame: MultiIndex columns of (field, symbol) or (symbol, field);
- a dict of frames, symbol -> bars; or a dict of wide frames, field -> a
  frame with one column per symbol.

Each symbol is computed on its own (on several threads: the calculations
release the GIL) and the answers come back in the shape the bars came in:
a long Series or frame on the same index, a wide frame with one column per
symbol, a dict with the same keys."""
import concurrent.futures
import os

import numpy as np
import pandas as pd

FIELDS = ("open", "high", "low", "close", "volume")
_SYMBOL_COLUMNS = ("symbol", "ticker")


class Parts:
    """The bars of each symbol (name -> single-symbol bars) and how to put
    the answers back in the caller's shape."""

    def __init__(self, parts, rebuild):
        self.parts = parts
        self.rebuild = rebuild


def _is_datelike(index):
    return isinstance(index, (pd.DatetimeIndex, pd.PeriodIndex)) or str(index.name).strip().lower() in (
        "date", "time", "datetime", "timestamp")


def _long(frame, symbols, what):
    """A long frame split by `symbols` (one value per row): each symbol's
    rows in their order, indexed by their dates."""
    codes, names = pd.factorize(symbols, sort=False)
    if (codes < 0).any():
        row = int(np.flatnonzero(codes < 0)[0])
        raise ValueError("%s: row %d has no symbol" % (what, row))
    rows = {name: np.flatnonzero(codes == k) for k, name in enumerate(names)}
    return rows


def split(data, what):
    """Parts for bars of several symbols, or None for one symbol's bars."""
    if isinstance(data, dict) and data and all(isinstance(v, pd.DataFrame) for v in data.values()):
        keys = {str(k).strip().lower() for k in data}
        if keys <= set(FIELDS) | {"date"}:
            # One wide frame per field: the same as MultiIndex columns.
            return split(pd.concat(data, axis=1), what)
        names = list(data)

        def rebuild(answers):
            return {name: answers[name] for name in names}
        return Parts(dict(data), rebuild)
    if not isinstance(data, pd.DataFrame):
        return None
    if isinstance(data.columns, pd.MultiIndex):
        return _wide(data, what)
    if isinstance(data.index, pd.MultiIndex):
        return _long_index(data, what)
    lower = {str(c).strip().lower(): c for c in data.columns}
    symbol = next((lower[c] for c in _SYMBOL_COLUMNS if c in lower), None)
    if symbol is not None:
        return _long_column(data, symbol, what)
    return None


def _long_index(data, what):
    index = data.index
    if index.nlevels != 2:
        raise ValueError("%s: a MultiIndex of %d levels: bars of several symbols take two, (symbol, date)"
                         % (what, index.nlevels))
    dated = [k for k in range(2) if _is_datelike(index.levels[k])]
    if len(dated) != 1:
        raise ValueError("%s: a MultiIndex of two levels needs one of dates and one of symbols (levels: %s, %s)"
                         % (what, index.levels[0].dtype, index.levels[1].dtype))
    date_level = dated[0]
    symbol_level = 1 - date_level
    rows = _long(data, index.get_level_values(symbol_level), what)
    parts = {}
    for name, positions in rows.items():
        part = data.iloc[positions]
        part.index = part.index.get_level_values(date_level)
        parts[name] = part
    return Parts(parts, lambda answers: _put_back(answers, rows, data.index))


def _long_column(data, symbol, what):
    rows = _long(data, data[symbol].to_numpy(), what)
    parts = {name: data.iloc[positions].drop(columns=[symbol]) for name, positions in rows.items()}
    return Parts(parts, lambda answers: _put_back(answers, rows, data.index))


def _put_back(answers, rows, index):
    """Each symbol's answer at its rows of the long frame."""
    first = next(iter(answers.values()))
    order = np.concatenate([rows[name] for name in rows]) if rows else np.zeros(0, dtype=int)
    where = np.empty(len(order), dtype=np.int64)
    where[order] = np.arange(len(order))
    if isinstance(first, pd.DataFrame):
        joined = pd.concat([answers[name].reset_index(drop=True) for name in rows], ignore_index=True)
        out = joined.iloc[where]
        out.index = index
        return out
    if isinstance(first, pd.Series) and isinstance(first.dtype, pd.api.extensions.ExtensionDtype):
        # Classes (Int8 with <NA>) keep their type.
        values = pd.concat([answers[name] for name in rows], ignore_index=True).array[where]
    else:
        values = np.concatenate([np.asarray(answers[name]) for name in rows])[where]
    return pd.Series(values, index=index, name=getattr(first, "name", None))


def _wide(data, what):
    columns = data.columns
    if columns.nlevels != 2:
        raise ValueError("%s: columns of %d levels: bars of several symbols take two, (field, symbol)"
                         % (what, columns.nlevels))
    fielded = [k for k in range(2)
               if {str(v).strip().lower() for v in columns.levels[k]} & {"close", "high", "low", "volume"}]
    if len(fielded) != 1:
        raise ValueError("%s: MultiIndex columns need one level of fields (open, high, low, close, volume) and "
                         "one of symbols" % what)
    field_level = fielded[0]
    symbol_level = 1 - field_level
    names = list(dict.fromkeys(columns.get_level_values(symbol_level)))
    parts = {}
    for name in names:
        part = data.xs(name, axis=1, level=symbol_level)
        # Symbols trade on different days: a row with no field of this
        # symbol is no bar of it.
        parts[name] = part[part.notna().any(axis=1)]

    def rebuild(answers):
        first = next(iter(answers.values()))
        if isinstance(first, pd.DataFrame):
            out = pd.concat({name: answers[name].reindex(data.index) for name in names}, axis=1)
            if field_level == 0:
                out = out.swaplevel(0, 1, axis=1)[list(first.columns)]
            return out
        out = pd.DataFrame({name: _reindexed(answers[name], data.index) for name in names}, index=data.index)
        out.columns.name = columns.names[symbol_level]
        return out
    return Parts(parts, rebuild)


def _reindexed(series, index):
    if len(series) == len(index) and series.index.equals(index):
        return series
    out = series.reindex(index)
    if series.dtype.kind in "iu" and out.isna().any():
        # A symbol without a bar that day has no code: missing, not 0.
        out = series.astype(pd.api.types.pandas_dtype(series.dtype.name.capitalize())).reindex(index)
    return out


def threads():
    return max(1, min(8, os.cpu_count() or 1))


def each(parts, call, what):
    """call(bars) for every symbol's bars, on threads; an error names the
    symbol."""
    def one(item):
        name, bars = item
        try:
            return name, call(bars)
        except (ValueError, TypeError) as error:
            raise type(error)("symbol %r: %s" % (name, error)) from None
    items = list(parts.parts.items())
    if len(items) == 1:
        answers = dict([one(items[0])])
    else:
        with concurrent.futures.ThreadPoolExecutor(max_workers=min(threads(), len(items))) as pool:
            answers = dict(pool.map(one, items))
    return parts.rebuild(answers)


def many(function):
    """A function of one symbol's bars made to take several symbols' bars."""
    import functools

    @functools.wraps(function)
    def call(data, *args, **kwargs):
        parts = split(data, function.__name__)
        if parts is None:
            return function(data, *args, **kwargs)
        return each(parts, lambda bars: function(bars, *args, **kwargs), function.__name__)
    return call
