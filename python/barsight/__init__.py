"""Barsight for Python: the volume spread analysis (VSA) signals of the
Barsight plug-ins, their indicators and the evaluation of what the signals
were followed by, computed by the plug-ins' own code.

Every function takes bars as a pandas DataFrame with open, high, low, close
and volume columns (any case; dates in the index, as a DatetimeIndex, a
PeriodIndex, text or date objects, or in a date column; oldest first), a
mapping of column names to arrays, or a numpy structured array, and answers
a Series aligned with a DataFrame's index (an array otherwise).

Numbers are the charting host's: prices and volumes are rounded to float32
before the calculation, as MetaStock hands them to the plug-in, and results
are float32. So every value equals what the DLL returns for the same bars.
Bad input raises ValueError naming the column and the row (counted from 0,
as DataFrame.iloc counts). The calculations release the GIL and may run on
several threads at once; Ctrl-C ends a long evaluate().

    import barsight, pandas as pd
    bars = pd.read_csv("prices.csv", index_col="date", parse_dates=True)
    codes = barsight.vsa_signals(bars)
    print(codes[codes != 0].map(lambda c: barsight.signal_names[c].name))
    barsight.plot.signals(bars).savefig("signals.png")
"""
import collections
import collections.abc
import datetime
import hashlib
import numbers
import os
from typing import Any, Dict, Iterable, Mapping, Optional, Sequence, Union

import numpy as np
import pandas as pd

from . import _core
from . import _signal_table
from . import _many
from . import _input
from ._files import read_bars
from ._version import __version__
from ._input import _FLOAT32_MAX, _where, bars as _bars, numbers_of as _numbers_of, short as _short

__all__ = ["__version__", "vsa_signals", "signals_frame", "scan", "read_bars", "signal_names", "SignalName", "vsa_trend", "vsa_spread", "vsa_vol_stops",
           "volume_colour", "evaluate", "Feed", "plot"]

# Bars of one symbol or of several: a DataFrame (long or wide), a mapping of
# column names to arrays or of symbols to frames, or a structured array.
Bars = Union[pd.DataFrame, Mapping[Any, Any], np.ndarray]
# A Series on the bars' index (a DataFrame for several symbols or columns),
# an array for array input, or a dict for a dict of frames.
Result = Union[pd.Series, pd.DataFrame, np.ndarray, Dict[Any, Any]]

SignalName = collections.namedtuple("SignalName", "name side")
SignalName.__doc__ = "A signal's name and side: 'strength' (codes above 0) or 'weakness' (below)."

# code -> (name, side), from the one table of the engine's signals; read-only
# (the package's own functions read the private dict).
_SIGNAL_NAMES = {code: SignalName(name, _signal_table.group(code)) for code, name, *_ in _signal_table.SIGNALS}


class _ReadOnlyDict(dict):
    """A dict that cannot be changed; it still prints, pickles (as a plain
    dict) and goes to JSON as one."""

    def _refuse(self, *args, **kwargs):
        raise TypeError("signal_names is read-only (copy it with dict(signal_names))")

    __setitem__ = __delitem__ = __ior__ = clear = pop = popitem = setdefault = update = _refuse

    def copy(self):
        return dict(self)

    def __reduce__(self):
        return dict, (dict(self),)


signal_names = _ReadOnlyDict(_SIGNAL_NAMES)

_PRICE_BARS = ("high", "low", "close", "volume")


def _whole(value, what, low, high):
    """An int argument: an int (any Integral: numpy's too), never a float or
    a Fraction, even one that is whole."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise ValueError("%s must be a whole number from %d to %d, not %s (%s: give an int)"
                         % (what, low, high, _short(value), type(value).__name__))
    if not low <= value <= high:
        raise ValueError("%s must be a whole number from %d to %d, not %s" % (what, low, high, _short(value)))
    return int(value)


def _number(value, what, host=False):
    """A real-number argument as a float; with `host`, one the charting host
    can pass (within float32)."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise ValueError("%s must be a finite number, not %s (%s)" % (what, _short(value), type(value).__name__))
    try:
        number = float(value)
    except OverflowError:
        if host:
            raise ValueError("%s %s is beyond float32, the host's numbers" % (what, _short(value))) from None
        raise ValueError("%s %s is beyond a float's range" % (what, _short(value))) from None
    if not np.isfinite(number):
        raise ValueError("%s must be a finite number, not %s" % (what, _short(value)))
    if host and abs(number) > _FLOAT32_MAX:
        raise ValueError("%s %s is beyond float32, the host's numbers" % (what, _short(value)))
    return number


_STAMPS = ("bar", "known")


def _stamp(stamp):
    if stamp not in _STAMPS:
        raise ValueError("stamp must be 'bar' (each code on the bar it describes) or 'known' (on the bar whose close "
                         "makes it final), not %s" % _short(stamp))
    return stamp


def _moved_to_known(codes):
    """Codes moved one bar on: bar t's code onto bar t + 1, whose close
    makes it final (the first bar has none)."""
    out = np.zeros_like(codes)
    out[1:] = codes[:-1]
    return out


