"""What a researcher leans on: when a code is known (no look-ahead in the
stamped codes), and many symbols in one call equal one call each."""
import io
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import barsight
from conftest import PLUGIN, ROOT, msxhost, read_bars

SAMPLE = ROOT / "data" / "sample_ohlcv.csv"
FOUR = ["SP500", "AAPL", "MSFT", "SSE"]
BACKGROUND = ["trend_short", "trend_mid", "trend_long", "climax_side", "climax_age", "range_side", "range_low",
              "range_high", "support", "resistance", "spread_to_average", "volume_to_average", "close_position"]


def four_symbols(real_series):
    return {name: read_bars(real_series[name]).iloc[-1500:] for name in FOUR}


def test_signals_frame_gives_the_live_code_and_when_the_final_one_is_known(real_series):
    bars = read_bars(real_series["SP500"]).iloc[-3000:]
    frame = barsight.signals_frame(bars)
    assert list(frame.columns) == ["code", "name", "side", "provisional", "known_at"] + BACKGROUND
    assert frame.index.equals(bars.index)
    np.testing.assert_array_equal(frame["code"], barsight.vsa_signals(bars))
    # The provisional code is what Feed.push answered at the bar's close.
    feed = barsight.Feed()
    pushed = [feed.push(bar) for bar in bars.itertuples()]
    np.testing.assert_array_equal(frame["provisional"], pushed)
    assert (frame["provisional"] != frame["code"]).sum() > 10  # the next close changes codes
    assert frame["known_at"].iloc[:-1].tolist() == bars.index[1:].tolist()
    assert pd.isna(frame["known_at"].iloc[-1])
    fired = frame[frame["code"] != 0]
    assert all(barsight.signal_names[c] == (n, s) for c, n, s in zip(fired["code"], fired["name"], fired["side"]))
    assert (frame.loc[frame["code"] == 0, ["name", "side"]] == "").all().all()

    known = barsight.signals_frame(bars, stamp="known")
    np.testing.assert_array_equal(known["code"].iloc[1:], frame["code"].iloc[:-1])
    assert known["code"].iloc[0] == 0
    np.testing.assert_array_equal(known["provisional"], frame["provisional"])
    assert known["signal_at"].iloc[1:].tolist() == bars.index[:-1].tolist()
    np.testing.assert_array_equal(barsight.vsa_signals(bars, stamp="known"), known["code"])


def replayed_background(bars, periods=9):
    """Each bar's background as Feed.background() gives it once the bar is
    pushed (the engine a bar at a time), as signals_frame's columns."""
    feed = barsight.Feed(periods)
    rows = []
    for bar in bars.itertuples():
        feed.push(bar)
        rows.append(feed.background())
    replay = pd.DataFrame(rows, index=bars.index)[BACKGROUND]
    for name in BACKGROUND[:6]:
        replay[name] = replay[name].astype("Int32" if name == "climax_age" else "Int8")
    return replay.astype({name: "float64" for name in BACKGROUND[6:]})


