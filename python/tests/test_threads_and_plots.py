"""Several Python threads at once, the interpreter ending or interrupted
while calculations run, the installed package, and the plots."""
import json
import os
import pickle
import runpy
import subprocess
import sys
import textwrap
import threading
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import barsight
from conftest import BIN, ROOT, read_bars


def test_threads_get_what_one_thread_gets(every_series):
    frames = [read_bars(path) for path in every_series.values()]
    alone = [(barsight.vsa_signals(f).to_numpy(), barsight.vsa_trend(f, 10).to_numpy(),
              barsight.vsa_vol_stops(f).to_numpy()) for f in frames]
    failures = []

    def work(t):
        try:
            start.wait()
            for round in range(6):
                k = (t + round) % len(frames)
                codes = barsight.vsa_signals(frames[k]).to_numpy()
                trend = barsight.vsa_trend(frames[k], 10).to_numpy()
                stops = barsight.vsa_vol_stops(frames[k]).to_numpy()
                feed = barsight.Feed()
                close = frames[k]["close"].to_numpy()
                for i, row in enumerate(frames[k].iloc[:300].itertuples()):
                    if i and feed.revise(row.close) != alone[k][0][i - 1]:
                        failures.append("thread %d: Feed differs at bar %d" % (t, i - 1))
                    feed.push(row)
                if not (np.array_equal(codes, alone[k][0]) and np.array_equal(trend, alone[k][1], equal_nan=True)
                        and np.array_equal(stops, alone[k][2], equal_nan=True)):
                    failures.append("thread %d: frame %d differs" % (t, k))
                assert len(close)
        except Exception as error:  # noqa: BLE001 (reported below)
            failures.append("thread %d: %r" % (t, error))

    def evaluations(t):
        try:
            start.wait()
            for _ in range(2):
                got = barsight.evaluate(frames, bootstrap=200)
                if not got.equals(evaluated):
                    failures.append("thread %d: evaluate differs" % t)
                if not all(np.array_equal(barsight.volume_colour(f), colour) for f, colour in zip(frames, colours)):
                    failures.append("thread %d: volume_colour differs" % t)
        except Exception as error:  # noqa: BLE001 (reported below)
            failures.append("thread %d: %r" % (t, error))

    evaluated = barsight.evaluate(frames, bootstrap=200)
    colours = [barsight.volume_colour(f).to_numpy() for f in frames]
    start = threading.Barrier(8)
    threads = [threading.Thread(target=work if t < 6 else evaluations, args=(t,)) for t in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


def test_python_runs_on_while_a_calculation_does(real_series):
    # The GIL is released during the calculation: another Python thread
    # keeps counting while evaluate works (it could not if the call held it).
    frames = [read_bars(p) for p in real_series.values()]
    counted, running = [0], [True]

    def count():
        while running[0]:
            counted[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        before = counted[0]
        barsight._core.evaluate([(str(k), f.index.values.astype("datetime64[D]").astype(np.int64),
                                  np.zeros(0, np.int32), f["open"].to_numpy(), f["close"].to_numpy(),
                                  barsight.vsa_signals(f).to_numpy()) for k, f in enumerate(frames)],
                                [1, 5, 10, 20], "open", "file", 30, 20, 3000, 1)
        during = counted[0] - before
    finally:
        running[0] = False
        counter.join()
    assert during > 1000


def run_python(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=600)


# Bars for a child interpreter, and every call of the extension that releases the GIL.
CALLS = """
    import numpy as np, pandas as pd, barsight
    k = np.arange(3000, dtype=np.float64)
    close = 100 + np.sin(k / 3) * 5 + k / 100
    bars = pd.DataFrame({"open": close - 0.5, "high": close + 1, "low": close - 1, "close": close,
                         "volume": 1000 + 100 * (k % 7)}, index=pd.date_range("2000-01-03", periods=len(k)))
    columns = [bars[c].to_numpy() for c in ("high", "low", "close", "volume")]
    CALLS = {
        "vsa_signals": lambda: barsight.vsa_signals(bars),
        "calculate": lambda: barsight.vsa_trend(bars, 10),
        "wilder_atr": lambda: barsight.vsa_vol_stops(bars),
        "volume_colour": lambda: barsight.volume_colour(bars),
        "evaluate": lambda: barsight.evaluate(bars, bootstrap=200),
        "engine_series": lambda: barsight._core.engine_series(*columns, 9),
    }
"""


def test_the_interpreter_ends_cleanly_with_threads_inside_every_released_call():
    # Daemon threads loop on each call while the main thread returns: the
    # interpreter ends with threads inside the calls, or waiting to take the
    # GIL back after one. A thread ended there used to abort the process
    # ("terminate called without an active exception", exit 134).
    code = CALLS + """
    import threading
    started = []

    def loop(call, started):
        call()
        started.set()
        while True:
            call()

    for name, call in CALLS.items():
        for _ in range(2):
            started.append(threading.Event())
            threading.Thread(target=loop, args=(call, started[-1]), daemon=True).start()
    for event in started:
        event.wait()
    print("every call ran; the main thread returns")
    """
    for run in range(4):
        done = run_python(code)
        assert (done.returncode, done.stderr) == (0, ""), "run %d" % run
        assert done.stdout == "every call ran; the main thread returns\n"
    assert len([line for line in CALLS.splitlines() if "lambda:" in line]) == 6


def test_ctrl_c_ends_a_long_evaluation_while_it_runs():
    # Ctrl-C (here interrupt_main, as the terminal's SIGINT) arrives once the
    # call has released the GIL (the other thread cannot run before: the
    # switch interval is long). The call must end by the KeyboardInterrupt
    # (c_exception), not finish its 1,000,000 replicates (c_return) and have
    # it raised after.
    done = run_python("""
    import _thread, sys, threading
    import numpy as np, barsight

    n = 20000
    days = np.arange(n, dtype=np.int64)
    close = 100 + np.cumsum(np.sin(np.arange(n) * 0.7))
    codes = np.where(np.arange(n) % 10 == 0, 3, 0).astype(np.int32)
    ended = []

    def profile(frame, event, arg):
        if arg is barsight._core.evaluate and event in ("c_return", "c_exception"):
            ended.append(event)

    calling = threading.Event()

    def interrupt():
        calling.wait()
        _thread.interrupt_main()

    sys.setswitchinterval(100)
    threading.Thread(target=interrupt).start()
    sys.setprofile(profile)
    try:
        calling.set()
        barsight._core.evaluate([("x", days, np.zeros(0, np.int32), close, close, codes)], [1, 10000], "open",
                                "file", 1, 1, 1000000, 1)
    except KeyboardInterrupt:
        sys.setprofile(None)
        print("KeyboardInterrupt", ended)
    """)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "KeyboardInterrupt ['c_exception']\n"


def test_the_package_under_test_is_the_installed_one():
    # The tests run against the package pip installed, not the source folder.
    where = Path(barsight.__file__).resolve()
    assert ROOT / "python" not in where.parents, where
    assert "site-packages" in where.parts
    # Its signals are the source tree's table, every one.
    table = runpy.run_path(str(ROOT / "generators" / "signal_table.py"))
    assert {code for code in barsight.signal_names} == {row[0] for row in table["SIGNALS"]}
    assert all(s.side == ("strength" if c > 0 else "weakness") for c, s in barsight.signal_names.items())


# The sdist and the wheel the test lane installed from (scripts/lib/python.sh).
DIST = BIN.parent / "python-dist"


def dist_files():
    sdists, wheels = sorted(DIST.glob("barsight-*.tar.gz")), sorted(DIST.glob("barsight-*.whl"))
    assert len(sdists) == 1 and len(wheels) == 1, "no sdist and wheel in %s (scripts/lib/python.sh)" % DIST
    return sdists[0], wheels[0]


def project_version():
    line = next(l for l in (ROOT / "CMakeLists.txt").read_text().splitlines() if l.startswith("project(Barsight"))
    return line.split()[2]


def test_the_installed_package_is_the_wheel_built_from_the_sdist():
    import importlib.metadata
    import zipfile
    sdist, wheel = dist_files()
    assert barsight.__version__ == importlib.metadata.version("barsight") == project_version()
    assert sdist.name == "barsight-%s.tar.gz" % barsight.__version__
    installed = Path(barsight.__file__).parent
    with zipfile.ZipFile(wheel) as z:
        names = set(z.namelist())
        assert {"barsight/py.typed", "barsight/_version.py", "barsight/_signal_table.py"} <= names
        core = [n for n in names if n.startswith("barsight/_core.") and not n.endswith(".pyi")]
        assert len(core) == 1 and z.read(core[0]) == (installed / Path(core[0]).name).read_bytes()


def test_the_sdist_builds_from_its_own_files(tmp_path):
    import tarfile
    sdist, _ = dist_files()
    with tarfile.open(sdist) as tar:
        names = tar.getnames()
        top = "barsight-%s" % barsight.__version__
        assert all(n == top or n.startswith(top + "/") for n in names) and not any(".." in n for n in names)
        for needed in ("setup.py", "pyproject.toml", "barsight/py.typed", "barsight/_core.pyi", "cpp/CMakeLists.txt",
                       "cpp/engine/batch.cpp", "cpp/python/src/module.cpp", "cpp/generators/signal_table.py"):
            assert top + "/" + needed in names, needed
        tar.extractall(tmp_path)
    unpacked = tmp_path / top
    assert not (tmp_path / "CMakeLists.txt").exists()  # nothing of the tree around it
    done = subprocess.run([sys.executable, "setup.py", "--version"], cwd=unpacked, capture_output=True, text=True)
    assert done.stdout.strip().splitlines()[-1] == barsight.__version__, done.stderr
    # The user's build keeps warnings warnings: setup.py turns the project's
    # -Werror off, and the packed CMake files honour that.
    assert "-DBARSIGHT_WERROR=OFF" in (unpacked / "setup.py").read_text()
    for werror, expected in (("ON", True), ("OFF", False)):
        build = tmp_path / ("build-" + werror)
        done = subprocess.run(["cmake", "-S", str(unpacked / "cpp"), "-B", str(build), "-DBARSIGHT_TESTS=OFF",
                               "-DBARSIGHT_PYTHON=ON", "-DPYBIND11_FINDPYTHON=ON", "-DPython_EXECUTABLE=" + sys.executable,
                               "-DPython3_EXECUTABLE=" + sys.executable, "-DBARSIGHT_WERROR=" + werror,
                               "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], capture_output=True, text=True, timeout=600)
        assert done.returncode == 0, done.stderr
        commands = json.loads((build / "compile_commands.json").read_text())
        module = [c["command"] for c in commands if c["file"].endswith("python/src/module.cpp")]
        assert len(module) == 1 and ("-Werror" in module[0]) == expected
        assert any(("-Werror" in c["command"]) == expected for c in commands)
        assert all("-Werror" not in c["command"] for c in commands) or expected


PUBLIC = ["vsa_signals", "signals_frame", "scan", "read_bars", "vsa_trend", "vsa_spread", "vsa_vol_stops",
          "volume_colour", "evaluate", "Feed.__init__", "Feed.from_history", "Feed.push", "Feed.update",
          "Feed.revise", "plot.signals", "plot.evaluation"]


@pytest.mark.parametrize("name", PUBLIC)
def test_the_public_functions_carry_types(name):
    import typing
    function = barsight
    for part in name.split("."):
        function = getattr(function, part)
    function = getattr(function, "__func__", function)
    import inspect
    import matplotlib.figure
    hints = typing.get_type_hints(function, localns={"matplotlib": matplotlib})
    parameters = [p for p in inspect.signature(function).parameters if p not in ("self", "cls")]
    assert set(parameters) <= set(hints) and "return" in hints, name
    assert (Path(barsight.__file__).parent / "py.typed").is_file()


PLOTS = Path(os.environ.get("BARSIGHT_PLOTS", ROOT / "build" / "python-plots"))


@pytest.fixture(scope="module")
def pyplot():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    yield plt
    plt.close("all")


def saved(fig, name):
    PLOTS.mkdir(parents=True, exist_ok=True)
    path = PLOTS / name
    fig.savefig(path, dpi=100)
    return path


def test_signals_plot(pyplot, real_series):
    bars = read_bars(real_series["AAPL"])
    fig = barsight.plot.signals(bars, last=120, title="AAPL: VSA signals, last 120 bars")
    price, volume = fig.axes
    codes = barsight.vsa_signals(bars).to_numpy()[-120:]
    glyphs = [t for t in price.texts]
    assert len(glyphs) == np.count_nonzero(codes)
    for text, code in zip(glyphs, codes[codes != 0]):
        label, _, colour, glyph = barsight._signal_table.LOOK[int(code)]
        assert text.get_text() == glyph and text.get_color().upper() == colour
    assert len(volume.patches) == 120
    path = saved(fig, "signals.png")
    assert path.stat().st_size > 20000


def test_the_signal_names_cannot_be_changed_under_the_plot(pyplot, monkeypatch):
    bars = read_bars(ROOT / "data" / "sample_ohlcv.csv")
    shown = set(barsight.vsa_signals(bars).to_numpy()[-160:]) - {0}
    assert shown
    with pytest.raises(TypeError):
        del barsight.signal_names[shown.pop()]
    with pytest.raises(TypeError):
        barsight.signal_names.update({1: ("mine", "strength")})
    # Still a dict to what reads one: JSON and pickle take it.
    assert json.loads(json.dumps(barsight.signal_names))[str(next(iter(shown)))][0]
    assert pickle.loads(pickle.dumps(barsight.signal_names)) == dict(barsight.signal_names)
    monkeypatch.setattr(barsight, "signal_names", {})
    fig = barsight.plot.signals(bars)
    assert fig.axes[0].get_legend() is not None
    pyplot.close(fig)


def texts_of(legend):
    return [t.get_text() for t in legend.get_texts()] if legend is not None else []


def test_signals_plot_draws_the_trend_and_the_stop_and_explains_the_volume_colours(pyplot, real_series):
    bars = read_bars(real_series["SP500"])
    fig = barsight.plot.signals(bars, last=200, trend=20, stops=True, title="S&P 500: trend and stop")
    price, volume = fig.axes
    trend, stop = price.get_lines()
    assert np.array_equal(trend.get_ydata(), barsight.vsa_trend(bars, 20).to_numpy()[-200:], equal_nan=True)
    got = barsight.vsa_vol_stops(bars, side=True).iloc[-200:]
    # The stop line is broken (a NaN) where its side changes, not drawn across the price.
    line = np.asarray(stop.get_ydata(), dtype=float)
    flips = np.count_nonzero(np.diff(got["side"].to_numpy(dtype=float)) != 0)
    assert flips > 0 and np.count_nonzero(np.isnan(line)) == flips
    assert np.array_equal(line[~np.isnan(line)], got["stop"].to_numpy(dtype=float))
    assert texts_of(price.get_legend())[:2] == ["trend (20 bars)", "stop (2.5 x ATR 14)"]
    assert texts_of(volume.get_legend()) == [barsight.plot.VOLUME_LABELS[k] for k in (1, 2, 3, 4)]
    saved(fig, "signals_trend_stop.png")


def test_signals_plot_into_the_callers_axes(pyplot):
    bars = read_bars(ROOT / "data" / "sample_ohlcv.csv")
    fig, axes = pyplot.subplots(2, 2, figsize=(14, 7), gridspec_kw={"height_ratios": [3, 1]})
    codes = np.count_nonzero(barsight.vsa_signals(bars).to_numpy()[-80:])
    assert barsight.plot.signals(bars, last=80, ax=axes[0, 0], title="prices only") is fig
    assert barsight.plot.signals(bars, last=80, ax=(axes[0, 1], axes[1, 1]), title="prices and volume") is fig
    assert len(axes[0, 0].texts) == len(axes[0, 1].texts) == codes
    assert len(axes[1, 1].patches) == 80 and len(axes[1, 0].patches) == 0
    saved(fig, "signals_in_axes.png")
    with pytest.raises(ValueError, match="ax must be a matplotlib Axes .* or a pair"):
        barsight.plot.signals(bars, ax="left")


def custom_codes(bars):
    # A code of one's own every 15th bar, 7 on rising closes and -7 on falling ones, missing elsewhere.
    rising = np.sign(bars["close"].diff().fillna(0).to_numpy())
    return pd.array(np.where(np.arange(len(bars)) % 15 == 0, 7 * rising, np.nan), dtype="Int8")


CODES = [
    # codes=, the codes expected on the bars, the file
    ("provisional", lambda b: barsight.signals_frame(b)["provisional"], "signals_provisional.png"),
    (lambda b: barsight.signals_frame(b, stamp="known")["code"], lambda b: barsight.vsa_signals(b, stamp="known"),
     "signals_known.png"),
    ("mine", lambda b: pd.Series(custom_codes(b)).fillna(0), "signals_custom_codes.png"),
]


@pytest.mark.parametrize("codes, expected, name", CODES)
def test_signals_plot_draws_any_codes(pyplot, codes, expected, name):
    bars = read_bars(ROOT / "data" / "sample_ohlcv.csv").assign(mine=lambda b: custom_codes(b))
    given = codes(bars) if callable(codes) else codes
    fig = barsight.plot.signals(bars, codes=given, names={7: "mine up", -7: "mine down"}, title=name)
    want = np.asarray(expected(bars), dtype=int)[-160:]
    price = fig.axes[0]
    assert len(price.texts) == np.count_nonzero(want)
    # Strength below the bar (the glyph hangs from its top), weakness above.
    assert [t.get_va() for t in price.texts] == ["top" if k > 0 else "bottom" for k in want[want != 0]]
    if name == "signals_custom_codes.png":
        assert texts_of(price.get_legend()) == ["mine up", "mine down"]
    saved(fig, name)


def test_an_empty_plot_is_refused_or_says_why(pyplot, real_series):
    bars = read_bars(ROOT / "data" / "sample_ohlcv.csv")
    with pytest.raises(ValueError, match="plot.signals: no bars to draw"):
        barsight.plot.signals(bars.iloc[:0])
    quiet = barsight.plot.signals(bars.iloc[:12])  # the warm-up: no code yet
    assert [t.get_text() for t in quiet.axes[0].texts] == ["no signals in these 12 bars"]
    saved(quiet, "signals_none.png")
    too_few = barsight.evaluate(read_bars(real_series["AAPL"]), min_count=100000, bootstrap=200)
    for result, message in ((too_few, "none of its %d rows has statistics" % len(too_few)),
                            (too_few.iloc[:0], "the table has no rows"),
                            (bars, "must be the DataFrame evaluate\\(\\) answers")):
        with pytest.raises(ValueError, match=message):
            barsight.plot.evaluation(result)
    for codes, message in ((np.zeros(3), "codes has 3 values, not one per bar"),
                           (np.full(len(bars), 0.5), "codes, row 0: 0.5 is not a whole-number code"),
                           ("nothing", "codes='nothing': the bars have no such column")):
        with pytest.raises(ValueError, match=message):
            barsight.plot.signals(bars, codes=codes)


def test_evaluation_plot(pyplot, real_series):
    result = barsight.evaluate({n: read_bars(p) for n, p in real_series.items()}, bootstrap=300)
    fig = barsight.plot.evaluation(result)
    (ax,) = fig.axes
    assert len(ax.get_yticklabels()) == result["diff_pct"].notna().sum()
    path = saved(fig, "evaluation.png")
    assert path.stat().st_size > 15000


def test_the_readmes_example_runs(tmp_path, monkeypatch, pyplot):
    readme = (ROOT / "README.md").read_text()
    section = readme[readme.index("## Python"):]
    code = section[section.index("```python\n") + 10:section.index("```", section.index("```python\n") + 10)]
    assert len(code.strip().splitlines()) == 5
    monkeypatch.chdir(tmp_path)
    (tmp_path / "data").mkdir()
    (tmp_path / "data" / "sample_ohlcv.csv").write_bytes((ROOT / "data" / "sample_ohlcv.csv").read_bytes())
    exec(compile(code, "README.md", "exec"), {})
    assert (tmp_path / "signals.png").stat().st_size > 20000