@_many.many
def vsa_signals(data: Bars, periods: int = 9, symbol: Optional[str] = None, stamp: str = "bar") -> Result:
    """Each bar's signal code, known only once the NEXT bar has closed: the
    code of bar t reads bar t + 1's close, so trade on it from bar t + 2's
    open at the earliest (or pass stamp="known", which puts each code on the
    bar whose close makes it final: then the next open is a fair entry).

    The codes are the ones the VSAInd plug-in plots: 0 for the first 16 bars
    (the warm-up) and for the last (its next close is not known yet), else
    the signal found (0 for none). Codes above 0 are signs of strength,
    below 0 of weakness; `signal_names` names them, `signals_frame` gives
    the names, sides, live codes and times together. `periods` is the
    length the averages are taken over (9 as VSAInd, 1 to 10000). Bars of
    several symbols (a long or wide frame, a dict of frames) give one answer
    per symbol, in the same shape. Named vsa_signal_9 (vsa_signal_9_known
    with stamp="known")."""
    periods = _whole(periods, "periods", 1, 10000)
    stamp = _stamp(stamp)
    name = "vsa_signal_%d" % periods if stamp == "bar" else "vsa_signal_%d_known" % periods
    # A plain dated frame of floats goes straight in, its values checked as
    # they are rounded to the host's float32; anything else, or a value that
    # fails, takes the full reading, which names the fault.
    plain = _input.plain_price_columns(data, _PRICE_BARS)
    if plain is not None and len(set(map(len, plain))) == 1 and plain[0].dtype == plain[1].dtype == plain[2].dtype \
            == plain[3].dtype:
        codes = _core.vsa_signals_checked(*(np.ascontiguousarray(c) for c in plain), periods)
        if codes is not None:
            if stamp == "known":
                codes = _moved_to_known(codes)
            return pd.Series(codes, index=data.index, name=name, copy=False)
    b = _bars(data, _PRICE_BARS, "vsa_signals")
    codes = _core.vsa_signals(b.float32("high"), b.float32("low"), b.float32("close"), b.float32("volume"),
                              periods, symbol)
    if stamp == "known":
        codes = _moved_to_known(codes)
    return b.result(codes, name)


def _names_and_sides(codes):
    """Each code's name and side ("" for 0)."""
    unique, where = np.unique(codes, return_inverse=True)
    names = np.array([_name_of(int(c)) if c else "" for c in unique], dtype=object)
    sides = np.array(["strength" if c > 0 else "weakness" if c < 0 else "" for c in unique], dtype=object)
    return names[where], sides[where]


# The background columns of signals_frame: (name, kind), int8 for the
# trends and sides, int32 for the climax's age (missing when none), float64
# for the levels (NaN when none).
_BACKGROUND = (("trend_short", "Int8"), ("trend_mid", "Int8"), ("trend_long", "Int8"), ("climax_side", "Int8"),
               ("climax_age", "Int32"), ("range_side", "Int8"), ("range_low", "float64"),
               ("range_high", "float64"), ("support", "float64"), ("resistance", "float64"),
               ("spread_to_average", "float64"), ("volume_to_average", "float64"), ("close_position", "float64"))


def _background_columns(found, moved):
    """The engine's background arrays as signals_frame's columns; with
    `moved`, each moved one bar on (the first row has none)."""
    columns = {}
    for name, kind in _BACKGROUND:
        values = np.asarray(found[name])
        if kind == "float64":
            values = values.astype(np.float64)
            if moved:
                values = np.concatenate([[np.nan], values[:-1]]) if len(values) else values
            columns[name] = values
            continue
        missing = values < 0 if name == "climax_age" else np.zeros(len(values), dtype=bool)
        if moved and len(values):
            values = np.concatenate([values[:1], values[:-1]])
            missing = np.concatenate([[True], missing[:-1]])
        columns[name] = pd.arrays.IntegerArray(values.astype(kind.lower()), missing)
    return columns


@_many.many
def signals_frame(data: Bars, periods: int = 9, stamp: str = "bar") -> Result:
    """Each bar's signal as it becomes known: a bar's code is final at the
    close of the bar after it (column known_at); at its own close a live
    chart showed the provisional code, which that next close may change.

    One row per bar (on the bars' index), columns:
      code         the final code (vsa_signals), 0 for none
      name, side   the signal's name and "strength" or "weakness" ("" for 0)
      provisional  the code shown at the bar's own close, the next close
                   not yet known (what a live chart or Feed.push showed)
      known_at     the time of the bar whose close makes the code final:
                   the next bar's (its date, or its index label when the
                   bars have no dates); missing on the last bar
    and the background the engine judged the bar against, made from the
    bars before it (the bar's own close only places it among the levels),
    so known at the bar's close:
      trend_short, trend_mid, trend_long    (Int8) the three trend degrees:
                   the mean of the last N closes against the last 3N, of 3N
                   against 9N, of 9N against 27N (N = periods); 1 up,
                   -1 down, 0 flat or not known yet
      climax_side  (Int8) the latest climactic bar within the last 3N bars:
                   1 strength (a selling climax or stopping volume),
                   -1 weakness (a buying climax or an upthrust), 0 none
      climax_age   (Int32) bars since that bar; <NA> when there is none
      range_side   (Int8) the trading range in force: 1 accumulation (set
                   by a selling climax and the rally after it), -1
                   distribution (a buying climax and the reaction after
                   it), 0 none
      range_low, range_high   (float64) that range's bounds, NaN without one
      support, resistance     (float64) the nearest level below and above
                   the close (the highs and lows of the last four wide bars
                   on high volume), NaN when there is none
    and the bar itself as the rules measured it:
      spread_to_average   (float64) its spread (high - low) over the mean
                   spread of the N bars before it (1.5 and more is "wide",
                   under 0.8 "narrow")
      volume_to_average   (float64) its volume over the mean volume of the
                   N bars before it (1.5 and more is "high", 2.2 "ultra-high")
      close_position      (float64) where it closed in its range, 0 at the
                   low to 1 at the high (0.5 when high equals low)
    (NaN where an average is 0.)
    The last bar has its background too (a live chart reads it at that
    bar's close), though its code is 0. Feed.background() gives the same
    bar by bar.

    stamp="known" puts every final code on the bar where it becomes known:
    row t then holds the code of bar t - 1 (code, name, side, and the
    background it was judged against), signal_at names that bar, and
    provisional stays the row's own live code; a strategy that acts on
    row t at bar t + 1's open looks at nothing it could not have seen.
    `periods` as for vsa_signals. Bars of several symbols give each
    symbol's own rows, its background made from its own bars only."""
    periods = _whole(periods, "periods", 1, 10000)
    stamp = _stamp(stamp)
    b = _bars(data, _PRICE_BARS, "signals_frame")
    columns = [b.float32(k) for k in ("high", "low", "close", "volume")]
    found = _core.vsa_background(*columns, periods)
    code = np.asarray(found["code"])
    provisional = np.asarray(_core.vsa_provisional(*columns, periods))
    index = b.index if b.index is not None else pd.RangeIndex(len(b))
    # The times are the index's when it holds them, else the date column's
    # (else the rows' labels).
    if isinstance(index, (pd.DatetimeIndex, pd.PeriodIndex)) or b.dates is None:
        labels = pd.Series(index, index=index)
    else:
        labels = pd.Series(pd.DatetimeIndex(b.dates), index=index)
    if stamp == "bar":
        name, side = _names_and_sides(code)
        frame = pd.DataFrame({"code": code, "name": name, "side": side, "provisional": provisional}, index=index)
        frame["known_at"] = labels.shift(-1)
    else:
        code = _moved_to_known(code)
        name, side = _names_and_sides(code)
        frame = pd.DataFrame({"code": code, "name": name, "side": side, "provisional": provisional}, index=index)
        frame["signal_at"] = labels.shift(1)
    for name, values in _background_columns(found, stamp == "known").items():
        frame[name] = values
    frame.attrs["periods"] = periods
    frame.attrs["stamp"] = stamp
    return frame