@pytest.mark.parametrize("source, periods", [("sample", 9), ("AAPL", 9), ("GOOG", 5)])
def test_the_background_columns_are_what_the_engine_read_bar_by_bar(source, periods, every_series):
    bars = read_bars(every_series[source]).iloc[-2500:]
    frame = barsight.signals_frame(bars, periods=periods)
    replay = replayed_background(bars, periods)
    # The whole series at once reads what the live engine read, on every
    # bar (the last one too, which shows no code).
    pd.testing.assert_frame_equal(frame[BACKGROUND], replay, check_freq=False)
    # Not vacuous: the series show every part of the background.
    for name in ("trend_short", "trend_mid", "trend_long", "climax_side", "range_side"):
        assert set(frame[name].dropna().unique()) >= {-1, 1} or name == "range_side" and frame[name].ne(0).any(), name
    for name in ("climax_age", "range_low", "range_high", "support", "resistance"):
        assert frame[name].notna().any() and frame[name].isna().any(), name
    assert (frame["climax_age"].isna() == (frame["climax_side"] == 0)).all()
    assert (frame["range_low"].notna() == (frame["range_side"] != 0)).all()
    close = bars["close"].to_numpy(dtype=np.float32).astype(np.float64)
    assert (frame["support"].dropna() < close[frame["support"].notna().to_numpy()]).all()
    assert (frame["resistance"].dropna() > close[frame["resistance"].notna().to_numpy()]).all()
    # The bar's own terms: the engine's "wide" and "high volume" bars are
    # those at 1.5 times their averages or more, and the signals that need
    # them stand on such bars.
    fired = frame["code"].to_numpy()
    for code in (19, -10):  # Effort to rise and to fall: wide, high volume, closing high / low
        on = fired == code
        if on.any():
            assert (frame["spread_to_average"][on] >= 1.5).all() and (frame["volume_to_average"][on] >= 1.5).all()
            assert ((frame["close_position"][on] >= 2 / 3) if code > 0 else (frame["close_position"][on] <= 1 / 3)).all()
    assert frame["close_position"].between(0, 1).all()
    # Stamped where the code is known, the background goes with its code.
    known = barsight.signals_frame(bars, periods=periods, stamp="known")
    pd.testing.assert_frame_equal(known[BACKGROUND].iloc[1:], frame[BACKGROUND].iloc[:-1].set_axis(bars.index[1:]),
                                  check_freq=False)
    assert known[BACKGROUND].iloc[0].isna().all()


def test_the_background_of_stacked_symbols_is_each_symbols_own(real_series):
    frames = four_symbols(real_series)
    stacked = long_frame(frames)
    answer = barsight.signals_frame(stacked)
    for symbol, bars in frames.items():
        got = answer.xs(symbol, level="symbol")[BACKGROUND]
        pd.testing.assert_frame_equal(got, replayed_background(bars), check_freq=False)
    # Taken as one series, the symbols after the first would start from the
    # background the one before left.
    glued = pd.concat(frames.values(), ignore_index=True)
    second = len(frames[FOUR[0]])
    assert not barsight.signals_frame(glued)[BACKGROUND].iloc[second:second + 50].reset_index(drop=True).equals(
        answer.xs(FOUR[1], level="symbol")[BACKGROUND].iloc[:50].reset_index(drop=True))


def test_feed_background_needs_a_bar():
    with pytest.raises(ValueError, match="background: no bar has been pushed"):
        barsight.Feed().background()


@pytest.mark.parametrize("horizon", [1, 5, 20])
def test_stamped_codes_entered_at_the_next_open_equal_evaluates_open_entry(horizon, real_series):
    # A strategy written as a pandas user writes one: act on the stamped
    # code at the next bar's open, hold `horizon` bars to a close.
    bars = read_bars(real_series["SP500"])
    stamped = barsight.vsa_signals(bars, stamp="known").to_numpy()
    o = bars["open"].to_numpy(dtype=np.float32).astype(np.float64)
    c = bars["close"].to_numpy(dtype=np.float32).astype(np.float64)
    s = np.flatnonzero(stamped != 0)
    s = s[s + horizon < len(c)]
    returns = pd.Series(100 * (c[s + horizon] / o[s + 1] - 1), index=stamped[s])
    ours = returns.groupby(level=0).agg(["count", "mean"])
    table = barsight.evaluate(bars, horizons=[horizon], bootstrap=200, entry="open").set_index("code")
    assert sorted(ours.index) == sorted(table.index)
    np.testing.assert_array_equal(ours["count"], table.loc[ours.index, "cases"])
    with_stats = table["mean_pct"].notna()
    np.testing.assert_allclose(ours.loc[with_stats[with_stats].index, "mean"],
                               table.loc[with_stats, "mean_pct"], rtol=1e-12)
    # The same strategy on the bar-stamped codes looks one close ahead.
    looked = barsight.vsa_signals(bars).to_numpy()
    a = np.flatnonzero(looked != 0)
    a = a[a + horizon < len(c)]
    assert not np.allclose(np.mean(100 * (c[a + horizon] / o[a + 1] - 1)), returns.mean())


