#!/usr/bin/env python3
"""Renders report pages with maps in headless Chromium and times them.

Usage: map_render_check.py SAMPLE [--shots DIR] [--columns C --rows R]

SAMPLE is the map_page_sample program of the build (tests/report_tool).
It writes a page of C x R generated municipalities (60 x 50 = 3,000 by
default) with a threshold, the same page without its maps (what the rest
of the page costs: its plots and region table), and one of North
Carolina's 100 counties; each
is opened through chromedriver (the WebDriver protocol spoken over HTTP,
so no Python package is needed) at window widths of 800 and 1280 pixels.
Reported per page and width: the page's size, the time from navigation
start to the first frame after the load event (two animation frames after
it, so layout and paint of the maps are done) on the wall clock and as
the CPU time all of Chromium's processes spent meanwhile (read from
/proc; on a busy machine the wall clock mostly measures the wait for a
CPU), each the least of three
runs, and with --shots a
screenshot of the first group's maps. Fails (exit 1) when the
municipalities' page takes 2 s of CPU or more at either width, has fewer
than three maps or scrolls sideways. A check to run by
hand, not a timed test: the machine's load changes the figures.
"""
import argparse
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

LIMIT_SECONDS = 2.0
WIDTHS = [800, 1280]
CHROMIUM = "/usr/bin/chromium"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run",
         "--hide-scrollbars"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Driver:
    def __init__(self, profile):
        self.profile = profile
        self.port = free_port()
        self.process = subprocess.Popen(
            [shutil.which("chromedriver") or "/usr/bin/chromedriver", "--port=%d" % self.port],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            try:
                self.call("GET", "/status")
                break
            except OSError:
                time.sleep(0.1)
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": CHROMIUM,
                                   "args": FLAGS + ["--user-data-dir=" + profile]}}}}
        self.session = self.call("POST", "/session", caps)["sessionId"]

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.port, path), data=data,
                                         method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=120) as response:
            return json.loads(response.read())["value"]

    def session_call(self, method, path, body=None):
        return self.call(method, "/session/%s%s" % (self.session, path), body)

    def script(self, source, asynchronous=False):
        return self.session_call("POST", "/execute/async" if asynchronous else "/execute/sync",
                                 {"script": source, "args": []})

    def close(self):
        try:
            self.session_call("DELETE", "")
        finally:
            self.process.terminate()
            self.process.wait()


def browser_cpu_seconds(profile):
    """CPU time (user + system) of every live process of our Chromium,
    found by its profile folder: unlike the wall clock it does not grow
    with other work on the machine."""
    ticks = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if ("--user-data-dir=" + profile).encode() not in f.read():
                    continue
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            ticks += int(fields[11]) + int(fields[12])
        except OSError:
            continue
    return ticks / os.sysconf("SC_CLK_TCK")


def measure(driver, page, width, shot):
    driver.session_call("POST", "/window/rect", {"width": width, "height": 1000})
    driver.session_call("POST", "/url", {"url": "about:blank"})
    cpu_before = browser_cpu_seconds(driver.profile)
    driver.session_call("POST", "/url", {"url": "file://" + os.path.abspath(page)})
    # WebDriver returns after the load event; two frames later the maps are
    # laid out and painted.
    seconds = driver.script(
        "const done = arguments[arguments.length - 1];"
        "requestAnimationFrame(() => requestAnimationFrame(() => done(performance.now() / 1000)));",
        asynchronous=True)
    cpu = browser_cpu_seconds(driver.profile) - cpu_before
    maps = driver.script("return document.querySelectorAll('svg[aria-label^=\"Map\"]').length;")
    overflow = driver.script(
        "return document.documentElement.scrollWidth > document.documentElement.clientWidth;")
    if shot:
        driver.script("const m = document.querySelector('svg[aria-label^=\"Map\"]');"
                      "if (m) m.closest('.plots').scrollIntoView();")
        png = base64.b64decode(driver.session_call("GET", "/screenshot"))
        with open(shot, "wb") as out:
            out.write(png)
    return seconds, cpu, maps, overflow


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("sample")
    parser.add_argument("--shots")
    parser.add_argument("--columns", type=int, default=60)
    parser.add_argument("--rows", type=int, default=50)
    args = parser.parse_args()
    if not os.path.exists(CHROMIUM):
        print("no Chromium at " + CHROMIUM)
        return 77
    work = tempfile.mkdtemp()
    pages = {
        "municipalities": os.path.join(work, "municipalities.html"),
        "without maps": os.path.join(work, "without.html"),
        "nc": os.path.join(work, "nc.html"),
    }
    subprocess.run([args.sample, pages["municipalities"], "hexagons", str(args.columns),
                    str(args.rows), "0.012"], check=True)
    subprocess.run([args.sample, pages["without maps"], "hexagons-without-maps",
                    str(args.columns), str(args.rows), "0.012"], check=True)
    subprocess.run([args.sample, pages["nc"], "nc", "0.002"], check=True)
    profile = tempfile.mkdtemp()
    driver = Driver(profile)
    print("load average %.2f %.2f %.2f on %d CPUs" % (os.getloadavg() + (os.cpu_count(),)))
    failed = False
    try:
        # A first load starts the renderer and fills the caches; not counted.
        measure(driver, pages["nc"], WIDTHS[0], None)
        for name, page in pages.items():
            size = os.path.getsize(page)
            for width in WIDTHS:
                shot = (os.path.join(args.shots, "%s-%d.png" % (name, width))
                        if args.shots else None)
                # The least of three: other work on the machine only adds.
                runs = [measure(driver, page, width, shot if k == 0 else None)
                        for k in range(3)]
                seconds = min(run[0] for run in runs)
                cpu = min(run[1] for run in runs)
                maps, overflow = runs[0][2], runs[0][3]
                print("%-15s %5d px  %9d bytes  %d maps  render %.3f s wall, %.2f s CPU%s" %
                      (name, width, size, maps, seconds, cpu,
                       "  SCROLLS SIDEWAYS" if overflow else ""))
                if name == "municipalities" and (cpu >= LIMIT_SECONDS or overflow or maps < 3):
                    failed = True
    finally:
        driver.close()
        shutil.rmtree(profile, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
