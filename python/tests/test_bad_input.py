"""Bad input: a ValueError (or TypeError for a thing that is not bars at
all) naming the column and the row, or the argument, in a short message;
never a crash, never a wrong answer."""
import decimal
import fractions
import io

import numpy as np
import pandas as pd
import pytest

import barsight


def bars(n=40):
    k = np.arange(n, dtype=np.float64)
    close = 100 + np.sin(k / 3) * 5
    return pd.DataFrame({"Open": close - 0.5, "High": close + 1, "Low": close - 1, "Close": close,
                         "Volume": 1000 + 100 * (k % 7)}, index=pd.date_range("2024-01-01", periods=n))


def with_value(column, row, value, n=40):
    frame = bars(n)
    frame.iloc[row, frame.columns.get_loc(column)] = value
    return frame


def moved_date(row, date):
    frame = bars()
    index = frame.index.to_list()
    index[row] = pd.Timestamp(date)
    return frame.set_axis(pd.DatetimeIndex(index))


def newest_first(kind):
    """The bars newest first, as a CSV of a data vendor is, with their dates
    as text (read_csv without parse_dates) or periods."""
    frame = bars().iloc[::-1]
    if kind == "periods":
        return frame.set_axis(frame.index.to_period("D"))
    text = io.StringIO(frame.rename_axis("date").to_csv())
    return pd.read_csv(text, index_col="date")


def with_objects(column, values):
    frame = bars()
    frame[column] = pd.Series(values, index=frame.index, dtype=object)
    return frame


def text_index(dates):
    return bars().set_axis(pd.Index(dates, dtype=object))


