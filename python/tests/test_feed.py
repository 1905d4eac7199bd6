"""Feed, the engine bar by bar as the MetaTrader indicator feeds it, equals
the batch feed of vsa_signals."""
import pickle

import numpy as np
import pytest

import barsight
from conftest import read_bars

BAR = {"high": 2.0, "low": 1.0, "close": 1.5, "volume": 5.0}


def live(bars, feed, ticks=()):
    """Each bar pushed, then judged with its next close once that bar closes;
    before it closes, the forming bar's prices (`ticks`: fractions of the
    way from its open to its close) revise it again and again, as a live
    chart does. Returns the provisional and the confirmed codes."""
    o, h, l, c, v = (bars[k].to_numpy() for k in ("open", "high", "low", "close", "volume"))
    provisional, confirmed = [], []
    for k in range(len(c)):
        if k:
            for f in ticks:
                feed.revise(o[k] + f * (c[k] - o[k]))
            confirmed.append(feed.revise(c[k]))
        provisional.append(feed.push((o[k], h[k], l[k], c[k], v[k])))
    return np.array(provisional), np.array(confirmed)


@pytest.mark.parametrize("ticks", [(), (0.0, 0.5, 1.5, -3.0)])
def test_feed_equals_batch_on_5000_bars(ticks, real_series):
    bars = read_bars(real_series["SP500"]).iloc[:5000]
    batch = barsight.vsa_signals(bars).to_numpy()
    feed = barsight.Feed()
    provisional, confirmed = live(bars, feed, ticks)
    assert feed.bars == 5000
    assert np.array_equal(confirmed, batch[:-1])
    assert batch[-1] == 0  # the newest bar has no next close in a batch
    assert (provisional[:16] == 0).all() and (confirmed[:16] == 0).all()  # the warm-up
    # A provisional code is the bar judged without its next close: the codes
    # whose rule needs the next bar differ, so the two are not the same list.
    assert (confirmed != 0).sum() > 100 and not np.array_equal(provisional[:-1], confirmed)


def test_periods_and_the_ways_to_give_a_bar(real_series):
    bars = read_bars(real_series["AAPL"])
    batch = barsight.vsa_signals(bars, periods=20).to_numpy()
    feeds = [barsight.Feed(periods=20) for _ in range(3)]
    got = [[], [], []]
    for k, row in enumerate(bars.itertuples()):
        if k:
            for feed, codes in zip(feeds, got):
                codes.append(feed.revise(row.close))
        feeds[0].push(row)
        feeds[1].push({"HIGH": row.high, "Low": row.low, "close": row.close, "volume": row.volume})
        feeds[2].push(high=row.high, low=row.low, close=row.close, volume=row.volume)
    for codes in got:
        assert np.array_equal(codes, batch[:-1])


@pytest.mark.parametrize("call,message", [
    (lambda f: f.revise(100.0), "no bar has been pushed"),
    (lambda f: f.push(high=1.0, low=1.0, close=1.0), "no 'volume'"),
    (lambda f: f.push((1.0, 2.0, 0.5, 1.5)), "not 4 values"),
    (lambda f: f.push(high=float("nan"), low=1.0, close=1.0, volume=5), "'high' is nan"),
    (lambda f: f.push(high=2.0, low=1.0, close=1.0, volume=-5), "volume is negative"),
    (lambda f: f.push(high="2", low=1.0, close=1.0, volume=5), "not a finite number"),
    (lambda f: (f.push(high=2.0, low=1.0, close=1.5, volume=5), f.revise(float("inf"))), "next_close"),
    (lambda f: f.push(high=1e39, low=1.0, close=1.0, volume=5), "beyond float32"),
    (lambda f: (f.push(high=2.0, low=1.0, close=1.5, volume=5), f.revise(1e39)), "beyond float32"),
    (lambda f: f.update(high=2.0, low=1.0, close=1.5, volume=5), "update: no bar has been pushed"),
    (lambda f: (f.push(BAR, time="2024-01-02"), f.push(BAR, time="2024-01-02")),
     r"at the newest bar's time \(2024-01-02 00:00:00\): a bar already taken"),
    (lambda f: (f.push(BAR, time="2024-01-02"), f.push(BAR, time="2024-01-01")), "before the newest bar's time"),
    (lambda f: (f.push(BAR, time="2024-01-02"), f.update(BAR, time="2024-01-03")), "push a new bar"),
    (lambda f: f.push(BAR, time="soon"), "time 'soon' is not a time"),
])
def test_bad_bars_are_refused_and_change_nothing(call, message):
    feed = barsight.Feed()
    with pytest.raises(ValueError, match=message):
        call(feed)
    assert feed.bars <= 1


@pytest.mark.parametrize("periods", [0, 10001, 2.5, True, "9"])
def test_periods_out_of_range(periods):
    with pytest.raises(ValueError, match="periods"):
        barsight.Feed(periods=periods)


def test_feeds_are_not_engine_instances():
    # The package runs the engine in process, not through the plug-in's
    # table of instances: a screen of 5,000 symbols holds 5,000 feeds, and
    # vsa_signals runs beside them.
    feeds = [barsight.Feed() for _ in range(5000)]
    for feed in feeds[:3] + feeds[-3:]:
        feed.push(high=2.0, low=1.0, close=1.5, volume=5.0)
    frame = {"high": [2.0] * 20, "low": [1.0] * 20, "close": [1.5] * 20, "volume": [5.0] * 20}
    assert len(barsight.vsa_signals(frame)) == 20
    assert feeds[-1].bars == 1


def test_the_same_bar_twice_is_refused_by_its_time(real_series):
    bars = read_bars(real_series["AAPL"]).iloc[:400]
    feed = barsight.Feed()
    codes = [feed.push(row) for row in bars.itertuples()]  # the index is the time
    assert feed.time == bars.index[-1]
    for again in (bars.iloc[-1], next(bars.iloc[-2:].itertuples())):
        with pytest.raises(ValueError, match="a bar already taken|before the newest bar's time"):
            feed.push(again)
    assert feed.bars == 400
    assert codes == list(barsight.signals_frame(bars)["provisional"])


def test_update_from_history_and_pickling_continue_as_one_feed(real_series):
    bars = read_bars(real_series["SP500"]).iloc[:2000]
    whole = barsight.signals_frame(bars)
    half = 1200
    # A feed of the first bars, saved and restored, or made from them.
    first = barsight.Feed()
    for row in bars.iloc[:half].itertuples():
        first.push(row)
    restored = pickle.loads(pickle.dumps(first))
    made = barsight.Feed.from_history(bars.iloc[:half])
    assert restored.bars == made.bars == half and restored.time == made.time == bars.index[half - 1]
    # Each goes on with the forming bar updated tick by tick before it closes.
    for feed in (first, restored, made):
        provisional, confirmed = [], []
        for k in range(half, len(bars)):
            row = bars.iloc[k]
            confirmed.append(feed.revise(row.close))
            forming = {"high": row.open, "low": row.open, "close": row.open, "volume": row.volume / 3}
            feed.push(forming, time=bars.index[k])
            feed.update({**forming, "high": row.high, "close": (row.open + row.close) / 2})
            provisional.append(feed.update(row))
        np.testing.assert_array_equal(provisional, whole["provisional"].iloc[half:])
        np.testing.assert_array_equal(confirmed, whole["code"].iloc[half - 1:-1])
        assert feed.bars == len(bars)
