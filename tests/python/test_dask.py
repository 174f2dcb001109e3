"""propsmooth.dask on small frames with Dask's synchronous scheduler: the
grouped path equals propsmooth.smooth on the same pandas frame exactly,
the single-prior path agrees with it to the fit's rounding, refusals name
the row."""

import numpy as np
import pandas as pd
import pytest

dask = pytest.importorskip("dask")
dd = pytest.importorskip("dask.dataframe")

import propsmooth  # noqa: E402
import propsmooth.dask  # noqa: E402
from conftest import read_legacy  # noqa: E402

FIGURES = ["raw", "eb_me", "eb", "lower", "upper", "p_exceed", "pep", "q_value"]


@pytest.fixture(autouse=True)
def synchronous():
    with dask.config.set(scheduler="sync"):
        yield


def drawn(rows, groups, seed=7):
    """Beta-binomial rows: rates from Beta(2, 20), sizes 1 to 199."""
    rng = np.random.default_rng(seed)
    n = rng.integers(1, 200, rows)
    x = rng.binomial(n, rng.beta(2.0, 20.0, rows))
    key = np.array([f"g{k}" for k in rng.integers(0, groups, rows)], dtype=object)
    return pd.DataFrame({"x": x, "n": n, "key": key, "label": np.arange(rows) * 10},
                        index=pd.Index(np.arange(rows) * 3 + 5, name="row"))


@pytest.mark.parametrize("partitions", [1, 4, 9])
@pytest.mark.parametrize("options", [
    dict(group="key"),
    dict(group="key", id="label", threshold=0.1, level=0.9, fdr=0.2),
    dict(group="key", threshold=0.05, alpha=1.0, beta=9.0, max_iter=3),
])
def test_grouped_equals_one_machine(partitions, options):
    frame = drawn(3000, 40)
    got = propsmooth.dask.smooth(dd.from_pandas(frame, npartitions=partitions), count="x",
                                 size="n", **options)
    expected = propsmooth.smooth(frame, count="x", size="n", **options)
    assert list(got.dtypes) == list(expected.dtypes)
    computed = got.compute()
    pd.testing.assert_frame_equal(computed, expected, check_exact=True)
    assert got.npartitions == partitions


@pytest.mark.parametrize("threshold", [None, 0.1])
def test_single_prior_agrees_with_one_machine(threshold):
    frame = drawn(20000, 1)
    ddf = dd.from_pandas(frame, npartitions=6)
    got = propsmooth.dask.smooth(ddf, count="x", size="n", id="label", threshold=threshold)
    expected = propsmooth.smooth(frame, count="x", size="n", id="label", threshold=threshold)
    assert list(got.dtypes) == list(expected.dtypes)
    computed = got.compute()
    # The prior's sums run over distinct values rather than rows in order:
    # about 5e-12 apart here, amplified in the tails (PEPs).
    pd.testing.assert_frame_equal(computed.drop(columns=FIGURES), expected.drop(columns=FIGURES))
    for column in FIGURES:
        np.testing.assert_allclose(computed[column], expected[column], rtol=1e-9, atol=0,
                                   equal_nan=True, err_msg=column)

    fit = propsmooth.dask.fit(ddf, count="x", size="n", safeguarded=True)
    one = propsmooth.fit(frame.x, frame.n, safeguarded=True)
    assert (fit.fit, fit.boundary, fit.iterations) == (one.fit, one.boundary, one.iterations)
    for name in ("alpha_me", "beta_me", "alpha", "beta", "mean", "variance", "loglik"):
        assert getattr(fit, name) == pytest.approx(getattr(one, name), rel=1e-11), name


def test_single_prior_outcomes_on_hard_data():
    """A failed Newton fit and complete pooling end as on one machine."""
    # Three steps are too few for the rats' Newton fit; the usage text's
    # start sends it to the safeguarded search; rates less spread than
    # binomial sampling leave complete pooling.
    rats = read_legacy("rats.txt")
    under = pd.DataFrame({"x": [5, 6, 4, 5, 7, 3] * 50, "n": [50] * 300})
    for frame, keywords in ((rats, dict(max_iter=3)), (rats, dict(alpha=12.3, beta=13.0)),
                            (under, {})):
        ddf = dd.from_pandas(frame, npartitions=4)
        fit = propsmooth.dask.fit(ddf, count="x", size="n", safeguarded=True, **keywords)
        one = propsmooth.fit(frame.x, frame.n, safeguarded=True, **keywords)
        assert (fit.fit, fit.boundary, fit.iterations) == (one.fit, one.boundary,
                                                           one.iterations)
        got = propsmooth.dask.smooth(ddf, count="x", size="n", threshold=0.1,
                                     **keywords).compute()
        expected = propsmooth.smooth(frame, count="x", size="n", threshold=0.1, **keywords)
        pd.testing.assert_series_equal(got.prior, expected.prior)
        np.testing.assert_allclose(got.eb, expected.eb, rtol=1e-10, equal_nan=True)


@pytest.mark.parametrize("group", [None, "key"])
@pytest.mark.parametrize("column,value,label,message", [
    ("x", -1, 17, "is below 0"),
    ("n", 0, 17, "is below 1"),
    ("x", 500, 17, "is above its size"),
    ("key", None, 29, "is missing; every row needs a group"),
])
def test_refusals_name_the_row(group, column, value, label, message):
    if column == "key" and group is None:
        pytest.skip("no group column read")
    frame = drawn(40, 3)
    frame.loc[label, column] = value
    if column != "key":
        frame[column] = frame[column].astype(np.int64)
    with pytest.raises(ValueError, match=f"at index {label}.*{message}|{message}"):
        propsmooth.dask.smooth(dd.from_pandas(frame, npartitions=3), count="x", size="n",
                               group=group).compute()


def test_refuses_unknown_columns_and_probabilities_at_once():
    ddf = dd.from_pandas(drawn(10, 2), npartitions=2)
    for keywords, message in ((dict(group="nope"), "group='nope' is no column"),
                              (dict(threshold=1.5), "threshold must lie strictly"),
                              (dict(level=0.0), "level must lie strictly")):
        with pytest.raises(ValueError, match=message):
            propsmooth.dask.smooth(ddf, count="x", size="n", **keywords)
