"""The result table read by R's read.delim gives the header names and the
numbers of the table's text; "***" reads as NA.

Usage: python3 table_r.py PROGRAM EXAMPLES_DIR
"""
import shutil
import subprocess
import sys
import tempfile

from table_common import HEADER, make_tables, text_rows

PROGRAM, EXAMPLES = sys.argv[1], sys.argv[2]

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


def main():
    rscript = shutil.which("Rscript")
    if rscript is None:
        print("SKIPPED: R is not installed (Debian package r-base-core); "
              "read.delim not tried")
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for _, table_path in make_tables(PROGRAM, EXAMPLES, folder):
            text = text_rows(table_path)
            expected = HEADER + ["integer"] * 4 + ["numeric"] * 3
            for row in text[1:]:
                expected += ["NA" if field == "***" else field for field in row]
            run = subprocess.run([rscript, "-e", R_SCRIPT, table_path],
                                 capture_output=True, text=True)
            if run.returncode != 0:
                failures.append(f"Rscript failed on {table_path}: {run.stderr}")
                continue
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
    for failure in failures:
        print("FAIL:", failure)
    print("read.delim read the header and every number as written")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
