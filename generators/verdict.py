"""What a run of `msxhost evaluate` says of each signal, in one of four words.

The help pages (generators/make_help_pages.py), the README's table of evidence
and its check (tests/real_data/check_real_data.py) all read a signal's
verdict from here, so they cannot disagree:

- followed by what its reading says: some horizon's adjusted p is below 0.05
  and the difference from the baseline goes the signal's way (up after a sign
  of strength, a positive code; down after a sign of weakness);
- followed by the opposite: adjusted p below 0.05 the other way;
- not told from chance: no adjusted p below 0.05; then the smallest effect
  the data could have shown (the mde) is given, at 10 bars when that cell has
  statistics, else the smallest across the horizons, the horizon named;
- too few cases for a verdict: no cell of the signal has statistics.

When several cells decide, the one with the smallest adjusted p does (then
the larger |t|, then the shorter horizon). The rows are those `evaluate
--csv` writes, as csv.DictReader reads them, of one period and one code."""
import collections

ALPHA = 0.05
# The daily verdicts are on the bars from this date: the rules were fixed
# without them.
SPLIT = "2010-01-01"
FEW_AFTER_SPLIT = "too few cases after 2010 for a verdict"
FOLLOWED = "followed by what its reading says"
OPPOSITE = "followed by the opposite"
CHANCE = "not told from chance"
TOO_FEW = "too few cases"
MDE_HORIZON = 10

# kind: one of the four above; row: the deciding cell (FOLLOWED, OPPOSITE)
# or the cell whose mde is given (CHANCE), None for TOO_FEW; cases: the
# signal's cases at its shortest horizon (the most), 0 without rows.
Verdict = collections.namedtuple("Verdict", "kind row cases")


def cases_of(rows):
    return max((int(r["cases"]) for r in rows), default=0)


def verdict(code, rows):
    """The verdict on one signal from its CSV rows of one period."""
    cases = cases_of(rows)
    rows = [r for r in rows if r.get("p_adjusted", "") != "" and r.get("mde_pct", "") != ""]
    if not rows:
        return Verdict(TOO_FEW, None, cases)
    decided = [r for r in rows if float(r["p_adjusted"]) < ALPHA and float(r["diff_pct"]) != 0]
    if decided:
        row = min(decided, key=lambda r: (float(r["p_adjusted"]), -abs(float(r["t"])), int(r["horizon"])))
        its_way = (float(row["diff_pct"]) > 0) == (code > 0)
        return Verdict(FOLLOWED if its_way else OPPOSITE, row, cases)
    at_ten = [r for r in rows if int(r["horizon"]) == MDE_HORIZON]
    row = at_ten[0] if at_ten else min(rows, key=lambda r: (float(r["mde_pct"]), int(r["horizon"])))
    return Verdict(CHANCE, row, cases)


def percent(value, signed=False):
    """A percentage readable at any size: two decimals from 0.1%, two
    significant digits below (minute bars move by thousandths of a percent)."""
    value = float(value)
    text = ("%.2f" % abs(value)) if abs(value) >= 0.1 or value == 0 else ("%.2g" % abs(value))
    if "e" in text:
        text = "%.6f" % abs(value)
        text = text.rstrip("0")
    sign = "-" if value < 0 else ("+" if signed else "")
    return sign + text + "%"


def bars(horizon):
    return "%s bar%s" % (horizon, "" if str(horizon) == "1" else "s")


def words(code, rows, few="too few cases for a verdict"):
    """The verdict in a line of plain text (callers escape it for HTML):
    the deciding horizon, difference and adjusted p, or the mde."""
    v = verdict(code, rows)
    if v.kind == TOO_FEW:
        return few
    r = v.row
    if v.kind == CHANCE:
        return "%s (mde %s at %s)" % (CHANCE, percent(r["mde_pct"]), bars(r["horizon"]))
    p = float(r["p_adjusted"])
    return "%s (%s over %s, adjusted p %s)" % (v.kind, percent(r["diff_pct"], signed=True), bars(r["horizon"]),
                                               "below 0.001" if p < 0.001 else "%.3f" % p)


def by_code(rows, period=None):
    """{code: [rows]} of a CSV's rows, those of one period when given."""
    found = {}
    for r in rows:
        if period is None or r.get("period") == period:
            found.setdefault(int(r["code"]), []).append(r)
    return found


def readme_table(signals, daily_after, minutes):
    """The README's table of every signal: code, name, cases after 2010 on
    the daily series, the verdict there and on the minute series. The two
    arguments are {code: [rows]}: the daily run's `after` period and the
    minute run."""
    lines = ["| Code | Signal | Cases after 2010 | Daily bars after 2010 | One-minute bars |",
             "|---|---|---|---|---|"]
    for code, name, *_ in signals:
        daily = daily_after.get(code, [])
        lines.append("| %d | %s | %d | %s | %s |" % (
            code, name, cases_of(daily), words(code, daily, FEW_AFTER_SPLIT),
            words(code, minutes.get(code, []))))
    return lines
