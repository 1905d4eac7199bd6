"""The package's values equal the plug-in's through msxhost, bar for bar
and bit for bit, on the sample data and on every real series."""
import numpy as np
import pandas as pd
import pytest

import barsight
from conftest import PLUGIN, REAL_SERIES, msxhost, msxhost_run, read_bars

SERIES = ["sample"] + REAL_SERIES


def same_floats(ours, theirs):
    """Equal where the host has values (float32 bits compared, NaN nowhere),
    and NaN in ours where the host has none."""
    if isinstance(ours, pd.Series):  # classes come as Int8, <NA> where the host has none
        ours = ours.to_numpy(dtype=np.float32, na_value=np.nan)
    ours = np.asarray(ours, dtype=np.float32)
    valid = theirs.index.to_numpy()
    assert np.array_equal(ours[valid].view(np.uint32), theirs.to_numpy().view(np.uint32))
    outside = np.setdiff1d(np.arange(len(ours)), valid)
    assert np.isnan(ours[outside]).all()


@pytest.mark.parametrize("name", SERIES)
def test_vsa_signals_equal_vsaind(name, every_series):
    path = every_series[name]
    codes = barsight.vsa_signals(read_bars(path))
    theirs = msxhost_run(path, "VSAInd")
    assert len(theirs) == len(codes)
    assert np.array_equal(codes.to_numpy(), theirs.to_numpy().astype(np.int32))
    assert (codes != 0).sum() > 10  # signals fire, so the comparison means something


# Each local indicator with the plug-in's arguments, and msxhost's for them.
CALLS = [
    ("VSATrend", lambda b: barsight.vsa_trend(b, 20), ["--num", "20"]),
    ("VSATrend", lambda b: barsight.vsa_trend(b, 2.9), ["--num", "2.9"]),
    ("VSASpread", lambda b: barsight.vsa_spread(b, "volume", 30), ["--num", "0", "--num", "30"]),
    ("VSASpread", lambda b: barsight.vsa_spread(b, 1, 7), ["--num", "1", "--num", "7"]),
    ("VSAVolStops", lambda b: barsight.vsa_vol_stops(b, 2.5, 14), ["--num", "2.5", "--array", "atr:14"]),
    ("VSAVolStops", lambda b: barsight.vsa_vol_stops(b, 1.1, 3), ["--num", "1.1", "--array", "atr:3"]),
]


@pytest.mark.parametrize("name", SERIES)
@pytest.mark.parametrize("function,ours,args", CALLS)
def test_local_indicators_equal_plugin(name, function, ours, args, every_series):
    path = every_series[name]
    same_floats(ours(read_bars(path)), msxhost_run(path, function, *args))


def test_vol_stops_on_a_given_atr_equal_the_hosts():
    from conftest import SAMPLE
    bars = read_bars(SAMPLE)
    atr = barsight.vsa_vol_stops(bars, 2.0, atr_periods=10)
    values, first = barsight._core.wilder_atr(*(bars[k].to_numpy(np.float32) for k in ("high", "low", "close")), 10)
    given = np.where(np.arange(len(values)) >= first, values.astype(np.float64), np.nan)
    same_floats(barsight.vsa_vol_stops(bars, 2.0, atr=pd.Series(given, index=bars.index)),
                msxhost_run(str(SAMPLE), "VSAVolStops", "--num", "2", "--array", "atr:10"))
    same_floats(atr, msxhost_run(str(SAMPLE), "VSAVolStops", "--num", "2", "--array", "atr:10"))


def test_volume_colour_equals_the_client_export(every_series):
    bars = read_bars(every_series["sample"])
    ours = barsight.volume_colour(bars).to_numpy()
    v, c = bars["volume"].to_numpy(), bars["close"].to_numpy()
    calls = []
    for i in range(2, len(bars), 97):
        calls += ["--", "CalcVolumeColor", repr(float(v[i])), repr(float(v[i - 1])), repr(float(v[i - 2])),
                  repr(float(c[i])), repr(float(c[i - 1]))]
    out = msxhost("client", str(PLUGIN), *calls[1:])
    theirs = [int(line.rsplit(" ", 1)[-1]) for line in out.splitlines() if "CalcVolumeColor" in line]
    assert theirs == list(ours[2::97])
    assert set(ours[2:]) <= {1, 2, 3, 4} and ours[0] == ours[1] == 0


def fields6(value):
    return "" if value != value else "%.6g" % value


@pytest.mark.parametrize("entry,horizons,seed,split", [("open", (1, 5, 10, 20), 1, None), ("close", (3, 15), 7, None),
                                                     ("open", (1, 10), 3, "2015-06-01")])
def test_evaluate_equals_msxhost_csv(entry, horizons, seed, split, real_series, tmp_path):
    names = sorted(real_series)
    out = tmp_path / "evaluation.csv"
    args = ["evaluate", str(PLUGIN)]
    for name in names:
        args += ["--data", real_series[name]]
    if split:
        args += ["--split", split]
    msxhost(*args, "--horizons", ",".join(map(str, horizons)), "--entry", entry, "--bootstrap", "400",
            "--seed", str(seed), "--csv", str(out))
    theirs = pd.read_csv(out, dtype=str, keep_default_na=False)
    ours = barsight.evaluate({n: read_bars(real_series[n]) for n in names}, horizons=horizons, entry=entry,
                             bootstrap=400, seed=seed, split=split)
    # Beside msxhost's columns, the difference in the signal's direction.
    signed = ours.pop("signed_diff_pct")
    np.testing.assert_array_equal(signed, np.sign(ours["code"]) * ours["diff_pct"])
    assert list(ours.columns) == list(theirs.columns)
    assert len(ours) == len(theirs)
    for column in ours.columns:
        mine = [str(v) if column in ("code", "name", "horizon", "cases", "episodes", "dates", "baseline", "period")
                else fields6(v) for v in ours[column]]
        assert mine == list(theirs[column]), column
    assert ours["p_adjusted"].notna().sum() > 0
    assert ours.attrs["files"] == (len(names) if not split else ours.attrs["by_period"]["after"]["files"])
    assert ours.attrs["method"]


