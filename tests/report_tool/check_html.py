#!/usr/bin/env python3
"""Runs propsmooth-report and checks that its pages are well-formed HTML.

Usage: check_html.py TOOL RATS_DATA

Each page must parse with html.parser with every element closed in order
(void elements aside), hold no script and nothing fetched from outside
(no link, img, iframe or object element, no http: or protocol-relative
address, url() only to an id in the page), and draw three charts for each
group with spread and none for the others, every dot whole inside its plot
area (the example's and unit 2's regions at 0% and 100% included). The
same for a page of rates (--model poisson): four charts for the group whose
SMRs vary, none for one region, equal SMRs or no events.
"""
import html.parser
import os
import sys
import tempfile

from report_check import finish, run

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link",
        "meta", "source", "track", "wbr"}
FORBIDDEN = {"script", "link", "img", "iframe", "object", "embed", "base"}

# Unit 1 varies, unit 2 is the failed-fit example (negative moment
# estimators), unit 3 has one region, unit 4 equal proportions, unit 6 a
# region with Data1 > Data2.
EDGE_DATA = """\
1 11 12 100
1 12 30 120
1 13 5 90
1 14 22 110
1 15 9 70
2 21 0 10
2 22 10 10
2 23 1 10
2 24 9 10
3 31 3 10
4 41 1 4
4 42 2 8
4 43 5 20
6 61 3 20
6 62 25 21
6 63 4 22
6 64 7 19
"""


class Checker(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.errors = []
        self.counts = {}
        self.doctype = False
        self.in_clip = False
        self.clip = None  # the plot area of the chart being read: x, y, width, height

    def handle_decl(self, decl):
        self.doctype = self.doctype or decl.lower() == "doctype html"

    def check_attrs(self, tag, attrs):
        self.counts[tag] = self.counts.get(tag, 0) + 1
        if tag in FORBIDDEN:
            self.errors.append("forbidden element <%s> at %s" % (tag, self.getpos()))
        for name, value in attrs:
            value = (value or "").strip().lower()
            if value.startswith(("http:", "https:", "//", "ftp:", "data:")):
                self.errors.append("outside address %s=%r at %s" % (name, value, self.getpos()))
            if "url(" in value and "url(#" not in value:
                self.errors.append("url() to outside %r at %s" % (value, self.getpos()))

    def check_dot(self, tag, attrs):
        values = dict(attrs)
        if tag == "clippath":
            self.in_clip = True
        elif tag == "rect" and self.in_clip:
            self.clip = [float(values[k]) for k in ("x", "y", "width", "height")]
        elif tag == "circle":
            x, y, width, height = self.clip
            cx, cy, r = (float(values[k]) for k in ("cx", "cy", "r"))
            # The stroke is drawn half outside the circle.
            r += 0.5 * 0.8
            if cx - r < x or cx + r > x + width or cy - r < y or cy + r > y + height:
                self.errors.append("dot at (%g, %g) radius %g is cut by the plot area %r at %s"
                                   % (cx, cy, r, self.clip, self.getpos()))

    def handle_starttag(self, tag, attrs):
        self.check_attrs(tag, attrs)
        self.check_dot(tag, attrs)
        if tag not in VOID:
            self.stack.append((tag, self.getpos()))

    def handle_startendtag(self, tag, attrs):
        self.check_attrs(tag, attrs)
        self.check_dot(tag, attrs)

    def handle_endtag(self, tag):
        if tag == "clippath":
            self.in_clip = False
        if tag in VOID:
            return
        if not self.stack:
            self.errors.append("</%s> without an open element at %s" % (tag, self.getpos()))
            return
        open_tag, where = self.stack.pop()
        if open_tag != tag:
            self.errors.append("</%s> at %s closes <%s> opened at %s"
                               % (tag, self.getpos(), open_tag, where))


# Rates: A varies, B is one region, C has one SMR (2/4 = 1/2 = 3/6), D no
# events at all.
RATE_DATA = """\
group,area,deaths,expected
A,a1,1,2.2
A,a2,0,1.0
A,a3,9,2.9
A,a4,5,6.4
A,a5,18,7.3
A,a6,4,3.1
B,b1,3,2.5
C,c1,2,4.0
C,c2,1,2.0
C,c3,3,6.0
D,d1,0,1.5
D,d2,0,3.0
"""


def check_page(path, charts, failures):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    checker = Checker()
    checker.feed(text)
    checker.close()
    errors = list(checker.errors)
    if not checker.doctype:
        errors.append("no <!DOCTYPE html>")
    for tag, where in checker.stack:
        errors.append("<%s> opened at %s is never closed" % (tag, where))
    if "http://" in text or "https://" in text or "@import" in text or "@font-face" in text:
        errors.append("the page names an outside resource")
    if checker.counts.get("svg", 0) != charts:
        errors.append("%d charts drawn, %d expected" % (checker.counts.get("svg", 0), charts))
    failures += ["%s: %s" % (path, error) for error in errors]


def main():
    tool, rats = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        edge = os.path.join(work, "edge.txt")
        with open(edge, "w") as f:
            f.write(EDGE_DATA)
        pages = [
            ([rats, os.path.join(work, "rats.html")], 4),
            ([rats, os.path.join(work, "rats-threshold.html"), "--threshold", "0.15"], 4),
            # Unit 6 (no posterior) and, under me, unit 2 draw no shrinkage.
            ([edge, os.path.join(work, "edge.html")], 10),
            ([edge, os.path.join(work, "edge-me.html"), "--estimator", "me", "--level", "0.5"], 10),
            ([edge, os.path.join(work, "edge-two.html"), "--max-groups", "2"], 8),
        ]
        rates = os.path.join(work, "rates.csv")
        with open(rates, "w") as f:
            f.write(RATE_DATA)
        rate_options = ["--model", "poisson", "--group", "group", "--id", "area",
                        "--count", "deaths"]
        pages += [
            ([rates, os.path.join(work, "rates.html")] + rate_options +
             ["--expected", "expected"], 4),
            ([rates, os.path.join(work, "rates-me.html")] + rate_options +
             ["--exposure", "expected", "--per", "1000", "--estimator", "me"], 4),
        ]
        for args, charts in pages:
            run(tool, args)
            check_page(args[1], charts, failures)
        with open(os.path.join(work, "edge.html"), encoding="utf-8") as f:
            text = f.read()
        for needed in ["MLE of Alpha : *** ", "(a safeguarded search", "<b>Not smoothed:</b>",
                       "All 3 regions have the same proportion",
                       "Data1 &gt; Data2: not a binomial count",
                       "no posterior under the group's fit", "1 region above 100% is not drawn"]:
            if needed not in text:
                failures.append("edge.html does not say %r" % needed)
        with open(os.path.join(work, "rates.html"), encoding="utf-8") as f:
            text = f.read()
        for needed in ["<b>Not smoothed:</b>", "All 3 regions have the same SMR",
                       "All 2 regions have the same SMR. No events in the group: complete "
                       "pooling", "reference SMR 1"]:
            if needed not in text:
                failures.append("rates.html does not say %r" % needed)
    return finish(failures, "all pages well-formed")


if __name__ == "__main__":
    sys.exit(main())
