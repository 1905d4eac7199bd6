"""What the package's tests compare with: msxhost and the plug-in of a
native build (BARSIGHT_BIN, default build/native/bin), the sample data and
the real series of scripts/real_data.py. A missing one fails the tests: a
check that cannot run is a failure, not a skip."""
import io
import os
import subprocess
import sys
from pathlib import Path

import pandas as pd
import pytest

ROOT = Path(__file__).resolve().parents[2]
BIN = Path(os.environ.get("BARSIGHT_BIN", ROOT / "build" / "native" / "bin"))
MSXHOST = BIN / "msxhost"
PLUGIN = BIN / "libBarsightPlugin.so"
SAMPLE = ROOT / "data" / "sample_ohlcv.csv"


def read_bars(path):
    """A CSV of date,open,high,low,close,volume as a trader reads it, each
    number the double nearest its text (as the host's reader takes it)."""
    return pd.read_csv(path, index_col="date", parse_dates=True, float_precision="round_trip")


# The daily series scripts/real_data.py gives.
REAL_SERIES = ["SP500", "AAPL", "GOOG", "MSFT", "SSE", "SZSE", "CSI300", "SZSME", "CHINEXT", "PAB", "SPDB",
               "COMPLANT", "IFC", "ICC", "IMC"]


@pytest.fixture(scope="session")
def real_series():
    done = subprocess.run([sys.executable, str(ROOT / "scripts" / "real_data.py")], capture_output=True, text=True,
                          timeout=900)
    assert done.returncode == 0, done.stderr
    series = dict(line.split()[:2] for line in done.stdout.splitlines())
    assert sorted(series) == sorted(REAL_SERIES), done.stdout
    return series


@pytest.fixture(scope="session")
def every_series(real_series):
    """The sample data and every real series: name -> CSV path."""
    return {"sample": str(SAMPLE), **real_series}


def msxhost(*args):
    assert MSXHOST.is_file() and PLUGIN.is_file(), "no native build at %s (BARSIGHT_BIN)" % BIN
    done = subprocess.run([str(MSXHOST), *args], capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    return done.stdout


def msxhost_run(path, function, *args):
    """msxhost run's valid values: a Series of float32 by bar number."""
    out = msxhost("run", str(PLUGIN), function, "--data", path, *args)
    head, table = out.split("\n", 1)
    assert " result 0 " in head, head
    rows = pd.read_csv(io.StringIO(table), dtype={"value": str})
    values = rows["value"].map(float).astype("float32")
    return pd.Series(values.to_numpy(), index=rows["bar"].to_numpy())
