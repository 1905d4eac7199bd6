"""Every code the engine gives, as recorded once (record_codes.py): the
sample data and every real series, through VSAInd's feed on float32 prices
and the live feed on doubles at periods 9 and 50, bar for bar. A change to
how the engine computes (its windows, its sums) must not change a code."""
from pathlib import Path

import pytest

from conftest import read_bars
from record_codes import WAYS, codes, read

RECORDED = read(Path(__file__).resolve().parent / "recorded_codes.txt")


@pytest.mark.parametrize("way", WAYS)
def test_codes_are_as_recorded(every_series, way):
    for name, path in every_series.items():
        want = RECORDED[(name, way)]
        got = codes(read_bars(path).rename(columns=str.lower), way)
        assert len(got) == len(want), name
        changed = [k for k, (a, b) in enumerate(zip(got, want)) if a != b]
        assert not changed, "%s, %s: %d bars changed, the first bar %d: %d, recorded %d" % (
            name, way, len(changed), changed[0], got[changed[0]], want[changed[0]])
