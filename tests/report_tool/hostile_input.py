"""End to end: data as people and other programs really write them, one
table per rule of the reader.

Accepted forms (gzip, other delimiters, signs, R's unnamed row-name column,
kept columns, rows without a group) are checked against the run of a plain
comma-separated file holding the same records: the estimates must be the
same bytes, so no number here comes from the program. Refused forms are
checked for their status and the whole of their message, and for leaving
no file behind.

Usage: python3 hostile_input.py PROGRAM
"""
import csv
import gzip
import io
import os
import subprocess
import sys
import tempfile

from report_check import finish

PROGRAM = sys.argv[1]
ESTIMATES = ["x", "n", "raw", "eb_me", "eb", "lower", "upper", "prior"]
COLUMNS = ["--count", "x", "--size", "n", "--group", "g"]

# Two groups of five, interleaved; each fits (no group is degenerate).
RECORDS = [  # group, id, x, n
    ("a", "r1", 12, 100), ("b", "r2", 3, 40), ("a", "r3", 30, 120), ("b", "r4", 9, 45),
    ("a", "r5", 5, 90), ("b", "r6", 1, 30), ("a", "r7", 22, 110), ("b", "r8", 6, 50),
    ("a", "r9", 9, 70), ("b", "r10", 4, 35),
]

failures = []
# What a build without zlib says of gzip data instead of reading them.
NO_ZLIB = b"it is gzip data, and this propsmooth-report was built without zlib"


def check(condition, what):
    if not condition:
        failures.append(what)


def run(args, folder, stdin=b""):
    return subprocess.run([PROGRAM] + args, cwd=folder, input=stdin, capture_output=True)


def plain(records=RECORDS, delimiter=",", header=("g", "id", "x", "n")):
    out = io.StringIO()
    writer = csv.writer(out, delimiter=delimiter, lineterminator="\n")
    writer.writerow(header)
    writer.writerows(records)
    return out.getvalue().encode()


def table(stdout):
    """The CSV table's rows as dicts."""
    return list(csv.DictReader(io.StringIO(stdout.decode())))


def estimates(rows):
    return [[row[c] for c in ESTIMATES] for row in rows]


def reference(folder, records=RECORDS, extra=()):
    result = run(["-", "--format", "csv", "--csv", "-", "--id", "id"] + COLUMNS + list(extra),
                 folder, plain(records))
    check(result.returncode == 0, f"reference run: {result.stderr!r}")
    return table(result.stdout)


def accepted_forms(folder):
    """Each row: a name, the input bytes, the arguments (the data file
    first), and the records whose plain run must give the same estimates."""
    gz = gzip.compress(plain())
    with open(os.path.join(folder, "data.csv.gz"), "wb") as f:
        f.write(gz)
    # R's write.csv2: semicolons, and a decimal comma in a column of doubles.
    csv2 = "g;id;x;n\n" + "".join(f"{g};{i};{x},0;{n}\n" for g, i, x, n in RECORDS)
    signed = "g,id,x,n\n" + "".join(
        f"{g},{i},{'+' if k % 2 else ''}{x},+{n}\n" for k, (g, i, x, n) in enumerate(RECORDS))
    # R's write.csv: the row names' column has an empty name.
    rnames = '"","g","x","n"\n' + "".join(f'"{i}","{g}",{x},{n}\n' for g, i, x, n in RECORDS)
    concatenated = gzip.compress(plain()[:40]) + gzip.compress(plain()[40:])
    return [
        ("gzip file", b"", ["data.csv.gz"]),
        ("gzip on standard input", gz, ["-"]),
        ("gzip in two members", concatenated, ["-", "--format", "csv"]),
        ("semicolons found", csv2.encode(), ["-"]),
        ("vertical bars asked for", plain(delimiter="|"), ["-", "--delimiter", "|"]),
        ("tabs asked for", plain(delimiter="\t"), ["-", "--delimiter", "tab"]),
        ("signs", signed.encode(), ["-"]),
        ("R row names", rnames.encode(), ["-", "--id", "field 1"]),
    ]


def check_accepted(folder):
    expected = reference(folder)
    for name, data, args in accepted_forms(folder):
        id_args = [] if "--id" in args else ["--id", "id"]
        result = run(args + ["--csv", "-"] + COLUMNS + id_args, folder, data)
        if "gzip" in name and NO_ZLIB in result.stderr:
            continue
        if result.returncode != 0:
            check(False, f"{name}: status {result.returncode} {result.stderr!r}")
            continue
        rows = table(result.stdout)
        check(estimates(rows) == estimates(expected), f"{name}: estimates differ")
        check([(r["group"], r["id"]) for r in rows] == [(r["group"], r["id"]) for r in expected],
              f"{name}: labels differ")


def check_kept(folder):
    """Kept columns come after the estimates, as text, quoted where needed."""
    odd = ['plain', 'a, comma', 'a "quote"', 'line\nbreak', '007', '', 'NA', 'x', 'é', '+1']
    records = [r + (odd[k],) for k, r in enumerate(RECORDS)]
    data = plain(records, header=("g", "id", "x", "n", "note"))
    expected = reference(folder)
    for args, names in ((["--keep", "note,id_"], ["note", "id_"]), (["--keep-all", "--id", "id"], ["note"])):
        result = run(["-", "--format", "csv", "--csv", "-"] + COLUMNS + args, folder,
                     data.replace(b",id,", b",id_,") if "id_" in names else data)
        if result.returncode != 0:
            check(False, f"keep {args}: {result.stderr!r}")
            continue
        rows = list(csv.reader(io.StringIO(result.stdout.decode(), newline="")))
        check(rows[0][-len(names):] == names, f"keep {args}: header {rows[0]!r}")
        check(rows[0][:len(rows[0]) - len(names)] == list(expected[0].keys()),
              f"keep {args}: the table's own columns moved")
        got = [row[len(rows[0]) - len(names)] for row in rows[1:]]
        check(got == odd, f"keep {args}: kept {got!r}")
        check([row[2:10] for row in rows[1:]] == estimates(expected), f"keep {args}: estimates")


