"""The one table of the engine's signals. Every list of the signals is made
from it: scripts/make_signals.py writes the engine's codes and the order its
rules are tried in, the names msxhost prints and the MetaTrader kit's
include (kit/Shared/Include/BarsightSignalTable.mqh); the help pages, the
MetaStock recipes and the Python package's signal_names read it directly.
tests/kit/check_signals.py checks the rule table of engine/README.md
against it.

Each row: code (positive strength, negative weakness), name, the rule's
conditions exactly as engine/README.md gives them, what the bar shows, what
it means in VSA terms, and what a trader looks for next. The rows are in
the order the legends and the scanner list the signals."""

SIGNALS = [
    (3, "No supply", "down bar, narrow, low volume",
     "A down bar on a narrow spread with volume below the two bars before: nobody is selling.",
     "Professional money is not selling into the fall: the supply that pushed price down has dried up. In a rising market it is a sign the dip will not go much further.",
     "Confirmed when the next bar closes higher, best on rising volume. Cancelled when the next bars fall on wide spreads and high volume: supply is back."),
    (4, "Test", "trend not down, low < previous low, cp >= 0.5, narrow, low volume, next not lower",
     "Price probes below the previous low on a narrow spread and low volume and closes in the upper half: supply has gone.",
     "Professionals push price down to see whether anyone still sells. Light volume on the probe says the sellers are gone and the market is ready to rise.",
     "Confirmed by an up bar on higher volume soon after. A test on high volume, or a next bar closing below the test's low, says supply is still there: wait for another test."),
    (12, "Stopping volume", "trend down, down bar, high volume, spread >= S, cp >= 0.5",
     "In a fall, a down bar on high volume that closes in its upper half: buyers absorb the selling.",
     "Heavy volume with a close off the low in a falling market: large buyers are taking what the public sells. The fall is being stopped.",
     "Look for a test or no supply in the next bars, then up bars on good volume. New lows on high volume soon after cancel it."),
    (13, "Shakeout", "trend not down, wide, low < LL, cp >= 2/3, high volume, next not lower",
     "A wide bar breaking below the recent lows on high volume that closes near its high.",
     "Price is driven through support to trigger stops and frighten holders, and is bought back within the same bar: the weak holders are shaken out before a rise.",
     "Confirmed when the following bars hold above the shakeout's low and rise. A close back below its low cancels it."),
    (16, "Selling climax", "trend down, ultra-high volume, wide, low < LL, cp >= 0.3, next not lower",
     "In a fall, ultra-high volume on a wide bar to new lows that closes off its low.",
     "Panic selling meets professional buying at the end of a fall. The supply is transferred to strong hands: the bottom is often near.",
     "Expect a rally, then a test of the climax area on low volume. Further wide down bars on high volume below the climax low cancel it."),
    (19, "Effort to rise", "up bar, wide, cp >= 2/3, high volume",
     "An up bar on a wide spread and high volume closing near its high.",
     "Demand is real: volume and spread agree with the rise. The move has support behind it.",
     "The next bars should hold most of the gain. An up bar on low volume after it (no demand), or a close back inside its lower half, weakens it."),
    (-2, "No demand", "up bar, narrow, low volume",
     "An up bar on a narrow spread with volume below the two bars before: nobody is buying.",
     "Professional money is not interested in higher prices. In a falling market it marks a rally that will not last.",
     "Confirmed when the next bar closes lower. Cancelled when the next bars rise on wide spreads and higher volume: demand has come in."),
    (-5, "Upthrust", "high > HH, cp <= 1/3, spread >= S, volume > V, next not higher",
     "Price pushes above the recent highs and closes near its low, on volume above average.",
     "A trap: price is marked up through resistance to draw in buyers and catch stops, then sold. Supply overcomes demand at the top of the bar.",
     "Confirmed by lower closes in the next bars, especially on no demand. A close above the upthrust's high cancels it."),
    (-10, "Effort to fall", "down bar, wide, cp <= 1/3, high volume",
     "A down bar on a wide spread and high volume closing near its low.",
     "Supply is real: volume and spread agree with the fall. Sellers are in control of the bar.",
     "Further lower closes confirm it. A next bar recovering most of the spread on high volume suggests the selling was absorbed (stopping volume)."),
    (-14, "Buying climax", "trend up, ultra-high volume, wide, high > HH, cp <= 0.7, next not higher",
     "In a rise, ultra-high volume on a wide bar to new highs that does not close at its top.",
     "Euphoric buying meets professional selling at the end of a rise. Demand is satisfied in one bar: the top is often near.",
     "Expect a reaction, then weak rallies on low volume (no demand) that fail below the climax high. New highs on good volume cancel it."),
]


