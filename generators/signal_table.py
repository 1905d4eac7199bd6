"""The one table of the engine's signals. Every list of the signals is made
from it: generators/make_signals.py writes the engine's codes and the order its
rules are tried in, the names msxhost prints and the MetaTrader kit's
include (kit/Shared/Include/BarsightSignalTable.mqh); the help pages, the
MetaStock recipes and the Python package's signal_names read it directly.
tests/kit/check_signals.py checks the rule table of engine/README.md
against it.

Each row: code (positive strength, negative weakness), name, the rule's
conditions exactly as engine/README.md gives them, what the bar shows, what
it means in VSA terms, and what a trader looks for next. The rows are in
the order the legends and the scanner list the signals."""
import re

SIGNALS = [
    (3, "No supply", "no weakness behind, down bar, narrow, low volume",
     "A down bar on a narrow spread with volume below the two bars before: nobody is selling.",
     "Professional money is not selling into the fall: the supply that pushed price down has dried up. In a rising market it is a sign the dip will not go much further.",
     "Confirmed when the next bar closes higher, best on rising volume. Cancelled when the next bars fall on wide spreads and high volume: supply is back."),
    (4, "Test", "trend not down, no weakness behind, low < previous low, cp >= 0.5, narrow, low volume, next not lower",
     "Price probes below the previous low on a narrow spread and low volume and closes in the upper half: supply has gone.",
     "Professionals push price down to see whether anyone still sells. Light volume on the probe says the sellers are gone and the market is ready to rise.",
     "Confirmed by an up bar on higher volume soon after. A test on high volume, or a next bar closing below the test's low, says supply is still there: wait for another test."),
    (6, "High-volume test", "strength behind, low < previous low, cp >= 0.5, narrow, high volume, next not lower",
     "After a selling climax or stopping volume, a narrow bar probing below the previous low on high volume that closes in its upper half.",
     "A test that draws volume: supply met the probe, but demand took it and the close held up. With strength behind it says demand is present, a weaker sign than a quiet test.",
     "Look for a later test on low volume. A close below its low in the next bars says the supply won."),
    (7, "Reverse upthrust", "trend down or strength behind, low < LL, cp >= 2/3, spread >= S, volume > V, next not lower",
     "Price drops below the recent lows and closes near its high on volume above average: the upthrust's mirror.",
     "Selling pressure was met and reversed inside the bar: stops below the lows were taken and the supply was bought.",
     "Confirmed by higher closes in the next bars. A close below the bar's low cancels it."),
    (8, "Failed effort to fall", "the bar before an effort to fall, high volume, cp >= 2/3",
     "After a wide down bar on high volume closing low, a bar on high volume closing near its high.",
     "The effort to push price down found buyers at once: the selling was absorbed and the effort failed.",
     "Higher closes confirm it. A new low on high volume says the sellers are still in control."),
    (9, "Push through supply", "close crosses a level's high, up bar, wide, cp >= 2/3, high volume",
     "A wide up bar on high volume closing near its high, through the high of an earlier wide high-volume bar (a top to the left).",
     "Demand strong enough to absorb the supply of traders locked in at that earlier top: the level is taken.",
     "Expect a test of the level on low volume from above; a close back below it cancels the push."),
    (11, "Bottom reversal", "trend down, the bar before wide, down and closing low, up bar, spread >= S, cp >= 2/3",
     "Two bars: a wide down bar closing low, then an up bar of at least average spread closing near its high.",
     "The selling of the first bar is reversed by the second: buyers stepped in at the low.",
     "Confirmed by a higher close next; a new low below the first bar cancels it."),
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
    (21, "Spring", "accumulation range, low below its low and close back inside, cp >= 0.5, next not lower",
     "In a range set by a selling climax, a bar dropping below the range's low that closes back inside it, in its upper half.",
     "The last shakeout of an accumulation: the supply left under the range is taken out before the markup.",
     "Expect a test of the spring's low on low volume, then a sign of strength. A close back under the range cancels it."),
    (22, "Sign of strength", "accumulation range, close above its high, up bar, wide, cp >= 2/3, high volume",
     "A wide up bar on high volume closing near its high and above the top of an accumulation range.",
     "Demand breaks the range that a selling climax started: the markup is beginning.",
     "Look for a last point of support: a quiet reaction that holds above the old range top."),
    (23, "Last point of support", "within N bars of a sign of strength, down bar, narrow, volume < V",
     "Shortly after a breakout above an accumulation range, a narrow down bar on below-average volume.",
     "The reaction after the sign of strength finds no supply: the last chance to buy before the markup.",
     "Confirmed by up bars on rising volume; a close back inside the old range weakens it."),
    (28, "Secondary test", "accumulation range, low within S/2 above its low, spread < S, volume < V",
     "In a range set by a selling climax, a bar returning to the climax low on a smaller spread and volume.",
     "Price revisits the panic low and the sellers do not return: the climax's supply is used up.",
     "Expect the range to hold; a spring or a sign of strength can follow. A wide down bar through the low cancels it."),
    (29, "Preliminary support", "trend down, intermediate trend down, down bar, high volume, spread < S, cp >= 0.5",
     "In a long fall, a down bar on high volume with a smaller spread than usual, closing in its upper half.",
     "The first buying in a decline: volume rises but the spread narrows, so the selling meets demand.",
     "Often followed by a selling climax. New lows on wide spreads and high volume say the fall goes on."),
    (-2, "No demand", "no strength behind, up bar, narrow, low volume",
     "An up bar on a narrow spread with volume below the two bars before: nobody is buying.",
     "Professional money is not interested in higher prices. In a falling market it marks a rally that will not last.",
     "Confirmed when the next bar closes lower. Cancelled when the next bars rise on wide spreads and higher volume: demand has come in."),
    (-5, "Upthrust", "trend up or weakness behind, high > HH, cp <= 1/3, spread >= S, volume > V, next not higher",
     "Price pushes above the recent highs and closes near its low, on volume above average.",
     "A trap: price is marked up through resistance to draw in buyers and catch stops, then sold. Supply overcomes demand at the top of the bar.",
     "Confirmed by lower closes in the next bars, especially on no demand. A close above the upthrust's high cancels it."),
    (-6, "Pseudo-upthrust", "trend up or weakness behind, high > HH, cp <= 1/3, spread >= S, low volume, next not higher",
     "The upthrust's shape, above the recent highs and closing near the low, on volume below each of the two bars before.",
     "A weaker upthrust: price was marked up and fell back, but few traded. No demand at the new high.",
     "Confirmed by lower closes, best on no demand. A close above its high cancels it."),
    (-7, "End of a rising market", "intermediate and long trends up, ultra-high volume, high > HH, narrow or gap up, cp <= 0.7",
     "In a long rise, a narrow (or gapped-up) bar to new highs on ultra-high volume that closes off its high.",
     "Huge volume and no progress at the top of a bull run: professionals are selling everything the public buys.",
     "Expects an immediate fall. New highs on good volume cancel it."),
    (-8, "Supply swamping demand", "trend up, up bar, narrow, high volume, 1/3 < cp < 2/3",
     "In a rise, a narrow up bar on high volume closing in the middle of its range.",
     "The volume says effort, the spread and close say no result: supply is meeting every buyer.",
     "A following down bar confirms it; a wide up bar closing high cancels it."),
    (-9, "No result from effort", "the bar before wide and up on high volume, down bar, spread >= S, cp <= 1/3",
     "Two bars: a wide up bar on high volume, then a down bar of at least average spread closing near its low.",
     "The effort of the first bar brought no result: supply met it and took the market back at once.",
     "Stronger if the second bar breaks the first's low. A close above the first bar's high cancels it."),
    (-10, "Effort to fall", "down bar, wide, cp <= 1/3, high volume",
     "A down bar on a wide spread and high volume closing near its low.",
     "Supply is real: volume and spread agree with the fall. Sellers are in control of the bar.",
     "Further lower closes confirm it. A next bar recovering most of the spread on high volume suggests the selling was absorbed (stopping volume)."),
    (-11, "Top reversal", "trend up, the bar before wide, up and closing high, down bar, spread >= S, cp <= 1/3",
     "Two bars: a wide up bar closing high, then a down bar of at least average spread closing near its low.",
     "The buying of the first bar is reversed by the second: sellers took the market at the high.",
     "Confirmed by a lower close next; a new high above the first bar cancels it."),
    (-14, "Buying climax", "trend up, ultra-high volume, wide, high > HH, cp <= 0.7, next not higher",
     "In a rise, ultra-high volume on a wide bar to new highs that does not close at its top.",
     "Euphoric buying meets professional selling at the end of a rise. Demand is satisfied in one bar: the top is often near.",
     "Expect a reaction, then weak rallies on low volume (no demand) that fail below the climax high. New highs on good volume cancel it."),
    (-15, "Break of support", "intermediate trend up, low < LL or close crosses a level's low, down bar, wide, volume > V and not ultra-high, cp <= 1/3",
     "After a rise, a wide down bar on increased (not extreme) volume closing near its low, through the recent lows or a level.",
     "Support has given way on real selling: the supply that held off is now in control.",
     "The next bar down confirms it; a quick recovery above the broken support cancels it."),
    (-21, "Falling pressure", "down bar, wide, cp <= 1/3, low volume",
     "A wide down bar closing near its low on volume below each of the two bars before.",
     "Price falls easily with little selling: there is no demand to hold it up.",
     "Lower closes confirm it; a wide up bar on high volume cancels it."),
    (-22, "Failed test", "trend not down, low < previous low, cp >= 0.5, narrow, low volume, next close below the low",
     "A test's bar (a quiet probe below the previous low closing in its upper half) followed by a close below its low.",
     "The test asked whether supply was gone, and the next bar answered no: sellers are still there.",
     "Wait for another test before reading strength; a wide down bar after it adds weakness."),
    (-23, "Failed effort to rise", "the bar before an effort to rise, high volume, cp <= 1/3",
     "After a wide up bar on high volume closing high, a bar on high volume closing near its low.",
     "The effort to rise met supply at once: the demand was absorbed and the effort failed.",
     "Lower closes confirm it. A new high on good volume cancels it."),
    (-24, "Sign of weakness", "distribution range, close below its low, down bar, wide, cp <= 1/3, high volume",
     "A wide down bar on high volume closing near its low and below the floor of a distribution range.",
     "Supply breaks the range that a buying climax started: the markdown is beginning.",
     "Look for a last point of supply: a feeble rally that fails below the old range floor."),
    (-25, "Upthrust after distribution", "distribution range, high above its high and close back inside, cp <= 0.5, next not higher",
     "In a range set by a buying climax, a bar rising above the range's top that closes back inside, in its lower half.",
     "The last trap of a distribution: buyers are drawn in above the range before the markdown.",
     "Confirmed by lower closes and a sign of weakness. A close above the range cancels it."),
    (-26, "Last point of supply", "within N bars of a sign of weakness, up bar, narrow, volume < V",
     "Shortly after a break under a distribution range, a narrow up bar on below-average volume.",
     "A feeble rally after the sign of weakness: no demand, the last chance to sell before the markdown.",
     "Confirmed by down bars on rising volume; a close back inside the old range weakens it."),
    (-27, "Preliminary supply", "trend up, intermediate trend up, up bar, high volume, spread < S, cp <= 0.5",
     "In a long rise, an up bar on high volume with a smaller spread than usual, closing in its lower half.",
     "The first selling in an advance: volume rises but the spread narrows, so the buying meets supply.",
     "Often followed by a buying climax. New highs on wide spreads and good volume say the rise goes on."),
    (-29, "Secondary test of supply", "distribution range, high within S/2 under its high, spread < S, volume < V",
     "In a range set by a buying climax, a bar returning to the climax high on a smaller spread and volume.",
     "Price revisits the top and the buyers do not return: the climax's demand is used up.",
     "Expect the range to hold; an upthrust or a sign of weakness can follow. A wide up bar through the high cancels it."),
]


