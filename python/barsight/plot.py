"""Charts of the signals and of their evaluation with matplotlib (imported
when a function is called, so the package works without it).

signals(bars): price bars, each signal's glyph and colour as the MetaTrader
kit draws them (strength below the bar, weakness above), optionally the
trend line and the trailing stop, and volume coloured by its class, with a
legend saying what each colour means (msxhost's chart draws the same).
evaluation(result): the forest plot of evaluate()'s table."""
import numbers
from typing import TYPE_CHECKING, Any, Mapping, Optional, Union

import numpy as np
import pandas as pd

from . import _signal_table

if TYPE_CHECKING:
    import matplotlib.figure

# Volume classes 1-4 (below both bars before, closed lower, closed higher,
# unchanged), the chart's colours; class 0 (no two bars before) as the
# chart draws it, like unchanged.
VOLUME_COLOURS = {0: "#1565c0", 1: "#9e9e9e", 2: "#d32f2f", 3: "#2e7d32", 4: "#1565c0"}
VOLUME_LABELS = {1: "volume below both bars before", 2: "close lower", 3: "close higher",
                 4: "close unchanged (or first two bars)"}
TREND_COLOUR = "#ef6c00"
STOPS_COLOUR = "#6a1b9a"


def _pyplot():
    import matplotlib.pyplot as plt
    return plt


def _axes(ax):
    """The price axes and the volume axes (None: no volume pane) the
    caller gave: one Axes, or a pair of them."""
    from matplotlib.axes import Axes
    if isinstance(ax, Axes):
        return ax, None
    if isinstance(ax, (list, tuple, np.ndarray)) and len(ax) == 2 and all(isinstance(a, Axes) for a in ax):
        return ax[0], ax[1]
    raise ValueError("plot.signals: ax must be a matplotlib Axes (prices only) or a pair of them (prices, volume), "
                     "not %s" % type(ax).__name__)


def _codes_of(codes, data, b, periods):
    """The codes to draw, one whole number per bar, and what they are.
    None: vsa_signals; "provisional": the live codes (unless the bars have
    a column of that name); a column name of the bars; a Series (taken by
    the bars' index) or an array as long as the bars. Missing values
    (NaN, <NA>) are no code."""
    from . import _core, _input, vsa_signals
    if codes is None:
        return np.asarray(vsa_signals(b.columns, periods)), "signals"
    if isinstance(codes, str):
        columns = list(data.columns) if isinstance(data, pd.DataFrame) else list(data.keys()) \
            if hasattr(data, "keys") else []
        by_lower = {str(c).strip().lower(): c for c in columns}
        column = by_lower.get(codes.strip().lower())
        if column is None and codes.strip().lower() == "provisional":
            values = _core.vsa_provisional(*(b.float32(k) for k in ("high", "low", "close", "volume")), periods)
            return np.asarray(values), "provisional codes (at each bar's own close)"
        if column is None:
            raise ValueError("plot.signals: codes=%r: the bars have no such column (columns: %s; or 'provisional', "
                             "or pass a Series)" % (codes, ", ".join(map(str, columns))))
        values, what = data[column], "codes of column %r" % column
    else:
        values, what = codes, "codes"
        if isinstance(codes, pd.Series) and b.index is not None:
            missing = ~b.index.isin(codes.index)
            if missing.any():
                raise ValueError("plot.signals: codes has no value for the bars' row %d (%s)"
                                 % (int(np.flatnonzero(missing)[0]), _input.short(b.index[np.flatnonzero(missing)[0]])))
            values = codes.reindex(b.index)
    values = pd.Series(np.asarray(values, dtype=object) if not isinstance(values, pd.Series) else values)
    if len(values) != len(b):
        raise ValueError("plot.signals: codes has %d values, not one per bar (%d)" % (len(values), len(b)))
    number = pd.to_numeric(values, errors="coerce").astype("float64")
    bad = np.flatnonzero((number.isna() & values.notna()).to_numpy() |
                         (number.notna() & (number != np.floor(number.fillna(0)))).to_numpy())
    if bad.size:
        raise ValueError("plot.signals: codes, row %d: %s is not a whole-number code"
                         % (int(bad[0]), _input.short(values.iloc[bad[0]])))
    return number.fillna(0).to_numpy().astype(np.int64), what