CASES = [
    ("NaN close", lambda: with_value("Close", 17, np.nan), "column 'close', row 17 (2024-01-18): nan"),
    ("infinite high", lambda: with_value("High", 3, np.inf), "column 'high', row 3 (2024-01-04): inf"),
    ("negative volume", lambda: with_value("Volume", 9, -1.0), "column 'volume', row 9 (2024-01-10): negative"),
    ("volume beyond float32", lambda: with_value("Volume", 5, 1e39), "row 5 (2024-01-06): 1e+39 is beyond float32"),
    # The checks take several values a step: a fault among the last few of
    # a count that is no multiple of the step, and in each place of a step.
    ("NaN volume, last of 43", lambda: with_value("Volume", 42, np.nan, 43), "column 'volume', row 42 (2024-02-12): nan"),
    ("negative volume, last of 42", lambda: with_value("Volume", 41, -2.0, 42), "row 41 (2024-02-11): negative"),
    ("infinite low, row 24", lambda: with_value("Low", 24, -np.inf), "column 'low', row 24 (2024-01-25): -inf"),
    ("NaN high, row 31", lambda: with_value("High", 31, np.nan), "column 'high', row 31 (2024-02-01): nan"),
    ("float32 columns, infinite close, last of 43",
     lambda: with_value("Close", 42, np.inf, 43).astype(np.float32), "column 'close', row 42 (2024-02-12): inf"),
    # Past float32's largest by less than it rounds away: still refused.
    ("a high just past float32's largest", lambda: with_value("High", 2, float(np.finfo(np.float32).max) * (1 + 2**-40)),
     "column 'high', row 2 (2024-01-03): 3.40282"),
    ("missing column", lambda: bars().drop(columns="Low"), "no column 'low'"),
    ("two columns of one name", lambda: bars().assign(close=1.0), "both 'close'"),
    ("dates not rising", lambda: moved_date(12, "2024-01-05"), "row 12 (2024-01-05): dates must rise (row 11 is 2024-01-12)"),
    ("a repeated date", lambda: moved_date(1, "2024-01-01"), "row 1 (2024-01-01): dates must rise"),
    ("text in a column", lambda: bars().assign(Close="x"), "column 'close' is not numbers"),
    ("a date column that is not dates", lambda: bars().reset_index(drop=True).assign(date="soon"), "column 'date' is not dates"),
    ("no date in a date column", lambda: bars().reset_index(names="date").assign(
        date=lambda f: f["date"].where(f.index != 4)), "column 'date', row 4: no date"),
    ("not bars at all", lambda: [1, 2, 3], "bars come as"),
    ("a missing value in a nullable column", lambda: bars().assign(
        Close=lambda f: pd.array(f["Close"].where(f.index.day != 8), dtype="Float64")),
     "column 'close', row 7 (2024-01-08): nan"),
    ("times as volume", lambda: bars().assign(Volume=pd.Timestamp("2024-01-01")), "column 'volume' is not numbers"),
    ("complex prices", lambda: bars().assign(High=lambda f: f["High"] + 1j), "column 'high' is not numbers"),
    ("dates as text, newest first", lambda: newest_first("text"),
     "row 1 (2024-02-08): dates must rise (row 0 is 2024-02-09)"),
    ("periods, newest first", lambda: newest_first("periods"),
     "row 1 (2024-02-08): dates must rise (row 0 is 2024-02-09)"),
    ("date objects, newest first", lambda: bars().iloc[::-1].pipe(lambda f: f.set_axis(f.index.date)),
     "row 1 (2024-02-08): dates must rise (row 0 is 2024-02-09)"),
    ("dates as pandas' text dtype, newest first", lambda: newest_first("text").pipe(
        lambda f: f.set_axis(f.index.astype("string"))), "row 1 (2024-02-08): dates must rise (row 0 is 2024-02-09)"),
    ("dates as categories, newest first", lambda: newest_first("text").pipe(
        lambda f: f.set_axis(pd.CategoricalIndex(f.index))), "row 1 (2024-02-08): dates must rise (row 0 is 2024-02-09)"),
    # Day and month in an order the text cannot tell: refused, never guessed
    # (read month first, a correct file would fall back in time).
    ("dates day first as text", lambda: bars().pipe(lambda f: f.set_axis(f.index.strftime("%d/%m/%Y"))),
     "the index holds dates as text in a form not taken ('01/01/2024')"),
    ("a date column day first", lambda: bars().reset_index(names="date").assign(
        date=lambda f: f["date"].dt.strftime("%d/%m/%Y")), "column 'date' holds dates as text in a form not taken"),
    ("a date repeated in a text index", lambda: text_index(["2024-01-%02d" % min(d, 7) for d in range(1, 41)]),
     "row 7 (2024-01-07): dates must rise (row 6 is 2024-01-07)"),
    ("numbers as text", lambda: with_objects("Close", [str(v) for v in bars()["Close"]]),
     "column 'close' is not numbers: row 0 (2024-01-01) is '100.0' (str)"),
    ("numbers as bytes", lambda: with_objects("Close", [b"100"] * 40),
     "column 'close' is not numbers: row 0 (2024-01-01) is b'100' (bytes)"),
    ("times as objects", lambda: with_objects("Volume", [np.datetime64("2024-01-01")] * 40),
     "column 'volume' is not numbers: row 0 (2024-01-01) is numpy.datetime64('2024-01-01')"),
    ("truth values as objects", lambda: with_objects("Volume", [1000.0] * 5 + [True] * 35),
     "column 'volume' is not numbers: row 5 (2024-01-06) is True (bool)"),
    ("truth values", lambda: bars().assign(Volume=True), "column 'volume' is not numbers (bool)"),
    ("an int beyond any float", lambda: with_objects("Close", [100] * 3 + [10**400] + [100] * 36),
     "column 'close', row 3 (2024-01-04): 1000"),
    ("an int beyond any float, said short", lambda: with_objects("Close", [100] * 3 + [10**400] + [100] * 36),
     "...(401 characters) is beyond float32"),
    ("a Series", lambda: bars()["Close"], "not a Series (one column, 'Close')"),
    ("many columns, none of them high", lambda: {"c%d" % k: np.ones(3) for k in range(500)},
     "no column 'high' (columns: c0, c1, c2, c3, c4, c5, c6, c7, ... (500 in all))"),
]


@pytest.mark.parametrize("what,make,message", CASES, ids=[c[0] for c in CASES])
def test_vsa_signals_refuses(what, make, message):
    with pytest.raises((ValueError, TypeError)) as raised:
        barsight.vsa_signals(make())
    assert message in str(raised.value)
    assert str(raised.value).startswith("vsa_signals") or "bars come as" in str(raised.value)
    assert len(str(raised.value)) < 250  # what is wrong, not the data


def each_in_its_block(frame):
    """The same frame with each column added on its own (pandas keeps each
    in an array of its own then)."""
    out = pd.DataFrame(index=frame.index)
    for name in frame:
        out[name] = frame[name].to_numpy()
    return out


# A plain dated frame of floats goes straight to the engine; every other
# form of the same bars takes the full reading: the codes are the same.
@pytest.mark.parametrize("form", ["float32 columns", "a dict of columns", "an object column", "a text index",
                                  "columns in another order among others", "each column in its own block",
                                  "float32 and float64 columns"])
