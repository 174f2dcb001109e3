"""The CSV table read by pandas.read_csv or R's read.csv with no option:
every numeric column numeric, every value the one the text holds. With the
options the manual page gives, group and id read as the very text, "01" and
"NA" included. A second table, whose id column is empty throughout, reads
with numeric columns all the same.

Usage: python3 csv_table_readers.py PROGRAM pandas|r
Exit 77 (skipped) when pandas, or R, is not installed.
"""
import csv
import io
import math
import os
import shutil
import subprocess
import sys
import tempfile

from report_check import finish, run

PROGRAM, READER = sys.argv[1], sys.argv[2]
NUMERIC = ["x", "n", "raw", "eb_me", "eb", "lower", "upper"]
INTEGER = ["x", "n"]

# Labels both readers would turn into a number or a missing value; state
# "NA" is no group to propsmooth-report either, and with --missing-group
# own-group its rows form one group whose label is empty. That group has
# every count 0 or its size (no pooling: no prior at all), so its eb, lower
# and upper are empty.
ROWS = [  # region, cases, pop, state
    ("01", 12, 100, "01"),
    ("NA", 30, 120, "01"),
    ("", 0, 10, "NA"),
    ("Adams, OH", 5, 90, "01"),
    ("Dane  Co", 10, 10, "NA"),
    ('say "hi"', 22, 110, "01"),
    ("x", 0, 10, "NA"),
    ("y", 9, 70, "01"),
]


LABELS = ["--group", "state", "--id", "region", "--missing-group", "own-group"]


def csv_text(rows):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(["region", "cases", "pop", "state"])
    writer.writerows(rows)
    return out.getvalue()


def table(folder, name, data, columns):
    data_path = os.path.join(folder, name + ".data.csv")
    with open(data_path, "w", newline="") as f:
        f.write(data)
    out = os.path.join(folder, name + ".csv")
    run(PROGRAM, [data_path, "--csv", out, "--count", "cases", "--size", "pop"] + columns)
    with open(out, newline="") as f:
        rows = list(csv.reader(f))
    return out, rows[0], rows[1:]


def check_pandas(path, header, body, failures):
    import pandas
    plain = pandas.read_csv(path)
    # pandas' own fast parser may miss the written double in the last
    # digits (by 5 ulps, seen with pandas 1.5); its round_trip parser reads
    # each value exactly.
    exact = pandas.read_csv(path, float_precision="round_trip")
    for column in NUMERIC:
        kind = plain[column].dtype.kind
        if kind not in ("i" if column in INTEGER else "f"):
            failures.append(f"{path}: pandas reads {column} as {plain[column].dtype}")
    for number, row in enumerate(body):
        for column in NUMERIC:
            text = row[header.index(column)]
            value = plain[column].iloc[number]
            exact_value = exact[column].iloc[number]
            if text == "":
                ok = pandas.isna(value) and pandas.isna(exact_value)
            else:
                written = float(text)
                ok = (math.isclose(float(value), written, rel_tol=1e-14)
                      and float(exact_value) == written)
            if not ok:
                failures.append(f"{path} row {number + 1} {column}: {value!r}, "
                                f"{exact_value!r} for {text!r}")
    as_text = pandas.read_csv(path, converters={"group": str, "id": str})
    for column in ("group", "id"):
        got = list(as_text[column])
        want = [row[header.index(column)] for row in body]
        if got != want:
            failures.append(f"{path}: pandas {column} as text {got!r}, not {want!r}")


R_SCRIPT = r"""
path <- commandArgs(TRUE)[1]
plain <- read.csv(path)
cat(vapply(plain, function(x) class(x)[1], ""), sep = "\n")
for (column in c("x", "n", "raw", "eb_me", "eb", "lower", "upper"))
  cat(ifelse(is.na(plain[[column]]), "NA", sprintf("%.17g", plain[[column]])), sep = "\n")
as_text <- read.csv(path, colClasses = c(group = "character", id = "character"),
                    na.strings = character(0))
for (column in c("group", "id")) cat(sprintf("[%s]", as_text[[column]]), sep = "\n")
"""


def check_r(rscript, path, header, body, failures):
    run = subprocess.run([rscript, "-e", R_SCRIPT, path], capture_output=True, text=True)
    if run.returncode != 0:
        failures.append(f"Rscript failed on {path}: {run.stderr}")
        return
    lines = run.stdout.split("\n")[:-1]
    classes = dict(zip(header, lines[:len(header)]))
    for column in NUMERIC:
        want = "integer" if column in INTEGER else "numeric"
        if classes.get(column) != want:
            failures.append(f"{path}: R reads {column} as {classes.get(column)}")
    at = len(header)
    for column in NUMERIC:
        for number, row in enumerate(body):
            text = row[header.index(column)]
            got = lines[at]
            at += 1
            ok = got == "NA" if text == "" else got != "NA" and float(got) == float(text)
            if not ok:
                failures.append(f"{path} row {number + 1} {column}: R {got!r} for {text!r}")
    for column in ("group", "id"):
        got = lines[at:at + len(body)]
        at += len(body)
        want = [f"[{row[header.index(column)]}]" for row in body]
        if got != want:
            failures.append(f"{path}: R {column} as text {got!r}, not {want!r}")


def main():
    if READER == "pandas":
        try:
            import pandas  # noqa: F401 (only where it is installed)
        except ImportError:
            print(f"SKIPPED: pandas is not installed for {sys.executable} "
                  "(Debian: python3-pandas); pandas.read_csv not tried")
            return 77
        check = check_pandas
    else:
        rscript = shutil.which("Rscript")
        if rscript is None:
            print("SKIPPED: R is not installed (Debian: r-base-core); read.csv not tried")
            return 77

        def check(path, header, body, failures):
            check_r(rscript, path, header, body, failures)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        labelled = table(folder, "labelled", csv_text(ROWS),
                         LABELS)
        if [row[1] for row in labelled[2]] != [row[0] for row in ROWS]:
            failures.append(f"the table's ids are {labelled[2]!r}")
        if not any(row[6] == "" for row in labelled[2]):
            failures.append("no empty eb to read")
        # Every id empty: the column stays, with nothing in it.
        empty = table(folder, "empty-ids", csv_text([("",) + row[1:] for row in ROWS]),
                      LABELS)
        if any(row[1] != "" for row in empty[2]):
            failures.append(f"ids not empty throughout: {empty[2]!r}")
        for path, header, body in (labelled, empty):
            check(path, header, body, failures)
    return finish(failures, f"{READER} read every numeric column as numeric, and group and id "
                  "as text")


if __name__ == "__main__":
    sys.exit(main())
