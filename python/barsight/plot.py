"""Charts of the signals and of their evaluation with matplotlib (imported
when a function is called, so the package works without it).

signals(bars): price bars, each signal's glyph and colour as the MetaTrader
kit draws them (strength below the bar, weakness above), and volume
coloured by its class (CalcVolumeColor), as msxhost's chart colours it.
evaluation(result): the forest plot of evaluate()'s table."""
import numbers

import numpy as np

from . import _signal_table

# Volume classes 1-4 (below both bars before, closed lower, closed higher,
# unchanged), the chart's colours; class 0 (no two bars before) as the
# chart draws it, like unchanged.
VOLUME_COLOURS = {0: "#1565c0", 1: "#9e9e9e", 2: "#d32f2f", 3: "#2e7d32", 4: "#1565c0"}


def _pyplot():
    import matplotlib.pyplot as plt
    return plt


def signals(data, periods=9, last=160, title=None):
    """A figure of the newest `last` bars (all with None; at least 1): price
    bars with the signals, and volume below. Returns the matplotlib Figure."""
    from . import _input, _SIGNAL_NAMES, vsa_signals, volume_colour
    if last is not None and (isinstance(last, bool) or not isinstance(last, numbers.Integral) or last < 1):
        raise ValueError("plot.signals: last must be a whole number of bars from 1 up (None for every bar), not %s"
                         % _input.short(last))
    plt = _pyplot()
    b = _input.bars(data, ("open", "high", "low", "close", "volume"), "plot.signals")
    if len(b) == 0:
        raise ValueError("plot.signals: no bars to draw")
    codes = np.asarray(vsa_signals(b.columns, periods))
    colours = np.asarray(volume_colour(b.columns))
    n = len(b)
    start = 0 if last is None else max(0, n - last)
    x = np.arange(start, n)
    o, h, l, c, v = (b.columns[k][start:] for k in ("open", "high", "low", "close", "volume"))
    fig, (price, volume) = plt.subplots(2, 1, figsize=(11, 6.5), sharex=True,
                                        gridspec_kw={"height_ratios": [3, 1], "hspace": 0.05})
    up = c >= o
    for side, colour in ((up, "#2e7d32"), (~up, "#c62828")):
        price.vlines(x[side], l[side], h[side], color=colour, linewidth=1)
        price.hlines(o[side], x[side] - 0.35, x[side], color=colour, linewidth=1)
        price.hlines(c[side], x[side], x[side] + 0.35, color=colour, linewidth=1)
    span = float(np.max(h) - np.min(l)) if n else 1.0
    gap = span * 0.03 or 1.0
    shown = set()
    for k, code in enumerate(codes[start:]):
        if code == 0 or code not in _signal_table.LOOK:
            continue
        label, _, colour, glyph = _signal_table.LOOK[int(code)]
        y = l[k] - gap if code > 0 else h[k] + gap
        price.text(x[k], y, glyph, color=colour, ha="center", va="top" if code > 0 else "bottom", fontsize=12,
                   fontweight="bold")
        shown.add(int(code))
    handles = []
    for code in sorted(shown, key=lambda c: (c < 0, abs(c))):
        label, _, colour, glyph = _signal_table.LOOK[code]
        handles.append(price.scatter([], [], marker="$%s$" % glyph, color=colour, s=90,
                                     label="%s %s" % (label, _SIGNAL_NAMES[code].name)))
    if handles:
        price.legend(handles=handles, loc="upper left", fontsize=8, ncol=2, framealpha=0.85)
    price.set_ylim(float(np.min(l)) - 3 * gap, float(np.max(h)) + 3 * gap)
    price.set_ylabel("price")
    price.grid(alpha=0.25)
    price.set_title(title or "VSA signals (periods %d), last %d bars" % (periods, len(x)))
    volume.bar(x, v, width=0.8, color=[VOLUME_COLOURS.get(int(k), "#9e9e9e") for k in colours[start:]])
    from matplotlib.ticker import EngFormatter
    volume.yaxis.set_major_formatter(EngFormatter())
    volume.set_ylabel("volume")
    volume.grid(alpha=0.25)
    if b.dates is not None and len(x):
        ticks = np.linspace(0, len(x) - 1, min(8, len(x))).astype(int)
        volume.set_xticks(x[ticks])
        volume.set_xticklabels([str(np.datetime64(b.dates[start + t], "D")) for t in ticks], rotation=0,
                               fontsize=8)
    else:
        volume.set_xlabel("bar")
    return fig


def evaluation(result, title=None):
    """The forest plot of evaluate()'s table: per signal, one line per
    horizon with the difference from the baseline (dot), its 95% interval
    (whisker) and the family-wide interval (pale), strength above, weakness
    below. Returns the matplotlib Figure."""
    plt = _pyplot()
    rows = result[result["diff_pct"].notna()]
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