def _calculate(b, name, numerics, arrays=()):
    zeros = None
    columns = []
    for column in _PRICE_BARS:
        if column in b.columns:
            columns.append(b.float32(column))
        else:
            if zeros is None:
                zeros = np.zeros(len(b), dtype=np.float32)
            columns.append(zeros)
    return _core.calculate(name, *columns, numerics=[float(np.float32(v)) for v in numerics], arrays=list(arrays))


@_many.many
def vsa_trend(data: Bars, periods: float) -> Result:
    """The trend line: the average of each bar's typical price, (high + low
    + close) / 3, over the last `periods` bars; NaN until that many bars are
    there. `periods` is cut to a whole number (2.9 gives 2, as the chart
    passes it); it must be at least 1 and below the number of bars. Named
    vsa_trend_20 for 20 bars."""
    b = _bars(data, ("high", "low", "close"), "vsa_trend")
    return b.result(_calculate(b, "VSATrend", [_number(periods, "periods", host=True)]),
                    "vsa_trend_%d" % int(np.float32(_number(periods, "periods", host=True))))


_SPREAD_MODES = {"volume": 0, "range": 1}


def _classes(values):
    """Classes as small whole numbers, pandas' missing value (<NA>) where
    the plug-in gives none."""
    values = np.asarray(values)
    out = pd.array(np.where(np.isnan(values), 0, values).astype(np.int8), dtype="Int8")
    out[np.isnan(values)] = pd.NA
    return out


@_many.many
def vsa_spread(data: Bars, mode: Union[str, int], periods: float) -> Result:
    """How big each bar's volume (mode "volume" or 0) or range, high minus
    low (mode "range" or 1), is against its average over the last `periods`
    bars, as a class from 0 (far below the average) to 6 (far above);
    missing (<NA>) until a full window of bars is there. Classes come as
    pandas' Int8 (a numpy array of float32 with NaN for array input, as
    before). The result is named after its arguments, vsa_spread_volume_30."""
    if isinstance(mode, str):
        if mode not in _SPREAD_MODES:
            raise ValueError("mode must be 'volume', 'range', 0 or 1, not %r" % mode)
        mode = _SPREAD_MODES[mode]
    mode = _number(mode, "mode", host=True)
    need = ("high", "low", "close", "volume") if int(mode) == 0 else ("high", "low", "close")
    b = _bars(data, need, "vsa_spread")
    periods = _number(periods, "periods", host=True)
    values = _calculate(b, "VSASpread", [mode, periods])
    if b.index is None:
        return values
    return b.result(_classes(values), "vsa_spread_%s_%d" % ("volume" if int(mode) == 0 else "range",
                                                            int(np.float32(periods))))


def _stop_sides(close, atr, first, last, multiplier):
    """Which side each bar's stop line is on: 1 long (the line below the
    close), -1 short (above), 0 before the ATR is valid. The stop line's own
    walk over the bars (the plug-in's, in the same doubles), since a line
    equal to the close does not say which side it is on."""
    n = len(close)
    side = np.zeros(n, dtype=np.int8)
    line = np.full(n, np.nan, dtype=np.float32)
    last = min(last, n - 1)
    if first > last or first < 0:
        return side, line
    m = float(np.float32(multiplier))
    close = close.astype(np.float64)
    d = np.float64(atr[first]) * m
    upper = close[first] + d
    lower = close[first] - d
    is_long = is_short = True
    for i in range(first, last + 1):
        d = np.float64(atr[i]) * m
        c = close[i]
        up, down = c + d, c - d
        if up < upper:
            upper = up
        if down > lower:
            lower = down
        if c < lower and is_long:
            is_long, is_short, upper = False, True, up
        if c > upper and is_short:
            is_long, is_short, lower = True, False, down
        side[i] = 1 if is_long else -1
        line[i] = lower if is_long else upper
    return side, line


