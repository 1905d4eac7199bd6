#!/usr/bin/env python3
"""Writes the MetaStock recipes of the kit from the signal table:
kit/MetaStock/Barsight expert.txt (an Expert with one Symbol per signal, a
Highlight and a Commentary) and kit/MetaStock/Barsight exploration.txt (an
Exploration over a watchlist). MetaStock keeps Experts and Explorations in a
closed format, so these are the steps and formulas a trader types or pastes.

usage: generators/make_metastock_recipes.py [OUTPUT_FOLDER]
(default kit/MetaStock)"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_signals import FEED_POLICY, ROOT, feed_figures  # noqa: E402
from signal_table import SIGNALS, group  # noqa: E402

# The chart's feed policy, as the engine states it: the volume floor, what a
# volume under it counts as, and the averaging length.
_FEED = feed_figures(open(os.path.join(ROOT, FEED_POLICY), encoding="utf-8").read())
FLOOR, FLOORED, PERIODS = ("%g" % float(_FEED[k]) for k in ("kVolumeFloor", "kFlooredVolume", "kChartPeriods"))

IND = 'ExtFml("BarsightPlugin.VSAInd")'
# VSAInd leaves the newest bar at 0 and judges the bar before it without its
# next close: that bar's code is provisional (a rule that looks at the next
# close may still take it or release it). The bar two before the newest is
# judged with its next close known: its code is final.
CONFIRMED = 'Ref(%s, -2)' % IND
PROVISIONAL = 'Ref(%s, -1)' % IND
VOLUME_CLASS = 'ExtFml("BarsightPlugin.VSASpread", 0, 30)'
COLOURS = {"strength": "Green", "weakness": "Red"}
# The engine's "high volume": at least 1.5 times the mean volume of the
# PERIODS bars before, on the volume the engine sees (VSAInd passes a volume
# below the floor as FLOORED).
HIGH_VOLUME = "V1 := If(V < %s, %s, V); V1 >= 1.5 * Ref(Mov(V1, %s, S), -1)" % (FLOOR, FLOORED, PERIODS)
PROVISIONAL_NOTE = [
    "Which bar is final: VSAInd judges the bar before the newest without its",
    "next close, so its code is provisional: it can change or vanish when the",
    "next bar closes. The bar two before the newest is final. On end-of-day data",
    "the newest complete bar carries no code until a newer bar arrives.",
]


def name_chain(value):
    text = '"No signal"'
    for code, name, *_ in reversed(SIGNALS):
        text = 'WriteIf(%s = %d, "%s", %s)' % (value, code, name, text)
    return text


def expert():
    out = ["Barsight VSA Expert for MetaStock",
           "=================================",
           "",
           "Shows each VSA signal of the Spreadcore engine as a symbol on the price",
           "chart: an up arrow below the bar for strength, a down arrow above it for",
           "weakness. Needs BarsightPlugin.dll and Spreadcore.dll installed (see",
           "INSTALL.md).",
           "",
           "Steps:",
           "1. Tools > Expert Advisor (or the Expert Advisor button), then New.",
           "2. Name tab: type \"Barsight VSA\".",
           "3. Symbols tab: for each symbol below click New, type its Name, paste its",
           "   Condition into the formula box, then on the Graphic tab choose the",
           "   symbol, colour, position and label given. OK.",
           "4. Highlights tab: New, type the name, paste the condition, choose the colour.",
           "5. Commentary tab: type the text below; paste the formula where the name of",
           "   the latest signal belongs, between << and >>.",
           "6. OK, then Close. Open a chart, right-click it and choose Expert Advisor >",
           "   Attach, pick \"Barsight VSA\".",
           "",
           ] + PROVISIONAL_NOTE + [
           "The symbol on the bar before the newest is therefore provisional too.",
           "",
           "Symbols",
           "-------"]
    for code, name, _, meaning, *_ in SIGNALS:
        strength = code > 0
        out += ["",
                "Symbol: %s (%d)" % (name, code),
                "Condition: %s = %d" % (IND, code),
                "Graphic: %s, %s, %s, label \"%s\"" % (
                    "Up arrow" if strength else "Down arrow",
                    "below price plot" if strength else "above price plot",
                    COLOURS[group(code)], name),
                "{%s}" % meaning]
    out += ["",
            "Highlights",
            "----------",
            "",
            "Highlight: Barsight high volume",
            "Condition: %s" % HIGH_VOLUME,
            "Colour: Blue",
            "{The engine's own high volume: at least 1.5 times the mean volume of the"
            " %s bars before (a volume below %s counts as %s, as VSAInd passes it)," % (PERIODS, FLOOR, FLOORED) +
            " so every signal that needs high volume sits on a highlighted bar.}",
            "",
            "Commentary",
            "----------",
            "",
            "Text: Latest confirmed Barsight VSA signal (two bars before the newest): <<formula>>",
            "Formula: %s" % name_chain(CONFIRMED),
            "Text: Provisional signal (the bar before the newest; it can change or vanish"
            " when the next bar closes): <<formula>>",
            "Formula: %s" % name_chain(PROVISIONAL),
            ""]
    return "\n".join(out)


def exploration():
    legend = ["  %4d  %s" % (code, name) for code, name, *_ in SIGNALS]
    out = ["Barsight VSA Exploration for MetaStock",
           "======================================",
           "",
           "Finds the securities of a watchlist whose latest confirmed bar carries a",
           "Barsight VSA signal. Needs BarsightPlugin.dll and Spreadcore.dll installed",
           "(see INSTALL.md).",
           ""] + PROVISIONAL_NOTE + [
           "So column A is the confirmed code (Ref(..., -2)) and column B the",
           "provisional one (Ref(..., -1)); the filters use the confirmed column.",
           "",
           "Steps:",
           "1. Tools > The Explorer, then New.",
           "2. Name: \"Barsight VSA scan\".",
           "3. Column tabs A to D: type each column's name and paste its formula.",
           "4. Filter tab: paste one of the filters below (a second exploration, saved",
           "   under another name, can hold another filter).",
           "5. Options: set Load records to 250 or more. The Explorer loads only as",
           "   many bars as the formulas seem to need and cannot tell what an ExtFml",
           "   needs: VSAInd needs more than 16 bars (and its trend rules 27 closes)",
           "   and VSASpread(0, 30) more than 30, so with fewer the codes read 0.",
           "6. OK, then Explore: choose the watchlist (or securities) and run it. The",
           "   report lists each security that passed, with the columns below.",
           "",
           "The columns hold numbers (the Explorer shows no text); the codes mean:",
           ] + legend + [
           "",
           "From a command prompt in the Barsight program folder (or the unpacked",
           "bundle's folder), the same check of a list of CSV files:",
           "  tools\\msxhost.exe scan tools\\BarsightPlugin.dll VSAInd --ago 2",
           "      --data A.csv --data B.csv",
           "",
           "Columns",
           "-------",
           "",
           "Column A: Confirmed",
           "Formula: %s" % CONFIRMED,
           "",
           "Column B: Provisional",
           "Formula: %s" % PROVISIONAL,
           "",
           "Column C: Close",
           "Formula: Ref(C, -2)",
           "",
           "Column D: Volume class",
           "Formula: Ref(%s, -2)" % VOLUME_CLASS,
           "",
           "Filters",
           "-------",
           "",
           "Filter: A confirmed signal",
           "Formula: ColA <> 0",
           "",
           "Filter: Confirmed strength",
           "Formula: ColA > 0",
           "",
           "Filter: Confirmed weakness",
           "Formula: ColA < 0",
           "",
           "Filter: A provisional signal (can change or vanish when the next bar closes)",
           "Formula: ColB <> 0",
           ""]
    return "\n".join(out)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "kit", "MetaStock")
    os.makedirs(folder, exist_ok=True)
    for name, text in (("Barsight expert.txt", expert()), ("Barsight exploration.txt", exploration())):
        with open(os.path.join(folder, name), "w", newline="\r\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()