def check_missing_groups(folder):
    holes = list(RECORDS)
    holes[2] = ("", "r3", 30, 120)
    holes[7] = ("NA", "r8", 6, 50)
    data = plain(holes)
    skip = run(["-", "--format", "csv", "--csv", "-", "--id", "id", "--missing-group", "skip"]
               + COLUMNS, folder, data)
    kept = [r for r in holes if r[0] not in ("", "NA")]
    check(skip.returncode == 0 and estimates(table(skip.stdout)) == estimates(
        reference(folder, kept)), f"skip: {skip.stderr!r}")
    check(b"rows left out for want of a group: 2" in skip.stderr, f"skip console {skip.stderr!r}")
    own = run(["-", "--format", "csv", "--csv", "-", "--id", "id", "--missing-group",
               "own-group"] + COLUMNS, folder, data)
    # The two rows form a third group, as if they had a label of their own.
    relabelled = [("zz",) + r[1:] if r[0] in ("", "NA") else r for r in holes]
    rows = table(own.stdout)
    check(own.returncode == 0 and estimates(rows) == estimates(reference(folder, relabelled)),
          f"own-group: {own.stderr!r}")
    check([r["group"] for r in rows][2:8:5] == ["", ""], "own-group: its label is not empty")


# Each row: a name, the input, extra arguments, the status and the message
# (the end of standard error).
REFUSED = [
    ("a stray comma", b"g,x,n\na,1,000,5\n", [], 2,
     "standard input line 2 has 4 fields, the header 3; a value with a comma in it must be in "
     "double quotes\n"),
    ("too few fields", b"g,x,n\na,1,5\nb,2\n", [], 2,
     "standard input line 3 has 2 fields, the header 3; every row has a value, if only an "
     "empty one, for each column\n"),
    ("a stray semicolon", b"g;x;n\na;1;2;5\n", [], 2,
     "standard input line 2 has 4 fields, the header 3; a value with a semicolon in it must "
     "be in double quotes\n"),
    # Where the comma is the decimal mark, the point may group thousands.
    ("a thousand, grouped", b"g;x;n\na;1;1.000\n", [], 2,
     'standard input line 2, column n: "1.000" is not a whole number >= 1\n'),
    ("a missing group", b"g,x,n\na,1,5\nNA,2,5\n", [], 2,
     'standard input line 3, column g: "NA" is no group; give the row its group, or leave '
     "such rows out with --missing-group skip or gather them with --missing-group own-group\n"),
    ("a group not in UTF-8", b"g,x,n\na,1,5\nZ\xfcrich,2,5\n", [], 2,
     'standard input line 3, column g: "Z\\xFCrich" is not UTF-8 text (byte 2 is \\xFC); '
     "save the data as UTF-8\n"),
    ("an escape sequence", b"g,x,n\na,1\x1b[2J,5\n", [], 2,
     'standard input line 2, column x: "1\\x1B[2J" is not a whole number >= 0\n'),
    ("a C1 control", "g,x,n\na,1\u009b,5\n".encode(), [], 2,
     'standard input line 2, column x: "1\\xC2\\x9B" is not a whole number >= 0\n'),
    ("a NUL", b"g,x,n\na\x00b,1,5\n", ["--id", "g"], 2,
     None),  # accepted as text: checked below to be kept, not cut at the NUL
    ("a cut gzip file", gzip.compress(b"g,x,n\n" + b"a,1,5\n" * 50)[:-12], [], 2,
     "standard input: the gzip data end early: the file is cut short\n"),
    ("a sign twice", b"g,x,n\na,+-1,5\n", [], 2,
     'standard input line 2, column x: "+-1" is not a whole number >= 0\n'),
    ("-0 is 0, a size of 0 is refused", b"g,x,n\na,-0,-0\n", [], 1,
     'standard input line 2, column n: "-0" is below 1; a size is a whole number >= 1\n'),
    ("a kept name the table has", b"g,x,n,raw\na,1,5,z\n", ["--keep-all"], 1,
     'standard input line 1: column "raw" cannot be kept: the CSV table has a column of that '
     "name; rename it in the data, or keep the columns you need with --keep\n"),
]


def check_refused(folder):
    for name, data, args, status, message in REFUSED:
        before = set(os.listdir(folder))
        result = run(["-", "--format", "csv", "--csv", "out.csv", "--count", "x", "--size", "n",
                      "--group", "g"] + args, folder, data)
        console = result.stderr.decode("utf-8", "replace")
        if "gzip" in name and NO_ZLIB.decode() in console:
            continue
        if message is None:
            check(result.returncode == 0, f"{name}: status {result.returncode} {console!r}")
            with open(os.path.join(folder, "out.csv"), "rb") as f:
                check(b"a\x00b" in f.read(), f"{name}: the label is not kept whole")
            os.remove(os.path.join(folder, "out.csv"))
            continue
        check(result.returncode == status, f"{name}: status {result.returncode}, not {status}")
        check(console.endswith(message), f"{name}: console {console!r}")
        check(set(os.listdir(folder)) == before, f"{name}: a file was written")


def main():
    with tempfile.TemporaryDirectory() as folder:
        check_accepted(folder)
        check_kept(folder)
        check_missing_groups(folder)
        check_refused(folder)
    return finish(failures, "every hostile input is read or refused as it should be")


if __name__ == "__main__":
    sys.exit(main())