@_many.many
def vsa_vol_stops(data: Bars, multiplier: float = 2.5, atr_periods: int = 14,
                  atr: Union[pd.Series, np.ndarray, Sequence[float], None] = None, side: bool = False) -> Result:
    """A trailing stop line `multiplier` x ATR from the close: below the
    price while long, it rises with the close and never falls; when a close
    falls through it the side turns short and the line jumps above the
    price, falling with the close and never rising, until a close rises
    through it. The ATR (average true range) is Wilder's over `atr_periods`
    bars, as the charting host computes ATR(periods) for the plug-in, unless
    `atr` gives one: a Series, taken by the bars' index (it needs a value
    for every bar), or an array as long as the bars; never negative, NaN
    where it is not valid yet. The line is NaN before the ATR is valid.

    Named vsa_vol_stops_2.5_14 (vsa_vol_stops_2.5_atr with a given ATR).
    side=True answers a DataFrame instead: column stop (the line) and
    column side, 1 long (the stop below the price) or -1 short (above), <NA>
    where there is no line (for array input, a dict of two arrays, side 0
    there)."""
    b = _bars(data, ("high", "low", "close"), "vsa_vol_stops")
    multiplier = _number(multiplier, "multiplier", host=True)
    if atr is None:
        periods = _whole(atr_periods, "atr_periods", 1, 10000)
        values, first = _core.wilder_atr(b.float32("high"), b.float32("low"), b.float32("close"), periods)
    else:
        values = _atr_values(atr, b)
        valid = np.flatnonzero(~np.isnan(values))
        if valid.size and valid[-1] - valid[0] + 1 != valid.size:
            row = int(valid[0] + np.flatnonzero(np.isnan(values[valid[0]:]))[0])
            raise ValueError("vsa_vol_stops: atr, row %d: NaN after its first valid value" % row)
        beyond = np.flatnonzero(np.abs(values[valid]) > _FLOAT32_MAX)
        if beyond.size:
            row = int(valid[beyond[0]])
            raise ValueError("vsa_vol_stops: atr, row %d: %r is beyond float32, the host's numbers"
                             % (row, float(values[row])))
        negative = np.flatnonzero(values[valid] < 0)
        if negative.size:
            row = int(valid[negative[0]])
            raise ValueError("vsa_vol_stops: atr, row %d: negative (%r)" % (row, float(values[row])))
        # No valid value at all: the whole range is before the first valid one.
        first = int(valid[0]) if valid.size else len(b)
        values = np.nan_to_num(values, nan=0.0).astype(np.float32)
    last = len(b) - 1
    result = _calculate(b, "VSAVolStops", [multiplier], [(values, first, last)])
    name = "vsa_vol_stops_%s_%s" % (_short_number(multiplier), "atr" if atr is not None else atr_periods)
    if not side:
        return b.result(result, name)
    sides, _ = _stop_sides(b.float32("close"), np.asarray(values, dtype=np.float32), first, last, multiplier)
    if b.index is None:
        return {"stop": result, "side": sides}
    where = pd.array(sides, dtype="Int8")
    where[np.asarray(np.isnan(result))] = pd.NA
    return pd.DataFrame({"stop": result, "side": where}, index=b.index)


def _short_number(value):
    """A number as the host shows it: 2.5, 3 (the float32 the plug-in gets)."""
    return "%g" % float(np.float32(value))


def _atr_values(atr, b):
    """The ATR argument, one float64 per bar: a Series by the bars' index
    (by position when the bars have none), anything else by position."""
    if isinstance(atr, pd.Series) and b.index is not None:
        if not atr.index.is_unique:
            label = atr.index[atr.index.duplicated()][0]
            raise ValueError("vsa_vol_stops: atr's index holds %s twice" % _short(label))
        missing = np.flatnonzero(~b.index.isin(atr.index))
        if missing.size == len(b) and len(b):
            raise ValueError("vsa_vol_stops: atr's index shares no label with the bars' (pass atr.to_numpy() to "
                             "take it by position)")
        if missing.size:
            row = int(missing[0])
            where = _where(b.dates, row) if b.dates is not None else "row %d (%s)" % (row, _short(b.index[row]))
            raise ValueError("vsa_vol_stops: atr has no value for the bars' %s (bars without one: %d)"
                             % (where, missing.size))
        atr = atr.reindex(b.index)
    values = np.asarray(atr)
    if values.shape != (len(b),):
        raise ValueError("vsa_vol_stops: atr has %s values, not %d" % (values.shape, len(b)))
    return _numbers_of(values, "atr", "vsa_vol_stops")


@_many.many
def volume_colour(data: Bars) -> Result:
    """What each volume bar's colour on the chart says: 1 (grey) the volume
    is below both bars before it; else 2 (red) the close fell from the bar
    before, 3 (green) it rose, 4 (blue) it did not change. The first two
    bars have no two bars before them: 0. Values are taken as given (the
    trading client passes doubles); plot.VOLUME_LABELS says the same in
    words."""
    b = _bars(data, ("close", "volume"), "volume_colour")
    return b.result(_core.volume_colour(b.columns["volume"], b.columns["close"]), "volume_colour")


_ENTRIES = ("open", "close", "same")
# The fewest bootstrap replicates a 95% interval is drawn from (msxhost's).
_MIN_REPLICATES = _core.MIN_REPLICATES
_BASELINES = ("file", "file-year", "date")
# The columns of msxhost evaluate's CSV, units in their names (percent or a
# fraction 0 to 1).
_COLUMNS = ["code", "name", "horizon", "cases", "episodes", "dates", "mean_pct", "median_pct", "hit_rate_frac",
            "base_mean_pct", "base_hit_rate_frac", "diff_pct", "signed_diff_pct", "se_pct", "t", "p", "ci_low_pct", "ci_high_pct",
            "mde_pct", "adj_ci_low_pct", "adj_ci_high_pct", "p_adjusted", "baseline"]


def _name_of(code, names=None):
    if names and code in names:
        return str(names[code])
    return _SIGNAL_NAMES[code].name if code in _SIGNAL_NAMES else "code %d" % code


# Where a case enters and leaves, as bars after the bar its code stands on in
# the engine's timing (t, known at t + 1): entry="open" enters at open[t+2]
# and leaves at close[t+1+h], "close" enters at close[t+1], "same" at
# close[t] and leaves at close[t+h].
_ENTRY_BARS = {"open": (2, "open", 1), "close": (1, "close", 1), "same": (0, "close", 0)}


def _events(name, chart, dates, lag, horizons, entry, names):
    """One row per case of a chart: where its code stands, when it became
    known, where it entered and left, and its return in percent."""
    days, minutes, o, c, codes = chart
    n = len(codes)
    at = np.flatnonzero(codes)
    rows = []
    step, price, leave = _ENTRY_BARS[entry]
    for h in horizons:
        enter = at + step
        leave_at = at + leave + h
        inside = (leave_at < n) & (enter < n)
        t, enter, leave_at = at[inside], enter[inside], leave_at[inside]
        entry_price = (o if price == "open" else c)[enter]
        exit_price = c[leave_at]
        valid = (entry_price > 0) & (exit_price > 0)
        t, enter, leave_at, entry_price, exit_price = (x[valid] for x in (t, enter, leave_at, entry_price,
                                                                          exit_price))
        # The code stands lag - 1 bars after the bar it describes, so that it
        # is known where the engine's own codes are: one bar on.
        signal = t - (lag - 1)
        rows.append(pd.DataFrame({
            "symbol": name, "code": codes[t], "horizon": h,
            "signal_date": dates[signal], "known_date": dates[signal + lag],
            "entry_date": dates[enter], "entry_price": entry_price,
            "exit_date": dates[leave_at], "exit_price": exit_price,
            "return_pct": 100.0 * (exit_price / entry_price - 1.0)}))
    events = pd.concat(rows, ignore_index=True) if rows else pd.DataFrame()
    events.insert(2, "name", [_name_of(int(k), names) for k in events["code"]])
    return events


