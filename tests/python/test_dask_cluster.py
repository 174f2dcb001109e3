"""propsmooth.dask on a LocalCluster of 2 single-threaded worker processes
over 2,000,000 generated rows in 16 partitions: the grouped result equals
propsmooth.smooth on the same pandas frame exactly (NaN = NaN), and the
single prior from merged partition statistics is checked against the
one-machine fit and against the likelihood's gradient in long double.
About 60 s on 2 cores (CTest gives it a long timeout). Small tables read
by read_csv, empty ones among them, on that cluster and on one of 2
workers in this process."""

import resource
import time

import numpy as np
import pandas as pd
import pytest

dask = pytest.importorskip("dask")
dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

import propsmooth  # noqa: E402
import propsmooth.dask  # noqa: E402

ROWS = 2_000_000
FIGURES = ["raw", "eb_me", "eb", "lower", "upper", "p_exceed", "pep", "q_value"]


@pytest.fixture(scope="module")
def frame():
    """Rates from Beta(2, 30), sizes 1 to 499, 20,000 groups of about 100."""
    rng = np.random.default_rng(16)
    n = rng.integers(1, 500, ROWS)
    x = rng.binomial(n, rng.beta(2.0, 30.0, ROWS))
    return pd.DataFrame({"x": x, "n": n, "key": rng.integers(0, 20000, ROWS)})


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        yield client


def test_grouped_run_equals_one_machine(frame, client):
    ddf = dd.from_pandas(frame, npartitions=16)
    start = time.perf_counter()
    got = propsmooth.dask.smooth(ddf, count="x", size="n", group="key",
                                 threshold=0.1).compute()
    seconds = time.perf_counter() - start
    memory = [w["metrics"]["memory"] for w in client.scheduler_info()["workers"].values()]
    peak = client.run(lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
    print(f"dask grouped: {seconds:.1f} s, worker memory {[m // 2**20 for m in memory]} MiB, "
          f"peak {[kib // 1024 for kib in peak.values()]} MiB")
    expected = propsmooth.smooth(frame, count="x", size="n", group="key", threshold=0.1)
    pd.testing.assert_frame_equal(got, expected, check_exact=True)
    assert got.discovery.any() and got.q_value.notna().all()


def long_double_step(statistics, alpha, beta):
    """The Newton step to the optimum from (alpha, beta), relative to each,
    with the gradient and Hessian summed in long double over the histograms:
    an independent measure of how far a prior is from the exact optimum."""
    real = np.longdouble

    def sums(values, rows, base):
        inverse = 1 / (base + np.arange(int(values.max()) + 1, dtype=real))
        first = np.concatenate([[real(0)], np.cumsum(inverse)])
        second = np.concatenate([[real(0)], np.cumsum(inverse * inverse)])
        weights = rows.astype(real)
        return (weights * first[values]).sum(), (weights * second[values]).sum()

    a, b = real(alpha), real(beta)
    s1, s2 = sums(statistics["n_values"], statistics["n_rows"], a + b)
    x1, x2 = sums(statistics["x_values"], statistics["x_rows"], a)
    f1, f2 = sums(statistics["n_minus_x_values"], statistics["n_minus_x_rows"], b)
    gradient = np.array([x1 - s1, f1 - s1], dtype=float)
    hessian = np.array([[s2 - x2, s2], [s2, s2 - f2]], dtype=float)
    step = np.linalg.solve(hessian, -gradient)
    return abs(step[0]) / alpha, abs(step[1]) / beta


def test_single_prior_against_one_machine(frame, client):
    ddf = dd.from_pandas(frame, npartitions=16)
    fit = propsmooth.dask.fit(ddf, count="x", size="n", safeguarded=True)
    one = propsmooth.fit(frame.x, frame.n, safeguarded=True)
    assert (fit.fit, fit.boundary, fit.iterations) == (one.fit, one.boundary, one.iterations)
    largest = max(abs(getattr(fit, name) - getattr(one, name)) / abs(getattr(one, name))
                  for name in ("alpha", "beta", "alpha_me", "beta_me", "loglik"))
    print(f"single prior: largest relative difference {largest:.2e}")
    # Over 2,000,000 rows in order the one-machine sums drift by about 3e-10
    # relative; the statistics' prior lies about 1,000 times closer to the
    # exact optimum.
    assert largest < 1e-8
    statistics = propsmooth._core.sufficient_statistics(frame.x.to_numpy(np.int32),
                                                        frame.n.to_numpy(np.int32))
    from_statistics = long_double_step(statistics, fit.alpha, fit.beta)
    from_rows = long_double_step(statistics, one.alpha, one.beta)
    print(f"distance to the optimum: statistics {max(from_statistics):.1e}, "
          f"rows {max(from_rows):.1e}")
    assert max(from_statistics) < 1e-11
    assert max(from_statistics) <= max(from_rows)

    got = propsmooth.dask.smooth(ddf, count="x", size="n", threshold=0.1).compute()
    expected = propsmooth.smooth(frame, count="x", size="n", threshold=0.1)
    pd.testing.assert_frame_equal(got.drop(columns=FIGURES), expected.drop(columns=FIGURES))
    for column in FIGURES:
        np.testing.assert_allclose(got[column], expected[column], rtol=1e-7, atol=0,
                                   equal_nan=True, err_msg=column)


@pytest.fixture(scope="module")
def threads_client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster, set_as_default=False) as client:
        yield client


