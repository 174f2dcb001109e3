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


@pytest.fixture(scope="module")
def in_process_client():
    distributed = pytest.importorskip("distributed")
    # Not the default scheduler: the other tests run synchronously.
    with distributed.Client(processes=False, n_workers=1, threads_per_worker=2,
                            dashboard_address=None, set_as_default=False) as client:
        yield client


def from_csv(frame, folder):
    """The frame as dd.read_csv reads it back, about 4 partitions; the
    index becomes each block's own 0, 1, ... as read_csv gives it."""
    path = folder / "rows.csv"
    frame.to_csv(path, index=False)
    return dd.read_csv(path, blocksize=path.stat().st_size // 4 + 1)


SOURCES = {
    "from_pandas": lambda frame, folder: dd.from_pandas(frame, npartitions=4),
    "read_csv": from_csv,
}


@pytest.mark.parametrize("scheduler", ["sync", "threads", "in-process client"])
@pytest.mark.parametrize("source", SOURCES)
@pytest.mark.parametrize("options", [
    dict(group="key", id="label", threshold=0.1),
    dict(id="label", threshold=0.1),
])
def test_every_scheduler_and_source(scheduler, source, options, tmp_path, request):
    ddf = SOURCES[source](drawn(1500, 7), tmp_path)
    assert ddf.npartitions > 1
    # The rows as Dask gives them, with read_csv's repeated index labels.
    frame = ddf.compute(scheduler="sync")
    if scheduler == "in-process client":
        scheduler = request.getfixturevalue("in_process_client")
    with dask.config.set(scheduler=scheduler):
        result = propsmooth.dask.smooth(ddf, count="x", size="n", **options)
        got = result.compute()
    expected = propsmooth.smooth(frame, count="x", size="n", **options)
    assert (result.npartitions, result.divisions) == (ddf.npartitions, ddf.divisions)
    if "group" in options:
        pd.testing.assert_frame_equal(got, expected, check_exact=True)
    else:
        pd.testing.assert_frame_equal(got.drop(columns=FIGURES),
                                      expected.drop(columns=FIGURES))
        for column in FIGURES:
            np.testing.assert_allclose(got[column], expected[column], rtol=1e-9, atol=0,
                                       equal_nan=True, err_msg=column)


# Tables without rows, each in its own way.
EMPTY = {
    "one empty partition": lambda folder: dd.from_pandas(drawn(0, 1), npartitions=1),
    "every row filtered out": lambda folder: (
        lambda ddf: ddf[ddf.x < 0])(dd.from_pandas(drawn(40, 3), npartitions=3)),
    "a header only": lambda folder: from_csv(drawn(0, 1), folder),
}


@pytest.mark.parametrize("empty", EMPTY)
@pytest.mark.parametrize("options", [
    dict(),
    dict(group="key", id="label", threshold=0.1),
    dict(id="label", threshold=0.1),
])
def test_empty_table_gives_the_local_empty_result(empty, options, tmp_path):
    ddf = EMPTY[empty](tmp_path)
    result = propsmooth.dask.smooth(ddf, count="x", size="n", **options)
    got = result.compute()
    expected = propsmooth.smooth(ddf.compute(), count="x", size="n", **options)
    assert len(got) == 0 and list(result.dtypes) == list(expected.dtypes)
    pd.testing.assert_frame_equal(got, expected)
    with pytest.raises(ValueError, match="no regions"):
        propsmooth.dask.fit(ddf, count="x", size="n")


def _refuse_to_compute(graph, keys, **kwargs):
    raise AssertionError("smooth computed before it was asked to")


@pytest.mark.parametrize("options", [
    dict(),
    dict(threshold=0.1),
    dict(group="key"),
    dict(group="key", id="label", threshold=0.1),
])
def test_nothing_is_read_until_computed_then_once(options):
    reads = []

    def read(part):
        reads.append(len(part))
        return part

    frame = drawn(600, 5)
    frame.loc[frame.index[100], "x"] = -1
    ddf = dd.from_pandas(frame, npartitions=3).map_partitions(read)
    with dask.config.set(scheduler=_refuse_to_compute):
        propsmooth.dask.smooth(ddf, count="x", size="n", **options)
    # The building of the graph reads no rows, so a refused one surfaces
    # only when the result is computed.
    reads.clear()
    result = propsmooth.dask.smooth(ddf, count="x", size="n", **options)
    assert reads == []
    with pytest.raises(ValueError, match=f"count: -1 at index {frame.index[100]}"):
        result.compute()
    frame.loc[frame.index[100], "x"] = 0
    reads.clear()
    propsmooth.dask.smooth(ddf, count="x", size="n", **options).compute()
    # Counted, estimated and filled with q-values in one computation, each
    # partition is still read once.
    assert sorted(reads) == sorted([200, 200, 200])


@pytest.mark.parametrize("data,message", [
    (lambda: drawn(10, 2), r"propsmooth\.dask\.smooth takes a Dask DataFrame.*not a DataFrame"),
    (lambda: dd.from_pandas(drawn(10, 2), npartitions=2).x,
     r"propsmooth\.dask\.smooth takes a Dask DataFrame.*not a Series"),
])
def test_refuses_what_is_no_dask_frame(data, message):
    with pytest.raises(TypeError, match=message):
        propsmooth.dask.smooth(data(), count="x", size="n")


def test_local_smooth_points_a_dask_frame_to_propsmooth_dask():
    with pytest.raises(TypeError, match=r"not a DataFrame; for a Dask DataFrame call "
                                        r"propsmooth\.dask\.smooth"):
        propsmooth.smooth(dd.from_pandas(drawn(10, 2), npartitions=2), count="x", size="n")
