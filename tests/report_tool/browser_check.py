#!/usr/bin/env python3
"""Renders a propsmooth-report page in headless Chromium.

Usage: browser_check.py TOOL DATA [--keep PNG]

Passes when the screenshot is not blank (enough non-white pixels and
colours) and the browser logged no console message for the page. Exits 77
(skipped) with a message when no Chromium is installed or it cannot run
here. --keep copies the screenshot to PNG (how docs/report.png is made).
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SKIP = 77
BROWSERS = ["chromium", "chromium-browser", "google-chrome"]
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--hide-scrollbars",
         "--enable-logging=stderr", "--v=0"]
# The check decodes the PNG in plain Python: a smaller window keeps it quick;
# the kept screenshot is the larger one.
CHECK_SIZE = "--window-size=1100,1100"
KEEP_SIZE = "--window-size=1400,1500"


def read_png(path):
    """Pixels of an 8-bit RGB or RGBA PNG as rows of (r, g, b) tuples."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise ValueError("unsupported PNG layout %r" % (header,))
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 255
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, channels)])
        previous = line
    return rows


def main():
    tool, data = sys.argv[1], sys.argv[2]
    keep = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--keep" else None
    browser = next((shutil.which(b) for b in BROWSERS if shutil.which(b)), None)
    if browser is None:
        print("SKIPPED: no Chromium installed (apt-get install chromium)")
        return SKIP
    with tempfile.TemporaryDirectory() as work:
        page = os.path.join(work, "report.html")
        shot = os.path.join(work, "report.png")
        made = subprocess.run([tool, data, page], capture_output=True, text=True, timeout=60)
        if made.returncode != 0:
            print("the report was not written:\n" + made.stdout)
            return 1
        profile = os.path.join(work, "profile")
        os.mkdir(profile)
        try:
            shown = subprocess.run(
                [browser] + FLAGS + [KEEP_SIZE if keep else CHECK_SIZE,
                                     "--user-data-dir=" + profile, "--screenshot=" + shot,
                                     "file://" + page],
                capture_output=True, text=True, timeout=40)
        except (OSError, subprocess.TimeoutExpired) as error:
            print("SKIPPED: Chromium could not run here: %s" % error)
            return SKIP
        if not os.path.exists(shot):
            print("SKIPPED: Chromium ran but made no screenshot (status %d):\n%s"
                  % (shown.returncode, shown.stderr[-2000:]))
            return SKIP
        failures = []
        console = [line for line in shown.stderr.splitlines()
                   if "CONSOLE" in line or "Uncaught" in line]
        failures += ["console: " + line for line in console]
        rows = read_png(shot)
        pixels = [p for row in rows for p in row]
        inked = sum(1 for p in pixels if sum(p) < 720)
        colours = len(set(pixels))
        grey = [sum(p) / 3.0 for p in pixels]
        mean = sum(grey) / len(grey)
        spread = (sum((g - mean) ** 2 for g in grey) / len(grey)) ** 0.5
        print("screenshot %dx%d: %.1f%% inked, %d colours, grey spread %.1f"
              % (len(rows[0]), len(rows), 100.0 * inked / len(pixels), colours, spread))
        if inked < 0.03 * len(pixels) or colours < 20 or spread < 10.0:
            failures.append("the screenshot is blank or nearly so")
        if keep:
            shutil.copyfile(shot, keep)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
