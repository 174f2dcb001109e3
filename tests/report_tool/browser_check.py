#!/usr/bin/env python3
"""Renders propsmooth-report pages in headless Chromium.

Usage: browser_check.py TOOL DATA [--keep PNG]

Passes when the screenshot of DATA's page is not blank (enough non-white
pixels and colours) and the browser logged no console message for it, and
when the layout holds at window widths of 800, 1280 and 1920 pixels, for
DATA's page and for a page of awkward groups (regions at 0% and 100%,
sizes in the thousands, proportions of hundredths of a percent, a failed
fit), and for a page of rates (the SIDS counties, rates per 100,000 in
the hundreds of thousands): every text of every chart lies inside the chart, every dot inside
its plot area, each legend sample stays on one line with its text, a group's
three plots share one row from 1280 pixels on and none is narrower than
300 pixels or runs past the window, and the page never scrolls sideways:
every table (the index of 17 columns, the region tables with their
threshold columns) scrolls in a box of its own. The layout is measured by a script
added to a copy of each page (the page itself has none) and read back
from the DOM Chromium dumps. Exits 77 (skipped) with a message when no
Chromium is installed or it cannot run here. --keep copies the screenshot
to PNG (how docs/report.png is made).
"""
import html
import json
import os
import re
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
LAYOUT_WIDTHS = [800, 1280, 1920]
# From this width on a group's three plots share one row.
ONE_ROW_FROM = 1280
NARROWEST_PLOT = 300