def long_frame(frames):
    return pd.concat(frames, names=["symbol", "date"])


def wide_frame(frames, fields_first):
    wide = pd.concat(frames, axis=1, names=["symbol", "field"])
    return wide.swaplevel(0, 1, axis=1).sort_index(axis=1, level=0, sort_remaining=False) if fields_first else wide


CALLS = [
    ("vsa_signals", lambda data: barsight.vsa_signals(data)),
    ("vsa_signals periods 20 known", lambda data: barsight.vsa_signals(data, periods=20, stamp="known")),
    ("signals_frame", lambda data: barsight.signals_frame(data)),
    ("vsa_trend", lambda data: barsight.vsa_trend(data, 20)),
    ("vsa_spread", lambda data: barsight.vsa_spread(data, "range", 30)),
    ("vsa_vol_stops", lambda data: barsight.vsa_vol_stops(data)),
    ("volume_colour", lambda data: barsight.volume_colour(data)),
]


@pytest.mark.parametrize("name, call", CALLS, ids=[c[0] for c in CALLS])
def test_a_long_frame_of_four_symbols_equals_four_single_calls(name, call, real_series):
    frames = four_symbols(real_series)
    single = {symbol: call(bars) for symbol, bars in frames.items()}
    # A (symbol, date) MultiIndex, and the same with the rows by date.
    stacked = long_frame(frames)
    for data in (stacked, stacked.sort_index(level="date", kind="stable")):
        answer = call(data)
        assert answer.index.equals(data.index)
        for symbol, one in single.items():
            got = answer.xs(symbol, level="symbol")
            if isinstance(one, pd.DataFrame):
                pd.testing.assert_frame_equal(got.reindex(one.index), one, check_freq=False)
            else:
                pd.testing.assert_series_equal(got.reindex(one.index), one, check_freq=False)
    # A symbol column beside a date column.
    flat = stacked.reset_index()
    answer = call(flat)
    for symbol, one in single.items():
        got = answer[(flat["symbol"] == symbol).to_numpy()].reset_index(drop=True)
        if isinstance(one, pd.DataFrame):
            pd.testing.assert_frame_equal(got, one.reset_index(drop=True))
        else:
            pd.testing.assert_series_equal(got, one.reset_index(drop=True))
    # A dict of frames: a dict back.
    answer = call(frames)
    assert list(answer) == FOUR
    for symbol, one in single.items():
        if isinstance(one, pd.DataFrame):
            pd.testing.assert_frame_equal(answer[symbol], one)
        else:
            pd.testing.assert_series_equal(answer[symbol], one)


@pytest.mark.parametrize("shape", ["fields first", "symbols first", "a dict of fields"])
def test_wide_frames_give_one_column_per_symbol(shape, real_series):
    frames = four_symbols(real_series)
    if shape == "a dict of fields":
        data = {field: pd.DataFrame({s: f[field] for s, f in frames.items()})
                for field in ("open", "high", "low", "close", "volume")}
        index = data["close"].index
    else:
        data = wide_frame(frames, shape == "fields first")
        index = data.index
    codes = barsight.vsa_signals(data)
    assert list(codes.columns) == FOUR and codes.index.equals(index)
    for symbol, bars in frames.items():
        one = barsight.vsa_signals(bars)
        # The symbols' calendars differ: a day one of them did not trade has
        # no code for it, and its bars are its own days.
        got = codes[symbol].dropna()
        assert got.index.equals(one.index)
        np.testing.assert_array_equal(got.to_numpy(dtype=np.int64), one.to_numpy())
    table = barsight.signals_frame(data)
    got = table.xs("AAPL", axis=1, level=1 if shape != "symbols first" else 0).dropna(how="all")
    pd.testing.assert_frame_equal(got, barsight.signals_frame(frames["AAPL"]), check_dtype=False)


