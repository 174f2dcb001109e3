"""Rates: smooth and fit with expected counts or person-time against
propsmooth-report --model poisson (its --csv and --summary, bit for bit) on
North Carolina's SIDS counts and on generated groups of every kind the
gamma fit meets; their figures against arithmetic done here, SciPy and R's
spdep; and what they refuse."""

import pathlib

import numpy as np
import pandas as pd
import pytest

import propsmooth
from conftest import assert_is_report_csv, read_report_csv, run

DATA = pathlib.Path(__file__).parent / "data"


def nc_sids():
    # round_trip: pandas' default parser may miss the written double by an ulp.
    return pd.read_csv(DATA / "nc_sids.csv", float_precision="round_trip")


def generated():
    """Groups the gamma fit ends differently on: Gamma(4, 4) rates (newton),
    a single region, no events at all, counts as near their expected values as whole numbers come
    (less spread than Poisson sampling: complete pooling), expected counts
    far below 1, and Gamma(40, 40) rates with one
    region of 9 events against 0.02 expected; keys as text, the rows of a
    group scattered over the frame."""
    rng = np.random.default_rng(20261209)
    parts = []
    for key, regions, shape, low, high in (("spread", 60, 4.0, 5.0, 50.0),
                                           ("poisson", 40, None, 2.0, 40.0),
                                           ("single", 1, 4.0, 5.0, 50.0),
                                           ("none", 10, None, 1.0, 5.0),
                                           ("tiny", 25, 2.0, 0.01, 0.5),
                                           ("outlier", 30, 40.0, 1.0, 10.0)):
        e = rng.uniform(low, high, regions)
        theta = np.ones(regions) if shape is None else rng.gamma(shape, 1.0 / shape, regions)
        x = rng.poisson(theta * e)
        if key == "none":
            x[:] = 0
        if key == "poisson":
            # Less spread than Poisson sampling gives, whatever the draw.
            x = np.rint(e).astype(np.int64)
        if key == "outlier":
            x[-1], e[-1] = 9, 0.02
        parts.append(pd.DataFrame({"g": key, "x": x, "e": e}))
    frame = pd.concat(parts, ignore_index=True)
    frame = frame.iloc[rng.permutation(len(frame))].reset_index(drop=True)
    frame["id"] = ["r%d" % i for i in range(len(frame))]
    return frame


FRAMES = {"nc_sids": nc_sids, "generated": generated}

# (frame, smooth's keywords, propsmooth-report's options beyond --model poisson)
REPORT_CASES = [
    ("nc_sids", dict(count="sid74", expected="expected74", id="county"),
     ["--count", "sid74", "--expected", "expected74", "--id", "county"]),
    ("nc_sids", dict(count="sid74", exposure="bir74", per=1000, threshold=2.5, level=0.9,
                     fdr=0.1),
     ["--count", "sid74", "--exposure", "bir74", "--per", "1000", "--threshold", "2.5",
      "--level", "0.9", "--fdr", "0.1"]),
    # The default threshold, a relative rate of 1, is not read in per's units.
    ("nc_sids", dict(count="sid74", expected="expected74", per=100),
     ["--count", "sid74", "--expected", "expected74", "--per", "100"]),
    ("nc_sids", dict(count="sid79", exposure="bir79", per=100000),
     ["--count", "sid79", "--exposure", "bir79", "--per", "100000"]),
    ("nc_sids", dict(count="sid74", expected="expected74", group="region", id="county",
                     missing_group="own-group", threshold=1.2),
     ["--count", "sid74", "--expected", "expected74", "--group", "region", "--id", "county",
      "--missing-group", "own-group", "--threshold", "1.2"]),
    ("nc_sids", dict(count="sid79", exposure="bir79", group="region", missing_group="skip",
                     per=1000, threshold=2, alpha=3.0, beta=1500.0, max_iter=2),
     ["--count", "sid79", "--exposure", "bir79", "--group", "region", "--missing-group",
      "skip", "--per", "1000", "--threshold", "2", "-A", "3", "-B", "1500", "-L", "2"]),
    ("generated", dict(count="x", expected="e", group="g", id="id"),
     ["--count", "x", "--expected", "e", "--group", "g", "--id", "id"]),
    ("generated", dict(count="x", exposure="e", group="g", id="id", per=100, threshold=120,
                       level=0.8, max_iter=4),
     ["--count", "x", "--exposure", "e", "--group", "g", "--id", "id", "--per", "100",
      "--threshold", "120", "--level", "0.8", "-L", "4"]),
]

