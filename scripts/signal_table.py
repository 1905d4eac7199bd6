"""The one table of the engine's signals, read by every generated page and
recipe (help pages, MetaStock recipes) and checked against the engine's own
codes and the chart's names by tests/kit/check_signals.py.

Each row: code (positive strength, negative weakness), name, meaning."""

SIGNALS = [
    (3, "No supply", "A down bar on a narrow spread with volume below the two bars before: nobody is selling."),
    (4, "Test", "Price probes below the previous low on a narrow spread and low volume and closes in the upper half: supply has gone."),
    (12, "Stopping volume", "In a fall, a down bar on high volume that closes in its upper half: buyers absorb the selling."),
    (13, "Shakeout", "A wide bar breaking below the recent lows on high volume that closes near its high."),
    (16, "Selling climax", "In a fall, ultra-high volume on a wide bar to new lows that closes off its low."),
    (19, "Effort to rise", "An up bar on a wide spread and high volume closing near its high."),
    (-2, "No demand", "An up bar on a narrow spread with volume below the two bars before: nobody is buying."),
    (-5, "Upthrust", "Price pushes above the recent highs and closes near its low, on volume above average."),
    (-10, "Effort to fall", "A down bar on a wide spread and high volume closing near its low."),
    (-14, "Buying climax", "In a rise, ultra-high volume on a wide bar to new highs that does not close at its top."),
]


def page_name(code):
    """The help page of a signal: SOS<code> for strength, SOW<-code> for weakness."""
    return ("SOS%d" if code > 0 else "SOW%d") % abs(code)


def group(code):
    return "strength" if code > 0 else "weakness"
