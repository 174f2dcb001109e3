#!/usr/bin/env python3
"""The page and the CSV table show one posterior per record.

Usage: page_matches_csv.py TOOL UNITS_DATA RATS_DATA

Runs propsmooth-report once per case, writing the page and the CSV table
together, reads every region table of the page and every group's "Prior
used" in the index, and compares them record by record with the CSV: the
EB proportion, the interval's bounds, P(rate > threshold), the PEP and the
q-value, each as the page prints it from the CSV's full-precision value:
percent to two decimals, or within 1% of 0% or 100% to three significant
digits of the distance to it (at most eight decimals); the tail figures to
three significant digits.
The CSV's reading is the independent one here: it is written with the
fewest digits that read back as the same double, so formatting it as the
page does must give the page's very text.
"""
import csv
import html.parser
import math
import os
import sys
import tempfile

from report_check import finish, run

DASH = "\u2014"

# Options, and the groups that must be drawn: units.txt's unit 40 is the
# record where the page once showed the moment prior's interval beside the
# safeguarded prior's P(>t); rats.txt is one group of 70 rats.
CASES = [
    ("units", ["-A12.3", "-B13.0", "-E0.005", "-L10", "--threshold", "0.2"]),
    ("units-me", ["--estimator", "me", "--threshold", "0.2", "--level", "0.9"]),
    ("rats", ["--threshold", "0.15"]),
]


class PageTables(html.parser.HTMLParser):
    """The region tables, by group title, and the index's rows by title."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.title = None      # of the section being read
        self.title_parts = None
        self.in_small = False
        self.table = None      # "regions", "index" or another table's class
        self.in_head = False
        self.headers = []      # of the table being read
        self.row = None
        self.cell = None
        self.regions = {}      # group title -> list of {header: text}
        self.index = {}        # group title -> {header: text}

    def handle_starttag(self, tag, attrs):
        if tag == "h2":
            self.title_parts = []
        elif tag == "small":
            self.in_small = True
        elif tag == "table":
            self.table = dict(attrs).get("class")
        elif tag == "thead":
            self.in_head = True
        elif tag == "tr" and self.table:
            self.row = []
        elif tag in ("td", "th") and self.row is not None:
            self.cell = []

    def handle_endtag(self, tag):
        if tag == "h2":
            self.title = "".join(self.title_parts).strip()
            self.title_parts = None
        elif tag == "small":
            self.in_small = False
        elif tag == "thead":
            self.in_head = False
        elif tag in ("td", "th") and self.cell is not None:
            self.row.append("".join(self.cell).strip())
            self.cell = None
        elif tag == "tr" and self.row is not None:
            row, self.row = self.row, None
            if self.in_head:
                self.headers = row
            elif self.table == "regions":
                self.regions.setdefault(self.title, []).append(dict(zip(self.headers, row)))
            elif self.table == "index":
                record = dict(zip(self.headers, row))
                self.index[record["Group"]] = record
        elif tag == "table":
            self.table = None

    def handle_data(self, data):
        if self.title_parts is not None and not self.in_small:
            self.title_parts.append(data)
        if self.cell is not None:
            self.cell.append(data)


def percent_text(cell):
    if cell == "":
        return DASH
    percent = 100.0 * float(cell)
    edge = min(abs(percent), abs(100.0 - percent))
    decimals = 2
    if 0.0 < edge < 1.0:
        decimals = min(8, 2 - math.floor(math.log10(edge)))
    text = "%.*f" % (decimals, percent)
    # The page drops the sign of a value that rounds to zero.
    return text.lstrip("-") if float(text) == 0.0 else text


def significant_text(cell):
    return DASH if cell == "" else "%.3g" % float(cell)


def group_title(row):
    # The page heads four-number data by Unit, one group of all records as
    # "All records" (the CSV's group is then empty).
    return "Unit " + row["group"] if row["group"] else "All records"


def compare(name, page, rows):
    """The differences between the page's tables and the CSV's rows."""
    errors = []
    seen = {}
    for row in rows:
        title = group_title(row)
        table = page.regions.get(title)
        if table is None:
            errors.append("%s: no region table for %s" % (name, title))
            continue
        k = seen.get(title, 0)
        seen[title] = k + 1
        if k >= len(table):
            errors.append("%s: %s has %d rows, the CSV more" % (name, title, len(table)))
            continue
        cells = table[k]
        eb_header = [h for h in cells if h.startswith("EB") and h != "EB ME (%)"]
        lower = [h for h in cells if h.endswith("lower (%)")]
        upper = [h for h in cells if h.endswith("upper (%)")]
        where = "%s: %s, code %s" % (name, title, row["id"])
        if cells.get("Code") != row["id"] or cells.get("Data1") != row["x"]:
            errors.append("%s: the page's row is code %s, x %s" % (where, cells.get("Code"),
                                                                   cells.get("Data1")))
            continue
        pairs = [("eb", cells[eb_header[0]], percent_text(row["eb"])),
                 ("lower", cells[lower[0]], percent_text(row["lower"])),
                 ("upper", cells[upper[0]], percent_text(row["upper"])),
                 ("p_exceed", cells["P(rate > threshold)"], significant_text(row["p_exceed"])),
                 ("pep", cells["PEP"], significant_text(row["pep"])),
                 ("q_value", cells["q-value"], significant_text(row["q_value"]))]
        for column, shown, expected in pairs:
            if shown != expected:
                errors.append("%s: %s is %s on the page, %s in the CSV"
                              % (where, column, shown, expected))
        prior = page.index[title]["Prior used"]
        if prior != (row["prior"] or "none"):
            errors.append("%s: the index's prior is %r, the CSV's %r" % (where, prior,
                                                                         row["prior"]))
    for title, table in page.regions.items():
        if seen.get(title, 0) != len(table):
            errors.append("%s: %s has %d rows on the page, %d in the CSV"
                          % (name, title, len(table), seen.get(title, 0)))
    return errors


def main():
    tool, units, rats = sys.argv[1:4]
    data = {"units": units, "units-me": units, "rats": rats}
    errors = []
    compared = 0
    with tempfile.TemporaryDirectory() as work:
        for name, options in CASES:
            page_path = os.path.join(work, name + ".html")
            csv_path = os.path.join(work, name + ".csv")
            run(tool, [data[name], page_path] + options + ["--csv", csv_path])
            page = PageTables()
            with open(page_path, encoding="utf-8") as f:
                page.feed(f.read())
            page.close()
            with open(csv_path, newline="", encoding="utf-8") as f:
                rows = list(csv.DictReader(f))
            errors += compare(name, page, rows)
            compared += len(rows)
    if compared == 0:
        errors.append("no record compared")
    return finish(errors, "%d records agree" % compared)


if __name__ == "__main__":
    sys.exit(main())
