#!/usr/bin/env python3
"""Checks a folder of help pages (HELP/plugin/Inds1/) as the help window and
a trader's browser meet them:
- every engine signal has its page, which says the background its rule
  needs and shows its picture with a caption naming the series and the date
  (or says that the signal occurs in none of the series), every indicator its
  page, and the index links them all;
- a signal's verdict follows its rule (generators/verdict.py), and a signal's
  picture is taken from the first series with room around an occurrence, at
  the middle such occurrence (cases in tables below);
- every link and image of every page names a file of the folder;
- every page starts its head with the X-UA-Compatible edge switch (without
  it the browser control shows the page as IE7, which has no SVG), has no
  script and no CSS that IE9-11 lack (flex, grid, variables); every picture
  is well-formed SVG;
- every page is well-formed HTML: each & starts a character reference, each
  < a tag, every attribute is quoted, every element but the void ones is
  closed in order; and the page maker escapes whatever texts the signal
  table and the real series hold (planted texts with & < > " ');
- with --browser PNG_FOLDER: headless Chromium renders every page at 275
  pixels wide (the help window's width inside its scroll bar) to PNG, and a
  probe script in each page reports that every image loaded and nothing
  scrolls sideways.

usage: check_help_pages.py HELP_FOLDER SOURCE_ROOT [--browser PNG_FOLDER]"""
import base64
import fcntl
import html
import html.entities
import html.parser
import json
import os
import pathlib
import re
import select
import subprocess
import sys
import tempfile
import time
import xml.dom.minidom

help_folder, root = sys.argv[1], sys.argv[2]
browser_out = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--browser" else None
sys.path.insert(0, os.path.join(root, "generators"))
from signal_table import BACKGROUND, SIGNALS, page_name  # noqa: E402
import verdict  # noqa: E402
import make_help_pages  # noqa: E402

pages_dir = os.path.join(help_folder, "plugin", "Inds1")
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}
TAG = re.compile(r"""<[a-zA-Z][a-zA-Z0-9]*(\s+[a-zA-Z][\w:-]*(="[^"<>]*"|='[^'<>]*')?)*\s*/?>""")
REFERENCE = re.compile(r"&(#[0-9]+;|#[xX][0-9a-fA-F]+;|([A-Za-z][A-Za-z0-9]*;))")


class Structure(html.parser.HTMLParser):
    """The tags of a page in order: every start tag whole and quoted, every
    element closed by its own end tag."""

    def __init__(self):
        super().__init__(convert_charrefs=False)
        self.open, self.problems = [], []

    def handle_starttag(self, tag, attrs):
        text = self.get_starttag_text()
        if not TAG.fullmatch(text):
            self.problems.append("a malformed tag %s" % text[:80])
        if tag not in VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        if not self.open or self.open[-1] != tag:
            self.problems.append("</%s> closes %s" % (tag, "<%s>" % self.open[-1] if self.open else "nothing"))
        else:
            self.open.pop()


def html_problems(text):
    """Why `text` (a page or a piece of one) is not well-formed HTML: a list,
    empty when it is."""
    problems = []
    for m in re.finditer("&", text):
        ref = REFERENCE.match(text, m.start())
        if not ref or (ref.group(2) and ref.group(2) not in html.entities.html5):
            problems.append("a bare & at %r" % text[max(0, m.start() - 20):m.start() + 20])
    for m in re.finditer("<", text):
        if not re.match(r"<(/?[a-zA-Z]|!DOCTYPE |!--)", text[m.start():]):
            problems.append("a bare < at %r" % text[max(0, m.start() - 20):m.start() + 20])
    parser = Structure()
    parser.feed(text)
    parser.close()
    problems += parser.problems
    if parser.open:
        problems.append("unclosed %s" % ", ".join("<%s>" % t for t in parser.open))
    return problems


