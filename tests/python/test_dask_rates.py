"""propsmooth.dask for rates: grouped or under one prior, on any number of
partitions, every figure bit for bit propsmooth.smooth's on the whole
table (and dask.fit propsmooth.fit's); a refused row named when computed."""

import dataclasses

import numpy as np
import pandas as pd
import pytest

dask = pytest.importorskip("dask")
dd = pytest.importorskip("dask.dataframe")

import propsmooth  # noqa: E402
import propsmooth.dask  # noqa: E402
from test_rates import generated, nc_sids  # noqa: E402


@pytest.fixture(autouse=True)
def synchronous():
    with dask.config.set(scheduler="sync"):
        yield


def drawn(rows, groups, seed=11):
    """Poisson counts of Gamma(3, 3) rates against expected values spread
    over two orders of magnitude (so that the order of the sums shows in
    the last bits), an index of its own."""
    rng = np.random.default_rng(seed)
    e = np.exp(rng.uniform(np.log(0.5), np.log(80.0), rows))
    x = rng.poisson(rng.gamma(3.0, 1.0 / 3.0, rows) * e)
    key = np.array([f"g{k}" for k in rng.integers(0, groups, rows)], dtype=object)
    return pd.DataFrame({"x": x, "e": e, "key": key, "label": np.arange(rows) * 10},
                        index=pd.Index(np.arange(rows) * 3 + 5, name="row"))


FRAMES = {
    "drawn": lambda: drawn(5000, 30),
    "nc_sids": nc_sids,
    "generated": generated,
}

# (frame, smooth's keywords)
CASES = [
    ("drawn", dict(count="x", expected="e")),
    ("drawn", dict(count="x", expected="e", group="key", id="label", level=0.9)),
    ("drawn", dict(count="x", exposure="e", per=1000, threshold=1500, fdr=0.2, id="label")),
    ("drawn", dict(count="x", exposure="e", group="key", per=100, threshold=90, max_iter=3)),
    ("nc_sids", dict(count="sid74", exposure="bir74", per=1000, threshold=2.5, id="county")),
    ("nc_sids", dict(count="sid79", expected="bir79", alpha=3.0, beta=1500.0)),
    ("generated", dict(count="x", expected="e", group="g", id="id")),
    ("generated", dict(count="x", expected="e", threshold=1.3)),
]


@pytest.mark.parametrize("partitions", [1, 3, 7])
@pytest.mark.parametrize("name,keywords", CASES)
def test_equals_one_machine_bit_for_bit(partitions, name, keywords):
    frame = FRAMES[name]()
    result = propsmooth.dask.smooth(dd.from_pandas(frame, npartitions=partitions), **keywords)
    expected = propsmooth.smooth(frame, **keywords)
    assert list(result.dtypes) == list(expected.dtypes)
    assert result.npartitions == min(partitions, len(frame))
    pd.testing.assert_frame_equal(result.compute(), expected, check_exact=True)


@pytest.mark.parametrize("partitions", [1, 4])
@pytest.mark.parametrize("name,count,expected,start", [
    ("drawn", "x", "e", {}),
    ("nc_sids", "sid74", "expected74", dict(max_iter=2)),
    ("generated", "x", "e", dict(alpha=2.0, beta=2.0)),
])
def test_fit_equals_one_machine_bit_for_bit(partitions, name, count, expected, start):
    frame = FRAMES[name]()
    got = propsmooth.dask.fit(dd.from_pandas(frame, npartitions=partitions), count=count,
                              expected=expected, **start)
    one = propsmooth.fit(frame[count], expected=frame[expected], **start)
    for field in dataclasses.fields(one):
        mine, theirs = getattr(got, field.name), getattr(one, field.name)
        if isinstance(theirs, float):
            assert np.array_equal(mine, theirs, equal_nan=True), field.name
        else:
            assert mine == theirs, field.name


@pytest.mark.parametrize("group", [None, "key"])
@pytest.mark.parametrize("column,value,label,message", [
    ("x", -1, 17, "count: -1 at index 17 is below 0"),
    ("e", 0.0, 17, "expected: 0.0 at index 17 is not above 0"),
    ("e", np.nan, 29, "expected: nan at index 29 is missing"),
])
def test_refused_rows_named_when_computed(group, column, value, label, message):
    frame = drawn(40, 3)
    frame.loc[label, column] = value
    result = propsmooth.dask.smooth(dd.from_pandas(frame, npartitions=3), count="x",
                                    expected="e", group=group)
    with pytest.raises(ValueError, match=message):
        result.compute()


def test_empty_table_gives_the_local_empty_result():
    frame = drawn(30, 2)
    ddf = dd.from_pandas(frame, npartitions=3)
    ddf = ddf[ddf.x < 0]
    for keywords in (dict(), dict(group="key", id="label")):
        got = propsmooth.dask.smooth(ddf, count="x", expected="e", **keywords).compute()
        local = propsmooth.smooth(frame.iloc[:0], count="x", expected="e", **keywords)
        pd.testing.assert_frame_equal(got, local)
    with pytest.raises(ValueError, match="no regions"):
        propsmooth.dask.fit(ddf, count="x", expected="e")


def test_arguments_refused_at_once():
    ddf = dd.from_pandas(drawn(10, 2), npartitions=2)
    for keywords, message in ((dict(expected="nope"), "expected='nope' is no column"),
                              (dict(expected="e", threshold=0), "threshold must be a rate"),
                              (dict(expected="e", size="e"), "size is for proportions"),
                              (dict(size="e", per=10), "per is for rates")):
        with pytest.raises(ValueError, match=message):
            propsmooth.dask.smooth(ddf, count="x", **keywords)