def _evaluation(named, charts, events, horizons, entry, baseline, min_count, min_episodes, bootstrap, seed,
                names):
    out = _core.evaluate([(name,) + chart for name, chart in zip([n for n, _ in named], charts)], horizons, entry,
                         baseline, min_count, min_episodes, bootstrap, seed)
    table = pd.DataFrame({c: out[c] for c in _COLUMNS if c not in ("name", "baseline", "signed_diff_pct")})
    table.insert(1, "name", [_name_of(c, names) for c in table["code"]])
    # In the signal's direction: up for strength, down for weakness.
    table["signed_diff_pct"] = np.sign(table["code"]) * table["diff_pct"]
    table["baseline"] = baseline
    table = table[_COLUMNS]
    for key in ("method", "baseline", "family", "critical", "files", "bar_dates", "intraday", "left_out",
                "block_length", "blocks", "notes"):
        table.attrs[key] = out[key]
    table.attrs["by_file"] = pd.DataFrame(
        [(code, _name_of(code, names), h, name, n)
         for code, h, counts in zip(out["code"], out["horizon"], out["per_file"])
         for (name, _), n in zip(named, counts)], columns=["code", "name", "horizon", "frame", "cases"])
    table.attrs["events"] = events
    table.attrs["horizons"] = horizons
    table.attrs["entry"] = entry
    return table


def _part(chart, day, before):
    """The bars of a chart before `day` or from it on (msxhost evaluate
    --split): a case of the earlier part never reaches into the later."""
    keep = (chart[0] < day) == before
    return tuple(a[keep] if len(a) else a for a in chart), keep


