"""The module against the programs on the same data: propsmooth's log and
table (every figure printed "%.6f", compared as printed) and
propsmooth-report's CSV table (shortest round-trip numbers, compared bit
for bit). The module runs the programs' core, so nothing may differ."""

import math

import numpy as np
import pandas as pd
import pytest

import propsmooth
from conftest import EXAMPLES, assert_is_report_csv, read_legacy, read_log, read_report_csv, run

# propsmooth's -A, -B, -E, -L as fit's arguments; a limit of 2 steps makes
# the rats' fit fail, -A/-B a start far from the moment estimators.
FIT_OPTIONS = [
    ([], {}),
    (["-L2"], {"max_iter": 2}),
    (["-E0.01"], {"eps": 0.01}),
    (["-A0.5", "-B3"], {"alpha": 0.5, "beta": 3.0}),
]


def printed(value):
    return "***" if math.isnan(value) else "%.6f" % value


@pytest.mark.parametrize("example", ["rats.txt", "small.txt", "units.txt"])
@pytest.mark.parametrize("options,keywords", FIT_OPTIONS)
def test_fit_and_smooth_print_as_propsmooth(program, tmp_path, example, options, keywords):
    run([program, EXAMPLES / example, "out.tsv", *options], tmp_path)
    data = read_legacy(example)
    grouped = data.unit.iloc[0] != -1
    for logged in read_log(tmp_path / "out.log"):
        rows = data[data.unit == logged["unit"]] if grouped else data
        result = propsmooth.fit(rows.x, rows.n, **keywords)
        assert str(result.iterations) == logged["iterations"]
        assert (result.fit == "newton") == (logged["alpha"] != "***")
        for key in ("mean", "variance", "alpha_me", "beta_me", "alpha", "beta", "err_alpha",
                    "err_beta"):
            assert printed(getattr(result, key)) == logged[key], (logged["unit"], key)

    # The table, in percent; EB-Prop(MLE) only where the group's fit succeeded.
    table = pd.read_csv(tmp_path / "out.tsv", sep="\t", dtype=str, lineterminator="\n")
    table.columns = [c.strip() for c in table.columns]
    smoothed = propsmooth.smooth(data, count="x", size="n", group="unit" if grouped else None,
                                 **keywords)
    assert len(table) == len(smoothed)
    for (_, row), (_, mine) in zip(table.iterrows(), smoothed.iterrows()):
        assert int(row["Data1"]) == mine.x and int(row["Data2"]) == mine.n
        assert row["Proportion(%)"].strip() == printed(100.0 * mine.raw)
        assert row["EB-Prop(ME)(%)"].strip() == printed(100.0 * mine.eb_me)
        mle = row["EB-Prop(MLE)(%)"].strip()
        assert (mle != "***") == (mine.prior == "newton")
        if mle != "***":
            assert mle == printed(100.0 * mine.eb)


def _generated_frame():
    """Groups of every kind the fit meets: ordinary ones, a single region,
    no successes, nothing but successes, no spread beyond sampling, every
    region all successes or none (no posterior at all); group
    keys as text, rows of a group scattered over the frame."""
    rng = np.random.default_rng(16)
    parts = []
    for key, regions, rate, spread in (("a", 40, 0.2, 10.0), ("b", 25, 0.05, 3.0),
                                       ("c", 1, 0.3, 5.0), ("d", 12, 0.0, 5.0),
                                       ("e", 8, 1.0, 5.0), ("f", 30, 0.4, 1e7),
                                       ("h", 6, 0.5, 1e-9)):
        n = rng.integers(1, 400, regions)
        p = np.clip(rng.beta(rate * spread + 1e-9, (1 - rate) * spread + 1e-9, regions), 0, 1)
        x = rng.binomial(n, p)
        if rate in (0.0, 1.0):
            x = np.zeros(regions, dtype=np.int64) if rate == 0.0 else n
        if key == "h":
            x = np.where(np.arange(regions) % 2 == 0, 0, n)
        parts.append(pd.DataFrame({"g": key, "x": x, "n": n}))
    frame = pd.concat(parts, ignore_index=True)
    frame = frame.iloc[rng.permutation(len(frame))].reset_index(drop=True)
    frame["id"] = ["r%d" % i for i in range(len(frame))]
    return frame


# (frame, smooth's keywords, propsmooth-report's options beyond the columns)
REPORT_CASES = [
    ("rats", {}, []),
    ("rats", {"threshold": 0.2, "level": 0.9, "fdr": 0.1},
     ["--threshold", "0.2", "--level", "0.9", "--fdr", "0.1"]),
    ("generated", {"group": "g", "id": "id"}, ["--group", "g", "--id", "id"]),
    ("generated", {"group": "g", "id": "id", "threshold": 0.1, "max_iter": 3},
     ["--group", "g", "--id", "id", "--threshold", "0.1", "-L3"]),
]


@pytest.mark.parametrize("name,keywords,options", REPORT_CASES)
def test_smooth_is_the_report_csv(report, tmp_path, name, keywords, options):
    frame = read_legacy("rats.txt")[["x", "n"]] if name == "rats" else _generated_frame()
    frame.to_csv(tmp_path / "in.csv", index=False)
    run([report, "in.csv", "--count", "x", "--size", "n", "--csv", "out.csv", *options],
        tmp_path)
    expected = read_report_csv(tmp_path / "out.csv")
    smoothed = propsmooth.smooth(frame, count="x", size="n", **keywords)
    assert list(smoothed.columns) == list(propsmooth.COLUMNS)
    assert smoothed.index.equals(frame.index)
    assert_is_report_csv(smoothed, expected, ("x", "n"), "group" in keywords)