# The summary's columns that fit gives, by RateFitResult's names.
SUMMARY_FIGURES = ("mean", "variance", "alpha_me", "beta_me", "alpha", "beta", "se_alpha",
                   "se_beta", "loglik")


def _groups_in_order(frame, keywords):
    """The rows of each group in the order the program runs them: as they
    first appear, missing groups (own-group) as one; skipped rows left
    out."""
    group = keywords.get("group")
    if group is None:
        return [frame]
    keys = frame[group]
    if keywords.get("missing_group") == "skip":
        frame, keys = frame[keys.notna()], keys[keys.notna()]
    codes, _ = pd.factorize(keys, use_na_sentinel=False)
    return [frame[codes == code] for code in range(codes.max() + 1)]


@pytest.mark.parametrize("name,keywords,options", REPORT_CASES)
def test_smooth_and_fit_are_the_report_tables(report, tmp_path, name, keywords, options):
    frame = FRAMES[name]()
    frame.to_csv(tmp_path / "in.csv", index=False)
    run([report, "in.csv", "--model", "poisson", *options, "--csv", "out.csv",
         "--summary", "summary.csv"], tmp_path)
    table = read_report_csv(tmp_path / "out.csv")
    smoothed = propsmooth.smooth(frame, **keywords)
    heading = "exposure" if "exposure" in keywords else "expected"
    assert list(smoothed.columns) == [heading if c == "expected" else c
                                      for c in propsmooth.RATE_COLUMNS]
    assert list(table.columns[:4]) == ["group", "id", "x", heading]
    if keywords.get("missing_group") != "skip":
        assert smoothed.index.equals(frame.index)
    assert_is_report_csv(smoothed, table, ("x", heading), "group" in keywords)

    # Each group's fit as the summary has it, to the last bit.
    summary = pd.read_csv(tmp_path / "summary.csv", float_precision="round_trip",
                          dtype={"group": str, "fit": str, "boundary": str},
                          keep_default_na=False, na_values={c: [""] for c in SUMMARY_FIGURES})
    groups = _groups_in_order(frame, keywords)
    assert summary.regions.tolist() == [len(rows) for rows in groups]
    start = {k: keywords[k] for k in ("alpha", "beta", "max_iter") if k in keywords}
    expected_column = keywords.get("expected", keywords.get("exposure"))
    for rows, (_, line) in zip(groups, summary.iterrows()):
        result = propsmooth.fit(rows[keywords["count"]], expected=rows[expected_column],
                                per=keywords.get("per", 1.0), **start)
        for figure in SUMMARY_FIGURES:
            assert np.array_equal(getattr(result, figure), line[figure], equal_nan=True), \
                (line.group, figure)
        assert (result.iterations, result.fit, result.boundary) == \
            (line.iterations, line.fit, line.boundary), line.group


def test_generated_groups_meet_every_ending():
    """The generated table is worth its cases: its groups end in a fitted
    prior, complete pooling and the safeguarded search."""
    smoothed = propsmooth.smooth(generated(), count="x", expected="e", group="g")
    endings = smoothed.groupby("group").prior.first().to_dict()
    assert endings["spread"] == "newton"
    assert endings["poisson"] == endings["none"] == "complete pooling"
    assert "safeguarded" in endings.values()