@pytest.mark.parametrize("stack", [
    lambda frames: pd.concat(frames.values()),
    lambda frames: pd.concat(frames.values()).sort_index(kind="stable"),
    lambda frames: pd.concat(frames.values()).reset_index(),
], ids=["stacked", "by date", "date column"])
def test_symbols_stacked_without_a_symbol_level_are_refused_naming_the_fix(stack, real_series):
    frames = four_symbols(real_series)
    with pytest.raises(ValueError, match=r"several symbols are stacked.*\(symbol, date\) MultiIndex.*dict of frames"):
        barsight.vsa_signals(stack(frames))


def test_an_error_names_the_symbol_row_and_date(real_series):
    frames = four_symbols(real_series)
    frames["MSFT"] = frames["MSFT"].copy()
    frames["MSFT"].iloc[5, frames["MSFT"].columns.get_loc("close")] = np.nan
    date = str(frames["MSFT"].index[5].date())
    for data in (long_frame(frames), frames):
        with pytest.raises(ValueError, match=r"symbol 'MSFT': vsa_signals: column 'close', row 5 \(%s\): nan" % date):
            barsight.vsa_signals(data)


def test_the_events_are_the_cases_of_evaluate(real_series):
    frames = four_symbols(real_series)
    for entry in ("open", "close", "same"):
        table = barsight.evaluate(frames, horizons=[1, 10], entry=entry, bootstrap=200)
        events = table.attrs["events"]
        assert list(events.columns) == ["symbol", "code", "name", "horizon", "signal_date", "known_date",
                                        "entry_date", "entry_price", "exit_date", "exit_price", "return_pct"]
        cells = events.groupby(["code", "horizon"])["return_pct"].agg(["count", "mean"])
        rows = table.set_index(["code", "horizon"])
        np.testing.assert_array_equal(cells["count"], rows.loc[cells.index, "cases"])
        stats = rows["mean_pct"].dropna()
        np.testing.assert_allclose(cells.loc[stats.index, "mean"], stats, rtol=1e-12)
        per_file = events.groupby(["code", "horizon", "symbol"]).size()
        by_file = table.attrs["by_file"].set_index(["code", "horizon", "frame"])["cases"]
        np.testing.assert_array_equal(per_file, by_file.loc[per_file.index])
        # Each case is known the bar after its signal and entered no earlier.
        for symbol, bars in frames.items():
            mine = events[events["symbol"] == symbol]
            position = bars.index.get_indexer(mine["signal_date"])
            assert (bars.index[position + 1] == mine["known_date"]).all()
            assert (mine["entry_date"] >= (mine["known_date"] if entry != "same" else mine["signal_date"])).all()
            assert (mine["name"] == [barsight.signal_names[c].name for c in mine["code"]]).all()


def test_custom_codes_with_a_stated_lag_and_names(real_series):
    bars = read_bars(real_series["AAPL"])
    engine = barsight.evaluate(bars, bootstrap=200)
    # Codes on the bar they describe, known at the next close: the engine's.
    given = bars.assign(mine=barsight.vsa_signals(bars))
    same = barsight.evaluate(given, codes="mine", known=1, bootstrap=200)
    pd.testing.assert_frame_equal(same.drop(columns="name"), engine.drop(columns="name"))
    # The same codes stamped where they are known, known at that close.
    stamped = bars.assign(mine=barsight.vsa_signals(bars, stamp="known"))
    named = {code: "my %s" % s.name for code, s in barsight.signal_names.items()}
    table = barsight.evaluate(stamped, codes="mine", known=0, names=named, bootstrap=200)
    pd.testing.assert_frame_equal(table.drop(columns="name"), engine.drop(columns="name"))
    assert (table["name"] == ["my " + n for n in engine["name"]]).all()
    events = table.attrs["events"]
    # The stamped code stands on the bar it is known on: that is its signal.
    theirs = engine.attrs["events"]
    assert (events["signal_date"] == theirs["known_date"]).all()
    pd.testing.assert_frame_equal(events.drop(columns=["name", "signal_date"]),
                                  theirs.drop(columns=["name", "signal_date"]))
    # Two bars late: every case one bar later than the engine's.
    late = barsight.evaluate(given, codes="mine", known=2, bootstrap=200).attrs["events"]
    first = engine.attrs["events"].iloc[0]
    row = late[(late["signal_date"] == first["signal_date"]) & (late["horizon"] == first["horizon"])].iloc[0]
    assert row["known_date"] == bars.index[bars.index.get_loc(first["known_date"]) + 1]
    assert row["entry_date"] == bars.index[bars.index.get_loc(first["entry_date"]) + 1]
    with pytest.raises(ValueError, match="known: the engine's codes are known one bar after"):
        barsight.evaluate(bars, known=0)
    code_on_row_0 = bars.assign(mine=np.r_[4, np.zeros(len(bars) - 1, dtype=int)])
    with pytest.raises(ValueError, match="column 'mine', row 0: a code known at its own bar's close"):
        barsight.evaluate(code_on_row_0, codes="mine", known=0)


