"""What fit and smooth accept, what they refuse (ValueError naming the
index label and the value, as the data reader names the line and the
cell), and that a refusal or a long run leaves the interpreter working."""

import re
import threading
import time

import numpy as np
import pandas as pd
import pytest

import propsmooth

COUNTS = [3, 0, 7, 12]
SIZES = [10, 5, 7, 40]


def _frame(**columns):
    frame = pd.DataFrame({"x": COUNTS, "n": SIZES, "g": ["a", "b", "a", "b"]},
                         index=["r1", "r2", "r3", "r4"])
    for name, values in columns.items():
        frame[name] = pd.Series(values, index=frame.index)
    return frame


# (what is changed, the message's pattern): every fault the front door refuses.
FRAME_REFUSALS = [
    ({"x": [3, -1, 7, 12]}, r"count: -1 at index 'r2' is below 0"),
    ({"n": [10, 5, 0, 40]}, r"size: 0 at index 'r3' is below 1"),
    ({"x": [3, 0, 8, 12]}, r"count: 8 at index 'r3' is above its size, 7"),
    ({"x": [3, 0, 2.5, 12]}, r"count: 2.5 at index 'r3' is not a whole number >= 0"),
    ({"n": [10, np.nan, 7, 40]}, r"size: nan at index 'r2' is missing"),
    ({"x": pd.array([3, None, 7, 12], dtype="Int64")}, r"count: <NA> at index 'r2' is missing"),
    ({"x": [3, 0, "7", 12]}, r"count: '7' at index 'r3' is not a whole number"),
    ({"n": [10, 5, 2**31, 40]}, r"size: 2147483648 at index 'r3' is above 2147483647"),
    ({"g": ["a", None, "a", "b"]}, r"group: None at index 'r2' is missing"),
    ({"g": [1.0, 2.0, np.nan, 1.0]}, r"group: nan at index 'r3' is missing"),
    # The texts propsmooth-report reads as no group.
    ({"g": ["a", "b", " NA ", "b"]},
     r"group: ' NA ' at index 'r3' is missing; every row needs a group \(or pass missing_group"),
    ({"g": ["a", "", "a", "b"]}, r"group: '' at index 'r2' is missing"),
]


@pytest.mark.parametrize("columns,message", FRAME_REFUSALS)
def test_smooth_refuses_what_the_reader_refuses(columns, message):
    with pytest.raises(ValueError, match=message):
        propsmooth.smooth(_frame(**columns), count="x", size="n", group="g")


# Missing groups skipped or gathered: the same figures as leaving the rows
# out, or giving them a label of their own, as propsmooth-report does.
def _groups_frame(groups):
    rng = np.random.default_rng(5)
    n = rng.integers(20, 120, len(groups))
    return pd.DataFrame({"x": rng.integers(0, 20, len(groups)) % n, "n": n, "g": groups},
                        index=[f"r{i}" for i in range(len(groups))])


MISSING = [None, np.nan, "", "NA", pd.NA]


@pytest.mark.parametrize("hole", MISSING, ids=repr)
def test_missing_groups_skipped_or_gathered(hole):
    groups = ["a", "b", "a", "b", "a", "b", "a", "b", "a", "b", "a", "b"]
    frame = _groups_frame(groups)
    frame["g"] = frame["g"].astype(object)
    for position in (2, 7, 9):
        frame.iat[position, 2] = hole
    figures = ["raw", "eb_me", "eb", "lower", "upper", "prior"]
    holes = frame.index[[2, 7, 9]]

    skipped = propsmooth.smooth(frame, "x", "n", group="g", missing_group="skip")
    alone = propsmooth.smooth(frame.drop(holes), "x", "n", group="g")
    pd.testing.assert_frame_equal(skipped[figures], alone[figures])

    gathered = propsmooth.smooth(frame, "x", "n", group="g", missing_group="own-group")
    relabelled = frame.copy()
    relabelled.loc[holes, "g"] = "zz"
    apart = propsmooth.smooth(relabelled, "x", "n", group="g")
    pd.testing.assert_frame_equal(gathered[figures], apart[figures])
    assert gathered.loc[holes, "group"].tolist() == frame.loc[holes, "g"].tolist()


def test_missing_group_rule_is_checked():
    with pytest.raises(ValueError, match=r"missing_group must be one of"):
        propsmooth.smooth(_frame(), "x", "n", group="g", missing_group="drop")


