"""Shared by the table-reading tests: runs the program on the examples and
reads its table as plain text."""
import os
import subprocess

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


def records(data_path):
    """The data file's records as lists of four ints, read independently."""
    with open(data_path) as f:
        numbers = [int(word) for word in f.read().split()]
    assert len(numbers) % 4 == 0, data_path
    return [numbers[i:i + 4] for i in range(0, len(numbers), 4)]


def make_tables(program, examples, folder):
    """Runs the program on rats.txt and on PER_UNIT_DATA in `folder`;
    returns [(data path, table path)]."""
    per_unit = os.path.join(folder, "units-with-failure.txt")
    with open(per_unit, "w") as f:
        f.write(PER_UNIT_DATA)
    runs = []
    for data in (os.path.join(examples, "rats.txt"), per_unit):
        table = os.path.join(folder, os.path.basename(data) + ".tsv")
        subprocess.run([program, data, table], check=True, capture_output=True)
        runs.append((data, table))
    return runs


def text_rows(table_path):
    """The table's lines split at tabs, read as bytes: the ground truth."""
    with open(table_path, "rb") as f:
        content = f.read()
    assert content.endswith(b"\r\n"), "the table must end with CR LF"
    lines = content[:-2].split(b"\r\n")
    assert all(b"\n" not in line and b"\r" not in line for line in lines), \
        "every line must end with CR LF"
    return [line.decode("ascii").split("\t") for line in lines]