def test_signed_difference_and_per_symbol_rows(real_series):
    frames = four_symbols(real_series)
    table = barsight.evaluate(frames, horizons=[5], bootstrap=200, min_count=10, min_episodes=5, by_symbol=True)
    weak = table[table["code"] < 0].dropna(subset=["diff_pct"])
    assert len(weak) and (weak["signed_diff_pct"] == -weak["diff_pct"]).all()
    strong = table[table["code"] > 0].dropna(subset=["diff_pct"])
    assert (strong["signed_diff_pct"] == strong["diff_pct"]).all()
    by_symbol = table.attrs["by_symbol"]
    assert list(by_symbol["symbol"].unique()) == FOUR and by_symbol.columns[0] == "symbol"
    for symbol, bars in frames.items():
        alone = barsight.evaluate(bars, horizons=[5], bootstrap=200, min_count=10, min_episodes=5)
        mine = by_symbol[by_symbol["symbol"] == symbol].drop(columns="symbol").reset_index(drop=True)
        pd.testing.assert_frame_equal(mine, alone)


def test_scan_gives_the_newest_live_code_and_the_last_final_one(every_series):
    paths = list(every_series.values())
    table = barsight.scan(paths)
    assert list(table.index) == paths
    # The bar before the newest is final: msxhost scan of VSAInd a bar ago.
    out = msxhost("scan", str(PLUGIN), "VSAInd", "--ago", "1", *sum((["--data", p] for p in paths), []))
    theirs = pd.read_csv(io.StringIO(out), dtype=str, keep_default_na=False).set_index("file")
    assert [str(d.date()) for d in table["final_date"]] == list(theirs.loc[paths, "date"])
    assert list(table["final_code"]) == [int(float(v)) for v in theirs.loc[paths, "value"]]
    for path in paths:
        bars = read_bars(path)
        feed = barsight.Feed()
        for bar in bars.itertuples():
            live = feed.push(bar)
        row = table.loc[path]
        assert row["date"] == bars.index[-1] and row["provisional"] == live
        assert row["name"] == (barsight.signal_names[live].name if live else "")
    assert (table["final_code"] != 0).any()


def test_the_command_line_gives_what_the_functions_give(real_series, tmp_path):
    paths = [real_series[name] for name in FOUR]

    def run(*args):
        done = subprocess.run([sys.executable, "-m", "barsight", *args], capture_output=True, text=True,
                              timeout=600, cwd=tmp_path)
        return done
    done = run("scan", *paths)
    assert done.returncode == 0, done.stderr
    table = barsight.scan(paths)
    assert done.stdout == table.to_csv()
    events = tmp_path / "events.csv"
    done = run("evaluate", *paths, "--horizons", "1,5", "--bootstrap", "200", "--split", "2010-01-01",
               "--events", str(events))
    assert done.returncode == 0, done.stderr
    ours = barsight.evaluate({p: read_bars(p) for p in paths}, horizons=[1, 5], bootstrap=200, split="2010-01-01")
    assert done.stdout == ours.to_csv(index=False)
    assert events.read_text() == ours.attrs["events"].to_csv(index=False)
    done = run("evaluate", str(tmp_path / "none.csv"))
    assert done.returncode == 1 and "none.csv" in done.stderr