# (arguments, message pattern) for fit and smooth's other refusals.
CALL_REFUSALS = [
    (lambda: propsmooth.fit([1, 2, 3], [4, 5]), r"counts has 3 values but sizes has 2"),
    (lambda: propsmooth.fit(np.array([1, -2], dtype=np.int8), np.array([4, 5])),
     r"count: -2 at index 1 is below 0"),
    (lambda: propsmooth.fit(np.array([1, 2], dtype=np.uint64), np.array([2**63, 5], np.uint64)),
     r"size: 9223372036854775808 at index 0 is above 2147483647"),
    (lambda: propsmooth.fit(np.array([True, False]), [4, 5]), r"count.*booleans"),
    # Below the 32-bit range the package still names the value as given.
    (lambda: propsmooth.fit(np.array([1, -2**40], np.int64), [4, 5]),
     r"count: -1099511627776 at index 1 is below 0"),
    (lambda: propsmooth.fit([1.0, -1e300], [4, 5]), r"count: -1e\+300 at index 1 is below 0"),
    (lambda: propsmooth.fit([], []), r"no regions"),
    (lambda: propsmooth.fit(COUNTS, SIZES, alpha=float("nan")), r"alpha must be a number"),
    (lambda: propsmooth.fit(COUNTS, SIZES, eps=float("nan")), r"eps must be a number"),
    (lambda: propsmooth.fit(COUNTS, SIZES, max_iter=2**31), r"max_iter must be a whole number"),
    (lambda: propsmooth.fit(COUNTS, SIZES, threads=0), r"threads must be"),
    (lambda: propsmooth.smooth(_frame(), count="y", size="n"), r"count='y' is no column"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", threshold=1.0), r"threshold must lie"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", level=0.0), r"level must lie"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", fdr=float("nan")), r"fdr must lie"),
]


@pytest.mark.parametrize("call,message", CALL_REFUSALS)
def test_refusals(call, message):
    with pytest.raises(ValueError, match=message):
        call()


# (call, message pattern): data that is no DataFrame and options of the
# wrong type, refused with TypeError. The frame's bad count shows that
# the options are checked before the rows.
TYPE_REFUSALS = [
    (lambda: propsmooth.smooth(_frame().x, "x", "n"),
     r"smooth takes a pandas DataFrame and the names of its columns, not a Series; put the "
     r"counts and sizes into a DataFrame"),
    (lambda: propsmooth.smooth(_frame()[["x", "n"]].to_numpy(), "x", "n"), r"not a ndarray"),
    (lambda: propsmooth.smooth({"x": COUNTS, "n": SIZES}, "x", "n"),
     r"not a dict; .*smooth\(pandas\.DataFrame\(\{'x': counts, 'n': sizes\}\), count='x'"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", alpha="2"),
     r"alpha must be a number or None, not '2' \(str\)"),
    (lambda: propsmooth.smooth(_frame(x=[3, -1, 7, 12]), "x", "n", alpha="2"),
     r"alpha must be a number"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", beta=True), r"beta must be a number or None, "
                                                               r"not True \(bool\)"),
    (lambda: propsmooth.fit(COUNTS, SIZES, beta=[9.0]), r"beta must be a number"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", eps="1e-5"), r"eps must be a number, not"),
    (lambda: propsmooth.fit(COUNTS, SIZES, eps=None), r"eps must be a number, not None"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", max_iter=20.0),
     r"max_iter must be a whole number from -2147483648 to 2147483647, not 20\.0 \(float\)"),
    (lambda: propsmooth.fit(COUNTS, SIZES, max_iter=np.True_), r"max_iter must be a whole"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", threshold="0.1"),
     r"threshold must be a number strictly between 0 and 1, not '0\.1'"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", level=np.array([0.9])), r"level must be a"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", fdr=None), r"fdr must be a number"),
    (lambda: propsmooth.smooth(_frame(), "x", "n", threads=2.0), r"threads must be a whole"),
]


@pytest.mark.parametrize("call,message", TYPE_REFUSALS)
def test_type_refusals(call, message):
    with pytest.raises(TypeError, match=message):
        call()