def evaluate(frames: Union[Bars, Sequence[pd.DataFrame]], horizons: Iterable[int] = (1, 5, 10, 20),
             entry: str = "open", bootstrap: int = 2000, seed: int = 1, min_count: int = 30, periods: int = 9,
             codes: Optional[str] = None, baseline: str = "file", min_episodes: int = 20,
             split: Union[str, datetime.date, None] = None, known: int = 1,
             names: Optional[Mapping[int, str]] = None, by_symbol: bool = False) -> pd.DataFrame:
    """What each signal code was followed by over a watchlist, as
    `msxhost evaluate --csv` reports it (the same numbers for the same seed).

    `frames`: a DataFrame, a list of them or a dict name -> DataFrame (or
    the bars of many symbols as the other functions take them), each with
    open and close (and high, low, volume for the signals) and rising dates
    (daily, or with a time of day for intraday bars: the bootstrap then
    resamples bar times).
    `codes`: None for vsa_signals(frame, periods), or the name of a column
    of each frame holding whole-number codes (0 for none); `known` is how
    many bars after its own bar such a code becomes known (1: at the next
    close, as the engine's codes; 0: at the bar's own close) and `names`
    names codes ({code: name}).
    `entry`, with t the bar the code becomes known on minus one (the
    signal bar for the engine's codes) and h the horizon:
      "open"   buys open[t+2], sells close[t+1+h]: the first price after
               the code is known;
      "close"  buys close[t+1], the close that made it known (optimistic);
      "same"   buys close[t], sells close[t+h] (look-ahead, only to show
               how much it flatters).
    For each case, return = 100 * (sell / buy - 1) percent; a cell's
    mean_pct is the mean of its cases' returns, base_mean_pct the mean of
    each case's baseline, diff_pct = mean_pct - base_mean_pct, and
    signed_diff_pct = sign(code) * diff_pct (above 0 when prices moved the
    signal's way: up after strength, down after weakness; hit_rate_frac
    counts the cases that moved that way). t = diff / se, se from a block
    bootstrap over dates; p two-sided; ci_* the 95% interval; adj_* and
    p_adjusted hold over every cell of the run (Romano-Wolf).
    `baseline`: each case is judged against its own file's mean return at
    that horizon ("file"), its file's in the same year ("file-year") or the
    frames' mean on the same date ("date", two frames or more).
    Statistics need `min_count` cases and `min_episodes` episodes (runs of
    a code on consecutive bars).
    `split`: a date (YYYY-MM-DD): the bars before it and from it on
    evaluated apart, as msxhost evaluate --split (column period: "before",
    "after"); no case of the first part reaches into the second.
    `by_symbol`: attrs["by_symbol"] holds the same table for each frame on
    its own (column symbol; with baseline "date", which needs two frames,
    each is judged against its own file).

    Returns a DataFrame of one row per code and horizon (units in the
    names: _pct percent, _frac 0 to 1; NaN where a cell has too few cases
    or episodes); its `attrs` hold the run's figures: method, baseline,
    family, critical, files, bar_dates, intraday, left_out, block_length,
    blocks, notes (per frame: bars, moves above 40%, opens equal to the
    previous close), by_file (the cases of every cell per frame) and events
    (one row per case: symbol, code, name, horizon, signal_date, known_date,
    entry and exit date and price, return_pct).

    A frame given twice (the same object, or the same bars under another
    name) is refused: its cases would count twice. `bootstrap` is at least
    200 replicates, each horizon is given once. Ctrl-C ends a long run."""
    parts = _many.split(frames, "evaluate") if isinstance(frames, (pd.DataFrame, dict)) else None
    if parts is not None:
        named = [(str(k), v) for k, v in parts.parts.items()]
    elif isinstance(frames, (pd.DataFrame, pd.Series)):
        named = [("frame", frames)]
    elif isinstance(frames, dict):
        named = [(str(k), v) for k, v in frames.items()]
    else:
        named = [("frame %d" % k, v) for k, v in enumerate(frames)]
    if not named:
        raise ValueError("evaluate: no frames")
    seen = set()
    for name, _ in named:
        if name in seen:
            raise ValueError("evaluate: two frames are named %s" % _short(name))
        seen.add(name)
    if isinstance(horizons, (str, bytes)) or not isinstance(horizons, collections.abc.Iterable):
        raise ValueError("horizons must be a list of whole numbers, not %s" % _short(horizons))
    horizons = [_whole(h, "each horizon", 1, 10000) for h in horizons]
    if not horizons:
        raise ValueError("evaluate: no horizons")
    if len(set(horizons)) != len(horizons):
        twice = next(h for k, h in enumerate(horizons) if h in horizons[:k])
        raise ValueError("horizons: %d is given twice (each horizon once: a repeat would repeat its rows and "
                         "count in the family twice)" % twice)
    if entry not in _ENTRIES:
        raise ValueError("entry must be 'open', 'close' or 'same', not %s" % _short(entry))
    if baseline not in _BASELINES:
        raise ValueError("baseline must be 'file', 'file-year' or 'date', not %s" % _short(baseline))
    bootstrap = _whole(bootstrap, "bootstrap", 0, _core.MAX_REPLICATES)
    if bootstrap < _MIN_REPLICATES:
        raise ValueError("bootstrap must be at least %d replicates, not %d: too few for a 95%% interval (its ends "
                         "are the 2.5%% and 97.5%% points of the replicates; fewer than %d leave under 5 beyond "
                         "each end)" % (_MIN_REPLICATES, bootstrap, _MIN_REPLICATES))
    seed = _whole(seed, "seed", 0, 2**63 - 1)
    min_count = _whole(min_count, "min_count", 1, 2**31 - 1)
    min_episodes = _whole(min_episodes, "min_episodes", 1, 2**31 - 1)
    periods = _whole(periods, "periods", 1, 10000)
    known = _whole(known, "known", 0, 10000)
    if codes is None and known != 1:
        raise ValueError("known: the engine's codes are known one bar after their own (known=1); another lag "
                         "is for a codes column")
    if names is not None:
        if not isinstance(names, collections.abc.Mapping):
            raise ValueError("names must be a dict of code -> name, not %s" % _short(names))
        names = {_whole(k, "a code in names", -10**6, 10**6): str(v) for k, v in names.items()}
    split_day = None
    if split is not None:
        try:
            split_day = np.datetime64(pd.Timestamp(split).normalize().date(), "D").astype(np.int64)
        except (ValueError, TypeError) as error:
            raise ValueError("split must be a date (YYYY-MM-DD), not %s (%s)" % (_short(split), error)) from None
    by_symbol = bool(by_symbol)
    charts, all_dates = [], []
    bars_of = {}  # a digest of each frame's dates, opens and closes -> its name
    for name, frame in named:
        what = "evaluate: %s" % name
        need = ("open", "close") if codes is not None else ("open", "high", "low", "close", "volume")
        b = _bars(frame, need, what, dates_needed=True)
        days = b.dates.astype("datetime64[D]")
        minutes = (b.dates.astype("datetime64[m]") - days.astype("datetime64[m]")).astype(np.int64)
        stamps = b.dates.astype("datetime64[m]")
        if len(days) > 1:
            steps = np.flatnonzero(stamps[1:] <= stamps[:-1])
            if steps.size:
                raise ValueError("%s: row %d (%s): the row before is at the same time (one bar a day, or a "
                                 "time of day on intraday bars)" % (what, steps[0] + 1, stamps[steps[0] + 1]))
        if codes is None:
            signal = vsa_signals(b.columns, periods)
        else:
            column = {str(c).strip().lower(): c for c in frame.columns}.get(str(codes).strip().lower())
            if column is None:
                raise ValueError("%s: no column %r of codes" % (what, codes))
            signal = _numbers_of(frame[column].to_numpy(), "column %r" % column, what, b.dates)
            whole = np.isfinite(signal) & (signal == np.floor(signal)) & (np.abs(signal) <= 1e6)
            if not whole.all():
                row = int(np.flatnonzero(~whole)[0])
                raise ValueError("%s: column %r, row %d: %r is not a whole-number code" % (what, column, row,
                                                                                         signal[row]))
            signal = np.asarray(signal, dtype=np.int32)
            if known == 0 and len(signal) and signal[0] != 0:
                raise ValueError("%s: column %r, row 0: a code known at its own bar's close is bought at the next "
                                 "open, which the statistics take from the bar before: row 0 has none (drop the "
                                 "row or its code)" % (what, column))
            # Placed where the engine's codes stand: one bar before the bar
            # they become known on.
            moved = np.zeros_like(signal)
            shift = known - 1
            if shift >= 0:
                moved[shift:] = signal[:len(signal) - shift]
            else:
                moved[:-1] = signal[1:]
            signal = moved
        # The host's prices: float32, then the double the statistics take.
        intraday = bool(minutes.any())
        chart = (days.astype(np.int64), minutes.astype(np.int32) if intraday else np.zeros(0, np.int32),
                 b.float32("open").astype(np.float64), b.float32("close").astype(np.float64))
        digest = hashlib.sha256(np.int64(len(days)).tobytes())
        for array in chart:
            digest.update(np.ascontiguousarray(array).view(np.uint8))
        same = bars_of.setdefault(digest.digest(), name)
        if same != name:
            raise ValueError("%s has the same bars as %s: each chart once (its cases would count twice)"
                             % (what, _short(same)))
        charts.append(chart + (np.asarray(signal, dtype=np.int32),))
        all_dates.append(pd.DatetimeIndex(b.dates))
    lag = known if codes is not None else 1

    def run(named_here, charts_here, dates_here, baseline_here):
        events = pd.concat([_events(n, ch, d, lag, horizons, entry, names)
                            for (n, _), ch, d in zip(named_here, charts_here, dates_here)], ignore_index=True)
        return _evaluation(named_here, charts_here, events, horizons, entry, baseline_here, min_count,
                           min_episodes, bootstrap, seed, names)

    def periods_of(named_here, charts_here, dates_here, baseline_here):
        if split_day is None:
            return run(named_here, charts_here, dates_here, baseline_here)
        tables = []
        for period, before in (("before", True), ("after", False)):
            kept = [(n, _part(ch, split_day, before), d) for n, ch, d in zip(named_here, charts_here, dates_here)]
            kept = [(n, ch, d[keep]) for n, (ch, keep), d in kept if keep.any()]
            if not kept:
                continue
            table = run([n for n, _, _ in kept], [ch for _, ch, _ in kept], [d for _, _, d in kept],
                        baseline_here)
            table["period"] = period
            table.attrs["by_file"] = table.attrs["by_file"].assign(period=period)
            table.attrs["events"] = table.attrs["events"].assign(period=period)
            tables.append(table)
        if not tables:
            raise ValueError("evaluate: no bars on either side of the split %s" % _short(split))
        whole = pd.concat(tables, ignore_index=True)
        whole.attrs = dict(tables[-1].attrs)
        whole.attrs["by_period"] = {t["period"].iloc[0]: {k: v for k, v in t.attrs.items()} for t in tables
                                    if len(t)}
        for key in ("by_file", "events"):
            whole.attrs[key] = pd.concat([t.attrs[key] for t in tables], ignore_index=True)
        whole.attrs["split"] = str(pd.Timestamp(split).date())
        return whole

    table = periods_of(named, charts, all_dates, baseline)
    if by_symbol:
        own = "file" if baseline == "date" else baseline
        table.attrs["by_symbol"] = pd.concat(
            [periods_of([one], [chart], [dates], own).assign(symbol=one[0])
             for one, chart, dates in zip(named, charts, all_dates)], ignore_index=True)
        columns = table.attrs["by_symbol"].columns
        table.attrs["by_symbol"] = table.attrs["by_symbol"][["symbol"] + [c for c in columns if c != "symbol"]]
    return table