def test_every_form_of_the_bars_gives_the_plain_frames_codes(form):
    k = np.arange(3000, dtype=np.float64)
    rng = np.random.default_rng(3)
    close = 100 * np.exp(np.cumsum(rng.normal(0, 0.01, len(k))))
    frame = pd.DataFrame({"High": close * 1.01, "Low": close * 0.99, "Close": close,
                          "Volume": rng.lognormal(10, 0.6, len(k)).round()},
                         index=pd.bdate_range("2010-01-04", periods=len(k)))
    plain = barsight.vsa_signals(frame)
    other = {"float32 columns": lambda: frame.astype(np.float32),
             "a dict of columns": lambda: {c: frame[c].to_numpy() for c in frame},
             "an object column": lambda: frame.assign(Close=frame["Close"].astype(object)),
             "a text index": lambda: frame.set_axis(frame.index.strftime("%Y-%m-%d")),
             "columns in another order among others": lambda: frame[["Volume", "Close", "Low", "High"]].assign(
                 Open=frame["Close"] * 1.001, Spare=0.0),
             "each column in its own block": lambda: each_in_its_block(frame),
             "float32 and float64 columns": lambda: frame.astype({"Volume": np.float32})}[form]()
    got = barsight.vsa_signals(other)
    np.testing.assert_array_equal(np.asarray(got), plain.to_numpy())
    assert (plain != 0).sum() > 50


def atr_of(frame):
    return pd.Series(np.linspace(1.0, 2.0, len(frame)), index=frame.index)


@pytest.mark.parametrize("call,message", [
    (lambda b: barsight.vsa_signals(b, periods=0), "periods must be a whole number from 1 to 10000"),
    (lambda b: barsight.vsa_trend(b, 0), "Periods argument out of range"),
    (lambda b: barsight.vsa_trend(b, 40), "Periods argument out of range"),  # not below the bars
    (lambda b: barsight.vsa_trend(b, float("nan")), "periods must be a finite number"),
    (lambda b: barsight.vsa_spread(b, "ticks", 5), "mode must be"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=np.ones(3)), "atr has (3,) values"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=np.r_[np.nan, 1.0, np.nan, np.ones(37)]), "atr, row 2: NaN"),
    (lambda b: barsight.evaluate(b, horizons=(0,)), "each horizon must be a whole number from 1 to 10000"),
    (lambda b: barsight.evaluate(b, entry="later"), "entry must be"),
    (lambda b: barsight.evaluate(b.reset_index(drop=True)), "need dates"),
    (lambda b: barsight.evaluate(b.set_axis(pd.DatetimeIndex(["2024-01-01"] + list(pd.date_range(
        "2024-01-01", periods=39))))), "evaluate: frame: row 1 (2024-01-01): dates must rise"),
    (lambda b: barsight.evaluate(b, baseline="week"), "baseline must be 'file', 'file-year' or 'date'"),
    (lambda b: barsight.evaluate(b, baseline="date"), "needs two files or more"),
    (lambda b: barsight.evaluate({"x": b}, codes="Signal"), "x: no column 'Signal'"),
    (lambda b: barsight.evaluate({"x": b.assign(signal=0.5)}, codes="signal"), "row 0: 0.5 is not a whole-number"),
    (lambda b: barsight.evaluate([]), "no frames"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=np.r_[np.ones(39), 1e39]), "atr, row 39: 1e+39 is beyond float32"),
    (lambda b: barsight.evaluate({"x": b.assign(signal=pd.array([0] * 39 + [None], dtype="Int64"))}, codes="signal"),
     "row 39: nan is not a whole-number"),
    (lambda b: barsight.plot.signals(b.iloc[:0]), "no bars to draw"),
    (lambda b: barsight.plot.signals(b, last=0), "last must be a whole number of bars from 1 up (None for every"),
    (lambda b: barsight.plot.signals(b, last=-3), "last must be a whole number of bars from 1 up"),
    (lambda b: barsight.vsa_signals(b, periods=10**400), "periods must be a whole number from 1 to 10000, not 1000"),
    (lambda b: barsight.vsa_signals(b, periods=10**400), "...(401 characters)"),
    (lambda b: barsight.vsa_signals(b, periods=fractions.Fraction(9)),
     "periods must be a whole number from 1 to 10000, not Fraction(9, 1) (Fraction: give an int)"),
    (lambda b: barsight.vsa_signals(b, periods=9.0), "not 9.0 (float: give an int)"),
    (lambda b: barsight.evaluate(b, seed=2**100), "seed must be a whole number from 0 to 9223372036854775807"),
    (lambda b: barsight.vsa_trend(b, 10**400), "...(401 characters) is beyond float32"),
    (lambda b: barsight.vsa_trend(b, "5"), "periods must be a finite number, not '5' (str)"),
    (lambda b: barsight.vsa_vol_stops(b, 1e39), "multiplier 1e+39 is beyond float32"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=-atr_of(b)), "atr, row 0: negative (-1.0)"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=atr_of(b).iloc[:-1]),
     "atr has no value for the bars' row 39 (2024-02-09) (bars without one: 1)"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=atr_of(b).reset_index(drop=True)),
     "atr's index shares no label with the bars' (pass atr.to_numpy() to take it by position)"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=pd.concat([atr_of(b), atr_of(b).iloc[:1]])),
     "atr's index holds Timestamp('2024-01-01 00:00:00') twice"),
    (lambda b: barsight.vsa_vol_stops(b, 2.5, atr=atr_of(b).astype(str)), "atr is not numbers: row 0 is '1.0'"),
    (lambda b: barsight.evaluate([b, b]), "evaluate: frame 1 has the same bars as 'frame 0'"),
    (lambda b: barsight.evaluate({"x": b, "y": b.copy()}), "evaluate: y has the same bars as 'x'"),
    (lambda b: barsight.evaluate({1: b, "1": b.iloc[1:]}), "evaluate: two frames are named '1'"),
    (lambda b: barsight.evaluate(b, bootstrap=2), "bootstrap must be at least 200 replicates, not 2: too few for a "
                                                  "95% interval"),
    (lambda b: barsight.evaluate(b, bootstrap=199), "bootstrap must be at least 200 replicates, not 199"),
    (lambda b: barsight.evaluate(b, horizons=(1, 5, 1)), "horizons: 1 is given twice"),
    (lambda b: barsight.evaluate(b, horizons=5), "horizons must be a list of whole numbers, not 5"),
    (lambda b: barsight.evaluate({"x": b.assign(signal="3")}, codes="signal"),
     "x: column 'signal' is not numbers: row 0 (2024-01-01) is '3' (str)"),
])
def test_arguments_are_refused(call, message):
    with pytest.raises(ValueError) as raised:
        call(bars())
    assert message in str(raised.value)
    assert len(str(raised.value)) < 250