# (a name given twice among the frame's columns, smooth's columns, the
# message or None where the duplicate is not used).
DUPLICATED_COLUMNS = [
    ("x", dict(count="x", size="n"), r"count='x' names 2 columns of the DataFrame; rename"),
    ("n", dict(count="x", size="n"), r"size='n' names 2 columns"),
    ("g", dict(count="x", size="n", group="g"), r"group='g' names 2 columns"),
    ("g", dict(count="x", size="n", id="g"), r"id='g' names 2 columns"),
    ("g", dict(count="x", size="n"), None),
]


@pytest.mark.parametrize("twice,columns,message", DUPLICATED_COLUMNS)
def test_duplicated_column_names(twice, columns, message):
    frame = _frame()
    doubled = pd.concat([frame, frame[[twice]]], axis=1)
    if message is None:
        pd.testing.assert_frame_equal(propsmooth.smooth(doubled, **columns),
                                      propsmooth.smooth(frame, **columns), check_exact=True)
    else:
        with pytest.raises(ValueError, match=message):
            propsmooth.smooth(doubled, **columns)


# numpy's scalars (and 0-d arrays) for the Python numbers of the same
# value: the same estimates to the bit.
NUMPY_OPTIONS = [
    (dict(alpha=1, beta=9, max_iter=3), dict(alpha=np.int64(1), beta=np.float32(9.0),
                                            max_iter=np.int32(3))),
    (dict(eps=1e-7, level=0.9), dict(eps=np.float64(1e-7), level=np.array(0.9))),
    (dict(threshold=0.25, fdr=0.5, threads=2), dict(threshold=np.float32(0.25),
                                                    fdr=np.float16(0.5), threads=np.uint8(2))),
]


@pytest.mark.parametrize("python,numpy", NUMPY_OPTIONS)
def test_numpy_scalars_are_numbers(python, numpy):
    expected = propsmooth.smooth(_frame(), "x", "n", group="g", **python)
    got = propsmooth.smooth(_frame(), "x", "n", group="g", **numpy)
    pd.testing.assert_frame_equal(got, expected, check_exact=True)


def test_core_refuses_unchecked_data():
    # The package checks first; the compiled part must still never crash on
    # what reaches it directly.
    from propsmooth import _core
    options = dict(alpha=None, beta=None, eps=1e-5, max_iter=20, threads=0)
    n = np.array([4, 4], dtype=np.int32)
    with pytest.raises(ValueError, match=r"group codes"):
        _core.smooth(n - 3, n, np.array([0, -1], dtype=np.int32), level=0.95, threshold=None,
                     fdr=0.05, **options)
    with pytest.raises(TypeError):  # never cut to 32 bits
        _core.fit(n.astype(np.int64), n, safeguarded=False, **options)


# (counts, sizes, the first bad row, its fault): records that break
# 0 <= count <= size, size >= 1, some where size - count or count / size in
# 32 bits would wrap or divide by zero.
BAD_RECORDS = [
    ([-2**31, 5], [2**31 - 1, 0], 0, "the count is below 0"),
    ([1, 5], [4, 0], 1, "the size is below 1"),
    ([1, 5], [4, 4], 1, "the count is above the size"),
    ([1, 2**31 - 1], [4, 1], 1, "the count is above the size"),
    ([0, -1], [1, -5], 1, "the count is below 0"),
    ([0, 0], [1, -2**31], 1, "the size is below 1"),
]

_OPTIONS = dict(alpha=None, beta=None, eps=1e-5, max_iter=20)


def _prior():
    from propsmooth import _core
    valid = _core.sufficient_statistics(np.array([1, 2, 3], np.int32), np.array([4, 5, 9], np.int32))
    return _core.fit_sufficient_statistics(valid, safeguarded=True, **_OPTIONS)["prior"]


# Every entry point of _core that takes rows, called directly.
CORE_CALLS = {
    "fit": lambda c, x, n: c.fit(x, n, safeguarded=False, threads=1, **_OPTIONS),
    "smooth": lambda c, x, n: c.smooth(x, n, None, level=0.95, threshold=None, fdr=0.05,
                                       threads=1, **_OPTIONS),
    "sufficient_statistics": lambda c, x, n: c.sufficient_statistics(x, n),
    "apply_prior": lambda c, x, n: c.apply_prior(x, n, _prior(), level=0.95, threshold=None),
}