# The order the engine tries its rules in: the first whose conditions hold
# decides the bar's code. The climaxes come before effort and stopping
# volume (their bars would read as those too), a test before no supply.
PRIORITY = (16, -14, 13, -5, 12, 19, -10, 4, 3, -2)


def identifier(name):
    """A name as a word of code: "No supply" -> "NoSupply"."""
    return "".join(word[:1].upper() + word[1:] for word in name.split())


def constant(name):
    """A name as a constant: "No supply" -> "NO_SUPPLY"."""
    return "_".join(word.upper() for word in name.split())


def page_name(code):
    """The help page of a signal: SOS<code> for strength, SOW<-code> for weakness."""
    return ("SOS%d" if code > 0 else "SOW%d") % abs(code)


def group(code):
    return "strength" if code > 0 else "weakness"


# How the MetaTrader indicator draws each signal: code -> (label, Wingdings
# glyph, colour #RRGGBB, the glyph as a Unicode character for the help pages).
# Strength is drawn below the bar, weakness above it; within a side no two
# signals share a glyph or a colour. The MetaTrader kit draws them from the
# include made of this table (tests/mql4run/check_runner.py compares what is
# drawn).
LOOK = {
    3: ("NS", 233, "#32CD32", "\u2b06"),      # up arrow, lime green
    4: ("T", 225, "#00BFFF", "\u2191"),       # thin up arrow, deep sky blue
    12: ("SV", 108, "#1E90FF", "\u25cf"),     # disc, dodger blue
    13: ("SO", 241, "#00FF7F", "\u21e7"),     # thick up arrow, spring green
    16: ("SC", 171, "#00FFFF", "\u2605"),     # star, aqua
    19: ("ER", 110, "#2E8B57", "\u25a0"),     # square, sea green
    -2: ("ND", 234, "#FF0000", "\u2b07"),     # down arrow, red
    -5: ("UT", 242, "#FFA500", "\u21e9"),     # thick down arrow, orange
    -10: ("EF", 110, "#FFD700", "\u25a0"),    # square, gold
    -14: ("BC", 171, "#FF00FF", "\u2605"),    # star, magenta
}


# The MetaTrader names of the colours above, and what each Wingdings glyph
# draws.
MQL_COLOURS = {"#32CD32": "clrLimeGreen", "#00BFFF": "clrDeepSkyBlue", "#1E90FF": "clrDodgerBlue",
               "#00FF7F": "clrSpringGreen", "#00FFFF": "clrAqua", "#2E8B57": "clrSeaGreen",
               "#FF0000": "clrRed", "#FFA500": "clrOrange", "#FFD700": "clrGold", "#FF00FF": "clrMagenta"}
WINGDINGS = {233: "up arrow", 225: "thin up arrow", 108: "disc", 241: "thick up arrow", 171: "star",
             110: "square", 234: "down arrow", 242: "thick down arrow"}


def provisional_colour(colour):
    """A provisional signal's colour: each channel mixed halfway with grey,
    (c + 128) // 2."""
    channels = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join("%02X" % ((c + 128) // 2) for c in channels)
