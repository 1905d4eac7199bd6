#!/usr/bin/env python3
"""Writes the MetaStock recipes of the kit from the signal table:
kit/MetaStock/Barsight expert.txt (an Expert with one Symbol per signal, a
Highlight and a Commentary) and kit/MetaStock/Barsight exploration.txt (an
Exploration over a watchlist). MetaStock keeps Experts and Explorations in a
closed format, so these are the steps and formulas a trader types or pastes.

usage: make_metastock_recipes.py [OUTPUT_FOLDER]   (default kit/MetaStock)"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from signal_table import SIGNALS, group  # noqa: E402

IND = 'ExtFml("BarsightPlugin.VSAInd")'
# VSAInd leaves the newest bar at 0 (its next close is not known yet), so "a
# signal now" is the signal of the bar before it.
LAST = 'Ref(%s, -1)' % IND
VOLUME_CLASS = 'ExtFml("BarsightPlugin.VSASpread", 0, 30)'
COLOURS = {"strength": "Green", "weakness": "Red"}


def name_chain(value):
    text = '"No signal"'
    for code, name, *_ in reversed(SIGNALS):
        text = 'WriteIf(%s = %d, "%s", %s)' % (value, code, name, text)
    return text


def any_of(value, codes):
    return " Or ".join("%s = %d" % (value, c) for c in codes)


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
           "A signal is known once the next bar has closed, so the newest bar never",
           "carries one.",
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
            "Condition: %s = 5 Or %s = 6" % (VOLUME_CLASS, VOLUME_CLASS),
            "Colour: Blue",
            "{Bars whose volume is more than 12/7 (about 1.7 times) their 30-bar average:"
            " VSASpread's classes 5 and 6.}",
            "",
            "Commentary",
            "----------",
            "",
            "Text: Latest Barsight VSA signal (the bar before the newest): <<formula>>",
            "Formula: %s" % name_chain(LAST),
            ""]
    return "\n".join(out)


def exploration():
    strength = [c for c, *_ in SIGNALS if c > 0]
    weakness = [c for c, *_ in SIGNALS if c < 0]
    out = ["Barsight VSA Exploration for MetaStock",
           "======================================",
           "",
           "Finds the securities of a watchlist whose latest closed bar carries a",
           "Barsight VSA signal. Needs BarsightPlugin.dll and Spreadcore.dll installed",
           "(see INSTALL.md). The newest bar never carries a signal (its next close is",
           "not known yet), so every formula looks at the bar before it with Ref(..., -1).",
           "",
           "Steps:",
           "1. Tools > The Explorer, then New.",
           "2. Name: \"Barsight VSA scan\".",
           "3. Column tabs A to D: type each column's name and paste its formula.",
           "4. Filter tab: paste one of the filters below (a second exploration, saved",
           "   under another name, can hold another filter).",
           "5. OK, then Explore: choose the watchlist (or securities) and run it. The",
           "   report lists each security that passed, with the columns below.",
           "",
           "From a command prompt, the same check of a list of CSV files:",
           "  tools\\msxhost.exe scan MetaStock\\BarsightPlugin.dll VSAInd --ago 1",
           "      --data A.csv --data B.csv",
           "",
           "Columns",
           "-------",
           "",
           "Column A: Signal",
           "Formula: %s" % LAST,
           "",
           "Column B: Name",
           "Formula: %s" % name_chain(LAST),
           "",
           "Column C: Close",
           "Formula: Ref(C, -1)",
           "",
           "Column D: Volume class",
           "Formula: Ref(%s, -1)" % VOLUME_CLASS,
           "",
           "Filters",
           "-------",
           "",
           "Filter: A signal on the latest closed bar",
           "Formula: %s <> 0" % LAST,
           "",
           "Filter: Strength on the latest closed bar",
           "Formula: %s" % any_of(LAST, strength),
           "",
           "Filter: Weakness on the latest closed bar",
           "Formula: %s" % any_of(LAST, weakness),
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