@pytest.mark.parametrize("call", CORE_CALLS.values(), ids=CORE_CALLS.keys())
@pytest.mark.parametrize("counts,sizes,row,fault", BAD_RECORDS)
def test_every_core_entry_point_refuses_a_bad_record(call, counts, sizes, row, fault):
    from propsmooth import _core
    x, n = np.array(counts, dtype=np.int32), np.array(sizes, dtype=np.int32)
    expected = (f"row {row}: count {counts[row]} and size {sizes[row]}: {fault}; "
                "a row needs 0 <= count <= size and size >= 1")
    with pytest.raises(ValueError, match=re.escape(expected)):
        call(_core, x, n)
    assert _core.first_bad_record(x.astype(np.int64), n.astype(np.int64))[:2] == \
        (row, {"the count is below 0": "count_below_least", "the size is below 1":
               "size_below_least", "the count is above the size": "count_above_size"}[fault])


# Every way of giving the same numbers: each gives the int32 arrays' fit.
SAME_DATA = [
    lambda x, n: (x.astype(np.int8), n.astype(np.uint16)),
    lambda x, n: (x.astype(np.uint64), n.astype(np.int64)),
    lambda x, n: (x.astype(float), n.astype(np.float32)),
    lambda x, n: (pd.Series(x, index=list("abcd")), pd.Series(n, index=list("abcd"))),
    lambda x, n: (pd.Series(x, dtype="Int64"), pd.Series(n, dtype="UInt32")),
    lambda x, n: (list(x), tuple(int(v) for v in n)),
]


@pytest.mark.parametrize("convert", SAME_DATA)
def test_any_integer_input_gives_the_same_fit(convert):
    x, n = np.array(COUNTS, dtype=np.int32), np.array(SIZES, dtype=np.int32)
    expected = propsmooth.fit(x, n, safeguarded=True)
    got = propsmooth.fit(*convert(x, n), safeguarded=True)
    # repr shows every bit of each double; NaN == NaN there.
    assert repr(got) == repr(expected)


def test_columns_and_index_whatever_the_arguments():
    frame = _frame()
    frame.index = pd.MultiIndex.from_tuples([(1, "a"), (1, "b"), (2, "a"), (2, "b")])
    plain = propsmooth.smooth(frame, "x", "n")
    full = propsmooth.smooth(frame, "x", "n", group="g", id="g", threshold=0.3)
    for result in (plain, full):
        assert list(result.columns) == list(propsmooth.COLUMNS)
        assert result.index.equals(frame.index)
        assert all(pd.api.types.is_numeric_dtype(result[c]) for c in propsmooth.COLUMNS
                   if c not in ("group", "id", "prior"))
    assert plain[["group", "id", "p_exceed", "pep", "q_value", "discovery"]].isna().all().all()
    assert full.group.tolist() == ["a", "b", "a", "b"]
    assert full.q_value.notna().all() and full.discovery.notna().all()
    empty = propsmooth.smooth(frame.iloc[:0], "x", "n", group="g")
    assert list(empty.columns) == list(propsmooth.COLUMNS) and len(empty) == 0


def _many_groups(rows, groups, seed):
    rng = np.random.default_rng(seed)
    n = rng.integers(20, 2000, rows)
    x = rng.binomial(n, rng.beta(2.0, 18.0, rows))
    return pd.DataFrame({"x": x, "n": n, "g": rng.integers(0, groups, rows)})


def test_threads_change_no_bit():
    frame = _many_groups(60_000, 3_000, 1)
    one = propsmooth.smooth(frame, "x", "n", group="g", threshold=0.1, threads=1)
    every = propsmooth.smooth(frame, "x", "n", group="g", threshold=0.1)
    pd.testing.assert_frame_equal(one, every, check_exact=True)


def test_estimation_lets_other_threads_run():
    frame = _many_groups(300_000, 30_000, 2)
    done = threading.Event()
    spent = {}

    def estimate():
        start = time.perf_counter()
        propsmooth.smooth(frame, "x", "n", group="g", threads=1)
        spent["seconds"] = time.perf_counter() - start
        done.set()

    worker = threading.Thread(target=estimate)
    ticks = []
    worker.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    worker.join()
    # Holding the GIL through the estimation would stop this loop for all
    # of it; released, only the Python parts before and after stop it.
    longest = max(np.diff(ticks)) if len(ticks) > 1 else spent["seconds"]
    assert longest < 0.5 * spent["seconds"], (longest, spent["seconds"])