def test_what_is_no_error_is_answered_as_the_plugin_answers():
    # A bar with high below low, zero volume, an empty chart, one bar, a
    # float32 column read where it is: answers, not errors.
    frame = bars()
    frame.iloc[20, frame.columns.get_loc("High")] = 50.0
    frame["Volume"] = frame["Volume"].where(frame.index.day != 25, 0.0)
    assert len(barsight.vsa_signals(frame)) == 40
    assert len(barsight.vsa_signals(bars().iloc[:0])) == 0
    assert barsight.vsa_signals(bars().iloc[:1]).tolist() == [0]
    f32 = bars().astype(np.float32)
    assert barsight.vsa_signals(f32).equals(barsight.vsa_signals(bars()))
    # Columns in any case, dates in a column, plain arrays.
    lower = bars().rename(columns=str.lower).reset_index(names="DATE")
    assert barsight.vsa_signals(lower).tolist() == barsight.vsa_signals(bars()).tolist()
    plain = {k.lower(): bars()[k].to_numpy() for k in bars().columns}
    assert isinstance(barsight.vsa_signals(plain), np.ndarray)


def test_bars_are_taken_in_time_and_by_label():
    # Dates as text or periods, in order, are the bars' dates; a frame sorted
    # by its date column keeps falling row numbers, which are labels, not times.
    codes = barsight.vsa_signals(bars()).to_numpy()
    text = newest_first("text").iloc[::-1]
    assert np.array_equal(barsight.vsa_signals(text).to_numpy(), codes)
    assert np.array_equal(barsight.vsa_signals(newest_first("periods").iloc[::-1]).to_numpy(), codes)
    for form in ("%Y%m%d", "%Y.%m.%d", "%Y-%m-%d %H:%M"):  # year first: one reading only
        assert np.array_equal(barsight.vsa_signals(bars().pipe(
            lambda f: f.set_axis(f.index.strftime(form)))).to_numpy(), codes)
    sorted_by_date = pd.read_csv(io.StringIO(bars().iloc[::-1].rename_axis("date").to_csv())).sort_values("date")
    assert sorted_by_date.index[0] == 39
    assert np.array_equal(barsight.vsa_signals(sorted_by_date).to_numpy(), codes)
    kwargs = dict(codes="signal", bootstrap=200, min_count=1, min_episodes=1)
    signal = np.where(np.arange(40) % 5 == 0, 3, 0)
    pd.testing.assert_frame_equal(barsight.evaluate({"x": text.assign(signal=signal)}, **kwargs),
                                  barsight.evaluate({"x": bars().assign(signal=signal)}, **kwargs))
    # Decimals (a database's numbers) and Fractions are numbers; a whole
    # Fraction is a real-number argument like any.
    decimals = with_objects("Close", [decimal.Decimal(repr(v)) for v in bars()["Close"]])
    assert np.array_equal(barsight.vsa_signals(decimals).to_numpy(), codes)
    assert barsight.vsa_trend(bars(), fractions.Fraction(10)).equals(barsight.vsa_trend(bars(), 10))