def test_evaluate_on_a_codes_column_equals_on_the_signals(real_series):
    bars = read_bars(real_series["AAPL"])
    given = bars.assign(Signal=barsight.vsa_signals(bars))
    a = barsight.evaluate(given, codes="signal", bootstrap=200)
    b = barsight.evaluate(bars, bootstrap=200)
    pd.testing.assert_frame_equal(a, b)


@pytest.mark.parametrize("name", SERIES)
def test_the_stop_lines_side_is_the_side_the_plugin_walked(name, every_series):
    # side=True walks the line again to know its side; the line of that walk
    # is the plug-in's, bit for bit, so the sides are the plug-in's too.
    bars = read_bars(every_series[name])
    got = barsight.vsa_vol_stops(bars, 2.5, 14, side=True)
    assert list(got.columns) == ["stop", "side"] and str(got["side"].dtype) == "Int8"
    same_floats(got["stop"], msxhost_run(every_series[name], "VSAVolStops", "--num", "2.5", "--array", "atr:14"))
    values, first = barsight._core.wilder_atr(*(bars[k].to_numpy(np.float32) for k in ("high", "low", "close")), 14)
    sides, line = barsight._stop_sides(bars["close"].to_numpy(np.float32), values, first, len(bars) - 1, 2.5)
    assert np.array_equal(line.view(np.uint32), got["stop"].to_numpy().view(np.uint32))
    side = got["side"]
    assert side.isna().sum() == first and set(side.dropna()) == {1, -1}
    close = bars["close"].to_numpy(np.float32)
    stop = got["stop"].to_numpy()
    side = side.to_numpy(dtype=float, na_value=np.nan)
    assert (stop[side == 1] <= close[side == 1]).all() and (stop[side == -1] >= close[side == -1]).all()
    assert got["stop"].equals(barsight.vsa_vol_stops(bars, 2.5, 14).rename("stop"))


def test_a_flat_stretch_keeps_its_side():
    # With an ATR of 0 the line equals the close: only the walk says which side it is on.
    close = np.r_[np.linspace(10, 20, 30), np.full(20, 20.0), np.linspace(19, 5, 30), np.full(20, 5.0)]
    flat = np.r_[False, np.diff(close) == 0]
    bars = pd.DataFrame({"high": close + 1, "low": close - 1, "close": close},
                        index=pd.date_range("2020-01-01", periods=len(close)))
    got = barsight.vsa_vol_stops(bars, 2.5, atr=pd.Series(np.where(flat, 0.0, 1.0), index=bars.index), side=True)
    assert (got["stop"][flat] == bars["close"][flat]).all()
    assert (got["side"].iloc[31:50] == 1).all() and (got["side"].iloc[81:] == -1).all()


NAMES = [
    (lambda b: barsight.vsa_signals(b), "vsa_signal_9"),
    (lambda b: barsight.vsa_signals(b, 12, stamp="known"), "vsa_signal_12_known"),
    (lambda b: barsight.vsa_trend(b, 20), "vsa_trend_20"),
    (lambda b: barsight.vsa_spread(b, "volume", 30), "vsa_spread_volume_30"),
    (lambda b: barsight.vsa_spread(b, 1, 7.9), "vsa_spread_range_7"),
    (lambda b: barsight.vsa_vol_stops(b), "vsa_vol_stops_2.5_14"),
    (lambda b: barsight.vsa_vol_stops(b, 1.1, 3), "vsa_vol_stops_1.1_3"),
    (lambda b: barsight.vsa_vol_stops(b, 2, atr=pd.Series(1.0, index=b.index)), "vsa_vol_stops_2_atr"),
    (lambda b: barsight.volume_colour(b), "volume_colour"),
]


@pytest.mark.parametrize("call, name", NAMES)
def test_results_are_named_after_their_arguments(call, name):
    from conftest import SAMPLE
    bars = read_bars(SAMPLE)
    got = call(bars)
    assert got.name == name
    # Two calls with other arguments side by side keep both.
    assert len(pd.concat([got, barsight.vsa_trend(bars, 3)], axis=1).columns) == 2


def test_classes_are_small_whole_numbers_with_a_missing_value():
    from conftest import SAMPLE
    bars = read_bars(SAMPLE)
    spread = barsight.vsa_spread(bars, "volume", 30)
    assert str(spread.dtype) == "Int8"
    assert spread.isna().sum() == 29 and spread.iloc[29:].between(0, 6).all()
    assert (spread == 6).sum() > 0  # comparisons and counts work as on whole numbers
    raw = barsight.vsa_spread({k: bars[k].to_numpy() for k in bars}, "volume", 30)
    assert np.array_equal(spread.to_numpy(dtype=np.float32, na_value=np.nan), raw, equal_nan=True)
