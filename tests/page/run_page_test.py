#!/usr/bin/env python3
"""Runs the wizard page in headless Chromium against the stub bridge.

    run_page_test.py --page-dir MacHtml --scenario main|nocams|stuck|unsaved|close|fields|silent
                     [--manual QuickStart.txt]
    run_page_test.py --page-dir MacHtml --shots DIR

The page is copied to a temporary folder with stub-bridge.js and drive.js put
in front of its own scripts, and runs in a window of the wizard's size. A
scenario run dumps the DOM and checks the verdict that drive.js wrote into
it; a shots run brings the page to each step in turn, checks its layout there
and keeps a picture of it as DIR/page-STEP.png. Chromium missing is a
failure, not a skip. The hints a scenario reports ("hint: ...") must stand in
the quick-start manual word for word (line breaks and capitals aside).
"""
import argparse
import html
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT_TAG = re.compile(r'<script src="([^"]+)"></script>')
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-extensions", "--disable-default-apps", "--mute-audio", "--hide-scrollbars",
    # A full-screen window on a screen of the wizard's window size gives a
    # 720 x 480 viewport; a plain window size leaves room for a toolbar.
    "--kiosk", "--screen-info={720x480}",
]
STEPS = ["search", "login", "info", "address", "password", "wireless", "save", "remote", "live", "finish"]


def fail(msg):
    print("page test: FAIL: " + msg, file=sys.stderr)
    sys.exit(1)


def find_chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    fail("chromium is not installed (Debian package chromium); scripts/setup installs it")


def check_scripts(site, loaded):
    """index.html loads each script of the page once, and every one there is."""
    if not loaded:
        fail("index.html loads no script")
    for src in loaded:
        if loaded.count(src) > 1:
            fail("index.html loads %s more than once" % src)
        if not os.path.isfile(os.path.join(site, src)):
            fail("index.html loads %s, which the page does not have" % src)
    for top, _, names in os.walk(site):
        for name in names:
            src = os.path.relpath(os.path.join(top, name), site)
            if name.endswith(".js") and src not in loaded:
                fail("index.html does not load %s" % src)


def stage_page(page_dir, work):
    site = os.path.join(work, "site")
    shutil.copytree(page_dir, site)
    index = os.path.join(site, "index.html")
    with open(index, encoding="utf-8") as f:
        text = f.read()
    check_scripts(site, SCRIPT_TAG.findall(text))
    for name in ("stub-bridge.js", "drive.js"):
        shutil.copy(os.path.join(HERE, name), site)
    first = SCRIPT_TAG.search(text).start()
    text = (text[:first] + '<script src="stub-bridge.js"></script>\n'
            '<script src="drive.js"></script>\n' + text[first:])
    with open(index, "w", encoding="utf-8") as f:
        f.write(text)
    return index


def run_chromium(chromium, work, url, extra, timeout):
    cmd = [chromium] + CHROMIUM_FLAGS + [
        "--user-data-dir=" + os.path.join(work, "profile"),
        "--virtual-time-budget=1800000",
    ] + extra + [url]
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env["HOME"] = work
    try:
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, env=env,
                              cwd=work, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        fail("chromium did not finish within %d s" % timeout)
    return proc


def words(text):
    return " ".join(text.split()).lower()


def check_hints(report, manual):
    with open(manual, encoding="utf-8") as f:
        text = words(f.read())
    for line in report.splitlines():
        if line.startswith("hint: ") and words(line[6:]) not in text:
            fail("the quick-start manual lacks the page's hint: " + line[6:])


def verdict(proc, label):
    m = re.search(r'<pre id="page-test-report" hidden="">(.*?)</pre>', proc.stdout, re.S)
    if not m:
        sys.stderr.write(proc.stderr[-4000:])
        fail("the page wrote no verdict for %s (chromium status %d)" % (label, proc.returncode))
    report = html.unescape(m.group(1))
    print(report)
    if not report.startswith("PASS"):
        fail(label + ": " + report.splitlines()[0].replace("FAIL: ", "", 1))
    return report


def scenario(chromium, work, index, name, manual):
    url = "file://" + index + "?stub=" + name
    # The program's window size: the live picture's rectangle is placed in it.
    proc = run_chromium(chromium, work, url, ["--dump-dom", "--window-size=720,480"], 120)
    dom = proc.stdout
    report = verdict(proc, name)
    if manual:
        check_hints(report, manual)
    if name == "main":
        # Hostile texts must sit in the document as escaped text only.
        if "<script>window.__pwned" in dom or "<img src=x" in dom or "<b>x</b>" in dom:
            fail("hostile camera text reached the document as markup")
        if "&lt;script&gt;window.__pwned=1&lt;/script&gt;" not in dom:
            fail("the hostile camera name is not in the document as text")
    print("page test %s: PASS" % name)


def shots(chromium, work, index, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    for step in STEPS:
        out = os.path.join(os.path.abspath(out_dir), "page-%s.png" % step)
        if os.path.exists(out):
            os.remove(out)
        url = "file://" + index + "?stub=shot&step=" + step
        proc = run_chromium(chromium, work, url, ["--dump-dom", "--screenshot=" + out], 120)
        verdict(proc, "shots")
        try:
            with open(out, "rb") as f:
                head = f.read(24)
        except OSError:
            fail("chromium wrote no picture of step " + step)
        if head[:8] != b"\x89PNG\r\n\x1a\n":
            fail("the picture of step %s is not a PNG" % step)
        width, height = struct.unpack(">II", head[16:24])
        if (width, height) != (720, 480):
            fail("the picture of step %s is %dx%d, not 720x480" % (step, width, height))
        print("page picture: %s" % out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--page-dir", required=True)
    ap.add_argument("--scenario")
    ap.add_argument("--shots")
    ap.add_argument("--manual")
    args = ap.parse_args()
    chromium = find_chromium()
    work = tempfile.mkdtemp(prefix="rilo-page-")
    try:
        index = stage_page(args.page_dir, work)
        if args.shots:
            shots(chromium, work, index, args.shots)
        else:
            scenario(chromium, work, index, args.scenario or "main", args.manual)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
