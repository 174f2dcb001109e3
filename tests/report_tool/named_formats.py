"""End to end: the same records in the four-number format, as CSV and as
TSV, each run through propsmooth-report to a CSV table (one of them from
standard input to standard output); one refused file.

Every table is checked against the records themselves (x, n, the raw
proportion x/n as Python divides) and against the interval table (--tsv)
of the four-number run, whose six-decimal percentages each full-precision
value must round to. The three tables must agree on every number.

Usage: python3 named_formats.py PROGRAM
"""
import csv
import io
import os
import subprocess
import sys
import tempfile

from report_check import finish

PROGRAM = sys.argv[1]
HEADER = ["group", "id", "x", "n", "raw", "eb_me", "eb", "lower", "upper", "prior"]

# Group 4 fits; group 2 is more spread than propsmooth's moment estimators
# allow (the safeguarded search finds its maximum); group 7 is one region
# (no spread beyond binomial sampling: complete pooling). Rows of groups 4
# and 2 interleave.
RECORDS = [  # group, id, x, n
    ("4", "Adams, OH", 12, 100),
    ("4", "Brown", 30, 120),
    ("2", 'the "c"', 0, 10),
    ("4", "", 5, 90),
    ("2", "01", 10, 10),
    ("7", "NA", 3, 20),
    ("2", "Erie", 1, 10),
    ("4", "Ford", 22, 110),
    ("2", "Gage", 9, 10),
    ("4", "Hall", 9, 70),
]