def scan(data: Union[Bars, str, os.PathLike, Sequence[Union[str, os.PathLike]]], periods: int = 9) -> pd.DataFrame:
    """A screen of the newest bar of each symbol, as a live chart shows it
    now: one row per symbol with
      date         the newest bar's time
      provisional  its code at its close (the next close may change it;
                   vsa_signals gives 0 there until then), name and side
      final_date, final_code, final_name
                   the bar before it and its code, final now that the
                   newest bar has closed

    `data`: bars of one or many symbols as the other functions take them
    (a dict of frames, a long or wide frame), or file paths (a path or a
    list of paths, read by read_bars; the symbol is the file's name)."""
    import os
    if isinstance(data, (str, os.PathLike)):
        data = [data]
    if isinstance(data, (list, tuple)) and all(isinstance(p, (str, os.PathLike)) for p in data):
        if not data:
            raise ValueError("scan: no files")
        data = {os.fspath(p): read_bars(p) for p in data}
    parts = _many.split(data, "scan")
    if parts is None:
        parts = _many.Parts({"frame": data}, None)
    periods = _whole(periods, "periods", 1, 10000)

    def newest(bars):
        frame = signals_frame(bars, periods)
        if len(frame) == 0:
            raise ValueError("scan: no bars")
        last = frame.iloc[-1]
        before = frame.iloc[-2] if len(frame) > 1 else None
        provisional = int(last["provisional"])
        # The bars' times, from the index or a date column (known_at
        # holds each bar's successor's).
        times = list(frame["known_at"].iloc[:-1])
        times = ([frame.index[0]] + times) if len(frame) > 1 else [frame.index[0]]
        return {"date": times[-1],
                "provisional": provisional,
                "name": _name_of(provisional) if provisional else "",
                "side": "strength" if provisional > 0 else "weakness" if provisional < 0 else "",
                "final_date": times[-2] if before is not None else None,
                "final_code": int(before["code"]) if before is not None else 0,
                "final_name": before["name"] if before is not None else ""}

    answers = _many.each(_many.Parts(parts.parts, lambda a: a), newest, "scan")
    table = pd.DataFrame.from_dict(answers, orient="index")
    table.index.name = "symbol"
    return table


