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


def run(args, cwd):
    finished = subprocess.run([str(a) for a in args], cwd=cwd, capture_output=True, text=True)
    assert finished.returncode == 0, finished.stdout + finished.stderr
    return finished