EXPECTED_PRIOR = {"4": "newton", "2": "safeguarded", "7": "complete pooling"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(args, cwd, stdin=b""):
    return subprocess.run([PROGRAM] + args, cwd=cwd, input=stdin, capture_output=True)


def write(folder, name, text):
    with open(os.path.join(folder, name), "w", newline="") as f:
        f.write(text)


def delimited(delimiter):
    out = io.StringIO()
    writer = csv.writer(out, delimiter=delimiter, lineterminator="\r\n")
    writer.writerow(["group", "id", "x", "n"])
    writer.writerows(RECORDS)
    return out.getvalue()


def reference_rows(path):
    """The --tsv table of the four-number run, keyed by its Code."""
    with open(path, newline="") as f:
        rows = list(csv.reader(f, delimiter="\t"))
    return {int(row[1]): dict(zip(rows[0], row)) for row in rows[1:]}


def check_table(name, text, reference, legacy):
    check("\r" not in text, f"{name}: a CR in the table")
    rows = list(csv.reader(io.StringIO(text)))
    check(rows and rows[0] == HEADER, f"{name}: header {rows[:1]!r}")
    body = rows[1:]
    check(len(body) == len(RECORDS), f"{name}: {len(body)} rows")
    for code, (row, record) in enumerate(zip(body, RECORDS), start=1):
        where = f"{name} row {code}"
        group, ident, x, n = record
        cells = dict(zip(HEADER, row))
        expected_id = str(code) if legacy else ident
        check([cells["group"], cells["id"]] == [group, expected_id],
              f"{where}: group and id {row[:2]!r}")
        check([int(cells["x"]), int(cells["n"])] == [x, n], f"{where}: x, n {row[2:4]!r}")
        check(float(cells["raw"]) == x / n, f"{where}: raw {cells['raw']} for {x}/{n}")
        ref = reference[code]
        check("%.6f" % (100.0 * float(cells["eb_me"])) == ref["EB-Prop(ME)(%)"],
              f"{where}: eb_me {cells['eb_me']} against {ref['EB-Prop(ME)(%)']}")
        # The table's prior is the fit that does not give up; where that is
        # propsmooth's own Newton fit, eb and the interval are the TSV's.
        prior = cells["prior"]
        check(prior == EXPECTED_PRIOR[group], f"{where}: prior {prior!r} in group {group}")
        if prior != "newton":
            continue
        check(ref["Prior"] == "MLE", f"{where}: newton where the TSV has {ref['Prior']}")
        for column, ref_column in (("eb", "EB-Prop(MLE)(%)"), ("lower", "Lower(%)"),
                                   ("upper", "Upper(%)")):
            check("%.6f" % (100.0 * float(cells[column])) == ref[ref_column],
                  f"{where}: {column} {cells[column]} against {ref[ref_column]}")
    return [row[2:] for row in body]


def main():
    with tempfile.TemporaryDirectory() as folder:
        write(folder, "data.txt", "".join(
            f"{group} {code} {x} {n}\n" for code, (group, _, x, n) in enumerate(RECORDS, 1)))
        # A byte order mark, as spreadsheets write it.
        write(folder, "data.csv", "\ufeff" + delimited(","))
        write(folder, "data.tsv", delimited("\t"))
        columns = ["--count", "x", "--size", "n", "--group", "group", "--id", "id"]

        legacy = run(["data.txt", "--tsv", "ref.tsv", "--csv", "legacy.csv"], folder)
        check(legacy.returncode == 0, f"legacy run: {legacy.returncode} {legacy.stdout!r}")
        reference = reference_rows(os.path.join(folder, "ref.tsv"))
        with open(os.path.join(folder, "legacy.csv"), newline="") as f:
            numbers = [check_table("legacy", f.read(), reference, True)]

        with open(os.path.join(folder, "data.csv"), "rb") as f:
            piped = run(["-", "--format", "csv", "--csv", "-"] + columns, folder, f.read())
        check(piped.returncode == 0, f"csv run: {piped.returncode} {piped.stderr!r}")
        check(b" CsvFileName   : -\n" in piped.stderr, f"csv console {piped.stderr!r}")
        numbers.append(check_table("csv", piped.stdout.decode(), reference, False))

        tsv = run(["data.tsv", "--csv", "tsv.csv"] + columns, folder)
        check(tsv.returncode == 0 and tsv.stderr == b"", f"tsv run: {tsv.returncode} {tsv.stderr!r}")
        with open(os.path.join(folder, "tsv.csv"), newline="") as f:
            numbers.append(check_table("tsv", f.read(), reference, False))
        check(numbers[0] == numbers[1] == numbers[2], "the three tables' numbers differ")

        # A refusal reaches the console with its status, and nothing is
        # written (the reader's rules: tests/tabular/named_input_test.cc).
        write(folder, "bad.csv", 'x,n\r\n3,20\r\n"4",12.5\r\n')
        before = set(os.listdir(folder))
        refused = run(["bad.csv", "page.html", "--csv", "-", "--count", "x", "--size", "n"],
                      folder)
        check(refused.returncode == 2, f"bad.csv: status {refused.returncode}")
        check(refused.stderr.decode().endswith(
            'bad.csv line 3, column n: "12.5" is not a whole number >= 1\n'),
            f"bad.csv: {refused.stderr!r}")
        check(refused.stdout == b"", f"bad.csv: standard output {refused.stdout!r}")
        check(set(os.listdir(folder)) == before, "bad.csv: files written")

        # A table that cannot be written to standard output is a failed
        # file (3); a console that cannot be written, a failed console (5).
        if os.access("/dev/full", os.W_OK):
            with open("/dev/full", "wb") as full:
                lost = subprocess.run([PROGRAM, "data.csv", "--csv", "-"] + columns,
                                      cwd=folder, stdout=full, stderr=subprocess.PIPE)
                check(lost.returncode == 3 and b"standard output" in lost.stderr,
                      f"table to a full device: {lost.returncode} {lost.stderr!r}")
                mute = subprocess.run([PROGRAM, "data.csv", "--csv", "-"] + columns,
                                      cwd=folder, stdout=subprocess.PIPE, stderr=full)
                check(mute.returncode == 5 and mute.stdout.startswith(b"group,"),
                      f"console to a full device: {mute.returncode}")
    return finish(failures, "every table agrees")


if __name__ == "__main__":
    sys.exit(main())
