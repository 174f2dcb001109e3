"""What the module's tests share: the programs of the build folder (CTest
names them in the environment) and a reader of their files."""

import os
import pathlib
import re
import subprocess

import numpy as np
import pandas as pd
import pytest

EXAMPLES = pathlib.Path(os.environ.get("PROPSMOOTH_EXAMPLES",
                                       pathlib.Path(__file__).parents[2] / "examples"))


def _program(variable):
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        pytest.fail(f"{variable} does not name a built program (CTest sets it)")
    return path


@pytest.fixture(scope="session")
def program():
    return _program("PROPSMOOTH_PROGRAM")


@pytest.fixture(scope="session")
def report():
    return _program("PROPSMOOTH_REPORT")


def read_legacy(name):
    """An example's four numbers a record as a DataFrame."""
    values = np.loadtxt(EXAMPLES / name, dtype=np.int64, ndmin=2)
    return pd.DataFrame(values, columns=["unit", "code", "x", "n"])


_NUMBER = r"(-?[0-9.]+|\*\*\*)"


def read_log(path):
    """propsmooth's log: per group, in the log's order, the printed texts of
    its figures ("***" where the fit failed)."""
    groups = []
    for section in re.split(r"\nFor unit ", path.read_text()):
        found = {}
        for key, field in (("mean", "Mean of Proportion"), ("variance", "Variance of Proportion"),
                           ("alpha_me", "ME of Alpha"), ("beta_me", "ME of Beta"),
                           ("alpha", "MLE of Alpha"), ("beta", "MLE of Beta"),
                           ("iterations", "Iteration for convergence")):
            match = re.search(rf"^ {field} +: {_NUMBER}", section, re.M)
            if match:
                found[key] = match.group(1)
        errors = re.search(rf"Error of convergence : \{{{_NUMBER}, {_NUMBER}\}}", section)
        if errors:
            found["err_alpha"], found["err_beta"] = errors.groups()
        if found:
            unit = re.match(r"(-?\d+) \.", section)
            found["unit"] = int(unit.group(1)) if unit else None
            groups.append(found)
    return groups


# smooth's columns of doubles, which the CSV table writes in shortest
# round-trip form: read back, the same doubles.
FIGURES = ("raw", "eb_me", "eb", "lower", "upper", "p_exceed", "pep", "q_value")


def read_report_csv(path):
    """propsmooth-report's --csv table, every double as it was written."""
    return pd.read_csv(path, float_precision="round_trip",
                       dtype={"group": str, "id": str, "prior": str})


def assert_is_report_csv(smoothed, table, counted, labels):
    """smooth's DataFrame holds the values of the --csv `table` bit for bit:
    the `counted` columns (x and n, or x and the expected values), every
    figure (NaN where the table's cell is empty; the threshold's columns
    NaN where the table has none), prior and discovery; with `labels` the
    group and id as text."""
    assert len(smoothed) == len(table)
    for column in counted:
        np.testing.assert_array_equal(smoothed[column], table[column], err_msg=column)
    for column in FIGURES:
        mine = smoothed[column].to_numpy(dtype=float)
        theirs = table[column].to_numpy(dtype=float) if column in table else \
            np.full(len(table), np.nan)
        assert np.array_equal(mine, theirs, equal_nan=True), column
    assert smoothed.prior.fillna("").tolist() == table.prior.fillna("").tolist()
    if "discovery" in table:
        assert smoothed.discovery.astype(object).where(smoothed.discovery.notna(), None) \
            .tolist() == table.discovery.astype(object).where(table.discovery.notna(),
                                                              None).tolist()
    else:
        assert smoothed.discovery.isna().all()
    if labels:
        for column in ("group", "id"):
            assert _texts(smoothed[column]) == _texts(table[column]), column


def _texts(values):
    """Labels as the table shows them: missing ones empty."""
    return values.astype(object).where(values.notna(), "").tolist()


def run(args, cwd):
    finished = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True)
    assert finished.returncode == 0, finished.stdout + finished.stderr
    return finished