def metatrader(bars):
    """MetaTrader 5's exported history: tabs, <DATE> 2024.01.31, <TIME>,
    tick volume beside a real volume of zeros."""
    lines = ["<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>"]
    for date, r in bars.iterrows():
        lines.append("%s\t00:00:00\t%r\t%r\t%r\t%r\t%d\t0\t2" % (date.strftime("%Y.%m.%d"), r.open, r.high, r.low,
                                                                r.close, r.volume))
    return "\n".join(lines) + "\n"


def metastock(bars, ticker="SAMPLE"):
    """MetaStock's ASCII export: YYYYMMDD dates as whole numbers."""
    lines = ["<TICKER>,<PER>,<DTYYYYMMDD>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>"]
    for date, r in bars.iterrows():
        lines.append("%s,D,%s,000000,%r,%r,%r,%r,%d,0" % (ticker, date.strftime("%Y%m%d"), r.open, r.high, r.low,
                                                          r.close, r.volume))
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("write", [metatrader, metastock, lambda bars: bars.to_csv()],
                         ids=["metatrader", "metastock", "csv"])
def test_exported_files_read_as_the_same_bars(write, tmp_path):
    bars = read_bars(SAMPLE)
    path = tmp_path / "bars.csv"
    path.write_text(write(bars))
    got = barsight.read_bars(path)
    pd.testing.assert_frame_equal(got, bars[["open", "high", "low", "close", "volume"]], check_freq=False,
                                  check_dtype=False)
    np.testing.assert_array_equal(barsight.vsa_signals(got), barsight.vsa_signals(bars))


def test_exports_and_whole_number_dates_go_straight_in(tmp_path):
    bars = read_bars(SAMPLE)
    codes = barsight.vsa_signals(bars).to_numpy()
    # MetaStock's columns as pandas reads them: <DTYYYYMMDD> whole numbers.
    path = tmp_path / "metastock.csv"
    path.write_text(metastock(bars))
    raw = pd.read_csv(path)
    assert raw["<DTYYYYMMDD>"].dtype.kind == "i"
    np.testing.assert_array_equal(barsight.vsa_signals(raw), codes)
    frame = barsight.signals_frame(raw)
    assert frame["known_at"].iloc[0] == bars.index[1]
    dated = bars.reset_index().assign(date=lambda f: f["date"].dt.strftime("%Y%m%d").astype(int))
    table = barsight.evaluate(dated, horizons=[5], bootstrap=200)
    pd.testing.assert_frame_equal(table, barsight.evaluate(bars, horizons=[5], bootstrap=200))
    # Several tickers in one export: a (symbol, date) frame.
    two = tmp_path / "two.csv"
    two.write_text(metastock(bars.iloc[:400], "AAA") + metastock(bars.iloc[200:], "BBB").split("\n", 1)[1])
    both = barsight.read_bars(two)
    assert both.index.names == ["symbol", "date"]
    np.testing.assert_array_equal(barsight.vsa_signals(both).xs("BBB"), barsight.vsa_signals(bars.iloc[200:]))


@pytest.mark.parametrize("text, message", [
    ("date,open,high,low,close,volume\n2024-01-02,1,2,0.5,1.5,10\n02/01/2024,1,2,0.5,1.5,10\n",
     r"row 1: '02/01/2024' is not a date"),
    ("date,open,high,low,close,volume\n2024-01-02,1,2,0.5,x,10\n", r"column close, row 0: 'x' is not a number"),
    ("open,high,low,close\n1,2,3,4\n", "no date column"),
    ("", "no bars"),
])
def test_unreadable_files_are_refused_naming_the_row(text, message, tmp_path):
    path = tmp_path / "bad.csv"
    path.write_text(text)
    with pytest.raises(ValueError, match=message):
        barsight.read_bars(path)
    assert path.read_text() == text