# The checker itself: each of these pieces has the fault named.
NOT_WELL_FORMED = [
    ("a bare &", "<p>S&P 500</p>"),
    ("an unknown entity", "<p>S&P; 500</p>"),
    ("a bare <", "<p>1 < 2</p>"),
    ("a text that reads as a tag", "<p><b>NS<up></b></p>"),
    ("a quote inside an attribute", '<p><img alt="a "b" c"></p>'),
    ("an unquoted attribute", "<p><span class=x>y</span></p>"),
    ("an unclosed element", "<p><b>x</p>"),
    ("a stray end tag", "<p>x</p></b>"),
]
WELL_FORMED = ["<p>S&amp;P &#x2b06; &#9608; &nbsp;</p>", '<p><img src="a.svg" alt="it&#x27;s"><br></p>',
               "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body><!-- x --></body></html>"]
checker_faults = [name for name, piece in NOT_WELL_FORMED if not html_problems(piece)]
checker_faults += ["refuses %r: %s" % (piece, html_problems(piece)) for piece in WELL_FORMED if html_problems(piece)]
if checker_faults:
    sys.exit("the well-formedness check is wrong: " + "; ".join(checker_faults))
INDICATORS = ["VSAMakeConst", "VSATrend", "VSAVolStops", "VSASpread", "VSAInd"]
failures = []


def fail(text):
    failures.append(text)


if not os.path.isdir(pages_dir):
    sys.exit("no help pages in " + pages_dir)
pages = sorted(n for n in os.listdir(pages_dir) if n.endswith(".htm"))
expected = ["none"] + INDICATORS + [page_name(code) for code, *_ in SIGNALS]
for name in expected:
    if name + ".htm" not in pages:
        fail("missing page %s.htm" % name)
for code, name, *_ in SIGNALS:
    page = os.path.join(pages_dir, page_name(code) + ".htm")
    if not os.path.isfile(page):
        continue
    text = open(page, encoding="utf-8").read()
    shown = 'src="%s.svg"' % page_name(code) in text
    caption = re.search(r", daily bars: %s on (\d{4}-\d\d-\d\d)\." % re.escape(html.escape(name)), text)
    absent = re.search(r"%s does not occur in [^<]* there is no picture of it\." % re.escape(html.escape(name)), text)
    if not (shown and caption) and not absent:
        fail("%s.htm neither shows its picture %s.svg with the series and date nor says the signal occurs "
             "nowhere" % (page_name(code), page_name(code)))
    if "<h2>The background it needs</h2><p>%s</p>" % html.escape(BACKGROUND[code]) not in text:
        fail("%s.htm does not say the background its rule needs" % page_name(code))
    if "<h2>Out of sample</h2>" not in text:
        fail("%s.htm has no verdict section" % page_name(code))

index = open(os.path.join(pages_dir, "none.htm"), encoding="utf-8").read() if "none.htm" in pages else ""
for name in expected[1:]:
    if 'href="%s.htm"' % name not in index:
        fail("the index does not link %s.htm" % name)
if "Internet Explorer 8" not in index:
    fail("the index does not say that IE8 and older show no SVG")

for name in pages:
    text = open(os.path.join(pages_dir, name), encoding="utf-8").read()
    for problem in html_problems(text):
        fail("%s: not well-formed HTML: %s" % (name, problem))
    head = re.search(r"<head>\s*(<[^>]+>)", text)
    if not head or 'http-equiv="X-UA-Compatible" content="IE=edge"' not in head.group(1):
        fail("%s: the X-UA-Compatible switch is not the first thing in <head>" % name)
    if re.search(r"<script", text, re.I):
        fail("%s: has a script" % name)
    if re.search(r"display:\s*(flex|grid)|var\(--|--[\w-]+\s*:", text):
        fail("%s: uses CSS that IE9-11 do not have" % name)
    for target in re.findall(r'(?:href|src)="([^"]*)"', text):
        if re.match(r"^[a-z]+:", target, re.I) or target.startswith("/"):
            fail("%s: links outside the help folder: %s" % (name, target))
        elif not os.path.isfile(os.path.join(pages_dir, target)):
            fail("%s: %s is not a file of the help folder" % (name, target))