def test_figures_by_independent_arithmetic():
    """The columns recomputed from their definitions: raw x/E times per;
    eb_me as spdep's EBest has it (R, written into the fixture); under a
    newton fit eb = (x + alpha)/(E + beta), the interval and the tails of
    Gamma(x + alpha, rate E + beta) by SciPy; under complete pooling the
    pooled rate and Gamma(sum x + 1/2, sum E)."""
    stats = pytest.importorskip("scipy.stats")
    frame = nc_sids()
    per, threshold, level = 1000.0, 2.5, 0.9
    smoothed = propsmooth.smooth(frame, count="sid74", exposure="bir74", per=per,
                                 threshold=threshold, level=level)
    x = frame.sid74.to_numpy(dtype=float)
    e = frame.bir74.to_numpy(dtype=float)
    # One multiplication of the double x/E, as the program shows it.
    np.testing.assert_array_equal(smoothed.raw, per * (x / e))
    # EBest sums in the same order; 2 ulp of slack for R's own rounding.
    np.testing.assert_allclose(smoothed.eb_me / per, frame.ebest74, rtol=5e-16, atol=0)
    fitted = propsmooth.fit(frame.sid74, expected=frame.bir74)
    # EBest's b and a, printed by nc_sids.R.
    assert fitted.mean == pytest.approx(0.0020214448936544207, rel=5e-16)
    assert fitted.variance == pytest.approx(7.6929306470146507e-07, rel=1e-15)
    assert fitted.fit == "newton" and (smoothed.prior == "newton").all()
    shape, rate = x + fitted.alpha, e + fitted.beta
    np.testing.assert_array_equal(smoothed.eb, per * (shape / rate))
    tail = (1.0 - level) / 2.0
    np.testing.assert_allclose(smoothed.lower, per * stats.gamma.ppf(tail, shape, scale=1 / rate),
                               rtol=1e-12)
    np.testing.assert_allclose(smoothed.upper,
                               per * stats.gamma.isf(tail, shape, scale=1 / rate), rtol=1e-12)
    np.testing.assert_allclose(smoothed.p_exceed,
                               stats.gamma.sf(threshold / per, shape, scale=1 / rate),
                               rtol=1e-11)
    np.testing.assert_allclose(smoothed.pep,
                               stats.gamma.cdf(threshold / per, shape, scale=1 / rate),
                               rtol=1e-11)

    pooled = generated()
    pooled = pooled[pooled.g == "poisson"]
    smoothed = propsmooth.smooth(pooled, count="x", expected="e")
    assert (smoothed.prior == "complete pooling").all()
    events, exposure = float(pooled.x.sum()), pooled.e.to_numpy().sum()
    np.testing.assert_allclose(smoothed.eb, events / exposure, rtol=1e-15)
    np.testing.assert_allclose(smoothed.upper, stats.gamma.isf(
        0.025, events + 0.5, scale=1 / exposure), rtol=1e-12)


# (frame change, model keywords, the message's pattern): every row the
# program's reader refuses, named by index label and value.
ROW_REFUSALS = [
    ({"x": [3, -1, 7, 12]}, {}, r"count: -1 at index 'r2' is below 0"),
    ({"x": [3, 0, 2.5, 12]}, {}, r"count: 2.5 at index 'r3' is not a whole number >= 0"),
    ({"x": [3, np.nan, 7, 12]}, {}, r"count: nan at index 'r2' is missing"),
    ({"x": [3, 0, "7", 12]}, {}, r"count: '7' at index 'r3' is not a whole number"),
    ({"x": [3, 0, 2**31, 12]}, {}, r"count: 2147483648 at index 'r3' is above 2147483647"),
    ({"e": [1.5, 0.0, 2.0, 4.0]}, {},
     r"expected: 0.0 at index 'r2' is not above 0; it must be a number above 0"),
    ({"e": [1.5, 2.0, -3.0, 4.0]}, {}, r"expected: -3.0 at index 'r3' is not above 0"),
    ({"e": [1.5, 2.0, 3.0, np.inf]}, {"exposure": "e"},
     r"exposure: inf at index 'r4' is not finite; it must be a number above 0"),
    ({"e": [np.nan, 2.0, 3.0, 4.0]}, {}, r"expected: nan at index 'r1' is missing"),
    ({"e": pd.array([1, None, 3, 4], dtype="Int64")}, {}, r"expected: <NA> at index 'r2' is "
                                                          "missing"),
    ({"e": [1.5, "2", 3.0, 4.0]}, {}, r"expected: '2' at index 'r2' is not a number above 0"),
    ({"e": [True, False, True, True]}, {}, r"expected are booleans"),
]


def _rate_frame(**columns):
    frame = pd.DataFrame({"x": [3, 0, 7, 12], "e": [1.5, 2.0, 3.0, 4.0],
                          "g": ["a", "b", "a", "b"]}, index=["r1", "r2", "r3", "r4"])
    for name, values in columns.items():
        frame[name] = pd.Series(values, index=frame.index)
    return frame


@pytest.mark.parametrize("columns,model,message", ROW_REFUSALS)
def test_rows_refused_as_the_reader_refuses_them(columns, model, message):
    frame = _rate_frame(**columns)
    model = model or {"expected": "e"}
    with pytest.raises(ValueError, match=message):
        propsmooth.smooth(frame, count="x", group="g", **model)
    # fit names the same row by the Series' labels, the column as expected.
    with pytest.raises(ValueError, match=message.replace("exposure:", "expected:")):
        propsmooth.fit(frame.x, expected=frame.e)