def signals(data: Any, periods: int = 9, last: Optional[int] = 160, title: Optional[str] = None, ax: Any = None,
            codes: Any = None, names: Optional[Mapping[int, str]] = None, trend: Optional[float] = None,
            stops: Union[bool, float, None] = None) -> "matplotlib.figure.Figure":
    """A chart of the newest `last` bars (every bar with None; at least 1):
    price bars with a glyph for each signal (strength below the bar,
    weakness above) and a legend naming them, volume below in the colours
    of its classes (with a legend for those), and a note when the bars
    shown hold no signal. Returns the matplotlib Figure.

    ax: draw into your own axes: one Axes (prices and signals only) or a
    pair (prices, volume); None makes a new figure.
    codes: which codes to show: None the final ones (vsa_signals), a column
    name of the bars (or "provisional": the codes a live chart showed at
    each bar's own close), or a Series or array of one code per bar
    (missing values are no code). Codes the package does not know are drawn
    as triangles, named by `names` ({code: name}) or "code N".
    trend: a number of bars: the trend line vsa_trend(bars, trend).
    stops: True for the stop line vsa_vol_stops(bars), or a multiplier for
    it; the line is broken where its side changes."""
    from . import _input, _SIGNAL_NAMES, vsa_trend, vsa_vol_stops, volume_colour
    if last is not None and (isinstance(last, bool) or not isinstance(last, numbers.Integral) or last < 1):
        raise ValueError("plot.signals: last must be a whole number of bars from 1 up (None for every bar), not %s"
                         % _input.short(last))
    plt = _pyplot()
    b = _input.bars(data, ("open", "high", "low", "close", "volume"), "plot.signals")
    if len(b) == 0:
        raise ValueError("plot.signals: no bars to draw (the bars given are empty)")
    price, volume = _axes(ax) if ax is not None else (None, None)
    shown_codes, what = _codes_of(codes, data, b, periods)
    n = len(b)
    start = 0 if last is None else max(0, n - last)
    x = np.arange(start, n)
    o, h, l, c, v = (b.columns[k][start:] for k in ("open", "high", "low", "close", "volume"))
    if ax is None:
        fig, (price, volume) = plt.subplots(2, 1, figsize=(11, 6.5), sharex=True,
                                            gridspec_kw={"height_ratios": [3, 1], "hspace": 0.05})
    fig = price.figure
    up = c >= o
    for side, colour in ((up, "#2e7d32"), (~up, "#c62828")):
        price.vlines(x[side], l[side], h[side], color=colour, linewidth=1)
        price.hlines(o[side], x[side] - 0.35, x[side], color=colour, linewidth=1)
        price.hlines(c[side], x[side], x[side] + 0.35, color=colour, linewidth=1)
    low, high = float(np.min(l)), float(np.max(h))
    gap = (high - low) * 0.03 or 1.0
    lines = []
    if trend is not None:
        line = np.asarray(vsa_trend(b.columns, trend))[start:]
        periods_shown = int(np.float32(trend))
        lines += price.plot(x, line, color=TREND_COLOUR, linewidth=1.3, label="trend (%d bars)" % periods_shown)
    if stops is not None and stops is not False:
        multiplier = 2.5 if stops is True else stops
        got = vsa_vol_stops(b.columns, multiplier, side=True)
        line = np.array(got["stop"], dtype=np.float64)[start:]
        side = np.asarray(got["side"])[start:]
        # A break where the side changes: the line jumps across the price.
        broken = np.insert(line, np.flatnonzero(np.diff(side) != 0) + 1, np.nan)
        at = np.insert(x.astype(np.float64), np.flatnonzero(np.diff(side) != 0) + 1, np.nan)
        lines += price.plot(at, broken, color=STOPS_COLOUR, linewidth=1.2, linestyle=(0, (4, 3)),
                            label="stop (%g x ATR 14)" % float(np.float32(multiplier)))
        valid = np.isfinite(line)
        if valid.any():
            low, high = min(low, float(np.min(line[valid]))), max(high, float(np.max(line[valid])))
    shown = set()
    for k, code in enumerate(shown_codes[start:]):
        if code == 0:
            continue
        colour, glyph = _look(int(code))
        y = l[k] - gap if code > 0 else h[k] + gap
        price.text(x[k], y, glyph, color=colour, ha="center", va="top" if code > 0 else "bottom", fontsize=12,
                   fontweight="bold")
        shown.add(int(code))
    handles = []
    for code in sorted(shown, key=lambda c: (c < 0, abs(c))):
        colour, glyph = _look(code)
        if names and code in names:
            label = str(names[code])
        elif code in _signal_table.LOOK:
            label = "%s %s" % (_signal_table.LOOK[code][0], _SIGNAL_NAMES[code].name)
        else:
            label = "code %d" % code
        handles.append(price.scatter([], [], marker="$%s$" % glyph, color=colour, s=90, label=label))
    if handles or lines:
        price.legend(handles=lines + handles, loc="upper left", fontsize=8, ncol=2, framealpha=0.85)
    if not shown:
        price.text(0.5, 0.97, "no %s in these %d bars" % ("signals" if codes is None else "codes", len(x)),
                   transform=price.transAxes, ha="center", va="top", fontsize=9, color="#555555")
    price.set_ylim(low - 3 * gap, high + 3 * gap)
    price.set_xlim(x[0] - 1, x[-1] + 1)
    price.set_ylabel("price")
    price.grid(alpha=0.25)
    price.set_title(title or "VSA %s (periods %d), last %d bars" % (what, periods, len(x)))
    dated = b.dates is not None
    if volume is not None:
        colours = np.asarray(volume_colour(b.columns))
        volume.bar(x, v, width=0.8, color=[VOLUME_COLOURS.get(int(k), "#9e9e9e") for k in colours[start:]])
        from matplotlib.patches import Patch
        wide = volume.get_window_extent().width / fig.dpi >= 7
        volume.legend(handles=[Patch(color=VOLUME_COLOURS[k], label=VOLUME_LABELS[k]) for k in (1, 2, 3, 4)],
                      loc="upper left", fontsize=7, ncol=4 if wide else 2, framealpha=0.85)
        volume.set_xlim(x[0] - 1, x[-1] + 1)
        from matplotlib.ticker import EngFormatter
        volume.yaxis.set_major_formatter(EngFormatter())
        volume.set_ylim(0, float(np.max(v)) * 1.35 or 1.0)
        volume.set_ylabel("volume")
        volume.grid(alpha=0.25)
    # Dates under the volume pane of a figure of our own (the price pane
    # shares its axis); under each of the caller's axes.
    for axes in ((volume,) if ax is None else (price, volume)):
        if axes is None:
            continue
        if dated:
            ticks = np.linspace(0, len(x) - 1, min(8 if ax is None else 5, len(x))).astype(int)
            axes.set_xticks(x[ticks])
            axes.set_xticklabels([str(np.datetime64(b.dates[start + t], "D")) for t in ticks], rotation=0,
                                 fontsize=8)
        else:
            axes.set_xlabel("bar")
    return fig