for name in sorted(n for n in os.listdir(pages_dir) if n.endswith(".svg")):
    try:
        xml.dom.minidom.parse(os.path.join(pages_dir, name))
    except Exception as e:  # noqa: BLE001 (any parse failure is the finding)
        fail("%s: not well-formed XML: %s" % (name, e))



def cell(h, cases, diff="", p_adjusted="", t="", mde=""):
    """A row of evaluate's CSV as the verdict reads it ("" where a cell
    has too few cases for statistics)."""
    return {"horizon": str(h), "cases": str(cases), "mean_pct": diff and "0.1", "diff_pct": diff,
            "p_adjusted": p_adjusted, "t": t, "mde_pct": mde}


# (what, code, rows, the verdict's words, its cases)
VERDICTS = [
    ("strength followed by a rise", 3,
     [cell(1, 80, "0.1", "0.9", "0.4", "0.3"), cell(10, 79, "1.5", "0.01", "3.1", "0.9")],
     "followed by what its reading says (+1.50% over 10 bars, adjusted p 0.010)", 80),
    ("weakness followed by a fall", -5, [cell(5, 60, "-0.8", "0.03", "-2.9", "0.6")],
     "followed by what its reading says (-0.80% over 5 bars, adjusted p 0.030)", 60),
    ("weakness followed by a rise", -5, [cell(20, 60, "2", "0.04", "2.5", "1.6")],
     "followed by the opposite (+2.00% over 20 bars, adjusted p 0.040)", 60),
    ("strength followed by a fall", 19, [cell(1, 300, "-0.3", "0.049", "-2.4", "0.2")],
     "followed by the opposite (-0.30% over 1 bar, adjusted p 0.049)", 300),
    ("the smallest adjusted p decides between two ways", 4,
     [cell(1, 90, "0.2", "0.04", "2.6", "0.1"), cell(10, 90, "-1.2", "0.01", "-3.3", "0.8")],
     "followed by the opposite (-1.20% over 10 bars, adjusted p 0.010)", 90),
    ("on equal adjusted p the larger |t| decides", -2,
     [cell(1, 900, "-0.1", "0.0005", "-4.0", "0.05"), cell(5, 900, "-0.4", "0.0005", "-5.5", "0.2")],
     "followed by what its reading says (-0.40% over 5 bars, adjusted p below 0.001)", 900),
    ("adjusted p of 0.05 is not below it: the mde at 10 bars", 12,
     [cell(1, 40, "0.9", "0.05", "2.3", "1.1"), cell(10, 40, "2.6", "0.2", "1.9", "2.32")],
     "not told from chance (mde 2.32% at 10 bars)", 40),
    ("no statistics at 10 bars: the smallest mde, its horizon named", -14,
     [cell(1, 31, "0.1", "1", "0.1", "0.4"), cell(5, 31, "0.2", "1", "0.2", "0.9"), cell(10, 29),
      cell(20, 30, "0.3", "1", "0.2", "0.3")],
     "not told from chance (mde 0.30% at 20 bars)", 31),
    ("minute-sized effects keep their digits", 3, [cell(10, 15159, "-0.0004", "1", "-0.1", "0.0088")],
     "not told from chance (mde 0.0088% at 10 bars)", 15159),
    ("no cell with statistics", 13, [cell(1, 6), cell(10, 6)], "FEW", 6),
    ("no cases at all", 6, [], "FEW", 0),
]
for what, code, rows, words, cases in VERDICTS:
    got = (verdict.words(code, rows, "FEW"), verdict.verdict(code, rows).cases)
    if got != (words, cases):
        fail("the verdict on %s: %r, not %r" % (what, got, (words, cases)))