# The background each rule reads beyond its bar and the N bars before it
# (engine/background.h); "none" for rules of the bar alone.
BACKGROUND = {
    3: "the last climax: not given when weakness (a buying climax or upthrust) is behind it",
    4: "the short trend not down, and no weakness behind it",
    6: "strength behind it: a selling climax or stopping volume within 3N bars",
    7: "the short trend down, or strength behind it",
    8: "the bar before: an effort to fall",
    9: "levels: the highs of the last four wide bars on high volume",
    11: "the short trend down; the bar before",
    12: "the short trend down",
    13: "the short trend not down",
    16: "the short trend down",
    19: "none",
    21: "the trading range a selling climax and its automatic rally set",
    22: "the trading range a selling climax and its automatic rally set",
    23: "a sign of strength out of the range within N bars",
    28: "the trading range a selling climax and its automatic rally set",
    29: "the short and intermediate trends down",
    -2: "the last climax: not given when strength (a selling climax or stopping volume) is behind it",
    -5: "the short trend up, or weakness behind it",
    -6: "the short trend up, or weakness behind it",
    -7: "the intermediate and long trends up",
    -8: "the short trend up",
    -9: "the bar before",
    -10: "none",
    -11: "the short trend up; the bar before",
    -14: "the short trend up",
    -15: "the intermediate trend up; levels: the lows of the last four wide bars on high volume",
    -21: "none",
    -22: "the short trend not down",
    -23: "the bar before: an effort to rise",
    -24: "the trading range a buying climax and its automatic reaction set",
    -25: "the trading range a buying climax and its automatic reaction set",
    -26: "a sign of weakness out of the range within N bars",
    -27: "the short and intermediate trends up",
    -29: "the trading range a buying climax and its automatic reaction set",
}