# (keywords, the error, its message's pattern): arguments refused at once.
ARGUMENT_REFUSALS = [
    (dict(expected="e", exposure="e"), ValueError, "expected .* or exposure .*, not both"),
    (dict(expected="e", size="n"), ValueError, "size is for proportions"),
    (dict(size="n", per=100), ValueError, "per is for rates"),
    (dict(expected="e", per=0), ValueError, "per must be a number above 0 and finite, not 0.0"),
    (dict(expected="e", per=np.inf), ValueError, "per must be a number above 0"),
    (dict(expected="e", per="1000"), TypeError, "per must be a number above 0"),
    (dict(expected="e", threshold=0.0), ValueError, "threshold must be a rate above 0"),
    (dict(exposure="e", threshold=-2), ValueError, "threshold must be a rate above 0"),
    (dict(expected="e", level=1.0), ValueError, "level must lie strictly between 0 and 1"),
    (dict(expected="E"), ValueError, "expected='E' is no column"),
    (dict(exposure="E"), ValueError, "exposure='E' is no column"),
]


@pytest.mark.parametrize("keywords,error,message", ARGUMENT_REFUSALS)
def test_arguments_refused_at_once(keywords, error, message):
    frame = _rate_frame(n=[5, 5, 9, 20])
    with pytest.raises(error, match=message):
        propsmooth.smooth(frame, count="x", **keywords)


def test_a_rate_threshold_may_exceed_one():
    # A rate, unlike a proportion, has no upper end: 2.5 per unit of E.
    frame = _rate_frame()
    smoothed = propsmooth.smooth(frame, count="x", exposure="e", threshold=2.5)
    assert smoothed.p_exceed.notna().all()


@pytest.mark.parametrize("call,error,message", [
    (lambda x, e: propsmooth.fit(x, [5, 5, 9, 20], expected=e), ValueError, "not both"),
    (lambda x, e: propsmooth.fit(x, expected=e, safeguarded=True), ValueError,
     "safeguarded is for proportions"),
    (lambda x, e: propsmooth.fit(x), TypeError, "fit needs sizes .* or expected"),
    (lambda x, e: propsmooth.fit(x[:0], expected=e[:0]), ValueError, "no regions"),
    (lambda x, e: propsmooth.fit(x, expected=e[:3]), ValueError,
     "counts has 4 values but expected has 3"),
])
def test_fit_refusals(call, error, message):
    frame = _rate_frame()
    with pytest.raises(error, match=message):
        call(frame.x, frame.e)


def _core_calls(x, e):
    """Each _core entry point of rates on the int32 counts x and float64
    expected values e."""
    x, e = np.asarray(x, dtype=np.int32), np.asarray(e, dtype=np.float64)
    fit = dict(alpha=None, beta=None, eps=1e-5, max_iter=20)
    prior = propsmooth._core.rate_fit(np.array([1, 5, 2], np.int32), np.array([2.0, 3.0, 1.0]),
                                      **fit)["prior"]
    return [lambda: propsmooth._core.rate_fit(x, e, **fit),
            lambda: propsmooth._core.smooth_rates(x, e, None, level=0.95, threshold=None,
                                                  fdr=0.05, threads=1, **fit),
            lambda: propsmooth._core.apply_rate_prior(x, e, prior, level=0.95, threshold=1.0)]


@pytest.mark.parametrize("x,e,message", [
    ([1, -2], [1.0, 1.0], "row 1: count -2 is below 0"),
    ([1, 2], [1.0, 0.0], "row 1: expected value 0.0 is not above 0 and finite"),
    ([1, 2], [np.nan, 1.0], "row 0: expected value nan is not above 0"),
    ([1, 2], [1.0, -np.inf], "row 1: expected value -inf"),
    ([1, 2], [1.0], "counts has 2 values but expected has 1"),
])
def test_core_refuses_bad_rows_itself(x, e, message):
    # The last guard, for callers of _core who skip the package's checks:
    # a ValueError, never a crash or a figure of nonsense.
    for call in _core_calls(x, e):
        with pytest.raises(ValueError, match=message):
            call()


def test_core_refuses_a_prior_no_fit_gives():
    x, e = np.array([1, 2], np.int32), np.array([1.0, 2.0])
    prior = propsmooth._core.rate_fit(x, e, alpha=None, beta=None, eps=1e-5,
                                      max_iter=20)["prior"]
    for broken, message in (({**prior, "choice": "bogus"}, "choice bogus is none"),
                            ({k: v for k, v in prior.items() if k != "alpha"}, "has no alpha"),
                            ({**prior, "beta": "x"}, "wrong type")):
        with pytest.raises(ValueError, match=message):
            propsmooth._core.apply_rate_prior(x, e, broken, level=0.95, threshold=None)
