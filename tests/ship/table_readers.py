"""The result table read by other tools gives the header names and the
numbers of the table's text: Python's csv module (and pandas, when it is
installed), or R's read.delim, "***" read as NA by both of the latter.

Usage: python3 table_readers.py PROGRAM EXAMPLES_DIR python|r
Exit 77 (skipped) for r when R is not installed.
"""
import csv
import math
import os
import shutil
import subprocess
import sys
import tempfile

PROGRAM, EXAMPLES, READER = sys.argv[1:4]
HEADER = ["Unit", "Code", "Data1", "Data2", "Proportion(%)",
          "EB-Prop(ME)(%)", "EB-Prop(MLE)(%)"]

# Unit 4 fits; unit 2's proportions are more spread than a beta
# distribution allows, so its fit fails and its rows end in "***".
PER_UNIT_DATA = """\
4 1 12 100
4 2 30 120
2 7 0 10
4 3 5 90
2 8 10 10
2 9 1 10
4 4 22 110
2 10 9 10
4 5 9 70
"""

# Prints the column names, the column classes, then every cell: integers
# with %d, numbers with six decimals, NA as NA; one cell per line.
R_SCRIPT = r"""
d <- read.delim(commandArgs(TRUE)[1], check.names = FALSE, na.strings = "***")
cat(names(d), sep = "\n")
cat(vapply(d, function(x) class(x)[1], ""), sep = "\n")
for (i in seq_len(nrow(d))) for (j in seq_along(d)) {
  x <- d[[j]][i]
  cat(if (is.na(x)) "NA" else if (j <= 4) sprintf("%d", x) else sprintf("%.6f", x), "\n", sep = "")
}
"""


def text_rows(table_path):
    """The table's lines split at tabs, read as bytes: the ground truth."""
    with open(table_path, "rb") as f:
        content = f.read()
    assert content.endswith(b"\r\n"), "the table must end with CR LF"
    lines = content[:-2].split(b"\r\n")
    assert all(b"\n" not in line and b"\r" not in line for line in lines), \
        "every line must end with CR LF"
    return [line.decode("ascii").split("\t") for line in lines]


def check_text(data_path, text, where, failures):
    """The table's text against the data file's records, read here."""
    with open(data_path) as f:
        numbers = [int(word) for word in f.read().split()]
    records = [numbers[i:i + 4] for i in range(0, len(numbers), 4)]
    body = text[1:]
    if len(body) != len(records):
        failures.append(f"{where}: {len(body)} rows for {len(records)} records")
    for number, (row, record) in enumerate(zip(body, records), start=1):
        if [int(field) for field in row[:4]] != record:
            failures.append(f"{where} row {number}: {row[:4]} is not the record {record}")
        x, n = record[2], record[3]
        # The raw proportion, computed here from the counts: one double
        # division and one multiplication by 100, printed to six decimals.
        if row[4] != "%.6f" % (100.0 * (x / n)):
            failures.append(f"{where} row {number}: Proportion(%) {row[4]} for {x}/{n}")
        for column, field in zip(HEADER[4:], row[4:]):
            if field == "***" and column == HEADER[6]:
                continue
            value = float(field)
            if not math.isfinite(value) or "%.6f" % value != field:
                failures.append(f"{where} row {number}: {column} {field!r} reads as {value!r}")
    if data_path.endswith("units-with-failure.txt"):
        # Unit 2 fails and unit 4 fits: the stars are exactly unit 2's rows.
        stars = [row for row in body if row[6] == "***"]
        if sorted(row[1] for row in stars) != ["10", "7", "8", "9"]:
            failures.append(f"*** rows are {stars!r}, expected unit 2's four")


def check_python(table_path, text, failures):
    # newline="" lets csv see the CR LF line ends itself.
    with open(table_path, newline="") as f:
        rows = list(csv.reader(f, delimiter="\t"))
    with open(table_path, newline="") as f:
        keyed = list(csv.DictReader(f, delimiter="\t"))
    if list(keyed[0].keys()) != HEADER:
        failures.append(f"{table_path}: DictReader keys {list(keyed[0].keys())!r}")
    if rows != text:
        failures.append(f"{table_path}: csv rows differ from the text split at tabs")
    try:
        import pandas  # noqa: F401 (optional)
    except ImportError:
        print("pandas not installed: pandas.read_csv not tried")
        return
    frame = pandas.read_csv(table_path, sep="\t", na_values=["***"])
    if list(frame.columns) != HEADER:
        failures.append(f"pandas columns {list(frame.columns)!r}")
    for number, row in enumerate(text[1:]):
        for column, field in zip(HEADER, row):
            value = frame[column].iloc[number]
            ok = pandas.isna(value) if field == "***" else float(value) == float(field)
            if not ok:
                failures.append(f"pandas row {number + 1} {column}: {value!r} for {field!r}")


def check_r(rscript, table_path, text, failures):
    expected = HEADER + ["integer"] * 4 + ["numeric"] * 3
    for row in text[1:]:
        expected += ["NA" if field == "***" else field for field in row]
    run = subprocess.run([rscript, "-e", R_SCRIPT, table_path], capture_output=True, text=True)
    if run.returncode != 0:
        failures.append(f"Rscript failed on {table_path}: {run.stderr}")
        return
    got = run.stdout.split("\n")[:-1]
    if got[:7] != HEADER:
        failures.append(f"{table_path}: R names {got[:7]!r}")
    if got[7:14] != expected[7:14]:
        failures.append(f"{table_path}: R column classes {got[7:14]!r}")
    if len(got) != len(expected):
        failures.append(f"{table_path}: R gave {len(got)} lines, expected {len(expected)}")
    for index, (g, e) in enumerate(zip(got[14:], expected[14:])):
        if g != e:
            row, column = divmod(index, 7)
            failures.append(f"{table_path} row {row + 1} {HEADER[column]}: R {g!r}, text {e!r}")
            break


def main():
    if READER == "r":
        rscript = shutil.which("Rscript")
        if rscript is None:
            print("SKIPPED: R is not installed (Debian package r-base-core); "
                  "read.delim not tried")
            return 77

        def check(table_path, text, failures):
            check_r(rscript, table_path, text, failures)
    else:
        check = check_python
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        per_unit = os.path.join(folder, "units-with-failure.txt")
        with open(per_unit, "w") as f:
            f.write(PER_UNIT_DATA)
        for data_path in (os.path.join(EXAMPLES, "rats.txt"), per_unit):
            table_path = os.path.join(folder, os.path.basename(data_path) + ".tsv")
            subprocess.run([PROGRAM, data_path, table_path], check=True, capture_output=True)
            text = text_rows(table_path)
            if text[0] != HEADER:
                failures.append(f"{table_path}: header {text[0]!r}")
            check_text(data_path, text, table_path, failures)
            check(table_path, text, failures)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{READER} read the header and every number as written")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