# The order the engine tries its rules in: the first whose conditions hold
# decides the bar's code. The climaxes come before effort and stopping
# volume (their bars would read as those too), a test before no supply.
PRIORITY = (16, -14, -7, 21, -25, 13, -5, -6, 7, -24, 22, 9, -15, -23, 8, -9, -11, 11, 12, 19, -10, -8, 29, -27,
            -26, 23, 6, -22, 28, -29, 4, -21, 3, -2)


def _words(name):
    return [word for word in re.split(r"[^A-Za-z0-9]+", name) if word]


def identifier(name):
    """A name as a word of code: "No supply" -> "NoSupply", "High-volume test" -> "HighVolumeTest"."""
    return "".join(word[:1].upper() + word[1:] for word in _words(name))


def constant(name):
    """A name as a constant: "No supply" -> "NO_SUPPLY"."""
    return "_".join(word.upper() for word in _words(name))


def page_name(code):
    """The help page of a signal: SOS<code> for strength, SOW<-code> for weakness."""
    return ("SOS%d" if code > 0 else "SOW%d") % abs(code)


def group(code):
    return "strength" if code > 0 else "weakness"


# How the MetaTrader indicator draws each signal: code -> (label, Wingdings
# glyph, colour #RRGGBB, the glyph as a Unicode character for the help pages).
# Strength is drawn below the bar, weakness above it; within a side no two
# signals share both glyph and colour. The MetaTrader kit draws them from the
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
    6: ("HT", 225, "#7FFFD4", "\u2191"),  # thin up arrow, aquamarine
    7: ("RU", 241, "#00CED1", "\u21e7"),  # thick up arrow, dark turquoise
    8: ("FF", 110, "#ADFF2F", "\u25a0"),  # square, green yellow
    9: ("PS", 233, "#00FA9A", "\u2b06"),  # up arrow, medium spring green
    11: ("BR", 241, "#40E0D0", "\u21e7"),  # thick up arrow, turquoise
    21: ("SP", 171, "#7CFC00", "\u2605"),  # star, lawn green
    22: ("SOS", 117, "#00FF00", "\u25c6"),  # diamond, lime
    23: ("LPS", 108, "#87CEFA", "\u25cf"),  # disc, light sky blue
    28: ("ST", 161, "#B0E0E6", "\u25cb"),  # circle, powder blue
    29: ("PSU", 161, "#3CB371", "\u25cb"),  # circle, medium sea green
    -6: ("PU", 242, "#FF8C00", "\u21e9"),  # thick down arrow, dark orange
    -7: ("EM", 171, "#FF4500", "\u2605"),  # star, orange red
    -8: ("SD", 108, "#FF6347", "\u25cf"),  # disc, tomato
    -9: ("NR", 110, "#DC143C", "\u25a0"),  # square, crimson
    -11: ("TR", 242, "#FF1493", "\u21e9"),  # thick down arrow, deep pink
    -15: ("BS", 234, "#B22222", "\u2b07"),  # down arrow, fire brick
    -21: ("FP", 226, "#FA8072", "\u2193"),  # thin down arrow, salmon
    -22: ("FT", 226, "#FFFF00", "\u2193"),  # thin down arrow, yellow
    -23: ("FR", 110, "#FF69B4", "\u25a0"),  # square, hot pink
    -24: ("SOW", 117, "#EE82EE", "\u25c6"),  # diamond, violet
    -25: ("UA", 171, "#F08080", "\u2605"),  # star, light coral
    -26: ("LPY", 108, "#DA70D6", "\u25cf"),  # disc, orchid
    -27: ("PSY", 161, "#F4A460", "\u25cb"),  # circle, sandy brown
    -29: ("STS", 161, "#FFC0CB", "\u25cb"),  # circle, pink
}