class Feed:
    """The signals of bars arriving one at a time, as a live chart computes
    them (the MetaTrader indicator runs the same calculation).

    push(bar) takes the newest closed bar and answers its provisional code
    (its next close not known yet); once the next bar closes, revise(close)
    answers the same bar's code judged with that close: the code
    vsa_signals gives that bar. Push the new bar after revising the one
    before. Codes are 0 for the first 16 bars, as VSAInd's. With float32
    (the default) the values are rounded as the charting host rounds them,
    so the codes equal vsa_signals; float32=False keeps doubles, as
    MetaTrader passes them.

        feed = barsight.Feed()
        for k, bar in enumerate(bars.itertuples()):
            if k:
                confirmed = feed.revise(bar.close)  # the code of bar k - 1
            provisional = feed.push(bar)
    """

    def __init__(self, periods: int = 9, float32: bool = True) -> None:
        self._periods = _whole(periods, "periods", 1, 10000)
        self._float32 = bool(float32)
        self._feed = _core.Feed(self._periods, self._float32)
        self._history = []  # (high, low, close, volume) of every bar pushed
        self._time = None   # the newest bar's time, when pushes give times

    @classmethod
    def from_history(cls, bars: Bars, periods: int = 9, float32: bool = True) -> "Feed":
        """A feed that has taken every bar of `bars` (as vsa_signals takes
        them, dates included): ready for the next bar to be pushed."""
        b = _bars(bars, _PRICE_BARS, "Feed.from_history")
        feed = cls(periods, float32)
        columns = [b.columns[k] for k in _PRICE_BARS]
        for row in zip(*columns):
            feed._take([float(v) for v in row])
        if b.dates is not None and len(b):
            feed._time = pd.Timestamp(b.dates[-1])
        return feed

    @property
    def bars(self) -> int:
        """How many bars were pushed."""
        return self._feed.bars

    @property
    def time(self) -> Optional[pd.Timestamp]:
        """The newest bar's time (None when the pushes gave none)."""
        return self._time

    def _take(self, values):
        self._history.append(tuple(values))
        return self._feed.push(*values)

    def _values(self, bar, fields, number, what):
        values = _bar_fields(bar, fields, number)
        if self._float32:
            for name, value in zip(("high", "low", "close", "volume"), values):
                if abs(value) > _FLOAT32_MAX:
                    raise ValueError("%s: bar %d: %r is %r, beyond float32, the host's numbers"
                                     % (what, number, name, value))
        return values

    def push(self, bar: Any = None, time: Any = None, **fields: float) -> int:
        """Takes the newest closed bar and answers its provisional code.
        The bar: a mapping or Series (keys in any case), an object with
        attributes (a namedtuple from itertuples), a tuple (open, high, low,
        close, volume), or high=, low=, close=, volume= keywords. `time`
        (or the bar's date or time field, or a Series' name) is the bar's
        time: a bar at the newest bar's time or before it is refused (the
        same bar pushed twice would count as a new one; update() changes
        the newest bar)."""
        when = _bar_time(bar, time)
        if when is not None and self._time is not None and when <= self._time:
            raise ValueError("push: bar %d at %s is %s the newest bar's time (%s): a bar already taken (to change "
                             "the newest bar, call update)" % (self._feed.bars, when,
                                                              "at" if when == self._time else "before", self._time))
        values = self._values(bar, fields, self._feed.bars, "push")
        code = self._take(values)
        if when is not None:
            self._time = when
        return code

    def update(self, bar: Any = None, **fields: Any) -> int:
        """Changes the newest bar (a forming bar pushed before it closed, or
        a correction) and answers its provisional code, as push would have
        with these values. The bar as for push; a time, if given, must be
        the newest bar's. The feed takes its bars again from the first
        (linear in the bars pushed)."""
        if not self._history:
            raise ValueError("update: no bar has been pushed")
        when = _bar_time(bar, fields.pop("time", None))
        if when is not None and self._time is not None and when != self._time:
            raise ValueError("update: the bar is at %s, the newest bar at %s (push a new bar)" % (when, self._time))
        values = self._values(bar, fields, self._feed.bars - 1, "update")
        history = self._history[:-1]
        self._replay(history)
        return self._take(values)

    def _replay(self, history):
        self._feed = _core.Feed(self._periods, self._float32)
        self._history = []
        for values in history:
            self._take(values)

    def revise(self, next_close: float) -> int:
        """The newest bar's code judged with its next close."""
        close = _number(next_close, "revise: next_close")
        if self._float32 and abs(close) > _FLOAT32_MAX:
            raise ValueError("revise: next_close %r is beyond float32, the host's numbers" % close)
        return self._feed.revise(close)

    def background(self) -> Dict[str, Any]:
        """The background the newest bar was judged against, as
        signals_frame's columns of that bar: trend_short, trend_mid,
        trend_long, climax_side, range_side (ints), climax_age (an int,
        None when there is no climax), range_low, range_high, support,
        resistance (floats, NaN when none), spread_to_average,
        volume_to_average and close_position (floats)."""
        if not self._history:
            raise ValueError("background: no bar has been pushed")
        values = dict(zip(_core.BACKGROUND_COLUMNS, self._feed.background()))
        if values["climax_age"] < 0:
            values["climax_age"] = None
        return values

    def __getstate__(self):
        return {"periods": self._periods, "float32": self._float32, "time": self._time,
                "history": np.array(self._history, dtype=np.float64).reshape(-1, 4)}

    def __setstate__(self, state):
        self._periods = state["periods"]
        self._float32 = state["float32"]
        self._time = state["time"]
        self._replay([tuple(float(v) for v in row) for row in state["history"]])


def _bar_time(bar, time):
    """A bar's time: `time`, else the bar's date or time field, else a
    Series' name when it is a time; None when there is none."""
    if time is None and bar is not None:
        if isinstance(bar, pd.Series) and isinstance(bar.name, (pd.Timestamp, np.datetime64)):
            time = bar.name
        elif hasattr(bar, "keys") and not isinstance(bar, tuple):
            keys = {str(k).strip().lower(): k for k in bar.keys()}
            key = keys.get("date", keys.get("time"))
            time = bar[key] if key is not None else None
        elif hasattr(bar, "_fields"):
            for name in ("Index", "date", "time"):
                value = getattr(bar, name, None)
                if isinstance(value, (pd.Timestamp, np.datetime64)):
                    time = value
                    break
    if time is None:
        return None
    try:
        return pd.Timestamp(time)
    except (ValueError, TypeError):
        raise ValueError("push: time %s is not a time" % _short(time)) from None


def _bar_fields(bar, fields, number):
    names = ("high", "low", "close", "volume")
    if bar is None:
        source = {k.lower(): v for k, v in fields.items()}
    elif isinstance(bar, tuple) and not hasattr(bar, "_fields"):
        if len(bar) != 5:
            raise ValueError("push: a tuple bar is (open, high, low, close, volume), not %d values" % len(bar))
        source = dict(zip(("open",) + names, bar))
    elif hasattr(bar, "keys"):
        source = {str(k).strip().lower(): bar[k] for k in bar.keys()}
    else:
        source = {k.lower(): getattr(bar, k) for k in dir(bar) if k.lower() in names and not k.startswith("_")}
    values = []
    for name in names:
        if name not in source:
            raise ValueError("push: bar %d has no %r" % (number, name))
        value = source[name]
        if isinstance(value, bool) or not isinstance(value, numbers.Real) or not np.isfinite(value):
            raise ValueError("push: bar %d: %r is %r, not a finite number" % (number, name, value))
        if name == "volume" and value < 0:
            raise ValueError("push: bar %d: volume is negative (%r)" % (number, value))
        values.append(float(value))
    return values


from . import plot  # noqa: E402  (plot reads the names above)