def source(name, count, occurrences):
    return (name, name + ".csv", occurrences, count, ["d%d" % b for b in range(count)])


# (what, code, sources, the expected (source name, bar) or None)
EXAMPLES = [
    ("the middle occurrence", 3, [source("A", 200, {3: [40, 50, 60, 70, 80]})], ("A", 60)),
    ("30 bars before and 10 after at the least", 3, [source("A", 100, {3: [29, 30, 89, 90]})], ("A", 89)),
    ("the first series that has room", -5,
     [source("A", 100, {-5: [5, 95]}), source("B", 100, {-5: [50]}), source("C", 100, {-5: [40, 41, 42]})],
     ("B", 50)),
    ("a signal of no series", 6, [source("A", 100, {3: [50]}), source("B", 100, {})], None),
]
for what, code, sources, expected in EXAMPLES:
    found = make_help_pages.example(code, sources)
    got = found and (found[0][0], found[1])
    if got != expected:
        fail("the picture's occurrence, %s: %r, not %r" % (what, got, expected))

# The page maker escapes every text it inserts: planted in the signal table
# (name, rule, texts, background, label, glyph, colour), the real series'
# names and the picture's caption, each piece it makes stays well-formed.
HOSTILE = ['S&P <b> "quoted" \'single\' x>y', "&amp; stays text", "</p><script>", "a&b;c"]
code, *_ = SIGNALS[0]
for k, text in enumerate(HOSTILE):
    make_help_pages.LOOK = {code: (text, 0, '#FF0000" onmouseover="x', text)}
    make_help_pages.REAL_SERIES = (("X", text),)
    rows = {code: [{"cases": "40", "mean_pct": "0.1", "diff_pct": "0.2", "horizon": "10", "ci_low_pct": "-1",
                    "ci_high_pct": "1", "p_adjusted": "0.5", "adj_ci_low_pct": "-2", "adj_ci_high_pct": "2",
                    "t": "0.4", "mde_pct": "1.5"}]}
    pieces = {"signal page": make_help_pages.signal_body(code, text, text, text, text, text, text, (text, text)),
              "signal page, no picture": make_help_pages.signal_body(code, text, text, text, text, text, text,
                                                                     (None, text)),
              "legend": "<table>%s</table>" % make_help_pages.legend_rows({code}),
              "real-series line": make_help_pages.real_line(code, rows),
              "real-series line, no figures": make_help_pages.real_line(code, {}),
              "verdict": make_help_pages.verdict_section(code, rows),
              "verdict, no real series": make_help_pages.verdict_section(code, None),
              "index's verdicts": make_help_pages.real_section(rows)}
    for piece, made in pieces.items():
        for problem in html_problems(made):
            fail("the %s with the planted text %d: %s" % (piece, k, problem))


# What a trader's browser shows of each page at the help window's width:
# every image loaded, nothing sticking out sideways.
PROBE = """(function () {
  var broken = [];
  var images = document.getElementsByTagName('img');
  for (var i = 0; i < images.length; i++)
    if (!images[i].complete || images[i].naturalWidth === 0) broken.push(images[i].getAttribute('src'));
  var b = document.body;
  var width = b.scrollWidth;
  var wide = b.scrollWidth > b.clientWidth;
  return 'images=' + images.length + '|broken=' + broken.join(',') + '|wide=' + (wide ? width + ' pixels' : 'no');
})()"""