# The MetaTrader names of the colours above, and what each Wingdings glyph
# draws.
MQL_COLOURS = {"#32CD32": "clrLimeGreen", "#00BFFF": "clrDeepSkyBlue", "#1E90FF": "clrDodgerBlue",
               "#00FF7F": "clrSpringGreen", "#00FFFF": "clrAqua", "#2E8B57": "clrSeaGreen",
               "#FF0000": "clrRed", "#FFA500": "clrOrange", "#FFD700": "clrGold", "#FF00FF": "clrMagenta",
               "#7FFFD4": "clrAquamarine", "#00CED1": "clrDarkTurquoise", "#ADFF2F": "clrGreenYellow",
               "#00FA9A": "clrMediumSpringGreen", "#40E0D0": "clrTurquoise", "#7CFC00": "clrLawnGreen",
               "#00FF00": "clrLime", "#87CEFA": "clrLightSkyBlue", "#B0E0E6": "clrPowderBlue",
               "#3CB371": "clrMediumSeaGreen", "#FF8C00": "clrDarkOrange", "#FF4500": "clrOrangeRed",
               "#FF6347": "clrTomato", "#DC143C": "clrCrimson", "#FF1493": "clrDeepPink",
               "#B22222": "clrFireBrick", "#FA8072": "clrSalmon", "#FFFF00": "clrYellow",
               "#FF69B4": "clrHotPink", "#EE82EE": "clrViolet", "#F08080": "clrLightCoral",
               "#DA70D6": "clrOrchid", "#F4A460": "clrSandyBrown", "#FFC0CB": "clrPink"}
WINGDINGS = {233: "up arrow", 225: "thin up arrow", 108: "disc", 241: "thick up arrow", 171: "star",
             110: "square", 234: "down arrow", 242: "thick down arrow", 226: "thin down arrow", 117: "diamond",
             161: "circle"}


def provisional_colour(colour):
    """A provisional signal's colour: each channel mixed halfway with grey,
    (c + 128) // 2."""
    channels = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join("%02X" % ((c + 128) // 2) for c in channels)
