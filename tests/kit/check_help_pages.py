#!/usr/bin/env python3
"""Checks a folder of help pages (HELP/plugin/Inds1/) as the help window and
a trader's browser meet them:
- every engine signal has its page and its picture, every indicator its
  page, and the index links them all;
- every link and image of every page names a file of the folder;
- every page starts its head with the X-UA-Compatible edge switch (without
  it the browser control shows the page as IE7, which has no SVG), has no
  script and no CSS that IE9-11 lack (flex, grid, variables); every picture
  is well-formed SVG;
- with --browser PNG_FOLDER: headless Chromium renders every page at 275
  pixels wide (the help window's width inside its scroll bar) to PNG, and a
  copy of each page with a probe script reports that every image loaded and
  nothing scrolls sideways.

usage: check_help_pages.py HELP_FOLDER SOURCE_ROOT [--browser PNG_FOLDER]"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.dom.minidom

help_folder, root = sys.argv[1], sys.argv[2]
browser_out = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--browser" else None
sys.path.insert(0, os.path.join(root, "scripts"))
from signal_table import SIGNALS, page_name  # noqa: E402

pages_dir = os.path.join(help_folder, "plugin", "Inds1")
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
for code, *_ in SIGNALS:
    page = os.path.join(pages_dir, page_name(code) + ".htm")
    if os.path.isfile(page) and 'src="%s.svg"' % page_name(code) not in open(page, encoding="utf-8").read():
        fail("%s.htm does not show its picture %s.svg" % (page_name(code), page_name(code)))

index = open(os.path.join(pages_dir, "none.htm"), encoding="utf-8").read() if "none.htm" in pages else ""
for name in expected[1:]:
    if 'href="%s.htm"' % name not in index:
        fail("the index does not link %s.htm" % name)
if "Internet Explorer 8" not in index:
    fail("the index does not say that IE8 and older show no SVG")

for name in pages:
    text = open(os.path.join(pages_dir, name), encoding="utf-8").read()
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

PROBE = """<script>
window.onload = function () {
  var broken = [];
  var images = document.getElementsByTagName('img');
  for (var i = 0; i < images.length; i++)
    if (!images[i].complete || images[i].naturalWidth === 0) broken.push(images[i].getAttribute('src'));
  // Headless Chromium lays out --dump-dom pages at 500 pixels or more:
  // give the page the window's 275 and measure what sticks out.
  var e = document.documentElement;
  e.style.width = '275px';
  var b = document.body;
  var width = b.scrollWidth;
  var wide = b.scrollWidth > b.clientWidth;
  document.body.setAttribute('data-probe', 'images=' + images.length + '|broken=' + broken.join(',') +
                             '|wide=' + (wide ? width + ' pixels' : 'no'));
};
</script>"""


def chromium(args):
    base = ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--hide-scrollbars", "--window-size=275,1200"]
    return subprocess.run(base + args, capture_output=True, text=True, timeout=120)


if browser_out is not None and not failures:
    os.makedirs(browser_out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        profile = os.path.join(work, "profile")
        probed = os.path.join(work, "pages")
        shutil.copytree(pages_dir, probed)
        for name in pages:
            stem = name[:-4]
            url = "file://" + os.path.abspath(os.path.join(pages_dir, name))
            shot = os.path.join(browser_out, stem + ".png")
            chromium(["--user-data-dir=" + profile, "--screenshot=" + shot, url])
            if not os.path.isfile(shot) or os.path.getsize(shot) == 0:
                fail("%s: Chromium made no picture of it" % name)
            copy = os.path.join(probed, name)
            text = open(copy, encoding="utf-8").read().replace("</body>", PROBE + "</body>")
            open(copy, "w", encoding="utf-8").write(text)
            dom = chromium(["--user-data-dir=" + profile, "--virtual-time-budget=5000", "--dump-dom",
                            "file://" + os.path.abspath(copy)]).stdout
            probe = re.search(r'data-probe="([^"]*)"', dom)
            if not probe:
                fail("%s: the probe did not run in Chromium" % name)
                continue
            result = dict(part.split("=", 1) for part in probe.group(1).split("|"))
            if result["broken"]:
                fail("%s: images that did not load: %s" % (name, result["broken"]))
            if result["wide"] != "no":
                fail("%s: scrolls sideways at 275 pixels (%s)" % (name, result["wide"]))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d help pages checked%s" % (len(pages), ", rendered to " + browser_out if browser_out else ""))