def test_an_atr_series_is_taken_by_the_bars_dates():
    # The ATR of each bar's date, in whatever order and over whatever more
    # dates the Series holds; an array is taken by position.
    frame = bars()
    atr = atr_of(frame)
    by_position = barsight.vsa_vol_stops(frame, 2.5, atr=atr.to_numpy())
    wider = pd.concat([pd.Series([50.0], index=[pd.Timestamp("2023-12-31")]), atr.iloc[::-1]])
    assert barsight.vsa_vol_stops(frame, 2.5, atr=wider).equals(by_position)
    plain = {k.lower(): frame[k].to_numpy() for k in frame.columns}
    assert np.array_equal(barsight.vsa_vol_stops(plain, 2.5, atr=atr), by_position.to_numpy(), equal_nan=True)


def test_hourly_bars_through_the_clock_going_back_rise():
    # 02:00-03:00 comes twice when Berlin leaves summer time: the instants
    # still rise, so the bars are good.
    index = pd.date_range("2024-10-26 20:00", periods=40, freq="h", tz="Europe/Berlin")
    assert not index.tz_localize(None).is_unique
    assert len(barsight.vsa_signals(bars().set_axis(index))) == 40


def test_an_atr_with_no_valid_value_gives_no_stops():
    stops = barsight.vsa_vol_stops(bars(), 2.5, atr=np.full(40, np.nan))
    assert stops.isna().all()


def test_a_bars_day_is_its_markets_day_in_any_time_zone():
    # Midnight in Tokyo is the day before in UTC: the bar still counts on its own day.
    naive = bars()
    tokyo = naive.set_axis(naive.index.tz_localize("Asia/Tokyo"))
    kwargs = dict(codes="signal", bootstrap=200, min_count=1, min_episodes=1)
    codes = np.where(np.arange(40) % 5 == 0, 3, 0)
    a = barsight.evaluate({"x": naive.assign(signal=codes)}, **kwargs)
    b = barsight.evaluate({"x": tokyo.assign(signal=codes)}, **kwargs)
    pd.testing.assert_frame_equal(a, b)
    with pytest.raises(ValueError, match=r"row 3 \(2024-01-04\): nan"):
        barsight.vsa_signals(with_value("Close", 3, np.nan).tz_localize("Asia/Tokyo"))


def test_float32_columns_are_read_where_they_are():
    frame = bars().astype(np.float32)
    taken = barsight._input.bars(frame, ("close",), "x").float32("close")
    assert np.shares_memory(taken, frame["Close"].to_numpy())


@pytest.mark.parametrize("call", [
    lambda c: c.vsa_signals(np.ones(3), np.ones(2), np.ones(3), np.ones(3), 9),
    lambda c: c.vsa_signals(np.ones((2, 3)), np.ones((2, 3)), np.ones((2, 3)), np.ones((2, 3)), 9),
    lambda c: c.calculate("VSAVolStops", *[np.ones(5)] * 4, numerics=[2.0], arrays=[(np.ones(4), 0, 3)]),
    lambda c: c.calculate("VSANothing", *[np.ones(5)] * 4, numerics=[], arrays=[]),
    lambda c: c.calculate("VSATrend", *[np.ones(5)] * 4, numerics=[1.0] * 10, arrays=[]),
    lambda c: c.volume_colour(np.ones(4), np.ones(5)),
    lambda c: c.evaluate([("x", np.arange(3), np.zeros(0, np.int32), np.ones(3), np.ones(2), np.zeros(3, np.int32))],
                         [1], "open", "file", 30, 20, 200, 1),
    lambda c: c.evaluate([("x", np.arange(3), np.zeros(2, np.int32), np.ones(3), np.ones(3), np.zeros(3, np.int32))],
                         [1], "open", "file", 30, 20, 200, 1),
    lambda c: c.evaluate([], [1], "later", "file", 30, 20, 200, 1),
    lambda c: c.evaluate([], [1], "open", "weekly", 30, 20, 200, 1),
])
def test_the_extension_refuses_what_would_be_unsafe(call):
    # The extension's own checks, under the Python side's: arrays of unequal
    # length or shape never reach the calculations.
    with pytest.raises(ValueError):
        call(barsight._core)