def _look(code):
    """A code's colour and glyph: the signal table's, else a triangle in
    its side's colour."""
    if code in _signal_table.LOOK:
        _, _, colour, glyph = _signal_table.LOOK[code]
        return colour, glyph
    return ("#2e7d32", "\u25b2") if code > 0 else ("#c62828", "\u25bc")


def evaluation(result: pd.DataFrame, title: Optional[str] = None) -> "matplotlib.figure.Figure":
    """The forest plot of evaluate()'s table: per signal, one line per
    horizon with the difference from the baseline (dot), its 95% interval
    (whisker) and the family-wide interval (pale), strength above, weakness
    below. Returns the matplotlib Figure."""
    plt = _pyplot()
    if not isinstance(result, pd.DataFrame) or not {"code", "diff_pct", "horizon"} <= set(result.columns):
        raise ValueError("plot.evaluation: result must be the DataFrame evaluate() answers, not %s"
                         % type(result).__name__)
    rows = result[result["diff_pct"].notna()]
    if rows.empty:
        raise ValueError("plot.evaluation: nothing to draw: %s" % (
            "the table has no rows (no code was found in the bars)" if result.empty else
            "none of its %d rows has statistics (each needs min_count cases and min_episodes episodes; "
            "lower them or give more bars)" % len(result)))
    rows = rows.assign(strength=rows["code"] > 0)
    rows = rows.sort_values(["strength", "code", "horizon"], ascending=[False, True, True],
                            key=lambda s: s.abs() if s.name == "code" else s)
    fig, ax = plt.subplots(figsize=(9, max(2.5, 0.3 * len(rows) + 1.2)))
    y = np.arange(len(rows))[::-1]
    for k, (_, row) in zip(y, rows.iterrows()):
        colour = "#2e7d32" if row["code"] > 0 else "#c62828"
        if np.isfinite(row["adj_ci_low_pct"]):
            ax.hlines(k, row["adj_ci_low_pct"], row["adj_ci_high_pct"], color=colour, alpha=0.3, linewidth=6)
        ax.hlines(k, row["ci_low_pct"], row["ci_high_pct"], color=colour, linewidth=1.5)
        ax.plot(row["diff_pct"], k, "o", color=colour)
    ax.axvline(0, color="#555555", linewidth=1)
    ax.set_yticks(y)
    ax.set_yticklabels(["%s, %d bar%s (n=%d)" % (r["name"], r["horizon"], "" if r["horizon"] == 1 else "s",
                                                  r["cases"]) for _, r in rows.iterrows()], fontsize=8)
    ax.set_xlabel("return after the signal minus every bar's, percent (95% interval; pale: family-wide)")
    ax.set_title(title or "What each signal was followed by (%s entry, %d files)"
                 % (result.attrs.get("entry", "open"), result.attrs.get("files", 0)), fontsize=10)
    ax.grid(axis="x", alpha=0.25)
    method = result.attrs.get("method", "")
    fig.tight_layout()
    if method:
        import textwrap
        fig.subplots_adjust(bottom=fig.subplotpars.bottom + 0.06)
        fig.text(0.01, 0.01, "family-wide: " + textwrap.fill(method, 130), fontsize=6.5, color="#555555",
                 va="bottom")
    return fig