class Chromium:
    """One headless Chromium for every page, driven through its DevTools
    protocol on a pipe (--remote-debugging-pipe: commands in on fd 3,
    answers and events out on fd 4, each a JSON text ended by a NUL): the
    tab is 275 pixels wide, the help window's width inside its scroll bar.
    (Starting Chromium once per page and once more for its probe took two
    starts of about 2 s for each of some 45 pages.)"""

    WIDTH, HEIGHT, WAIT = 275, 1200, 60

    def __init__(self, profile):
        commands, self.to_browser = os.pipe()
        self.from_browser, answers = os.pipe()

        def pipes_as_3_and_4():
            # (by way of free numbers: either pipe may already be 3 or 4)
            free = [fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (commands, answers)]
            for fd, wanted in zip(free, (3, 4)):
                os.dup2(fd, wanted)
                os.close(fd)

        self.process = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--hide-scrollbars", "--window-size=%d,%d" % (self.WIDTH, self.HEIGHT),
             "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=pipes_as_3_and_4, close_fds=False)  # (Python's own descriptors are not inherited)
        os.close(commands)
        os.close(answers)
        self.next_id, self.buffer, self.events = 0, b"", []
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        self.call("Page.enable", session=True)
        self.call("Emulation.setDeviceMetricsOverride", session=True, width=self.WIDTH, height=self.HEIGHT,
                  deviceScaleFactor=1, mobile=False)

    def message(self):
        """The next message from Chromium; RuntimeError when none comes."""
        while b"\0" not in self.buffer:
            ready, _, _ = select.select([self.from_browser], [], [], self.WAIT)
            chunk = os.read(self.from_browser, 1 << 20) if ready else b""
            if not chunk:
                raise RuntimeError("Chromium answered nothing for %d s" % self.WAIT if not ready else
                                   "Chromium closed its pipe (exit %s)" % self.process.poll())
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def call(self, method, session=False, **params):
        """The result of one command, the events that came before it kept."""
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params}
        if session:
            command["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(command).encode() + b"\0")
        while True:
            message = self.message()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message["result"]
            self.events.append(message)

    def load(self, url):
        """Opens `url` and returns once it has loaded (every image in): its
        load event, then the page itself saying so (a load event of the
        tab's first page, about:blank, may come late and be taken for it)."""
        self.events = []
        self.call("Page.navigate", session=True, url=url)
        while not any(e.get("method") == "Page.loadEventFired" for e in self.events):
            self.events.append(self.message())
        deadline = time.monotonic() + self.WAIT
        while True:
            state = self.call("Runtime.evaluate", session=True, returnByValue=True,
                              expression="document.readyState + ' ' + location.href")["result"].get("value")
            if state == "complete " + url:
                return
            if time.monotonic() > deadline:
                raise RuntimeError("%s did not load in %d s (%s)" % (url, self.WAIT, state))
            time.sleep(0.02)

    def close(self):
        try:
            self.call("Browser.close")
        except (RuntimeError, OSError):
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)


if browser_out is not None and not failures:
    os.makedirs(browser_out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        browser = Chromium(os.path.join(work, "profile"))
        try:
            for name in pages:
                shot = os.path.join(browser_out, name[:-4] + ".png")
                if os.path.exists(shot):
                    os.remove(shot)
                browser.load(pathlib.Path(os.path.abspath(os.path.join(pages_dir, name))).as_uri())
                picture = base64.b64decode(browser.call("Page.captureScreenshot", session=True,
                                                        format="png")["data"])
                with open(shot, "wb") as f:
                    f.write(picture)
                if not picture.startswith(b"\x89PNG"):
                    fail("%s: Chromium made no picture of it" % name)
                probe = browser.call("Runtime.evaluate", session=True, expression=PROBE,
                                     returnByValue=True)["result"].get("value")
                if not isinstance(probe, str):
                    fail("%s: the probe did not run in Chromium" % name)
                    continue
                result = dict(part.split("=", 1) for part in probe.split("|"))
                if result["broken"]:
                    fail("%s: images that did not load: %s" % (name, result["broken"]))
                if result["wide"] != "no":
                    fail("%s: scrolls sideways at 275 pixels (%s)" % (name, result["wide"]))
        except RuntimeError as e:
            fail("Chromium: %s" % e)
        finally:
            browser.close()

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d help pages checked%s" % (len(pages), ", rendered to " + browser_out if browser_out else ""))