def awkward_data():
    """Records of groups whose plots press against their edges."""
    lines = []
    # Unit 1: regions at 0% and at 100%, small and large.
    for code, (data1, data2) in enumerate(
            [(0, 15), (3, 20), (5, 18), (12, 12), (1, 30), (8, 25), (0, 40),
             (20, 20), (6, 22), (9, 30), (2, 11), (14, 35)], 1):
        lines.append("1 %d %d %d" % (100 + code, data1, data2))
    # Unit 2: sizes up to 2400, so that the funnel's last tick is 2500.
    for k in range(40):
        data2 = 60 + 59 * k
        lines.append("2 %d %d %d" % (200 + k, (data2 * (1 + k % 5)) // 100, data2))
    # Unit 3: hundredths of a percent, long tick labels on every axis.
    for k in range(12):
        lines.append("3 %d %d %d" % (300 + k, k % 4, 20000 + 3000 * k))
    # Unit 4: the fit fails (moment estimators below 0).
    for code, data1 in enumerate([0, 10, 1, 9], 1):
        lines.append("4 %d %d 10" % (400 + code, data1))
    return "\n".join(lines) + "\n"


# Added before </body> of a copy of the page: measures the layout once the
# page has loaded and leaves the findings in <pre id="layout-check">.
PROBE = """<script>
addEventListener("load", () => {
  const problems = [];
  const near = 0.5;
  const inside = (r, box) => r.left >= box.left - near && r.right <= box.right + near &&
                             r.top >= box.top - near && r.bottom <= box.bottom + near;
  const span = (r) => "[" + [r.left, r.right, r.top, r.bottom].map(v => v.toFixed(1)) + "]";
  const charts = [...document.querySelectorAll("svg.chart")];
  charts.forEach((svg, i) => {
    const name = "chart " + i + " (" + svg.getAttribute("aria-label") + ")";
    const box = svg.getBoundingClientRect();
    for (const text of svg.querySelectorAll("text")) {
      const r = text.getBoundingClientRect();
      if (!inside(r, box)) {
        problems.push(name + ": text '" + text.textContent + "' at " + span(r) +
                      " is cut by the chart's edge " + span(box));
      }
    }
    const frame = svg.querySelector("rect.frame").getBoundingClientRect();
    for (const dot of svg.querySelectorAll("circle")) {
      const r = dot.getBoundingClientRect();
      if (!inside(r, frame)) {
        problems.push(name + ": dot '" + dot.textContent + "' at " + span(r) +
                      " is cut by the plot area " + span(frame));
      }
    }
  });
  const window_width = document.documentElement.clientWidth;
  document.querySelectorAll(".plots").forEach((plots, i) => {
    const figures = [...plots.children].map(f => f.getBoundingClientRect());
    const rows = new Set(figures.map(r => Math.round(r.top))).size;
    if (window_width >= ONE_ROW_FROM && rows != 1) {
      problems.push("section " + i + ": the plots take " + rows + " rows");
    }
    for (const r of figures) {
      if (r.width < NARROWEST_PLOT || r.right > window_width + near) {
        problems.push("section " + i + ": a plot at " + span(r) + " is too narrow or " +
                      "runs past the window");
      }
    }
  });
  // Each legend sample must sit on the line of its text, just left of it,
  // and the text must be on one line.
  for (const key of document.querySelectorAll("figcaption .key")) {
    const label = key.nextSibling;
    if (!label || label.nodeType != Node.TEXT_NODE) {
      problems.push("a legend sample without its text");
      continue;
    }
    const range = document.createRange();
    range.setStart(label, 0);
    range.setEnd(label, label.textContent.trimEnd().length);
    const lines = range.getClientRects();
    const sample = key.getBoundingClientRect();
    const middle = (sample.top + sample.bottom) / 2;
    if (lines.length != 1 || middle < lines[0].top || middle > lines[0].bottom ||
        lines[0].left < sample.right - near || lines[0].left > sample.right + 12) {
      problems.push("legend key '" + label.textContent.trim() + "' is split from its " +
                    "sample or broken across lines");
    }
  }
  // Wide tables scroll in their own box: the page itself never scrolls
  // sideways.
  const page_width = document.documentElement.scrollWidth;
  if (page_width > window_width + near) {
    problems.push("the page is " + page_width + " px wide: it scrolls sideways");
  }
  document.querySelectorAll("table").forEach((table, i) => {
    const box = table.parentElement;
    if (!box.classList.contains("wide") || box.getBoundingClientRect().right > window_width + near) {
      problems.push("table " + i + " (" + table.className + ") is not in a scroll box " +
                    "within the window");
    }
  });
  const out = document.createElement("pre");
  out.id = "layout-check";
  out.textContent = JSON.stringify({width: window_width, charts: charts.length, problems});
  document.body.appendChild(out);
});
</script>
""".replace("ONE_ROW_FROM", str(ONE_ROW_FROM)).replace("NARROWEST_PLOT", str(NARROWEST_PLOT))


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


def layout_problems(browser, page, width, work):
    """What the probe finds wrong with `page` in a window `width` wide; a
    list with one entry when it could not measure."""
    probed = page[:-len(".html")] + "-probe.html"
    with open(page, encoding="utf-8") as f:
        text = f.read()
    with open(probed, "w", encoding="utf-8") as f:
        f.write(text.replace("</body>", PROBE + "</body>"))
    profile = os.path.join(work, "profile-layout")
    os.makedirs(profile, exist_ok=True)
    dumped = subprocess.run(
        [browser] + FLAGS + ["--window-size=%d,1000" % width, "--user-data-dir=" + profile,
                             "--dump-dom", "file://" + probed],
        capture_output=True, text=True, timeout=40)
    found = re.search(r'<pre id="layout-check">(.*?)</pre>', dumped.stdout, re.S)
    if not found:
        return ["no measurement came back (status %d):\n%s"
                % (dumped.returncode, dumped.stderr[-2000:])]
    result = json.loads(html.unescape(found.group(1)))
    print("%s at %d px: %d charts, %d problems"
          % (os.path.basename(page), result["width"], result["charts"], len(result["problems"])))
    problems = list(result["problems"])
    if result["width"] != width:
        problems.append("the window is %d px wide, not %d" % (result["width"], width))
    if result["charts"] == 0:
        problems.append("no chart was drawn")
    return problems


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
        awkward = os.path.join(work, "awkward.txt")
        with open(awkward, "w") as f:
            f.write(awkward_data())
        awkward_page = os.path.join(work, "awkward.html")
        rates = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "stats",
                             "data", "rates", "nc_sids74.csv")
        rates_page = os.path.join(work, "rates.html")
        for source, target, options in [(data, page, []),
                                         (awkward, awkward_page, ["--threshold", "0.05"]),
                                         (rates, rates_page,
                                          ["--model", "poisson", "--count", "x", "--exposure",
                                           "e", "--per", "100000", "--threshold", "150000"])]:
            made = subprocess.run([tool, source, target] + options, capture_output=True,
                                  text=True, timeout=60)
            if made.returncode != 0:
                print("the report of %s was not written:\n%s" % (source, made.stdout))
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
        for target in [page, awkward_page, rates_page]:
            for width in LAYOUT_WIDTHS:
                failures += ["%s at %d px: %s" % (os.path.basename(target), width, problem)
                             for problem in layout_problems(browser, target, width, work)]
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
