"""The result table read with Python's csv module (and pandas, when it is
installed) gives the header names and numbers of the table's text.

Usage: python3 table_python.py PROGRAM EXAMPLES_DIR
"""
import csv
import math
import sys
import tempfile

from table_common import HEADER, make_tables, records, text_rows

PROGRAM, EXAMPLES = sys.argv[1], sys.argv[2]


def check_table(data_path, table_path, failures):
    expected_records = records(data_path)
    text = text_rows(table_path)
    # newline="" lets csv see the CR LF line ends itself.
    with open(table_path, newline="") as f:
        rows = list(csv.reader(f, delimiter="\t"))
    with open(table_path, newline="") as f:
        keyed = list(csv.DictReader(f, delimiter="\t"))
    where = table_path
    if rows[0] != HEADER:
        failures.append(f"{where}: header read as {rows[0]!r}")
    if list(keyed[0].keys()) != HEADER:
        failures.append(f"{where}: DictReader keys {list(keyed[0].keys())!r}")
    if rows != text:
        failures.append(f"{where}: csv rows differ from the text split at tabs")
    body = rows[1:]
    if len(body) != len(expected_records):
        failures.append(f"{where}: {len(body)} rows for {len(expected_records)} records")
    for number, (row, record) in enumerate(zip(body, expected_records), start=1):
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
    return body


def check_pandas(table_path, body, failures):
    try:
        import pandas  # noqa: F401 (optional)
    except ImportError:
        print("pandas not installed: pandas.read_csv not tried")
        return
    frame = pandas.read_csv(table_path, sep="\t", na_values=["***"])
    if list(frame.columns) != HEADER:
        failures.append(f"pandas columns {list(frame.columns)!r}")
    for number, row in enumerate(body):
        for column, field in zip(HEADER, row):
            value = frame[column].iloc[number]
            if field == "***":
                ok = pandas.isna(value)
            else:
                ok = float(value) == float(field)
            if not ok:
                failures.append(f"pandas row {number + 1} {column}: {value!r} for {field!r}")


def main():
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for data_path, table_path in make_tables(PROGRAM, EXAMPLES, folder):
            body = check_table(data_path, table_path, failures)
            stars = [row for row in body if row[6] == "***"]
            if data_path.endswith("units-with-failure.txt"):
                # Unit 2 fails and unit 4 fits: the stars are exactly unit 2's rows.
                if sorted(row[1] for row in stars) != ["10", "7", "8", "9"]:
                    failures.append(f"*** rows are {stars!r}, expected unit 2's four")
            check_pandas(table_path, body, failures)
    for failure in failures:
        print("FAIL:", failure)
    print("csv.reader and csv.DictReader read the header and every number as written")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