@pytest.mark.parametrize("cluster", ["client", "threads_client"])
@pytest.mark.parametrize("rows", [0, 1000])
@pytest.mark.parametrize("options", [dict(group="key", threshold=0.1), dict(threshold=0.1)])
def test_small_csv_table(cluster, rows, options, tmp_path, request):
    rng = np.random.default_rng(rows)
    n = rng.integers(1, 300, rows)
    x = rng.binomial(n, rng.beta(2.0, 30.0, rows))
    path = tmp_path / "rows.csv"
    pd.DataFrame({"x": x, "n": n, "key": rng.integers(0, 9, rows)}).to_csv(path, index=False)
    ddf = dd.read_csv(path, blocksize=max(path.stat().st_size // 3, 1))
    # read_csv's own rows, repeated index labels and all.
    frame = ddf.compute(scheduler="sync")
    with dask.config.set(scheduler=request.getfixturevalue(cluster)):
        got = propsmooth.dask.smooth(ddf, count="x", size="n", **options).compute()
    expected = propsmooth.smooth(frame, count="x", size="n", **options)
    if "group" in options:
        pd.testing.assert_frame_equal(got, expected, check_exact=True)
    else:
        pd.testing.assert_frame_equal(got.drop(columns=FIGURES), expected.drop(columns=FIGURES))
        for column in FIGURES:
            np.testing.assert_allclose(got[column], expected[column], rtol=1e-9, atol=0,
                                       equal_nan=True, err_msg=column)


@pytest.mark.parametrize("cluster", ["client", "threads_client"])
@pytest.mark.parametrize("options", [
    dict(group="key", threshold=1.2),
    dict(threshold=1.2, id="key"),
    dict(exposure="e", per=1000, threshold=1500),
])
def test_rates_equal_one_machine_bit_for_bit(cluster, options, request):
    """200,000 rates in 8 partitions, shipped between worker processes:
    the prior's (x, E) pairs, the prior and the PEPs travel pickled."""
    rng = np.random.default_rng(21)
    rows = 200_000
    e = np.exp(rng.uniform(np.log(0.5), np.log(80.0), rows))
    frame = pd.DataFrame({"x": rng.poisson(rng.gamma(3.0, 1.0 / 3.0, rows) * e), "e": e,
                          "key": rng.integers(0, 500, rows)})
    model = {} if "exposure" in options else dict(expected="e")
    ddf = dd.from_pandas(frame, npartitions=8)
    start = time.perf_counter()
    with dask.config.set(scheduler=request.getfixturevalue(cluster)):
        got = propsmooth.dask.smooth(ddf, count="x", **model, **options).compute()
    print(f"dask rates {options}: {time.perf_counter() - start:.1f} s")
    expected = propsmooth.smooth(frame, count="x", **model, **options)
    pd.testing.assert_frame_equal(got, expected, check_exact=True)
